// For tests that drive a module's objects one member at a time through the
// host stand-in: the registry values that registering wrote, objects created
// by ProgID, the members they offer, and single members of an object.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <utility>
#include <vector>

#include "host/object.h"
#include "host/value.h"
#include "platform/com/activation.h"
#include "platform/com/server/server.h"
#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace testsupport {

// A value of HKEY_CLASSES_ROOT (the key's default for none); none when absent.
inline std::optional<std::string> RegText(const std::string& path, const char* value = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char data[1024];
  DWORD size = sizeof data, type = 0;
  const LSTATUS status = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ || size == 0) return std::nullopt;
  return std::string(data, size - 1);
}

// What registering a module wrote for one of its classes: the ProgIDs
// "<progId>.1" and "<progId>" (with CurVer) naming the class and its CLSID,
// and under the CLSID both ProgIDs and the in-process server, the module at
// its real path in the threading model "Apartment".
inline void ExpectClassRegistered(const std::string& progId, const std::string& className, const std::string& clsid,
                                  const std::string& module) {
  char real[4096];
  ASSERT_NE(realpath(module.c_str(), real), nullptr);
  EXPECT_EQ(RegText(progId), className + " Class");
  EXPECT_EQ(RegText(progId + "\\CurVer"), progId + ".1");
  EXPECT_EQ(RegText(progId + "\\CLSID"), clsid);
  EXPECT_EQ(RegText(progId + ".1\\CLSID"), clsid);
  const std::string key = "CLSID\\" + clsid;
  EXPECT_EQ(RegText(key + "\\ProgID"), progId + ".1");
  EXPECT_EQ(RegText(key + "\\VersionIndependentProgID"), progId);
  EXPECT_EQ(RegText(key + "\\InprocServer32"), std::string(real));
  EXPECT_EQ(RegText(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
}

// A new object of the class, as the host creates it; a failure fails the test.
inline host::Object Create(const std::string& progId) {
  const std::u16string wide = winport::Utf8ToUtf16(progId);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(wide.c_str(), &clsid), S_OK) << progId;
  IDispatch* object = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK)
      << progId << ": " << winport::LastActivationError();
  return host::Object(object);
}

// An integer property; -12345 when it answers something else.
inline int64_t Long(host::Object& object, const char* name, const std::vector<host::Arg>& args = {}) {
  const host::Value v = object.Get(name, args);
  const auto* n = std::get_if<int64_t>(&v);
  return n ? *n : -12345;
}

// The members the object offers, as the host lists them (a property's get and
// put as one), against a prefix of a contract table: name for name, dispatch
// id for dispatch id.
inline void ExpectMembers(const host::Object& object, std::span<const comserver::Member> prefix) {
  std::vector<std::pair<std::string, DISPID>> expected;
  for (const comserver::Member& m : prefix)
    if (expected.empty() || expected.back().first != m.name) expected.emplace_back(m.name, m.dispid);
  std::vector<std::pair<std::string, DISPID>> offered;
  for (const host::Object::Member& m : object.Members()) offered.emplace_back(m.name, m.id);
  EXPECT_EQ(offered, expected);
}

// Whether a value is none (a null string, an empty variant).
inline bool IsNull(const host::Value& v) { return std::holds_alternative<std::monostate>(v); }

// Read(n) at the file object's position into a buffer of n bytes filled with
// `fill` beforehand: what the module copied, the rest as filled.
inline std::string ReadBytes(host::Object& file, uint32_t n, char fill = '\xEE') {
  std::string buffer(n, fill);
  auto* pointer = reinterpret_cast<uint8_t*>(buffer.data());
  file.Call("Read", {host::BufferRef{&pointer}, int64_t{n}});
  return buffer;
}

}  // namespace testsupport
