// What the small modules ask of the system: local time values and the
// window-message pump.
#pragma once

#include <cstdint>

namespace smallimports {

// Seconds since 1970 of a local date and time, daylight saving decided by the
// runtime (mktime); 0 when the runtime cannot represent it or a field lies
// beyond a million.
int64_t LocalTimeValue(int year, int month, int day, int hour, int minute, int second);

// Takes each waiting window message, translates its keystrokes and dispatches
// it, until the queue is empty or WM_QUIT was taken.
void PumpMessages();

}  // namespace smallimports
