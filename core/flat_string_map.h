// File: core/flat_string_map.h
//
// A hash map from texts to small values for the conversions' lookups of
// many short codes: open addressing over one array of slots, the keys' bytes
// kept one after another in one buffer. Keys are compared byte for byte.
// Values are only added, never removed; a pointer to a value stays valid
// until the next insertion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tto {

// Appends `part` to a key made of several texts, after its length, so that
// two keys are equal exactly when their parts are.
inline void AppendKeyPart(std::string& key, std::string_view part) {
  const auto size = static_cast<std::uint32_t>(part.size());
  key.append(reinterpret_cast<const char*>(&size), sizeof size);
  key.append(part);
}

template <typename Value>
class FlatStringMap {
 public:
  // Adds `key` with `value` unless the key is there; returns the value kept
  // for the key and whether it was added.
  std::pair<Value*, bool> TryEmplace(std::string_view key, Value value) {
    if ((size_ + 1) * 2 > slots_.size()) Grow();
    const std::size_t hash = Hash(key);
    std::size_t at = Probe(key, hash);
    Slot& slot = slots_[at];
    if (slot.used) return {&slot.value, false};
    slot = {hash, keys_.size(), key.size(), std::move(value), true};
    keys_.append(key);
    ++size_;
    return {&slot.value, true};
  }

  const Value* Find(std::string_view key) const {
    if (size_ == 0) return nullptr;
    const Slot& slot = slots_[Probe(key, Hash(key))];
    return slot.used ? &slot.value : nullptr;
  }

  std::size_t size() const { return size_; }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    Value value{};
    bool used = false;
  };

  static std::size_t Hash(std::string_view key) { return std::hash<std::string_view>{}(key); }

  // The slot that holds `key`, or the free slot where it would go.
  std::size_t Probe(std::string_view key, std::size_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (!slot.used) return at;
      if (slot.hash == hash && std::string_view(keys_).substr(slot.offset, slot.length) == key) {
        return at;
      }
    }
  }

  void Grow() {
    std::vector<Slot> old(slots_.empty() ? 16 : slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (Slot& slot : old) {
      if (!slot.used) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].used) at = (at + 1) & mask;
      slots_[at] = std::move(slot);
    }
  }

  std::vector<Slot> slots_;
  std::string keys_;
  std::size_t size_ = 0;
};

}  // namespace tto
