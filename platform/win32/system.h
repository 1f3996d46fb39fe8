// Tick count, sleeping and the memory status, with Win32's names and widths.
#pragma once

#include <string_view>

#include "platform/win32/types.h"

using DWORDLONG = uint64_t;

// Milliseconds since boot; monotonic, wraps after 2^32 ms (49.7 days) as on Windows.
DWORD GetTickCount();
// Sleeps at least `milliseconds`; 0 gives up the rest of the time slice.
void Sleep(DWORD milliseconds);

// Memory status in the 32-bit form: a figure above 4 GB reads as 0xFFFFFFFF,
// as on 32-bit Windows.
struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;  // percent of physical memory in use
  DWORD dwTotalPhys;
  DWORD dwAvailPhys;
  DWORD dwTotalPageFile;
  DWORD dwAvailPageFile;
  DWORD dwTotalVirtual;
  DWORD dwAvailVirtual;
};

struct MEMORYSTATUSEX {
  DWORD dwLength;  // the caller sets sizeof(MEMORYSTATUSEX)
  DWORD dwMemoryLoad;
  DWORDLONG ullTotalPhys;
  DWORDLONG ullAvailPhys;
  DWORDLONG ullTotalPageFile;
  DWORDLONG ullAvailPageFile;
  DWORDLONG ullTotalVirtual;
  DWORDLONG ullAvailVirtual;
  DWORDLONG ullAvailExtendedVirtual;  // always 0
};

// Physical memory is the kernel's own figures (MemTotal, MemAvailable); the
// page file stands for physical memory plus swap; virtual memory is this
// process's address space.
void GlobalMemoryStatus(MEMORYSTATUS* status);
// Fails (FALSE) unless status->dwLength is sizeof(MEMORYSTATUSEX).
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);

namespace winport {

// Fills the physical and page-file figures and the memory load from the text
// of /proc/meminfo; false when MemTotal or MemAvailable is missing.
bool ParseMeminfo(std::string_view text, MEMORYSTATUSEX& status);
// The 32-bit form of a status, each figure saturated at 0xFFFFFFFF.
MEMORYSTATUS NarrowMemoryStatus(const MEMORYSTATUSEX& status);

}  // namespace winport
