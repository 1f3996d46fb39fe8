#include "mdf/datablock.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>

#include "mdf/ccblock.h"
#include "mdf/datatype.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/win32/file.h"

namespace mdf {
namespace {

// Records read from a file per chunk.
constexpr size_t kChunkBytes = 4u << 20;
// Records read per chunk by the group readers: small enough to stay in the
// cache while the group decoder walks them.
constexpr size_t kGroupChunkBytes = 1u << 20;

// ---------------------------------------------------------------- layout

// How the readers see a channel's data type.
enum class Kind {
  None,   // no numeric value (4 to 7, and above 16 where the reader says so)
  Bytes,  // type 8: no numeric value, stored bytes in the raw readers
  UInt,
  Int,
  Float,
};

// Types above 16: DecodeValues and ReadChannelValues decode them as unsigned
// integers; the other readers have no value for them.
enum class Above16 { Unsigned, None };

struct TypeClass {
  Kind kind;
  bool motorola;
};

TypeClass Classify(uint16_t type, Above16 above) {
  switch (type) {
    case 0: case 13: return {Kind::UInt, false};
    case 1: case 14: return {Kind::Int, false};
    case 2: case 3: case 15: case 16: return {Kind::Float, false};
    case 4: case 5: case 6: case 7: return {Kind::None, false};
    case 8: return {Kind::Bytes, false};
    case 9: return {Kind::UInt, true};
    case 10: return {Kind::Int, true};
    case 11: case 12: return {Kind::Float, true};
    default: return {above == Above16::Unsigned ? Kind::UInt : Kind::None, false};
  }
}

// Where a channel's value starts within a record.
struct Placement {
  uint64_t firstByte;
  uint32_t shift;  // bit shift within the first byte
  uint32_t bits;
};

Placement PlaceChannel(const CCNBlock& cn, uint16_t recordIds) {
  return {static_cast<uint64_t>(cn.GetStartOffset() / 8) + (recordIds != 0 ? 1 : 0) +
              cn.GetAdditionalByteOffset(),
          static_cast<uint32_t>(cn.GetStartOffset() & 7u), cn.GetNumberOfBits()};
}

// Bytes of [firstByte, firstByte + bytes) that lie within a record of `recordLength`.
uint32_t BytesWithin(uint64_t firstByte, uint32_t bytes, uint32_t recordLength) {
  if (firstByte >= recordLength) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, recordLength - firstByte));
}

// ---------------------------------------------------------------- numeric decoding

struct Decoder;
using Kernel = void (*)(const Decoder& d, const uint8_t* records, size_t n, double* out);

// Everything a kernel needs, worked out once per call: the kernel is chosen by
// the channel's type, width and byte order, so that the loop over the records
// tests nothing.
struct Decoder {
  Kernel kernel = nullptr;
  size_t stride = 0;     // record length
  size_t firstByte = 0;  // of the value within its record
  // Integer kernels: value = (word << left) >> right, word being the value's bytes.
  unsigned left = 0, right = 0;
  // The general kernel: the field's bytes, those of them within the record,
  // its shift, bit count and kind.
  uint32_t bytes = 0, within = 0, shift = 0, bits = 0;
  Kind kind = Kind::None;
  bool motorola = false;
  // A linear conversion is done inside the kernel; any other one afterwards.
  bool linear = false;
  double factor = 1, offset = 0;
  const CCCBlock* conversion = nullptr;
  double constant = 0;  // the value of a channel without a numeric value
};

// The L bytes at p as an unsigned integer, Intel or Motorola order.
template <unsigned L, bool Motorola>
inline uint64_t LoadWord(const uint8_t* p) {
  uint64_t w = 0;
  std::memcpy(&w, p, L);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w) >> (64 - 8 * L);
  if constexpr (Motorola) w = __builtin_bswap64(w) >> (64 - 8 * L);
  return w;
}

enum class ToDouble { Signed, Unsigned63, Unsigned64 };

// Whole: the field fills its L bytes (bit shift 0, 8 x L bits), so that the
// shifts are constants and a sign extension or nothing at all.
template <unsigned L, bool Motorola, ToDouble T, bool Linear, bool Whole>
void IntegerKernel(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  const uint8_t* p = records + d.firstByte;
  const size_t stride = d.stride;
  const unsigned left = Whole ? 64 - 8 * L : d.left, right = Whole ? 64 - 8 * L : d.right;
  const double factor = d.factor, offset = d.offset;
  for (size_t i = 0; i < n; ++i, p += stride) {
    const uint64_t w = LoadWord<L, Motorola>(p) << left;
    double v;
    if constexpr (T == ToDouble::Signed)
      v = static_cast<double>(static_cast<int64_t>(w) >> right);
    else if constexpr (T == ToDouble::Unsigned63)
      v = static_cast<double>(static_cast<int64_t>(w >> right));
    else
      v = static_cast<double>(w >> right);
    if constexpr (Linear) v = v * factor + offset;
    out[i] = v;
  }
}

template <bool Double, bool Motorola, bool Linear>
void FloatKernel(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  const uint8_t* p = records + d.firstByte;
  const size_t stride = d.stride;
  const double factor = d.factor, offset = d.offset;
  for (size_t i = 0; i < n; ++i, p += stride) {
    double v;
    if constexpr (Double)
      v = std::bit_cast<double>(LoadWord<8, Motorola>(p));
    else
      v = static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(LoadWord<4, Motorola>(p))));
    if constexpr (Linear) v = v * factor + offset;
    out[i] = v;
  }
}

// Any field, including one that passes the end of its record (the bytes
// beyond it read as zero) or spans nine bytes.
double DecodeField(const Decoder& d, const uint8_t* record) {
  uint8_t window[16] = {};
  std::memcpy(window, record + d.firstByte, d.within);
  double v;
  if (d.kind == Kind::Float) {
    uint8_t value[8] = {};
    for (uint32_t i = 0; i < d.bytes; ++i) value[i] = window[d.motorola ? d.bytes - 1 - i : i];
    if (d.bytes == 8)
      v = LoadF64(value);
    else
      v = static_cast<double>(std::bit_cast<float>(LoadU32(value)));
  } else {
    unsigned __int128 word = 0;
    for (uint32_t i = 0; i < d.bytes; ++i)
      word |= static_cast<unsigned __int128>(window[i]) << (8 * (d.motorola ? d.bytes - 1 - i : i));
    v = IntegerFieldToDouble(static_cast<ULONGLONG>(word >> d.shift), 0, d.bits, d.kind == Kind::Int);
  }
  return d.linear ? v * d.factor + d.offset : v;
}

void GeneralKernel(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  for (size_t i = 0; i < n; ++i) out[i] = DecodeField(d, records + i * d.stride);
}

void ConstantKernel(const Decoder& d, const uint8_t*, size_t n, double* out) {
  std::fill(out, out + n, d.constant);
}

template <unsigned L, bool Motorola, ToDouble T, bool Whole>
Kernel PickIntegerKernel(bool linear) {
  return linear ? &IntegerKernel<L, Motorola, T, true, Whole> : &IntegerKernel<L, Motorola, T, false, Whole>;
}

template <unsigned L, bool Motorola, bool Whole>
Kernel PickIntegerKernel(ToDouble t, bool linear) {
  switch (t) {
    case ToDouble::Signed: return PickIntegerKernel<L, Motorola, ToDouble::Signed, Whole>(linear);
    case ToDouble::Unsigned63: return PickIntegerKernel<L, Motorola, ToDouble::Unsigned63, Whole>(linear);
    default: return PickIntegerKernel<L, Motorola, ToDouble::Unsigned64, Whole>(linear);
  }
}

template <unsigned L, bool Whole = false>
Kernel PickIntegerKernel(bool motorola, ToDouble t, bool linear) {
  return motorola ? PickIntegerKernel<L, true, Whole>(t, linear) : PickIntegerKernel<L, false, Whole>(t, linear);
}

// Fields of 1, 2, 4 or 8 whole bytes get kernels of their own: the most
// common ones, decoded without variable shifts.
Kernel PickIntegerKernel(unsigned bytes, bool whole, bool motorola, ToDouble t, bool linear) {
  if (whole) {
    switch (bytes) {
      case 1: return PickIntegerKernel<1, true>(motorola, t, linear);
      case 2: return PickIntegerKernel<2, true>(motorola, t, linear);
      case 4: return PickIntegerKernel<4, true>(motorola, t, linear);
      case 8: return PickIntegerKernel<8, true>(motorola, t, linear);
      default: break;
    }
  }
  switch (bytes) {
    case 1: return PickIntegerKernel<1>(motorola, t, linear);
    case 2: return PickIntegerKernel<2>(motorola, t, linear);
    case 3: return PickIntegerKernel<3>(motorola, t, linear);
    case 4: return PickIntegerKernel<4>(motorola, t, linear);
    case 5: return PickIntegerKernel<5>(motorola, t, linear);
    case 6: return PickIntegerKernel<6>(motorola, t, linear);
    case 7: return PickIntegerKernel<7>(motorola, t, linear);
    default: return PickIntegerKernel<8>(motorola, t, linear);
  }
}

template <bool Double, bool Motorola>
Kernel PickFloatKernel(bool linear) {
  return linear ? &FloatKernel<Double, Motorola, true> : &FloatKernel<Double, Motorola, false>;
}

Kernel PickFloatKernel(bool isDouble, bool motorola, bool linear) {
  if (isDouble) return motorola ? PickFloatKernel<true, true>(linear) : PickFloatKernel<true, false>(linear);
  return motorola ? PickFloatKernel<false, true>(linear) : PickFloatKernel<false, false>(linear);
}

// Integers take every byte their field occupies (bit shift + bit count), in
// the channel's byte order: the first byte is the least significant one in
// Intel order and the most significant one in Motorola order.
Decoder MakeDecoder(const CCNBlock& cn, uint16_t recordIds, uint32_t recordLength, Above16 above,
                    bool convert) {
  Decoder d;
  d.stride = recordLength;
  const TypeClass type = Classify(cn.GetDataType(), above);
  const Placement at = PlaceChannel(cn, recordIds);
  d.firstByte = static_cast<size_t>(std::min<uint64_t>(at.firstByte, recordLength));
  d.shift = at.shift;
  d.bits = at.bits;
  d.kind = type.kind;
  d.motorola = type.motorola;

  const CCCBlock* cc = convert ? CDataBlock::GetEffectiveConversion(cn.GetConversion()) : nullptr;
  if (cc && cc->GetType() == CCCBlock::kLinear) {
    d.linear = true;
    d.factor = cc->GetParams()[1];
    d.offset = cc->GetParams()[0];
  } else {
    d.conversion = cc;
  }

  bool numeric = false;
  if (type.kind == Kind::Float) {
    numeric = at.bits == 32 || at.bits == 64;
    d.bytes = at.bits / 8;
  } else if (type.kind == Kind::UInt || type.kind == Kind::Int) {
    numeric = at.bits >= 1 && at.bits <= 64;
    d.bytes = (at.shift + at.bits + 7) / 8;
  }
  if (!numeric) {
    d.kind = Kind::None;
    d.kernel = &ConstantKernel;
    d.constant = cc ? ApplyConversion(cc, 0.0) : 0.0;
    d.conversion = nullptr;
    return d;
  }

  d.within = BytesWithin(at.firstByte, d.bytes, recordLength);
  if (d.within < d.bytes || d.bytes > 8) {
    d.kernel = &GeneralKernel;
  } else if (type.kind == Kind::Float) {
    d.kernel = PickFloatKernel(d.bytes == 8, d.motorola, d.linear);
  } else {
    d.left = 64 - (at.shift + at.bits);
    d.right = 64 - at.bits;
    const ToDouble t = type.kind == Kind::Int ? ToDouble::Signed
                       : at.bits < 64         ? ToDouble::Unsigned63
                                              : ToDouble::Unsigned64;
    d.kernel = PickIntegerKernel(d.bytes, at.shift == 0 && at.bits == 8 * d.bytes, d.motorola, t, d.linear);
  }
  return d;
}

// Decodes n consecutive records.
void RunDecoder(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  d.kernel(d, records, n, out);
  if (d.conversion)
    for (size_t i = 0; i < n; ++i) out[i] = ApplyConversion(d.conversion, out[i]);
}

// ---------------------------------------------------------------- raw values

uint32_t ContainerSize(uint32_t bytes) {
  if (bytes <= 2) return bytes;
  if (bytes <= 4) return 4;
  if (bytes <= 8) return 8;
  return bytes;
}

// Bytes a channel's value occupies in its record: for integers every byte
// its bits touch from the shift on, for other types (bit count + 7) / 8.
uint32_t StoredBytes(uint16_t type, uint32_t shift, uint32_t bits) {
  const Kind kind = Classify(type, Above16::None).kind;
  if (kind == Kind::UInt || kind == Kind::Int) return (shift + bits + 7) / 8;
  return (bits + 7) / 8;
}

// Which types the raw readers give zeros for: GetRawDataContent 4 to 7,
// GetDataAndTimeContent 4 to 6 (it copies text bytes); both above 16.
enum class RawReader { Values, ValuesAndTime };

struct RawCopier {
  size_t firstByte = 0;
  uint32_t bytes = 0;    // (bit count + 7) / 8
  uint32_t within = 0;   // of them within the record
  uint32_t element = 0;  // container size
  bool reverse = false;
  bool zeros = false;
  bool isDouble = false;  // elements are 64-bit floats
};

RawCopier MakeRawCopier(const CCNBlock& cn, uint16_t recordIds, uint32_t recordLength, RawReader reader) {
  RawCopier c;
  const Placement at = PlaceChannel(cn, recordIds);
  const uint16_t type = cn.GetDataType();
  const TypeClass tc = Classify(type, Above16::None);
  c.bytes = StoredBytes(type, at.shift, at.bits);
  c.element = ContainerSize(c.bytes);
  c.firstByte = static_cast<size_t>(std::min<uint64_t>(at.firstByte, recordLength));
  c.within = BytesWithin(at.firstByte, c.bytes, recordLength);
  c.reverse = tc.motorola;
  c.zeros = tc.kind == Kind::None && !(reader == RawReader::ValuesAndTime && type == 7);
  c.isDouble = tc.kind == Kind::Float && at.bits == 64;
  return c;
}

// One element: the value's bytes (reversed for Motorola), zero-extended; bytes
// beyond the record read as zero.
void CopyRaw(const RawCopier& c, const uint8_t* record, uint8_t* dest) {
  std::memset(dest, 0, c.element);
  if (c.zeros) return;
  const uint8_t* src = record + c.firstByte;
  if (!c.reverse) {
    std::memcpy(dest, src, c.within);
    return;
  }
  for (uint32_t i = 0; i < c.within; ++i) dest[c.bytes - 1 - i] = src[i];
}

// The elements of n records `stride` bytes apart. A value that fills its
// element whole (1, 2, 4 or 8 bytes within the record) is copied as one word.
template <size_t L, bool Reverse>
void CopyWords(const uint8_t* src, size_t stride, size_t n, uint8_t* dest) {
  for (size_t i = 0; i < n; ++i, src += stride, dest += L) {
    uint8_t v[L];
    std::memcpy(v, src, L);
    if constexpr (Reverse) std::reverse(v, v + L);
    std::memcpy(dest, v, L);
  }
}

template <bool Reverse>
bool CopyWholeWords(size_t element, const uint8_t* src, size_t stride, size_t n, uint8_t* dest) {
  switch (element) {
    case 1: CopyWords<1, false>(src, stride, n, dest); return true;
    case 2: CopyWords<2, Reverse>(src, stride, n, dest); return true;
    case 4: CopyWords<4, Reverse>(src, stride, n, dest); return true;
    case 8: CopyWords<8, Reverse>(src, stride, n, dest); return true;
    default: return false;
  }
}

void CopyRawRecords(const RawCopier& c, const uint8_t* record, size_t stride, size_t n, uint8_t* dest) {
  if (!c.zeros && c.within == c.bytes && c.bytes == c.element &&
      (c.reverse ? CopyWholeWords<true>(c.element, record + c.firstByte, stride, n, dest)
                 : CopyWholeWords<false>(c.element, record + c.firstByte, stride, n, dest)))
    return;
  for (size_t i = 0; i < n; ++i) CopyRaw(c, record + i * stride, dest + i * c.element);
}

// ---------------------------------------------------------------- NoValue time stamps

bool ReplacesTimeNoValues(const CMdf* file, const CCNBlock& cn) {
  return file && file->IsKestravo() && cn.GetChannelType() == 1 && cn.IsNoValueSet();
}

// Adds record indices (ascending) to the channel's replaced-sample list,
// which stays ascending and free of repeats.
void AddReplacedSamples(CCNBlock& cn, const std::vector<uint32_t>& indices) {
  std::vector<uint32_t>& list = cn.ReplacedSamples();
  if (list.empty() || list.back() < indices.front()) {
    list.insert(list.end(), indices.begin(), indices.end());
  } else {
    std::vector<uint32_t> merged;
    merged.reserve(list.size() + indices.size());
    std::set_union(list.begin(), list.end(), indices.begin(), indices.end(), std::back_inserter(merged));
    list.swap(merged);
  }
  cn.SetHasReplacedSampleList(true);
}

// In a time channel of a file of the KESTRAVO writer, each sample equal to the
// NoValue becomes the previous sample + half the step (the difference of the
// first two neighbouring samples of the range that are not NoValue); the first
// sample of the range has no previous one and becomes 0.0, or keeps its value
// with `keepFirst` (and so do the NoValue samples right after it). Every
// NoValue sample's record index (`firstRecord` + its index) goes into the
// channel's replaced-sample list.
//
// The samples of one range are fed in order, in any number of pieces; the
// step is looked for ahead (FindStep) only when a NoValue sample comes before it.
class TimeNoValueReplacer {
 public:
  TimeNoValueReplacer(CCNBlock& cn, uint64_t firstRecord, bool keepFirst)
      : cn_(&cn), noValue_(cn.GetNoValue()), firstRecord_(firstRecord), keepFirst_(keepFirst) {}

  // Replaces in values[0, n), the samples [index, index + n) of the range,
  // where index counts the samples fed before. findStep(i) gives the step
  // from the range's sample i on (0 when there is none).
  template <typename FindStep>
  void Feed(double* values, size_t n, FindStep&& findStep) {
    for (size_t k = 0; k < n; ++k, ++index_) {
      const double original = values[k];
      const bool isNoValue = original == noValue_;
      if (!stepKnown_ && index_ > 0 && !isNoValue && !lastWasNoValue_) {
        step_ = original - lastOriginal_;
        stepKnown_ = true;
      }
      lastOriginal_ = original;
      lastWasNoValue_ = isNoValue;
      double v = original;
      if (isNoValue) {
        indices_.push_back(static_cast<uint32_t>(firstRecord_ + index_));
        if (index_ == 0 && !keepFirst_) {
          v = 0.0;
        } else if (havePrevious_) {
          if (!stepKnown_) {
            step_ = findStep(index_);
            stepKnown_ = true;
          }
          v = previous_ + step_ / 2.0;
        } else {
          continue;  // kept: nothing before it to go on from
        }
        values[k] = v;
      }
      previous_ = v;
      havePrevious_ = true;
    }
  }
  // Adds the replaced samples' record indices to the channel's list.
  void Finish() {
    if (!indices_.empty()) AddReplacedSamples(*cn_, indices_);
    indices_.clear();
  }

 private:
  CCNBlock* cn_;
  double noValue_;
  uint64_t firstRecord_;
  bool keepFirst_;
  uint64_t index_ = 0;
  bool havePrevious_ = false;
  double previous_ = 0;
  bool stepKnown_ = false;
  double step_ = 0;
  bool lastWasNoValue_ = false;
  double lastOriginal_ = 0;
  std::vector<uint32_t> indices_;
};

// The difference of the first two neighbouring values of v[from, n) that are
// not the NoValue; 0 when there are none.
double StepIn(const double* v, size_t n, size_t from, double noValue) {
  for (size_t i = from; i + 1 < n; ++i)
    if (v[i] != noValue && v[i + 1] != noValue) return v[i + 1] - v[i];
  return 0;
}

void ReplaceInDoubles(CCNBlock& cn, double* values, size_t n, uint64_t firstRecord, bool keepFirst) {
  TimeNoValueReplacer replacer(cn, firstRecord, keepFirst);
  const double noValue = cn.GetNoValue();
  replacer.Feed(values, n, [&](size_t from) { return StepIn(values, n, from, noValue); });
  replacer.Finish();
}

void ReplaceInRawDoubles(CCNBlock& cn, uint8_t* elements, size_t n, uint64_t firstRecord) {
  std::vector<double> values(n);
  for (size_t i = 0; i < n; ++i) values[i] = LoadF64(elements + 8 * i);
  ReplaceInDoubles(cn, values.data(), n, firstRecord, false);
  for (size_t i = 0; i < n; ++i) StoreF64(elements + 8 * i, values[i]);
}

bool IsNoValue(const CCNBlock& cn, double v) {
  if (!cn.IsNoValueSet()) return false;
  constexpr uint64_t kQuietNaN = 0x7FFFFFFF00000000ull;  // NoValue given as "1.#QNAN"
  if (std::bit_cast<uint64_t>(cn.GetNoValue()) == kQuietNaN) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    return bits == kQuietNaN || bits == kQuietNaN + 1;
  }
  return v == cn.GetNoValue();
}

// ---------------------------------------------------------------- files

// The stream of one reading operation: the file object's open stream, or the
// file opened by its path (reading, others may only read) for the operation.
class ReadStream {
 public:
  explicit ReadStream(CMdf* mdf) {
    if (!mdf) return;
    if (mdf->IsOpen()) {
      file_ = &mdf->GetFile();
    } else if (own_.Open(mdf->GetPath(), winport::FileAccess::Read, winport::FileShare::Read)) {
      file_ = &own_;
    }
  }
  winport::File* operator->() const { return file_; }
  winport::File& operator*() const { return *file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  winport::File own_;
  winport::File* file_ = nullptr;
};

// Reads records [first, first + count) sequentially in chunks of whole
// records and hands each chunk on as fn(chunk, records before it in this
// call, records in it). A short read ends the walk; only whole records are
// handed on. Returns the records handed on.
template <typename Fn>
uint32_t ReadRecordChunks(winport::File& file, int64_t dataPos, uint32_t recordLength, uint32_t first,
                          uint32_t count, Fn&& fn, size_t chunkBytes = kChunkBytes) {
  if (count == 0 || recordLength == 0) return 0;
  const size_t perChunk = std::min<size_t>(count, std::max<size_t>(1, chunkBytes / recordLength));
  std::vector<uint8_t> chunk(perChunk * recordLength);
  if (!file.Seek(dataPos + static_cast<int64_t>(first) * recordLength)) return 0;
  uint32_t done = 0;
  while (done < count) {
    const size_t want = std::min<size_t>(perChunk, count - done);
    const size_t got = file.Read(chunk.data(), want * recordLength) / recordLength;
    if (got > 0) fn(chunk.data(), done, got);
    done += static_cast<uint32_t>(got);
    if (got < want) break;
  }
  return done;
}

}  // namespace

// ---------------------------------------------------------------- CDataBlock

CDataBlock::CDataBlock(CDGBlock* dg, CMdf* mdf) : CMdfBlock("CDataBlock"), m_pDG(dg), m_pFile(mdf) {
  m_pMdf = mdf;
}

CDataBlock::~CDataBlock() = default;

const CCCBlock* CDataBlock::GetEffectiveConversion(const CCCBlock* cc) {
  if (!cc) return nullptr;
  if (cc->GetType() == CCCBlock::kIdentity) return nullptr;
  if (cc->GetType() == CCCBlock::kLinear && cc->GetParams()[1] == 1 && cc->GetParams()[0] == 0)
    return nullptr;
  return cc;
}

uint32_t CDataBlock::RawElementSize(const CCNBlock* cn) {
  if (!cn || cn->GetNumberOfBits() == 0) return 0;
  return ContainerSize(StoredBytes(cn->GetDataType(), cn->GetStartOffset() & 7u, cn->GetNumberOfBits()));
}

uint32_t CDataBlock::GetRecordLength() const {
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  return cg ? static_cast<uint32_t>(cg->GetRecordSize()) + m_pDG->GetNumberOfRecordIds() : 0;
}

uint32_t CDataBlock::GetNumberOfRecords() const {
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  return cg ? cg->GetNumberOfRecords() : 0;
}

uint32_t CDataBlock::GetRecordsInFile() {
  ReadStream file(m_pFile);
  return file ? CutToAvailable(0, GetNumberOfRecords(), file->Size()) : 0;
}

uint32_t CDataBlock::CutToAvailable(uint32_t firstRecord, uint32_t count, int64_t fileSize) const {
  const uint32_t length = GetRecordLength();
  if (length == 0) return 0;
  uint64_t available = GetNumberOfRecords();
  const int64_t dataPos = m_pDG->GetDataLink();
  const uint64_t inFile = fileSize > dataPos ? static_cast<uint64_t>(fileSize - dataPos) / length : 0;
  available = std::min(available, inFile);
  if (firstRecord >= available) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(count, available - firstRecord));
}

bool CDataBlock::DeliversValues(const CCNBlock* cn) const {
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  if (!cn || !cg) return false;
  const uint32_t bits = cn->GetNumberOfBits();
  if (bits == 0) return false;
  const Kind kind = Classify(cn->GetDataType(), Above16::Unsigned).kind;
  if ((kind == Kind::UInt || kind == Kind::Int || kind == Kind::Float) && bits > 64) return false;
  const uint64_t end = uint64_t{cn->GetStartOffset()} + bits + 8 * uint64_t{cn->GetAdditionalByteOffset()};
  return end <= 8 * uint64_t{cg->GetRecordSize()};
}

uint32_t CDataBlock::GetRawDataContent(CCNBlock* cn, std::span<uint8_t> dest, uint32_t firstRecord,
                                       uint32_t count) {
  const uint32_t element = RawElementSize(cn);
  if (element == 0 || !DeliversValues(cn)) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, dest.size() / element));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  const RawCopier copier = MakeRawCopier(*cn, m_pDG->GetNumberOfRecordIds(), length, RawReader::Values);
  if (copier.zeros) {
    std::memset(dest.data(), 0, static_cast<size_t>(count) * element);
    return count;
  }
  const uint32_t done =
      ReadRecordChunks(*file, m_pDG->GetDataLink(), length, firstRecord, count,
                       [&](const uint8_t* chunk, size_t before, size_t n) {
                         uint8_t* out = dest.data() + before * element;
                         CopyRawRecords(copier, chunk, length, n, out);
                       });
  if (done > 0 && copier.isDouble && ReplacesTimeNoValues(m_pFile, *cn))
    ReplaceInRawDoubles(*cn, dest.data(), done, firstRecord);
  return done;
}

uint32_t CDataBlock::CopyRawValues(const CCNBlock* cn, std::span<const uint8_t> records, std::span<uint8_t> dest,
                                   uint32_t firstRecord, uint32_t count, uint32_t bufferFirstRecord) const {
  const uint32_t element = RawElementSize(cn);
  const uint32_t length = GetRecordLength();
  if (element == 0 || length == 0 || !DeliversValues(cn)) return 0;
  const uint64_t inBuffer = records.size() / length;
  const uint64_t absoluteFirst = uint64_t{bufferFirstRecord} + firstRecord;
  const uint64_t inGroup = GetNumberOfRecords();
  if (firstRecord >= inBuffer || absoluteFirst >= inGroup) return 0;
  const size_t n = static_cast<size_t>(
      std::min<uint64_t>({count, dest.size() / element, inBuffer - firstRecord, inGroup - absoluteFirst}));
  const RawCopier copier = MakeRawCopier(*cn, m_pDG->GetNumberOfRecordIds(), length, RawReader::Values);
  const uint8_t* record = records.data() + size_t{firstRecord} * length;
  CopyRawRecords(copier, record, length, n, dest.data());
  return static_cast<uint32_t>(n);
}

uint32_t CDataBlock::GetDataAndTimeContent(CCNBlock* value, CCNBlock* time, std::span<uint8_t> valueDest,
                                           std::span<uint8_t> timeDest, uint32_t firstRecord,
                                           uint32_t count) {
  const uint32_t valueElement = RawElementSize(value), timeElement = RawElementSize(time);
  if (valueElement == 0 || timeElement == 0 || !DeliversValues(value) || !DeliversValues(time)) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(
      {count, valueDest.size() / valueElement, timeDest.size() / timeElement}));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  const uint16_t ids = m_pDG->GetNumberOfRecordIds();
  const RawCopier valueCopier = MakeRawCopier(*value, ids, length, RawReader::ValuesAndTime);
  const RawCopier timeCopier = MakeRawCopier(*time, ids, length, RawReader::ValuesAndTime);
  const uint32_t done = ReadRecordChunks(
      *file, m_pDG->GetDataLink(), length, firstRecord, count, [&](const uint8_t* chunk, size_t before, size_t n) {
        for (size_t i = 0; i < n; ++i) {
          const uint8_t* record = chunk + i * length;
          CopyRaw(valueCopier, record, valueDest.data() + (before + i) * valueElement);
          CopyRaw(timeCopier, record, timeDest.data() + (before + i) * timeElement);
        }
      });
  if (done > 0) {
    if (valueCopier.isDouble && ReplacesTimeNoValues(m_pFile, *value))
      ReplaceInRawDoubles(*value, valueDest.data(), done, firstRecord);
    if (timeCopier.isDouble && ReplacesTimeNoValues(m_pFile, *time))
      ReplaceInRawDoubles(*time, timeDest.data(), done, firstRecord);
  }
  return done;
}

uint32_t CDataBlock::GetDoubleContent(CCNBlock* cn, std::span<double> dest, uint32_t firstRecord,
                                      uint32_t count, bool convert) {
  if (!DeliversValues(cn)) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, dest.size()));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  const Decoder decoder = MakeDecoder(*cn, m_pDG->GetNumberOfRecordIds(), length, Above16::None, convert);
  const uint32_t done = ReadRecordChunks(*file, m_pDG->GetDataLink(), length, firstRecord, count,
                                         [&](const uint8_t* chunk, size_t before, size_t n) {
                                           RunDecoder(decoder, chunk, n, dest.data() + before);
                                         });
  if (done > 0 && ReplacesTimeNoValues(m_pFile, *cn)) ReplaceInDoubles(*cn, dest.data(), done, firstRecord, false);
  return done;
}

uint32_t CDataBlock::DecodeValues(CCNBlock* cn, std::span<const uint8_t> records, std::span<double> dest,
                                  uint32_t firstRecord, uint32_t count, bool convert,
                                  uint32_t bufferFirstRecord) const {
  const uint32_t length = GetRecordLength();
  if (length == 0 || !DeliversValues(cn)) return 0;
  const uint64_t inBuffer = records.size() / length;
  const uint64_t absoluteFirst = static_cast<uint64_t>(bufferFirstRecord) + firstRecord;
  const uint64_t inGroup = GetNumberOfRecords();
  if (firstRecord >= inBuffer || absoluteFirst >= inGroup) return 0;
  const size_t n = static_cast<size_t>(
      std::min<uint64_t>({count, dest.size(), inBuffer - firstRecord, inGroup - absoluteFirst}));
  const Decoder decoder = MakeDecoder(*cn, m_pDG->GetNumberOfRecordIds(), length, Above16::Unsigned, convert);
  RunDecoder(decoder, records.data() + static_cast<size_t>(firstRecord) * length, n, dest.data());
  if (n > 0 && ReplacesTimeNoValues(m_pFile, *cn)) ReplaceInDoubles(*cn, dest.data(), n, absoluteFirst, true);
  return static_cast<uint32_t>(n);
}

uint32_t CDataBlock::ReadChannelValues(winport::File& file, CCNBlock* cn, std::span<double> dest,
                                       uint32_t firstRecord, uint32_t count, bool convert) const {
  if (!DeliversValues(cn) || !file.IsOpen()) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, dest.size()));
  count = CutToAvailable(firstRecord, count, file.Size());
  const uint32_t length = GetRecordLength();
  const Decoder decoder = MakeDecoder(*cn, m_pDG->GetNumberOfRecordIds(), length, Above16::Unsigned, convert);
  return ReadRecordChunks(file, m_pDG->GetDataLink(), length, firstRecord, count,
                          [&](const uint8_t* chunk, size_t before, size_t n) {
                            RunDecoder(decoder, chunk, n, dest.data() + before);
                          });
}

// ---------------------------------------------------------------- the group decoder

struct CGroupDecoder::Channel {
  CCNBlock* cn = nullptr;
  bool delivers = false;
  bool replaces = false;  // NoValue replacement in a KESTRAVO time channel
  Decoder decoder;
};

CGroupDecoder::CGroupDecoder(const CDataBlock& data, std::span<CCNBlock* const> channels, Options options)
    : m_data(data) {
  m_recordLength = data.GetRecordLength();
  m_perSlice = std::max<size_t>(1, kSliceBytes / std::max<size_t>(m_recordLength, 1));
  const CDGBlock* dg = data.GetDataGroup();
  const uint16_t ids = dg ? dg->GetNumberOfRecordIds() : 0;
  m_channels.resize(channels.size());
  for (size_t k = 0; k < channels.size(); ++k) {
    Channel& c = m_channels[k];
    c.cn = channels[k];
    c.delivers = m_recordLength > 0 && data.DeliversValues(c.cn);
    if (!c.delivers) continue;
    c.decoder = MakeDecoder(*c.cn, ids, static_cast<uint32_t>(m_recordLength), Above16::Unsigned, options.convert);
    c.replaces = options.replaceTimeNoValues && ReplacesTimeNoValues(data.GetMdf(), *c.cn);
  }
}

CGroupDecoder::~CGroupDecoder() = default;

size_t CGroupDecoder::GetChannelCount() const { return m_channels.size(); }

CCNBlock* CGroupDecoder::GetChannel(size_t k) const { return k < m_channels.size() ? m_channels[k].cn : nullptr; }

bool CGroupDecoder::Delivers(size_t k) const { return k < m_channels.size() && m_channels[k].delivers; }

double CGroupDecoder::FindStep(const Channel& channel, const uint8_t* records, size_t from, size_t n) const {
  // Decodes ahead one slice at a time; a pair may span two slices.
  const double noValue = channel.cn->GetNoValue();
  std::vector<double> values(std::min(m_perSlice, n - from));
  bool haveLast = false;
  double last = 0;
  for (size_t at = from; at < n;) {
    const size_t m = std::min(m_perSlice, n - at);
    RunDecoder(channel.decoder, records + at * m_recordLength, m, values.data());
    for (size_t i = 0; i < m; ++i) {
      if (haveLast && last != noValue && values[i] != noValue) return values[i] - last;
      last = values[i];
      haveLast = true;
    }
    at += m;
  }
  return 0;
}

template <typename Emit>
uint32_t CGroupDecoder::Walk(std::span<const uint8_t> records, uint32_t firstRecord, uint32_t count,
                             uint32_t bufferFirstRecord, Emit&& emit) {
  if (m_recordLength == 0) return 0;
  const uint64_t inBuffer = records.size() / m_recordLength;
  const uint64_t absoluteFirst = uint64_t{bufferFirstRecord} + firstRecord;
  const uint64_t inGroup = m_data.GetNumberOfRecords();
  if (firstRecord >= inBuffer || absoluteFirst >= inGroup) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>({count, inBuffer - firstRecord, inGroup - absoluteFirst}));
  const uint8_t* base = records.data() + size_t{firstRecord} * m_recordLength;

  // The replacement of NoValue time stamps runs over the call's whole range.
  std::vector<std::unique_ptr<TimeNoValueReplacer>> replacers;
  for (size_t k = 0; k < m_channels.size(); ++k)
    if (m_channels[k].delivers && m_channels[k].replaces) {
      replacers.resize(m_channels.size());
      replacers[k] = std::make_unique<TimeNoValueReplacer>(*m_channels[k].cn, absoluteFirst, true);
    }

  for (size_t done = 0; done < n;) {
    const size_t m = std::min(m_perSlice, n - done);
    const uint8_t* slice = base + done * m_recordLength;
    for (size_t k = 0; k < m_channels.size(); ++k) {
      const Channel& c = m_channels[k];
      if (!c.delivers) continue;
      TimeNoValueReplacer* replacer = replacers.empty() ? nullptr : replacers[k].get();
      emit(k, done, m, slice, [&](double* values) {
        if (replacer)
          replacer->Feed(values, m, [&](size_t from) { return FindStep(c, base, from, n); });
      });
    }
    done += m;
  }
  for (auto& replacer : replacers)
    if (replacer) replacer->Finish();
  return static_cast<uint32_t>(n);
}

uint32_t CGroupDecoder::Decode(std::span<const uint8_t> records, std::span<const std::span<double>> outputs,
                               uint32_t firstRecord, uint32_t count, uint32_t bufferFirstRecord) {
  if (outputs.size() != m_channels.size()) return 0;
  for (size_t k = 0; k < m_channels.size(); ++k)
    if (m_channels[k].delivers) count = static_cast<uint32_t>(std::min<uint64_t>(count, outputs[k].size()));
  return Walk(records, firstRecord, count, bufferFirstRecord,
              [&](size_t k, size_t first, size_t m, const uint8_t* slice, auto&& replace) {
                double* out = outputs[k].data() + first;
                RunDecoder(m_channels[k].decoder, slice, m, out);
                replace(out);
              });
}

uint32_t CGroupDecoder::Decode(std::span<const uint8_t> records, Sink& sink, uint32_t firstRecord, uint32_t count,
                               uint32_t bufferFirstRecord) {
  m_scratch.resize(m_perSlice);
  return Walk(records, firstRecord, count, bufferFirstRecord,
              [&](size_t k, size_t first, size_t m, const uint8_t* slice, auto&& replace) {
                double* out = m_scratch.data();
                RunDecoder(m_channels[k].decoder, slice, m, out);
                replace(out);
                sink.Values(k, static_cast<uint32_t>(first), std::span<const double>(out, m));
              });
}

uint32_t CDataBlock::ReadGroupValues(std::span<CCNBlock* const> channels, std::span<const std::span<double>> outputs,
                                     uint32_t firstRecord, uint32_t count, GroupDecodeOptions options) {
  if (outputs.size() != channels.size()) return 0;
  // The replacement runs over the whole range once every chunk is decoded.
  CGroupDecoder decoder(*this, channels, {options.convert, false});
  for (size_t k = 0; k < channels.size(); ++k)
    if (decoder.Delivers(k)) count = static_cast<uint32_t>(std::min<uint64_t>(count, outputs[k].size()));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  std::vector<std::span<double>> shifted(outputs.size());
  const uint32_t done = ReadRecordChunks(
      *file, m_pDG->GetDataLink(), length, firstRecord, count, [&](const uint8_t* chunk, size_t before, size_t n) {
        for (size_t k = 0; k < outputs.size(); ++k)
          if (decoder.Delivers(k)) shifted[k] = outputs[k].subspan(before, n);
        decoder.Decode(std::span<const uint8_t>(chunk, n * length), shifted, 0, static_cast<uint32_t>(n),
                       firstRecord + static_cast<uint32_t>(before));
      }, kGroupChunkBytes);
  if (done > 0 && options.replaceTimeNoValues)
    for (size_t k = 0; k < channels.size(); ++k)
      if (decoder.Delivers(k) && ReplacesTimeNoValues(m_pFile, *channels[k]))
        ReplaceInDoubles(*channels[k], outputs[k].data(), done, firstRecord, true);
  return done;
}

uint32_t CDataBlock::ReadGroupChunks(std::span<CCNBlock* const> channels, bool convert, uint32_t firstRecord,
                                     uint32_t count, const ChunkFn& fn, const PlaceFn& place) {
  CGroupDecoder decoder(*this, channels, {convert, false});
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  if (length == 0) return 0;
  // Chunks of whole records, with one array of values per channel.
  const size_t perChunk = std::min<size_t>(count, std::max<size_t>(1, kGroupChunkBytes / length));
  std::vector<std::vector<double>> values(channels.size());
  std::vector<std::span<double>> spans(channels.size());
  for (size_t k = 0; k < channels.size(); ++k) values[k].assign(perChunk, 0.0);
  return ReadRecordChunks(
      *file, m_pDG->GetDataLink(), length, firstRecord, count,
      [&](const uint8_t* chunk, size_t before, size_t n) {
        for (size_t k = 0; k < channels.size(); ++k) spans[k] = std::span(values[k]).first(n);
        const std::span<const uint8_t> records(chunk, n * length);
        const uint32_t first = firstRecord + static_cast<uint32_t>(before);
        if (place) {
          place(first, static_cast<uint32_t>(n), spans);
          for (size_t k = 0; k < channels.size(); ++k)
            if (spans[k].size() != n) spans[k] = std::span(values[k]).first(n);  // a place of another size is not taken
        }
        decoder.Decode(records, spans, 0, static_cast<uint32_t>(n), first);
        fn(first, records, spans);
      },
      kGroupChunkBytes);
}

bool CDataBlock::LoadRecord(uint32_t index) {
  m_recordIndex = -1;
  const uint32_t length = GetRecordLength();
  if (length == 0 || index >= GetNumberOfRecords()) return false;
  ReadStream file(m_pFile);
  if (!file) return false;
  m_record.assign(length, 0);
  const int64_t pos = static_cast<int64_t>(m_pDG->GetDataLink()) + static_cast<int64_t>(index) * length;
  if (!file->Seek(pos) || !file->ReadExact(m_record.data(), length)) return false;
  m_recordIndex = index;
  return true;
}

void CDataBlock::Display(IListControl& list) {
  list.SetRedraw(false);
  list.DeleteAllItems();
  for (int n = list.GetColumnCount(); n > 0; --n) list.DeleteColumn(0);
  list.InsertColumn(0, "Index", ColumnFormat::Left, 50);
  list.SetColumnTitle(0, "Index");
  int column = 1;
  if (const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr)
    for (const CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext())
      list.InsertColumn(column++, cn->GetSignalName(), ColumnFormat::Right, 80);
  // One placeholder row; the grid's rows come from GetCellText.
  list.InsertItem(0, "nix");
  list.SetRedraw(true);
  LoadRecord(0);
}

std::string CDataBlock::GetCellText(uint32_t record, int column) {
  if (column == 0) return StrFormat("%u", record);
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  if (column < 0 || !cg) return {};
  CCNBlock* cn = cg->GetFirstCN();
  for (int k = 1; cn && k < column; ++k) cn = cn->GetNext();
  if (!cn || !DeliversValues(cn)) return {};
  if (m_recordIndex != record && !LoadRecord(record)) return {};
  // One value, decoded as DecodeValues does, without touching the replaced-sample list.
  double v = 0;
  const uint32_t length = static_cast<uint32_t>(m_record.size());
  RunDecoder(MakeDecoder(*cn, m_pDG->GetNumberOfRecordIds(), length, Above16::Unsigned, true), m_record.data(), 1, &v);
  return FormatCell(*cn, v, m_record.data());
}

std::string CDataBlock::FormatCell(const CCNBlock& cn, double v, const uint8_t* record) const {
  if (!DeliversValues(&cn)) return {};
  if (cn.GetDataType() == 7) {
    // A text: up to its first NUL, within its bytes.
    const Placement at = PlaceChannel(cn, m_pDG->GetNumberOfRecordIds());
    return FixedText(record + at.firstByte, (at.bits + 7) / 8);
  }
  const CCCBlock* cc = cn.GetConversion();
  const int type = cc ? cc->GetType() : 0;
  if (cc && type > CCCBlock::kFormula && type != CCCBlock::kIdentity) {
    switch (type) {
      case CCCBlock::kTextTable: {
        if (cc->IsRangeTextTable()) {
          const std::string* text = cc->RangeTextOf(v);
          return text ? *text : StrFormat("%.15lg", v);
        }
        const auto& table = cc->GetTextTable();
        if (table.empty()) return StrFormat("%.15lg", v);
        auto text = [](const CCCBlock::TextTableEntry& e) {
          return std::string(e.text.data(), strnlen(e.text.data(), CCCBlock::kTextTableTextSize));
        };
        if (v > table.back().value) return text(table.back());
        if (v < table.front().value) return text(table.front());
        for (const auto& e : table)
          if (e.value == v) return text(e);
        return {};
      }
      case CCCBlock::kTextRange:
      case CCCBlock::kTime:
        return StrFormat("%.15lg", v);
      case CCCBlock::kDate:
        return cc->FormatDate();
      default:
        return {};
    }
  }
  const std::string text = StrFormat("%.15lg", v);
  return IsNoValue(cn, v) ? "! " + text : text;
}

}  // namespace mdf
