// Where a signal's samples lie in the flat data space and what they mean.
//
// Sample k lies at (Block0 + k / ValuesPerBlock) x BlockSize + BlockOffset +
// (k mod ValuesPerBlock) x Demux and takes the bytes of its DTyp. A bit field
// (DTyp 16 to 19, 30, 31) is cut from its word by BitSize = (bits - 1) x 256 +
// offset, the signed forms sign-extended; so is a 64-bit integer (DTyp 32,
// 33) unless its BitSize is 0, the whole word; a field that does not lie
// within its word is refused. The physical value is raw x YFactor
// + YOffset; a raw value equal to NoValue (when HasNoValue is 1) is a gap. A
// sample's time comes from ReadEx, from the signal that XSignal names, is the
// sample's own value for a time signal (STyp 6), or is XOffset + k x XFactor. The contract's sizes and positions (Block0,
// NoOfValues, DataSize, positions) are unsigned 32-bit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/object.h"
#include "host/value.h"

namespace host {

// The bytes a value of the type takes; 0 for a type that no module delivers.
int ValueSize(int32_t dtyp);

struct Layout {
  std::string name;
  int32_t dtyp = 0;
  int32_t bitSize = 0;
  uint32_t valuesPerBlock = 0;
  uint32_t blockOffset = 0;
  uint32_t demux = 0;
  uint32_t block0 = 0;
  uint32_t count = 0;  // NoOfValues
  double yFactor = 1, yOffset = 0;
  bool hasNoValue = false;
  double noValue = 0;
  std::string xSignal;
  double xFactor = 0, xOffset = 0;
  bool isTime = false;  // STyp 6: its values are its times
  int width = 0;  // ValueSize(dtyp)

  // The layout of a signal from its properties (as Session::Signals lists
  // them); throws Failure when the values cannot be addressed or decoded.
  static Layout Of(const PropertyList& signal, uint32_t blockSize, uint32_t dataSize);
  uint64_t Address(uint64_t k, uint32_t blockSize) const;
};

// A signal's stored value as a double (bit fields cut, signed forms extended).
using Decoder = double (*)(const uint8_t* bytes, int32_t bitSize);
Decoder DecoderOf(int32_t dtyp);

struct ReadOptions {
  uint32_t chunk = 65536;  // the most bytes one Read asks for
  bool readEx = false;     // ReadEx, which also delivers times
};

// One sample as read.
struct Point {
  uint64_t index = 0;
  std::span<const uint8_t> bytes;  // as delivered, the value's width
  double raw = 0;
  std::optional<double> value;     // physical; none for a gap
  std::optional<double> time;      // none when unknown
};

// Streams a signal's samples in order, reading the data space in windows of
// at most `chunk` bytes that never pass the signal's own bytes.
class Series {
 public:
  // `times`: the series of the signal's time signal, or null (then the times
  // are XOffset + k x XFactor). With ReadEx, a signal with an XSignal takes
  // the times that ReadEx delivers instead.
  Series(Object& file, Layout layout, uint32_t blockSize, ReadOptions options, std::unique_ptr<Series> times);
  bool Next(Point& point);
  const Layout& layout() const { return layout_; }

 private:
  void Refill(uint64_t k);

  Object& file_;
  Layout layout_;
  uint32_t blockSize_;
  ReadOptions options_;
  std::unique_ptr<Series> times_;
  Decoder decode_;
  std::optional<double> noValue_;  // as stored; none when no value is a gap
  uint64_t next_ = 0;
  // The window: bytes [windowStart_, windowStart_ + window_.size()) of the data space,
  // and for ReadEx the times of the samples from windowFirst_ on.
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  std::vector<double> windowTimes_;
  uint64_t windowFirst_ = 0;
  bool windowValid_ = false;
};

}  // namespace host
