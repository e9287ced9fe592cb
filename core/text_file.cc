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

bool LineReader::Fill() {
  if (pos_ < end_) return true;
  if (eof_) return false;
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
    return !eof_;
  }
}

int LineReader::Peek() {
  return Fill() ? static_cast<unsigned char>(buffer_[pos_]) : -1;
}

bool LineReader::AtEnd() {
  const int c = Peek();
  return c < 0 || c == kCtrlZ;
}

void LineReader::SkipPastLineFeed() {
  while (Fill()) {
    const char* begin = buffer_.data() + pos_;
    const void* lf = std::memchr(begin, '\n', end_ - pos_);
    if (lf != nullptr) {
      pos_ += static_cast<std::size_t>(static_cast<const char*>(lf) - begin) + 1;
      return;
    }
    pos_ = end_;
  }
}

// A line ends at a line feed; every carriage return before it is dropped
// (a lone one, or the one of CR LF), and a Ctrl-Z ends the line's text, the
// rest of the physical line being skipped. A line that lies whole in the
// buffer with at most its terminator's carriage return is returned as a
// view into the buffer, without a copy.
std::string_view LineReader::ReadLine() {
  const std::string_view line = ReadLineUncounted();
  ++lines_read_;
  return line;
}

std::string_view LineReader::ReadLineUncounted() {
  bool copied = false;
  line_.clear();
  while (Fill()) {
    const char* begin = buffer_.data() + pos_;
    const std::size_t available = end_ - pos_;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', available));
    std::size_t length = lf != nullptr ? static_cast<std::size_t>(lf - begin) : available;
    const char* ctrl_z = static_cast<const char*>(std::memchr(begin, kCtrlZ, length));
    if (ctrl_z != nullptr) length = static_cast<std::size_t>(ctrl_z - begin);
    const bool ends_here = lf != nullptr || ctrl_z != nullptr;
    std::string_view text(begin, length);
    const auto cr = text.find('\r');
    if (ends_here && !copied && (cr == std::string_view::npos ||
                                 (cr + 1 == length && lf != nullptr && ctrl_z == nullptr))) {
      if (cr != std::string_view::npos) text.remove_suffix(1);
      if (ctrl_z != nullptr) {
        // The view must survive the skip, which may refill the buffer.
        line_.assign(text);
        pos_ += length;
        SkipPastLineFeed();
        return line_;
      }
      pos_ += length + 1;
      return text;
    }
    copied = true;
    for (std::size_t from = 0; from <= text.size();) {
      const auto next = text.find('\r', from);
      line_.append(text.substr(from, next == std::string_view::npos ? text.npos : next - from));
      if (next == std::string_view::npos) break;
      from = next + 1;
    }
    if (ctrl_z != nullptr) {
      pos_ += length;
      SkipPastLineFeed();
      return line_;
    }
    pos_ += length;
    if (lf != nullptr) {
      ++pos_;
      return line_;
    }
  }
  return line_;
}

// ---------------------------------------------------------------------------
// Whole files

LoadedLines::LoadedLines(const std::string& path) {
  if (const int error = ReadWholeFile(path, data_); error != 0) {
    throw Error("Cannot open file \"" + path + "\". " + SystemErrorText(error));
  }
  if (const auto nul = data_.find('\0'); nul != std::string::npos) data_.resize(nul);
}

LoadedLines::Iterator::Iterator(std::string_view data, std::size_t at) : data_(data) {
  Scan(at);
}

// A line ends at CR, LF or CR LF, one terminator each.
void LoadedLines::Iterator::Scan(std::size_t at) {
  next_ = at;
  const std::size_t n = data_.size();
  if (at >= n) {
    next_ = n;
    return;
  }
  std::size_t i = at;
  while (i < n && data_[i] != '\r' && data_[i] != '\n') ++i;
  line_ = data_.substr(at, i - at);
  if (i < n && data_[i] == '\r' && i + 1 < n && data_[i + 1] == '\n') ++i;
  after_ = i + 1;
}

void SaveLines(const std::vector<std::string>& lines, const std::string& path) {
  TextFileWriter file(path);
  for (const auto& line : lines) file.WriteLine(line);
  file.Commit();
}

void SaveFile(std::string_view data, const std::string& path) {
  TextFileWriter file(path);
  file.Write(data);
  file.Commit();
}

TextFileWriter::TextFileWriter(std::string path) : path_(std::move(path)) {
  // A file that is in the way and cannot be replaced (a directory, say)
  // fails like a file that cannot be created.
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    Failed(EISDIR);
    return;
  }
  const std::filesystem::path target(path_);
  std::random_device random;
  temp_ = (target.parent_path() /
           ("." + target.filename().string() + ".tmp" + std::to_string(random())))
              .string();
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    temp_.clear();
    Failed(errno);
  }
}

TextFileWriter::~TextFileWriter() { Discard(); }

void TextFileWriter::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  buffer_.clear();
}

void TextFileWriter::Failed(int error) {
  if (error_ == 0) error_ = error;
  Discard();
}

void TextFileWriter::Write(std::string_view data) {
  if (error_ != 0) return;
  buffer_ += data;
  if (buffer_.size() >= kBufferSize * 16) Flush();
}

void TextFileWriter::WriteLine(std::string_view line) {
  if (error_ != 0) return;
  buffer_ += line;
  buffer_ += "\r\n";
  if (buffer_.size() >= kBufferSize * 16) Flush();
}

void TextFileWriter::Flush() {
  if (error_ != 0) return;
  if (!WriteAll(fd_, buffer_)) return Failed(errno);
  buffer_.clear();
}

void TextFileWriter::Commit() {
  Flush();
  if (error_ == 0 && ::fsync(fd_) != 0) Failed(errno);
  if (error_ == 0) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Failed(errno);
  }
  if (error_ == 0 && ::rename(temp_.c_str(), path_.c_str()) != 0) Failed(errno);
  if (error_ != 0) {
    throw Error("Cannot create file \"" + path_ + "\". " + SystemErrorText(error_));
  }
  temp_.clear();
}

}  // namespace tto
