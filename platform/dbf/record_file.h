// File: platform/dbf/record_file.h
//
// The file side of a table: a descriptor that closes itself, whole reads
// and writes through one replaceable set of system calls (so that tests can
// make a write fail), and `RecordFile`, the records of a table reached
// through a bounded cache of blocks.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tto::dbf {

// The system calls behind every read, write, sync and rename of a table.
struct FileIo {
  ssize_t (*pread)(int fd, void* buf, std::size_t size, off_t offset);
  ssize_t (*pwrite)(int fd, const void* buf, std::size_t size, off_t offset);
  int (*fsync)(int fd);
  int (*rename)(const char* from, const char* to);
};

// The calls in use; `SetFileIo(nullptr)` restores the system's own. For
// tests that inject faults.
const FileIo& Io();
void SetFileIo(const FileIo* io);

// A file descriptor that closes itself.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  void Reset();

 private:
  int fd_ = -1;
};

// All `size` bytes at `offset`, repeating short transfers; false with errno
// set on an error, and on an early end of the file (errno 0 for a read, and
// ENOSPC for a write that the system cut short without saying why).
bool PreadAll(int fd, char* buf, std::size_t size, off_t offset);
bool PwriteAll(int fd, const char* buf, std::size_t size, off_t offset);

// The records of a table: `count` records of `record_length` bytes from
// `header_length` on. Records are read and written in blocks of about 64
// KiB held in a cache of bounded size, so that the memory a table takes
// does not grow with the table: a pass over the records reads the file
// block by block, appends and edits collect in their blocks and reach the
// file when a block leaves the cache or at `Flush`.
//
// A pointer from `Read` or `Write` is valid until the next call of either.
// Every failing call throws `RecordFile::IoFailure` with errno's value.
class RecordFile {
 public:
  struct IoFailure {
    int error;
    const char* what;  // "read" or "write"
  };

  RecordFile() = default;
  RecordFile(int fd, std::uint32_t header_length, std::uint32_t record_length,
             std::uint32_t count);

  std::uint32_t count() const { return count_; }
  int fd() const { return fd_; }

  const char* Read(std::uint32_t index);
  char* Write(std::uint32_t index);          // marks the record's block changed
  void Append(const char* record);           // one more record at the end
  // Writes the changed blocks, in file order, then the end-of-file mark.
  void Flush();
  bool Changed() const { return changed_; }
  // Moves to another descriptor holding the same bytes (a copy).
  void Rebind(int fd) { fd_ = fd; }

 private:
  struct Block {
    std::int64_t number = -1;  // -1: the slot is free
    std::uint32_t records = 0;  // records held (the last block may be short)
    bool dirty = false;
    std::string bytes;
  };
  Block& Load(std::uint32_t block_number);
  void WriteBack(Block& block);
  off_t OffsetOf(std::uint64_t record) const {
    return static_cast<off_t>(header_length_ + record * record_length_);
  }

  int fd_ = -1;
  std::uint64_t header_length_ = 0;
  std::uint32_t record_length_ = 1;
  std::uint32_t count_ = 0;
  std::uint32_t per_block_ = 1;
  bool changed_ = false;
  std::vector<Block> slots_;  // direct-mapped: block n lives in slot n % size
};

}  // namespace tto::dbf
