// The comments of an MDF import: the lines of the file's text block and six
// fields of its header.
#include <cctype>
#include <string>

#include "importcore/support.h"
#include "mdf/blocks.h"
#include "mdf/mdf.h"
#include "pellor/driver.h"
#include "pellor/file_import.h"

namespace pellor {
namespace {

// The text block fills at most this many slots, so that the header's six follow.
constexpr int kMaxTextComments = 250;
constexpr size_t kMaxLine = 240;
constexpr std::string_view kFosBegin = "<FOS begin>";

// An integer as scanf's "%2ld" reads it: white space skipped, then a sign and
// digits, two characters at most.
bool ScanTwoDigits(std::string_view s, size_t& at, long& out) {
  while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
  size_t width = 2;
  bool negative = false;
  if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
    negative = s[at] == '-';
    ++at;
    --width;
  }
  long value = 0;
  size_t digits = 0;
  for (; width > 0 && at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])); ++at, --width, ++digits)
    value = value * 10 + (s[at] - '0');
  out = negative ? -value : value;
  return digits > 0;
}

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(' ') == std::string_view::npos; }

}  // namespace

std::optional<uint16_t> ParseDataConv(std::string_view value) {
  if (value.size() < 2) return std::nullopt;
  const std::string_view digits = value.substr(1, 5);
  size_t at = 0;
  long major = 0, minor = 0;
  if (!ScanTwoDigits(digits, at, major) || at >= digits.size() || digits[at] != '.') return std::nullopt;
  ++at;
  if (!ScanTwoDigits(digits, at, minor)) return std::nullopt;
  const long version = major * 256 + minor;
  if (version < 0 || version > UINT16_MAX) return std::nullopt;
  return static_cast<uint16_t>(version);
}

void ParseTextBlock(FileImport& import) {
  const mdf::CTextBlock* block = import.m_mdf ? import.m_mdf->GetTextBlock() : nullptr;
  if (!block) return;
  const std::string& text = block->GetText();
  int textLines = 0;
  for (size_t pos = 0; pos < text.size() && import.m_commentCount < kMaxTextComments;) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.compare(0, kFosBegin.size(), kFosBegin) == 0 || IsBlankLine(line)) continue;
    if (line.size() > kMaxLine) line.resize(kMaxLine);

    std::string name, value;
    if (const size_t tab = line.find('\t', 1); tab != std::string::npos) {
      name = line.substr(0, tab);
      value = line.substr(tab + 1);
      if (name == "DATACONV")
        if (const std::optional<uint16_t> version = ParseDataConv(value)) import.m_mdf->SetReaderVersion(*version);
    } else {
      value = line;
      importcore::TrimRight(value);
      importcore::WrapCommentLines(value);
      name = "Text" + std::to_string(++textLines);
    }
    import.SetComment(++import.m_commentCount, value, name);
  }
}

void HeaderToComments(FileImport& import) {
  const mdf::CHeaderBlock* hd = import.m_mdf ? import.m_mdf->GetHeaderBlock() : nullptr;
  if (!hd) return;
  const std::pair<std::string, const char*> fields[] = {
      {hd->GetAuthor(), "Name"},     {hd->GetOrganization(), "Abteilung"}, {hd->GetProject(), "Projekt"},
      {hd->GetSubject(), "Subjekt"}, {hd->GetDate(), "Datum"},              {hd->GetTime(), "Zeit"},
  };
  for (const auto& [value, name] : fields) import.MakeComment(value, ++import.m_commentCount, name);
}

}  // namespace pellor
