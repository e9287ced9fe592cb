// File: platform/dbf/record_file.cc
//
// Whole reads and writes, and the block cache of a table's records.
#include "platform/dbf/record_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/dbf/format.h"

namespace tto::dbf {

namespace {

constexpr std::size_t kBlockBytes = 64 * 1024;
// Blocks kept: 8 MiB of records at most, whatever the table's size. Tables
// of the export and the lookup tables of the import fit whole.
constexpr std::size_t kCacheSlots = 128;

const FileIo kSystemIo = {::pread, ::pwrite, ::fsync, ::rename};
const FileIo* current_io = &kSystemIo;

}  // namespace

const FileIo& Io() { return *current_io; }
void SetFileIo(const FileIo* io) { current_io = io != nullptr ? io : &kSystemIo; }

void Fd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PreadAll(int fd, char* buf, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = Io().pread(fd, buf, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = 0;
    if (n <= 0) return false;
    buf += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

bool PwriteAll(int fd, const char* buf, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = Io().pwrite(fd, buf, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    buf += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

RecordFile::RecordFile(int fd, std::uint32_t header_length, std::uint32_t record_length,
                       std::uint32_t count)
    : fd_(fd),
      header_length_(header_length),
      record_length_(std::max<std::uint32_t>(record_length, 1)),
      count_(count),
      per_block_(static_cast<std::uint32_t>(std::max<std::size_t>(kBlockBytes / record_length_, 1))),
      slots_(kCacheSlots) {}

RecordFile::Block& RecordFile::Load(std::uint32_t block_number) {
  Block& block = slots_[block_number % slots_.size()];
  if (block.number == block_number) return block;
  if (block.dirty) WriteBack(block);
  const std::uint64_t first = static_cast<std::uint64_t>(block_number) * per_block_;
  const auto records = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(per_block_, count_ > first ? count_ - first : 0));
  block.number = -1;
  block.bytes.resize(static_cast<std::size_t>(per_block_) * record_length_);
  if (!PreadAll(fd_, block.bytes.data(), static_cast<std::size_t>(records) * record_length_,
                OffsetOf(first))) {
    throw IoFailure{errno, "read"};
  }
  block.number = block_number;
  block.records = records;
  return block;
}

void RecordFile::WriteBack(Block& block) {
  const std::uint64_t first = static_cast<std::uint64_t>(block.number) * per_block_;
  if (!PwriteAll(fd_, block.bytes.data(), static_cast<std::size_t>(block.records) * record_length_,
                 OffsetOf(first))) {
    throw IoFailure{errno, "write"};
  }
  block.dirty = false;
}

const char* RecordFile::Read(std::uint32_t index) {
  Block& block = Load(index / per_block_);
  return block.bytes.data() + static_cast<std::size_t>(index % per_block_) * record_length_;
}

char* RecordFile::Write(std::uint32_t index) {
  Block& block = Load(index / per_block_);
  block.dirty = true;
  changed_ = true;
  return block.bytes.data() + static_cast<std::size_t>(index % per_block_) * record_length_;
}

void RecordFile::Append(const char* record) {
  const std::uint32_t index = count_;
  Block& block = Load(index / per_block_);
  std::memcpy(block.bytes.data() + static_cast<std::size_t>(index % per_block_) * record_length_,
              record, record_length_);
  block.records = index % per_block_ + 1;
  block.dirty = true;
  changed_ = true;
  ++count_;
}

void RecordFile::Flush() {
  if (!changed_) return;
  std::vector<Block*> dirty;
  for (Block& block : slots_) {
    if (block.dirty) dirty.push_back(&block);
  }
  std::sort(dirty.begin(), dirty.end(),
            [](const Block* a, const Block* b) { return a->number < b->number; });
  for (Block* block : dirty) WriteBack(*block);
  const char eof = kEofMarker;
  if (!PwriteAll(fd_, &eof, 1, OffsetOf(count_))) throw IoFailure{errno, "write"};
  changed_ = false;
}

}  // namespace tto::dbf
