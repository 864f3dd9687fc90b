#pragma once
// A list of object references that can keep its elements in the order of an unsigned 32-bit
// key. Gene lists are built on it: lookups by number are bisections, and genes that arrive
// with rising numbers take the append path without a search. The list never owns what it
// holds; owners free their elements themselves.

#include <cstdint>
#include <vector>

#include "base/errors.h"

namespace qf {

// What adding an element whose key is already present does.
enum TDuplicates { dupIgnore, dupAccept, dupError };

// Raises the list-index error of the base list.
[[noreturn]] void ListIndexError(int32_t index);

template <class T>
class TSortedList {
public:
  // An unsorted list is a plain append-only list whose keys are never read.
  explicit TSortedList(bool sorted) : sorted_(sorted) {}
  virtual ~TSortedList() = default;
  TSortedList(const TSortedList&) = delete;
  TSortedList& operator=(const TSortedList&) = delete;

  bool Sorted() const { return sorted_; }
  TDuplicates Duplicates = dupError;

  virtual uint32_t KeyOf(const T* element) const = 0;

  // Returns the index at which the element now stands; in ignore mode, on a duplicate key, the
  // index of the element already present.
  int32_t Add(T* element) {
    if (!sorted_) {
      items_.push_back(element);
      return Count() - 1;
    }
    QF_ASSERT(element != nullptr, "Sorted list can't contain nil!");
    const uint32_t key = KeyOf(element);
    if (items_.empty() || key > KeyOf(items_.back())) {
      items_.push_back(element);
      return Count() - 1;
    }
    int32_t index;
    if (Search(key, index)) {
      if (Duplicates == dupIgnore) return index;
      if (Duplicates == dupError) throw EListError("Duplicates are not allowed!");
    }
    items_.insert(items_.begin() + index, element);
    return index;
  }

  // A sorted list bisects and gives the index of the match or where the key would be inserted
  // (in accept mode the first element carrying the key). An unsorted list scans from the
  // front and gives the first match or -1.
  bool Search(uint32_t key, int32_t& index) const {
    if (!sorted_) {
      for (size_t i = 0; i < items_.size(); ++i) {
        if (KeyOf(items_[i]) == key) {
          index = static_cast<int32_t>(i);
          return true;
        }
      }
      index = -1;
      return false;
    }
    bool found = false;
    int32_t lo = 0;
    int32_t hi = Count() - 1;
    while (lo <= hi) {
      const int32_t mid =
          static_cast<int32_t>((static_cast<uint32_t>(lo) + static_cast<uint32_t>(hi)) >> 1);
      const uint32_t k = KeyOf(items_[mid]);
      if (k < key) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (k == key) {
          found = true;
          if (Duplicates != dupAccept) lo = mid;
        }
      }
    }
    index = lo;
    return found;
  }

  T* Find(uint32_t key) const {
    int32_t index;
    return Search(key, index) ? items_[index] : nullptr;
  }

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  bool Empty() const { return items_.empty(); }

  // Unchecked access for loops that stay inside the list.
  T* operator[](int32_t index) const { return items_[index]; }

  // Checked access: an index out of range raises the list error.
  T* Items(int32_t index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return items_[index];
  }

  T* Last() const { return items_.empty() ? nullptr : items_.back(); }

  int32_t IndexOf(const T* element) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i] == element) return static_cast<int32_t>(i);
    }
    return -1;
  }

  // Base-list insertion at a position; it does not keep a sorted list in order.
  void Insert(int32_t index, T* element) {
    if (index < 0 || index > Count()) ListIndexError(index);
    items_.insert(items_.begin() + index, element);
  }

  void Delete(int32_t index) {
    if (index < 0 || index >= Count()) ListIndexError(index);
    items_.erase(items_.begin() + index);
  }

  // Removes and returns the last element, or nullptr when empty.
  T* ExtractLast() {
    if (items_.empty()) return nullptr;
    T* element = items_.back();
    items_.pop_back();
    return element;
  }

  void Clear() { items_.clear(); }
  void Reserve(int32_t capacity) { items_.reserve(static_cast<size_t>(capacity)); }

  // Takes the other list's elements in its order (a copy of the references).
  void Assign(const TSortedList& other) { items_ = other.items_; }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

private:
  bool sorted_;
  std::vector<T*> items_;
};

}  // namespace qf
