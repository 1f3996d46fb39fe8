#include "mdf/raw_copy.h"

#include <algorithm>
#include <cstring>

#include "mdf/bytes.h"

namespace mdf::detail {

uint32_t ContainerSize(uint32_t bytes) {
  if (bytes <= 2) return bytes;
  if (bytes <= 4) return 4;
  if (bytes <= 8) return 8;
  return bytes;
}

uint32_t StoredBytes(uint16_t type, uint32_t shift, uint32_t bits) {
  if (IsInteger(Classify(type, false).kind)) return (shift + bits + 7) / 8;
  return (bits + 7) / 8;
}

bool HasStoredForm(Kind kind, uint32_t bits, RawReader reader) {
  switch (kind) {
    case Kind::UInt: case Kind::Int: return bits >= 1 && bits <= 64;
    case Kind::Float: return bits == 32 || bits == 64;
    case Kind::Bytes: return bits > 0;
    case Kind::Text: return bits > 0 && reader == RawReader::ValuesAndTime;
    default: return false;
  }
}

RawCopier MakeRawCopier(const CCNBlock& cn, const RecordLayout& layout) {
  RawCopier c;
  const Placement at = PlaceChannel(cn, layout.ids);
  const uint16_t type = cn.GetDataType();
  const TypeClass tc = Classify(type, layout.motorolaDefault);
  c.bytes = StoredBytes(type, at.shift, at.bits);
  c.element = ContainerSize(c.bytes);
  c.reverse = tc.motorola;
  if (tc.kind == Kind::Float && at.shift != 0) {
    c.shifted = true;
    c.shift = at.shift;
    c.bits = at.bits;
    c.bytes = (at.shift + at.bits + 7) / 8;
  }
  c.firstByte = static_cast<size_t>(std::min<uint64_t>(at.firstByte, layout.length));
  c.within = BytesWithin(at.firstByte, c.bytes, layout.length);
  c.isDouble = tc.kind == Kind::Float && at.bits == 64;
  return c;
}

void CopyRaw(const RawCopier& c, const uint8_t* record, uint8_t* dest) {
  std::memset(dest, 0, c.element);
  const uint8_t* src = record + c.firstByte;
  if (c.shifted) {
    unsigned __int128 word = 0;
    for (uint32_t i = 0; i < c.within; ++i)
      word |= static_cast<unsigned __int128>(src[i]) << (8 * (c.reverse ? c.bytes - 1 - i : i));
    const uint64_t bits = static_cast<uint64_t>(word >> c.shift);
    if (c.bits == 64)
      StoreU64(dest, bits);
    else
      StoreU32(dest, static_cast<uint32_t>(bits));
    return;
  }
  if (!c.reverse) {
    std::memcpy(dest, src, c.within);
    return;
  }
  for (uint32_t i = 0; i < c.within; ++i) dest[c.bytes - 1 - i] = src[i];
}

namespace {

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


}  // namespace

void CopyRawRecords(const RawCopier& c, const uint8_t* record, size_t stride, size_t n, uint8_t* dest) {
  if (!c.shifted && c.within == c.bytes && c.bytes == c.element &&
      (c.reverse ? CopyWholeWords<true>(c.element, record + c.firstByte, stride, n, dest)
                 : CopyWholeWords<false>(c.element, record + c.firstByte, stride, n, dest)))
    return;
  for (size_t i = 0; i < n; ++i) CopyRaw(c, record + i * stride, dest + i * c.element);
}

}  // namespace mdf::detail
