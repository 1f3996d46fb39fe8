#include "mdf/formula.h"

#include <cerrno>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <math.h>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace mdf {
namespace {

constexpr double kE = 2.718281828459045;
constexpr double kPi = 3.141592653589793;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.29577951308232;
// The degree sign of code page 850; '~' is accepted as well.
constexpr unsigned char kDegreeByte = 0xF8;
// Parentheses (plain or around a function argument) nest at most this deep.
// A formula field holds 256 characters, so no stored formula comes near it;
// the bound keeps the recursive parser's stack use small on any input.
constexpr int kMaxNesting = 256;

bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Called on upper-cased text, so only 'A' to 'Z' are letters.
bool IsLetter(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool IsNameChar(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

// Value of a decimal number that lies outside the range of double: infinity
// when it is too large, zero when it is too small, as strtod returns them.
// [b, e) is the number's text as std::from_chars matched it.
double OutOfRangeValue(const char* b, const char* e) {
  const bool negative = b < e && *b == '-';
  if (negative) ++b;
  // Decimal exponent of the first significant digit of the mantissa.
  int64_t lead = 0;
  int64_t zerosAfterPoint = 0;
  bool significant = false;
  bool point = false;
  for (; b < e && (IsDigit(*b) || *b == '.'); ++b) {
    if (*b == '.') {
      point = true;
    } else if (significant) {
      if (!point) ++lead;
    } else if (*b != '0') {
      significant = true;
      lead = point ? -(zerosAfterPoint + 1) : 0;
    } else if (point) {
      ++zerosAfterPoint;
    }
  }
  int64_t exponent = 0;
  if (b < e && (*b == 'E' || *b == 'e')) {
    ++b;
    const bool negativeExponent = b < e && *b == '-';
    if (b < e && (*b == '-' || *b == '+')) ++b;
    for (; b < e && IsDigit(*b); ++b) {
      if (exponent < 1'000'000) exponent = exponent * 10 + (*b - '0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  const double magnitude = lead + exponent > 0 ? HUGE_VAL : 0.0;
  return negative ? -magnitude : magnitude;
}

// Reads a decimal number (optional '-', digits with an optional point, an
// optional exponent) from [b, e) as strtod does in the C locale, but without
// strtod's hexadecimal and locale-dependent forms. Returns the end of the
// number, or b when there is none.
const char* ReadNumber(const char* b, const char* e, double& value) {
  const auto [ptr, ec] = std::from_chars(b, e, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    value = OutOfRangeValue(b, ptr);
  } else if (ec != std::errc()) {
    return b;
  }
  return ptr;
}

// Saturates instead of leaving the conversion undefined; NaN stays NaN.
double TruncateToInt32(double v) {
  if (std::isnan(v)) return v;
  if (v >= 2147483648.0) return 2147483647.0;
  if (v <= -2147483649.0) return -2147483648.0;
  return static_cast<double>(static_cast<int32_t>(v));
}

using Unary = double (*)(double);
using Binary = double (*)(double, double);

enum class Func { Abs, Acos, Asin, Atan, Cos, Exp, Log, Log10, Pow10, Round, Sin, Sqr, Sqrt, Tan, Trunc };

enum class Tok { End, Number, Function, E, Pi, X, UnknownName, Degree, Char };

struct Keyword {
  std::string_view name;
  Tok tok;
  Func func;
};

constexpr Keyword kKeywords[] = {
    {"ABS", Tok::Function, Func::Abs},     {"ACOS", Tok::Function, Func::Acos},
    {"ASIN", Tok::Function, Func::Asin},   {"ATAN", Tok::Function, Func::Atan},
    {"COS", Tok::Function, Func::Cos},     {"EXP", Tok::Function, Func::Exp},
    {"LOG", Tok::Function, Func::Log},     {"LOG10", Tok::Function, Func::Log10},
    {"POW10", Tok::Function, Func::Pow10}, {"ROUND", Tok::Function, Func::Round},
    {"SIN", Tok::Function, Func::Sin},     {"SQR", Tok::Function, Func::Sqr},
    {"SQRT", Tok::Function, Func::Sqrt},   {"TAN", Tok::Function, Func::Tan},
    {"TRUNC", Tok::Function, Func::Trunc}, {"E", Tok::E, Func::Abs},
    {"PI", Tok::Pi, Func::Abs},            {"X", Tok::X, Func::Abs},
};

// Recursive-descent parser that computes the value while it reads, from the
// lowest binding to the highest: + -, then * / %, then ^ (left-associative),
// then unary - and +, then the angle marks, then primaries. The first error
// ends the evaluation; every step returns at once once error_ is set.
class Parser {
 public:
  Parser(const char* begin, const char* end, double x) : p_(begin), end_(end), x_(x) {}

  int Run(double& value) {
    Next();
    value = Sum();
    if (!error_ && tok_ != Tok::End) Fail(kFormulaSyntax);
    return error_;
  }

 private:
  double Fail(int code) {
    if (!error_) error_ = code;
    return 0.0;
  }

  bool IsChar(char c) const { return tok_ == Tok::Char && ch_ == c; }

  void Next() {
    while (p_ < end_ && IsSpace(*p_)) ++p_;
    if (p_ == end_) {
      tok_ = Tok::End;
      return;
    }
    const unsigned char c = *p_;
    if (IsDigit(c) || (c == '.' && p_ + 1 < end_ && IsDigit(p_[1]))) {
      const char* after = ReadNumber(p_, end_, number_);
      if (after != p_) {
        p_ = after;
        tok_ = Tok::Number;
        return;
      }
    } else if (IsLetter(c)) {
      const char* start = p_;
      while (p_ < end_ && IsNameChar(*p_)) ++p_;
      const std::string_view name(start, static_cast<size_t>(p_ - start));
      tok_ = Tok::UnknownName;
      for (const Keyword& k : kKeywords) {
        if (k.name == name) {
          tok_ = k.tok;
          func_ = k.func;
          break;
        }
      }
      return;
    } else if (c == kDegreeByte || c == '~') {
      ++p_;
      tok_ = Tok::Degree;
      return;
    }
    ++p_;
    tok_ = Tok::Char;
    ch_ = static_cast<char>(c);
  }

  // Calls a function of the C library and turns the error it reports into
  // the evaluation's code. errno tells whether there was an error; for a
  // range error the call is repeated with cleared exception flags to tell a
  // pole from an overflow or an underflow, which keeps the flags out of the
  // path that has no error. A pole of a logarithm counts as a domain error.
  // The call goes through a volatile pointer: compilers assume that some of
  // these functions (cos, sin, tan) never set errno and would otherwise move
  // or drop the errno accesses around them.
  double Library(Unary fn, double a, bool logarithm = false) {
    Unary volatile call = fn;
    errno = 0;
    const double r = call(a);
    const int err = errno;
    if (err == 0) return r;
    return RangeOrDomain(err, r, logarithm, [&] { call(a); });
  }

  double Library(Binary fn, double a, double b) {
    Binary volatile call = fn;
    errno = 0;
    const double r = call(a, b);
    const int err = errno;
    if (err == 0) return r;
    return RangeOrDomain(err, r, false, [&] { call(a, b); });
  }

  template <class Repeat>
  double RangeOrDomain(int err, double r, bool logarithm, Repeat repeat) {
    if (err == EDOM) return Fail(kFormulaDomain);
    if (err != ERANGE) return r;
    std::feclearexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW);
    repeat();
    const int flags = std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW);
    if (flags & FE_DIVBYZERO) return Fail(logarithm ? kFormulaDomain : kFormulaSingularity);
    if (flags & FE_OVERFLOW) return Fail(kFormulaOverflow);
    if (flags & FE_UNDERFLOW) return Fail(kFormulaUnderflow);
    return Fail(std::isinf(r) ? kFormulaOverflow : kFormulaUnderflow);
  }

  // expression + expression, expression - expression
  double Sum() {
    double v = Product();
    while (!error_ && (IsChar('+') || IsChar('-'))) {
      const char op = ch_;
      Next();
      const double r = Product();
      if (error_) break;
      v = op == '+' ? v + r : v - r;
    }
    return v;
  }

  // expression * expression, expression / expression, expression % expression
  double Product() {
    double v = Power();
    while (!error_ && (IsChar('*') || IsChar('/') || IsChar('%'))) {
      const char op = ch_;
      Next();
      const double r = Power();
      if (error_) break;
      if (op == '*') {
        v = v * r;
      } else if (r == 0.0) {
        return Fail(kFormulaDivisionByZero);
      } else if (op == '/') {
        v = v / r;
      } else {
        v = Library(::fmod, v, r);
      }
    }
    return v;
  }

  // expression ^ expression, left-associative: 2^3^2 is (2^3)^2.
  double Power() {
    double v = Signed();
    while (!error_ && IsChar('^')) {
      Next();
      const double r = Signed();
      if (error_) break;
      v = Library(::pow, v, r);
    }
    return v;
  }

  // Unary - and + bind tighter than ^ (so -2^2 is 4) but looser than the
  // angle marks (so -30~15' is -30.25). A chain of signs is read in a loop.
  double Signed() {
    bool negate = false;
    while (IsChar('-') || IsChar('+')) {
      if (ch_ == '-') negate = !negate;
      Next();
    }
    const double v = Angle(Primary());
    return negate ? -v : v;
  }

  // The angle marks after an expression: ~, ~ n ', ~ n ' n ", ', ' n ", ".
  // The numbers after a mark are plain numbers, not expressions.
  double Angle(double v) {
    while (!error_) {
      if (tok_ == Tok::Degree) {
        Next();
        if (tok_ != Tok::Number) continue;  // expression ~ alone is the value itself
        const double minutes = number_;
        Next();
        if (!IsChar('\'')) return Fail(kFormulaSyntax);
        Next();
        if (tok_ == Tok::Number) {
          const double seconds = number_;
          Next();
          if (!IsChar('"')) return Fail(kFormulaSyntax);
          Next();
          v = v + minutes / 60 + seconds / 3600;
        } else {
          v = v + minutes / 60;
        }
      } else if (IsChar('\'')) {
        Next();
        if (tok_ == Tok::Number) {
          const double seconds = number_;
          Next();
          if (!IsChar('"')) return Fail(kFormulaSyntax);
          Next();
          v = v / 60 + seconds / 3600;
        } else {
          v = v / 60;
        }
      } else if (IsChar('"')) {
        Next();
        v = v / 3600;
      } else {
        return v;
      }
    }
    return 0.0;
  }

  // ( expression ), with the nesting bounded.
  double Parenthesised() {
    if (!IsChar('(')) return Fail(kFormulaSyntax);
    if (depth_ >= kMaxNesting) return Fail(kFormulaSyntax);
    Next();
    ++depth_;
    const double v = Sum();
    --depth_;
    if (error_) return 0.0;
    if (!IsChar(')')) return Fail(kFormulaSyntax);
    Next();
    return v;
  }

  double Primary() {
    if (error_) return 0.0;
    switch (tok_) {
      case Tok::Number: {
        const double v = number_;
        Next();
        return v;
      }
      case Tok::E:
        Next();
        return kE;
      case Tok::Pi:
        Next();
        return kPi;
      case Tok::X:
        Next();
        return x_;
      case Tok::Function: {
        const Func f = func_;
        Next();
        const double a = Parenthesised();
        if (error_) return 0.0;
        return Apply(f, a);
      }
      case Tok::Char:
        if (ch_ == '(') return Parenthesised();
        return Fail(kFormulaSyntax);
      default:
        return Fail(kFormulaSyntax);
    }
  }

  double Apply(Func f, double a) {
    switch (f) {
      case Func::Abs:
        return std::fabs(a);
      case Func::Acos:
        return Library(::acos, a) * kDegreesPerRadian;
      case Func::Asin:
        return Library(::asin, a) * kDegreesPerRadian;
      case Func::Atan:
        return Library(::atan, a) * kDegreesPerRadian;
      case Func::Cos:
        return Library(::cos, a * kRadiansPerDegree);
      case Func::Exp:
        return Library(::exp, a);
      case Func::Log:
        return Library(::log, a, true);
      case Func::Log10:
        return Library(::log10, a, true);
      case Func::Pow10:
        return Library(::pow, 10.0, a);
      case Func::Round:
        return TruncateToInt32(a + 0.5);
      case Func::Sin:
        return Library(::sin, a * kRadiansPerDegree);
      case Func::Sqr:
        return a * a;
      case Func::Sqrt:
        return Library(::sqrt, a);
      case Func::Tan:
        return Library(::tan, a * kRadiansPerDegree);
      case Func::Trunc:
        return TruncateToInt32(a);
    }
    return Fail(kFormulaSyntax);
  }

  const char* p_;
  const char* const end_;
  const double x_;
  int error_ = 0;
  int depth_ = 0;
  Tok tok_ = Tok::End;
  Func func_ = Func::Abs;
  char ch_ = 0;
  double number_ = 0.0;
};

}  // namespace

int EvaluateFormula(double x, std::span<char> text, double* result) {
  // The text ends at its first NUL or at the end of the buffer.
  char* const begin = text.data();
  char* end = begin;
  for (char* const limit = begin + text.size(); end < limit && *end != '\0'; ++end) {
    if (*end >= 'a' && *end <= 'z') {
      *end = static_cast<char>(*end - 'a' + 'A');
    } else if (*end == ',') {
      *end = '.';
    }
  }
  const char* start = begin;
  while (start < end && IsSpace(*start)) ++start;

  // A plain number (digits and points, a leading '-') needs no parser; one
  // that is not a whole number ("1.2.3", "-") is left to the parser, which
  // rejects it.
  bool plain = start < end;
  for (const char* q = start; plain && q < end; ++q) {
    plain = IsDigit(*q) || *q == '.' || (*q == '-' && q == start);
  }
  double value = 0.0;
  if (plain && ReadNumber(start, end, value) == end) {
    if (result) *result = value;
    return kFormulaOk;
  }

  Parser parser(start, end, x);
  const int code = parser.Run(value);
  if (result) *result = code == kFormulaOk ? value : 0.0;
  return code;
}

}  // namespace mdf
