#include "mdf/raw_copy.h"

#include <algorithm>
#include <cstring>

namespace mdf::detail {

uint32_t ContainerSize(uint32_t bytes) {
  if (bytes <= 2) return bytes;
  if (bytes <= 4) return 4;
  if (bytes <= 8) return 8;
  return bytes;
}

uint32_t StoredBytes(uint16_t type, uint32_t shift, uint32_t bits) {
  const Kind kind = Classify(type, Above16::None).kind;
  if (kind == Kind::UInt || kind == Kind::Int) return (shift + bits + 7) / 8;
  return (bits + 7) / 8;
}

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
  if (!c.zeros && c.within == c.bytes && c.bytes == c.element &&
      (c.reverse ? CopyWholeWords<true>(c.element, record + c.firstByte, stride, n, dest)
                 : CopyWholeWords<false>(c.element, record + c.firstByte, stride, n, dest)))
    return;
  for (size_t i = 0; i < n; ++i) CopyRaw(c, record + i * stride, dest + i * c.element);
}

}  // namespace mdf::detail
