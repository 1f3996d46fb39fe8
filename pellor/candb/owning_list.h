// A list of object pointers in which each entry either owns its item or only
// refers to an item that something else owns, so one list type serves both the
// database's own lists (messages, nodes, signals, value texts) and the lists
// that point into them (a node's messages, a signal's receivers).
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace pellor {

template <class T>
class OwningList {
  struct Entry {
    T* item = nullptr;
    std::unique_ptr<T> owned;  // set when the entry owns its item
  };
  using Entries = std::vector<Entry>;

 public:
  // Walks the items in list order; dereferencing gives the item itself.
  template <bool Const>
  class Iter {
    using Base = std::conditional_t<Const, typename Entries::const_iterator, typename Entries::iterator>;

   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<Const, const T&, T&>;
    using pointer = std::conditional_t<Const, const T*, T*>;

    Iter() = default;
    explicit Iter(Base it) : m_it(it) {}
    reference operator*() const { return *m_it->item; }
    pointer operator->() const { return m_it->item; }
    Iter& operator++() { ++m_it; return *this; }
    Iter operator++(int) { Iter old = *this; ++m_it; return old; }
    Iter& operator--() { --m_it; return *this; }
    Iter& operator+=(difference_type n) { m_it += n; return *this; }
    Iter operator+(difference_type n) const { return Iter(m_it + n); }
    difference_type operator-(const Iter& other) const { return m_it - other.m_it; }
    reference operator[](difference_type n) const { return *m_it[n].item; }
    bool operator==(const Iter& other) const { return m_it == other.m_it; }
    auto operator<=>(const Iter& other) const { return m_it <=> other.m_it; }

   private:
    Base m_it{};
  };
  using iterator = Iter<false>;
  using const_iterator = Iter<true>;

  OwningList() = default;
  OwningList(const OwningList&) = delete;
  OwningList& operator=(const OwningList&) = delete;
  OwningList(OwningList&&) noexcept = default;
  OwningList& operator=(OwningList&&) noexcept = default;

  size_t Count() const { return m_entries.size(); }
  bool Empty() const { return m_entries.empty(); }
  T& operator[](size_t index) { return *m_entries[index].item; }
  const T& operator[](size_t index) const { return *m_entries[index].item; }
  T& Back() { return *m_entries.back().item; }
  // Whether the entry at `index` owns its item.
  bool Owns(size_t index) const { return m_entries[index].owned != nullptr; }

  // Appends an item that the list owns from now on.
  T& Append(std::unique_ptr<T> item) { return InsertBefore(m_entries.size(), std::move(item)); }
  // Appends an item owned elsewhere, which must outlive its entry.
  T& AppendBorrowed(T& item) {
    m_entries.push_back(Entry{&item, nullptr});
    return item;
  }
  // Inserts an owned item before the entry at `index` (at the end when `index` is Count()).
  T& InsertBefore(size_t index, std::unique_ptr<T> item) {
    T& ref = *item;
    Entry entry{item.get(), std::move(item)};
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
    return ref;
  }
  // Deletes every owned item and forgets the borrowed ones.
  void Clear() { m_entries.clear(); }

  // Orders the items by `less`; items that compare equal keep their order.
  template <class Less>
  void StableSort(Less less) {
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [&](const Entry& a, const Entry& b) { return less(*a.item, *b.item); });
  }
  // Index of the first item for which `less(key, item)` holds (Count() when none).
  template <class Key, class Less>
  size_t UpperBound(const Key& key, Less less) const {
    const auto it = std::upper_bound(m_entries.begin(), m_entries.end(), key,
                                     [&](const Key& k, const Entry& e) { return less(k, *e.item); });
    return static_cast<size_t>(it - m_entries.begin());
  }

  iterator begin() { return iterator(m_entries.begin()); }
  iterator end() { return iterator(m_entries.end()); }
  const_iterator begin() const { return const_iterator(m_entries.cbegin()); }
  const_iterator end() const { return const_iterator(m_entries.cend()); }

 private:
  Entries m_entries;
};

}  // namespace pellor
