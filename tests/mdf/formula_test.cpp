#include "mdf/formula.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace mdf;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FormulaCase {
  const char* text;
  double x;
  int code;
  double value;  // expected on success; the result must be 0.0 on failure
};

// Expected values worked out by hand or with python3 (math module, the same
// degree factors 0.017453292519943295 and 57.29577951308232), never by the
// evaluator itself.
const FormulaCase kCases[] = {
    // Plain numbers: commas are decimal points, leading blanks are skipped.
    {"1,5", 0, kFormulaOk, 1.5},
    {"-3", 0, kFormulaOk, -3},
    {"  12", 0, kFormulaOk, 12},
    {"1.", 0, kFormulaOk, 1},
    {"-.5", 0, kFormulaOk, -0.5},
    {"12 ", 0, kFormulaOk, 12},
    // Texts that look like plain numbers but are none are errors, not 0 or a prefix.
    {"", 0, kFormulaSyntax, 0},
    {"   ", 0, kFormulaSyntax, 0},
    {"-", 0, kFormulaSyntax, 0},
    {".", 0, kFormulaSyntax, 0},
    {"1.2.3", 0, kFormulaSyntax, 0},
    {"1,2,3", 0, kFormulaSyntax, 0},
    // Binding order and associativity.
    {"2*X+1", 3, kFormulaOk, 7},
    {"1+2*3", 0, kFormulaOk, 7},
    {"(1+2)*3", 0, kFormulaOk, 9},
    {"1-2-3", 0, kFormulaOk, -4},
    {"8/4/2", 0, kFormulaOk, 1},
    {"2^3^2", 0, kFormulaOk, 64},
    {"-2^2", 0, kFormulaOk, 4},
    {"2^-1", 0, kFormulaOk, 0.5},
    {"2*-3^2", 0, kFormulaOk, 18},
    {"2^-2^2", 0, kFormulaOk, 0.0625},
    {"--2", 0, kFormulaOk, 2},
    {"2-+2", 0, kFormulaOk, 0},
    {"7%3", 0, kFormulaOk, 1},
    {"-7%3", 0, kFormulaOk, -1},
    {" SQR ( X ) ", -4, kFormulaOk, 16},
    // Numbers carry exponents; 'E' alone is the constant.
    {"2E3", 0, kFormulaOk, 2000},
    {"1.5E-3*2", 0, kFormulaOk, 0.003},
    {"E", 0, kFormulaOk, 2.718281828459045},
    {"2*pi", 0, kFormulaOk, 6.283185307179586},
    {"1E999", 0, kFormulaOk, kInf},
    {"-1E999", 0, kFormulaOk, -kInf},
    {"1E-999", 0, kFormulaOk, 0},
    {"0.000000000000000000000000000000000000000000000000000000000000000001E-300", 0, kFormulaOk, 0},
    // Angle marks bind tightest, tighter than unary minus.
    {"30~15'", 0, kFormulaOk, 30.25},
    {"-30~15'", 0, kFormulaOk, -30.25},
    {"15'20\"", 0, kFormulaOk, 0.25555555555555554},
    {"30~15'36\"", 0, kFormulaOk, 30.26},
    {"1+30~", 0, kFormulaOk, 31},
    {"30\xF8", 0, kFormulaOk, 30},
    {"30'", 0, kFormulaOk, 0.5},
    {"36\"", 0, kFormulaOk, 0.01},
    {"2^3~", 0, kFormulaOk, 8},
    {"2^3'", 0, kFormulaOk, 1.0352649238413776},
    {"30~15'\"", 0, kFormulaOk, 0.008402777777777778},
    {"30~15", 0, kFormulaSyntax, 0},
    {"30~-15'", 0, kFormulaOk, 29.75},  // 30 degrees minus 15 minutes
    {"30~X'", 0, kFormulaSyntax, 0},
    {"15'20", 0, kFormulaSyntax, 0},
    // Functions; trigonometry works in degrees.
    {"SIN(30)", 0, kFormulaOk, 0.49999999999999994},
    {"COS(60)", 0, kFormulaOk, 0.5000000000000001},
    {"TAN(45)", 0, kFormulaOk, 0.9999999999999999},
    {"ATAN(1)", 0, kFormulaOk, 45},
    {"ACOS(0.5)", 0, kFormulaOk, 60.00000000000001},
    {"ASIN(0,5)", 0, kFormulaOk, 30.000000000000004},
    {"ABS(-2.5)", 0, kFormulaOk, 2.5},
    {"EXP(1)", 0, kFormulaOk, 2.718281828459045},
    {"LOG(E)", 0, kFormulaOk, 1},
    {"LOG10(1000)", 0, kFormulaOk, 3},
    {"POW10(2)", 0, kFormulaOk, 100},
    {"SQRT(2)", 0, kFormulaOk, 1.4142135623730951},
    {"ROUND(2.5)", 0, kFormulaOk, 3},
    {"ROUND(-2.5)", 0, kFormulaOk, -2},
    {"TRUNC(-2.7)", 0, kFormulaOk, -2},
    // ROUND and TRUNC saturate at the 32-bit limits; NaN stays NaN.
    {"ROUND(2147483647.6)", 0, kFormulaOk, 2147483647},
    {"TRUNC(1E10)", 0, kFormulaOk, 2147483647},
    {"TRUNC(-2147483648.9)", 0, kFormulaOk, -2147483648.0},
    {"ROUND(-3E9)", 0, kFormulaOk, -2147483648.0},
    {"TRUNC(X)", kInf, kFormulaOk, 2147483647},
    {"TRUNC(X)", -kInf, kFormulaOk, -2147483648.0},
    {"ROUND(X)", kNaN, kFormulaOk, kNaN},
    // Syntax errors.
    {"SIN 30", 0, kFormulaSyntax, 0},
    {"ABC", 0, kFormulaSyntax, 0},
    {"SQRT2", 0, kFormulaSyntax, 0},
    {"2X", 0, kFormulaSyntax, 0},
    {"1 2", 0, kFormulaSyntax, 0},
    {"1+", 0, kFormulaSyntax, 0},
    {"(1", 0, kFormulaSyntax, 0},
    {"1)", 0, kFormulaSyntax, 0},
    {"1+\xE4", 0, kFormulaSyntax, 0},
    // Division by zero and the C library's errors.
    {"1/0", 0, kFormulaDivisionByZero, 0},
    {"1%0", 0, kFormulaDivisionByZero, 0},
    {"1/(X-3)", 3, kFormulaDivisionByZero, 0},
    {"SQRT(-1)", 0, kFormulaDomain, 0},
    {"LOG(0)", 0, kFormulaDomain, 0},
    {"LOG(-1)", 0, kFormulaDomain, 0},
    {"LOG10(0)", 0, kFormulaDomain, 0},
    {"ACOS(2)", 0, kFormulaDomain, 0},
    {"ASIN(-1.5)", 0, kFormulaDomain, 0},
    {"(-8)^(1/3)", 0, kFormulaDomain, 0},
    {"COS(X)", kInf, kFormulaDomain, 0},
    {"X%2", kInf, kFormulaDomain, 0},
    {"0^-1", 0, kFormulaSingularity, 0},
    {"EXP(1000)", 0, kFormulaOverflow, 0},
    {"POW10(400)", 0, kFormulaOverflow, 0},
    {"EXP(-1000)", 0, kFormulaUnderflow, 0},
    {"10^-400", 0, kFormulaUnderflow, 0},
};

TEST(EvaluateFormula, CasesTable) {
  for (const FormulaCase& c : kCases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\", x " + std::to_string(c.x));
    std::string text = c.text;
    double result = 99.0;
    EXPECT_EQ(EvaluateFormula(c.x, text, &result), c.code);
    if (c.code != kFormulaOk) {
      EXPECT_EQ(result, 0.0);
    } else if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(result)) << result;
    } else {
      EXPECT_DOUBLE_EQ(result, c.value);
    }
  }
}

TEST(EvaluateFormula, UpperCasesAndReplacesCommasInTheCallersBuffer) {
  std::string text = "2*x";
  double result = 0;
  ASSERT_EQ(EvaluateFormula(4, text, &result), kFormulaOk);
  EXPECT_EQ(text, "2*X");
  EXPECT_EQ(result, 8);

  // Only ASCII letters change: the degree byte and other 1252 bytes survive.
  text = "sqr(x,5)+1,5*x\xF8 \xE4";
  EvaluateFormula(1, text, &result);
  EXPECT_EQ(text, "SQR(X.5)+1.5*X\xF8 \xE4");
}

TEST(EvaluateFormula, TextEndsAtNulOrAtTheEndOfTheBuffer) {
  // Nothing after the first NUL is read or changed.
  char terminated[] = "1+x\0abc,d";
  double result = 0;
  EXPECT_EQ(EvaluateFormula(2, terminated, &result), kFormulaOk);
  EXPECT_EQ(result, 3);
  EXPECT_EQ(std::string(terminated + 4, 5), "abc,d");

  // A field filled to the end without a NUL; a heap buffer of the exact size
  // lets the address sanitizer catch any read beyond it.
  std::vector<char> field(256, ' ');
  const std::string formula = "x*2";
  std::copy(formula.begin(), formula.end(), field.end() - 3);
  EXPECT_EQ(EvaluateFormula(5, field, &result), kFormulaOk);
  EXPECT_EQ(result, 10);
  std::vector<char> number = {'4', '2'};
  EXPECT_EQ(EvaluateFormula(0, number, &result), kFormulaOk);
  EXPECT_EQ(result, 42);
}

TEST(EvaluateFormula, DeepNestingIsBounded) {
  double result = 1;
  // 127 levels fill a 256-character field and still evaluate.
  std::string nested = std::string(127, '(') + "X" + std::string(127, ')');
  EXPECT_EQ(EvaluateFormula(6, nested, &result), kFormulaOk);
  EXPECT_EQ(result, 6);
  nested = std::string(63, '(') + "SQR(" + std::string(62, '(') + "X" + std::string(126, ')');
  ASSERT_LE(nested.size(), 256u);
  EXPECT_EQ(EvaluateFormula(3, nested, &result), kFormulaOk);
  EXPECT_EQ(result, 9);

  // Unbalanced or far too deep: a syntax error, not a stack overflow.
  std::string open(256, '(');
  EXPECT_EQ(EvaluateFormula(0, open, &result), kFormulaSyntax);
  std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_EQ(EvaluateFormula(0, deep, &result), kFormulaSyntax);
  EXPECT_EQ(result, 0);
  // A long chain of signs is no nesting.
  std::string signs(100000, '-');
  signs += "1";
  EXPECT_EQ(EvaluateFormula(0, signs, &result), kFormulaOk);
  EXPECT_EQ(result, 1);
}

TEST(EvaluateFormula, ConcurrentEvaluationsDoNotInterfere) {
  // Half of the threads hit a domain error on every call, the other half
  // must never see it nor each other's X.
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      const double x = t % 2 ? -1.0 : t * t;
      const int expectedCode = t % 2 ? kFormulaDomain : kFormulaOk;
      for (int i = 0; i < 20000; ++i) {
        char text[] = "sqrt(x)+(1+2)*0";
        double result = -5;
        const int code = EvaluateFormula(x, text, &result);
        if (code != expectedCode || result != (t % 2 ? 0.0 : t)) ++wrong[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
