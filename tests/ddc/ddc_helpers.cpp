#include "tests/ddc/ddc_helpers.h"

namespace ddctest {

std::vector<DDCChannelGroupHandle> OpenedFile::Groups() const {
  unsigned int n = 0;
  EXPECT_EQ(DDC_GetNumChannelGroups(file_, &n), 0);
  std::vector<DDCChannelGroupHandle> groups(n);
  EXPECT_EQ(DDC_GetChannelGroups(file_, groups.data(), groups.size()), 0);
  return groups;
}

std::vector<DDCChannelHandle> Channels(DDCChannelGroupHandle group) {
  unsigned int n = 0;
  EXPECT_EQ(DDC_GetNumChannels(group, &n), 0);
  std::vector<DDCChannelHandle> channels(n);
  EXPECT_EQ(DDC_GetChannels(group, channels.data(), channels.size()), 0);
  return channels;
}

int GetProperty(DDCFileHandle h, const char* n, void* v, size_t s) { return DDC_GetFileProperty(h, n, v, s); }
int GetProperty(DDCChannelGroupHandle h, const char* n, void* v, size_t s) { return DDC_GetChannelGroupProperty(h, n, v, s); }
int GetProperty(DDCChannelHandle h, const char* n, void* v, size_t s) { return DDC_GetChannelProperty(h, n, v, s); }
int GetLength(DDCFileHandle h, const char* n, unsigned int* l) { return DDC_GetFileStringPropertyLength(h, n, l); }
int GetLength(DDCChannelGroupHandle h, const char* n, unsigned int* l) { return DDC_GetChannelGroupStringPropertyLength(h, n, l); }
int GetLength(DDCChannelHandle h, const char* n, unsigned int* l) { return DDC_GetChannelStringPropertyLength(h, n, l); }
int GetType(DDCFileHandle h, const char* n, DDCDataType* t) { return DDC_GetFilePropertyType(h, n, t); }
int GetType(DDCChannelGroupHandle h, const char* n, DDCDataType* t) { return DDC_GetChannelGroupPropertyType(h, n, t); }
int GetType(DDCChannelHandle h, const char* n, DDCDataType* t) { return DDC_GetChannelPropertyType(h, n, t); }
int GetNames(DDCFileHandle h, char* names[], size_t c) { return DDC_GetFilePropertyNames(h, names, c); }
int GetNames(DDCChannelGroupHandle h, char* names[], size_t c) { return DDC_GetChannelGroupPropertyNames(h, names, c); }
int GetNames(DDCChannelHandle h, char* names[], size_t c) { return DDC_GetChannelPropertyNames(h, names, c); }
int CountProperties(DDCFileHandle h, unsigned int* c) { return DDC_GetNumFileProperties(h, c); }
int CountProperties(DDCChannelGroupHandle h, unsigned int* c) { return DDC_GetNumChannelGroupProperties(h, c); }
int CountProperties(DDCChannelHandle h, unsigned int* c) { return DDC_GetNumChannelProperties(h, c); }

uint64_t Count(DDCChannelHandle channel) {
  uint64_t n = 0;
  EXPECT_EQ(DDC_GetNumDataValues(channel, &n), 0);
  return n;
}

DDCDataType DataType(DDCChannelHandle channel) {
  DDCDataType t{};
  EXPECT_EQ(DDC_GetDataType(channel, &t), 0);
  return t;
}

namespace {
template <typename T>
std::vector<double> Read(DDCChannelHandle channel, uint64_t n) {
  std::vector<T> raw(n);
  EXPECT_EQ(DDC_GetDataValues(channel, 0, n, raw.data()), 0);
  return std::vector<double>(raw.begin(), raw.end());
}
}  // namespace

std::vector<double> Numbers(DDCChannelHandle channel) {
  const uint64_t n = Count(channel);
  switch (DataType(channel)) {
    case DDC_TypeInt8: return Read<int8_t>(channel, n);
    case DDC_TypeInt16: return Read<int16_t>(channel, n);
    case DDC_TypeInt32: return Read<int32_t>(channel, n);
    case DDC_TypeInt64: return Read<int64_t>(channel, n);
    case DDC_TypeUInt8:
    case DDC_TypeBoolean: return Read<uint8_t>(channel, n);
    case DDC_TypeUInt16: return Read<uint16_t>(channel, n);
    case DDC_TypeUInt32: return Read<uint32_t>(channel, n);
    case DDC_TypeUInt64: return Read<uint64_t>(channel, n);
    case DDC_TypeFloat:
    case DDC_TypeFloatWithUnit: return Read<float>(channel, n);
    case DDC_TypeDouble:
    case DDC_TypeDoubleWithUnit: return Read<double>(channel, n);
    default: ADD_FAILURE() << "no number channel"; return {};
  }
}

std::vector<std::string> Strings(DDCChannelHandle channel) {
  std::vector<char*> raw(Count(channel));
  EXPECT_EQ(DDC_GetDataValues(channel, 0, raw.size(), raw.data()), 0);
  std::vector<std::string> out;
  for (char* s : raw) {
    out.push_back(s ? s : "<null>");
    DDC_FreeMemory(s);
  }
  return out;
}

double UnixFromUtc(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   unsigned second, double fraction) {
  struct tm t {};
  t.tm_year = static_cast<int>(year) - 1900;
  t.tm_mon = static_cast<int>(month) - 1;
  t.tm_mday = static_cast<int>(day);
  t.tm_hour = static_cast<int>(hour);
  t.tm_min = static_cast<int>(minute);
  t.tm_sec = static_cast<int>(second);
  return static_cast<double>(timegm(&t)) + fraction;
}

std::vector<double> Stamps(DDCChannelHandle channel) {
  const size_t n = Count(channel);
  std::vector<unsigned> y(n), mo(n), d(n), h(n), mi(n), s(n), wd(n);
  std::vector<double> f(n);
  EXPECT_EQ(DDC_GetDataValuesTimestampComponents(channel, 0, n, y.data(), mo.data(), d.data(),
                                                 h.data(), mi.data(), s.data(), f.data(), wd.data()),
            0);
  std::vector<double> out;
  for (size_t i = 0; i < n; ++i) out.push_back(UnixFromUtc(y[i], mo[i], d[i], h[i], mi[i], s[i], f[i]));
  return out;
}

namespace {
template <typename F>
std::optional<double> StampOf(F&& get) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, wd = 0;
  double f = 0;
  if (get(&y, &mo, &d, &h, &mi, &s, &f, &wd) != 0) return std::nullopt;
  return UnixFromUtc(y, mo, d, h, mi, s, f);
}
}  // namespace

std::optional<double> FileStamp(DDCFileHandle file, const char* name) {
  return StampOf([&](auto... outs) { return DDC_GetFilePropertyTimestampComponents(file, name, outs...); });
}
std::optional<double> ChannelStamp(DDCChannelHandle channel, const char* name) {
  return StampOf([&](auto... outs) { return DDC_GetChannelPropertyTimestampComponents(channel, name, outs...); });
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
  if (const char* old = std::getenv("TZ")) old_ = old;
  setenv("TZ", tz, 1);
  tzset();
}
ScopedTimeZone::~ScopedTimeZone() {
  if (old_) setenv("TZ", old_->c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace ddctest
