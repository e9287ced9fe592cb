#include "core/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "core/errors.h"
#include "core/text_file.h"

namespace tto {
namespace {

constexpr auto kRetryEvery = std::chrono::milliseconds(20);

[[noreturn]] void Fail(const std::filesystem::path& folder, const std::string& fault) {
  throw Error("The work folder '" + folder.string() + "' " + fault);
}

// Opens (creating it when missing) the lock file; -1 when the folder lets
// us do neither.
int OpenLockFile(const std::filesystem::path& folder) {
  const std::string path = (folder / kRunLockFileName).string();
  for (;;) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM || errno == ENOENT)) {
        return -1;
      }
    }
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
      ::close(fd);
      Fail(folder, "holds something other than a file named " + std::string(kRunLockFileName));
    }
    if (errno == EINTR) continue;
    if (errno == ELOOP) {
      Fail(folder, "holds a link named " + std::string(kRunLockFileName));
    }
    Fail(folder, "cannot be locked: " + SystemErrorText(errno));
  }
}

}  // namespace

RunLock::RunLock(const std::filesystem::path& work_folder, std::chrono::milliseconds wait) {
  struct stat st {};
  if (::stat(work_folder.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) Fail(work_folder, "is not a folder");
  const int fd = OpenLockFile(work_folder);
  if (fd < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK) {
      // A file system without flock: run unlocked, as before locks existed.
      ::close(fd);
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      Fail(work_folder, "is in use by another run of transTempexOrve");
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace tto
