// File: platform/ini/ini_file.cc
#include "platform/ini/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "core/errors.h"

namespace tto {
namespace {

// One physical line: its text without the line end, and the line end as it
// stands ("\r\n", "\n" or "" for a last line without one).
struct Line {
  std::string_view text;
  std::string_view end;
};

std::vector<Line> SplitLines(std::string_view contents) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t lf = contents.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.push_back({contents.substr(start), {}});
      break;
    }
    std::size_t text_end = (lf > start && contents[lf - 1] == '\r') ? lf - 1 : lf;
    lines.push_back(
        {contents.substr(start, text_end - start), contents.substr(text_end, lf + 1 - text_end)});
    start = lf + 1;
  }
  return lines;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The section name when `text` is a section header ("[name]"), else none.
std::optional<std::string_view> SectionName(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.front() != '[') return std::nullopt;
  text.remove_prefix(1);
  return TrimBlanks(text.substr(0, text.find(']')));
}

// The key of a "key=value" line, else none.
std::optional<std::string_view> KeyName(std::string_view text) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return TrimBlanks(text.substr(0, equals));
}

[[noreturn]] void ThrowUnableToWrite(const std::filesystem::path& path) {
  throw Error("Unable to write to " + path.string());
}

}  // namespace

std::string SetIniValue(std::string_view contents, std::string_view section, std::string_view key,
                        std::string_view value) {
  std::vector<Line> lines = SplitLines(contents);
  // A UTF-8 byte order mark is not part of the first line's text.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::string_view bom;
  if (!lines.empty() && lines[0].text.starts_with(kBom)) {
    bom = kBom;
    lines[0].text.remove_prefix(kBom.size());
  }
  const std::string_view eol =
      (!lines.empty() && lines[0].end == "\n") ? std::string_view("\n") : "\r\n";
  const std::string new_key_line = std::string(key) + "=" + std::string(value);

  // Where the section starts and where its last non-blank line is.
  std::optional<std::size_t> header;
  std::size_t last_filled = 0;
  std::optional<std::size_t> key_line;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].text)) {
      if (header) break;  // the next section ends ours
      if (EqualsIgnoringCase(*name, section)) header = last_filled = i;
      continue;
    }
    if (!header) continue;
    if (!TrimBlanks(lines[i].text).empty()) last_filled = i;
    if (auto name = KeyName(lines[i].text); name && EqualsIgnoringCase(*name, key)) {
      key_line = i;
      break;
    }
  }

  std::string out(bom);
  out.reserve(contents.size() + new_key_line.size() + section.size() + 8);
  auto append_line = [&](const Line& line) {
    out.append(line.text);
    out.append(line.end);
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (key_line && i == *key_line) {
      // The key keeps its spelling; the value is replaced.
      out.append(*KeyName(lines[i].text));
      out.append("=");
      out.append(value);
      out.append(lines[i].end);
      continue;
    }
    append_line(lines[i]);
    if (header && !key_line && i == last_filled) {
      if (lines[i].end.empty()) out.append(eol);
      out.append(new_key_line);
      out.append(eol);
    }
  }
  if (!header) {
    if (!lines.empty() && lines.back().end.empty()) out.append(eol);
    out.append("[");
    out.append(section);
    out.append("]");
    out.append(eol);
    out.append(new_key_line);
    out.append(eol);
  }
  return out;
}

void WriteIniString(const std::filesystem::path& path, std::string_view section,
                    std::string_view key, std::string_view value) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // A link is followed, so the host's file is updated and not replaced by a
  // plain file.
  fs::path target = path;
  if (fs::is_symlink(path, ec)) {
    target = fs::weakly_canonical(path, ec);
    if (ec) ThrowUnableToWrite(path);
  }

  std::string contents;
  struct stat old_stat {};
  const bool exists = ::stat(target.c_str(), &old_stat) == 0;
  if (exists) {
    if (!S_ISREG(old_stat.st_mode)) ThrowUnableToWrite(path);
    std::ifstream in(target, std::ios::binary);
    if (!in) ThrowUnableToWrite(path);
    contents.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) ThrowUnableToWrite(path);
  } else if (errno != ENOENT) {
    ThrowUnableToWrite(path);
  }
  const std::string updated = SetIniValue(contents, section, key, value);

  // The temporary file lies in the same folder, so the rename cannot cross
  // file systems, and carries the old file's permissions (or the usual ones
  // for a new file).
  std::string temp =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) ThrowUnableToWrite(path);
  mode_t mode = old_stat.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  for (std::size_t done = 0; ok && done < updated.size();) {
    const ssize_t n = ::write(fd, updated.data() + done, updated.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    ThrowUnableToWrite(path);
  }
}

}  // namespace tto
