// Every MAT-file of the corpus, read through the stand-in, against what an
// independent reader decoded ("variables" of the oracle beside each file).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/matlab/mat.h"
#include "platform/win32/codepage.h"
#include "tests/support/corpus.h"

namespace {

using nlohmann::json;

// The oracle names a numeric array by the type its values are stored in; a
// double array whose values were saved as small integers keeps class double
// in the file (the array flags), which is what the stand-in reports.
const std::map<std::string, mxClassID> kStoredAsIntegers = {
    {"scipy_testmulti_7.4_GLNX86.mat:a", mxDOUBLE_CLASS},
    {"scipy_teststructarr_6.5.1_GLNX86.mat:teststructarr[0].one", mxDOUBLE_CLASS},
    {"scipy_teststructarr_6.5.1_GLNX86.mat:teststructarr[0].two", mxDOUBLE_CLASS},
};

mxClassID OracleClass(const std::string& name) {
  static const std::map<std::string, mxClassID> classes = {
      {"cell", mxCELL_CLASS},     {"struct", mxSTRUCT_CLASS},   {"logical", mxLOGICAL_CLASS},
      {"char", mxCHAR_CLASS},     {"double", mxDOUBLE_CLASS},   {"single", mxSINGLE_CLASS},
      {"int8", mxINT8_CLASS},     {"uint8", mxUINT8_CLASS},     {"int16", mxINT16_CLASS},
      {"uint16", mxUINT16_CLASS}, {"int32", mxINT32_CLASS},     {"uint32", mxUINT32_CLASS},
      {"int64", mxINT64_CLASS},   {"uint64", mxUINT64_CLASS},   {"complex double", mxDOUBLE_CLASS},
      {"complex single", mxSINGLE_CLASS}};
  auto it = classes.find(name);
  return it == classes.end() ? mxUNKNOWN_CLASS : it->second;
}

double Element(const mxArray* a, size_t i) {
  const void* d = mxGetData(a);
  switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: return static_cast<const double*>(d)[i];
    case mxSINGLE_CLASS: return static_cast<const float*>(d)[i];
    case mxINT8_CLASS: return static_cast<const int8_t*>(d)[i];
    case mxUINT8_CLASS: return static_cast<const uint8_t*>(d)[i];
    case mxLOGICAL_CLASS: return static_cast<const uint8_t*>(d)[i];
    case mxINT16_CLASS: return static_cast<const int16_t*>(d)[i];
    case mxUINT16_CLASS: return static_cast<const uint16_t*>(d)[i];
    case mxINT32_CLASS: return static_cast<const int32_t*>(d)[i];
    case mxUINT32_CLASS: return static_cast<const uint32_t*>(d)[i];
    case mxINT64_CLASS: return static_cast<double>(static_cast<const int64_t*>(d)[i]);
    case mxUINT64_CLASS: return static_cast<double>(static_cast<const uint64_t*>(d)[i]);
    default: ADD_FAILURE() << "no numeric class"; return 0;
  }
}

// Count, first and last values, minimum and maximum of a numeric array.
void CheckValues(const mxArray* a, const json& values, const std::string& where) {
  const size_t count = mxGetM(a) * mxGetN(a);
  ASSERT_EQ(count, values["count"].get<size_t>()) << where;
  if (count == 0) return;
  ASSERT_NE(mxGetData(a), nullptr) << where;
  const json& first = values["first"];
  const json& last = values["last"];
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(Element(a, i), first[i].get<double>()) << where << " [" << i << "]";
  for (size_t i = 0; i < last.size(); ++i)
    EXPECT_EQ(Element(a, count - last.size() + i), last[i].get<double>()) << where << " [-" << last.size() - i << "]";
  double lo = Element(a, 0), hi = lo;
  for (size_t i = 1; i < count; ++i) {
    lo = std::min(lo, Element(a, i));
    hi = std::max(hi, Element(a, i));
  }
  EXPECT_EQ(lo, values["min"].get<double>()) << where;
  EXPECT_EQ(hi, values["max"].get<double>()) << where;
}

// Whether the oracle's value has no elements (a 0 in its shape, or no text).
bool OracleEmpty(const json& v) {
  for (const json& d : v["shape"])
    if (d.get<size_t>() == 0) return true;
  return v.contains("text") && v["text"].get<std::string>().empty();
}

class CorpusFile {
 public:
  explicit CorpusFile(std::string file) : file_(std::move(file)) {}

  void Check(const mxArray* a, const json& v, const std::string& path) {
    const std::string where = file_ + ":" + path;
    ASSERT_NE(a, nullptr) << where;
    const std::string oracleClass = v["class"].get<std::string>();
    auto stored = kStoredAsIntegers.find(where);
    const mxClassID expected = stored != kStoredAsIntegers.end() ? stored->second : OracleClass(oracleClass);
    ASSERT_NE(expected, mxUNKNOWN_CLASS) << where << ": class " << oracleClass;
    ASSERT_EQ(mxGetClassID(a), expected) << where;

    const json& shape = v["shape"];
    if (expected == mxCHAR_CLASS) {
      // The oracle gives a char array's rows and its text.
      const std::u16string text = winport::Utf8ToUtf16(v["text"].get<std::string>());
      EXPECT_EQ(mxGetM(a), shape[0].get<size_t>()) << where;
      EXPECT_EQ(mxGetN(a), text.size()) << where;
      const auto* codes = static_cast<const mxChar*>(mxGetData(a));
      ASSERT_NE(codes, nullptr) << where;
      EXPECT_EQ(std::u16string(codes, codes + mxGetM(a) * mxGetN(a)), text) << where;
      return;
    }
    size_t columns = 1;
    for (size_t i = 1; i < shape.size(); ++i) columns *= shape[i].get<size_t>();
    EXPECT_EQ(mxGetM(a), shape[0].get<size_t>()) << where;
    EXPECT_EQ(mxGetN(a), columns) << where;

    if (expected == mxSTRUCT_CLASS) {
      CheckStruct(a, v, path);
    } else if (expected == mxCELL_CLASS) {
      EXPECT_EQ(mxGetData(a), nullptr) << where;
      EXPECT_EQ(mxGetNumberOfFields(a), 0) << where;
    } else {
      CheckValues(a, v.contains("real") ? v["real"] : v["values"], where);
    }
  }

 private:
  void CheckStruct(const mxArray* a, const json& v, const std::string& path) {
    const std::string where = file_ + ":" + path;
    const json& fields = v["fields"];
    ASSERT_EQ(mxGetNumberOfFields(a), static_cast<int>(fields.size())) << where;
    for (size_t f = 0; f < fields.size(); ++f) {
      const std::string name = fields[f].get<std::string>();
      EXPECT_STREQ(mxGetFieldNameByNumber(a, static_cast<int>(f)), name.c_str()) << where;
      EXPECT_EQ(mxGetFieldNumber(a, name.c_str()), static_cast<int>(f)) << where;
    }
    const json& elements = v["elements"];
    ASSERT_EQ(mxGetM(a) * mxGetN(a), elements.size()) << where;
    for (size_t e = 0; e < elements.size(); ++e) {
      for (size_t f = 0; f < fields.size(); ++f) {
        const std::string name = fields[f].get<std::string>();
        const std::string fieldPath = path + "[" + std::to_string(e) + "]." + name;
        const json& value = elements[e][name];
        const mxArray* field = mxGetFieldByNumber(a, e, static_cast<int>(f));
        if (OracleEmpty(value)) {
          EXPECT_EQ(field, nullptr) << file_ << ":" << fieldPath << " is empty";
          continue;
        }
        EXPECT_STREQ(mxGetName(field), "") << fieldPath;
        Check(field, value, fieldPath);
      }
    }
    EXPECT_EQ(mxGetFieldByNumber(a, elements.size(), 0), nullptr) << where;
    EXPECT_EQ(mxGetFieldByNumber(a, 0, static_cast<int>(fields.size())), nullptr) << where;
  }

  std::string file_;
};

std::vector<std::string> CorpusMatFiles() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(testsupport::CorpusFile("mat")))
    if (entry.path().extension() == ".mat") files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(MatCorpus, EveryVariableMatchesTheOracle) {
  SKIP_WITHOUT_CORPUS();
  size_t checked = 0;
  for (const std::string& name : CorpusMatFiles()) {
    SCOPED_TRACE(name);
    const json oracle = testsupport::LoadOracle("mat/" + name);
    if (!oracle.contains("variables")) continue;  // files the oracle could not read: below
    MATFile* file = matOpen(testsupport::CorpusFile("mat/" + name).c_str(), "r");
    ASSERT_NE(file, nullptr);
    CorpusFile check(name);
    for (const json& v : oracle["variables"]) {
      const char* varName = nullptr;
      const mxArray* a = matGetNextVariable(file, &varName);
      ASSERT_NE(a, nullptr) << v["name"];
      EXPECT_EQ(std::string(varName), v["name"].get<std::string>());
      EXPECT_STREQ(mxGetName(a), varName);
      check.Check(a, v, v["name"].get<std::string>());
    }
    EXPECT_EQ(matGetNextVariable(file, nullptr), nullptr) << "more variables than the oracle";
    EXPECT_EQ(matClose(file), 0);
    ++checked;
  }
  EXPECT_GE(checked, 12u);
}

// The 7.3 file (an HDF5 container), which the oracle's reader refuses: the
// stand-in reads its one variable, the row of the level-5 file of the same
// name and content.
TEST(MatCorpus, Version73FileReadsItsVariable) {
  SKIP_WITHOUT_CORPUS();
  const json oracle = testsupport::LoadOracle("mat/scipy_testhdf5_7.4_GLNX86.mat");
  ASSERT_TRUE(oracle.contains("read_error"));
  const json level5 = testsupport::LoadOracle("mat/scipy_testdouble_7.4_GLNX86.mat");
  for (int round = 0; round < 2; ++round) {
    MATFile* file = matOpen(testsupport::CorpusFile("mat/scipy_testhdf5_7.4_GLNX86.mat").c_str(), "r");
    ASSERT_NE(file, nullptr);
    const char* name = nullptr;
    const mxArray* a = matGetNextVariable(file, &name);
    ASSERT_NE(a, nullptr);
    CorpusFile("scipy_testhdf5_7.4_GLNX86.mat").Check(a, level5["variables"][0], name);
    EXPECT_STREQ(name, "testdouble");
    EXPECT_EQ(matGetNextVariable(file, &name), nullptr);
    EXPECT_EQ(matClose(file), 0);
  }
}

}  // namespace
