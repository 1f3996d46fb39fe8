// Drives a file-import object as a host would, from arbitrary bytes: first a
// Parameters block (size word, memory limit, ignore names), then the import of
// one of two fixture files through the test driver, then a sequence of Open,
// Seek, Read, ReadEx and Close calls. Every buffer is exactly as large as the
// call says, so a copy past it is caught.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "importcore/le.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/pellor_driver.h"

namespace {

using namespace testsupport;

std::string g_files[2];

// A group of assorted channel types, written by `programId`; the time channel
// is invalid (1e308) at a few records and "u16" carries a NoValue marker.
FileDef Fixture(const std::string& programId) {
  FileDef def;
  def.id.programId = programId;
  for (uint32_t g = 0; g < 2; ++g) {
    GroupDef group;
    group.records = g == 0 ? 300 : 7;
    group.comment = "NoValue\tJa\tu16\t3";
    ChannelDef time;
    time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble};
    time.value = [](uint32_t r) { return r % 50 == 3 ? 1e308 : r * 0.01; };
    group.channels.push_back(time);
    const struct {
      const char* name;
      uint16_t type, bits;
    } channels[] = {{"u8", dt::kUInt, 8},      {"u16", dt::kUIntMotorola, 16}, {"s12", dt::kInt, 12},
                    {"f32", dt::kFloat, 32},   {"u40", dt::kUInt, 40},         {"text", dt::kText, 24}};
    for (const auto& c : channels) {
      ChannelDef ch;
      ch.cn = CnSpec{.name = c.name, .bits = c.bits, .dataType = c.type};
      if (c.type == dt::kText)
        ch.text = [](uint32_t) { return std::string("ab"); };
      else
        ch.value = [](uint32_t r) { return r % 97; };
      group.channels.push_back(ch);
    }
    ChannelDef formula;
    formula.cn = CnSpec{.name = "phys", .bits = 16, .dataType = dt::kUInt};
    formula.cc = CcFormula("X*3");
    formula.value = [](uint32_t r) { return r; };
    group.channels.push_back(formula);
    def.groups.push_back(group);
  }
  return def;
}

// Reads input bytes one value at a time; past the end everything reads as 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return pos_ < size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{Byte()} << (8 * i);
    return v;
  }
  std::string Text(size_t n) {
    std::string out;
    for (size_t i = 0; i < n && More(); ++i) out += static_cast<char>(Byte());
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string base = std::string(dir) + "/fuzz_pellor_object_" + std::to_string(getpid());
  setenv("WINPORT_REGISTRY", (base + ".registry").c_str(), 1);
  g_files[0] = base + "_a.mdf";
  g_files[1] = base + "_k.mdf";
  BuildFile(Fixture("TESTPROG")).writer.Save(g_files[0]);
  BuildFile(Fixture("KESTRAVO")).writer.Save(g_files[1]);
  std::atexit([] {
    for (const std::string& f : g_files) unlink(f.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t flags = in.Byte();
  ScopedPellorDriver driver;
  pellor::FileImport import;
  import.SetHostVersion(1536);

  if (flags & 1) {
    // The host's block: a size word, a memory limit and ignore names from the input.
    std::vector<uint8_t> host(pellor::ParameterBlock::kSize + 64, 0);
    importcore::StoreLE(host.data(), static_cast<int32_t>(in.Word()));
    importcore::StoreLE(host.data() + pellor::ParameterBlock::kMemoryLimit, in.Word() & 0xFFFFF);
    const std::string names = in.Text(in.Byte());
    std::memcpy(host.data() + pellor::ParameterBlock::kIgnoreNames, names.data(), names.size());
    import.PutParameters(host.data());
  }
  if (import.ImportFile(g_files[(flags >> 1) & 1], "") != S_OK) return 0;
  const auto signals = import.Lists().signals.Count();

  std::vector<uint8_t> buffer, times;
  for (int op = 0; op < 64 && in.More(); ++op) {
    const uint8_t code = in.Byte();
    const uint32_t a = in.Word(), b = in.Word();
    switch (code % 7) {
      case 0: import.Open(); break;
      case 1: import.Close(); break;
      case 2: import.Seek(static_cast<int32_t>(a), static_cast<int32_t>(b % 4)); break;
      case 3:
        if (signals) import.Seek(static_cast<int32_t>(import.Lists().signals.Nth(a % signals)->rangeStart + b % 64), 0);
        break;
      case 4:
        buffer.assign(a % 8192, 0);
        import.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
        break;
      case 5:
        buffer.assign(a % 8192, 0);
        times.assign(b % 4096, 0);
        import.ReadEx(buffer.data(), static_cast<uint32_t>(buffer.size()), times.data(),
                      static_cast<uint32_t>(times.size()));
        break;
      case 6: import.m_params.SetMemoryLimit(a & 0xFFFF); break;
    }
  }
  return 0;
}
