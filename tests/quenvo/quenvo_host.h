// Imports through the host stand-in for Quenvo's tests: the module
// registered in a registry of the test's own, MAT-files written by libmatio's
// writer, and small helpers for the file object's members.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/failure.h"
#include "host/object.h"
#include "host/session.h"
#include "host/value.h"
#include "tests/matlab/mat_writer.h"
#include "tests/support/host_harness.h"
#include "tests/support/host_objects.h"

namespace quenvotest {

inline constexpr const char* kModule = QUENVO_MODULE;
inline constexpr const char* kProgId = "Quenvo.ZPFileImport";

using testsupport::IsNull;
using testsupport::ReadBytes;

// A host with the module registered; TryImport gives the failure or none.
class ModuleHost : public testsupport::HostHarness {
 public:
  explicit ModuleHost(const std::string& module = kModule) { Register(module); }

  std::optional<host::Failure> TryImport(const std::string& path, const testsupport::ImportOptions& options = {},
                                         testsupport::ImportResult* result = nullptr) {
    return HostHarness::TryImport(kProgId, path, options, result);
  }
  // Imports and fails the test when the import fails.
  testsupport::ImportResult MustImport(const std::string& path, const testsupport::ImportOptions& options = {}) {
    testsupport::ImportResult result;
    const std::optional<host::Failure> failure = TryImport(path, options, &result);
    EXPECT_FALSE(failure) << failure->what();
    return result;
  }
  // The physical values of a signal (1-based number) of the last import.
  std::vector<double> Values(size_t number) {
    std::vector<double> out;
    for (const std::optional<double>& v : Samples(std::to_string(number)).values) out.push_back(v.value_or(-1e300));
    return out;
  }
};

inline double Number(const host::PropertyList& p, const char* name) { return host::NumberOf(p, name, -12345); }
inline std::string Text(const host::PropertyList& p, const char* name) { return host::TextOf(p, name); }

// A 1 x n double row.
inline matvar_t* Row(const char* name, const std::vector<double>& values) {
  return matwriter::Doubles(name, 1, values.size(), values);
}
// A 1 x 1 double.
inline matvar_t* Scalar(const char* name, double value) { return matwriter::Doubles(name, 1, 1, {value}); }
inline matvar_t* Text(const char* name, const std::string& ascii) {
  return matwriter::Text(name, std::u16string(ascii.begin(), ascii.end()));
}

// Writes the variables, in order, into a level-5 file; fails the test when matio refuses one.
inline void WriteMat(const std::string& path, const std::vector<matvar_t*>& variables,
                     matio_compression compression = MAT_COMPRESSION_NONE) {
  matwriter::MatFileWriter file(path, MAT_FT_MAT5, compression);
  ASSERT_TRUE(file.IsOpen()) << path;
  for (matvar_t* v : variables) EXPECT_TRUE(file.Write(v));
  EXPECT_TRUE(file.Close());
}

// One channel of the channel struct: its field name and the fields of its own struct.
struct ChannelDef {
  ChannelDef(std::string field, matvar_t* daten, std::optional<std::string> beschreibung = std::nullopt,
             std::optional<std::string> einheit = std::nullopt,
             std::vector<std::pair<std::string, matvar_t*>> extra = {})
      : field(std::move(field)), daten(daten), beschreibung(std::move(beschreibung)), einheit(std::move(einheit)),
        extra(std::move(extra)) {}
  std::string field;
  matvar_t* daten = nullptr;  // none: no "daten" field
  std::optional<std::string> beschreibung, einheit;
  // Other fields instead, by name (for values of other classes).
  std::vector<std::pair<std::string, matvar_t*>> extra;
};

// A struct named `name` with one field per channel, each a struct.
inline matvar_t* ChannelStruct(const char* name, const std::vector<ChannelDef>& channels) {
  std::vector<std::string> fields;
  for (const ChannelDef& c : channels) fields.push_back(c.field);
  matvar_t* s = matwriter::Struct(name, {1, 1}, fields);
  for (const ChannelDef& c : channels) {
    std::vector<std::string> own;
    if (c.daten) own.push_back("daten");
    if (c.beschreibung) own.push_back("beschreibung");
    if (c.einheit) own.push_back("einheit");
    for (const auto& e : c.extra) own.push_back(e.first);
    matvar_t* channel = matwriter::Struct(nullptr, {1, 1}, own);
    if (c.daten) matwriter::SetField(channel, "daten", 0, c.daten);
    if (c.beschreibung) matwriter::SetField(channel, "beschreibung", 0, Text(nullptr, *c.beschreibung));
    if (c.einheit) matwriter::SetField(channel, "einheit", 0, Text(nullptr, *c.einheit));
    for (const auto& e : c.extra) matwriter::SetField(channel, e.first.c_str(), 0, e.second);
    matwriter::SetField(s, c.field.c_str(), 0, channel);
  }
  return s;
}

// One Y channel of the X/Y layout.
struct YDef {
  YDef() = default;
  YDef(std::optional<std::string> name, matvar_t* data, std::optional<std::string> unit = std::nullopt)
      : name(std::move(name)), data(data), unit(std::move(unit)) {}
  std::optional<std::string> name;
  matvar_t* data = nullptr;
  std::optional<std::string> unit;
};

// A struct `name` with "X" (its "Name" when given, and "Data") and the 1 x nY struct array "Y".
inline matvar_t* XYStruct(const char* name, const std::optional<std::string>& xName, matvar_t* xData,
                          const std::vector<YDef>& ys) {
  matvar_t* x = matwriter::Struct(nullptr, {1, 1}, xName ? std::vector<std::string>{"Name", "Data"}
                                                         : std::vector<std::string>{"Data"});
  if (xName) matwriter::SetField(x, "Name", 0, Text(nullptr, *xName));
  matwriter::SetField(x, "Data", 0, xData);
  matvar_t* y = matwriter::Struct(nullptr, {1, ys.size()}, {"Name", "Data", "Unit"});
  for (size_t i = 0; i < ys.size(); ++i) {
    if (ys[i].name) matwriter::SetField(y, "Name", i, Text(nullptr, *ys[i].name));
    if (ys[i].data) matwriter::SetField(y, "Data", i, ys[i].data);
    if (ys[i].unit) matwriter::SetField(y, "Unit", i, Text(nullptr, *ys[i].unit));
  }
  matvar_t* s = matwriter::Struct(name, {1, 1}, {"X", "Y"});
  matwriter::SetField(s, "X", 0, x);
  matwriter::SetField(s, "Y", 0, y);
  return s;
}

// A struct whose fields (1 x 1, element 1) are the given values.
inline matvar_t* StructOf(const char* name, const std::vector<std::pair<std::string, matvar_t*>>& fields) {
  std::vector<std::string> names;
  for (const auto& f : fields) names.push_back(f.first);
  matvar_t* s = matwriter::Struct(name, {1, 1}, names);
  for (const auto& f : fields) matwriter::SetField(s, f.first.c_str(), 0, f.second);
  return s;
}

}  // namespace quenvotest
