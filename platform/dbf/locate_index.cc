// File: platform/dbf/locate_index.cc
//
// The flat locate index: see locate_index.h.
#include "platform/dbf/locate_index.h"

#include <algorithm>
#include <functional>
#include <new>
#include <utility>

namespace tto::dbf {

namespace {

// The hash with its bits mixed, so that the low bits that pick a slot
// depend on all of them.
std::size_t HashOf(std::string_view key) {
  std::uint64_t h = std::hash<std::string_view>{}(key);
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return static_cast<std::size_t>(h);
}

}  // namespace

void AppendKeyPart(std::string& key, std::string_view text) {
  const auto size = static_cast<std::uint32_t>(text.size());
  const char length[4] = {static_cast<char>(size & 0xFF), static_cast<char>((size >> 8) & 0xFF),
                          static_cast<char>((size >> 16) & 0xFF),
                          static_cast<char>((size >> 24) & 0xFF)};
  key.append(length, 4);
  key.append(text);
}

std::size_t LocateIndex::Find(std::string_view key, std::size_t hash) const {
  const std::size_t mask = size_ - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.key_size == 0) return at;
    if (slot.hash == hash && slot.key_size == key.size() &&
        std::string_view(keys_).substr(slot.key_at, slot.key_size) == key) {
      return at;
    }
  }
}

void LocateIndex::Resize(std::size_t size) {
  auto* fresh = static_cast<Slot*>(std::calloc(size, sizeof(Slot)));
  if (fresh == nullptr) throw std::bad_alloc();
  std::unique_ptr<Slot[], FreeSlots> old(std::exchange(slots_, {}));
  slots_.reset(fresh);
  const std::size_t old_size = std::exchange(size_, size);
  const std::size_t mask = size - 1;
  for (std::size_t i = 0; i < old_size; ++i) {
    const Slot& slot = old[i];
    if (slot.key_size == 0) continue;
    std::size_t at = slot.hash & mask;
    while (slots_[at].key_size != 0) at = (at + 1) & mask;
    slots_[at] = slot;
  }
}

void LocateIndex::Reserve(std::size_t records) {
  // Beyond a few million keys the table grows as it fills.
  std::size_t size = 64;
  while (size < std::min(records, std::size_t{1} << 22) * 2) size *= 2;
  if (size > size_) Resize(size);
  next_.resize(std::max(next_.size(), records), kNone);
  prev_.resize(next_.size(), kNone);
}

void LocateIndex::Insert(std::string_view key, std::uint32_t record) {
  if ((used_ + 1) * 2 > size_) Resize(size_ == 0 ? 64 : size_ * 2);
  const std::size_t hash = HashOf(key);
  Slot& slot = slots_[Find(key, hash)];
  if (slot.key_size == 0) {
    slot.hash = hash;
    slot.key_at = keys_.size();
    slot.key_size = static_cast<std::uint32_t>(key.size());
    slot.head = slot.tail = kNone;
    keys_.append(key);
    ++used_;
  }
  if (next_.size() <= record) {
    next_.resize(std::max<std::size_t>(record + 1, next_.size() * 2), kNone);
    prev_.resize(next_.size(), kNone);
  }
  if (slot.head == kNone) {
    slot.head = slot.tail = record;
    next_[record] = prev_[record] = kNone;
  } else if (record > slot.tail) {
    next_[slot.tail] = record;
    prev_[record] = slot.tail;
    next_[record] = kNone;
    slot.tail = record;
  } else if (record < slot.head) {
    prev_[slot.head] = record;
    next_[record] = slot.head;
    prev_[record] = kNone;
    slot.head = record;
  } else {
    // Between the first and the last: walk back from the last to the first
    // record below it.
    std::uint32_t after = slot.tail;
    while (prev_[after] > record) after = prev_[after];
    const std::uint32_t before = prev_[after];
    next_[before] = record;
    prev_[record] = before;
    next_[record] = after;
    prev_[after] = record;
  }
}

void LocateIndex::Remove(std::string_view key, std::uint32_t record) {
  if (size_ == 0) return;
  Slot& slot = slots_[Find(key, HashOf(key))];
  if (slot.key_size == 0) return;
  const std::uint32_t before = prev_[record];
  const std::uint32_t after = next_[record];
  if (before != kNone) {
    next_[before] = after;
  } else {
    slot.head = after;
  }
  if (after != kNone) {
    prev_[after] = before;
  } else {
    slot.tail = before;
  }
  next_[record] = prev_[record] = kNone;
}

std::uint32_t LocateIndex::First(std::string_view key) const {
  if (size_ == 0) return kNone;
  const Slot& slot = slots_[Find(key, HashOf(key))];
  return slot.key_size == 0 ? kNone : slot.head;
}

}  // namespace tto::dbf
