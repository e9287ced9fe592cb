#include "to_tempario/string_list.h"

#include <algorithm>

#include "to_tempario/collation.h"

namespace tto {

StringList::Key StringList::KeyOf(std::string_view text) { return CollationKey(text); }

int StringList::IndexOfKey(const Key& key) const {
  if (order_ == Order::kUnsorted) {
    const int* first = first_index_.Find(key);
    return first == nullptr ? -1 : *first;
  }
  LayOut();
  const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
  return it != keys_.end() && *it == key ? static_cast<int>(it - keys_.begin()) : -1;
}

void StringList::Add(std::string_view text, Key key) {
  if (order_ == Order::kUnsorted) {
    first_index_.TryEmplace(key, Count());
    entries_.emplace_back(text);
    return;
  }
  if (sorted_.try_emplace(std::move(key), text).second) laid_out_ = false;
}

int StringList::Count() const {
  return static_cast<int>(order_ == Order::kSorted ? sorted_.size() : entries_.size());
}

const std::vector<std::string>& StringList::Entries() const {
  LayOut();
  return entries_;
}

void StringList::LayOut() const {
  if (order_ == Order::kUnsorted || laid_out_) return;
  entries_.clear();
  keys_.clear();
  entries_.reserve(sorted_.size());
  keys_.reserve(sorted_.size());
  for (const auto& [key, text] : sorted_) {
    keys_.push_back(key);
    entries_.push_back(text);
  }
  laid_out_ = true;
}

}  // namespace tto
