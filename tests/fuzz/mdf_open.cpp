// Opens arbitrary bytes as an MDF file, lists every block's property rows,
// decodes every channel of every group through each reader, then reads,
// writes and deletes the time-information cache of the file.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "platform/win32/file.h"
#include "tests/support/fuzz_input.h"

namespace {

void Show(mdf::CMdfBase* block, mdf::CMemoryList& list) {
  if (block) block->Display(list);
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Decodes the first records of every channel of the group through each
// reader and formats a few grid cells. Bounded: at most 2000 records, and at
// most a few MiB of records or raw values in memory.
void DecodeGroup(mdf::CDGBlock* dg, const std::string& path) {
  mdf::CDataBlock* data = dg->GetDataBlock();
  mdf::CCGBlock* cg = dg->GetFirstCG();
  if (!data || !cg) return;
  constexpr uint32_t kMaxRecords = 2000;
  constexpr size_t kMaxBytes = 4u << 20;
  const uint32_t length = data->GetRecordLength();
  const uint32_t n = std::min(data->GetNumberOfRecords(), kMaxRecords);

  std::vector<uint8_t> records;
  if (length > 0) {
    const uint32_t inMemory = static_cast<uint32_t>(std::min<size_t>(n, kMaxBytes / length));
    records.resize(size_t{inMemory} * length);
    winport::File file;
    if (file.Open(path, winport::FileAccess::Read, winport::FileShare::Read) && file.Seek(dg->GetDataLink()))
      records.resize(file.Read(records.data(), records.size()) / length * length);
    else
      records.clear();
  }
  winport::File stream;
  stream.Open(path, winport::FileAccess::Read, winport::FileShare::Read);

  std::vector<double> values(n);
  mdf::CCNBlock* time = dg->GetTimeChannel();
  int channels = 0;
  for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext(), ++channels) {
    for (bool convert : {false, true}) {
      Check(data->GetDoubleContent(cn, values, 0, n, convert) <= n);
      Check(data->DecodeValues(cn, records, values, 0, n, convert) <= n);
      Check(data->ReadChannelValues(stream, cn, values, 0, n, convert) <= n);
    }
    const uint32_t element = mdf::CDataBlock::RawElementSize(cn);
    const uint32_t timeElement = mdf::CDataBlock::RawElementSize(time ? time : cn);
    if (element == 0 || timeElement == 0) continue;
    const uint32_t rawCount = static_cast<uint32_t>(std::min<size_t>(n, kMaxBytes / std::max(element, timeElement)));
    std::vector<uint8_t> raw(size_t{rawCount} * element), rawTime(size_t{rawCount} * timeElement);
    Check(data->GetRawDataContent(cn, raw, 0, rawCount) <= rawCount);
    Check(data->GetDataAndTimeContent(cn, time ? time : cn, raw, rawTime, 0, rawCount) <= rawCount);
  }
  for (uint32_t r : {0u, 1u, n > 0 ? n - 1 : 0u, data->GetNumberOfRecords()})
    for (int column = 0; column <= channels + 1; ++column) data->GetCellText(r, column);

  // All channels at once, in memory and from the file: each channel's values
  // are those DecodeValues gives (bit for bit).
  std::vector<mdf::CCNBlock*> all;
  for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) all.push_back(cn);
  if (all.empty()) return;
  const uint32_t m = static_cast<uint32_t>(std::min<size_t>(n, (4u << 20) / all.size()));
  std::vector<std::vector<double>> arrays(all.size(), std::vector<double>(m));
  std::vector<std::span<double>> outputs(arrays.begin(), arrays.end());
  mdf::CGroupDecoder decoder(*data, all);
  const uint32_t decoded = decoder.Decode(records, outputs, 0, m);
  for (size_t k = 0; k < all.size(); ++k) {
    if (!decoder.Delivers(k)) continue;
    Check(data->DecodeValues(all[k], records, values, 0, m, true) == decoded);
    for (uint32_t i = 0; i < decoded; ++i)
      Check(std::bit_cast<uint64_t>(values[i]) == std::bit_cast<uint64_t>(arrays[k][i]));
  }
  Check(data->ReadGroupValues(all, outputs, 0, m) <= m);
  data->ReadGroupChunks(all, true, 0, m, [&](uint32_t first, std::span<const uint8_t> chunk,
                                             std::span<const std::span<double>> chunkValues) {
    Check(length > 0 && chunk.size() / length == chunkValues[0].size() && first < m);
  });
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
  }
  return bytes;
}

// The bytes before `end` are those of `before`, but for the header's program-block link.
void ExpectKept(const std::string& before, const std::string& after, int64_t end, int64_t link) {
  const size_t n = static_cast<size_t>(std::min<int64_t>(end, static_cast<int64_t>(before.size())));
  if (after.size() < n) __builtin_trap();
  for (size_t i = 0; i < n; ++i)
    if (before[i] != after[i] && (static_cast<int64_t>(i) < link || static_cast<int64_t>(i) >= link + 4))
      __builtin_trap();
}

// Every operation on the cache that the file allows; none may change a byte
// of another block.
void ExerciseTimeInfo(const std::string& path, const std::string& before) {
  mdf::CMdf file;
  file.SetShowMessages(false);
  file.SetReaderVersion(mdf::CMdf::kViewerReaderVersion);
  if (!file.Open(path)) return;
  const int64_t link = file.GetHeaderBlock()->GetFilePos() + mdf::CHeaderBlock::kPrLink;
  mdf::TimeInfoRecord record;
  for (int32_t key : {-1, 0, 1}) file.ReadTimeInfo(record, key);
  record.SetKey(0);
  file.CorrectTimeInfo(record, 0);
  for (int32_t key : {0, 1}) {
    record.SetKey(key);
    if (file.WriteTimeInfo(record))
      ExpectKept(before, ReadAll(path), file.GetPrgBlock()->GetFilePos(), link);
  }
  mdf::CMemoryList list;
  Show(file.GetPrgBlock(), list);
  const std::string written = ReadAll(path);
  if (file.DeleteTimeInfo()) ExpectKept(written, ReadAll(path), file.GetPrgBlock()->GetFilePos(), link);
  file.DeletePRBlock();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = testsupport::WriteFuzzInput("fuzz_mdf_open", ".mdf", data, size);
  if (path.empty()) return 0;

  for (mdf::MdfProfile profile : {mdf::MdfProfile::Import, mdf::MdfProfile::Viewer}) {
    mdf::CMdf file(profile);
    file.SetShowMessages(false);
    file.SetReaderVersion(mdf::CMdf::kViewerReaderVersion);
    file.SetCompose(profile == mdf::MdfProfile::Import);
    const int opened = file.Open(path);
    mdf::CMemoryList list;
    Show(&file, list);
    Show(file.GetIDBlock(), list);
    Show(file.GetHeaderBlock(), list);
    Show(file.GetTextBlock(), list);
    Show(file.GetPrgBlock(), list);
    if (!opened) continue;
    for (mdf::CDGBlock* dg = file.GetFirstDG(); dg; dg = dg->GetNext()) {
      Show(dg, list);
      Show(dg->GetDataBlock(), list);
      for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
        Show(cg, list);
        Show(cg->GetComment(), list);
        for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
          Show(cn, list);
          Show(cn->GetComment(), list);
          Show(cn->GetConversion(), list);
          Show(cn->GetExtension(), list);
          double max = 0;
          const double min = cn->GetPhysicalRange(max);
          if (min > max) __builtin_trap();
          mdf::ApplyConversion(cn->GetConversion(), 1.5);
        }
      }
      DecodeGroup(dg, path);
    }
  }
  ExerciseTimeInfo(path, std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
