// The data-group loader: what the file tells (the range-valid marker of the
// time channel, the time-information cache), and what is stored afterwards.
// The reading of the records is in loader_read.cpp.
#include "pellor/loader.h"

#include <algorithm>
#include <new>
#include <tuple>

#include "importcore/support.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "pellor/file_import.h"
#include "pellor/loader_internal.h"
#include "pellor/options.h"
#include "pellor/progress.h"
#include "platform/win32/file.h"
#include "platform/win32/system.h"

namespace pellor {

using mdf::CCNBlock;
using mdf::TimeInfoRecord;

// ---------------------------------------------------------------- group buffer

bool GroupBuffer::Ensure(uint64_t bytes) {
  if (m_bytes.size() >= bytes && !m_bytes.empty()) return true;
  Free();
  if (bytes == 0) return true;
  try {
    m_bytes = mdf::ValueArray<uint8_t>(static_cast<size_t>(bytes));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void GroupBuffer::Free() {
  m_bytes = mdf::ValueArray<uint8_t>();
  Hold(nullptr, 0);
}

void GroupBuffer::Hold(const mdf::CDGBlock* group, uint32_t records) {
  m_held = group;
  m_heldRecords = group ? records : 0;
}

// ---------------------------------------------------------------- reading

uint64_t ReadBlock(winport::File& file, uint8_t* buffer, uint64_t n, ProgressRecord* progress) {
  constexpr uint64_t kAtOnce = 1000, kPieces = 50;
  if (n <= kAtOnce) return file.Read(buffer, static_cast<size_t>(n));
  if (progress) {
    ProgressSetSignal(static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX)), "Reading...", *progress);
    importcore::PumpMessages();
  }
  const uint64_t piece = n / kPieces;
  uint64_t done = 0;
  for (uint64_t k = 0; k <= kPieces && done < n; ++k) {
    const uint64_t want = k < kPieces ? piece : n % kPieces;
    if (want == 0) break;
    const uint64_t got = file.Read(buffer + done, static_cast<size_t>(want));
    if (progress) ProgressStep(static_cast<uint32_t>(std::min<uint64_t>(done, UINT32_MAX)), *progress, true);
    done += got;
    if (got < want) break;
  }
  return done;
}

// ---------------------------------------------------------------- the loader

namespace {

uint16_t MarkerOf(uint16_t w) { return static_cast<uint16_t>(w >> 4); }
constexpr uint16_t kOwnMarker = 0xAAB, kOldMarker = 0xAAA;

}  // namespace

void ClearTimeNoValue(CCNBlock& cn, SignalRecord& time) {
  cn.ClearNoValue();
  time.HasNoValue = 0;
  time.NoValue = 0;
}

std::pair<double, double> ConvertedRange(const mdf::CCCBlock* cc, double lo, double hi) {
  lo = mdf::ApplyConversion(cc, lo);
  hi = mdf::ApplyConversion(cc, hi);
  if (lo > hi) std::swap(lo, hi);
  return {lo, hi};
}

DataGroupLoader::DataGroupLoader(FileImport& import, mdf::CMdf& mdf, winport::File& file)
    : m_import(import), m_mdf(mdf), m_file(file) {
  const ParameterBlock& p = import.m_params;
  // Nothing is written into a file whose data area is short.
  m_settings.writeRange = p.Int(ParameterBlock::kWriteRange) != 0 && !mdf.HasShortDataArea();
  m_settings.rangeFlags = p.Int(ParameterBlock::kRangeFlags);
  m_settings.fillRange = p.Int(ParameterBlock::kFillRange) != 0;
  m_settings.compose = import.m_compose;
  m_settings.rule = {p.Double(ParameterBlock::kXMaxFactor), p.Double(ParameterBlock::kXMinFactor),
                     p.Int(ParameterBlock::kResetTime)};
  m_settings.memoryLimit = p.MemoryLimit();

  // The cache keys, and the conversion blocks that several channels share.
  std::map<uint32_t, int> uses;
  int32_t key = 0;
  for (const mdf::CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext())
    for (const mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      if (cg->GetNumberOfRecords() > 0) m_keys[cg] = key++;
      for (const CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext())
        if (cn->GetConversionLink() != 0) ++uses[cn->GetConversionLink()];
    }
  for (const auto& [link, count] : uses)
    if (count > 1) m_sharedConversions.insert(link);
}

DataGroupLoader::~DataGroupLoader() = default;

int32_t DataGroupLoader::TimeInfoKey(const mdf::CCGBlock* cg) const {
  const auto it = m_keys.find(cg);
  return it == m_keys.end() ? -1 : it->second;
}

bool DataGroupLoader::IsSharedConversion(const CCNBlock& cn) const {
  return cn.GetConversionLink() != 0 && m_sharedConversions.count(cn.GetConversionLink()) != 0;
}

uint32_t DataGroupLoader::RecordsOf(const mdf::CDGBlock& group) const {
  // The whole records of the group's data area as the file model was read:
  // should the file shrink later, the reads come short and say so.
  const mdf::CDataBlock* data = group.GetDataBlock();
  return data ? data->GetRecordsInFile() : 0;
}

uint32_t DataGroupLoader::ChunkRecords(uint32_t records, uint32_t recordLength) const {
  uint64_t cap = m_settings.chunkRecords;
  if (cap == 0) {
    MEMORYSTATUS status{};
    GlobalMemoryStatus(&status);
    cap = std::min<uint64_t>(status.dwAvailPhys, kChunkByteLimit) / std::max<uint32_t>(recordLength, 1);
  }
  return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(records, cap)));
}

bool DataGroupLoader::WriteRange(CCNBlock& cn, bool withConversion) {
  ++m_report.writes;
  return cn.WriteRangeToFile(m_mdf.GetPath(), withConversion && !IsSharedConversion(cn)) != 0;
}

void DataGroupLoader::ShowShortRead() const { ReportIncompleteRead(m_mdf.GetShowMessages()); }

int DataGroupLoader::ReadDataGroup(mdf::CDGBlock& group, SignalRecord& time, int groupNumber,
                                   TimeInfoRecord& record, ProgressRecord* progress, int32_t& errorCount,
                                   uint32_t& firstError, std::span<SignalRecord* const> caches) {
  errorCount = 0;
  firstError = 0;
  m_report = LoadReport();
  mdf::CCGBlock* cg = group.GetFirstCG();
  CCNBlock* cn = cg ? cg->GetFirstCN() : nullptr;
  const int32_t key = TimeInfoKey(cg);
  record = TimeInfoRecord();
  record.SetKey(key);
  if (!cn) return 0;
  Trace(mdf::StrFormat("Zeitsignal Gruppe %d:\n", groupNumber));

  mdf::CCCBlock* cc = cn->GetConversion();
  const uint32_t values = time.NoOfValues;
  const bool cacheValid = m_mdf.IsTimeInfoValid();
  const EquidistanceRule& rule = m_settings.rule;

  // Step A: facts from the channel block.
  uint16_t w = cn->IsRangeValid();
  if (MarkerOf(w) == kOldMarker || !cacheValid) {
    m_forceReading = true;
    Trace("  wRange alt\n");
  }
  const bool ignoreStored = (m_settings.rangeFlags & ParameterBlock::kRangeOverwrite) != 0 || m_forceReading;
  bool usable = (MarkerOf(w) == kOldMarker || MarkerOf(w) == kOwnMarker || w == 1) && !ignoreStored;
  bool differs = false;
  // A conversion that several channels share never receives a range, so it cannot confirm one.
  if (usable && (w & 2) && !(w & 4) && cc && !IsSharedConversion(*cn)) {
    const auto [lo, hi] = ConvertedRange(cc, cn->GetMinRaw(), cn->GetMaxRaw());
    if (lo != cc->GetMinPhys() || hi != cc->GetMaxPhys()) usable = false, differs = true;
  }

  TimeInfoRecord stored;
  bool storedFound = false;
  if (usable) {
    Trace(mdf::Ansi("  wRange gültig: "));
    if ((w & 1) && !(w & 4)) {
      if (!(w & 8)) ClearTimeNoValue(*cn, time);
      double min = cn->GetMinRaw(), max = cn->GetMaxRaw();
      cn->SetRunningRaw(min, max);
      if (cc) std::tie(min, max) = ConvertedRange(cc, min, max);
      cn->SetRunningPhys(min, max);
      record.SetMin(min);
      record.SetMax(max);
      record.SetFac(values >= 2 ? (max - min) / (values - 1) : 1.0);
    }
    record.SetOfs(record.Min());
    record.SetUnit(cc ? cc->GetUnit() : std::string());
    record.SetMinD(record.Fac());
    record.SetMaxD(record.Fac());
    record.SetFlags(1);
    // The cache settles the group only when it has a record for it without
    // time errors; otherwise the records are read, so that a repair has the values.
    if (m_mdf.ReadTimeInfo(stored, key)) {
      storedFound = true;
      Trace("Lese descriptor - ");
      if (rule.resetTime == 2) {
        Trace(mdf::Ansi("äquidistant.\n"));
        return kGroupEquidistant;
      }
      if (stored.Flags() & TimeInfoRecord::kTimeErrors) {
        Trace("fehlerhaftes Zeitsignal.\n");
      } else if (IsEquidistant(stored.Fac(), stored.MinD(), stored.MaxD(), rule)) {
        Trace(mdf::Ansi("äquidistant.\n"));
        return kGroupEquidistant;
      } else {
        Trace(mdf::Ansi("nicht äquidistant.\n"));
        if (values >= 2) stored.SetFac((stored.Max() - stored.Min()) / (values - 1));
        record = stored;
        return 0;
      }
    }
  }

  // Step B: facts from the group's record in the cache.
  int flags = 0;
  bool readRecords = true;
  if (!usable && !ignoreStored && !differs && cacheValid && m_mdf.ReadTimeInfo(stored, key)) {
    storedFound = true;
    record = stored;
    if (stored.Flags() & TimeInfoRecord::kTimeErrors) flags |= kGroupTimeErrors;
    if (IsEquidistant(stored.Fac(), stored.MinD(), stored.MaxD(), rule)) flags |= kGroupEquidistant;
    w = 0xAAB0;
    if (!(flags & kGroupTimeErrors)) {
      readRecords = false;
      Trace(mdf::Ansi("äquidistant.\n"));
    }
  }

  // Steps C and D: reading.
  Outcome out;
  if (readRecords) {
    Trace("Daten lesen");
    m_report.readRecords = true;
    std::vector<CCNBlock*> channels;
    for (CCNBlock* data = cn->GetNext(); data; data = data->GetNext()) channels.push_back(data);
    if (!ReadRecords(group, cn, &time, std::move(channels), progress, caches, out)) return 0;
    flags = out.flags;
    record.SetFac(out.axis.fac);
    record.SetMin(out.axis.min);
    record.SetOfs(out.axis.min);
    record.SetMax(out.axis.max);
    record.SetMinD(out.axis.minD);
    record.SetMaxD(out.axis.maxD);
    record.SetUnit(cc ? cc->GetUnit() : std::string());
    errorCount = out.errors;
    firstError = out.firstError;
    Trace(flags & kGroupEquidistant ? mdf::Ansi("  Zeitsignal ist äquidistant.\n")
                                    : mdf::Ansi("  Zeitsignal ist nicht äquidistant.\n"));
  }

  // Step E: storing.
  const bool changed = flags != stored.Flags() || !cacheValid;
  record.SetFlags(flags);
  bool descriptorStored = storedFound && !changed;
  if (m_settings.writeRange) {
    if (changed && storedFound) {
      Trace("Korrigiere Zeit-Info!\n");
      descriptorStored = m_mdf.CorrectTimeInfo(record, key) != 0;
    }
    if (!storedFound) {
      Trace("Schreibe PR-Block!\n");
      descriptorStored = m_mdf.WriteTimeInfo(record) != 0;
    }
  }
  m_report.descriptorStored = descriptorStored;

  // The time channel's marker goes into the file only once its record is in
  // the cache, and only with a range that was measured.
  if (!m_settings.writeRange) {
    Trace("Range ausschreiben:  nein. Schreiben nicht erlaubt!\n");
  } else if ((w & 0xFF00) != 0 && !changed) {
    Trace(mdf::Ansi("Range ausschreiben:  nein. Widersprüchliche Infos in altem PR-Block!\n"));
  } else if (readRecords && descriptorStored) {
    Trace("Range ausschreiben: ja\n");
    uint16_t marker = 0xAAB1;
    if (flags & kGroupEquidistant) marker |= 2;
    if (flags & kGroupTimeErrors) marker |= 4;
    if (cn->IsNoValueSet()) marker |= 8;
    cn->SetRangeValid(marker);
    cn->SetMinRaw(cn->GetRunningMinRaw());
    cn->SetMaxRaw(cn->GetRunningMaxRaw());
    cn->SetSamplingRate(record.Fac());
    WriteRange(*cn, true);
  }
  return flags;
}

bool DataGroupLoader::MeasureGroup(mdf::CDGBlock& group, const CCNBlock* leftOut, ProgressRecord* progress,
                                   std::span<SignalRecord* const> caches) {
  m_report = LoadReport();
  mdf::CCGBlock* cg = group.GetFirstCG();
  if (!cg) return false;
  std::vector<CCNBlock*> channels;
  bool stored = (m_settings.rangeFlags & ParameterBlock::kRangeOverwrite) == 0;
  for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext())
    if (cn != leftOut) {
      channels.push_back(cn);
      stored = stored && MarkerOf(cn->IsRangeValid()) == kOwnMarker;
    }
  // Ranges this program measured and stored settle the group.
  if (stored) return true;
  Trace("Daten lesen");
  m_report.readRecords = true;
  Outcome out;
  return ReadRecords(group, nullptr, nullptr, std::move(channels), progress, caches, out);
}

}  // namespace pellor
