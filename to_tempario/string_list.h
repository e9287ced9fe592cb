// File: to_tempario/string_list.h
//
// An ordered in-memory list of texts whose lookups ignore letter case by the
// locale-aware comparison of collation.h (mat, Mat and MAT are equal;
// an accented letter is not equal to the plain one; the empty text equals
// only the empty text). Unsorted lists keep the order of adding and find the
// first equal entry; sorted lists keep ascending order and hold each text
// once. Lookups are hashed (unsorted) or halved (sorted), and a sorted list
// lays out its positions only when they are asked for, so a conversion that
// checks or adds every code stays linear (up to a logarithm).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/flat_string_map.h"

namespace tto {

class StringList {
 public:
  enum class Order { kUnsorted, kSorted };

  explicit StringList(Order order = Order::kUnsorted) : order_(order) {}

  // The collation key of a text: two texts are equal for a list exactly when
  // their keys are, and keys order as the texts do. A caller that both looks
  // a text up and adds it computes the key once and passes it to both.
  using Key = std::string;
  static Key KeyOf(std::string_view text);

  // The position (0-based) of the entry equal to `text`, or -1.
  int IndexOf(std::string_view text) const { return IndexOfKey(KeyOf(text)); }
  int IndexOfKey(const Key& key) const;
  bool Contains(std::string_view text) const { return IndexOf(text) != -1; }

  // Unsorted: appends, even when an equal entry is there. Sorted: inserts at
  // its place, or leaves the list unchanged when an equal entry is there.
  void Add(std::string_view text) { Add(text, KeyOf(text)); }
  // The same with the text's key already computed.
  void Add(std::string_view text, Key key);

  int Count() const;
  const std::string& operator[](int index) const { return Entries()[index]; }
  const std::vector<std::string>& Entries() const;

 private:
  // Sorted lists: lays out `entries_` and `keys_` from `sorted_` when an
  // add has changed it since.
  void LayOut() const;

  Order order_;
  // Unsorted lists: the entries and, by collation key, the first position.
  // Sorted lists: the laid-out entries and their keys, in order.
  mutable std::vector<std::string> entries_;
  mutable std::vector<std::string> keys_;
  FlatStringMap<int> first_index_;
  // Sorted lists: the entries by collation key.
  std::map<std::string, std::string> sorted_;
  mutable bool laid_out_ = true;
};

}  // namespace tto
