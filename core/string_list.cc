#include "core/string_list.h"

#include <algorithm>

#include "platform/collation/collation.h"

namespace tto {

int StringList::IndexOf(std::string_view text) const {
  const std::string key = CollationKey(text);
  if (order_ == Order::kUnsorted) {
    const auto it = first_index_.find(key);
    return it == first_index_.end() ? -1 : it->second;
  }
  const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
  return it != keys_.end() && *it == key ? static_cast<int>(it - keys_.begin()) : -1;
}

void StringList::Add(std::string_view text) {
  std::string key = CollationKey(text);
  if (order_ == Order::kUnsorted) {
    first_index_.try_emplace(std::move(key), Count());
    entries_.emplace_back(text);
    return;
  }
  const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
  if (it != keys_.end() && *it == key) return;
  const auto at = it - keys_.begin();
  keys_.insert(it, std::move(key));
  entries_.insert(entries_.begin() + at, std::string(text));
}

}  // namespace tto
