#include "pellor/candb/dbc_scanner.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/win32/codepage.h"

namespace pellor {

namespace {

// Character classes of the DBC text, ASCII only whatever the locale.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsIdentifierStart(char c) { return IsLetter(c) || c == '_'; }
bool IsIdentifierChar(char c) { return IsIdentifierStart(c) || IsDigit(c); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

DbcScanner::DbcScanner(std::string text) : m_data(std::move(text)) {
  if (std::string_view(m_data).starts_with(kUtf8Bom)) {
    m_data.erase(0, kUtf8Bom.size());
    m_utf8 = true;
  }
  // CR LF -> LF (and a CR that ends the text), in place.
  size_t out = 0;
  const size_t n = m_data.size();
  for (size_t i = 0; i < n; ++i) {
    if (m_data[i] == '\r' && (i + 1 == n || m_data[i + 1] == '\n')) continue;
    m_data[out++] = m_data[i];
  }
  m_data.resize(out);
  if (!m_data.empty() && m_data.back() != '\n') m_data.push_back('\n');
}

DbcToken DbcScanner::NextToken() {
  if (m_pushedBack) {
    m_pushedBack = false;
    return m_kind;
  }
  const size_t size = m_data.size();
  while (m_pos < size && IsBlank(m_data[m_pos])) ++m_pos;
  m_tokenLine = m_line;
  m_text.clear();
  m_number = 0;
  if (m_pos >= size) return m_kind = DbcToken::kEndOfFile;

  const char c = m_data[m_pos];
  if (c == '\n') {
    ++m_pos;
    ++m_line;
    return m_kind = DbcToken::kEndOfLine;
  }
  const auto at = [&](size_t i) { return i < size ? m_data[i] : '\0'; };
  const bool sign = c == '-' || c == '+';
  const size_t digits = sign ? m_pos + 1 : m_pos;
  if (IsDigit(at(digits)) || (sign && at(digits) == '.' && IsDigit(at(digits + 1)))) {
    ReadNumber();
    return m_kind = DbcToken::kNumber;
  }
  if (c == '"' || c == '\'') {
    ReadString(c);
    return m_kind = m_error.empty() ? DbcToken::kString : DbcToken::kEndOfFile;
  }
  if (IsIdentifierStart(c)) {
    const size_t start = m_pos;
    while (m_pos < size && IsIdentifierChar(m_data[m_pos])) ++m_pos;
    m_text.assign(m_data, start, m_pos - start);
    return m_kind = DbcToken::kIdentifier;
  }
  m_text.assign(1, c);
  ++m_pos;
  return m_kind = DbcToken::kChar;
}

// A number as C's strtod reads it, but always with '.' as the decimal sign.
// Beyond the range of a double it becomes an infinity, or 0 for a tiny one.
void DbcScanner::ReadNumber() {
  const char* begin = m_data.data() + m_pos;
  const char* end = m_data.data() + m_data.size();
  const char* digits = *begin == '+' ? begin + 1 : begin;
  auto [stop, ec] = std::from_chars(digits, end, m_number, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    const std::string_view literal(digits, static_cast<size_t>(stop - digits));
    const size_t e = literal.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < literal.size() && literal[e + 1] == '-';
    const bool negative = *digits == '-';
    m_number = tiny ? (negative ? -0.0 : 0.0) : (negative ? -HUGE_VAL : HUGE_VAL);
  }
  m_text.assign(begin, stop);
  m_pos = static_cast<size_t>(stop - m_data.data());
}

// A string up to the same quote; a backslash takes the next character as it
// is, and a line feed within the string becomes CR LF.
void DbcScanner::ReadString(char quote) {
  const size_t size = m_data.size();
  ++m_pos;
  for (;;) {
    if (m_pos >= size) {
      m_error = "string without closing quote";
      m_errorLine = m_tokenLine;
      return;
    }
    char c = m_data[m_pos++];
    if (c == quote) break;
    if (c == '\\') {
      if (m_pos >= size) continue;  // reported as unterminated above
      c = m_data[m_pos++];
    }
    if (c == '\n') {
      m_text += "\r\n";
      ++m_line;
    } else {
      m_text += c;
    }
  }
  if (m_utf8) m_text = winport::Utf8ToAnsi(m_text);
}

size_t DbcScanner::LineEnd(size_t from) const {
  const size_t lf = m_data.find('\n', from);
  return lf == std::string::npos ? m_data.size() : lf;
}

bool DbcScanner::BlankRange(size_t from, size_t to) const {
  for (size_t i = from; i < to; ++i)
    if (!IsBlank(m_data[i])) return false;
  return true;
}

void DbcScanner::SkipRawLine() {
  if (m_pos >= m_data.size()) return;
  m_pos = LineEnd(m_pos) + 1;
  ++m_line;
}

bool DbcScanner::SkipToEmptyLine() {
  while (m_pos < m_data.size()) {
    const size_t end = LineEnd(m_pos);
    const bool blank = BlankRange(m_pos, end);
    m_pos = end + 1;
    ++m_line;
    if (blank) return true;
  }
  return false;
}

bool DbcScanner::NextLineContinues() const {
  if (m_pos >= m_data.size() || !IsBlank(m_data[m_pos])) return false;
  return !BlankRange(m_pos, LineEnd(m_pos));
}

}  // namespace pellor
