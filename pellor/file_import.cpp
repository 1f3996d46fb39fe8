#include "pellor/file_import.h"

#include <algorithm>
#include <cstring>

#include "importcore/support.h"
#include "mdf/composition.h"
#include "mdf/mdf.h"
#include "pellor/options.h"

namespace pellor {
namespace {

ImportDriver g_driver = &ImportMDF;

// Set by the application object while the module's statics are made: a
// function's static is made at its first use, whatever the order of the files.
std::string& ModulePathStore() {
  static std::string path;
  return path;
}

// The position space of the contract is 32 bits wide.
constexpr uint64_t kPositionMask = 0xFFFFFFFFull;

}  // namespace

ImportDriver SetImportDriver(ImportDriver driver) {
  const ImportDriver before = g_driver;
  g_driver = driver ? driver : &ImportMDF;
  return before;
}

void SetModuleFilePath(const std::string& path) { ModulePathStore() = path; }
const std::string& ModuleFilePath() { return ModulePathStore(); }

// ---------------------------------------------------------------- position index

void PositionIndex::Build(const SignalList& signals) {
  ranges_.clear();
  for (SignalRecord& r : signals)
    if (r.rangeStart < r.rangeEnd) ranges_.push_back({r.rangeStart, r.rangeEnd, &r});
  disjoint_ = true;
  for (size_t i = 1; i < ranges_.size() && disjoint_; ++i)
    disjoint_ = ranges_[i].start >= ranges_[i - 1].end;
  if (disjoint_) return;
  // Out of list order, or overlapping: sorted by start unless two overlap,
  // in which case the first in list order must win and a walk decides.
  std::vector<Range> sorted = ranges_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
  bool overlap = false;
  for (size_t i = 1; i < sorted.size() && !overlap; ++i) overlap = sorted[i].start < sorted[i - 1].end;
  if (!overlap) {
    ranges_ = std::move(sorted);
    disjoint_ = true;
  }
}

SignalRecord* PositionIndex::Find(uint64_t position) const {
  if (!disjoint_) {
    for (const Range& r : ranges_)
      if (r.start <= position && position < r.end) return r.record;
    return nullptr;
  }
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), position,
                             [](uint64_t p, const Range& r) { return p < r.start; });
  if (it == ranges_.begin()) return nullptr;
  --it;
  return position < it->end ? it->record : nullptr;
}

// ---------------------------------------------------------------- life

FileImport::FileImport() : m_lists(std::make_shared<ImportLists>()) {}

FileImport::~FileImport() { ReleaseFile(); }

HRESULT FileImport::ImportFile(const std::string& path, const std::string& user) {
  if (HasImport() || !m_lists->signals.Empty() || !m_lists->scalars.Empty()) ReleaseFile();
  m_path = path;
  ClearWarnings();
  if (m_parametersSet)
    UnpackNameList();
  else
    LoadOptions(OptionsFilePath(ModuleFilePath()), m_params, m_ignoreList);
  int ok = 0;
  try {
    ok = g_driver(*this, path, user);
  } catch (...) {
    WriteVariable("ERRNO", "1");
    ok = 0;
  }
  if (!ok) {
    ReleaseFile();  // an import that did not finish is no empty file
    return E_FAIL;
  }
  m_indexValid = false;
  if (m_params.Int(ParameterBlock::kLockFile) != 0)
    m_lockFile.Open(path, winport::FileAccess::Read, winport::FileShare::Read);
  return S_OK;
}

void FileImport::ReleaseFile() {
  m_lockFile.Close();
  FreeWarningText();
  m_mdf.reset();
  m_openCount = 0;
  m_position = 0;
  // Signal and scalar objects hold the lists weakly: they find nothing from now on.
  m_lists = std::make_shared<ImportLists>();
  m_index = PositionIndex();
  m_indexValid = false;
  m_scannedTimeChannels.clear();
  m_ignoreList.clear();
  for (CommentSlot& slot : m_comments) slot = CommentSlot();
  m_commentCount = 0;
  m_memoryValues = std::vector<uint8_t>();
  m_scratch = std::vector<double>();
  m_timeScratch = std::vector<double>();
  m_sampleBytes = std::vector<uint8_t>();
  m_cachedBytes = 0;
  m_nSignals = m_nScalars = 0;
  m_dataSize = 0;
  m_blockCounter = 0;
  m_fileDate = 0;
  m_startFraction = 0;
  m_name.clear();
  m_path.clear();
  m_inMemory = m_kestravo = m_compose = false;
}

void FileImport::SetHostVersion(int32_t version) {
  m_hostVersion = version;
  importcore::SelectVariablesKey(version);
}

HRESULT FileImport::PutParameters(const uint8_t* host) {
  if (!host) return E_POINTER;
  if (!m_params.CopyFromHost(host)) return E_INVALIDARG;
  UnpackNameList();
  m_parametersSet = true;
  return S_OK;
}

int32_t FileImport::IsValid(const std::string& path) const {
  winport::File file;
  if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) return 0;
  char id[9] = {};
  if (file.Read(id, sizeof id) < 8) return 0;
  id[8] = '\0';
  return importcore::EqualNoCase(id, "MDF     ") ? 1 : 0;
}

// ---------------------------------------------------------------- comments and names

void FileImport::MakeComment(const std::string& value, int slot, const std::string& name) {
  std::string text = value;
  importcore::TrimRight(text);
  SetComment(slot, importcore::CopyTextN(text, 32), name);
}

void FileImport::SetComment(int slot, const std::string& value, const std::string& name) {
  if (slot < 1 || slot > kCommentSlots) return;
  m_comments[static_cast<size_t>(slot)] = CommentSlot{value, name};
}

std::optional<std::string> FileImport::FileComment(int32_t index) const {
  if (index == 0) return std::string();
  if (index < 1 || index > kHostCommentSlots) return std::nullopt;
  const CommentSlot& slot = m_comments[static_cast<size_t>(index)];
  if (slot.value.empty()) return std::nullopt;
  return slot.value;
}

std::optional<std::string> FileImport::CommentName(int32_t index) const {
  if (index < 1 || index > kHostCommentSlots) return std::nullopt;
  const CommentSlot& slot = m_comments[static_cast<size_t>(index)];
  if (slot.value.empty() && slot.name.empty()) return std::nullopt;
  return slot.name;
}

bool FileImport::IsIgnoredName(const std::string& name) const {
  for (const std::string& entry : m_ignoreList)
    if (name.compare(0, entry.size(), entry) == 0) return true;
  return false;
}

bool FileImport::IsSignalToLoad(const std::string& name) const {
  for (const std::string& entry : m_loadList)
    if (name.compare(0, entry.size(), entry) == 0) return true;
  return false;
}

void FileImport::PackNameList() { m_params.PackNames(m_ignoreList); }

void FileImport::UnpackNameList() { m_ignoreList = m_params.UnpackNames(); }

// ---------------------------------------------------------------- streaming

HRESULT FileImport::Open() {
  if (!HasImport()) return E_FAIL;
  m_position = 0;
  if (!m_inMemory && m_openCount == 0 && !m_mdf->OpenForReading()) return E_FAIL;
  ++m_openCount;
  return S_OK;
}

void FileImport::Close() {
  if (m_openCount == 0) return;
  --m_openCount;
  m_position = 0;
  if (!m_inMemory && m_openCount == 0 && m_mdf) m_mdf->CloseFile();
}

void FileImport::Seek(int32_t position, int32_t origin) {
  const uint64_t step = static_cast<uint32_t>(position);
  switch (origin) {
    case 0: m_position = step; break;
    case 1: m_position = (m_position + step) & kPositionMask; break;  // a negative step moves back
    case 2: m_position = (m_dataSize - step) & kPositionMask; break;
    default: break;
  }
}

SignalRecord* FileImport::Locate(uint64_t& bytes) {
  bytes = m_position < m_dataSize ? std::min(bytes, m_dataSize - m_position) : 0;
  if (bytes == 0) return nullptr;
  if (!m_indexValid) {
    m_index.Build(m_lists->signals);
    m_indexValid = true;
  }
  SignalRecord* record = m_index.Find(m_position);
  if (record) bytes = std::min(bytes, record->rangeEnd - m_position);
  return record;
}

void FileImport::ReadInMemory(uint8_t* buffer, uint64_t bytes) {
  m_position = std::min(m_position, m_dataSize);
  bytes = std::min(bytes, m_dataSize - m_position);
  const uint64_t from = m_position & ~uint64_t{3};
  const uint64_t have = from < m_memoryValues.size() ? m_memoryValues.size() - from : 0;
  std::memcpy(buffer, m_memoryValues.data() + from, std::min(bytes, have));
  m_position += bytes;
}

void FileImport::ReadComposed(const SignalRecord& record, uint64_t offset, uint64_t bytes, uint8_t* buffer) const {
  const mdf::CDataComposition* composition = m_mdf ? m_mdf->GetDataComposition() : nullptr;
  if (!composition || record.composedIndex < 0) return;
  const std::vector<double>& values = composition->GetComposedData();
  const uint64_t total = values.size() * sizeof(double);
  const uint64_t from = static_cast<uint64_t>(record.composedIndex) * 8 + (offset & ~uint64_t{7});
  if (from >= total) return;
  std::memcpy(buffer, reinterpret_cast<const uint8_t*>(values.data()) + from, std::min(bytes, total - from));
}

bool FileImport::Read(uint8_t* buffer, uint32_t bytes) {
  if (m_inMemory) {
    ReadInMemory(buffer, bytes);
    return true;
  }
  uint64_t n = bytes;
  SignalRecord* record = Locate(n);
  if (record) {
    const uint64_t offset = m_position - record->rangeStart;
    if (Composed())
      ReadComposed(*record, offset, n, buffer);
    else if (!ReadSignalBytes(*record, offset, n, buffer))
      return false;
  }
  m_position += n;
  return true;
}

bool FileImport::ReadEx(uint8_t* buffer, uint32_t bytes, uint8_t* timeBuffer, uint32_t timeBytes) {
  if (m_inMemory || Composed() || timeBytes == 0 || !timeBuffer) return Read(buffer, bytes);
  uint64_t n = bytes;
  SignalRecord* record = Locate(n);
  if (record) {
    const uint64_t offset = m_position - record->rangeStart;
    if (!ReadSignalBytes(*record, offset, n, buffer)) return false;
    SignalRecord* time = record->timeRecord;
    const uint32_t demux = static_cast<uint32_t>(record->Demux);
    if (time && demux > 0) {
      // As many times as values were delivered, as the time buffer holds and as the time signal has.
      const uint64_t first = offset / demux;
      const uint64_t left = first < time->NoOfValues ? time->NoOfValues - first : 0;
      const uint64_t count = std::min({n / demux, uint64_t{timeBytes} / 8, left});
      if (!ReadTimes(*time, static_cast<uint32_t>(first), static_cast<uint32_t>(count), timeBuffer)) return false;
    }
  }
  m_position += n;
  return true;
}

}  // namespace pellor
