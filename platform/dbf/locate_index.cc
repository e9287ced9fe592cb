// File: platform/dbf/locate_index.cc
//
// The flat locate index: see locate_index.h.
#include "platform/dbf/locate_index.h"

#include <algorithm>
#include <functional>

namespace tto::dbf {

namespace {

std::size_t HashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }

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
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.key_size == kNone) return at;
    if (slot.hash == hash && slot.key_size == key.size() &&
        std::string_view(keys_).substr(slot.key_at, slot.key_size) == key) {
      return at;
    }
  }
}

void LocateIndex::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.key_size == kNone) continue;
    std::size_t at = slot.hash & mask;
    while (slots_[at].key_size != kNone) at = (at + 1) & mask;
    slots_[at] = slot;
  }
}

void LocateIndex::Insert(std::string_view key, std::uint32_t record) {
  if ((used_ + 1) * 2 > slots_.size()) Grow();
  const std::size_t hash = HashOf(key);
  Slot& slot = slots_[Find(key, hash)];
  if (slot.key_size == kNone) {
    slot.hash = hash;
    slot.key_at = keys_.size();
    slot.key_size = static_cast<std::uint32_t>(key.size());
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
  if (slots_.empty()) return;
  Slot& slot = slots_[Find(key, HashOf(key))];
  if (slot.key_size == kNone) return;
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
  if (slots_.empty()) return kNone;
  return slots_[Find(key, HashOf(key))].head;
}

}  // namespace tto::dbf
