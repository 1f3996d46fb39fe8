// Test helpers over the connectivity library's entry points: an open file
// that closes itself, and typed access to properties and values.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ddc/nilibddc.h"

namespace ddctest {

class OpenedFile {
 public:
  OpenedFile(const std::string& path, const char* type) {
    status_ = DDC_OpenFileEx(path.c_str(), type, 1, &file_);
  }
  ~OpenedFile() { DDC_CloseFile(file_); }
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;

  int Status() const { return status_; }
  DDCFileHandle Get() const { return file_; }
  std::vector<DDCChannelGroupHandle> Groups() const;

 private:
  int status_ = 0;
  DDCFileHandle file_ = nullptr;
};

std::vector<DDCChannelHandle> Channels(DDCChannelGroupHandle group);

// The property operations of each kind of object under one name.
int GetProperty(DDCFileHandle h, const char* name, void* value, size_t size);
int GetProperty(DDCChannelGroupHandle h, const char* name, void* value, size_t size);
int GetProperty(DDCChannelHandle h, const char* name, void* value, size_t size);
int GetLength(DDCFileHandle h, const char* name, unsigned int* length);
int GetLength(DDCChannelGroupHandle h, const char* name, unsigned int* length);
int GetLength(DDCChannelHandle h, const char* name, unsigned int* length);
int GetType(DDCFileHandle h, const char* name, DDCDataType* type);
int GetType(DDCChannelGroupHandle h, const char* name, DDCDataType* type);
int GetType(DDCChannelHandle h, const char* name, DDCDataType* type);
int GetNames(DDCFileHandle h, char* names[], size_t count);
int GetNames(DDCChannelGroupHandle h, char* names[], size_t count);
int GetNames(DDCChannelHandle h, char* names[], size_t count);
int CountProperties(DDCFileHandle h, unsigned int* count);
int CountProperties(DDCChannelGroupHandle h, unsigned int* count);
int CountProperties(DDCChannelHandle h, unsigned int* count);

// A text property as the module reads it (length, then length + 1 bytes); none when that fails.
template <typename H>
std::optional<std::string> Text(H h, const char* name) {
  unsigned int length = 0;
  if (GetLength(h, name, &length) != 0) return std::nullopt;
  std::string text(length + 1, '\0');
  if (GetProperty(h, name, text.data(), text.size()) != 0) return std::nullopt;
  text.resize(length);
  return text;
}

template <typename H>
std::optional<double> Number(H h, const char* name) {
  double d = 0;
  if (GetProperty(h, name, &d, sizeof d) != 0) return std::nullopt;
  return d;
}

template <typename H>
std::optional<DDCDataType> Type(H h, const char* name) {
  DDCDataType t{};
  if (GetType(h, name, &t) != 0) return std::nullopt;
  return t;
}

template <typename H>
std::vector<std::string> PropertyNames(H h) {
  unsigned int n = 0;
  EXPECT_EQ(CountProperties(h, &n), 0);
  std::vector<char*> names(n);
  EXPECT_EQ(GetNames(h, names.data(), names.size()), 0);
  std::vector<std::string> out;
  for (char* name : names) {
    out.push_back(name ? name : "<null>");
    DDC_FreeMemory(name);
  }
  return out;
}

template <typename H>
std::string Name(H h) {
  return Text(h, "name").value_or("<no name>");
}

uint64_t Count(DDCChannelHandle channel);
DDCDataType DataType(DDCChannelHandle channel);
// Every value of a number channel as doubles.
std::vector<double> Numbers(DDCChannelHandle channel);
std::vector<std::string> Strings(DDCChannelHandle channel);
// Every value of a timestamp channel as Unix seconds, from its (UTC) components.
std::vector<double> Stamps(DDCChannelHandle channel);
// UTC components back to Unix seconds.
double UnixFromUtc(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   unsigned second, double fraction);
std::optional<double> FileStamp(DDCFileHandle file, const char* name);
std::optional<double> ChannelStamp(DDCChannelHandle channel, const char* name);

// Sets TZ for the scope.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz);
  ~ScopedTimeZone();

 private:
  std::optional<std::string> old_;
};

}  // namespace ddctest
