// The data-group loader's reading of the records: chunks of records in one
// buffer of two halves, a read worker that fills the next half while the
// process worker decodes every data channel of the current one in a single
// pass (reducing the ranges on the fly and filling value caches) and the
// calling thread scans the time channel. Six auto-reset events, made per
// call, order the hand-over: go, quit and done for each worker.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <optional>
#include <tuple>
#include <vector>

#include "importcore/host_types.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "pellor/file_import.h"
#include "pellor/loader_internal.h"
#include "pellor/progress.h"
#include "platform/win32/file.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"

namespace pellor {
namespace {

using mdf::CCNBlock;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Processor time of the calling thread, seconds.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool IsFloatType(uint16_t type) {
  switch (type) {
    case 2: case 3: case 11: case 12: case 15: case 16: return true;
    default: return false;
  }
}

// ---------------------------------------------------------------- data channels

// How a value cache holds a channel's values, as Read makes it: the stored
// elements, raw doubles, or raw doubles stored in the signal's DTyp.
enum class CacheForm { Raw, Doubles, Samples };

struct CacheFill {
  SignalRecord* record = nullptr;
  CacheForm form = CacheForm::Raw;
  uint32_t element = 0;   // bytes of one value
  uint64_t capacity = 0;  // values the cache holds
  uint64_t written = 0;   // values written from its start
};

// The running range of one data channel over the chunks.
struct Range {
  double min = kInfinity, max = -kInfinity;
  bool set = false;
  bool sawNoValue = false;
  bool hasNoValue = false;
  bool qnan = false;     // the NoValue was given as "1.#QNAN"
  bool floats = false;   // its raw values may be infinite or not a number
  double noValue = 0;    // among the raw values
};

// Min and max of values that are all numbers and never -0.0 (decoded
// integers), so that the order in which they are compared does not matter:
// four at a time.
void ReducePlain(Range& r, std::span<const double> v) {
  double min[4] = {r.min, r.min, r.min, r.min}, max[4] = {r.max, r.max, r.max, r.max};
  const size_t n = v.size(), whole = n & ~size_t{3};
  const double* x = v.data();
  for (size_t i = 0; i < whole; i += 4)
    for (size_t k = 0; k < 4; ++k) {
      min[k] = x[i + k] < min[k] ? x[i + k] : min[k];
      max[k] = x[i + k] > max[k] ? x[i + k] : max[k];
    }
  for (size_t i = whole; i < n; ++i) {
    min[0] = x[i] < min[0] ? x[i] : min[0];
    max[0] = x[i] > max[0] ? x[i] : max[0];
  }
  r.min = std::min({min[0], min[1], min[2], min[3]});
  r.max = std::max({max[0], max[1], max[2], max[3]});
  r.set = r.set || n > 0;
}

// Values that are not finite are left out; with a NoValue they, and the
// NoValue samples, count as NoValue seen.
template <bool WithNoValue>
void ReduceChecked(Range& r, std::span<const double> v) {
  double min = r.min, max = r.max;
  bool any = false, seen = false;
  for (double x : v) {
    if constexpr (WithNoValue) {
      if (r.qnan && IsQNaNPattern(x)) x = mdf::CCNBlock::kDefaultNoValue;
      if (!std::isfinite(x) || x == r.noValue) {
        seen = true;
        continue;
      }
    } else if (!std::isfinite(x)) {
      continue;
    }
    any = true;
    min = x < min ? x : min;
    max = x > max ? x : max;
  }
  r.min = min;
  r.max = max;
  r.set = r.set || any;
  r.sawNoValue = r.sawNoValue || seen;
}

// Decodes the data channels of a group chunk by chunk, in one pass over the
// records for all of them, reducing their ranges and filling value caches.
class DataPass final : public mdf::CGroupDecoder::Sink {
 public:
  DataPass(const mdf::CDataBlock* data, std::vector<CCNBlock*> channels)
      : m_data(data), m_channels(std::move(channels)), m_ranges(m_channels.size()), m_caches(m_channels.size()) {
    for (size_t k = 0; k < m_channels.size(); ++k) {
      const CCNBlock& cn = *m_channels[k];
      Range& r = m_ranges[k];
      r.hasNoValue = cn.IsNoValueSet();
      r.qnan = r.hasNoValue && IsQNaNPattern(cn.GetNoValue());
      r.noValue = r.hasNoValue ? ScanNoValue(cn) : 0;
      r.floats = IsFloatType(cn.GetDataType());
    }
    if (m_data) m_decoder.emplace(*m_data, m_channels, mdf::GroupDecodeOptions{false, true});
  }

  const std::vector<CCNBlock*>& Channels() const { return m_channels; }

  // After the last chunk: each channel's running range and state, and its
  // NoValue (kept only where NoValue samples were met, given to every
  // channel of a KESTRAVO file). `store` receives the raw range of each
  // channel that gave values or NoValues.
  template <typename Store>
  void SettleChannels(bool kestravo, Store&& store) {
    for (size_t k = 0; k < m_channels.size(); ++k) {
      CCNBlock& cn = *m_channels[k];
      const Range& r = m_ranges[k];
      if (kestravo && !cn.IsNoValueSet()) cn.SetNoValue(mdf::CCNBlock::kDefaultNoValue);
      if (!r.sawNoValue && !kestravo) cn.ClearNoValue();
      double min = 0, max = 0;
      if (r.set)
        min = r.min, max = r.max;
      else if (r.hasNoValue)
        min = max = r.noValue;
      const uint32_t state = (r.set ? CCNBlock::kRangeSet : 0) | (r.sawNoValue ? CCNBlock::kNoValueSeen : 0);
      cn.SetRunningRaw(min, max);
      const auto [lo, hi] = ConvertedRange(cn.GetConversion(), min, max);
      cn.SetRunningPhys(lo, hi);
      cn.SetRangeState(state);
      if (state != 0) store(cn, min, max);
    }
  }

  // After the last chunk: a cache that holds every value is valid; one that
  // came short (a read that ended early) is dropped, so that Read goes to the
  // file rather than deliver what was never filled.
  void CompleteCaches(FileImport& import) {
    for (std::optional<CacheFill>& c : m_caches)
      if (c) {
        ValueCache& cache = c->record->cache;
        if (c->written < c->capacity) {
          import.FreeCache(*c->record);
          c.reset();
          continue;
        }
        cache.type = c->record->DTyp;
        cache.physical = false;
        cache.valid = true;
      }
  }
  std::vector<std::optional<CacheFill>>& Caches() { return m_caches; }

  // Decodes `count` records at `records`, the group's records from `first` on.
  void Chunk(const uint8_t* records, uint32_t count, uint32_t first) {
    if (!m_decoder) return;
    m_first = first;
    m_decoder->Decode(std::span<const uint8_t>(records, size_t{count} * m_data->GetRecordLength()), *this, 0,
                      count, first);
  }

 private:
  void Values(size_t k, uint32_t first, std::span<const double> values) override {
    Range& r = m_ranges[k];
    if (r.hasNoValue)
      ReduceChecked<true>(r, values);
    else if (r.floats)
      ReduceChecked<false>(r, values);
    else
      ReducePlain(r, values);
    if (m_caches[k] && m_caches[k]->form != CacheForm::Raw) Fill(*m_caches[k], first, values);
  }

  // Caches of decoded values, from the slices the decoder hands over.
  void Fill(CacheFill& c, uint32_t first, std::span<const double> values) {
    const uint64_t at = uint64_t{m_first} + first;
    if (at >= c.capacity) return;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(values.size(), c.capacity - at));
    uint8_t* dest = c.record->cache.bytes.data() + at * c.element;
    if (c.form == CacheForm::Doubles) {
      std::memcpy(dest, values.data(), n * sizeof(double));
    } else {
      for (size_t i = 0; i < n; ++i) importcore::DoubleToSample(values[i], c.record->DTyp, dest + i * c.element);
    }
    c.written = at + n;
  }

 public:
  // Caches of stored elements need no decoding: the calling thread copies
  // them from the chunk while the process worker decodes it, slice by slice
  // so that a slice stays in the cache while every channel is copied.
  void CopyRawCaches(const uint8_t* records, uint32_t count, uint32_t first) {
    if (!m_data) return;
    const size_t length = m_data->GetRecordLength();
    const uint32_t perSlice = static_cast<uint32_t>(std::max<size_t>(1, mdf::CGroupDecoder::kSliceBytes / length));
    const std::span<const uint8_t> chunk(records, size_t{count} * length);
    for (uint32_t done = 0; done < count; done += perSlice) {
      const uint32_t m = std::min(perSlice, count - done);
      for (size_t k = 0; k < m_channels.size(); ++k) {
        if (!m_caches[k] || m_caches[k]->form != CacheForm::Raw) continue;
        CacheFill& c = *m_caches[k];
        const uint64_t at = uint64_t{first} + done;
        if (at >= c.capacity) continue;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m, c.capacity - at));
        uint8_t* dest = c.record->cache.bytes.data() + at * c.element;
        const uint32_t copied =
            m_data->CopyRawValues(m_channels[k], chunk, std::span<uint8_t>(dest, size_t{n} * c.element), done, n, first);
        if (copied > 0) c.written = at + copied;
      }
    }
  }

 private:

  const mdf::CDataBlock* m_data;
  std::vector<CCNBlock*> m_channels;
  std::optional<mdf::CGroupDecoder> m_decoder;
  std::vector<Range> m_ranges;
  std::vector<std::optional<CacheFill>> m_caches;
  uint32_t m_first = 0;
};

// Makes room for the value caches of `caches` (data signals of the group)
// that the memory limit allows and that the pass can fill as Read would make
// them: stored elements, raw doubles, or raw doubles stored in the DTyp; not
// converted doubles, nor types that Read decodes otherwise (above 16).
// Returns the signals whose caches the pass fills; their bytes count already.
std::vector<SignalRecord*> PrepareCaches(FileImport& import, uint64_t memoryLimit, bool fail,
                                         std::span<SignalRecord* const> caches, DataPass& pass) {
  std::vector<SignalRecord*> filled;
  const std::vector<CCNBlock*>& channels = pass.Channels();
  for (SignalRecord* r : caches) {
    const auto at = std::find(channels.begin(), channels.end(), r ? r->channel : nullptr);
    if (at == channels.end() || r->cache.valid || r->Demux <= 0 || (*at)->GetDataType() > 16) continue;
    const uint32_t element = static_cast<uint32_t>(r->Demux);
    if (importcore::DTypSize(r->DTyp) != element || DeliversPhysical(*r)) continue;
    CacheFill fill{r, CacheForm::Samples, element, r->NoOfValues, 0};
    if (ReadsDoubles(*r))
      fill.form = CacheForm::Doubles;
    else if (mdf::CDataBlock::RawElementSize(*at) == element)
      fill.form = CacheForm::Raw;
    if (import.m_cachedBytes + uint64_t{r->NoOfValues} * 8 >= memoryLimit) continue;
    try {
      if (fail) throw std::bad_alloc();
      r->cache.bytes.resize(size_t{r->NoOfValues} * element);
    } catch (const std::bad_alloc&) {
      import.FreeCache(*r);
      continue;
    }
    r->cache.counted = uint64_t{r->NoOfValues} * element;
    import.m_cachedBytes += r->cache.counted;
    pass.Caches()[static_cast<size_t>(at - channels.begin())] = fill;
    filled.push_back(r);
  }
  return filled;
}

// ---------------------------------------------------------------- time channel

// The scan of the time channel's raw stamps, chunk by chunk in record order.
struct TimeScan {
  bool hasNoValue = false;
  bool qnan = false;
  double noValue = 0;
  const std::vector<uint32_t>* replaced = nullptr;  // KESTRAVO: stamps the decoder replaced

  bool haveValid = false, haveDelta = false, sawNoValue = false, timeErrors = false;
  double start = 0, previous = 0, sum = 0, minD = 1.0, maxD = 1.0, last = 0;
  int32_t errors = 0;
  uint32_t firstError = 0;
  uint64_t valid = 0;
  uint64_t skippedAfterFirst = 0;  // NoValue and broken stamps after the first valid one

  // After the last of `records` records: the axis, and the channel's running
  // range; a conversion receives the physical range.
  TimeAxis Settle(CCNBlock& tcn, uint32_t records) const {
    TimeAxis axis;
    const uint64_t validSamples = records - skippedAfterFirst;
    if (valid >= 2 && validSamples >= 2) axis.fac = sum / static_cast<double>(validSamples - 1);
    axis.minD = minD;
    axis.maxD = maxD;
    const double rawMin = haveValid ? start : 0, rawMax = haveValid ? last : 0;
    tcn.SetRunningRaw(rawMin, rawMax);
    axis.min = rawMin;
    axis.max = rawMax;
    if (mdf::CCCBlock* cc = tcn.GetConversion()) {
      std::tie(axis.min, axis.max) = ConvertedRange(cc, rawMin, rawMax);
      mdf::StoreU16(cc->Head() + mdf::CCCBlock::kRangeValid, 1);
      mdf::StoreF64(cc->Head() + mdf::CCCBlock::kMinPhys, axis.min);
      mdf::StoreF64(cc->Head() + mdf::CCCBlock::kMaxPhys, axis.max);
      if (cc->GetType() == mdf::CCCBlock::kLinear) {
        const double factor = cc->GetParams()[1];
        axis.fac *= factor;
        axis.minD *= factor;
        axis.maxD *= factor;
        if (axis.minD > axis.maxD) std::swap(axis.minD, axis.maxD);
      }
    }
    tcn.SetRunningPhys(axis.min, axis.max);
    tcn.SetRangeState(haveValid ? CCNBlock::kRangeSet : 0);
    return axis;
  }

  void Error(uint32_t index) {
    timeErrors = true;
    if (errors++ == 0) firstError = index;
  }

  void Chunk(double* v, uint32_t n, uint32_t first, ProgressRecord* progress) {
    std::vector<uint32_t>::const_iterator listed, end;
    if (replaced) {
      listed = std::lower_bound(replaced->begin(), replaced->end(), first);
      end = replaced->end();
    }
    for (uint32_t i = 0; i < n; ++i) {
      if (progress && i % 500 == 0) ProgressStep(first + i, *progress, true);
      const uint32_t index = first + i;
      if (qnan && IsQNaNPattern(v[i])) v[i] = mdf::CCNBlock::kDefaultNoValue;
      const double x = v[i];
      bool isNoValue = hasNoValue && x == noValue;
      if (replaced && hasNoValue) {
        while (listed != end && *listed < index) ++listed;
        isNoValue = isNoValue || (listed != end && *listed == index);
      }
      if (isNoValue) {
        sawNoValue = true;
        if (haveValid) ++skippedAfterFirst;
        continue;
      }
      if (!std::isfinite(x)) {
        // A stamp that is no number cannot be placed: a time error, left out.
        Error(index);
        if (haveValid) ++skippedAfterFirst;
        continue;
      }
      ++valid;
      if (!haveValid) {
        haveValid = true;
        start = previous = last = x;
        continue;
      }
      if (x <= previous) Error(index);
      const double delta = x - previous;
      if (!haveDelta) {
        haveDelta = true;
        minD = maxD = delta;
      }
      if (x > previous) {
        if (std::fabs(delta) > maxD)
          maxD = std::fabs(delta);
        else if (std::fabs(delta) < minD)
          minD = std::fabs(delta);
      }
      previous = x;
      sum += delta;
      last = x;
    }
  }
};

// ---------------------------------------------------------------- workers

struct ReadArgs {
  winport::File* file = nullptr;
  uint8_t* target = nullptr;
  uint64_t bytes = 0;
  uint64_t got = 0;
  double seconds = 0;
  HANDLE go = nullptr, quit = nullptr, done = nullptr;
};

struct ProcessArgs {
  DataPass* pass = nullptr;
  const uint8_t* records = nullptr;
  uint32_t count = 0, first = 0;
  bool failed = false;
  double seconds = 0;
  HANDLE go = nullptr, quit = nullptr, done = nullptr;
};

// A worker's loop: waits for its go or quit event; on go does its work and
// sets its done event; on quit sets done and ends; ends at once when the
// wait fails.
template <typename Args, typename Work>
DWORD WorkerLoop(Args& a, Work&& work) {
  const HANDLE wait[2] = {a.go, a.quit};
  for (;;) {
    const DWORD r = WaitForMultipleObjects(2, wait, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0) {
      const double start = ThreadSeconds();
      work();
      a.seconds += ThreadSeconds() - start;
      SetEvent(a.done);
    } else if (r == WAIT_OBJECT_0 + 1) {
      SetEvent(a.done);
      return 0;
    } else if (r == WAIT_FAILED) {
      return 0;
    }
  }
}

DWORD ReadDataBlock(void* parameter) {
  auto& a = *static_cast<ReadArgs*>(parameter);
  // The file position runs on from the chunk before.
  return WorkerLoop(a, [&] { a.got = ReadBlock(*a.file, a.target, a.bytes, nullptr); });
}

DWORD ProcessDataBlock(void* parameter) {
  auto& a = *static_cast<ProcessArgs*>(parameter);
  return WorkerLoop(a, [&] {
    try {
      a.pass->Chunk(a.records, a.count, a.first);
    } catch (...) {
      a.failed = true;  // no memory for the decoder's slice
    }
  });
}

// The six events and the two threads of one call; ended (quit, joined,
// closed) when it goes, before anything they use.
class Workers {
 public:
  enum Event { kProcessGo, kProcessQuit, kProcessDone, kReadGo, kReadQuit, kReadDone, kEvents };

  Workers() = default;
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() { End(); }

  bool Start(ReadArgs& read, ProcessArgs& process) {
    for (HANDLE& e : m_events)
      if (!(e = CreateEventA(nullptr, FALSE, FALSE, nullptr))) return false;
    process.go = m_events[kProcessGo], process.quit = m_events[kProcessQuit], process.done = m_events[kProcessDone];
    read.go = m_events[kReadGo], read.quit = m_events[kReadQuit], read.done = m_events[kReadDone];
    m_process = CreateThread(nullptr, 0, &ProcessDataBlock, &process, 0, nullptr);
    if (!m_process) return false;
    m_read = CreateThread(nullptr, 0, &ReadDataBlock, &read, 0, nullptr);
    return m_read != nullptr;
  }
  void Set(Event e) { SetEvent(m_events[e]); }
  void Wait(Event e) { WaitForSingleObject(m_events[e], INFINITE); }

  void End() {
    if (m_events[kProcessQuit]) SetEvent(m_events[kProcessQuit]);
    if (m_events[kReadQuit]) SetEvent(m_events[kReadQuit]);
    for (HANDLE* thread : {&m_process, &m_read})
      if (*thread) {
        WaitForSingleObject(*thread, INFINITE);
        CloseHandle(*thread);
        *thread = nullptr;
      }
    for (HANDLE& e : m_events)
      if (e) {
        CloseHandle(e);
        e = nullptr;
      }
  }

 private:
  HANDLE m_events[kEvents] = {};
  HANDLE m_process = nullptr, m_read = nullptr;
};

}  // namespace

// ---------------------------------------------------------------- steps C and D

bool DataGroupLoader::ReadRecords(mdf::CDGBlock& group, CCNBlock* tcn, SignalRecord* time,
                                  std::vector<CCNBlock*> channels, ProgressRecord* progress,
                                  std::span<SignalRecord* const> caches, Outcome& out) {
  mdf::CDataBlock* data = group.GetDataBlock();
  const uint32_t length = data ? data->GetRecordLength() : 0;
  const uint32_t n = data ? RecordsOf(group) : 0;
  const bool kestravo = m_mdf.IsKestravo();

  if (tcn) tcn->SetRangeState(0);
  for (CCNBlock* cn : channels) cn->SetRangeState(0);

  const uint32_t chunkRecords = ChunkRecords(n, length);
  const uint32_t chunks = n == 0 ? 0 : (n - 1) / chunkRecords + 1;
  const uint64_t chunkBytes = uint64_t{chunkRecords} * length;

  DataPass pass(n > 0 ? data : nullptr, channels);

  // The time stamps of the whole group, which the repair needs; without the
  // memory for them (more than the free physical memory), one chunk's stamps
  // (then they are not handed over).
  ValueCache times;
  bool wholeTimes = false;
  try {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    const bool room = GlobalMemoryStatusEx(&memory) && uint64_t{n} * 8 <= memory.ullAvailPhys;
    if (!room || Fails(kAllocTimeValues)) throw std::bad_alloc();
    if (tcn) times.bytes.resize(size_t{n} * 8);
    wholeTimes = tcn != nullptr;
  } catch (const std::bad_alloc&) {
  }

  // Value caches filled in the same pass, as Read would make them.
  std::vector<SignalRecord*> filled;
  if (!kestravo && n > 0)
    filled = PrepareCaches(m_import, m_settings.memoryLimit, Fails(kAllocValueCache), caches, pass);
  auto dropCaches = [&] {
    for (SignalRecord* r : filled) m_import.FreeCache(*r);
  };

  ReadArgs readArgs;
  readArgs.file = &m_file;
  ProcessArgs processArgs;
  processArgs.pass = &pass;
  Workers workers;  // declared after everything the workers touch: ended first
  Trace("Thread: ReadDataBlock\n");
  if (!workers.Start(readArgs, processArgs)) {
    dropCaches();
    return false;
  }
  if (tcn && !wholeTimes) {
    try {
      if (Fails(kAllocChunkTimes)) throw std::bad_alloc();
      times.bytes.resize(size_t{std::min(chunkRecords, n)} * 8);
    } catch (const std::bad_alloc&) {
      workers.End();
      dropCaches();
      return false;
    }
  }

  const bool fromBuffer = n > 0 && m_buffer.Holds(&group) && m_buffer.HeldRecords() >= n;
  uint32_t available = n;  // records there are to decode; a short read cuts it
  bool shortRead = false;
  if (!fromBuffer && n > 0) {
    const uint64_t need = chunks == 1 ? chunkBytes : 2 * chunkBytes;
    if (Fails(kAllocGroupBuffer) || !m_buffer.Ensure(need)) {
      workers.End();
      m_buffer.Free();
      dropCaches();
      return false;
    }
    m_buffer.Hold(nullptr, 0);
    const double readStart = ThreadSeconds();
    const uint32_t first = std::min(chunkRecords, n);
    const uint64_t got = m_file.Seek(group.GetDataLink())
                             ? ReadBlock(m_file, m_buffer.Data(), uint64_t{first} * length, nullptr)
                             : 0;
    if (got / length < first) {
      available = static_cast<uint32_t>(got / length);
      shortRead = true;
      ShowShortRead();
    } else if (chunks == 1) {
      m_buffer.Hold(&group, n);
    }
    m_report.callerSeconds += ThreadSeconds() - readStart;
  }

  TimeScan scan;
  scan.hasNoValue = tcn && tcn->IsNoValueSet();
  scan.qnan = scan.hasNoValue && IsQNaNPattern(tcn->GetNoValue());
  scan.noValue = scan.hasNoValue ? ScanNoValue(*tcn) : 0;
  if (kestravo && tcn) scan.replaced = &tcn->ReplacedSamples();
  auto* timeValues = reinterpret_cast<double*>(times.bytes.data());

  uint32_t done = 0;
  for (uint32_t i = 0; i < chunks && done < available; ++i) {
    const uint32_t first = i * chunkRecords;
    uint32_t count = std::min(chunkRecords, n - first);
    const uint8_t* current;
    if (fromBuffer) {
      current = m_buffer.Data() + uint64_t{first} * length;
    } else {
      current = m_buffer.Data() + (i % 2) * chunkBytes;
      if (i > 0) {
        workers.Wait(Workers::kReadDone);
        if (readArgs.got / length < count) {
          available = first + static_cast<uint32_t>(readArgs.got / length);
          shortRead = true;
          ShowShortRead();
        }
      }
      count = std::min(count, available - first);
      if (!shortRead && i + 1 < chunks) {
        // The reader fills the other half with the next chunk meanwhile.
        readArgs.target = m_buffer.Data() + ((i + 1) % 2) * chunkBytes;
        readArgs.bytes = uint64_t{std::min(chunkRecords, n - first - chunkRecords)} * length;
        workers.Set(Workers::kReadGo);
      }
    }
    if (count == 0) break;
    processArgs.records = current;
    processArgs.count = count;
    processArgs.first = first;
    workers.Set(Workers::kProcessGo);

    const double callerStart = ThreadSeconds();
    if (tcn) {
      double* stamps = wholeTimes ? timeValues + first : timeValues;
      const uint32_t decoded =
          data->DecodeValues(tcn, std::span<const uint8_t>(current, uint64_t{count} * length),
                             std::span<double>(stamps, count), 0, count, false, first);
      std::fill(stamps + decoded, stamps + count, 0.0);
      scan.Chunk(stamps, decoded, first, progress);
    }
    pass.CopyRawCaches(current, count, first);
    m_report.callerSeconds += ThreadSeconds() - callerStart;

    workers.Wait(Workers::kProcessDone);
    done = first + count;
    ++m_report.chunks;
  }
  workers.End();
  m_report.readSeconds = readArgs.seconds;
  m_report.processSeconds = processArgs.seconds;
  if (processArgs.failed) {
    dropCaches();
    return false;
  }
  m_report.records = done;
  m_report.shortRead = shortRead;

  // Step D: the data channels' ranges, and the time channel's.
  pass.SettleChannels(kestravo, [&](CCNBlock& cn, double min, double max) {
    if (!m_settings.writeRange) return;
    cn.SetRangeValid(static_cast<uint16_t>(0xAAB0 | (cn.IsNoValueSet() ? 8 : 0)));
    cn.SetMinRaw(min);
    cn.SetMaxRaw(max);
    WriteRange(cn, false);
  });
  pass.CompleteCaches(m_import);
  if (!tcn) return true;
  out.axis = scan.Settle(*tcn, done);
  if (scan.hasNoValue && !scan.sawNoValue) ClearTimeNoValue(*tcn, *time);
  out.flags = scan.timeErrors ? kGroupTimeErrors : 0;
  if (IsEquidistant(out.axis.fac, out.axis.minD, out.axis.maxD, m_settings.rule)) out.flags |= kGroupEquidistant;
  out.errors = scan.errors;
  out.firstError = scan.firstError;

  // Step E: the stamps go to the time signal when they are whole (every
  // record read) and either a repair needs them or the memory limit allows them.
  if (wholeTimes && !kestravo && done == n &&
      (scan.timeErrors || m_import.m_cachedBytes + uint64_t{n} * 8 < m_settings.memoryLimit)) {
    m_import.FreeCache(*time);
    times.type = importcore::dtyp::kFloat64;
    times.valid = true;
    times.physical = false;
    times.counted = uint64_t{n} * 8;
    m_import.m_cachedBytes += times.counted;
    time->cache = std::move(times);
    m_report.timeValuesHandedOver = true;
  }
  return true;
}

}  // namespace pellor
