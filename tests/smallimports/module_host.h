// Imports through the host stand-in for the small modules' tests: the
// modules' paths, a host with a module registered, and the check that the
// host receives every field of a signal record as the reader filled it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>

#include "host/failure.h"
#include "host/object.h"
#include "host/samples.h"
#include "host/session.h"
#include "host/value.h"
#include "platform/win32/codepage.h"
#include "smallimports/support/records.h"
#include "tests/support/host_harness.h"
#include "tests/support/host_objects.h"

namespace smalltest {

inline constexpr const char* kFilmorModule = FILMOR_MODULE;
inline constexpr const char* kJorvelModule = JORVEL_MODULE;
inline constexpr const char* kBrevanModule = BREVAN_MODULE;
inline constexpr const char* kHestorModule = HESTOR_MODULE;

using testsupport::IsNull;
using testsupport::Long;
using testsupport::ReadBytes;

// A host in a registry of its own with one module registered.
class ModuleHost : public testsupport::HostHarness {
 public:
  explicit ModuleHost(const std::string& module) { Register(module); }
};

// The bytes the host should stream for a signal: those of `space` (the
// reader's data space) at the signal's addresses.
inline std::string ExpectedSamples(const host::PropertyList& signal, uint32_t blockSize, const std::string& space) {
  const host::Layout layout = host::Layout::Of(signal, blockSize, static_cast<uint32_t>(space.size()));
  std::string out;
  for (uint64_t k = 0; k < layout.count; ++k)
    out += space.substr(static_cast<size_t>(layout.Address(k, blockSize)), static_cast<size_t>(layout.width));
  return out;
}

inline void Seek(host::Object& file, int64_t position, int64_t origin) { file.Call("Seek", {position, origin}); }

inline bool IsNull(const host::PropertyList& list, const char* name) {
  const host::Value* v = host::Find(list, name);
  return v && std::holds_alternative<std::monostate>(*v);
}

// The 40 properties of the older contract, as the signal object delivers the record.
template <class W>
void ExpectDelivered(const host::PropertyList& p, const smallimports::SignalRecordT<W>& r, int64_t bitSize = 0) {
  SCOPED_TRACE("signal " + std::to_string(r.number) + " " + r.Name.str());
  const auto text = [&](const char* name, const std::string& value) {
    EXPECT_EQ(host::TextOf(p, name), winport::AnsiToUtf8(value)) << name;
  };
  const auto number = [&](const char* name, double value) { EXPECT_EQ(host::NumberOf(p, name, -12345), value) << name; };
  text("Name", r.Name.str());
  text("Label", r.Label.str());
  number("STyp", r.STyp);
  number("DTyp", r.DTyp);
  number("Ignore", r.Ignore);
  number("ValuesPerBlock", r.ValuesPerBlock);
  number("BlockOffset", r.BlockOffset);
  number("Demux", r.Demux);
  number("XMin", r.XMin);
  number("XMax", r.XMax);
  number("XFactor", r.XFactor);
  number("XOffset", r.XOffset);
  number("YMin", r.YMin);
  number("YMax", r.YMax);
  number("YFactor", r.YFactor);
  number("YOffset", r.YOffset);
  text("XUnit", r.XUnit.str());
  text("YUnit", r.YUnit.str());
  number("Sweep", r.Sweep);
  number("NoOfValues", r.NoOfValues);
  number("Block0", r.Block0);
  number("NoValue", r.NoValue);
  text("XGrid", r.XGrid.str());
  text("YGrid", r.YGrid.str());
  number("YStep", r.YStep);
  number("YOrigin", r.YOrigin);
  text("YMUnit", r.YMUnit.str());
  number("tag_DM_PSEC", r.tag_DM_PSEC);
  text("tag_DM_DATYP", r.tag_DM_DATYP.str());
  text("tag_DM_UNIT", r.tag_DM_UNIT.str());
  text("tag_DM_SCMNT", r.tag_DM_SCMNT.str());
  text("tag_DM_CMNT", r.tag_DM_CMNT.str());
  text("tag_GL_SHINT", r.tag_GL_SHINT.str());
  EXPECT_TRUE(IsNull(p, "NoValuesRaw"));
  text("Alias", r.Alias.str());
  number("BitSize", static_cast<double>(bitSize));
  number("FileNo", 1);
  EXPECT_TRUE(IsNull(p, "XLink"));
  EXPECT_TRUE(IsNull(p, "CLink"));
  number("LineStyle", 0);
}

}  // namespace smalltest
