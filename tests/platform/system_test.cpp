#include "platform/win32/system.h"

#include <gtest/gtest.h>
#include <sys/sysinfo.h>

#include <fstream>

using winport::NarrowMemoryStatus;
using winport::ParseMeminfo;

namespace {

TEST(TickCountTest, CountsMillisecondsSinceBoot) {
  double uptimeSeconds = 0;
  std::ifstream("/proc/uptime") >> uptimeSeconds;
  ASSERT_GT(uptimeSeconds, 0);
  // Compared modulo 2^32, so that the test holds after the count has wrapped.
  const DWORD diff = GetTickCount() - static_cast<DWORD>(static_cast<uint64_t>(uptimeSeconds * 1000));
  EXPECT_TRUE(diff < 2000u || diff > 0xFFFFFFFFu - 2000u) << diff;
}

TEST(TickCountTest, SleepLastsAtLeastTheTimeAsked) {
  const DWORD start = GetTickCount();
  Sleep(30);
  const DWORD later = GetTickCount();
  EXPECT_GE(static_cast<DWORD>(later - start), 30u);
}

constexpr const char* kSmallMachine =
    "MemTotal:        2000000 kB\n"
    "MemFree:          100000 kB\n"
    "MemAvailable:     500000 kB\n"
    "SwapTotal:       1000000 kB\n"
    "SwapFree:         250000 kB\n";

TEST(MemoryStatusTest, ReadsTheKernelFiguresInBytes) {
  MEMORYSTATUSEX ex{};
  ASSERT_TRUE(ParseMeminfo(kSmallMachine, ex));
  EXPECT_EQ(ex.ullTotalPhys, 2000000ull * 1024);
  EXPECT_EQ(ex.ullAvailPhys, 500000ull * 1024);  // MemAvailable, not MemFree
  EXPECT_EQ(ex.ullTotalPageFile, 3000000ull * 1024);
  EXPECT_EQ(ex.ullAvailPageFile, 750000ull * 1024);
  EXPECT_EQ(ex.dwMemoryLoad, 75u);
  const MEMORYSTATUS narrow = NarrowMemoryStatus(ex);
  EXPECT_EQ(narrow.dwLength, sizeof(MEMORYSTATUS));
  EXPECT_EQ(narrow.dwAvailPhys, 500000u * 1024);
  EXPECT_EQ(narrow.dwTotalPageFile, 3000000u * 1024);
}

TEST(MemoryStatusTest, ThirtyTwoBitFiguresSaturate) {
  MEMORYSTATUSEX ex{};
  ASSERT_TRUE(ParseMeminfo("MemTotal: 16777216 kB\nMemAvailable: 8388608 kB\n", ex));
  EXPECT_EQ(ex.ullAvailPhys, 8ull << 30);
  const MEMORYSTATUS narrow = NarrowMemoryStatus(ex);
  EXPECT_EQ(narrow.dwTotalPhys, 0xFFFFFFFFu);
  EXPECT_EQ(narrow.dwAvailPhys, 0xFFFFFFFFu);
  EXPECT_EQ(narrow.dwMemoryLoad, 50u);
}

TEST(MemoryStatusTest, IncompleteMeminfoIsRefused) {
  MEMORYSTATUSEX ex{};
  EXPECT_FALSE(ParseMeminfo("MemTotal: 1000 kB\nMemFree: 10 kB\n", ex));
  EXPECT_FALSE(ParseMeminfo("MemTotal: lots\nMemAvailable: 10 kB\n", ex));
  EXPECT_FALSE(ParseMeminfo("", ex));
}

TEST(MemoryStatusTest, LiveStatusMatchesTheKernel) {
  struct sysinfo si {};
  ASSERT_EQ(sysinfo(&si), 0);
  const uint64_t total = uint64_t{si.totalram} * si.mem_unit;

  MEMORYSTATUSEX ex{};
  EXPECT_FALSE(GlobalMemoryStatusEx(&ex));  // dwLength not set
  ex.dwLength = sizeof ex;
  ASSERT_TRUE(GlobalMemoryStatusEx(&ex));
  EXPECT_EQ(ex.ullTotalPhys, total);
  EXPECT_GT(ex.ullAvailPhys, 0u);
  EXPECT_LE(ex.ullAvailPhys, ex.ullTotalPhys);
  EXPECT_LE(ex.dwMemoryLoad, 100u);
  EXPECT_LT(ex.ullAvailVirtual, ex.ullTotalVirtual);

  MEMORYSTATUS st{};
  GlobalMemoryStatus(&st);
  EXPECT_EQ(st.dwLength, sizeof st);
  EXPECT_EQ(st.dwTotalPhys, total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(total));
  EXPECT_GT(st.dwAvailPhys, 0u);
}

}  // namespace
