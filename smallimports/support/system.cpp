#include "smallimports/support/system.h"

#include <ctime>
#include <initializer_list>

#include "platform/ui/window.h"

namespace smallimports {

int64_t LocalTimeValue(int year, int month, int day, int hour, int minute, int second) {
  // Fields far outside any calendar give no time (the runtime would overflow).
  constexpr int kLimit = 1000000;
  for (int v : {year, month, day, hour, minute, second})
    if (v < -kLimit || v > kLimit) return 0;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const time_t t = std::mktime(&tm);
  return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace smallimports
