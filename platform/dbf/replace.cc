// File: platform/dbf/replace.cc
//
// Whole-file locks and the replacement of a table: see replace.h.
#include "platform/dbf/replace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/orve_path.h"

namespace tto::dbf {

namespace fs = std::filesystem;

namespace {

constexpr char kInUse[] = "the table is in use by another program";

int Flock(int fd, int op) {
  int rc;
  do {
    rc = ::flock(fd, op);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// A range lock over every byte of the file, past its end included.
struct flock WholeRange(short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 0;
  return range;
}

LockResult SetRange(int fd, short type) {
  struct flock range = WholeRange(type);
  if (::fcntl(fd, F_OFD_SETLK, &range) == 0) return LockResult::kLocked;
  return errno == EAGAIN || errno == EACCES ? LockResult::kHeld : LockResult::kFailed;
}

// For a file this run may only read: whether another process holds a lock
// that a writer would meet, and a read lock of our own so that others see
// the table in use.
LockResult ProbeAndLockForRead(int fd) {
  if (Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return errno == EWOULDBLOCK ? LockResult::kHeld : LockResult::kFailed;
  }
  struct flock probe = WholeRange(F_WRLCK);
  if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return LockResult::kFailed;
  if (probe.l_type != F_UNLCK) return LockResult::kHeld;
  return SetRange(fd, F_RDLCK);
}

std::string Fault(const char* what, int error) { return std::string(what) + std::strerror(error); }

}  // namespace

LockResult LockWhole(int fd, bool exclusive_flock, short range) {
  if (Flock(fd, (exclusive_flock ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    return errno == EWOULDBLOCK ? LockResult::kHeld : LockResult::kFailed;
  }
  const LockResult result = SetRange(fd, range);
  if (result != LockResult::kLocked) {
    const int error = errno;
    Flock(fd, LOCK_UN);
    errno = error;
  }
  return result;
}

LockResult UpgradeToWrite(int fd) { return SetRange(fd, F_WRLCK); }

Replacement& Replacement::operator=(Replacement&& other) noexcept {
  if (this != &other) {
    Abandon();
    folder_ = std::exchange(other.folder_, {});
    target_ = std::exchange(other.target_, {});
    temporary_ = std::exchange(other.temporary_, {});
    temporary_fd_ = std::move(other.temporary_fd_);
    old_paths_ = std::exchange(other.old_paths_, {});
    old_locks_ = std::exchange(other.old_locks_, {});
  }
  return *this;
}

std::string Replacement::Begin(const fs::path& folder, const std::string& base) {
  folder_ = folder;
  target_ = folder / (base + ".DBF");
  for (const char* extension : {".DBF", ".MDX"}) {
    for (const fs::path& old : FindIgnoringCase(folder, base + extension)) {
      // O_NONBLOCK: a FIFO in the table's place must not hang the open.
      int fd = ::open(old.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
      const bool writable = fd >= 0;
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM || errno == EISDIR)) {
        fd = ::open(old.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
      }
      if (fd < 0) {
        if (errno == ENOENT) continue;  // gone since the folder was listed
        return Fault("cannot lock the table: ", errno);
      }
      Fd held(fd);
      struct stat opened {};
      if (::fstat(fd, &opened) != 0) return Fault("cannot lock the table: ", errno);
      const LockResult result = writable ? LockWhole(fd, true, F_WRLCK) : ProbeAndLockForRead(fd);
      if (result == LockResult::kHeld) return kInUse;
      // Only a table's own file must be locked; anything else in its place
      // (a FIFO, a folder) is simply replaced.
      if (result == LockResult::kFailed && S_ISREG(opened.st_mode)) {
        return Fault("cannot lock the table: ", errno);
      }
      // Another run may have replaced the file between the listing and the
      // lock; then the table is in use.
      struct stat now {};
      if (::lstat(old.c_str(), &now) != 0 || now.st_ino != opened.st_ino ||
          now.st_dev != opened.st_dev) {
        return kInUse;
      }
      old_paths_.push_back(old);
      old_locks_.push_back(std::move(held));
    }
  }
  std::string pattern = (folder / ("." + base + ".DBF.XXXXXX")).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return Fault("cannot create the table: ", errno);
  temporary_ = pattern;
  temporary_fd_ = Fd(fd);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0644 & ~mask);  // as a table created in place would be
  return "";
}

std::string Replacement::Commit() {
  if (Io().fsync(temporary_fd_.get()) != 0) {
    const int error = errno;
    Abandon();
    return Fault("cannot write the table: ", error);
  }
  if (Io().rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    Abandon();
    return Fault("cannot replace the table: ", error);
  }
  temporary_.clear();
  temporary_fd_.Reset();
  for (const fs::path& old : old_paths_) {
    if (old.filename() != target_.filename()) ::unlink(old.c_str());
  }
  old_paths_.clear();
  old_locks_.clear();
  // The rename reaches the disk with the folder.
  Fd folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0 || Io().fsync(folder.get()) != 0) {
    return Fault("the table was replaced but the work folder cannot be synced: ", errno);
  }
  return "";
}

void Replacement::Abandon() noexcept {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  temporary_fd_.Reset();
  old_paths_.clear();
  old_locks_.clear();
}

}  // namespace tto::dbf
