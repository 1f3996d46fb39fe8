#include "mdf/ccblock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mdf/format.h"
#include "mdf/formula.h"
#include "mdf/rows.h"
#include "platform/win32/file.h"

namespace mdf {
namespace {

constexpr double kNoValueMarker = 1e308;

// Whether a text names the invalid value, in any mix of ASCII letter case.
bool IsInvalidSignalText(const std::string& text) {
  static const std::string kInvalid = Ansi("Signal ungültig");
  return EqualsNoCase(text, kInvalid);
}

// Copies at most 31 characters of a text into a table entry.
void SetEntryText(CCCBlock::TextTableEntry& entry, const std::string& text) {
  entry.text.fill(0);
  std::memcpy(entry.text.data(), text.data(), std::min<size_t>(text.size(), 31));
}

// Reads the text of the TX block at `link`; false when it cannot be read.
bool ReadLinkedText(winport::File& file, Link link, CMdf* owner, std::string& text) {
  text.clear();
  if (link == 0 || !file.Seek(link)) return false;
  CTextBlock tx;
  tx.SetMdf(owner);
  if (!tx.Read(file)) return false;
  text = tx.GetText();
  return true;
}

// Table look-up with the end rules shared by both tabular conversions.
double Tabular(const std::vector<double>& pairs, double x, bool interpolate) {
  const size_t n = pairs.size() / 2;
  if (n == 0) return x;
  auto raw = [&](size_t i) { return pairs[2 * i]; };
  auto phys = [&](size_t i) { return pairs[2 * i + 1]; };
  if (!(x > raw(0))) return phys(0);  // a NaN takes the first entry
  if (x >= raw(n - 1)) return phys(n - 1);
  size_t lo = 0, hi = n - 1;
  while (hi - lo >= 2) {
    const size_t mid = (lo + hi) / 2;
    if (x < raw(mid))
      hi = mid;
    else if (x > raw(mid))
      lo = mid;
    else
      return phys(mid);
  }
  if (!interpolate) return phys(lo);
  return (x - raw(lo)) * ((phys(hi) - phys(lo)) / (raw(hi) - raw(lo))) + phys(lo);
}

double PolynomialConv(const double* p, double x) {
  const double d = x - p[4] - p[5];
  return (p[1] - p[3] * d) / (p[2] * d - p[0]);
}

double ExpLogConv(const double* p, double x, double (*f)(double)) {
  if (p[3] == 0) return f(((x - p[6]) * p[5] - p[2]) / p[0]) / p[1];
  if (p[0] == 0) return f((p[2] / (x - p[6]) - p[5]) / p[3]) / p[4];
  return 0;
}

double RationalConv(const double* p, double x) {
  return (p[0] * x * x + p[1] * x + p[2]) / (p[3] * x * x + p[4] * x + p[5]);
}

double FormulaConv(const char* formula, double x) {
  // The evaluator upper-cases its text in place; it works on a copy so that
  // threads converting values of one channel at the same time share nothing.
  char text[CCCBlock::kFormulaSize + 1];
  std::strncpy(text, formula, CCCBlock::kFormulaSize);
  text[CCCBlock::kFormulaSize] = 0;
  double value = x;
  if (EvaluateFormula(x, std::span<char>(text, sizeof text), &value) != 0) return 0.0;
  return value;
}

}  // namespace

CCCBlock::CCCBlock() : CMdfBlock("CCCBlock") {
  InitHead(m_head, "CC", 102);
}

bool CCCBlock::ReadParams(winport::File& file, int count) {
  uint8_t raw[7 * 8] = {};
  if (!FitsParameters(static_cast<uint64_t>(count) * 8, StrFormat("its %d parameters", count)) ||
      !file.ReadExact(raw, static_cast<size_t>(count) * 8))
    return false;
  for (int i = 0; i < count; ++i) m_params[i] = LoadF64(raw + 8 * i);
  m_blockLength += static_cast<uint32_t>(count) * 8;
  return true;
}

bool CCCBlock::FitsParameters(uint64_t bytes, const std::string& what) const {
  const uint32_t length = LoadU16(m_head + 2);
  if (length >= kHeadSize && bytes <= length - kHeadSize) return true;
  return Damaged("CC", StrFormat("is %u bytes long, too short for %s", length, what.c_str()));
}

bool CCCBlock::Read(winport::File& file) {
  m_blockLength = kHeadSize;
  uint32_t length = 0;
  if (!ReadBlockImage(file, "CC", m_head, kHeadSize, kHeadSize, length)) {
    // The block is kept; without its head it converts nothing (a zeroed head
    // would read as a linear conversion with factor 0).
    InitHead(m_head, "CC", 102);
    SetType(kIdentity);
    m_fileType = kIdentity;
    return false;
  }
  m_fileType = LoadU16(m_head + kType);
  const uint16_t size = GetSize();
  // Every table and parameter lies within the block's declared length, which
  // lies within the file.
  switch (m_fileType) {
    case kLinear:
      return ReadParams(file, 2);
    case kTabInterpolated:
    case kTabular: {
      if (!FitsParameters(uint64_t{size} * 16, StrFormat("its %u table entries", size))) return false;
      std::vector<uint8_t> raw(size_t{size} * 16);
      if (!file.ReadExact(raw.data(), raw.size())) return Damaged("CC", "cannot be read whole");
      m_pairs.resize(size_t{size} * 2);
      for (size_t i = 0; i < m_pairs.size(); ++i) m_pairs[i] = LoadF64(raw.data() + 8 * i);
      m_blockLength += static_cast<uint32_t>(raw.size());
      return true;
    }
    case kPolynomial:
    case kRational:
      return ReadParams(file, 6);
    case kExponential:
    case kLogarithmic:
      return ReadParams(file, 7);
    case kFormula: {
      // The formula is text: only what the block holds of its 256 characters is taken.
      m_formula.assign(kFormulaSize + 1, 0);
      const size_t n = std::min<size_t>(kFormulaSize, length - kHeadSize);
      if (!file.ReadExact(m_formula.data(), n)) return Damaged("CC", "cannot be read whole");
      m_blockLength += kFormulaSize + 1;
      TrimTrailingBlanks(m_formula.data());
      return true;
    }
    case kTextTable: {
      if (!FitsParameters(uint64_t{size} * kTextTableEntrySize, StrFormat("its %u table entries", size)))
        return false;
      std::vector<uint8_t> raw(size_t{size} * kTextTableEntrySize);
      if (!file.ReadExact(raw.data(), raw.size())) return Damaged("CC", "cannot be read whole");
      m_textTable.resize(size);
      for (size_t i = 0; i < size; ++i) {
        const uint8_t* e = raw.data() + i * kTextTableEntrySize;
        m_textTable[i].value = LoadF64(e);
        std::memcpy(m_textTable[i].text.data(), e + 8, kTextTableTextSize);
      }
      m_blockLength += static_cast<uint32_t>(raw.size());
      return true;
    }
    case kTextRange:
      return ReadTextRangeTable(file);
    case kDate:
    case kTime: {
      const size_t n = m_fileType == kDate ? 7 : 6;
      if (!FitsParameters(n, StrFormat("its %zu bytes of date or time", n))) return false;
      if (!file.ReadExact(m_params, n)) return Damaged("CC", "cannot be read whole");
      m_blockLength += static_cast<uint32_t>(n);
      return true;
    }
    case kIdentity:
      if (size >= 2) {
        m_params[0] = 0;
        m_params[1] = 1;
      }
      return true;
    default:
      return true;
  }
}

bool CCCBlock::ReadTextRangeTable(winport::File& file) {
  bool ok = true;
  SetType(kTextTable);
  // The default range (not used) and the default text link, then as many
  // ranges as the block's length holds.
  if (!FitsParameters(20, "its default range")) return false;
  uint8_t def[20] = {};
  if (!file.ReadExact(def, sizeof def)) return Damaged("CC", "cannot be read whole");
  const Link defaultLink = LoadU32(def + 16);

  const uint16_t headLength = LoadU16(m_head + 2);
  const size_t n = static_cast<size_t>(headLength - kHeadSize - 20) / 20;
  std::vector<uint8_t> raw(n * 20);
  if (!file.ReadExact(raw.data(), raw.size())) return Damaged("CC", "cannot be read whole");
  m_ranges.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* e = raw.data() + 20 * i;
    m_ranges[i] = TextRange{LoadF64(e), LoadF64(e + 8), LoadU32(e + 16)};
  }
  m_blockLength += static_cast<uint32_t>(20 + n * 20);

  const int64_t resume = file.Tell();
  if (resume < 0) return false;

  m_rangeTexts.clear();
  for (const TextRange& r : m_ranges) {
    std::string text;
    if (r.text != 0 && !ReadLinkedText(file, r.text, m_pMdf, text)) ok = false;
    m_rangeTexts.push_back(text);
  }

  auto isInvalidMarker = [&](size_t i) {
    return m_ranges[i].text != 0 && m_ranges[i].lower == m_ranges[i].upper &&
           IsInvalidSignalText(m_rangeTexts[i]);
  };

  if (defaultLink != 0 && n == 1) {
    if (!ReadLinkedText(file, defaultLink, m_pMdf, m_defaultText)) {
      ok = false;
    } else if (StartsWithNoCase(m_defaultText, "{LINEAR_CONV")) {
      SetType(kLinear);
      m_params[1] = 1;  // factor and offset stay 1 and 0 unless the text gives them
      m_params[0] = 0;
      if (m_defaultText.size() > 14) {
        const char* p = m_defaultText.c_str() + 14;
        const char* end = nullptr;
        const double factor = StrToDouble(p, &end);
        if (end != p) {
          m_params[1] = factor;
          if (std::strncmp(end, "*{X}+", 5) == 0) {
            const char* q = end + 5;
            const double offset = StrToDouble(q, &end);
            if (end != q) m_params[0] = offset;
          }
        }
      }
      if (isInvalidMarker(0)) {
        m_params[3] = kNoValueMarker;
        m_params[4] = m_ranges[0].lower;
      }
    } else if (m_defaultText.empty() || EqualsNoCase(m_defaultText, "Default")) {
      SetType(kTextRange);
    } else {
      m_textTable.assign(2, TextTableEntry{});
      SetSize(2);
      m_textTable[0].value = 0;
      SetEntryText(m_textTable[0], m_defaultText);
      m_textTable[1].value = m_ranges[0].lower;
      if (m_ranges[0].text != 0) SetEntryText(m_textTable[1], m_rangeTexts[0]);
    }
  } else if (n == 1 && isInvalidMarker(0)) {
    SetType(kLinear);
    m_params[0] = 0;
    m_params[1] = 1;
    m_params[3] = kNoValueMarker;
    m_params[4] = m_ranges[0].lower;
  } else {
    // The ranges as a text table; the grid still looks values up in the ranges.
    m_rangeTextTable = true;
    if (defaultLink != 0 && !ReadLinkedText(file, defaultLink, m_pMdf, m_rangeDefaultText)) ok = false;
    m_textTable.assign(n, TextTableEntry{});
    SetSize(static_cast<uint16_t>(n));
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) {
      if (m_ranges[i].text == 0) continue;
      m_textTable[next].value = std::trunc(m_ranges[i].lower);
      SetEntryText(m_textTable[next], m_rangeTexts[i]);
      ++next;
    }
  }
  file.Seek(resume);
  return ok;
}

const std::string* CCCBlock::RangeTextOf(double value) const {
  for (size_t i = 0; i < m_ranges.size(); ++i)
    if (m_ranges[i].lower <= value && value <= m_ranges[i].upper) return &m_rangeTexts[i];
  return m_rangeDefaultText.empty() ? nullptr : &m_rangeDefaultText;
}

std::unique_ptr<CCCBlock> CCCBlock::Clone() const {
  auto copy = std::make_unique<CCCBlock>();
  copy->m_pMdf = m_pMdf;
  copy->m_filePos = m_filePos;
  copy->m_blockLength = m_blockLength;
  copy->m_index = m_index;
  copy->m_fileType = m_fileType;
  copy->m_defaultText = m_defaultText;
  std::memcpy(copy->m_head, m_head, sizeof m_head);
  std::memcpy(copy->m_params, m_params, sizeof m_params);
  copy->m_pairs = m_pairs;
  copy->m_formula = m_formula;
  copy->m_textTable = m_textTable;
  copy->m_ranges = m_ranges;
  copy->m_rangeTexts = m_rangeTexts;
  copy->m_rangeTextTable = m_rangeTextTable;
  copy->m_rangeDefaultText = m_rangeDefaultText;
  return copy;
}

bool CCCBlock::Write(winport::File& file) {
  // Writes the head and the parameters held in place.
  if (!file.Seek(m_filePos)) return false;
  uint8_t image[kHeadSize + sizeof m_params];
  std::memcpy(image, m_head, kHeadSize);
  for (int i = 0; i < 7; ++i) StoreF64(image + kHeadSize + 8 * i, m_params[i]);
  const size_t length = std::min<size_t>(m_blockLength, sizeof image);
  StoreU16(m_head + 2, static_cast<uint16_t>(m_blockLength));
  StoreU16(image + 2, static_cast<uint16_t>(m_blockLength));
  return file.WriteExact(image, length);
}

std::string CCCBlock::GetTypeName() const {
  switch (GetType()) {
    case kLinear: return "parametric, linear";
    case kTabInterpolated: return "tabular with interpolation";
    case kTabular: return "tabular";
    case kPolynomial: return "polynomial function";
    case kExponential: return "exponential function";
    case kLogarithmic: return "logarithmic function";
    case kRational: return "ASAP2 Rational conversion formula";
    case kFormula: return "ASAM-MCD2 Text formula";
    case kTextTable: return "ASAM-MCD2 Text Table, (COMPU_VTAB)";
    case kTextRange: return "ASAM-MCD2 Text Range Table (COMPU_VTAB_RANGE)";
    case kDate: return "Date (Based on 7 Byte Date data structure)";
    case kTime: return "Time (Based on 6 Byte Time data structure)";
    case kIdentity: return "1:1 conversion formula (Int = Phys)";
    default: return "unknown";
  }
}

std::string CCCBlock::FormatDate() const {
  uint8_t d[7];
  std::memcpy(d, m_params, sizeof d);
  return FormatDate(d);
}

std::string CCCBlock::FormatDate(const uint8_t* d) {
  const int ms = LoadU16(d);
  return StrFormat("%02d. %02d. %02d  %02d:%02d:%02d,%03d", d[4] & 0x1F, d[5] & 0x1F, d[6] & 0x3F,
                   d[3] & 0x1F, d[2] & 0x3F, ms / 1000, ms % 1000);
}

void CCCBlock::Display(IListControl& list) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
  const double* p = m_params;
  AddRow(list, "File Pos.", DecHex(static_cast<uint32_t>(m_filePos)));
  AddRow(list, "Unit", GetUnit());
  AddRow(list, "Implementation range", IsRangeValid() ? "yes" : "no");
  AddRow(list, "Range: Minimum", StrFormat("%.15lf", GetMinPhys()));
  AddRow(list, "Range: Maximum", StrFormat("%.15lf", GetMaxPhys()));
  AddRow(list, "Type", StrFormat("%d: ", GetType()) + GetTypeName());
  AddRow(list, "No. of parameters", StrFormat("%d", GetSize()));
  switch (m_fileType) {
    case kLinear:
      AddRow(list, "Faktor", StrFormat("%.15lg", p[1]));
      AddRow(list, "Offset", StrFormat("%.15lg", p[0]));
      break;
    case kTabInterpolated:
      for (size_t i = 0; i < m_pairs.size() / 2; ++i)
        AddRow(list, StrFormat("Input -> Output %d", static_cast<int>(i)),
               StrFormat("%.15lf -> %.15lf", m_pairs[2 * i], m_pairs[2 * i + 1]));
      break;
    case kPolynomial:
    case kExponential:
    case kLogarithmic:
    case kRational:
      for (int i = 0; i < 7; ++i)
        AddRow(list, StrFormat("Parameter %d", i), StrFormat("%.15lf", p[i]));
      break;
    case kFormula:
      AddRow(list, "Formula", GetFormula());
      break;
    case kTextTable:
      for (size_t i = 0; i < m_textTable.size(); ++i)
        AddRow(list, StrFormat("Input -> Output %d", static_cast<int>(i)),
               StrFormat("%.15lf -> %s", m_textTable[i].value, m_textTable[i].text.data()));
      break;
    case kTextRange:
      if (GetType() == kLinear) {
        AddRow(list, "ermitt. Faktor", StrFormat("%.15lg", p[1]));
        AddRow(list, "ermitt. Offset", StrFormat("%.15lg", p[0]));
      }
      if (!m_defaultText.empty()) AddRow(list, "Default", m_defaultText);
      for (size_t i = 0; i < m_ranges.size(); ++i)
        AddRow(list, StrFormat("Min / Max %d", static_cast<int>(i + 1)),
               StrFormat("%.15lf / %.15lf  -> %s", m_ranges[i].lower, m_ranges[i].upper,
                         m_rangeTexts[i].c_str()));
      break;
    case kDate:
      AddRow(list, "Date", FormatDate());
      break;
    default:
      break;
  }
}

double ApplyConversion(const CCCBlock* cc, double x) {
  if (!cc) return x;
  const double* p = cc->m_params;
  switch (cc->GetType()) {
    case CCCBlock::kLinear: return x * p[1] + p[0];
    case CCCBlock::kTabInterpolated: return Tabular(cc->m_pairs, x, true);
    case CCCBlock::kTabular: return Tabular(cc->m_pairs, x, false);
    case CCCBlock::kPolynomial: return PolynomialConv(p, x);
    case CCCBlock::kExponential: return ExpLogConv(p, x, [](double v) { return std::exp(v); });
    case CCCBlock::kLogarithmic: return ExpLogConv(p, x, [](double v) { return std::log(v); });
    case CCCBlock::kRational: return RationalConv(p, x);
    case CCCBlock::kFormula: return cc->m_formula.empty() ? 0.0 : FormulaConv(cc->m_formula.data(), x);
    default: return x;  // text tables, dates, identity and unknown types
  }
}

double InverseLinear(const CCCBlock* cc, double y) {
  if (!cc || cc->GetType() != CCCBlock::kLinear) return y;
  const double* p = cc->GetParams();
  if (p[1] != 0) return (y - p[0]) / p[1];
  return kNoValueMarker;
}

void TrimTrailingBlanks(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = 0;
}

}  // namespace mdf
