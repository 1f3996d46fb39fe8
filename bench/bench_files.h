// The generated MDF files of the benchmarks: their channel layouts and
// records, and a writer that streams many records into a file.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/file.h"
#include "tests/support/mdf_writer.h"

namespace benchfiles {

using namespace testsupport;

// ---- measuring

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Resets the peak resident memory (Linux), so that each load's own peak shows.
inline void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Peak resident memory since the last reset, MiB.
inline double PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

// Reads the whole file in 16 MiB pieces; MB/s, best of three.
inline double PageCacheRate(const std::string& path, uint64_t& bytes) {
  std::vector<uint8_t> buffer(16u << 20);
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    winport::File file;
    if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::Read)) return 0;
    const auto start = Clock::now();
    bytes = 0;
    for (size_t got; (got = file.Read(buffer.data(), buffer.size())) > 0;) bytes += got;
    best = std::max(best, bytes / 1e6 / Seconds(start));
  }
  return best;
}

// Size of the generated records in MiB: `fallback`, or MDF_BENCH_MIB.
inline size_t MiB(size_t fallback) {
  if (const char* env = std::getenv("MDF_BENCH_MIB")) return std::max(1L, std::atol(env));
  return fallback;
}

inline ChannelDef Channel(const std::string& name, uint16_t startBit, uint16_t bits, uint16_t type,
                          std::optional<CcSpec> cc = std::nullopt, uint16_t channelType = 0) {
  ChannelDef c;
  c.cn = CnSpec{.channelType = channelType, .name = name, .startBit = startBit, .bits = bits, .dataType = type};
  c.cc = std::move(cc);
  return c;
}

template <typename T>
void Put(uint8_t* record, size_t byte, T v) {
  std::memcpy(record + byte, &v, sizeof v);
}

// A pseudo-random number generator that is fast enough for gigabytes.
struct XorShift {
  uint32_t x = 2463534242u;
  uint32_t operator()() {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  }
};

// 16 channels in 64-byte records: integers of 8, 16 and 32 bits of both
// signs, 32- and 64-bit floats, 12-bit bit fields, Motorola 16-bit integers;
// linear and identity conversions.
constexpr uint16_t kRecord16 = 64;

inline GroupDef Group16() {
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = kRecord16;
  g.channels = {
      Channel("time", 0, 64, dt::kDouble, std::nullopt, 1),
      Channel("u8", 64, 8, dt::kUInt, CcLinear(0.5, -10)),
      Channel("s8", 72, 8, dt::kInt, CcIdentity(2)),
      Channel("u16", 80, 16, dt::kUInt, CcLinear(0.01, 0)),
      Channel("s16", 96, 16, dt::kInt, CcLinear(0.1, 5)),
      Channel("u32", 112, 32, dt::kUInt, CcLinear(1e-3, 0)),
      Channel("s32", 144, 32, dt::kInt, CcLinear(1, 0)),
      Channel("f32", 176, 32, dt::kFloat, CcLinear(2, 1)),
      Channel("f64", 208, 64, dt::kDouble),
      Channel("bits_u12", 272, 12, dt::kUInt, CcLinear(0.25, 0)),
      Channel("bits_s12", 284, 12, dt::kInt, CcLinear(0.5, -3)),
      Channel("mot_u16", 296, 16, dt::kUIntMotorola, CcLinear(0.1, 0)),
      Channel("mot_s16", 312, 16, dt::kIntMotorola),
      Channel("u32_b", 328, 32, dt::kUInt, CcLinear(3, 7)),
      Channel("f32_b", 360, 32, dt::kFloat, CcIdentity()),
      Channel("s16_b", 392, 16, dt::kInt, CcLinear(-0.5, 100)),
  };
  return g;
}

// Record r of the 16-channel group: values that vary and stay ordinary
// numbers (no NaN or denormals).
inline void FillRecord16(uint8_t* rec, size_t r, XorShift& random) {
  const uint32_t x = random();
  Put<double>(rec, 0, static_cast<double>(r) * 1e-3);
  Put<uint8_t>(rec, 8, static_cast<uint8_t>(x));
  Put<int8_t>(rec, 9, static_cast<int8_t>(x >> 8));
  Put<uint16_t>(rec, 10, static_cast<uint16_t>(x));
  Put<int16_t>(rec, 12, static_cast<int16_t>(x >> 16));
  Put<uint32_t>(rec, 14, x);
  Put<int32_t>(rec, 18, static_cast<int32_t>(x ^ 0x5555));
  Put<float>(rec, 22, static_cast<float>(static_cast<int32_t>(x)) * 1e-6f);
  Put<double>(rec, 26, static_cast<double>(x) * 0.125);
  const uint32_t bits = (x & 0xFFF) | ((x >> 4) & 0xFFF000);  // two 12-bit fields in bytes 34..36
  rec[34] = static_cast<uint8_t>(bits);
  rec[35] = static_cast<uint8_t>(bits >> 8);
  rec[36] = static_cast<uint8_t>(bits >> 16);
  rec[37] = static_cast<uint8_t>(x >> 3);
  rec[38] = static_cast<uint8_t>(x >> 11);
  rec[39] = static_cast<uint8_t>(x >> 19);
  rec[40] = static_cast<uint8_t>(x >> 5);
  Put<uint32_t>(rec, 41, x * 2654435761u);
  Put<float>(rec, 45, static_cast<float>(x & 0xFFFF) * 0.5f);
  Put<int16_t>(rec, 49, static_cast<int16_t>(x >> 7));
}

// 200 narrow byte-aligned channels in 432-byte records: a double time, 24
// channels of 8 bits, 150 of 16 bits and 25 of 32 bits (integers of both
// signs and floats); every other channel with a linear conversion.
constexpr uint16_t kRecord200 = 432;

inline GroupDef Group200() {
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = kRecord200;
  g.channels.push_back(Channel("time", 0, 64, dt::kDouble, std::nullopt, 1));
  uint16_t byte = 8;
  auto add = [&](const char* kind, int count, uint16_t bytes, uint16_t type) {
    for (int i = 0; i < count; ++i) {
      std::optional<CcSpec> cc;
      if (g.channels.size() % 2 == 0) cc = CcLinear(0.5 + i, -1.0 * i);
      g.channels.push_back(Channel(std::string(kind) + std::to_string(i), static_cast<uint16_t>(8 * byte),
                                   static_cast<uint16_t>(8 * bytes), type, cc));
      byte = static_cast<uint16_t>(byte + bytes);
    }
  };
  add("u8_", 12, 1, dt::kUInt);
  add("s8_", 12, 1, dt::kInt);
  add("u16_", 75, 2, dt::kUInt);
  add("s16_", 75, 2, dt::kInt);
  add("u32_", 10, 4, dt::kUInt);
  add("s32_", 10, 4, dt::kInt);
  add("f32_", 5, 4, dt::kFloat);
  return g;
}

inline void FillRecord200(uint8_t* rec, size_t r, XorShift& random) {
  Put<double>(rec, 0, static_cast<double>(r) * 1e-3);
  for (size_t b = 8; b < 412; b += 4) Put<uint32_t>(rec, b, random());
  for (size_t b = 412; b < kRecord200; b += 4) Put<float>(rec, b, static_cast<float>(random() & 0xFFFFF) * 0.25f);
}

// One data group of a file: its definition and its records, made one by one.
struct StreamedGroup {
  GroupDef def;
  size_t records = 0;
  std::function<void(uint8_t* record, size_t r)> fill;
};

// Writes a file of the groups, their blocks first and then their records,
// streamed in chunks; false when it cannot be written.
inline bool WriteFile(const std::string& path, const std::string& programId, std::vector<StreamedGroup> groups) {
  FileDef def;
  def.id.programId = programId;
  for (StreamedGroup& g : groups) {
    g.def.records = 0;  // the records follow the blocks
    def.groups.push_back(g.def);
  }
  BuiltFile built = BuildFile(def);
  uint64_t at = built.writer.Size();
  for (size_t i = 0; i < groups.size(); ++i) {
    const uint32_t length = built.groups[i].recordSize;
    built.writer.PatchU32(built.groups[i].cg + cg::kRecordCount, static_cast<uint32_t>(groups[i].records));
    if (at > UINT32_MAX) return false;
    built.writer.PatchU32(built.groups[i].dg + dg::kData, static_cast<uint32_t>(at));
    at += uint64_t{length} * groups[i].records;
  }
  winport::File out;
  if (!out.Open(path, winport::FileAccess::Write, winport::FileShare::None, winport::FileDisposition::CreateAlways))
    return false;
  if (!out.WriteExact(built.writer.Bytes().data(), built.writer.Size())) return false;
  std::vector<uint8_t> chunk;
  for (size_t i = 0; i < groups.size(); ++i) {
    const size_t length = built.groups[i].recordSize;
    const size_t perChunk = std::max<size_t>(1, (8u << 20) / length);
    chunk.resize(perChunk * length);
    for (size_t first = 0; first < groups[i].records; first += perChunk) {
      const size_t n = std::min(perChunk, groups[i].records - first);
      std::fill(chunk.begin(), chunk.end(), 0);
      for (size_t r = 0; r < n; ++r) groups[i].fill(chunk.data() + r * length, first + r);
      if (!out.WriteExact(chunk.data(), n * length)) return false;
    }
  }
  return out.Flush();
}

// The files of the loader benchmark, `bytes` of records each: 4 groups of the
// 16 channels, or 1 group of the 200 narrow channels.
inline bool WriteGroups16File(const std::string& path, size_t bytes) {
  std::vector<StreamedGroup> groups;
  for (int g = 0; g < 4; ++g) {
    auto random = std::make_shared<XorShift>();
    random->x += static_cast<uint32_t>(g);
    groups.push_back({Group16(), bytes / 4 / kRecord16, [random](uint8_t* record, size_t r) { FillRecord16(record, r, *random); }});
  }
  return WriteFile(path, "LDBENCH", std::move(groups));
}

inline bool WriteGroup200File(const std::string& path, size_t bytes) {
  auto random = std::make_shared<XorShift>();
  std::vector<StreamedGroup> groups;
  groups.push_back({Group200(), bytes / kRecord200, [random](uint8_t* record, size_t r) { FillRecord200(record, r, *random); }});
  return WriteFile(path, "LDBENCH", std::move(groups));
}

}  // namespace benchfiles
