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
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tto::dbf {

class LocateIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // Room for `records` records under as many keys, made before a build.
  void Reserve(std::size_t records);
  // Adds `record` under `key`. Records arrive in any order; each key keeps
  // its own in ascending order (an append is the cheap case).
  void Insert(std::string_view key, std::uint32_t record);
  // Takes `record` out of `key`'s records; it must be there.
  void Remove(std::string_view key, std::uint32_t record);
  // The first record of `key`, or kNone.
  std::uint32_t First(std::string_view key) const;

 private:
  // All zero bytes make a free slot (a key has at least its length's four
  // bytes), so that the table comes from calloc: pages that no key reaches
  // are never touched, and a generous reservation costs nothing.
  struct Slot {
    std::size_t hash;
    std::size_t key_at;
    std::uint32_t key_size;  // 0: a free slot
    std::uint32_t head;      // kNone once the key has no records left
    std::uint32_t tail;
  };
  struct FreeSlots {
    void operator()(Slot* slots) const { std::free(slots); }
  };
  std::size_t Find(std::string_view key, std::size_t hash) const;  // the slot, or a free one
  void Resize(std::size_t size);

  std::unique_ptr<Slot[], FreeSlots> slots_;
  std::size_t size_ = 0;  // a power of two
  std::size_t used_ = 0;
  std::string keys_;
  std::vector<std::uint32_t> next_;
  std::vector<std::uint32_t> prev_;
};

// A key part: the text's length (4 bytes) and its bytes, so that no two
// lists of values make the same key.
void AppendKeyPart(std::string& key, std::string_view text);

}  // namespace tto::dbf
