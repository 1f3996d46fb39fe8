#include "mdf/format.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

#include "platform/win32/codepage.h"

namespace mdf {
namespace {

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

// Switches the calling thread to the C locale for the lifetime of the object.
class CLocaleScope {
 public:
  CLocaleScope() : previous_(uselocale(CLocale())) {}
  ~CLocaleScope() { uselocale(previous_); }

 private:
  locale_t previous_;
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string StrFormat(const char* format, ...) {
  CLocaleScope c;
  char small[256];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string out;
  if (n < 0) {
    va_end(copy);
    return out;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    out.assign(small, static_cast<size_t>(n));
  } else {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, copy);
    out.resize(static_cast<size_t>(n));
  }
  va_end(copy);
  return out;
}

double StrToDouble(const char* text, const char** end) {
  CLocaleScope c;
  char* e = nullptr;
  const double v = std::strtod(text, &e);
  if (end) *end = e;
  return v;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Ansi(const char* utf8) { return winport::Utf8ToAnsi(utf8); }

}  // namespace mdf
