// The checks of a time channel: whether its steps count as equidistant, the
// repair of a channel whose stamps do not rise, and the time stamp of the
// header's date and time texts.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace mdf {
class CCNBlock;
}

namespace pellor {

struct SignalRecord;

// Whether a double has one of the two patterns of a NoValue given as
// "1.#QNAN" (0x7FFFFFFF00000000 and 0x7FFFFFFF00000001).
bool IsQNaNPattern(double value);
// The value that marks NoValue among a channel's decoded raw values: 1e308
// for a NoValue given as "1.#QNAN" (whose patterns the loader turns into
// 1e308), else the raw NoValue.
double ScanNoValue(const mdf::CCNBlock& channel);

// The factors of MDF_XMAXFACTOR and MDF_XMINFACTOR and MDF_RESETTIME.
struct EquidistanceRule {
  double xMaxFactor = 1.01;
  double xMinFactor = 0.99;
  int32_t resetTime = 0;
};

// Whether a time channel whose mean step is `fac` and whose smallest and
// largest steps are `minD` and `maxD` counts as equidistant: always with
// MDF_RESETTIME 2; when its steps are equal (to 1e-15); or when fac lies
// between them and they lie within fac x the factors.
bool IsEquidistant(double fac, double minD, double maxD, const EquidistanceRule& rule);

// Repairs the raw time stamps held in the time signal's value cache (doubles)
// so that they rise strictly, and sets the time axis from them:
//  - a run of stamps equal to the one before becomes the straight line to
//    the next greater stamp;
//  - a stamp below its predecessor whose physical value is at most 1.0 is a
//    restart of the clock: it and every later stamp continue from the stamp
//    before the restart;
//  - any other fall is a backward jump: the stamps after the last smaller one
//    become the straight line from it to the fallen stamp;
//  - a stamp that is no number (NaN, an infinity) counts as a repeat of the
//    stamp before it; before the first stamp that is a number and after the
//    last, such stamps continue the step next to them.
// Stamps equal to the channel's NoValue are gaps and stay as they are.
// On success the channel's running range (raw and physical) and the record's
// X axis and Y range are set. Returns 1 when the stamps now rise strictly; 0
// when the cache holds no doubles, fewer than 2 stamps that are numbers, a
// run that lasts to the end or a fall with no smaller stamp before it (the
// stamps may then be changed in part).
int CheckTimeChannel(mdf::CCNBlock& channel, SignalRecord& record);

// The local time of a date text "DD.MM.YYYY" (or "DD:MM:YYYY") and a time
// text "hh:mm:ss", daylight saving as the system knows it; 0 when a text is
// empty or does not hold a valid date and time.
std::time_t DateTextToTime(const std::string& date, const std::string& time);

}  // namespace pellor
