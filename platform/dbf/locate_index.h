// File: platform/dbf/locate_index.h
//
// The index behind Locate: for each key (the texts of a list of fields),
// the records that hold it, in record order, so that the first of them is
// the record a scan from the start would find. A flat open-addressing table
// of keys whose bytes live in one buffer, and the records of each key as a
// doubly linked list through two arrays indexed by record number: building
// it is one pass over the table, a lookup touches no record, an append adds
// at a list's end and an edit moves one record between two lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tto::dbf {

class LocateIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // Adds `record` under `key`. Records arrive in any order; each key keeps
  // its own in ascending order (an append is the cheap case).
  void Insert(std::string_view key, std::uint32_t record);
  // Takes `record` out of `key`'s records; it must be there.
  void Remove(std::string_view key, std::uint32_t record);
  // The first record of `key`, or kNone.
  std::uint32_t First(std::string_view key) const;

 private:
  struct Slot {
    std::size_t hash = 0;
    std::size_t key_at = 0;
    std::uint32_t key_size = kNone;  // kNone: a free slot
    std::uint32_t head = kNone;
    std::uint32_t tail = kNone;
  };
  std::size_t Find(std::string_view key, std::size_t hash) const;  // the slot, or a free one
  void Grow();

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  std::string keys_;
  std::vector<std::uint32_t> next_;
  std::vector<std::uint32_t> prev_;
};

// A key part: the text's length (4 bytes) and its bytes, so that no two
// lists of values make the same key.
void AppendKeyPart(std::string& key, std::string_view text);

}  // namespace tto::dbf
