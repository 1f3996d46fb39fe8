// Feeds arbitrary bytes to the formula evaluator as a formula text, in a
// buffer of its exact size without a terminating NUL, for a few values of X
// (ordinary, zero, negative, huge, infinite, NaN).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "mdf/formula.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const double xs[] = {3.0, 0.0, -1.5, 1e308, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()};
  for (const double x : xs) {
    std::vector<char> text(data, data + size);
    double result = 0.0;
    const int code = mdf::EvaluateFormula(x, text, &result);
    if (code < mdf::kFormulaOk || code > mdf::kFormulaDivisionByZero) std::abort();
    if (code != mdf::kFormulaOk && result != 0.0) std::abort();

    // The text is left upper-cased with points for commas, so a second
    // evaluation of it changes nothing and gives the same outcome.
    for (const char c : text) {
      if (c == '\0') break;
      if ((c >= 'a' && c <= 'z') || c == ',') std::abort();
    }
    const std::vector<char> once = text;
    double again = 0.0;
    if (mdf::EvaluateFormula(x, text, &again) != code) std::abort();
    if (std::memcmp(&again, &result, sizeof result) != 0) std::abort();
    if (text != once) std::abort();
  }
  return 0;
}
