// The numbered record list that holds an import's signals and scalars.
//
// Records are numbered from 1 in list order (Renumber); the host asks for them
// by number, so FindByNumber answers without a walk while the numbering is
// the list order, which is how imports leave it. Every record kind begins
// with the list header: a keep word (DropUnused drops the records whose low
// byte is 0) and the number; FindByName and InsertByName read its `Name`.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "importcore/support.h"

namespace importcore {

struct ListHeader {
  uint32_t keep = 0;
  int32_t number = 0;
};

template <class T>
class RecordList {
  using Storage = std::vector<std::unique_ptr<T>>;

 public:
  // Iterates the records themselves, in list order.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;
    explicit const_iterator(typename Storage::const_iterator it) : it_(it) {}
    T& operator*() const { return **it_; }
    T* operator->() const { return it_->get(); }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++it_;
      return old;
    }
    bool operator==(const const_iterator& other) const { return it_ == other.it_; }

   private:
    typename Storage::const_iterator it_;
  };

  const_iterator begin() const { return const_iterator(records_.begin()); }
  const_iterator end() const { return const_iterator(records_.end()); }

  size_t Count() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  // The record at 0-based position `index` in list order, or null past the end.
  T* Nth(size_t index) const { return index < records_.size() ? records_[index].get() : nullptr; }
  T* First() const { return Nth(0); }

  // Links the record behind the last one and returns it.
  T& Append(std::unique_ptr<T> record) {
    T& added = *record;
    sequential_ = sequential_ && added.number == static_cast<int32_t>(records_.size() + 1);
    records_.push_back(std::move(record));
    return added;
  }
  // Inserts into a list kept in ascending byte order of the names: before the
  // first record when the name is smaller than its name, else before the
  // first following record whose name is not smaller.
  T& InsertByName(std::unique_ptr<T> record) {
    const std::string_view name(record->Name);
    size_t at = 0;
    if (!records_.empty() && !(name < std::string_view(records_[0]->Name))) {
      at = 1;
      while (at < records_.size() && std::string_view(records_[at]->Name) < name) ++at;
    }
    T& added = *record;
    records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(at), std::move(record));
    sequential_ = false;
    return added;
  }
  // Numbers the records 1, 2, 3 ... in list order.
  void Renumber() {
    int32_t n = 0;
    for (auto& r : records_) r->number = ++n;
    sequential_ = true;
  }
  // The largest number plus 1 (numbers compared unsigned); 1 for an empty list.
  int32_t NextNumber() const {
    uint32_t largest = 0;
    for (const auto& r : records_) largest = std::max(largest, static_cast<uint32_t>(r->number));
    return static_cast<int32_t>(largest + 1);
  }
  // The first record that carries `number`, or null.
  T* FindByNumber(int32_t number) const {
    if (sequential_) {
      if (number < 1 || static_cast<size_t>(number) > records_.size()) return nullptr;
      T* candidate = records_[static_cast<size_t>(number) - 1].get();
      if (candidate->number == number) return candidate;
    }
    for (const auto& r : records_)
      if (r->number == number) return r.get();
    return nullptr;
  }
  // The first record whose name equals `name` without regard to case, or null.
  T* FindByName(const char* name) const {
    for (const auto& r : records_)
      if (EqualNoCase(r->Name.c_str(), name)) return r.get();
    return nullptr;
  }
  bool Contains(const T* record) const { return IndexOf(record) < records_.size(); }
  // Removes `record` from the list and hands it back; null when it is not in it.
  std::unique_ptr<T> Unlink(const T* record) {
    const size_t index = IndexOf(record);
    if (index >= records_.size()) return nullptr;
    std::unique_ptr<T> out = std::move(records_[index]);
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
    if (index + 1 <= records_.size()) sequential_ = false;
    return out;
  }
  // Frees every record whose keep byte is 0.
  void DropUnused() {
    const size_t before = records_.size();
    std::erase_if(records_, [](const std::unique_ptr<T>& r) { return (r->keep & 0xFFu) == 0; });
    if (records_.size() != before) sequential_ = false;
  }
  void Clear() {
    records_.clear();
    sequential_ = true;
  }

 private:
  size_t IndexOf(const T* record) const {
    for (size_t i = 0; i < records_.size(); ++i)
      if (records_[i].get() == record) return i;
    return records_.size();
  }

  Storage records_;
  // Record i carries the number i + 1 for every i.
  bool sequential_ = true;
};

}  // namespace importcore
