// NoValue markers of channel-group comments, the channels' theoretical value
// ranges and the write-back of measured ranges into the file.
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "mdf/ccblock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/win32/file.h"

namespace mdf {
namespace {

// Splits a text into tokens the way the C runtime's strtok does: each call
// skips leading delimiters of its own set and ends the token at the next one.
class Tokenizer {
 public:
  explicit Tokenizer(const std::string& text) : text_(text) {}
  // False when no token is left.
  bool Next(const char* delimiters, std::string& token) {
    while (pos_ < text_.size() && std::strchr(delimiters, text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return false;
    const size_t start = pos_;
    while (pos_ < text_.size() && !std::strchr(delimiters, text_[pos_])) ++pos_;
    token = text_.substr(start, pos_ - start);
    if (pos_ < text_.size()) ++pos_;  // the delimiter that ended the token
    return true;
  }

 private:
  const std::string& text_;
  size_t pos_ = 0;
};

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A name without a " (" suffix that starts within its last six characters.
std::string CutUnitSuffix(const std::string& name) {
  const size_t p = name.rfind(" (");
  if (p != std::string::npos && p + 6 >= name.size()) return name.substr(0, p);
  return name;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A token at the end of a line of a comment written with CR LF line ends
// keeps its CR.
std::string WithoutCR(const std::string& token) {
  return !token.empty() && token.back() == '\r' ? token.substr(0, token.size() - 1) : token;
}

// "0x" and exactly 16 hexadecimal digits: the REAL's 8 bytes, first byte first.
bool ParseHexReal(const std::string& hexToken, double& value) {
  const std::string token = WithoutCR(hexToken);
  if (token.size() != 18 || token[0] != '0' || token[1] != 'x') return false;
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) {
    const char hi = token[2 + 2 * i], lo = token[3 + 2 * i];
    if (!IsHexDigit(hi) || !IsHexDigit(lo)) return false;
    bytes[i] = static_cast<uint8_t>(std::stoi(std::string{hi, lo}, nullptr, 16));
  }
  value = LoadF64(bytes);
  return true;
}

double QuietNaNMarker() {
  uint8_t bytes[8] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};  // high word 0x7FFFFFFF, low word 0
  return LoadF64(bytes);
}

bool IsIntegerType(uint16_t dataType) {
  switch (dataType) {
    case 0: case 1: case 9: case 10: case 13: case 14: return true;
    default: return false;
  }
}

// The names a NoValue entry is compared with, cut once per channel group: per
// channel its short, long and display name. Built on the first entry.
class ChannelNames {
 public:
  // The first channel, in chain order, with a name equal to `wanted` (or, with
  // `prefix`, beginning with it).
  CCNBlock* Find(CCGBlock* cg, const std::string& wanted, bool prefix) {
    if (!built_) Build(cg);
    if (!prefix) {
      const auto it = first_.find(wanted);
      return it == first_.end() ? nullptr : channels_[it->second].cn;
    }
    for (const Entry& e : channels_)
      for (const std::string& name : e.names)
        if (StartsWith(name, wanted.c_str())) return e.cn;
    return nullptr;
  }

 private:
  struct Entry {
    CCNBlock* cn;
    std::string names[3];
  };
  void Build(CCGBlock* cg) {
    built_ = true;
    for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
      channels_.push_back(Entry{cn, {CutUnitSuffix(cn->GetSignalName()), CutUnitSuffix(cn->GetAsamName()),
                                     CutUnitSuffix(cn->GetDisplayName())}});
      for (const std::string& name : channels_.back().names) first_.emplace(name, channels_.size() - 1);
    }
  }
  bool built_ = false;
  std::vector<Entry> channels_;
  std::unordered_map<std::string, size_t> first_;  // name -> first channel that has it
};

}  // namespace

void CDGBlock::ParseNoValueComment() {
  const bool importProfile = !m_pMdf || m_pMdf->GetProfile() == MdfProfile::Import;
  std::string programId;
  if (m_pMdf && m_pMdf->GetIDBlock()) programId = m_pMdf->GetIDBlock()->GetProgramId();
  const bool prefixMatch = importProfile && (programId == "D2T_Merg" || programId == "MORPHEE2");

  for (CCGBlock* cg = m_pFirstCG.get(); cg; cg = cg->GetNext()) {
    if (cg->GetNumberOfRecords() == 0) continue;
    if (cg->GetComment() && !cg->GetComment()->GetText().empty()) {
      const std::string text = cg->GetComment()->GetText();
      Tokenizer tokens(text);
      ChannelNames names;
      std::string token;
      bool pending = false;  // `token` is already taken and starts the next entry
      while (pending || tokens.Next("\t\n", token)) {
        pending = false;
        if (!StartsWith(token, "NoValue")) continue;
        std::string yes, wanted, value, exact;
        if (!tokens.Next("\t", yes) || !StartsWith(yes, "Ja")) continue;
        if (!tokens.Next("\t", wanted)) continue;

        CCNBlock* match = names.Find(cg, wanted, prefixMatch);

        if (!tokens.Next("\t\n", value)) break;
        bool inUse = match != nullptr;
        if (match) {
          if (importProfile && WithoutCR(value) == "1.#QNAN") {
            match->SetNoValue(QuietNaNMarker());
            inUse = false;
          } else {
            match->SetNoValue(StrToDouble(value.c_str(), nullptr));
          }
        }
        if (!tokens.Next("\t\n", exact)) break;
        if (!StartsWith(exact, "0x")) {
          token = exact;
          pending = true;
          continue;
        }
        double v;
        if (inUse && ParseHexReal(exact, v)) match->SetNoValue(v);
      }
    }
    for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext())
      if (cn->GetChannelType() == 1 && !cn->IsNoValueSet()) cn->SetNoValue(CCNBlock::kDefaultNoValue);
  }
}

void CCNBlock::SetNoValue(double value) {
  m_noValue = value;
  m_noValueSet = true;
  // Without a conversion the raw NoValue is the value itself.
  m_rawNoValue = m_pCC ? InverseLinear(m_pCC.get(), value) : value;
  if (IsIntegerType(GetDataType())) m_rawNoValue = std::floor(m_rawNoValue + 0.5);
}

double CCNBlock::GetPhysicalRange(double& max) const {
  const int n = std::min<int>(GetNumberOfBits(), 64);
  double lo, hi;
  const uint16_t type = GetDataType();
  if (type == 0 || type == 9 || type == 13) {
    lo = 0;
    hi = std::ldexp(1.0, n) - 1;
  } else if (n == 0) {
    lo = hi = 0;
  } else {
    lo = -std::ldexp(1.0, n - 1);
    hi = std::ldexp(1.0, n - 1) - 1;
  }
  if (m_pCC) {
    lo = ApplyConversion(m_pCC.get(), lo);
    hi = ApplyConversion(m_pCC.get(), hi);
    if (lo > hi) std::swap(lo, hi);  // a falling conversion
  }
  max = hi;
  return lo;
}

int CCNBlock::WriteRangeToFile(const std::string& path, bool withConversion) {
  // Only blocks that were read whole are written into: the channel's range
  // fields end at 218, the conversion's at 22; a conversion block whose
  // length ends before that is left alone, as the bytes after it are another's.
  if (!m_imageComplete || m_blockLength < kAsamName) return 0;
  if (m_pMdf && m_pMdf->HasShortDataArea()) return 0;
  const bool writeCC = withConversion && m_pCC && m_conversionOk && m_pCC->GetFilePos() > 0 &&
                       LoadU16(m_pCC->Head() + 2) >= CCCBlock::kUnit;
  winport::File file;
  if (!file.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::Read)) return 0;
  winport::KeepFileTimes keep(file);
  if (file.Seek(m_filePos + kRangeValid)) file.WriteExact(m_image + kRangeValid, 26);
  if (writeCC && file.Seek(m_pCC->GetFilePos() + CCCBlock::kRangeValid))
    file.WriteExact(m_pCC->Head() + CCCBlock::kRangeValid, 18);
  return 1;
}

}  // namespace mdf
