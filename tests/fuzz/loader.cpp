// Opens arbitrary bytes as an MDF file and loads every group with the
// data-group loader at one record per chunk, write-back off: the markers and
// time-information records of the file, the workers and the time scan. Then,
// per group, the repair of a time channel with errors, and the ranges of
// every data channel from its blocks and from its values.
#include <cstdint>
#include <string>

#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "pellor/file_import.h"
#include "pellor/host_type.h"
#include "pellor/loader.h"
#include "pellor/ranges.h"
#include "pellor/time_repair.h"
#include "platform/win32/file.h"
#include "tests/support/fuzz_input.h"

namespace {

// Chunks of one record cost a hand-over each: groups of more records than
// this are left out, so that one input stays quick.
constexpr uint64_t kMaxRecords = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = testsupport::WriteFuzzInput("fuzz_loader", ".mdf", data, size);
  pellor::FileImport import;
  import.m_params.SetMemoryLimit(16u << 20);
  mdf::CMdf file;
  file.SetShowMessages(false);
  file.SetReaderVersion(pellor::FileImport::kVersion);
  if (!file.Open(path)) return 0;
  winport::File stream;
  if (!stream.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) return 0;
  pellor::DataGroupLoader loader(import, file, stream);
  loader.Settings().chunkRecords = 1;
  loader.Settings().rule = {1.01, 0.99, 0};

  int group = 0;
  for (mdf::CDGBlock* dg = file.GetFirstDG(); dg; dg = dg->GetNext()) {
    mdf::CCGBlock* cg = dg->GetFirstCG();
    const mdf::CDataBlock* block = dg->GetDataBlock();
    if (!cg || !cg->GetFirstCN()) continue;
    const uint32_t length = block ? block->GetRecordLength() : 0;
    if (length != 0 && std::min<uint64_t>(cg->GetNumberOfRecords(), size / length) > kMaxRecords) continue;

    pellor::SignalRecord time;
    time.NoOfValues = cg->GetNumberOfRecords();
    mdf::TimeInfoRecord record;
    int32_t errors = 0;
    uint32_t first = 0;
    const int flags = loader.ReadDataGroup(*dg, time, ++group, record, nullptr, errors, first);
    testsupport::FuzzCheck(flags >= 0 && flags <= 3);
    testsupport::FuzzCheck(errors >= 0);
    if (flags & pellor::kGroupTimeErrors) pellor::CheckTimeChannel(*cg->GetFirstCN(), time);
    import.FreeCache(time);

    for (mdf::CCNBlock* cn = cg->GetFirstCN()->GetNext(); cn; cn = cn->GetNext()) {
      pellor::SignalRecord signal;
      const pellor::HostType type = pellor::SelectHostType(*cn, false);
      signal.channel = cn;
      signal.DTyp = type.DTyp;
      signal.Demux = type.bytes;
      signal.NoOfValues = cg->GetNumberOfRecords();
      signal.NoValue = type.noValue;
      signal.HasNoValue = 1;
      pellor::ComputeSignalRange(*cn, signal, loader.Settings(), file);
      loader.FindMinMax(*cn, signal, cg->GetFirstCN(), *dg, nullptr);
      pellor::WidenRange(signal, *cn, signal.YMin, signal.YMax, loader.Settings());
      import.FreeCache(signal);
    }
  }
  return 0;
}
