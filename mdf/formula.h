// Evaluator of the text formulas that conversion type 10 stores: an
// expression in the raw value X, computed for one value at a time.
#pragma once

#include <span>

namespace mdf {

// Result codes of EvaluateFormula.
constexpr int kFormulaOk = 0;
constexpr int kFormulaDomain = 1;          // math function outside its domain (SQRT(-1), LOG(0))
constexpr int kFormulaSingularity = 2;     // pole of a math function (0^-1)
constexpr int kFormulaOverflow = 3;        // math function result too large (EXP(1000))
constexpr int kFormulaUnderflow = 4;       // math function result too small (EXP(-1000))
constexpr int kFormulaTotalLoss = 5;       // total loss of significance (not reported by this C library)
constexpr int kFormulaPartialLoss = 6;     // partial loss of significance (not reported by this C library)
constexpr int kFormulaSyntax = 7;          // syntax error, empty text, or nesting too deep
constexpr int kFormulaDivisionByZero = 8;  // divisor of '/' or '%' is 0.0

// Evaluates the formula in `text` for the value `x`. The text ends at its
// first NUL byte or at the end of the span, whichever comes first.
// The text is changed in place: ASCII letters are upper-cased and every ','
// becomes '.'. Returns one of the codes above; `*result` receives the
// formula's value on success and 0.0 on failure (nothing when it is null).
// Reentrant: keeps no state between or across calls.
int EvaluateFormula(double x, std::span<char> text, double* result);

}  // namespace mdf
