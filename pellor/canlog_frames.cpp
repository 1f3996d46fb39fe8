// Reading the frames of a CAN-frame log into the frame table, chunk by chunk,
// and counting the frames of each (CAN channel, id) pair.
#include <algorithm>
#include <new>
#include <optional>

#include "importcore/support.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "pellor/canlog.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "pellor/progress.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"

namespace pellor {
namespace {

// The channels of a CAN-frame log, in chain order.
enum LogChannel { kType, kCan, kId, kDir, kRtr, kDlc, kMsg0, kMsg7 = kMsg0 + 7, kMsgTime, kLogChannels };

// The writer whose logs store msgTime in units ten times too large.
constexpr const char* kNuvestoWriter = "Nuvesto4";

// A number of the log as the frame table keeps it: truncated to 64 bits, of
// which the low 32 count; what no 64-bit integer holds (NaN, huge) reads as 0.
int32_t Low32(double value) {
  if (!(value > -9.2e18 && value < 9.2e18)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(value)));
}

struct LinearConversion {
  double offset = 0, factor = 1;
};

// The times of a Nuvesto4 log with a linear msgTime conversion are scaled by a
// further 0.1: the conversion the import applies itself, in place of the
// file model's, which stays as the file has it.
std::optional<LinearConversion> NuvestoTimeConversion(const mdf::CMdf& mdf, const mdf::CCNBlock& msgTime) {
  const mdf::CIDBlock* id = mdf.GetIDBlock();
  const mdf::CCCBlock* cc = msgTime.GetConversion();
  if (!id || id->GetProgramId() != kNuvestoWriter || !cc || cc->GetType() != 0 || cc->GetSize() != 2)
    return std::nullopt;
  return LinearConversion{cc->GetParams()[0], cc->GetParams()[1] * 0.1};
}

// Writes the decoded values of each log channel into the frames they belong to.
class FrameSink : public mdf::CGroupDecoder::Sink {
 public:
  // `roles`: the log channel of each channel the decoder was made with;
  // `time`: applied to msgTime's values.
  FrameSink(std::span<const LogChannel> roles, LinearConversion time) : m_roles(roles), m_time(time) {}
  void SetFrames(CanLogImport::Frame* frames) { m_frames = frames; }

  void Values(size_t channel, uint32_t first, std::span<const double> values) override {
    CanLogImport::Frame* f = m_frames + first;
    const LogChannel role = m_roles[channel];
    switch (role) {
      case kCan:
        for (size_t i = 0; i < values.size(); ++i) f[i].channel = Low32(values[i]);
        break;
      case kId:
        for (size_t i = 0; i < values.size(); ++i) f[i].id = Low32(values[i]);
        break;
      case kDlc:
        for (size_t i = 0; i < values.size(); ++i) f[i].dlc = Low32(values[i]);
        break;
      case kMsgTime:
        for (size_t i = 0; i < values.size(); ++i) f[i].time = m_time.offset + m_time.factor * values[i];
        break;
      default:
        for (size_t i = 0; i < values.size(); ++i) f[i].data[role - kMsg0] = static_cast<uint8_t>(Low32(values[i]));
        break;
    }
  }

 private:
  std::span<const LogChannel> m_roles;
  LinearConversion m_time;
  CanLogImport::Frame* m_frames = nullptr;
};

}  // namespace

bool CanLogImport::ReadCanFrames(winport::File& file) {
  mdf::CDGBlock* dg = m_import.m_mdf ? m_import.m_mdf->GetFirstDG() : nullptr;
  mdf::CCGBlock* cg = dg ? dg->GetFirstCG() : nullptr;
  mdf::CDataBlock* data = dg ? dg->GetDataBlock() : nullptr;
  if (!cg || !data) return false;
  std::array<mdf::CCNBlock*, kLogChannels> channels{};
  mdf::CCNBlock* cn = cg->GetFirstCN();
  for (size_t j = 0; j < channels.size(); ++j, cn = cn->GetNext())
    if (!(channels[j] = cn)) return false;

  // Only the records that lie whole in the group's data area and the file are read.
  const uint64_t length = data->GetRecordLength();
  const int64_t size = file.Size();
  const uint64_t at = dg->GetDataLink();
  const uint64_t inFile = length > 0 && size > 0 && static_cast<uint64_t>(size) > at
                              ? (static_cast<uint64_t>(size) - at) / length
                              : 0;
  const uint64_t n = std::min<uint64_t>(data->GetRecordsInFile(), inFile);
  const uint64_t chunk = std::min<uint64_t>(n, kChunkRecords);
  std::vector<uint8_t> buffer;
  try {
    m_frames.assign(n, Frame());
    buffer.resize(chunk * length);
  } catch (const std::bad_alloc&) {
    m_frames = std::vector<Frame>();
    ReportError(kCanOutOfMemory);
    return false;
  }
  m_idCounts.fill(0);

  // The channels are decoded with their conversions, except msgTime where the
  // import converts it itself.
  const std::optional<LinearConversion> ownTime = NuvestoTimeConversion(*m_import.m_mdf, *channels[kMsgTime]);
  std::vector<mdf::CCNBlock*> converted, raw;
  std::vector<LogChannel> convertedRoles, rawRoles;
  for (int j = 0; j < kLogChannels; ++j) {
    if (j == kType || j == kDir || j == kRtr) continue;
    const bool own = j == kMsgTime && ownTime;
    (own ? raw : converted).push_back(channels[static_cast<size_t>(j)]);
    (own ? rawRoles : convertedRoles).push_back(static_cast<LogChannel>(j));
  }
  mdf::CGroupDecoder decoder(*data, converted);
  mdf::CGroupDecoder rawDecoder(*data, raw, {.convert = false});
  FrameSink sink(convertedRoles, LinearConversion()), rawSink(rawRoles, ownTime.value_or(LinearConversion()));

  const uint64_t chunks = chunk ? (n + chunk - 1) / chunk : 0;
  ProgressRecord progress;
  if (chunks > 1) {
    SetProgressAborted(false);
    ProgressOpen(static_cast<int32_t>(std::min<uint64_t>(chunks, INT32_MAX)), "(e)  lesen ...", progress,
                 FileImport::kVersion);
    importcore::PumpMessages();
  }
  uint64_t done = 0;
  if (n > 0 && file.Seek(static_cast<int64_t>(at))) {
    for (uint64_t c = 0; done < n; ++c) {
      if (chunks > 1) ProgressStep(static_cast<uint32_t>(c + 1), progress, false);
      const uint64_t want = std::min(chunk, n - done);
      const uint64_t got = file.Read(buffer.data(), want * length) / length;
      const std::span<const uint8_t> records(buffer.data(), got * length);
      const uint32_t firstRecord = static_cast<uint32_t>(done);
      sink.SetFrames(m_frames.data() + done);
      rawSink.SetFrames(m_frames.data() + done);
      decoder.Decode(records, sink, 0, static_cast<uint32_t>(got), firstRecord);
      if (!raw.empty()) rawDecoder.Decode(records, rawSink, 0, static_cast<uint32_t>(got), firstRecord);
      CountChunk(done, got);
      done += got;
      if (got < want) break;  // a short read keeps what came
    }
  }
  m_frames.resize(done);
  m_frameCount = done;
  if (chunks > 1) ProgressClose(progress);
  if (m_ignoredFrames > 0)
    AddWarning(0, winport::Utf8ToAnsi(mdf::StrFormat("%llu CAN-Telegramme mit einer Kanalnummer außerhalb 0-99 "
                                                     "wurden übergangen.",
                                                     static_cast<unsigned long long>(m_ignoredFrames))));
  return true;
}

void CanLogImport::CountChunk(size_t first, size_t count) {
  uint64_t lastKey = UINT64_MAX;
  uint32_t lastPair = kNoPair;
  for (Frame& f : std::span(m_frames).subspan(first, count)) {
    f.id = CanonicalCanId(f.id);
    if (f.channel < 0 || f.channel >= kCanChannels) {
      f.pair = kNoPair;
      ++m_ignoredFrames;
      continue;
    }
    const uint64_t key = uint64_t{static_cast<uint32_t>(f.channel)} << 32 | static_cast<uint32_t>(f.id);
    if (key != lastKey) {
      const auto [it, added] = m_pairOfKey.try_emplace(key, static_cast<uint32_t>(m_pairs.size()));
      if (added) {
        m_pairs.push_back(Pair{f.channel, f.id, 0});
        ++m_idCounts[static_cast<size_t>(f.channel)];
      }
      lastKey = key;
      lastPair = it->second;
    }
    f.pair = lastPair;
    ++m_pairs[lastPair].frames;
  }
}

}  // namespace pellor
