// The conversion block (CC) and the conversion formulas that turn a channel's
// raw values into physical values.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mdf/blocks.h"

namespace mdf {

class CCCBlock : public CMdfBlock {
 public:
  static constexpr size_t kHeadSize = 46;
  static constexpr size_t kRangeValid = 4, kMinPhys = 6, kMaxPhys = 14, kUnit = 22, kType = 42,
                          kSizeField = 44;
  static constexpr size_t kFormulaSize = 256;
  static constexpr size_t kTextTableEntrySize = 40;
  static constexpr size_t kTextTableTextSize = 32;

  // Conversion types.
  enum : int {
    kLinear = 0,
    kTabInterpolated = 1,
    kTabular = 2,
    kPolynomial = 6,
    kExponential = 7,
    kLogarithmic = 8,
    kRational = 9,
    kFormula = 10,
    kTextTable = 11,
    kTextRange = 12,
    kDate = 132,
    kTime = 133,
    kIdentity = 65535,
  };

  // One entry of a value-to-text table: a raw value and a text of up to 32 characters.
  struct TextTableEntry {
    double value = 0;
    std::array<char, kTextTableTextSize + 1> text{};  // always NUL-terminated
  };
  struct TextRange {
    double lower = 0;
    double upper = 0;
    Link text = 0;
  };

  CCCBlock();
  bool Read(winport::File& file);
  // Reads a type-12 table (file positioned after the head) and resolves it.
  bool ReadTextRangeTable(winport::File& file);
  void Display(IListControl& list) override;
  std::unique_ptr<CCCBlock> Clone() const;
  bool Write(winport::File& file);

  std::string GetTypeName() const;
  std::string GetUnit() const { return GetFixedString(m_head + kUnit, 20); }
  uint16_t IsRangeValid() const { return LoadU16(m_head + kRangeValid); }
  double GetMinPhys() const { return LoadF64(m_head + kMinPhys); }
  double GetMaxPhys() const { return LoadF64(m_head + kMaxPhys); }
  // The effective conversion type (a resolved text-range table reads 0, 11 or 12).
  int GetType() const { return LoadU16(m_head + kType); }
  // The conversion type as stored in the file.
  int GetFileType() const { return m_fileType; }
  uint16_t GetSize() const { return LoadU16(m_head + kSizeField); }
  // P1..P7 in file order.
  const double* GetParams() const { return m_params; }
  // Pairs of (raw, physical) of types 1 and 2, GetSize() of them.
  const std::vector<double>& GetPairs() const { return m_pairs; }
  // The formula text of type 10 (NUL-terminated within 257 bytes).
  const char* GetFormula() const { return m_formula.empty() ? "" : m_formula.data(); }
  const std::vector<TextTableEntry>& GetTextTable() const { return m_textTable; }
  const std::vector<TextRange>& GetTextRanges() const { return m_ranges; }
  const std::vector<std::string>& GetRangeTexts() const { return m_rangeTexts; }
  const std::string& GetDefaultText() const { return m_defaultText; }
  // A text-range table that the reading turned into a text table of its
  // ranges (several ranges, or one that is no invalid-value marker): values
  // are still looked up in the ranges, with this default text.
  bool IsRangeTextTable() const { return m_rangeTextTable; }
  const std::string& GetRangeDefaultText() const { return m_rangeDefaultText; }
  // The text a value shows in the grid for such a table: that of the first
  // range whose lower and upper values hold it, else the default text;
  // nullptr when neither gives one.
  const std::string* RangeTextOf(double value) const;
  // The 7-byte date of type 132 as "DD. MM. YY  hh:mm:ss,mmm".
  std::string FormatDate() const;
  // The same text of a 7-byte date data structure (UINT16 milliseconds,
  // minute, hour, day, month, year) given as its bytes.
  static std::string FormatDate(const uint8_t* date);
  // The head image; callers set the range fields there before a write-back.
  uint8_t* Head() { return m_head; }
  const uint8_t* Head() const { return m_head; }

 private:
  friend double ApplyConversion(const CCCBlock* cc, double x);
  void SetType(int type) { StoreU16(m_head + kType, static_cast<uint16_t>(type)); }
  void SetSize(uint16_t n) { StoreU16(m_head + kSizeField, n); }
  // Reads `count` REALs into the parameter area; false (damage recorded) when
  // the block does not hold them.
  bool ReadParams(winport::File& file, int count);
  // Whether `bytes` of parameters fit the block's declared length after its
  // head; records the damage (naming `what`) when not.
  bool FitsParameters(uint64_t bytes, const std::string& what) const;

  int32_t m_fileType = 0;
  std::string m_defaultText;
  uint8_t m_head[kHeadSize] = {};
  double m_params[7] = {};
  std::vector<double> m_pairs;
  std::vector<char> m_formula;
  std::vector<TextTableEntry> m_textTable;
  std::vector<TextRange> m_ranges;
  std::vector<std::string> m_rangeTexts;
  bool m_rangeTextTable = false;
  std::string m_rangeDefaultText;
};

// The physical value of raw value x; without a block, x itself.
double ApplyConversion(const CCCBlock* cc, double x);
// The raw value of physical value y for a linear conversion; y for any other.
double InverseLinear(const CCCBlock* cc, double y);
// Removes trailing blanks (' ' only) in place.
void TrimTrailingBlanks(char* text);

}  // namespace mdf
