#pragma once
// A keyed collection: entries in insertion order, counted from 1, each under a unique key
// (keys match without regard to case).

#include <strings.h>
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Error.h"

namespace varnkit {

template <class T>
class Collection {
 public:
  struct Entry {
    std::string key;
    T item;
  };

  // Appends item under key; raises Error 457 when the key is taken.
  void add(T item, const std::string& key) {
    if (indexOf(key) >= 0)
      throw Error(Error::kKeyInUse,
                  "This key is already associated with an element of this "
                  "collection");
    entries_.push_back(Entry{key, std::move(item)});
  }

  int32_t Count() const { return int32_t(entries_.size()); }

  // The entry at position 1..Count, or null.
  T* find(int32_t position) {
    if (position < 1 || position > Count()) return nullptr;
    return &entries_[std::size_t(position - 1)].item;
  }
  // The entry under key, or null.
  T* find(const std::string& key) {
    const int i = indexOf(key);
    return i < 0 ? nullptr : &entries_[std::size_t(i)].item;
  }
  bool contains(const std::string& key) const { return indexOf(key) >= 0; }

  // Removes the entry at position 1..Count; raises Error 9 for any other position.
  void Remove(int32_t position) {
    if (position < 1 || position > Count())
      throw Error(Error::kSubscriptOutOfRange, "Subscript out of range");
    entries_.erase(entries_.begin() + (position - 1));
  }
  // Removes the entry under key; raises Error 5 when there is none.
  void Remove(const std::string& key) {
    const int i = indexOf(key);
    if (i < 0) throw Error(Error::kInvalidCall, "Invalid procedure call or argument");
    entries_.erase(entries_.begin() + i);
  }

  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  int indexOf(const std::string& key) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
      if (strcasecmp(entries_[i].key.c_str(), key.c_str()) == 0) return int(i);
    return -1;
  }

  std::vector<Entry> entries_;
};

// "I" followed by the decimal number: the keys of layers and of group-list entries.
inline std::string itemKey(int32_t n) {
  return "I" + std::to_string(n);
}

}  // namespace varnkit
