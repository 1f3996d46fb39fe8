#include "importcore/support.h"

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <limits>

#include "platform/ui/window.h"
#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace importcore {
namespace {

// The size of the host variable buffer: a longer value does not fit and reads as missing.
constexpr DWORD kVariableBufferSize = 512;

const char* g_variablesKey = kVariablesKey6;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool IsIdentifierChar(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '$' || c == '@' || c == '_' || IsUmlaut(c); }

// atoi and atof skip what isspace calls blank in the C locale.
size_t SkipBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  return i;
}

}  // namespace

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool IsFileReadable(const std::string& path) {
  return access(winport::AnsiToUtf8(path).c_str(), R_OK) == 0;
}

const char* SetDefaultVariablesKey() {
  g_variablesKey = kVariablesKey6;
  return g_variablesKey;
}

const char* SetVariablesKey() { return SetDefaultVariablesKey(); }

const char* SelectVariablesKey(int hostVersion) {
  g_variablesKey = hostVersion < kHostVersion7 ? kVariablesKey6 : kVariablesKey7;
  return g_variablesKey;
}

const char* CurrentVariablesKey() { return g_variablesKey; }

std::optional<std::string> ReadVariable(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, g_variablesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  char buffer[kVariableBufferSize];
  DWORD size = kVariableBufferSize;
  const LSTATUS status =
      RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || size > kVariableBufferSize) return std::nullopt;
  // The text ends at its NUL or at the last byte read, whichever comes first.
  const std::string_view bytes(buffer, size);
  return std::string(bytes.substr(0, bytes.find('\0')));
}

int ParseInt(std::string_view text) {
  size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && IsAsciiDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;  // saturated; further digits change nothing
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(value >= kLimit ? kLimit - 1 : value);
}

double ParseDouble(std::string_view text) {
  size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // A second sign is no number, as with strtod.
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0.0;
  double value = 0.0;
  const char* first = text.data() + i;
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (end == first) return 0.0;
  if (error == std::errc::result_out_of_range)
    value = value == 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

int ReadVariableInt(const std::string& name) {
  const auto text = ReadVariable(name);
  return text ? ParseInt(*text) : 0;
}

double ReadVariableDouble(const std::string& name) {
  const auto text = ReadVariable(name);
  return text ? ParseDouble(*text) : 0.0;
}

int CheckHostVersion(double version, double revision) {
  if (ReadVariableDouble("ZPVERSION") < version) return 0;
  // Checked on its own: a newer version does not make up for an older revision.
  if (ReadVariableDouble("ZPREVISION") < revision) return 0;
  return 1;
}

BSTR TextToBstr(std::string_view text) { return winport::BstrFromAnsi(text); }

std::string CopyTextN(std::string_view src, size_t max) {
  if (max == 0) return {};
  return std::string(src.substr(0, max - 1));
}

bool EqualNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && winport::EqualsNoCase(a, b);
}

bool EqualPrefix(const char* a, const char* b, size_t n) {
  if (a == nullptr || b == nullptr) return a == b;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == '\0') return true;
  }
  return true;
}

void TrimRight(std::string& text) {
  size_t end = text.size();
  while (end > 1 && text[end - 1] == ' ') --end;
  text.resize(end);
}

bool IsUmlaut(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0x8E: case 0x99: case 0x9A: case 0xE1: case 0x84: case 0x94: case 0x81:  // code page 850
    case 0xC4: case 0xD6: case 0xDC: case 0xE4: case 0xF6: case 0xFC: case 0xDF:  // Windows-1252
    case 0xB0: case 0xB2: case 0xB3: case 0xB5:
      return true;
    default:
      return false;
  }
}

void MakeIdentifier(std::string& text) {
  TrimRight(text);
  for (char& c : text)
    if (!IsIdentifierChar(c)) c = '_';
  if (!text.empty() && (IsAsciiLetter(text[0]) || IsUmlaut(text[0]) || text[0] == '$')) return;
  text.insert(text.begin(), 'S');
}

std::string WrapLines(std::string_view text, int width) {
  if (width <= 0) return std::string(text);
  const size_t n = static_cast<size_t>(width);
  std::string out;
  out.reserve(text.size() + text.size() / n * 2 + 2);
  size_t lineStart = 0;  // where the current line begins in `out`
  size_t i = 0;          // next source character
  while (i < text.size()) {
    if (out.size() - lineStart < n) {
      out += text[i++];
      continue;
    }
    // A full line with more to come: break it at its last separator, never at its first character.
    size_t breakAt = out.size() - 1;
    while (breakAt > lineStart && out[breakAt] != ' ' && out[breakAt] != ';' && out[breakAt] != ',') --breakAt;
    if (breakAt > lineStart) {
      // The line's characters are consecutive source characters: step the source back in step.
      i -= out.size() - breakAt;
      ++i;  // the separator itself is not kept
      out.resize(breakAt);
    }
    out += "\\n";
    lineStart = out.size();
  }
  return out;
}

void WrapCommentLines(std::string& text) {
  const int width = ReadVariableInt("MDF_CHARSPERLINE");
  if (width > 0) text = WrapLines(text, width);
}

}  // namespace importcore
