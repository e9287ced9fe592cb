// File: platform/dbf/replace.h
//
// Locks on tables, and the safe replacement of a table by a new one.
//
// Other programs lock a table in one of three ways that do not see each
// other: flock, POSIX record locks (fcntl; what Wine turns a Windows
// program's LockFile into) and open-file-description locks, each on any
// byte range, often far past the end of the file (dBase drivers lock
// records at offsets near one billion). This engine takes a flock and an
// open-file-description lock over every byte, [0, infinity), so that it
// sees all three kinds and all of them see it.
//
// A table to be read is held when another process has a write lock on it;
// a table to be written or replaced is held when another process has any
// lock on it.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/dbf/record_file.h"

namespace tto::dbf {

enum class LockResult { kLocked, kHeld, kFailed };  // kFailed: errno tells

// Takes a flock (exclusive or shared) and a range lock of `range` (F_RDLCK
// or F_WRLCK) over the whole file, without waiting. kHeld when another
// holder is in the way; nothing stays taken unless the result is kLocked.
LockResult LockWhole(int fd, bool exclusive_flock, short range);

// Turns this descriptor's range lock into a write lock (the table is about
// to be written): kHeld when another process holds any lock on it.
LockResult UpgradeToWrite(int fd);

// The replacement of the table file `target` (NAME.DBF in its folder) by a
// new one. `Begin` locks every old file of the table (its .DBF and .MDX,
// whatever their letter case) and creates a temporary file of a name unique
// to the run in the same folder; the new table is written there. `Commit`
// syncs it, renames it over the table, removes the other old files and
// syncs the folder. Until `Commit` has renamed, the old table is untouched;
// `Abandon` (and the destructor) remove the temporary file.
class Replacement {
 public:
  Replacement() = default;
  Replacement(Replacement&& other) noexcept { *this = std::move(other); }
  Replacement& operator=(Replacement&& other) noexcept;
  ~Replacement() { Abandon(); }

  // Returns "" on success, else the fault ("the table is in use by another
  // program", "cannot create the table: ...").
  std::string Begin(const std::filesystem::path& folder, const std::string& base);
  int temporary_fd() const { return temporary_fd_.get(); }
  const std::filesystem::path& target() const { return target_; }
  // "" on success, else the fault; the temporary is gone either way.
  std::string Commit();
  void Abandon() noexcept;

 private:
  std::filesystem::path folder_;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  Fd temporary_fd_;
  std::vector<std::filesystem::path> old_paths_;
  std::vector<Fd> old_locks_;  // held from Begin until the rename is done
};

}  // namespace tto::dbf
