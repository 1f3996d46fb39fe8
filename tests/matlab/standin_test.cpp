// The MAT-file stand-in on files written by libmatio's writer: classes,
// shapes and data of every kind the import module meets, empty and unset
// fields, the null answers, and damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/matlab/mat.h"
#include "tests/matlab/mat_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace matwriter;

// An open MAT-file, closed at the end of the test.
class Opened {
 public:
  explicit Opened(const std::string& path) : file_(matOpen(path.c_str(), "r")) {}
  ~Opened() {
    if (file_) {
      EXPECT_EQ(matClose(file_), 0);
    }
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  MATFile* get() const { return file_; }
  mxArray* Next(const char** name = nullptr) { return matGetNextVariable(file_, name); }

 private:
  MATFile* file_;
};

template <typename T>
std::vector<T> Values(const mxArray* a) {
  const auto* p = static_cast<const T*>(mxGetData(a));
  if (!p) return {};
  return std::vector<T>(p, p + mxGetM(a) * mxGetN(a));
}

std::u16string Codes(const mxArray* a) {
  const auto* p = static_cast<const mxChar*>(mxGetData(a));
  if (!p) return {};
  return std::u16string(p, p + mxGetM(a) * mxGetN(a));
}

struct Format {
  const char* name;
  mat_ft version;
  matio_compression compression;
};
const Format kLevel5{"level 5", MAT_FT_MAT5, MAT_COMPRESSION_NONE};
const Format kCompressed{"level 5 compressed", MAT_FT_MAT5, MAT_COMPRESSION_ZLIB};
const Format kHdf5{"7.3", MAT_FT_MAT73, MAT_COMPRESSION_NONE};
const Format kLevel4{"level 4", MAT_FT_MAT4, MAT_COMPRESSION_NONE};

class MatStandIn : public ::testing::Test {
 protected:
  std::string Path(const std::string& name = "test.mat") const { return dir_.File(name); }
  testsupport::TempDir dir_;
};

TEST_F(MatStandIn, OpenRefusesWhatIsNoReadableMatFile) {
  {
    MatFileWriter w(Path("good.mat"));
    ASSERT_TRUE(w.Write(Doubles("x", 1, 1, {1})));
  }
  testsupport::WriteFileBytes(Path("text.mat"), std::string(300, 'x') + "\nnot a MAT-file\n");
  testsupport::WriteFileBytes(Path("empty.mat"), "");
  ASSERT_EQ(mkdir(Path("folder.mat").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(Path("fifo.mat").c_str(), 0600), 0);  // opening it for reading would block

  struct Case {
    std::string path;
    const char* mode;
  } cases[] = {
      {Path("good.mat"), "w"},  {Path("good.mat"), "u"},     {Path("good.mat"), "rb"},
      {Path("good.mat"), ""},   {Path("good.mat"), nullptr}, {Path("missing.mat"), "r"},
      {Path("text.mat"), "r"},  {Path("empty.mat"), "r"},    {Path("folder.mat"), "r"},
      {Path("fifo.mat"), "r"},
  };
  for (const Case& c : cases) {
    MATFile* file = matOpen(c.path.c_str(), c.mode);
    EXPECT_EQ(file, nullptr) << c.path << " mode " << (c.mode ? c.mode : "(null)");
    if (file) matClose(file);
  }
  EXPECT_EQ(matOpen(nullptr, "r"), nullptr);
  Opened good(Path("good.mat"));
  EXPECT_NE(good.get(), nullptr);
}

TEST_F(MatStandIn, EveryFunctionAnswersANullArgument) {
  EXPECT_EQ(matGetNextVariable(nullptr, nullptr), nullptr);
  const char* name = "unchanged";
  EXPECT_EQ(matGetNextVariable(nullptr, &name), nullptr);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(matClose(nullptr), -1);
  EXPECT_EQ(mxGetClassID(nullptr), mxUNKNOWN_CLASS);
  EXPECT_EQ(mxGetM(nullptr), 0u);
  EXPECT_EQ(mxGetN(nullptr), 0u);
  EXPECT_EQ(mxGetData(nullptr), nullptr);
  EXPECT_STREQ(mxGetName(nullptr), "");
  EXPECT_EQ(mxGetNumberOfFields(nullptr), 0);
  EXPECT_EQ(mxGetFieldNameByNumber(nullptr, 0), nullptr);
  EXPECT_EQ(mxGetFieldNumber(nullptr, "a"), -1);
  EXPECT_EQ(mxGetFieldByNumber(nullptr, 0, 0), nullptr);
}

// Variables come in file order with their names; the end stays the end.
TEST_F(MatStandIn, VariablesInOrderWithNames) {
  for (const Format& f : {kLevel5, kCompressed, kHdf5, kLevel4}) {
    SCOPED_TRACE(f.name);
    const std::string path = Path(std::string(f.name) + ".mat");
    {
      MatFileWriter w(path, f.version, f.compression);
      ASSERT_TRUE(w.IsOpen());
      ASSERT_TRUE(w.Write(Doubles("alpha", 1, 2, {1, 2})));
      ASSERT_TRUE(w.Write(Doubles("beta", 2, 1, {3, 4})));
      ASSERT_TRUE(w.Write(Doubles("gamma", 1, 1, {5})));
    }
    Opened file(path);
    ASSERT_NE(file.get(), nullptr);
    const char* name = nullptr;
    mxArray* a = file.Next(&name);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(name, "alpha");
    EXPECT_STREQ(mxGetName(a), "alpha");
    EXPECT_EQ(Values<double>(a), (std::vector<double>{1, 2}));
    mxArray* b = file.Next();  // the name pointer may be omitted
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(mxGetName(b), "beta");
    EXPECT_EQ(mxGetM(b), 2u);
    EXPECT_EQ(mxGetN(b), 1u);
    ASSERT_NE(file.Next(&name), nullptr);
    EXPECT_STREQ(name, "gamma");
    EXPECT_EQ(file.Next(&name), nullptr);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(file.Next(), nullptr);
    // Arrays handed out stay valid until the file is closed.
    EXPECT_EQ(Values<double>(a), (std::vector<double>{1, 2}));
  }
}

template <typename T>
void WriteAndCompare(const std::string& path, const Format& f, matio_classes cls, const std::vector<T>& values) {
  {
    MatFileWriter w(path, f.version, f.compression);
    ASSERT_TRUE(w.Write(Numbers<T>("v", cls, {2, 3, 2}, values)));
  }
  Opened file(path);
  mxArray* a = file.Next();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(mxGetClassID(a), static_cast<mxClassID>(cls));
  EXPECT_EQ(mxGetM(a), 2u);
  EXPECT_EQ(mxGetN(a), 6u);  // the product of the further dimensions
  EXPECT_EQ(Values<T>(a), values);
}

template <typename T>
std::vector<T> Twelve() {
  std::vector<T> v;
  for (int i = 0; i < 10; ++i) v.push_back(static_cast<T>(i * 7 % 11));
  v.push_back(std::numeric_limits<T>::lowest());
  v.push_back(std::numeric_limits<T>::max());
  return v;
}

TEST_F(MatStandIn, NumbersKeepTheirClassAndType) {
  for (const Format& f : {kLevel5, kCompressed, kHdf5}) {
    SCOPED_TRACE(f.name);
    const std::string path = Path();
    WriteAndCompare(path, f, MAT_C_DOUBLE, Twelve<double>());
    WriteAndCompare(path, f, MAT_C_SINGLE, Twelve<float>());
    WriteAndCompare(path, f, MAT_C_INT8, Twelve<int8_t>());
    WriteAndCompare(path, f, MAT_C_UINT8, Twelve<uint8_t>());
    WriteAndCompare(path, f, MAT_C_INT16, Twelve<int16_t>());
    WriteAndCompare(path, f, MAT_C_UINT16, Twelve<uint16_t>());
    WriteAndCompare(path, f, MAT_C_INT32, Twelve<int32_t>());
    WriteAndCompare(path, f, MAT_C_UINT32, Twelve<uint32_t>());
    WriteAndCompare(path, f, MAT_C_INT64, Twelve<int64_t>());
    WriteAndCompare(path, f, MAT_C_UINT64, Twelve<uint64_t>());
  }
}

// Char arrays give 16-bit codes whatever matio keeps in memory: UTF-8 from
// level 5 (decoded; bytes that are no UTF-8 taken as Windows-1252), 16-bit
// codes from level 5 and 7.3, bytes from level 4.
TEST_F(MatStandIn, CharsAreSixteenBitCodesInEveryStorage) {
  const std::u16string text = u"Prüf €/µ";
  struct Case {
    Format format;
    matio_types storage;
    std::u16string written;
    std::u16string read;
  } cases[] = {
      {kLevel5, MAT_T_UTF8, text, text},
      // matio's compressed writer gives the variable a size short of its
      // UTF-8 text; matio reads a compressed variable by its parts.
      {kCompressed, MAT_T_UTF8, text, text},
      {kLevel5, MAT_T_UINT16, text, text},
      {kCompressed, MAT_T_UINT16, text, text},
      {kHdf5, MAT_T_UINT16, text, text},
      {kHdf5, MAT_T_UTF8, u"Prüf", u"Prüf"},
      // matio stores 8-bit chars of level 5 as UTF-8: "ü" as byte 0xFC is no UTF-8.
      {kLevel5, MAT_T_UINT8, u"Prüf", u"Prüf"},
      {kLevel4, MAT_T_UINT8, u"Prüf", u"Prüf"},
      {kLevel4, MAT_T_UINT16, u"€", u"\u00AC"},  // level 4 keeps the low byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format.name) + " storage " + std::to_string(c.storage));
    {
      MatFileWriter w(Path(), c.format.version, c.format.compression);
      ASSERT_TRUE(w.Write(Text("t", c.written, c.storage)));
    }
    Opened file(Path());
    mxArray* a = file.Next();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mxGetClassID(a), mxCHAR_CLASS);
    EXPECT_EQ(mxGetM(a), 1u);
    EXPECT_EQ(mxGetN(a), c.read.size());
    EXPECT_EQ(Codes(a), c.read);
    EXPECT_EQ(mxGetData(a), mxGetData(a));  // converted once
  }
}

// Inside a struct the size counts: where matio's compressed writer makes it
// short of the UTF-8 text (by a padding unit), matio itself reads the next
// field from the wrong place and loses it. Such a struct is refused; where
// the padding absorbs the difference, it reads in full.
TEST_F(MatStandIn, CompressedUtf8FieldsOfMatio) {
  struct Case {
    std::u16string text;
    bool readable;
  } cases[] = {{u"ASCII", true}, {u"Prüf", true}, {u"Prüf €/µ", false}};
  for (const Case& c : cases) {
    {
      MatFileWriter w(Path(), MAT_FT_MAT5, MAT_COMPRESSION_ZLIB);
      matvar_t* s = Struct("s", {1, 1}, {"text", "after"});
      SetField(s, "text", 0, Text(nullptr, c.text, MAT_T_UTF8));
      SetField(s, "after", 0, Doubles(nullptr, 1, 1, {5}));
      ASSERT_TRUE(w.Write(s));
    }
    Opened file(Path());
    mxArray* s = file.Next();
    if (!c.readable) {
      EXPECT_EQ(s, nullptr);
      continue;
    }
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Codes(mxGetFieldByNumber(s, 0, 0)), c.text);
    EXPECT_EQ(Values<double>(mxGetFieldByNumber(s, 0, 1)), std::vector<double>{5});
  }
}

TEST_F(MatStandIn, CharMatrixIsColumnMajor) {
  {
    MatFileWriter w(Path());
    // Rows "abc" and "xyz".
    ASSERT_TRUE(w.Write(Chars("m", 2, 3, u"axbycz", MAT_T_UTF8)));
  }
  Opened file(Path());
  mxArray* a = file.Next();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(mxGetM(a), 2u);
  EXPECT_EQ(mxGetN(a), 3u);
  EXPECT_EQ(Codes(a), u"axbycz");
}

TEST_F(MatStandIn, LogicalGivesItsBytes) {
  for (const Format& f : {kLevel5, kCompressed, kHdf5}) {
    SCOPED_TRACE(f.name);
    {
      MatFileWriter w(Path(), f.version, f.compression);
      ASSERT_TRUE(w.Write(Logical("flags", 2, 2, {1, 0, 0, 1})));
    }
    Opened file(Path());
    mxArray* a = file.Next();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mxGetClassID(a), mxLOGICAL_CLASS);
    EXPECT_EQ(Values<uint8_t>(a), (std::vector<uint8_t>{1, 0, 0, 1}));
  }
}

TEST_F(MatStandIn, ComplexGivesTheRealParts) {
  for (const Format& f : {kLevel5, kCompressed, kHdf5, kLevel4}) {
    SCOPED_TRACE(f.name);
    {
      MatFileWriter w(Path(), f.version, f.compression);
      ASSERT_TRUE(w.Write(Complex("z", 1, 3, {1.5, -2, 3}, {10, 20, 30})));
    }
    Opened file(Path());
    mxArray* a = file.Next();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mxGetClassID(a), mxDOUBLE_CLASS);
    EXPECT_EQ(Values<double>(a), (std::vector<double>{1.5, -2, 3}));
  }
}

// Cells, sparse arrays and empty arrays: class and size, no data, no fields.
TEST_F(MatStandIn, ArraysWithoutDataTellClassAndSize) {
  {
    MatFileWriter w(Path());
    size_t dims[2] = {2, 1};
    matvar_t* cell = Mat_VarCreate("cell", MAT_C_CELL, MAT_T_CELL, 2, dims, nullptr, 0);
    Mat_VarSetCell(cell, 0, Doubles(nullptr, 1, 1, {1}));
    Mat_VarSetCell(cell, 1, Text(nullptr, u"x"));
    ASSERT_TRUE(w.Write(cell));

    double values[2] = {4, 5};
    mat_uint32_t ir[2] = {0, 2}, jc[3] = {0, 1, 2};
    mat_sparse_t sparse{2, ir, 2, jc, 3, 2, values};
    size_t sparseDims[2] = {3, 2};
    ASSERT_TRUE(w.Write(Mat_VarCreate("sparse", MAT_C_SPARSE, MAT_T_DOUBLE, 2, sparseDims, &sparse, 0)));
    ASSERT_TRUE(w.Write(Empty("nothing")));
  }
  Opened file(Path());
  struct Expected {
    const char* name;
    mxClassID cls;
    size_t m, n;
  } expected[] = {{"cell", mxCELL_CLASS, 2, 1}, {"sparse", mxUNKNOWN_CLASS, 3, 2}, {"nothing", mxDOUBLE_CLASS, 0, 0}};
  for (const Expected& e : expected) {
    mxArray* a = file.Next();
    ASSERT_NE(a, nullptr) << e.name;
    EXPECT_STREQ(mxGetName(a), e.name);
    EXPECT_EQ(mxGetClassID(a), e.cls) << e.name;
    EXPECT_EQ(mxGetM(a), e.m) << e.name;
    EXPECT_EQ(mxGetN(a), e.n) << e.name;
    EXPECT_EQ(mxGetData(a), nullptr) << e.name;
    EXPECT_EQ(mxGetNumberOfFields(a), 0) << e.name;
    EXPECT_EQ(mxGetFieldNumber(a, "x"), -1) << e.name;
    EXPECT_EQ(mxGetFieldByNumber(a, 0, 0), nullptr) << e.name;
  }
  EXPECT_EQ(file.Next(), nullptr);
}

// Unset fields and empty values (a dimension of 0) give none; names are
// exact; out-of-range numbers give none.
TEST_F(MatStandIn, StructFieldsSetUnsetAndEmpty) {
  for (const Format& f : {kLevel5, kCompressed, kHdf5}) {
    SCOPED_TRACE(f.name);
    {
      MatFileWriter w(Path(), f.version, f.compression);
      matvar_t* s = Struct("s", {1, 2}, {"num", "empty", "unset", "blank", "inner"});
      SetField(s, "num", 0, Doubles(nullptr, 1, 1, {7}));
      SetField(s, "empty", 0, Empty(nullptr));
      SetField(s, "blank", 0, Text(nullptr, u""));
      matvar_t* inner = Struct(nullptr, {1, 1}, {"deep"});
      SetField(inner, "deep", 0, Text(nullptr, u"d"));
      SetField(s, "inner", 0, inner);
      SetField(s, "num", 1, Text(nullptr, u"second"));
      SetField(s, "empty", 1, Struct(nullptr, {0, 0}, {"x"}));
      ASSERT_TRUE(w.Write(s));
    }
    Opened file(Path());
    mxArray* s = file.Next();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(mxGetClassID(s), mxSTRUCT_CLASS);
    EXPECT_EQ(mxGetData(s), nullptr);
    ASSERT_EQ(mxGetNumberOfFields(s), 5);
    EXPECT_STREQ(mxGetFieldNameByNumber(s, 3), "blank");
    EXPECT_EQ(mxGetFieldNameByNumber(s, 5), nullptr);
    EXPECT_EQ(mxGetFieldNameByNumber(s, -1), nullptr);
    EXPECT_EQ(mxGetFieldNumber(s, "inner"), 4);
    EXPECT_EQ(mxGetFieldNumber(s, "Inner"), -1);
    EXPECT_EQ(mxGetFieldNumber(s, "inn"), -1);
    EXPECT_EQ(mxGetFieldNumber(s, nullptr), -1);

    const mxArray* num = mxGetFieldByNumber(s, 0, 0);
    ASSERT_NE(num, nullptr);
    EXPECT_STREQ(mxGetName(num), "");
    EXPECT_EQ(Values<double>(num), std::vector<double>{7});
    EXPECT_EQ(Codes(mxGetFieldByNumber(s, 1, 0)), u"second");
    for (int field = 1; field <= 3; ++field) EXPECT_EQ(mxGetFieldByNumber(s, 0, field), nullptr) << field;
    for (int field = 1; field <= 4; ++field) EXPECT_EQ(mxGetFieldByNumber(s, 1, field), nullptr) << field;

    const mxArray* inner = mxGetFieldByNumber(s, 0, 4);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(mxGetClassID(inner), mxSTRUCT_CLASS);
    EXPECT_STREQ(mxGetName(inner), "");
    EXPECT_EQ(Codes(mxGetFieldByNumber(inner, 0, mxGetFieldNumber(inner, "deep"))), u"d");
    EXPECT_EQ(mxGetFieldByNumber(s, 0, 4), inner);  // the same view each time

    EXPECT_EQ(mxGetFieldByNumber(s, 2, 0), nullptr);
    EXPECT_EQ(mxGetFieldByNumber(s, 0, 5), nullptr);
    EXPECT_EQ(mxGetFieldByNumber(s, 0, -1), nullptr);
    EXPECT_EQ(mxGetNumberOfFields(num), 0);
    EXPECT_EQ(mxGetFieldNumber(num, "num"), -1);
    EXPECT_EQ(mxGetFieldByNumber(num, 0, 0), nullptr);
  }
}

// Elements are numbered column-major across every dimension; a large struct
// array reads in full.
TEST_F(MatStandIn, StructArraysLargeAndTwoDimensional) {
  constexpr size_t kCount = 20000;
  for (const Format& f : {kLevel5, kCompressed}) {
    SCOPED_TRACE(f.name);
    {
      MatFileWriter w(Path(), f.version, f.compression);
      matvar_t* big = Struct("big", {1, kCount}, {"k", "name"});
      for (size_t i = 0; i < kCount; ++i) {
        SetField(big, "k", i, Doubles(nullptr, 1, 1, {double(i)}));
        SetField(big, "name", i, Text(nullptr, u"n" + std::u16string(i % 5, u'x')));
      }
      ASSERT_TRUE(w.Write(big));
      matvar_t* grid = Struct("grid", {3, 4}, {"i"});
      for (size_t i = 0; i < 12; ++i) SetField(grid, "i", i, Doubles(nullptr, 1, 1, {double(i)}));
      ASSERT_TRUE(w.Write(grid));
    }
    Opened file(Path());
    mxArray* big = file.Next();
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(mxGetM(big) * mxGetN(big), kCount);
    size_t wrong = 0;
    for (size_t i = 0; i < kCount; ++i) {
      const auto k = Values<double>(mxGetFieldByNumber(big, i, 0));
      const std::u16string name = Codes(mxGetFieldByNumber(big, i, 1));
      if (k != std::vector<double>{double(i)} || name != u"n" + std::u16string(i % 5, u'x')) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    mxArray* grid = file.Next();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(mxGetM(grid), 3u);
    EXPECT_EQ(mxGetN(grid), 4u);
    EXPECT_EQ(Values<double>(mxGetFieldByNumber(grid, 7, 0)), std::vector<double>{7});
  }
}

// The path is ANSI (Windows-1252), as the module's other file names.
TEST_F(MatStandIn, OpensAnAnsiPath) {
  ASSERT_EQ(mkdir(Path("m\xC3\xA4t").c_str(), 0700), 0);  // "mät" in UTF-8 on disk
  {
    MatFileWriter w(Path("m\xC3\xA4t/x.mat"));
    ASSERT_TRUE(w.Write(Doubles("x", 1, 1, {1})));
  }
  Opened file(Path("m\xE4t/x.mat"));
  EXPECT_NE(file.Next(), nullptr);
}

}  // namespace
