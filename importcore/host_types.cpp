#include "importcore/host_types.h"

#include <array>
#include <cmath>
#include <limits>

#include "importcore/le.h"

namespace importcore {
namespace {

constexpr std::array<uint8_t, dtyp::kCount> kSizes = [] {
  std::array<uint8_t, dtyp::kCount> s{};
  for (int c : {4, 5, 16, 17}) s[c] = 1;
  for (int c : {6, 7, 18, 19, 24, 25, 26, 27}) s[c] = 2;
  for (int c : {8, 9, 10, 11, 28, 29, 30, 31}) s[c] = 4;
  for (int c : {12, 13, 32, 33}) s[c] = 8;
  for (int c : {14, 15, 22, 23}) s[c] = 6;  // codes no module produces
  return s;
}();

template <typename T>
double Plain(const uint8_t* p) {
  return static_cast<double>(LoadLE<T>(p));
}
double Unsigned24(const uint8_t* p) { return static_cast<double>(LoadLE<uint32_t>(p) & 0xFFFFFFu); }
double Signed24(const uint8_t* p) {
  // The low 24 bits, sign-extended from bit 23.
  return static_cast<double>(static_cast<int32_t>((LoadLE<uint32_t>(p) & 0xFFFFFFu) ^ 0x800000u) - 0x800000);
}

using Reader = double (*)(const uint8_t*);

// The reader of a code and its stride; null for a code without a numeric form.
Reader ReaderFor(int32_t code) {
  switch (code) {
    case 4: case 16: return &Plain<uint8_t>;
    case 5: case 17: return &Plain<int8_t>;
    case 6: case 18: return &Plain<uint16_t>;
    case 7: case 19: return &Plain<int16_t>;
    case 8: case 30: return &Plain<uint32_t>;
    case 9: case 31: return &Plain<int32_t>;
    case 10: case 11: return &Plain<float>;
    case 12: case 13: return &Plain<double>;
    case 28: return &Unsigned24;
    case 29: return &Signed24;
    case 32: return &Plain<uint64_t>;
    case 33: return &Plain<int64_t>;
    default: return nullptr;
  }
}

template <Reader Read, size_t Stride>
void ConvertAll(const uint8_t* values, std::span<double> out) {
  for (size_t i = 0; i < out.size(); ++i) out[i] = Read(values + i * Stride);
}

// `value` rounded and saturated to a `bits`-bit integer, signed or not.
template <typename T>
T Saturate(double value, int bits, bool isSigned) {
  if (std::isnan(value)) return 0;
  const double r = std::round(value);
  if (isSigned) {
    const double limit = std::ldexp(1.0, bits - 1);
    const int64_t largest = bits == 64 ? std::numeric_limits<int64_t>::max() : (int64_t{1} << (bits - 1)) - 1;
    if (r <= -limit) return static_cast<T>(-largest - 1);
    if (r >= limit) return static_cast<T>(largest);
    return static_cast<T>(static_cast<int64_t>(r));
  }
  if (r <= 0) return 0;
  if (r >= std::ldexp(1.0, bits)) return static_cast<T>(bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1);
  return static_cast<T>(static_cast<uint64_t>(r));
}

float ToFloat(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

}  // namespace

uint32_t DTypSize(int32_t code) {
  return code >= 0 && code < dtyp::kCount ? kSizes[static_cast<size_t>(code)] : 0;
}

double SampleToDouble(const uint8_t* value, int32_t code) {
  const Reader read = ReaderFor(code);
  return read ? read(value) : 0.0;
}

void SamplesToDouble(const uint8_t* values, int32_t code, std::span<double> out) {
  switch (code) {
    case 4: case 16: return ConvertAll<&Plain<uint8_t>, 1>(values, out);
    case 5: case 17: return ConvertAll<&Plain<int8_t>, 1>(values, out);
    case 6: case 18: return ConvertAll<&Plain<uint16_t>, 2>(values, out);
    case 7: case 19: return ConvertAll<&Plain<int16_t>, 2>(values, out);
    case 8: case 30: return ConvertAll<&Plain<uint32_t>, 4>(values, out);
    case 9: case 31: return ConvertAll<&Plain<int32_t>, 4>(values, out);
    case 10: case 11: return ConvertAll<&Plain<float>, 4>(values, out);
    case 12: case 13: return ConvertAll<&Plain<double>, 8>(values, out);
    case 28: return ConvertAll<&Unsigned24, 4>(values, out);
    case 29: return ConvertAll<&Signed24, 4>(values, out);
    case 32: return ConvertAll<&Plain<uint64_t>, 8>(values, out);
    case 33: return ConvertAll<&Plain<int64_t>, 8>(values, out);
    default:
      for (double& d : out) d = 0.0;
  }
}

void DoubleToSample(double value, int32_t code, uint8_t* out) {
  switch (code) {
    case 4: case 16: return StoreLE(out, Saturate<uint8_t>(value, 8, false));
    case 5: case 17: return StoreLE(out, Saturate<int8_t>(value, 8, true));
    case 6: case 18: return StoreLE(out, Saturate<uint16_t>(value, 16, false));
    case 7: case 19: return StoreLE(out, Saturate<int16_t>(value, 16, true));
    case 8: case 30: return StoreLE(out, Saturate<uint32_t>(value, 32, false));
    case 9: case 31: return StoreLE(out, Saturate<int32_t>(value, 32, true));
    case 10: case 11: return StoreLE(out, ToFloat(value));
    case 12: case 13: return StoreLE(out, value);
    case 28: return StoreLE(out, Saturate<uint32_t>(value, 24, false));
    case 29: return StoreLE(out, Saturate<int32_t>(value, 24, true));
    case 32: return StoreLE(out, Saturate<uint64_t>(value, 64, false));
    case 33: return StoreLE(out, Saturate<int64_t>(value, 64, true));
    default: return;
  }
}

}  // namespace importcore
