#include "mdf/value_array.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace mdf {

void* AllocateLarge(size_t bytes, Pages pages) {
  if (bytes < kHugePageSize || pages == Pages::Small) {
    void* memory = std::malloc(bytes ? bytes : 1);
    if (!memory) throw std::bad_alloc();
    if (bytes >= kHugePageSize) PopulatePages(memory, bytes);
    return memory;
  }
  if (bytes > static_cast<size_t>(-1) - kHugePageSize) throw std::bad_alloc();
  const size_t rounded = (bytes + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
  void* memory = std::aligned_alloc(kHugePageSize, rounded);
  if (!memory) throw std::bad_alloc();
  AdviseHugePages(memory, rounded);
  return memory;
}

void FreeLarge(void* memory) { std::free(memory); }

void PopulatePages(void* memory, size_t bytes) {
#ifndef MADV_POPULATE_WRITE
  constexpr int MADV_POPULATE_WRITE = 23;
#endif
  constexpr uintptr_t kPage = 4096;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(memory);
  const uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (begin + bytes) & ~(kPage - 1);
  // One call faults every page in, far cheaper than a trap per page on first
  // touch; where the kernel lacks it the pages fault in as they are written.
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

void AdviseHugePages(void* memory, size_t bytes) {
  const uintptr_t begin = reinterpret_cast<uintptr_t>(memory);
  const uintptr_t first = (begin + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
  if (bytes < kHugePageSize || first - begin > bytes - kHugePageSize) return;
  const size_t length = (bytes - (first - begin)) / kHugePageSize * kHugePageSize;
  // Only advice: where the kernel has no huge pages the memory works as before.
  madvise(reinterpret_cast<void*>(first), length, MADV_HUGEPAGE);
}

}  // namespace mdf
