// File: core/run_lock.h
//
// One run at a time on a work folder. Every run takes an advisory lock on a
// file of our own in the work folder, ".transtempexorve.lock", and keeps it
// until it ends; a second run on the same folder, from this program or
// another copy of it, waits a few seconds for the first and then fails with
// an error that names the folder, before it has touched a table. The lock is
// flock(2) on a descriptor that no child inherits, so it goes with the
// process however the process ends. The lock file is never removed: removing
// it would let two runs lock two different files of the same name.
#pragma once

#include <chrono>
#include <filesystem>

namespace tto {

inline constexpr char kRunLockFileName[] = ".transtempexorve.lock";

class RunLock {
 public:
  // Takes the lock of `work_folder`, waiting up to `wait` while another run
  // holds it. Throws `Error` "The work folder '<path>' is in use by another
  // run of transTempexOrve" when the wait is over, and "The work folder
  // '<path>' is not a folder" when the path names something else. A work
  // folder that does not exist, or in which the lock file can be neither
  // created nor opened (a read-only folder, which an import can still read),
  // is not locked: the table engine reports what a run cannot do there.
  RunLock(const std::filesystem::path& work_folder, std::chrono::milliseconds wait);
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace tto
