// A preloaded library (LD_PRELOAD) that gives a program a disk that fills
// up, fails or loses a file at a chosen moment, for the fault tests. It acts
// only on files under one folder and is set up by the environment:
//
//   TTO_FAULT_DIR     the folder whose files are affected (an absolute path
//                     without links, as /proc/self/fd shows it)
//   TTO_FAULT_AFTER   bytes that may still be written into affected files;
//                     unset: nothing fails
//   TTO_FAULT_KIND    what happens once the bytes are used up:
//                       enospc  the write fails with ENOSPC (the default)
//                       eio     the write fails with EIO
//                       short   the write stores what fits and returns that
//                               count; the next one fails with ENOSPC
//                       fsync   writes go through; fsync and fdatasync of an
//                               affected file fail with EIO
//   TTO_FAULT_LOG     a file to which every write into an affected file
//                     appends "<bytes> <path>"
//   TTO_FAULT_REMOVE  a file name: the first open of a path with that last
//                     component removes the file just before the open, as
//                     another program might between a test that it exists
//                     and the open
//   TTO_FAULT_FDS     a file that receives, at exit, every descriptor above 2
//                     still open, as "<fd> <target>"
#undef _FORTIFY_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

enum class Kind { kEnospc, kEio, kShort, kFsync };

struct Config {
  std::string dir;  // with a trailing "/"
  bool limited = false;
  long long after = 0;
  Kind kind = Kind::kEnospc;
  std::string remove;
  int log_fd = -1;
  std::string fds_path;
};

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
using WritevFn = ssize_t (*)(int, const struct iovec*, int);
using PwritevFn = ssize_t (*)(int, const struct iovec*, int, off_t);
using SyncFn = int (*)(int);
using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);

Config& Settings() {
  static Config config = [] {
    Config c;
    if (const char* dir = std::getenv("TTO_FAULT_DIR"); dir != nullptr && *dir != '\0') {
      c.dir = dir;
      if (c.dir.back() != '/') c.dir += '/';
    }
    if (const char* after = std::getenv("TTO_FAULT_AFTER"); after != nullptr && *after != '\0') {
      c.limited = true;
      c.after = std::atoll(after);
    }
    if (const char* kind = std::getenv("TTO_FAULT_KIND"); kind != nullptr) {
      const std::string_view k = kind;
      if (k == "eio") c.kind = Kind::kEio;
      if (k == "short") c.kind = Kind::kShort;
      if (k == "fsync") c.kind = Kind::kFsync;
    }
    if (const char* remove = std::getenv("TTO_FAULT_REMOVE"); remove != nullptr) c.remove = remove;
    if (const char* log = std::getenv("TTO_FAULT_LOG"); log != nullptr && *log != '\0') {
      c.log_fd = Next<OpenFn>("open")(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    if (const char* fds = std::getenv("TTO_FAULT_FDS"); fds != nullptr) c.fds_path = fds;
    return c;
  }();
  return config;
}

std::atomic<long long> g_written{0};
std::atomic<bool> g_removed{false};

std::string FdTarget(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

bool Affected(int fd) {
  const Config& c = Settings();
  return !c.dir.empty() && fd != c.log_fd && FdTarget(fd).starts_with(c.dir);
}

void Log(int fd, size_t bytes) {
  const Config& c = Settings();
  if (c.log_fd < 0) return;
  const std::string line = std::to_string(bytes) + " " + FdTarget(fd) + "\n";
  Next<WriteFn>("write")(c.log_fd, line.data(), line.size());
}

// How many of `size` bytes the write may store, or -1 with errno set when it
// must fail. Counts what it lets through.
ssize_t Allow(int fd, size_t size) {
  if (!Affected(fd)) return static_cast<ssize_t>(size);
  Log(fd, size);
  const Config& c = Settings();
  if (!c.limited || c.kind == Kind::kFsync) {
    g_written += static_cast<long long>(size);
    return static_cast<ssize_t>(size);
  }
  const long long left = c.after - g_written.load();
  if (left >= static_cast<long long>(size)) {
    g_written += static_cast<long long>(size);
    return static_cast<ssize_t>(size);
  }
  if (c.kind == Kind::kShort && left > 0) {
    g_written += left;
    return static_cast<ssize_t>(left);
  }
  errno = c.kind == Kind::kEio ? EIO : ENOSPC;
  return -1;
}

// The first `allowed` bytes of an iovec array.
int Trim(const struct iovec* iov, int count, size_t allowed, struct iovec* out) {
  int n = 0;
  for (int i = 0; i < count && allowed > 0; ++i) {
    out[n] = iov[i];
    if (out[n].iov_len > allowed) out[n].iov_len = allowed;
    allowed -= out[n].iov_len;
    ++n;
  }
  return n;
}

size_t Total(const struct iovec* iov, int count) {
  size_t total = 0;
  for (int i = 0; i < count; ++i) total += iov[i].iov_len;
  return total;
}

int SyncFault(int fd) {
  const Config& c = Settings();
  if (c.limited && c.kind == Kind::kFsync && Affected(fd) && g_written.load() > c.after) {
    errno = EIO;
    return -1;
  }
  return 0;
}

void RemoveBeforeOpen(const char* path, int dirfd) {
  const Config& c = Settings();
  if (c.remove.empty() || path == nullptr || g_removed.load()) return;
  const char* slash = std::strrchr(path, '/');
  if (c.remove != (slash != nullptr ? slash + 1 : path)) return;
  g_removed = true;
  ::unlinkat(dirfd, path, 0);
}

mode_t ModeArgument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

// Lists what is still open when the program ends.
__attribute__((destructor)) void ReportOpenDescriptors() {
  const Config& c = Settings();
  if (c.fds_path.empty()) return;
  std::string report;
  if (DIR* dir = ::opendir("/proc/self/fd"); dir != nullptr) {
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
      const int fd = std::atoi(entry->d_name);
      if (entry->d_name[0] == '.' || fd <= 2 || fd == own || fd == c.log_fd) continue;
      report += std::to_string(fd) + " " + FdTarget(fd) + "\n";
    }
    ::closedir(dir);
  }
  const int out = Next<OpenFn>("open")(c.fds_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return;
  Next<WriteFn>("write")(out, report.data(), report.size());
  ::close(out);
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t size) {
  const ssize_t allowed = Allow(fd, size);
  if (allowed < 0) return -1;
  return Next<WriteFn>("write")(fd, buf, static_cast<size_t>(allowed));
}

ssize_t pwrite(int fd, const void* buf, size_t size, off_t offset) {
  const ssize_t allowed = Allow(fd, size);
  if (allowed < 0) return -1;
  return Next<PwriteFn>("pwrite")(fd, buf, static_cast<size_t>(allowed), offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t size, off_t offset) {
  const ssize_t allowed = Allow(fd, size);
  if (allowed < 0) return -1;
  return Next<PwriteFn>("pwrite64")(fd, buf, static_cast<size_t>(allowed), offset);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
  const ssize_t allowed = Allow(fd, Total(iov, count));
  if (allowed < 0) return -1;
  struct iovec trimmed[IOV_MAX];
  const int n = Trim(iov, count < IOV_MAX ? count : IOV_MAX, static_cast<size_t>(allowed), trimmed);
  return Next<WritevFn>("writev")(fd, trimmed, n);
}

ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t offset) {
  const ssize_t allowed = Allow(fd, Total(iov, count));
  if (allowed < 0) return -1;
  struct iovec trimmed[IOV_MAX];
  const int n = Trim(iov, count < IOV_MAX ? count : IOV_MAX, static_cast<size_t>(allowed), trimmed);
  return Next<PwritevFn>("pwritev")(fd, trimmed, n, offset);
}

int fsync(int fd) {
  if (SyncFault(fd) != 0) return -1;
  return Next<SyncFn>("fsync")(fd);
}

int fdatasync(int fd) {
  if (SyncFault(fd) != 0) return -1;
  return Next<SyncFn>("fdatasync")(fd);
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  RemoveBeforeOpen(path, AT_FDCWD);
  return Next<OpenFn>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  RemoveBeforeOpen(path, AT_FDCWD);
  return Next<OpenFn>("open64")(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  RemoveBeforeOpen(path, dirfd);
  return Next<OpenatFn>("openat")(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  RemoveBeforeOpen(path, dirfd);
  return Next<OpenatFn>("openat64")(dirfd, path, flags, mode);
}

}  // extern "C"
