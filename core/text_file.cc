#include "core/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/errors.h"

namespace tto {
namespace {

constexpr char kCtrlZ = 26;
constexpr std::size_t kBufferSize = 64 * 1024;

// Error numbers of the text-file layer, in the numbering that its messages
// use; -1 for an errno that has no equivalent there.
int InOutErrorNumber(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return 2;
    case ENAMETOOLONG:
    case EINVAL:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return 5;
    case ENOSPC:
      return 101;
    default:
      return -1;
  }
}

// The text-file layer's messages do not name the file, so the error carries
// it (and the line, where one was being read) as its place.
[[noreturn]] void ThrowInOut(int error, ErrorPlace place) {
  Error failure(SystemInOutErrorMessage(error));
  failure.set_place(std::move(place));
  throw failure;
}

// Opens `path` for reading; returns the descriptor or -1 with errno set.
// The open itself does not wait: a named pipe in place of the file would
// otherwise hold the run until some program opened it for writing.
int OpenForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// Reads the whole file; returns errno on failure, 0 on success.
int ReadWholeFile(const std::string& path, std::string& out) {
  const int fd = OpenForReading(path);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  char buffer[kBufferSize];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return error;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return 0;
}

bool WriteAll(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string InOutErrorMessage(int error_number) {
  switch (error_number) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(error_number);
  }
}

std::string SystemInOutErrorMessage(int error) {
  const int number = InOutErrorNumber(error);
  // An unmapped errno is shown with its own number, never looked up in the
  // table: EIO is 5, which is not "File access denied".
  return number < 0 ? "I/O error " + std::to_string(error) : InOutErrorMessage(number);
}

std::string SystemErrorText(int error) {
  std::string text = std::strerror(error);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n' ||
                           text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

// ---------------------------------------------------------------------------
// LineReader

LineReader::~LineReader() {
  if (fd_ >= 0) ::close(fd_);
}

void LineReader::Open(const std::string& path) {
  Close();
  const int fd = OpenForReading(path);
  if (fd < 0) ThrowInOut(errno, {path});
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    ThrowInOut(EISDIR, {path});
  }
  fd_ = fd;
  path_ = path;
  lines_read_ = 0;
  buffer_.resize(kBufferSize);
  pos_ = end_ = 0;
  eof_ = false;
}

void LineReader::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) ThrowInOut(errno, {path_});
}

void LineReader::Fill() {
  if (eof_ || pos_ < end_) return;
  if (fd_ < 0) throw Error(InOutErrorMessage(103));  // file not open
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowInOut(errno, {path_, "line " + std::to_string(lines_read_ + 1)});
    }
    pos_ = 0;
    end_ = static_cast<std::size_t>(n);
    eof_ = n == 0;
    return;
  }
}

int LineReader::Peek() {
  Fill();
  return pos_ < end_ ? static_cast<unsigned char>(buffer_[pos_]) : -1;
}

int LineReader::Get() {
  const int c = Peek();
  if (c >= 0) ++pos_;
  return c;
}

bool LineReader::AtEnd() {
  const int c = Peek();
  return c < 0 || c == kCtrlZ;
}

std::string LineReader::ReadLine() {
  const auto Done = [this](std::string& text) {
    ++lines_read_;
    return std::move(text);
  };
  std::string line;
  for (;;) {
    const int c = Get();
    if (c < 0 || c == '\n') return Done(line);
    if (c == '\r') {
      if (Peek() == '\n') {
        Get();
        return Done(line);
      }
      continue;  // a lone carriage return is dropped
    }
    if (c == kCtrlZ) {
      // The rest of the physical line, up to and including its line feed,
      // is not data.
      for (int d = Get(); d >= 0 && d != '\n'; d = Get()) {
      }
      return Done(line);
    }
    line += static_cast<char>(c);
  }
}

// ---------------------------------------------------------------------------
// Whole files

std::vector<std::string> LoadLines(const std::string& path) {
  std::string data;
  if (const int error = ReadWholeFile(path, data); error != 0) {
    throw Error("Cannot open file \"" + path + "\". " + SystemErrorText(error));
  }
  if (const auto nul = data.find('\0'); nul != std::string::npos) data.resize(nul);
  std::vector<std::string> lines;
  std::size_t start = 0;
  const std::size_t n = data.size();
  while (start < n) {
    std::size_t i = start;
    while (i < n && data[i] != '\r' && data[i] != '\n') ++i;
    lines.emplace_back(data, start, i - start);
    if (i < n && data[i] == '\r' && i + 1 < n && data[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

void SaveLines(const std::vector<std::string>& lines, const std::string& path) {
  std::string data;
  for (const auto& line : lines) {
    data += line;
    data += "\r\n";
  }
  SaveFile(data, path);
}

void SaveFile(std::string_view data, const std::string& path) {
  const auto fail = [&path](int error) {
    throw Error("Cannot create file \"" + path + "\". " + SystemErrorText(error));
  };
  // A file that is in the way and cannot be replaced (a directory, say)
  // fails like a file that cannot be created.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) fail(EISDIR);

  const std::filesystem::path target(path);
  std::random_device random;
  const std::string temp = (target.parent_path() / ("." + target.filename().string() + ".tmp" +
                                                    std::to_string(random())))
                               .string();
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) fail(errno);
  if (!WriteAll(fd, data) || ::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    fail(error);
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    fail(error);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    fail(error);
  }
}

}  // namespace tto
