// File: core/string_list.h
//
// An ordered in-memory list of texts whose lookups ignore letter case by the
// locale-aware comparison of platform/collation (mat, Mat and MAT are equal;
// an accented letter is not equal to the plain one; the empty text equals
// only the empty text). Unsorted lists keep the order of adding and find the
// first equal entry; sorted lists keep ascending order and hold each text
// once. Lookups are hashed (unsorted) or halved (sorted), so a conversion that
// checks every code against the list stays linear.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tto {

class StringList {
 public:
  enum class Order { kUnsorted, kSorted };

  explicit StringList(Order order = Order::kUnsorted) : order_(order) {}

  // The position (0-based) of the entry equal to `text`, or -1.
  int IndexOf(std::string_view text) const;
  bool Contains(std::string_view text) const { return IndexOf(text) != -1; }

  // Unsorted: appends, even when an equal entry is there. Sorted: inserts at
  // its place, or leaves the list unchanged when an equal entry is there.
  void Add(std::string_view text);

  int Count() const { return static_cast<int>(entries_.size()); }
  const std::string& operator[](int index) const { return entries_[index]; }
  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  Order order_;
  std::vector<std::string> entries_;
  std::vector<std::string> keys_;                     // sorted lists only
  std::unordered_map<std::string, int> first_index_;  // unsorted lists only
};

}  // namespace tto
