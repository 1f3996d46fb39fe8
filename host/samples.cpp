#include "host/samples.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/failure.h"

namespace host {
namespace {

template <typename T>
T Load(const uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// The bit offset and the bit count that BitSize names.
unsigned FieldOffset(int32_t bitSize) { return static_cast<unsigned>(bitSize) & 0xFFu; }
unsigned FieldBits(int32_t bitSize) { return (static_cast<unsigned>(bitSize) >> 8 & 0xFFu) + 1u; }

// Cuts a bit field from its word: bits = (BitSize >> 8) + 1 from bit BitSize & 0xFF.
// Layout::Of refuses a field that does not lie within the word; here it gives NaN.
template <typename Word, bool kSigned>
double BitField(const uint8_t* bytes, int32_t bitSize) {
  const uint64_t word = Load<Word>(bytes);
  const unsigned width = sizeof(Word) * 8;
  const unsigned offset = FieldOffset(bitSize);
  const unsigned bits = FieldBits(bitSize);
  if (offset + bits > width) return std::numeric_limits<double>::quiet_NaN();
  const uint64_t mask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  uint64_t field = (word >> offset) & mask;
  if (kSigned && bits < 64 && (field >> (bits - 1) & 1)) field |= ~mask;
  return kSigned ? static_cast<double>(static_cast<int64_t>(field)) : static_cast<double>(field);
}

// A 64-bit integer: the whole word when BitSize is 0 (what modules without bit
// fields give), else the field BitSize names, as for the narrower bit fields.
template <bool kSigned>
double Word64(const uint8_t* bytes, int32_t bitSize) {
  if (bitSize == 0)
    return kSigned ? static_cast<double>(Load<int64_t>(bytes)) : static_cast<double>(Load<uint64_t>(bytes));
  return BitField<uint64_t, kSigned>(bytes, bitSize);
}

template <typename T>
double Plain(const uint8_t* bytes, int32_t) {
  return static_cast<double>(Load<T>(bytes));
}

double Low24(const uint8_t* bytes, int32_t) { return static_cast<double>(Load<uint32_t>(bytes) & 0xFFFFFFu); }
double SignedLow24(const uint8_t* bytes, int32_t) {
  const uint32_t v = Load<uint32_t>(bytes) & 0xFFFFFFu;
  return static_cast<double>(v & 0x800000u ? static_cast<int32_t>(v | 0xFF000000u) : static_cast<int32_t>(v));
}

// NoValue as the stored type holds it (integers truncated); none when no stored value can equal it.
std::optional<double> StoredNoValue(const Layout& layout) {
  const double v = layout.noValue;
  switch (layout.dtyp) {
    case 10:
    case 11: return static_cast<double>(static_cast<float>(v));
    case 12:
    case 13: return v;
    default: break;
  }
  if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return std::nullopt;
  return std::trunc(v);
}

// Whether the type is cut from its word by BitSize.
bool IsBitField(int32_t dtyp, int32_t bitSize) {
  switch (dtyp) {
    case 16: case 17: case 18: case 19: case 30: case 31: return true;
    case 32: case 33: return bitSize != 0;
    default: return false;
  }
}

}  // namespace

int ValueSize(int32_t dtyp) {
  switch (dtyp) {
    case 4: case 5: case 16: case 17: return 1;
    case 6: case 7: case 18: case 19: return 2;
    case 8: case 9: case 10: case 11: case 28: case 29: case 30: case 31: return 4;
    case 12: case 13: case 32: case 33: return 8;
    default: return 0;
  }
}

Decoder DecoderOf(int32_t dtyp) {
  switch (dtyp) {
    case 4: return &Plain<uint8_t>;
    case 5: return &Plain<int8_t>;
    case 6: return &Plain<uint16_t>;
    case 7: return &Plain<int16_t>;
    case 8: return &Plain<uint32_t>;
    case 9: return &Plain<int32_t>;
    case 10: case 11: return &Plain<float>;
    case 12: case 13: return &Plain<double>;
    case 16: return &BitField<uint8_t, false>;
    case 17: return &BitField<uint8_t, true>;
    case 18: return &BitField<uint16_t, false>;
    case 19: return &BitField<uint16_t, true>;
    case 28: return &Low24;
    case 29: return &SignedLow24;
    case 30: return &BitField<uint32_t, false>;
    case 31: return &BitField<uint32_t, true>;
    case 32: return &Word64<false>;
    case 33: return &Word64<true>;
    default: return nullptr;
  }
}

Layout Layout::Of(const PropertyList& s, uint32_t blockSize, uint32_t dataSize) {
  Layout l;
  l.name = TextOf(s, "Name");
  auto i32 = [&](const char* name) { return static_cast<int32_t>(NumberOf(s, name)); };
  auto u32 = [&](const char* name) { return static_cast<uint32_t>(static_cast<int64_t>(NumberOf(s, name))); };
  l.dtyp = i32("DTyp");
  l.bitSize = i32("BitSize");
  l.valuesPerBlock = u32("ValuesPerBlock");
  l.blockOffset = u32("BlockOffset");
  l.demux = u32("Demux");
  l.block0 = u32("Block0");
  l.count = u32("NoOfValues");
  l.yFactor = NumberOf(s, "YFactor", 1);
  l.yOffset = NumberOf(s, "YOffset", 0);
  l.hasNoValue = NumberOf(s, "HasNoValue") == 1;
  l.noValue = NumberOf(s, "NoValue");
  l.xSignal = TextOf(s, "XSignal");
  l.xFactor = NumberOf(s, "XFactor");
  l.xOffset = NumberOf(s, "XOffset");
  l.isTime = NumberOf(s, "STyp") == 6;
  l.width = ValueSize(l.dtyp);
  const std::string which = "signal \"" + l.name + "\"";
  if (l.width == 0)
    throw Failure(Exit::Module, "read", std::nullopt,
                  which + " has the value type DTyp " + std::to_string(l.dtyp) + ", which zphost cannot decode");
  if (l.count == 0) return l;
  if (IsBitField(l.dtyp, l.bitSize) &&
      FieldOffset(l.bitSize) + FieldBits(l.bitSize) > static_cast<unsigned>(l.width) * 8)
    throw Failure(Exit::Module, "read", std::nullopt,
                  which + " has BitSize " + std::to_string(l.bitSize) + ": " + std::to_string(FieldBits(l.bitSize)) +
                      (FieldBits(l.bitSize) == 1 ? " bit" : " bits") + " from bit " + std::to_string(FieldOffset(l.bitSize)) + " pass its " +
                      std::to_string(l.width * 8) + "-bit word");
  const std::string values = which + " has " + std::to_string(l.count) + (l.count == 1 ? " value" : " values") + " but ";
  if (l.valuesPerBlock == 0) throw NoData("read", values + "ValuesPerBlock 0");
  if (blockSize == 0) throw NoData("read", values + "the file has BlockSize 0");
  if (dataSize == 0) throw NoData("read", values + "the file has DataSize 0");
  if (l.valuesPerBlock > 1 && l.demux < static_cast<uint32_t>(l.width))
    throw Failure(Exit::Module, "read", std::nullopt,
                  which + " has Demux " + std::to_string(l.demux) + " below its values' " +
                      std::to_string(l.width) + " bytes");
  // Every sample must lie within the data space (all in 64 bits: no wrap).
  const uint64_t last = l.count - 1u;
  const uint64_t lastInBlock = std::min<uint64_t>(last, l.valuesPerBlock - 1u);
  const uint64_t end = std::max(l.Address(last, blockSize), l.Address(lastInBlock, blockSize)) + l.width;
  if (end > dataSize)
    throw Failure(Exit::Module, "read", std::nullopt,
                  which + "'s values reach byte " + std::to_string(end) + ", past DataSize " +
                      std::to_string(dataSize));
  return l;
}

uint64_t Layout::Address(uint64_t k, uint32_t blockSize) const {
  return (block0 + k / valuesPerBlock) * blockSize + blockOffset + (k % valuesPerBlock) * demux;
}

Series::Series(Object& file, Layout layout, uint32_t blockSize, ReadOptions options, std::unique_ptr<Series> times)
    : file_(file), layout_(std::move(layout)), blockSize_(blockSize), options_(options), times_(std::move(times)),
      decode_(DecoderOf(layout_.dtyp)), noValue_(layout_.hasNoValue ? StoredNoValue(layout_) : std::nullopt) {
  options_.chunk = std::max<uint32_t>(options_.chunk, static_cast<uint32_t>(layout_.width));
}

// Reads the window that starts at sample k: its block's samples from k on, and
// the following blocks' as long as the stride stays Demux, up to `chunk` bytes.
void Series::Refill(uint64_t k) {
  const uint64_t start = layout_.Address(k, blockSize_);
  uint64_t last = k;  // the last sample in the window
  const uint64_t limit = start + options_.chunk;
  while (last + 1 < layout_.count) {
    const uint64_t next = layout_.Address(last + 1, blockSize_);
    if (next != layout_.Address(last, blockSize_) + layout_.demux || next + layout_.width > limit) break;
    last += 1;
  }
  const uint64_t bytes = layout_.Address(last, blockSize_) + layout_.width - start;
  window_.assign(bytes, 0);  // what a module leaves unwritten reads as zero, never as old data
  windowStart_ = start;
  windowFirst_ = k;
  uint8_t* pointer = window_.data();
  file_.Call("Seek", {static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(start))), int64_t{0}});
  if (options_.readEx) {
    windowTimes_.assign(last - k + 1, std::numeric_limits<double>::quiet_NaN());
    uint8_t* timePointer = reinterpret_cast<uint8_t*>(windowTimes_.data());
    file_.Call("ReadEx", {BufferRef{&pointer}, static_cast<int64_t>(bytes), BufferRef{&timePointer},
                          static_cast<int64_t>(windowTimes_.size() * sizeof(double))});
  } else {
    file_.Call("Read", {BufferRef{&pointer}, static_cast<int64_t>(bytes)});
  }
  windowValid_ = true;
}

bool Series::Next(Point& point) {
  if (next_ >= layout_.count) return false;
  const uint64_t k = next_++;
  const uint64_t address = layout_.Address(k, blockSize_);
  if (!windowValid_ || address < windowStart_ || address + layout_.width > windowStart_ + window_.size()) Refill(k);
  point.index = k;
  point.bytes = std::span<const uint8_t>(window_.data() + (address - windowStart_), layout_.width);
  point.raw = decode_(point.bytes.data(), layout_.bitSize);
  if (noValue_ && point.raw == *noValue_)
    point.value.reset();
  else
    point.value = point.raw * layout_.yFactor + layout_.yOffset;

  point.time.reset();
  if (options_.readEx && !layout_.xSignal.empty()) {
    const uint64_t slot = k - windowFirst_;
    if (slot < windowTimes_.size() && !std::isnan(windowTimes_[slot])) point.time = windowTimes_[slot];
  } else if (times_) {
    Point t;
    if (times_->Next(t)) point.time = t.value;
  } else if (layout_.isTime && layout_.xSignal.empty()) {
    point.time = point.value;
  } else {
    point.time = layout_.xOffset + static_cast<double>(k) * layout_.xFactor;
  }
  return true;
}

}  // namespace host
