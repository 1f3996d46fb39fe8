#include "platform/ddc/timestamp.h"

#include <cmath>

#include "platform/ddc/cursor.h"

namespace ddc {
namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The date of a day counted from 1970-01-01; returns the year.
int64_t CivilFromDays(int64_t z, unsigned& month, unsigned& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  return static_cast<int64_t>(yoe) + era * 400 + (month <= 2);
}

bool LeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// Reads exactly `width` decimal digits.
bool Digits(std::string_view text, size_t& pos, size_t width, unsigned& value) {
  if (width > text.size() - pos) return false;
  value = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  pos += width;
  return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

Timestamp DecodeTimestamp(const uint8_t* bytes, bool big_endian) {
  Timestamp t;
  if (big_endian) {
    t.seconds = Load<int64_t>(bytes, true);
    t.fraction = Load<uint64_t>(bytes + 8, true);
  } else {
    t.fraction = Load<uint64_t>(bytes, false);
    t.seconds = Load<int64_t>(bytes + 8, false);
  }
  return t;
}

Status ToUtcComponents(const Timestamp& t, TimeComponents& out) {
  // Whole days and the second of the day, counted from 1904-01-01 (a Friday).
  int64_t days = t.seconds / 86400;
  int64_t second_of_day = t.seconds % 86400;
  if (second_of_day < 0) {
    second_of_day += 86400;
    --days;
  }
  const int64_t year = CivilFromDays(days - kUnixEpochSince1904 / 86400, out.month, out.day);
  if (year < 0 || year > UINT32_MAX) return DDC_ErrRange;  // no unsigned year
  out.year = static_cast<unsigned>(year);
  out.hour = static_cast<unsigned>(second_of_day / 3600);
  out.minute = static_cast<unsigned>(second_of_day / 60 % 60);
  out.second = static_cast<unsigned>(second_of_day % 60);
  out.weekday = static_cast<unsigned>(((days + 5) % 7 + 7) % 7);
  // The top 53 bits of the fraction, so that the result stays below 1.
  out.fraction = std::ldexp(static_cast<double>(t.fraction >> 11), -53);
  return DDC_NoError;
}

bool ParseIsoTimestamp(std::string_view text, Timestamp& out) {
  size_t pos = 0;
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, pos, 4, year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, month) ||
      !Expect(text, pos, '-') || !Digits(text, pos, 2, day))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  double fraction = 0;
  if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
    ++pos;
    if (!Digits(text, pos, 2, hour) || !Expect(text, pos, ':') || !Digits(text, pos, 2, minute))
      return false;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      if (!Digits(text, pos, 2, second)) return false;
      if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        double scale = 0.1;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
          if (digits < 19) fraction += (text[pos] - '0') * scale;
          scale /= 10;
          ++digits;
          ++pos;
        }
        if (digits == 0) return false;
      }
    }
    if (hour > 23 || minute > 59 || second > 60) return false;
  }
  int64_t zone_seconds = 0;
  if (pos < text.size()) {
    if (text[pos] == 'Z') {
      ++pos;
    } else if (text[pos] == '+' || text[pos] == '-') {
      const int sign = text[pos] == '-' ? -1 : 1;
      ++pos;
      unsigned zh = 0, zm = 0;
      if (!Digits(text, pos, 2, zh)) return false;
      if (pos < text.size() && text[pos] == ':') ++pos;
      if (pos < text.size() && !Digits(text, pos, 2, zm)) return false;
      if (zh > 23 || zm > 59) return false;
      zone_seconds = sign * static_cast<int64_t>(zh * 3600 + zm * 60);
    }
  }
  if (pos != text.size()) return false;
  const int64_t unix_seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 +
                               minute * 60 + second - zone_seconds;
  out.seconds = unix_seconds + kUnixEpochSince1904;
  const double scaled = std::ldexp(fraction, 64);
  out.fraction = scaled >= 18446744073709551615.0 ? UINT64_MAX : static_cast<uint64_t>(scaled);
  return true;
}

}  // namespace ddc
