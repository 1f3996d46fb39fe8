// Arrays for many values: filled once, read many times, made without
// filling them first. Filling fresh memory takes page faults, which cost most
// of the time of decoding into fresh arrays; from 2 MiB on an array may lie in
// 2 MiB-aligned memory that the kernel is asked to back with huge pages.
#pragma once

#include <cstddef>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace mdf {

inline constexpr size_t kHugePageSize = size_t{2} << 20;

// Huge: from kHugePageSize on, in memory advised for huge pages. Small: in
// ordinary pages.
enum class Pages { Huge, Small };
// Huge pages take a fraction of the faults, yet where a virtual machine's host
// backs the guest's memory only when it is first touched (as on the machines
// this was measured on), clearing a huge page of fresh guest memory costs
// several times what 4 KiB pages of recycled memory cost: filling 1 GiB took
// 0.13 s in huge pages of used memory, 1.5 to 3 s in huge pages of fresh
// memory and 0.36 s in 4 KiB pages. Arrays therefore use small pages unless
// asked otherwise (bench_read measures both).
inline constexpr Pages kDefaultPages = Pages::Small;

// Memory of at least `bytes` bytes, uninitialised; with Pages::Huge from
// kHugePageSize on aligned to it and advised for huge pages, with Pages::Small
// from kHugePageSize on faulted in at once (the memory is about to be filled).
// Throws std::bad_alloc.
void* AllocateLarge(size_t bytes, Pages pages = kDefaultPages);
void FreeLarge(void* memory);
// Faults in the pages of [memory, memory + bytes) in one call, where the
// kernel can.
void PopulatePages(void* memory, size_t bytes);
// Asks the kernel to back the whole huge pages inside [memory, memory + bytes)
// with huge pages (for memory allocated elsewhere); does nothing for less.
void AdviseHugePages(void* memory, size_t bytes);

// An allocator for std::vector that takes its memory from AllocateLarge and
// leaves new elements uninitialised (resize does not clear them): for
// buffers that are filled right after they are made.
template <typename T>
struct LargeAllocator {
  static_assert(std::is_trivially_copyable_v<T>);
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) {}
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* p, size_t) { FreeLarge(p); }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0)
      ::new (static_cast<void*>(p)) U;
    else
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

// A fixed-size array of trivially copyable values, uninitialised when made.
template <typename T>
class ValueArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  ValueArray() = default;
  explicit ValueArray(size_t n, Pages pages = kDefaultPages) : data_(Allocate(n, pages)), size_(n) {}
  ~ValueArray() { FreeLarge(data_); }
  ValueArray(ValueArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  ValueArray& operator=(ValueArray&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  ValueArray(const ValueArray&) = delete;
  ValueArray& operator=(const ValueArray&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  std::span<T> span() { return {data_, size_}; }
  std::span<const T> span() const { return {data_, size_}; }

 private:
  static T* Allocate(size_t n, Pages pages) {
    if (n == 0) return nullptr;
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLarge(n * sizeof(T), pages));
  }

  T* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace mdf
