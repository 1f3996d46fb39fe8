#include "pellor/time_repair.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <vector>

#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "pellor/records.h"

namespace pellor {

bool IsQNaNPattern(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  return bits == 0x7FFFFFFF00000000ull || bits == 0x7FFFFFFF00000001ull;
}

double ScanNoValue(const mdf::CCNBlock& channel) {
  return IsQNaNPattern(channel.GetNoValue()) ? mdf::CCNBlock::kDefaultNoValue : channel.GetRawNoValue();
}

bool IsEquidistant(double fac, double minD, double maxD, const EquidistanceRule& rule) {
  if (rule.resetTime == 2) return true;
  if (std::fabs(maxD - minD) < 1e-15) return true;
  return maxD >= fac && fac * rule.xMaxFactor >= maxD && minD <= fac && fac * rule.xMinFactor <= minD;
}

namespace {

// The time stamps of a signal's value cache, walked over the stamps that are
// not NoValue (positions 0 .. Count() - 1), so that gaps neither break a
// run nor take part in a line.
class Stamps {
 public:
  Stamps(double* values, size_t n, bool hasNoValue, double noValue) : v_(values), n_(n) {
    if (hasNoValue && std::find(values, values + n, noValue) != values + n) {
      for (size_t i = 0; i < n; ++i)
        if (values[i] != noValue) index_.push_back(static_cast<uint32_t>(i));
      compact_ = true;
    }
  }
  size_t Count() const { return compact_ ? index_.size() : n_; }
  size_t Index(size_t j) const { return compact_ ? index_[j] : j; }
  double& operator[](size_t j) { return v_[Index(j)]; }

  // Replaces the stamps between positions k and e by the straight line
  // between them, spaced by their record indices.
  void Line(size_t k, size_t e) {
    const double from = (*this)[k], to = (*this)[e];
    const double ik = static_cast<double>(Index(k)), span = static_cast<double>(Index(e)) - ik;
    for (size_t m = k + 1; m < e; ++m) (*this)[m] = from + (static_cast<double>(Index(m)) - ik) * (to - from) / span;
  }
  // The last position in [0, p] whose stamp is below x; stamps up to p do
  // not fall, so a binary search finds it. False when there is none.
  bool LastBelow(size_t p, double x, size_t& k) {
    size_t lo = 0, hi = p + 1;  // answer: the first position whose stamp is not below x, minus 1
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if ((*this)[mid] < x)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo == 0) return false;
    k = lo - 1;
    return true;
  }

 private:
  double* v_;
  size_t n_;
  std::vector<uint32_t> index_;
  bool compact_ = false;
};

constexpr size_t kNone = static_cast<size_t>(-1);

// The stamps before `first` and from `end` on (no numbers) continue the
// steps next to them; [first, end) rises strictly and holds two stamps or more.
void ExtendEnds(Stamps& s, size_t first, size_t end) {
  const auto index = [&](size_t j) { return static_cast<double>(s.Index(j)); };
  const double headStep = (s[first + 1] - s[first]) / (index(first + 1) - index(first));
  for (size_t j = 0; j < first; ++j) s[j] = s[first] - (index(first) - index(j)) * headStep;
  const size_t last = end - 1;
  const double tailStep = (s[last] - s[last - 1]) / (index(last) - index(last - 1));
  for (size_t j = end; j < s.Count(); ++j) s[j] = s[last] + (index(j) - index(last)) * tailStep;
}

// Makes the stamps rise strictly; false where they cannot be made to. A
// stamp that is no number (NaN, an infinity) is taken as a repeat of the
// stamp before it, so that it becomes part of the line to the next greater
// stamp; such stamps before the first number or after the last continue the
// nearest step.
bool Repair(Stamps& s, const mdf::CCCBlock* cc) {
  const size_t count = s.Count();
  size_t first = 0, end = count;  // the stamps from the first number to the last
  while (first < count && !std::isfinite(s[first])) ++first;
  while (end > first && !std::isfinite(s[end - 1])) --end;
  if (end - first < 2) return false;
  double offset = 0;         // added to every stamp after a restart
  size_t runBase = kNone;    // position before a run of equal stamps not yet resolved
  size_t p = first;          // the last position settled
  for (size_t e = first + 1; e < end; ++e) {
    const double original = s[e];
    double x = std::isfinite(original) ? original + offset : s[p];
    if (x < s[p] && mdf::ApplyConversion(cc, original) <= 1.0) {
      offset = s[p];  // the clock restarted: go on from the last stamp
      x = original + offset;
    }
    s[e] = x;
    if (x > s[p]) {
      if (runBase != kNone) s.Line(runBase, e);
      runBase = kNone;
    } else if (x == s[p]) {
      if (runBase == kNone) runBase = p;
    } else {
      // A backward jump: the line from the last smaller stamp, which also
      // covers a run before the jump.
      size_t k;
      if (!s.LastBelow(p, x, k)) return false;
      s.Line(k, e);
      runBase = kNone;
    }
    p = e;
  }
  if (runBase != kNone) return false;  // a run lasts to the end
  for (size_t j = first + 1; j < end; ++j)
    if (!(s[j] > s[j - 1])) return false;
  ExtendEnds(s, first, end);
  return true;
}

}  // namespace

int CheckTimeChannel(mdf::CCNBlock& channel, SignalRecord& record) {
  ValueCache& cache = record.cache;
  // A truncated file holds fewer stamps than the group counts: those there are.
  const size_t n = std::min<size_t>(record.NoOfValues, cache.bytes.size() / 8);
  if (!cache.valid || cache.type != importcore::dtyp::kFloat64 || n < 2) return 0;
  auto* values = reinterpret_cast<double*>(cache.bytes.data());
  const mdf::CCCBlock* cc = channel.GetConversion();
  Stamps stamps(values, n, channel.IsNoValueSet(), ScanNoValue(channel));
  if (!Repair(stamps, cc)) return 0;

  const double min = stamps[0], max = stamps[stamps.Count() - 1];
  double lo = mdf::ApplyConversion(cc, min), hi = mdf::ApplyConversion(cc, max);
  if (lo > hi) std::swap(lo, hi);
  channel.SetRunningRaw(min, max);
  channel.SetRunningPhys(lo, hi);
  record.YMin = record.XMin = record.XOffset = lo;
  record.YMax = record.XMax = hi;
  record.XFactor = (hi - lo) / static_cast<double>(n - 1);
  record.YFactor = 1.0;
  return 1;
}

std::time_t DateTextToTime(const std::string& date, const std::string& time) {
  if (date.empty() || time.empty()) return 0;
  int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  const char* dateFormat = date.find(':') != std::string::npos ? "%2d:%d:%d" : "%2d.%d.%d";
  if (std::sscanf(date.c_str(), dateFormat, &day, &month, &year) != 3) return 0;
  if (std::sscanf(time.c_str(), "%2d:%2d:%d", &hour, &minute, &second) != 3) return 0;
  if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1970 || year > 3000 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59)
    return 0;
  std::tm fields{};
  fields.tm_mday = day;
  fields.tm_mon = month - 1;
  fields.tm_year = year - 1900;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  const std::time_t t = std::mktime(&fields);
  return t == static_cast<std::time_t>(-1) ? 0 : t;
}

}  // namespace pellor
