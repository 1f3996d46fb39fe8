// The library's entry points: handles, properties, values and statuses over
// the model that the TDMS and TDM readers build.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "platform/ddc/model.h"
#include "platform/ddc/nilibddc.h"
#include "platform/ddc/scaling.h"
#include "platform/ddc/tdm.h"
#include "platform/ddc/tdms.h"
#include "platform/ddc/timestamp.h"
#include "platform/ddc/values.h"
#include "platform/win32/codepage.h"

namespace ddc {
namespace {

// Every live file, group and channel with the file it belongs to, so that a
// stale or foreign handle gets a status instead of a crash.
enum class Kind { File, Group, Channel };

class Registry {
 public:
  void Add(const File& file) {
    std::lock_guard lock(mutex_);
    live_[&file] = {Kind::File, &file};
    for (const auto& group : file.groups) {
      live_[group.get()] = {Kind::Group, &file};
      for (const auto& channel : group->channels) live_[channel.get()] = {Kind::Channel, &file};
    }
  }
  // Removes the file and its objects; false when it is not a live file.
  bool Remove(const File* file) {
    std::lock_guard lock(mutex_);
    auto it = live_.find(file);
    if (it == live_.end() || it->second.kind != Kind::File) return false;
    live_.erase(it);
    for (const auto& group : file->groups) {
      live_.erase(group.get());
      for (const auto& channel : group->channels) live_.erase(channel.get());
    }
    return true;
  }
  // The object behind a handle of the given kind, and its file; none for any other handle.
  template <typename T>
  std::pair<T*, const File*> Find(const void* handle, Kind kind) {
    std::lock_guard lock(mutex_);
    auto it = live_.find(handle);
    if (it == live_.end() || it->second.kind != kind) return {nullptr, nullptr};
    return {static_cast<T*>(const_cast<void*>(handle)), it->second.file};
  }

 private:
  struct Entry {
    Kind kind;
    const File* file;
  };
  std::mutex mutex_;
  std::unordered_map<const void*, Entry> live_;
};

Registry& Live() {
  static Registry registry;
  return registry;
}

File* FindFile(DDCFileHandle h) { return Live().Find<File>(h, Kind::File).first; }
Group* FindGroup(DDCChannelGroupHandle h) { return Live().Find<Group>(h, Kind::Group).first; }
Channel* FindChannel(DDCChannelHandle h) { return Live().Find<Channel>(h, Kind::Channel).first; }
std::pair<Channel*, const File*> FindChannelOfFile(DDCChannelHandle h) {
  return Live().Find<Channel>(h, Kind::Channel);
}

template <typename F>
int Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return DDC_ErrOutOfMemory;
  } catch (const std::length_error&) {
    return DDC_ErrOutOfMemory;
  } catch (...) {
    return DDC_ErrDamaged;
  }
}

const PropertyList* PropertiesOf(DDCFileHandle h) {
  File* f = FindFile(h);
  return f ? &f->properties : nullptr;
}
const PropertyList* PropertiesOf(DDCChannelGroupHandle h) {
  Group* g = FindGroup(h);
  return g ? &g->properties : nullptr;
}
const PropertyList* PropertiesOf(DDCChannelHandle h) {
  Channel* c = FindChannel(h);
  return c ? &c->properties : nullptr;
}

double AsDouble(const PropertyValue& v) {
  if (const auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* u = std::get_if<uint64_t>(&v)) return static_cast<double>(*u);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  return 0;
}

template <typename T>
void Put(void* dst, T v) {
  std::memcpy(dst, &v, sizeof v);
}

// A number in its own type, where that type is not 8 bytes wide.
bool PutNative(const Property& p, void* dst) {
  const double d = AsDouble(p.value);
  switch (p.type) {
    case DDC_TypeInt8: Put(dst, static_cast<int8_t>(std::get<int64_t>(p.value))); return true;
    case DDC_TypeInt16: Put(dst, static_cast<int16_t>(std::get<int64_t>(p.value))); return true;
    case DDC_TypeInt32: Put(dst, static_cast<int32_t>(std::get<int64_t>(p.value))); return true;
    case DDC_TypeUInt8:
    case DDC_TypeBoolean: Put(dst, static_cast<uint8_t>(std::get<uint64_t>(p.value))); return true;
    case DDC_TypeUInt16: Put(dst, static_cast<uint16_t>(std::get<uint64_t>(p.value))); return true;
    case DDC_TypeUInt32: Put(dst, static_cast<uint32_t>(std::get<uint64_t>(p.value))); return true;
    case DDC_TypeFloat:
    case DDC_TypeFloatWithUnit: Put(dst, static_cast<float>(d)); return true;
    default: return false;
  }
}

int GetProperty(const PropertyList* list, const char* name, void* value, size_t size) {
  if (!list || !name || !value) return DDC_ErrInvalidArgument;
  const Property* p = list->Find(name);
  if (!p) return DDC_ErrPropertyAbsent;
  if (const auto* text = std::get_if<std::string>(&p->value)) {
    if (size == 0) return DDC_ErrRange;
    const size_t n = std::min(text->size(), size - 1);
    std::memcpy(value, text->data(), n);
    static_cast<char*>(value)[n] = '\0';
    return n == text->size() ? DDC_NoError : DDC_ErrRange;
  }
  if (p->type == DDC_TypeTimestamp) return DDC_ErrTypeMismatch;
  if (size == sizeof(double)) {
    Put(value, AsDouble(p->value));
    return DDC_NoError;
  }
  if (size == ValueSize(p->type) && PutNative(*p, value)) return DDC_NoError;
  return DDC_ErrTypeMismatch;
}

int GetStringLength(const PropertyList* list, const char* name, unsigned int* length) {
  if (!list || !name || !length) return DDC_ErrInvalidArgument;
  const Property* p = list->Find(name);
  if (!p) return DDC_ErrPropertyAbsent;
  const auto* text = std::get_if<std::string>(&p->value);
  if (!text) return DDC_ErrTypeMismatch;
  if (text->size() > UINT32_MAX - 1) return DDC_ErrRange;
  *length = static_cast<unsigned int>(text->size());
  return DDC_NoError;
}

void PutComponents(const TimeComponents& c, size_t i, unsigned int* year, unsigned int* month,
                   unsigned int* day, unsigned int* hour, unsigned int* minute,
                   unsigned int* second, double* fraction, unsigned int* weekday) {
  if (year) year[i] = c.year;
  if (month) month[i] = c.month;
  if (day) day[i] = c.day;
  if (hour) hour[i] = c.hour;
  if (minute) minute[i] = c.minute;
  if (second) second[i] = c.second;
  if (fraction) fraction[i] = c.fraction;
  if (weekday) weekday[i] = c.weekday;
}

int GetTimestamp(const PropertyList* list, const char* name, unsigned int* year,
                 unsigned int* month, unsigned int* day, unsigned int* hour, unsigned int* minute,
                 unsigned int* second, double* fraction, unsigned int* weekday) {
  if (!list || !name) return DDC_ErrInvalidArgument;
  const Property* p = list->Find(name);
  if (!p) return DDC_ErrPropertyAbsent;
  const auto* t = std::get_if<Timestamp>(&p->value);
  if (!t) return DDC_ErrTypeMismatch;
  TimeComponents c;
  if (Status s = ToUtcComponents(*t, c); s != DDC_NoError) return s;
  PutComponents(c, 0, year, month, day, hour, minute, second, fraction, weekday);
  return DDC_NoError;
}

int CountProperties(const PropertyList* list, unsigned int* count) {
  if (!list || !count) return DDC_ErrInvalidArgument;
  *count = static_cast<unsigned int>(std::min<size_t>(list->Size(), UINT32_MAX));
  return DDC_NoError;
}

// A copy of a text that the caller releases with DDC_FreeMemory.
char* CopyOut(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

void FreeAll(char* texts[], size_t n) {
  for (size_t i = 0; i < n; ++i) {
    std::free(texts[i]);
    texts[i] = nullptr;
  }
}

int PropertyNames(const PropertyList* list, char* names[], size_t count) {
  if (!list || (!names && count > 0)) return DDC_ErrInvalidArgument;
  for (size_t i = 0; i < count; ++i) {
    names[i] = nullptr;
    if (i >= list->Size()) continue;
    names[i] = CopyOut((*list)[i].name);
    if (!names[i]) {
      FreeAll(names, i);
      return DDC_ErrOutOfMemory;
    }
  }
  return DDC_NoError;
}

int PropertyType(const PropertyList* list, const char* name, DDCDataType* type) {
  if (!list || !name || !type) return DDC_ErrInvalidArgument;
  const Property* p = list->Find(name);
  if (!p) return DDC_ErrPropertyAbsent;
  *type = p->type;
  return DDC_NoError;
}

// The base name of a path: without folder and extension.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// Checks a value range against the channel's count.
int CheckRange(const Channel& channel, size_t first, size_t count) {
  return first > channel.count || count > channel.count - first ? DDC_ErrRange : DDC_NoError;
}

constexpr size_t kStep = 64 * 1024;  // values converted per step

}  // namespace
}  // namespace ddc

using namespace ddc;

extern "C" {

int DDC_OpenFileEx(const char* filePath, const char* fileType, int readOnly, DDCFileHandle* file) {
  return Guarded([&]() -> int {
    if (!file) return DDC_ErrInvalidArgument;
    *file = nullptr;
    if (!filePath || !fileType) return DDC_ErrInvalidArgument;
    if (readOnly == 0) return DDC_ErrNotSupported;
    const bool tdms = winport::EqualsNoCase(fileType, "TDMS");
    if (!tdms && !winport::EqualsNoCase(fileType, "TDM")) return DDC_ErrInvalidArgument;
    const std::string path = ToUtf8(filePath);
    auto model = std::make_unique<File>();
    Status s = DDC_NoError;
    if (tdms) {
      auto data = std::make_unique<DataFile>();
      s = data->Open(path);
      if (s == DDC_NoError) s = LoadTdms(std::move(data), BaseName(filePath), *model);
    } else {
      s = LoadTdm(path, BaseName(filePath), *model);
    }
    if (s != DDC_NoError) return s;
    ApplyScaling(*model);
    Live().Add(*model);
    *file = reinterpret_cast<DDCFileHandle>(model.release());
    return DDC_NoError;
  });
}

void DDC_CloseFile(DDCFileHandle file) {
  File* model = reinterpret_cast<File*>(file);
  if (!model || !Live().Remove(model)) return;
  delete model;
}

int DDC_GetNumChannelGroups(DDCFileHandle file, unsigned int* numChannelGroups) {
  const File* f = FindFile(file);
  if (!f || !numChannelGroups) return DDC_ErrInvalidArgument;
  *numChannelGroups = static_cast<unsigned int>(std::min<size_t>(f->groups.size(), UINT32_MAX));
  return DDC_NoError;
}

int DDC_GetChannelGroups(DDCFileHandle file, DDCChannelGroupHandle channelGroups[],
                         size_t numChannelGroups) {
  const File* f = FindFile(file);
  if (!f || (!channelGroups && numChannelGroups > 0)) return DDC_ErrInvalidArgument;
  for (size_t i = 0; i < numChannelGroups; ++i)
    channelGroups[i] = i < f->groups.size()
                           ? reinterpret_cast<DDCChannelGroupHandle>(f->groups[i].get())
                           : nullptr;
  return DDC_NoError;
}

int DDC_GetNumChannels(DDCChannelGroupHandle channelGroup, unsigned int* numChannels) {
  const Group* g = FindGroup(channelGroup);
  if (!g || !numChannels) return DDC_ErrInvalidArgument;
  *numChannels = static_cast<unsigned int>(std::min<size_t>(g->channels.size(), UINT32_MAX));
  return DDC_NoError;
}

int DDC_GetChannels(DDCChannelGroupHandle channelGroup, DDCChannelHandle channels[],
                    size_t numChannels) {
  const Group* g = FindGroup(channelGroup);
  if (!g || (!channels && numChannels > 0)) return DDC_ErrInvalidArgument;
  for (size_t i = 0; i < numChannels; ++i)
    channels[i] =
        i < g->channels.size() ? reinterpret_cast<DDCChannelHandle>(g->channels[i].get()) : nullptr;
  return DDC_NoError;
}

int DDC_GetDataType(DDCChannelHandle channel, DDCDataType* dataType) {
  const Channel* c = FindChannel(channel);
  if (!c || !dataType) return DDC_ErrInvalidArgument;
  *dataType = c->type;
  return c->unusable;
}

int DDC_GetNumDataValues(DDCChannelHandle channel, uint64_t* numValues) {
  const Channel* c = FindChannel(channel);
  if (!c || !numValues) return DDC_ErrInvalidArgument;
  *numValues = c->count;
  return DDC_NoError;
}

int DDC_GetDataValues(DDCChannelHandle channel, size_t indexOfFirstValueToGet,
                      size_t numValuesToGet, void* values) {
  return Guarded([&]() -> int {
    const auto [c, owner] = FindChannelOfFile(channel);
    if (!c || (!values && numValuesToGet > 0)) return DDC_ErrInvalidArgument;
    if (c->unusable) return c->unusable;
    if (int s = CheckRange(*c, indexOfFirstValueToGet, numValuesToGet)) return s;
    if (IsNumberType(c->type)) {
      if (numValuesToGet == 0) return DDC_NoError;
      return ReadNumbers(*owner, *c, indexOfFirstValueToGet, numValuesToGet,
                         static_cast<uint8_t*>(values));
    }
    if (c->type == DDC_TypeChannelTimestamp) return DDC_ErrTypeMismatch;
    if (c->type != DDC_TypeChannelString) return DDC_ErrNotSupported;
    char** out = static_cast<char**>(values);
    std::vector<std::string> texts;
    for (size_t done = 0; done < numValuesToGet;) {
      const size_t step = std::min(kStep, numValuesToGet - done);
      texts.clear();
      Status s = ReadTexts(*owner, *c, indexOfFirstValueToGet + done, step, texts);
      for (size_t k = 0; s == DDC_NoError && k < step; ++k) {
        out[done + k] = CopyOut(texts[k]);
        if (!out[done + k]) {
          FreeAll(out, done + k);
          return DDC_ErrOutOfMemory;
        }
      }
      if (s != DDC_NoError) {
        FreeAll(out, done);
        return s;
      }
      done += step;
    }
    return DDC_NoError;
  });
}

int DDC_GetDataValuesTimestampComponents(DDCChannelHandle channel, size_t indexOfFirstValueToGet,
                                         size_t numValuesToGet, unsigned int year[],
                                         unsigned int month[], unsigned int day[],
                                         unsigned int hour[], unsigned int minute[],
                                         unsigned int second[], double fraction[],
                                         unsigned int weekDay[]) {
  return Guarded([&]() -> int {
    const auto [c, owner] = FindChannelOfFile(channel);
    if (!c) return DDC_ErrInvalidArgument;
    if (int s = CheckRange(*c, indexOfFirstValueToGet, numValuesToGet)) return s;
    if (c->type != DDC_TypeChannelTimestamp) return DDC_ErrTypeMismatch;
    std::vector<Timestamp> stamps;
    for (size_t done = 0; done < numValuesToGet;) {
      const size_t step = std::min(kStep, numValuesToGet - done);
      stamps.resize(step);
      if (Status s = ReadTimestamps(*owner, *c, indexOfFirstValueToGet + done, step,
                                    stamps.data()))
        return s;
      for (size_t k = 0; k < step; ++k) {
        TimeComponents parts;
        if (Status s = ToUtcComponents(stamps[k], parts)) return s;
        PutComponents(parts, done + k, year, month, day, hour, minute, second, fraction, weekDay);
      }
      done += step;
    }
    return DDC_NoError;
  });
}

#define DDC_PROPERTY_READERS(Prefix, Handle)                                                     \
  int DDC_Get##Prefix##Property(Handle h, const char* property, void* value,                      \
                                size_t valueSizeInBytes) {                                        \
    return Guarded([&] { return GetProperty(PropertiesOf(h), property, value, valueSizeInBytes); }); \
  }                                                                                               \
  int DDC_Get##Prefix##StringPropertyLength(Handle h, const char* property,                       \
                                            unsigned int* length) {                               \
    return Guarded([&] { return GetStringLength(PropertiesOf(h), property, length); });           \
  }                                                                                               \
  int DDC_GetNum##Prefix##Properties(Handle h, unsigned int* numProperties) {                     \
    return Guarded([&] { return CountProperties(PropertiesOf(h), numProperties); });              \
  }                                                                                               \
  int DDC_Get##Prefix##PropertyNames(Handle h, char* propertyNames[], size_t numPropertyNames) {  \
    return Guarded([&] { return PropertyNames(PropertiesOf(h), propertyNames, numPropertyNames); }); \
  }                                                                                               \
  int DDC_Get##Prefix##PropertyType(Handle h, const char* property, DDCDataType* dataType) {      \
    return Guarded([&] { return PropertyType(PropertiesOf(h), property, dataType); });            \
  }

DDC_PROPERTY_READERS(File, DDCFileHandle)
DDC_PROPERTY_READERS(ChannelGroup, DDCChannelGroupHandle)
DDC_PROPERTY_READERS(Channel, DDCChannelHandle)
#undef DDC_PROPERTY_READERS

int DDC_GetFilePropertyTimestampComponents(DDCFileHandle file, const char* property,
                                           unsigned int* year, unsigned int* month,
                                           unsigned int* day, unsigned int* hour,
                                           unsigned int* minute, unsigned int* second,
                                           double* fraction, unsigned int* weekDay) {
  return Guarded([&] {
    return GetTimestamp(PropertiesOf(file), property, year, month, day, hour, minute, second,
                        fraction, weekDay);
  });
}

int DDC_GetChannelPropertyTimestampComponents(DDCChannelHandle channel, const char* property,
                                              unsigned int* year, unsigned int* month,
                                              unsigned int* day, unsigned int* hour,
                                              unsigned int* minute, unsigned int* second,
                                              double* fraction, unsigned int* weekDay) {
  return Guarded([&] {
    return GetTimestamp(PropertiesOf(channel), property, year, month, day, hour, minute, second,
                        fraction, weekDay);
  });
}

void DDC_FreeMemory(void* memory) { std::free(memory); }

const char* DDC_GetLibraryErrorDescription(int errorCode) {
  switch (errorCode) {
    case DDC_NoError: return "No error";
    case DDC_ErrOutOfMemory: return "Not enough memory";
    case DDC_ErrInvalidArgument: return "Invalid argument: a NULL pointer or an unknown handle";
    case DDC_ErrLibraryNotLoaded:
      return "Error occurred when loading the DIAdem library DLL (nilibddc.dll)";
    case DDC_ErrFileNotFound: return "The file could not be found or opened";
    case DDC_ErrWrongFileKind: return "The file is not of the given file type";
    case DDC_ErrDamaged: return "The file is damaged";
    case DDC_ErrPropertyAbsent: return "The property does not exist";
    case DDC_ErrTypeMismatch: return "The property or the values have another type or size";
    case DDC_ErrRange: return "An index, count or buffer size is out of range";
    case DDC_ErrNotSupported: return "The operation is not supported";
    case DDC_ErrReadFailed: return "The file could not be read";
    case DDC_ErrScaleRTD: return "The channel's scaling needs an RTD scale, which is not supported";
    case DDC_ErrScaleThermistor: return "The channel's scaling needs a Thermistor scale, which is not supported";
    case DDC_ErrScaleThermocouple: return "The channel's scaling needs a Thermocouple scale, which is not supported";
    case DDC_ErrScaleStrain: return "The channel's scaling needs a Strain scale, which is not supported";
    case DDC_ErrScaleUnknown: return "The channel's scaling needs a scale of an unknown type";
    case DDC_ErrScaleInput: return "The channel's scaling is broken: a scale takes its input from a scale that does not exist";
    case DDC_ErrScaleCycle: return "The channel's scaling is broken: its scales take their inputs from each other in a cycle";
    case DDC_ErrScaleTableSizes: return "The channel's scaling is broken: a table scale's value lists differ in size";
    case DDC_ErrScaleParameter: return "The channel's scaling is broken: a scale lacks a parameter or has an unusable one";
    case DDC_ErrScalingMissing: return "The channel holds several raw values per sample and no scaling that combines them";
    default: return "Unknown error";
  }
}

// Operations that create, change or query files: not supported by this library.
int DDC_CreateFile(const char*, const char*, const char*, const char*, const char*, const char*,
                   DDCFileHandle*) {
  return DDC_ErrNotSupported;
}
int DDC_AddChannelGroup(DDCFileHandle, const char*, const char*, DDCChannelGroupHandle*) {
  return DDC_ErrNotSupported;
}
int DDC_AddChannel(DDCChannelGroupHandle, DDCDataType, const char*, const char*, const char*,
                   DDCChannelHandle*) {
  return DDC_ErrNotSupported;
}
int DDC_SaveFile(DDCFileHandle) { return DDC_ErrNotSupported; }
int DDC_RemoveChannelGroup(DDCChannelGroupHandle) { return DDC_ErrNotSupported; }
int DDC_RemoveChannel(DDCChannelHandle) { return DDC_ErrNotSupported; }
int DDC_CloseChannelGroup(DDCChannelGroupHandle) { return DDC_ErrNotSupported; }
int DDC_CloseChannel(DDCChannelHandle) { return DDC_ErrNotSupported; }
int DDC_OpenFile(const char*, const char*, DDCFileHandle*) { return DDC_ErrNotSupported; }
int DDC_SetDataValues(DDCChannelHandle, const void*, size_t) { return DDC_ErrNotSupported; }
int DDC_AppendDataValues(DDCChannelHandle, const void*, size_t) { return DDC_ErrNotSupported; }
int DDC_ReplaceDataValues(DDCChannelHandle, size_t, const void*, size_t) {
  return DDC_ErrNotSupported;
}
int DDC_SetDataValuesTimestampComponents(DDCChannelHandle, const unsigned int[],
                                         const unsigned int[], const unsigned int[],
                                         const unsigned int[], const unsigned int[],
                                         const unsigned int[], const double[], size_t) {
  return DDC_ErrNotSupported;
}
int DDC_AppendDataValuesTimestampComponents(DDCChannelHandle, const unsigned int[],
                                            const unsigned int[], const unsigned int[],
                                            const unsigned int[], const unsigned int[],
                                            const unsigned int[], const double[], size_t) {
  return DDC_ErrNotSupported;
}
int DDC_ReplaceDataValuesTimestampComponents(DDCChannelHandle, size_t, const unsigned int[],
                                             const unsigned int[], const unsigned int[],
                                             const unsigned int[], const unsigned int[],
                                             const unsigned int[], const double[], size_t) {
  return DDC_ErrNotSupported;
}
int DDC_QueryChannelGroups(DDCFileHandle, const char*, DDCChannelGroupHandle**, size_t*) {
  return DDC_ErrNotSupported;
}
int DDC_QueryChannels(DDCFileHandle, const char*, DDCChannelHandle**, size_t*) {
  return DDC_ErrNotSupported;
}
int DDC_MergeChannelGroupQueryResults(const DDCChannelGroupHandle[], size_t,
                                      const DDCChannelGroupHandle[], size_t, int,
                                      DDCChannelGroupHandle**, size_t*) {
  return DDC_ErrNotSupported;
}
int DDC_MergeChannelQueryResults(const DDCChannelHandle[], size_t, const DDCChannelHandle[], size_t,
                                 int, DDCChannelHandle**, size_t*) {
  return DDC_ErrNotSupported;
}
int DDC_ExecuteChannelGroupQueryExpression(DDCFileHandle, const char*, DDCChannelGroupHandle**,
                                           size_t*) {
  return DDC_ErrNotSupported;
}
int DDC_ExecuteChannelQueryExpression(DDCFileHandle, const char*, DDCChannelHandle**, size_t*) {
  return DDC_ErrNotSupported;
}

#define DDC_PROPERTY_WRITERS(Prefix, Handle)                                                    \
  int DDC_Set##Prefix##PropertyTimestampComponents(Handle, const char*, unsigned int,            \
                                                   unsigned int, unsigned int, unsigned int,     \
                                                   unsigned int, unsigned int, double) {         \
    return DDC_ErrNotSupported;                                                                  \
  }                                                                                              \
  int DDC_Set##Prefix##PropertyV(Handle, const char*, va_list) { return DDC_ErrNotSupported; }   \
  int DDC_Create##Prefix##PropertyTimestampComponents(Handle, const char*, unsigned int,         \
                                                      unsigned int, unsigned int, unsigned int,  \
                                                      unsigned int, unsigned int, double) {      \
    return DDC_ErrNotSupported;                                                                  \
  }                                                                                              \
  int DDC_Create##Prefix##PropertyV(Handle, const char*, DDCDataType, va_list) {                 \
    return DDC_ErrNotSupported;                                                                  \
  }                                                                                              \
  int DDC_##Prefix##PropertyExists(Handle, const char*, int*) { return DDC_ErrNotSupported; }

DDC_PROPERTY_WRITERS(File, DDCFileHandle)
DDC_PROPERTY_WRITERS(ChannelGroup, DDCChannelGroupHandle)
DDC_PROPERTY_WRITERS(Channel, DDCChannelHandle)
#undef DDC_PROPERTY_WRITERS

int DDC_GetChannelGroupPropertyTimestampComponents(DDCChannelGroupHandle, const char*,
                                                   unsigned int*, unsigned int*, unsigned int*,
                                                   unsigned int*, unsigned int*, unsigned int*,
                                                   double*, unsigned int*) {
  return DDC_ErrNotSupported;
}

}  // extern "C"
