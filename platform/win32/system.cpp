#include "platform/win32/system.h"

#include <sys/sysinfo.h>
#include <time.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

DWORD GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace winport {
namespace {

// Value of a "Name:   123 kB" line in bytes; false when the line is missing.
bool MeminfoField(std::string_view text, std::string_view name, DWORDLONG& bytes) {
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() <= name.size() || line.substr(0, name.size()) != name || line[name.size()] != ':')
      continue;
    line.remove_prefix(name.size() + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    DWORDLONG value = 0;
    const auto [p, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc() || p == line.data()) return false;
    const bool kilobytes = std::string_view(p, line.data() + line.size()).find("kB") != std::string_view::npos;
    const DWORDLONG unit = kilobytes ? 1024 : 1;
    if (value > UINT64_MAX / unit) return false;
    bytes = value * unit;
    return true;
  }
  return false;
}

std::string ReadProcFile(const char* path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

DWORD MemoryLoad(DWORDLONG total, DWORDLONG avail) {
  return total ? static_cast<DWORD>(static_cast<double>(total - avail) * 100.0 / static_cast<double>(total)) : 0;
}

DWORD Saturate(DWORDLONG value) { return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(value); }

// The user address space of a 64-bit process (47 bits) and what this process has mapped of it.
void FillVirtual(MEMORYSTATUSEX& status) {
  status.ullTotalVirtual = DWORDLONG{1} << 47;
  DWORDLONG used = 0;
  if (!MeminfoField(ReadProcFile("/proc/self/status"), "VmSize", used)) used = 0;
  status.ullAvailVirtual = used < status.ullTotalVirtual ? status.ullTotalVirtual - used : 0;
  status.ullAvailExtendedVirtual = 0;
}

void FillStatus(MEMORYSTATUSEX& status) {
  if (!ParseMeminfo(ReadProcFile("/proc/meminfo"), status)) {
    // Without /proc: the kernel's sysinfo figures, free memory standing for available memory.
    struct sysinfo si {};
    sysinfo(&si);
    const DWORDLONG unit = si.mem_unit ? si.mem_unit : 1;
    status.ullTotalPhys = DWORDLONG{si.totalram} * unit;
    status.ullAvailPhys = DWORDLONG{si.freeram} * unit;
    status.ullTotalPageFile = status.ullTotalPhys + DWORDLONG{si.totalswap} * unit;
    status.ullAvailPageFile = status.ullAvailPhys + DWORDLONG{si.freeswap} * unit;
    if (status.ullAvailPhys > status.ullTotalPhys) status.ullAvailPhys = status.ullTotalPhys;
    status.dwMemoryLoad = MemoryLoad(status.ullTotalPhys, status.ullAvailPhys);
  }
  FillVirtual(status);
}

}  // namespace

bool ParseMeminfo(std::string_view text, MEMORYSTATUSEX& status) {
  DWORDLONG total = 0, avail = 0, swapTotal = 0, swapFree = 0;
  if (!MeminfoField(text, "MemTotal", total) || !MeminfoField(text, "MemAvailable", avail)) return false;
  if (!MeminfoField(text, "SwapTotal", swapTotal)) swapTotal = 0;
  if (!MeminfoField(text, "SwapFree", swapFree)) swapFree = 0;
  if (avail > total) avail = total;
  status.ullTotalPhys = total;
  status.ullAvailPhys = avail;
  status.ullTotalPageFile = total + swapTotal;
  status.ullAvailPageFile = avail + (swapFree < swapTotal ? swapFree : swapTotal);
  status.dwMemoryLoad = MemoryLoad(total, avail);
  return true;
}

MEMORYSTATUS NarrowMemoryStatus(const MEMORYSTATUSEX& s) {
  return MEMORYSTATUS{sizeof(MEMORYSTATUS),     s.dwMemoryLoad,
                      Saturate(s.ullTotalPhys), Saturate(s.ullAvailPhys),
                      Saturate(s.ullTotalPageFile), Saturate(s.ullAvailPageFile),
                      Saturate(s.ullTotalVirtual), Saturate(s.ullAvailVirtual)};
}

}  // namespace winport

void GlobalMemoryStatus(MEMORYSTATUS* status) {
  if (!status) return;
  MEMORYSTATUSEX ex{};
  winport::FillStatus(ex);
  *status = winport::NarrowMemoryStatus(ex);
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
  if (!status || status->dwLength != sizeof(MEMORYSTATUSEX)) return FALSE;
  winport::FillStatus(*status);
  return TRUE;
}
