#include "platform/ddc/values.h"

#include <algorithm>
#include <cstring>

#include "platform/ddc/cursor.h"
#include "platform/ddc/scaling.h"
#include "platform/ddc/timestamp.h"

namespace ddc {
namespace {

// Reads below this size go through the file's window cache.
constexpr size_t kSmallRead = 16 * 1024;
// Bytes of strided or converted data handled per step.
constexpr size_t kScratchBytes = 1 << 20;

std::vector<uint8_t>& Scratch() {
  thread_local std::vector<uint8_t> scratch;
  if (scratch.size() < kScratchBytes) scratch.resize(kScratchBytes);
  return scratch;
}

bool ReadSpan(const DataFile& data, uint8_t* dst, uint64_t n, uint64_t pos) {
  return n < kSmallRead ? data.ReadCached(dst, static_cast<size_t>(n), pos)
                        : data.ReadAt(dst, static_cast<size_t>(n), pos);
}

template <size_t N>
void CopyStrided(const uint8_t* src, uint64_t stride, uint64_t count, uint8_t* dst) {
  for (uint64_t k = 0; k < count; ++k) std::memcpy(dst + k * N, src + k * stride, N);
}

// `count` values of `size` bytes at pos, pos + stride, ...
bool Gather(const DataFile& data, uint64_t pos, uint64_t stride, uint32_t size, uint64_t count,
            uint8_t* dst) {
  if (stride == size) return ReadSpan(data, dst, count * size, pos);
  std::vector<uint8_t>& scratch = Scratch();
  const uint64_t rows_per_step = std::max<uint64_t>(1, scratch.size() / stride);
  while (count > 0) {
    const uint64_t rows = std::min(count, rows_per_step);
    const uint64_t span = (rows - 1) * stride + size;
    if (span > scratch.size()) scratch.resize(span);
    if (!ReadSpan(data, scratch.data(), span, pos)) return false;
    switch (size) {
      case 1: CopyStrided<1>(scratch.data(), stride, rows, dst); break;
      case 2: CopyStrided<2>(scratch.data(), stride, rows, dst); break;
      case 4: CopyStrided<4>(scratch.data(), stride, rows, dst); break;
      case 8: CopyStrided<8>(scratch.data(), stride, rows, dst); break;
      case 16: CopyStrided<16>(scratch.data(), stride, rows, dst); break;
      default:
        for (uint64_t k = 0; k < rows; ++k) std::memcpy(dst + k * size, scratch.data() + k * stride, size);
    }
    dst += rows * size;
    pos += rows * stride;
    count -= rows;
  }
  return true;
}

template <typename U>
void SwapEach(uint8_t* p, uint64_t count) {
  for (uint64_t k = 0; k < count; ++k) {
    U v;
    std::memcpy(&v, p + k * sizeof v, sizeof v);
    v = ByteSwap(v);
    std::memcpy(p + k * sizeof v, &v, sizeof v);
  }
}

// Big-endian numbers to the machine's order (which is little-endian).
void ToMachineOrder(uint8_t* p, uint32_t size, uint64_t count) {
  switch (size) {
    case 2: SwapEach<uint16_t>(p, count); break;
    case 4: SwapEach<uint32_t>(p, count); break;
    case 8: SwapEach<uint64_t>(p, count); break;
    default: break;
  }
}

// Where chunk `chunk` of a run lies and how many of the slot's values it holds.
struct ChunkPlace {
  const TdmsSegmentData* segment;
  uint64_t chunk_in_segment;
  uint64_t values;
};

ChunkPlace LocateChunk(const TdmsIndex& index, const TdmsRun& run, const TdmsSlot& slot,
                       uint64_t chunk) {
  const TdmsSegmentData* begin = index.segments.data() + run.segment_begin;
  const TdmsSegmentData* end = index.segments.data() + run.segment_end;
  if (chunk >= run.chunks) {  // the partial chunk at the end of the last segment
    const TdmsSegmentData* last = end - 1;
    return {last, last->chunks, PartialChunkCount(run.layout, slot, last->tail_bytes)};
  }
  const TdmsSegmentData* seg =
      std::upper_bound(begin, end, chunk,
                       [](uint64_t c, const TdmsSegmentData& s) { return c < s.first_chunk; }) -
      1;
  return {seg, chunk - seg->first_chunk, slot.per_chunk};
}

// Calls `f(chunk_pos, i, take)` for each chunk that holds values of [v, v + n)
// of a slot in a run: the chunk's file position, the index in the chunk of
// the first value wanted there, and how many (at most `most`).
template <typename F>
Status ForEachChunk(const File& file, const TdmsRun& run, const TdmsSlot& slot, uint64_t v,
                    uint64_t n, uint64_t most, F&& f) {
  if (slot.per_chunk == 0) return DDC_ErrDamaged;
  while (n > 0) {
    const uint64_t i = v % slot.per_chunk;
    const ChunkPlace place = LocateChunk(file.tdms, run, slot, v / slot.per_chunk);
    if (i >= place.values) return DDC_ErrDamaged;
    const uint64_t take = std::min({n, place.values - i, most});
    const uint64_t chunk_pos =
        place.segment->data_pos + place.chunk_in_segment * run.layout.chunk_bytes;
    if (Status s = f(chunk_pos, i, take); s != DDC_NoError) return s;
    v += take;
    n -= take;
  }
  return DDC_NoError;
}

// Raw values (file byte order) [v, v + n) of one slot in one run.
Status ReadRunRaw(const File& file, const TdmsRun& run, const TdmsSlot& slot, uint64_t v,
                  uint64_t n, uint8_t* dst) {
  const DataFile& data = *file.data_files.front();
  const TdmsLayout& layout = run.layout;
  const uint32_t size = slot.value_size;
  return ForEachChunk(file, run, slot, v, n, UINT64_MAX,
                      [&](uint64_t chunk_pos, uint64_t i, uint64_t take) -> Status {
                        const bool ok =
                            layout.interleaved
                                ? Gather(data, chunk_pos + i * layout.row_bytes + slot.offset,
                                         layout.row_bytes, size, take, dst)
                                : ReadSpan(data, dst, take * size, chunk_pos + slot.offset + i * size);
                        dst += take * size;
                        return ok ? DDC_NoError : DDC_ErrReadFailed;
                      });
}

template <typename T>
void StoreEach(uint8_t* dst, uint64_t k, T v) {
  std::memcpy(dst + k * sizeof v, &v, sizeof v);
}

// Spreads `n` bytes at the start of `dst` into values 0 or 1 of `type`, by one bit of each.
void SpreadBits(uint8_t* dst, uint64_t n, int32_t bit, DDCDataType type) {
  for (uint64_t k = n; k-- > 0;) {  // backwards: value k lies at or behind byte k
    const uint8_t v = (dst[k] >> bit) & 1;
    switch (type) {
      case DDC_TypeInt8: case DDC_TypeUInt8: case DDC_TypeBoolean: dst[k] = v; break;
      case DDC_TypeInt16: case DDC_TypeUInt16: StoreEach(dst, k, uint16_t{v}); break;
      case DDC_TypeInt32: case DDC_TypeUInt32: StoreEach(dst, k, uint32_t{v}); break;
      case DDC_TypeInt64: case DDC_TypeUInt64: StoreEach(dst, k, uint64_t{v}); break;
      case DDC_TypeFloat: case DDC_TypeFloatWithUnit: StoreEach(dst, k, static_cast<float>(v)); break;
      default: StoreEach(dst, k, static_cast<double>(v)); break;
    }
  }
}

// Values [v, v + n) of one DAQmx scaler of a slot in a run, in the scaler's
// type and the machine's byte order: one from each row of its raw buffer.
Status ReadRunScaler(const File& file, const TdmsRun& run, const TdmsSlot& slot, const DaqmxScaler& scaler,
                     uint64_t v, uint64_t n, uint8_t* dst) {
  const DataFile& data = *file.data_files.front();
  const DaqmxBuffer& buffer = run.layout.buffers[scaler.buffer];
  const uint32_t size = ValueSize(scaler.type);
  const bool digital = scaler.bit >= 0;
  return ForEachChunk(file, run, slot, v, n, UINT64_MAX,
                      [&](uint64_t chunk_pos, uint64_t i, uint64_t take) -> Status {
                        const uint64_t pos = chunk_pos + buffer.offset + i * buffer.width + scaler.byte_offset;
                        if (!Gather(data, pos, buffer.width, digital ? 1 : size, take, dst))
                          return DDC_ErrReadFailed;
                        if (digital) SpreadBits(dst, take, scaler.bit, scaler.type);
                        else if (run.layout.big_endian) ToMachineOrder(dst, size, take);
                        dst += take * size;
                        return DDC_NoError;
                      });
}

// Calls `f(run, slot, first_in_run, count, out_index)` for each run piece of the range.
template <typename F>
Status ForEachRunPiece(const File& file, const TdmsValues& values, uint64_t first, uint64_t count,
                       F&& f) {
  auto it = std::upper_bound(values.runs.begin(), values.runs.end(), first,
                             [](uint64_t v, const TdmsRunRef& r) { return v < r.first; });
  if (it == values.runs.begin()) return count == 0 ? DDC_NoError : DDC_ErrRange;
  --it;
  uint64_t done = 0;
  for (; done < count && it != values.runs.end(); ++it) {
    const uint64_t from = first + done - it->first;
    if (from >= it->count) return DDC_ErrRange;
    const uint64_t n = std::min(count - done, it->count - from);
    const TdmsRun& run = file.tdms.runs[it->run];
    if (Status s = f(run, run.layout.slots[it->slot], from, n, done); s != DDC_NoError) return s;
    done += n;
  }
  return done == count ? DDC_NoError : DDC_ErrRange;
}

template <typename T>
void LinearFromStored(const uint8_t* src, bool big_endian, uint64_t count, double p0, double p1,
                      uint8_t* dst) {
  for (uint64_t k = 0; k < count; ++k) {
    const double v = p0 + p1 * static_cast<double>(Load<T>(src + k * sizeof(T), big_endian));
    std::memcpy(dst + k * sizeof v, &v, sizeof v);
  }
}

}  // namespace

bool ToLinearDoubles(DDCDataType stored, const uint8_t* src, bool be, uint64_t count, double p0,
                     double p1, uint8_t* dst) {
  switch (stored) {
    case DDC_TypeInt8: LinearFromStored<int8_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeInt16: LinearFromStored<int16_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeInt32: LinearFromStored<int32_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeInt64: LinearFromStored<int64_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeUInt8:
    case DDC_TypeBoolean: LinearFromStored<uint8_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeUInt16: LinearFromStored<uint16_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeUInt32: LinearFromStored<uint32_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeUInt64: LinearFromStored<uint64_t>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeFloat:
    case DDC_TypeFloatWithUnit: LinearFromStored<float>(src, be, count, p0, p1, dst); return true;
    case DDC_TypeDouble:
    case DDC_TypeDoubleWithUnit: LinearFromStored<double>(src, be, count, p0, p1, dst); return true;
    default: return false;
  }
}

namespace {

Status ReadTdx(const File& file, const TdxValues& tdx, uint64_t first, uint64_t count,
               uint8_t* out) {
  const DataFile& data = *file.data_files[tdx.data_file];
  const uint32_t size = ValueSize(tdx.stored);
  const uint64_t pos = tdx.offset + first * size;  // within the .tdx: checked at open
  if (!tdx.linear) {
    if (!ReadSpan(data, out, count * size, pos)) return DDC_ErrReadFailed;
    if (tdx.big_endian && tdx.stored != DDC_TypeChannelTimestamp) ToMachineOrder(out, size, count);
    return DDC_NoError;
  }
  std::vector<uint8_t>& scratch = Scratch();
  const uint64_t per_step = scratch.size() / size;
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min(per_step, count - done);
    if (!ReadSpan(data, scratch.data(), n * size, pos + done * size)) return DDC_ErrReadFailed;
    if (!ToLinearDoubles(tdx.stored, scratch.data(), tdx.big_endian, n, tdx.p0, tdx.p1,
                          out + done * sizeof(double)))
      return DDC_ErrNotSupported;
    done += n;
  }
  return DDC_NoError;
}

}  // namespace

namespace {

// The stored values, in the stored type and the machine's byte order; of a
// DAQmx channel those of its first scaler.
Status ReadStored(const File& file, const Channel& channel, uint64_t first, uint64_t count, uint8_t* out) {
  const uint32_t size = ValueSize(channel.stored);
  if (const auto* tdms = std::get_if<TdmsValues>(&channel.source)) {
    return ForEachRunPiece(file, *tdms, first, count,
                           [&](const TdmsRun& run, const TdmsSlot& slot, uint64_t from, uint64_t n,
                               uint64_t at) -> Status {
                             uint8_t* dst = out + at * size;
                             if (!slot.scalers.empty())
                               return ReadRunScaler(file, run, slot, slot.scalers.front(), from, n, dst);
                             if (Status s = ReadRunRaw(file, run, slot, from, n, dst)) return s;
                             if (run.layout.big_endian) ToMachineOrder(dst, size, n);
                             return DDC_NoError;
                           });
  }
  if (const auto* tdx = std::get_if<TdxValues>(&channel.source))
    return ReadTdx(file, *tdx, first, count, out);
  if (const auto* inline_values = std::get_if<InlineValues>(&channel.source)) {
    if (inline_values->bytes.size() / size < first + count) return DDC_ErrRange;
    std::memcpy(out, inline_values->bytes.data() + first * size, count * size);
    return DDC_NoError;
  }
  if (const auto* generated = std::get_if<GeneratedValues>(&channel.source)) {
    for (uint64_t k = 0; k < count; ++k) {
      const double v = generated->start + static_cast<double>(first + k) * generated->increment;
      std::memcpy(out + k * sizeof v, &v, sizeof v);
    }
    return DDC_NoError;
  }
  return DDC_ErrNotSupported;
}

// The values of one leaf of a scaling, in the leaf's type: the stored values
// or those of the DAQmx scaler with the leaf's scale id.
Status ReadLeaf(const File& file, const Channel& channel, const Scaling& scaling, uint32_t leaf, uint64_t first,
                uint64_t count, uint8_t* out) {
  const int64_t id = scaling.chain->leaves[leaf];
  if (id == Scaling::kStored) return ReadStored(file, channel, first, count, out);
  const auto* tdms = std::get_if<TdmsValues>(&channel.source);
  if (!tdms) return DDC_ErrNotSupported;
  const uint32_t size = ValueSize(scaling.leaf_types[leaf]);
  return ForEachRunPiece(file, *tdms, first, count,
                         [&](const TdmsRun& run, const TdmsSlot& slot, uint64_t from, uint64_t n,
                             uint64_t at) -> Status {
                           for (const DaqmxScaler& s : slot.scalers)
                             if (s.scale_id == id) return ReadRunScaler(file, run, slot, s, from, n, out + at * size);
                           return DDC_ErrDamaged;  // every run has the scaler: checked at open
                         });
}

// The output of the channel's scaling as doubles, slice by slice: its leaves
// read and turned into doubles, then each step in turn. The slices' buffers
// are kept per thread, for the many calls of one import.
Status ReadScaled(const File& file, const Channel& channel, uint64_t first, uint64_t count, double* out) {
  const Scaling& scaling = *channel.scaling;
  const ScaleChain& chain = *scaling.chain;
  const size_t parts = chain.leaves.size() + chain.steps.size();
  const uint64_t slice = std::clamp<uint64_t>(kScratchBytes / sizeof(double) / parts, 256, 32768);
  thread_local std::vector<double> table;
  thread_local std::vector<uint8_t> stored;
  table.resize(parts * slice);
  stored.resize(slice * sizeof(uint64_t));
  const auto values = [&](ScaleRef ref) {
    return table.data() + ((ref.leaf ? 0 : chain.leaves.size()) + ref.index) * slice;
  };
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min(slice, count - done);
    for (uint32_t i = 0; i < chain.leaves.size(); ++i) {
      if (Status s = ReadLeaf(file, channel, scaling, i, first + done, n, stored.data())) return s;
      ToLinearDoubles(scaling.leaf_types[i], stored.data(), false, n, 0, 1,
                      reinterpret_cast<uint8_t*>(values({true, i})));
    }
    // The last step is the output: it goes to the caller's buffer.
    for (uint32_t j = 0; j < chain.steps.size(); ++j) {
      const ScaleStep& step = chain.steps[j];
      double* dst = j + 1 == chain.steps.size() ? out + done : values({false, j});
      ApplyStep(step, values(step.a), values(step.b), n, dst);
    }
    done += n;
  }
  return DDC_NoError;
}

}  // namespace

Status ReadNumbers(const File& file, const Channel& channel, uint64_t first, uint64_t count, uint8_t* out) {
  if (!channel.scaling) return ReadStored(file, channel, first, count, out);
  const Scaling& scaling = *channel.scaling;
  const ScaleRef output = scaling.chain->output;
  if (output.leaf) return ReadLeaf(file, channel, scaling, output.index, first, count, out);
  if (reinterpret_cast<uintptr_t>(out) % alignof(double) == 0)
    return ReadScaled(file, channel, first, count, reinterpret_cast<double*>(out));
  // The caller's buffer is not aligned for doubles: through one that is.
  std::vector<double> doubles(std::min<uint64_t>(count, 1 << 16));
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min<uint64_t>(doubles.size(), count - done);
    if (Status s = ReadScaled(file, channel, first + done, n, doubles.data())) return s;
    std::memcpy(out + done * sizeof(double), doubles.data(), n * sizeof(double));
    done += n;
  }
  return DDC_NoError;
}

Status ReadTimestamps(const File& file, const Channel& channel, uint64_t first, uint64_t count,
                      Timestamp* out) {
  constexpr uint32_t kSize = 16;
  // Decodes in steps of a bounded buffer, each value in its own run's byte order.
  std::vector<uint8_t> raw;
  const auto decode = [&](const uint8_t* src, bool big_endian, uint64_t n, Timestamp* dst) {
    for (uint64_t k = 0; k < n; ++k) dst[k] = DecodeTimestamp(src + k * kSize, big_endian);
  };
  constexpr uint64_t kStep = 64 * 1024;
  if (const auto* tdms = std::get_if<TdmsValues>(&channel.source)) {
    return ForEachRunPiece(file, *tdms, first, count,
                           [&](const TdmsRun& run, const TdmsSlot& slot, uint64_t from, uint64_t n,
                               uint64_t at) -> Status {
                             for (uint64_t done = 0; done < n;) {
                               const uint64_t step = std::min(kStep, n - done);
                               raw.resize(step * kSize);
                               if (Status s = ReadRunRaw(file, run, slot, from + done, step, raw.data()))
                                 return s;
                               decode(raw.data(), run.layout.big_endian, step, out + at + done);
                               done += step;
                             }
                             return DDC_NoError;
                           });
  }
  if (const auto* tdx = std::get_if<TdxValues>(&channel.source)) {
    for (uint64_t done = 0; done < count;) {
      const uint64_t step = std::min(kStep, count - done);
      raw.resize(step * kSize);
      if (Status s = ReadTdx(file, *tdx, first + done, step, raw.data())) return s;
      decode(raw.data(), tdx->big_endian, step, out + done);
      done += step;
    }
    return DDC_NoError;
  }
  return DDC_ErrNotSupported;
}

namespace {

// Strings [i, i + n) of one chunk of a string slot: u32 end offsets from the
// start of the characters, then the characters.
Status ReadChunkTexts(const DataFile& data, bool big_endian, const TdmsSlot& slot,
                      uint64_t slot_pos, uint64_t i, uint64_t n, std::vector<std::string>& out) {
  const uint64_t chars_pos = slot_pos + slot.per_chunk * 4;
  const uint64_t chars_size = slot.bytes - slot.per_chunk * 4;
  const uint64_t lead = i > 0 ? 1 : 0;
  std::vector<uint8_t> offsets((n + lead) * 4);
  if (!ReadSpan(data, offsets.data(), offsets.size(), slot_pos + (i - lead) * 4))
    return DDC_ErrReadFailed;
  const auto end_of = [&](uint64_t k) { return Load<uint32_t>(offsets.data() + k * 4, big_endian); };
  const uint64_t start = lead ? end_of(0) : 0;
  uint64_t previous = start;
  for (uint64_t k = 0; k < n; ++k) {
    const uint64_t end = end_of(k + lead);
    if (end < previous || end > chars_size) return DDC_ErrDamaged;
    previous = end;
  }
  std::string chars(previous - start, '\0');
  if (!ReadSpan(data, reinterpret_cast<uint8_t*>(chars.data()), chars.size(), chars_pos + start))
    return DDC_ErrReadFailed;
  uint64_t from = start;
  for (uint64_t k = 0; k < n; ++k) {
    const uint64_t end = end_of(k + lead);
    out.push_back(FromUtf8(std::string_view(chars).substr(from - start, end - from)));
    from = end;
  }
  return DDC_NoError;
}

}  // namespace

Status ReadTexts(const File& file, const Channel& channel, uint64_t first, uint64_t count,
                 std::vector<std::string>& out) {
  if (const auto* inline_values = std::get_if<InlineValues>(&channel.source)) {
    if (inline_values->texts.size() < first + count) return DDC_ErrRange;
    out.insert(out.end(), inline_values->texts.begin() + static_cast<ptrdiff_t>(first),
               inline_values->texts.begin() + static_cast<ptrdiff_t>(first + count));
    return DDC_NoError;
  }
  const auto* tdms = std::get_if<TdmsValues>(&channel.source);
  if (!tdms) return DDC_ErrNotSupported;
  constexpr uint64_t kStep = 64 * 1024;  // strings per read of their offsets
  return ForEachRunPiece(
      file, *tdms, first, count,
      [&](const TdmsRun& run, const TdmsSlot& slot, uint64_t v, uint64_t n, uint64_t) -> Status {
        return ForEachChunk(file, run, slot, v, n, kStep,
                            [&](uint64_t chunk_pos, uint64_t i, uint64_t take) {
                              return ReadChunkTexts(*file.data_files.front(), run.layout.big_endian,
                                                    slot, chunk_pos + slot.offset, i, take, out);
                            });
      });
}

}  // namespace ddc
