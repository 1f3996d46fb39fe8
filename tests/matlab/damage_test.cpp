// Damaged MAT-files, built byte by byte: a variable whose elements do not
// hold what its dimensions announce ends the walk, with the variables before
// it intact and none after it, instead of values that are not in the file.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/matlab/mat.h"
#include "tests/support/temp_dir.h"

namespace {

// Level-5 data types and classes used below.
enum : uint32_t { miINT8 = 1, miUINT16 = 4, miINT32 = 5, miUINT32 = 6, miDOUBLE = 9, miMATRIX = 14, miCOMPRESSED = 15 };
enum : uint32_t { kCell = 1, kStruct = 2, kObject = 3, kChar = 4, kSparse = 5, kDouble = 6, kFunction = 16, kOpaque = 17 };

// Level-5 elements in either byte order.
class Level5 {
 public:
  explicit Level5(bool bigEndian) : big_(bigEndian) {}

  std::string Word(uint32_t v) const {
    if (big_) v = __builtin_bswap32(v);
    return std::string(reinterpret_cast<const char*>(&v), 4);
  }
  std::string Number(double d) const {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    if (big_) bits = __builtin_bswap64(bits);
    return std::string(reinterpret_cast<const char*>(&bits), 8);
  }
  std::string Tag(uint32_t type, uint64_t bytes) const { return Word(type) + Word(static_cast<uint32_t>(bytes)); }
  std::string Element(uint32_t type, const std::string& data) const {
    return Tag(type, data.size()) + data + std::string((8 - data.size() % 8) % 8, '\0');
  }
  std::string Header() const {
    std::string h = "MATLAB 5.0 MAT-file, built for a test";
    h.resize(124, ' ');
    return h + (big_ ? std::string("\x01\x00MI", 4) : std::string("\x00\x01IM", 4));
  }
  // Array flags, dimensions and name of an array.
  std::string Head(uint32_t cls, std::vector<uint32_t> dims, const std::string& name, uint32_t nzmax = 0) const {
    std::string d;
    for (uint32_t x : dims) d += Word(x);
    return Element(miUINT32, Word(cls) + Word(nzmax)) + Element(miINT32, d) + Element(miINT8, name);
  }
  std::string Doubles(const std::vector<double>& values) const {
    std::string d;
    for (double v : values) d += Number(v);
    return Element(miDOUBLE, d);
  }
  // A 1 x n double array.
  std::string Row(const std::string& name, const std::vector<double>& values) const {
    return Element(miMATRIX, Head(kDouble, {1, uint32_t(values.size())}, name) + Doubles(values));
  }
  // A 1 x 1 struct with one field "f" holding `field` (an miMATRIX element).
  std::string Wrap(const std::string& name, const std::string& field, uint32_t nameLength = 8) const {
    std::string names = "f";
    names.resize(nameLength, '\0');
    return Element(miMATRIX, Head(kStruct, {1, 1}, name) + Element(miINT32, Word(nameLength)) +
                                 Element(miINT8, names) + field);
  }

 private:
  bool big_;
};

std::string Compressed(const Level5& l5, const std::string& element) {
  uLongf size = compressBound(element.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(element.data()),
           element.size());
  out.resize(size);
  return l5.Tag(miCOMPRESSED, out.size()) + out;
}

// The names of the variables read until the walk ends (at most 10).
std::vector<std::string> Walk(const std::string& path) {
  std::vector<std::string> names;
  MATFile* file = matOpen(path.c_str(), "r");
  if (!file) return {"(not opened)"};
  for (int i = 0; i < 10; ++i) {
    const mxArray* a = matGetNextVariable(file, nullptr);
    if (!a) break;
    names.push_back(mxGetName(a));
  }
  EXPECT_EQ(matGetNextVariable(file, nullptr), nullptr);
  EXPECT_EQ(matClose(file), 0);
  return names;
}

TEST(MatDamage, ADamagedVariableEndsTheWalk) {
  testsupport::TempDir dir;
  for (bool big : {false, true}) {
    const Level5 l5(big);
    const std::string a = l5.Row("A", {1, 2});
    const std::string c = l5.Row("C", {5, 6});
    const std::string doubleHead = l5.Head(kDouble, {1, 2}, "B");
    std::string wrongType = l5.Doubles({3, 4});
    wrongType[big ? 3 : 0] = 0x7F;
    std::string shortField = l5.Row("", {3, 4});
    shortField[big ? 7 : 4] -= 8;  // the field's size leaves out its last 8 bytes
    // Arrays nested 64 and 65 deep: the variable, structs, and a row innermost.
    std::string nested64 = l5.Row("", {1});
    for (int i = 0; i < 62; ++i) nested64 = l5.Wrap("", nested64);
    const std::string nested65 = l5.Wrap("B", l5.Wrap("", nested64));
    nested64 = l5.Wrap("B", nested64);
    const std::string hugeDimensions = l5.Tag(miINT32, 0x70000000) + std::string(16, '\0');
    const std::string noClassHead = l5.Element(miUINT32, l5.Word(0) + l5.Word(0)) + hugeDimensions;
    const std::string opaqueHead = l5.Element(miUINT32, l5.Word(kOpaque) + l5.Word(0)) + hugeDimensions;

    struct Case {
      const char* what;
      std::string b;
      bool readable;
    } cases[] = {
        {"sound", l5.Row("B", {3, 4}), true},
        {"sound struct", l5.Wrap("B", l5.Row("", {3, 4})), true},
        {"nested 64 deep", nested64, true},
        {"dimensions beyond the data", l5.Element(miMATRIX, l5.Head(kDouble, {1, 200}, "B") + l5.Doubles({3, 4})),
         false},
        {"data of an unknown type", l5.Element(miMATRIX, doubleHead + wrongType), false},
        {"data longer than the array", l5.Tag(miMATRIX, doubleHead.size() + 16) + doubleHead + l5.Tag(miDOUBLE, 24) +
                                           l5.Number(3) + l5.Number(4),
         false},
        {"no data", l5.Element(miMATRIX, doubleHead), false},
        {"empty, with its empty data", l5.Element(miMATRIX, l5.Head(kDouble, {0, 0}, "B") + l5.Doubles({})), true},
        // matio reads a data tag from the bytes that follow, and sizes a buffer by it.
        {"empty text without data", l5.Element(miMATRIX, l5.Head(kChar, {1, 0}, "B")), false},
        {"field name length 0", l5.Wrap("B", l5.Row("", {3}), 0), false},
        {"field size short of its content", l5.Wrap("B", shortField), false},
        {"nested 65 deep", nested65, false},
        {"sparse with an unbounded nzmax",
         l5.Element(miMATRIX, l5.Head(kSparse, {3, 2}, "B", 0xFFFFFFF0) + l5.Element(miINT32, l5.Word(0)) +
                                  l5.Element(miINT32, l5.Word(0) + l5.Word(0) + l5.Word(0)) + l5.Doubles({})),
         false},
        // A char array of 54 bytes (its text without padding): matio reads
        // the next element right after them, not after the padding.
        {"cell element of 54 bytes",
         l5.Element(miMATRIX, l5.Head(kCell, {1, 2}, "B") +
                                  l5.Element(miMATRIX, l5.Head(kChar, {1, 3}, "") + l5.Tag(miUINT16, 6) +
                                                           std::string("a\0b\0c\0", 6)) +
                                  l5.Row("", {9})),
         false},
        // matio reads the missing column starts from the bytes that follow.
        {"sparse without column starts and values",
         l5.Element(miMATRIX, l5.Head(kCell, {1, 1}, "B") +
                                  l5.Element(miMATRIX, l5.Head(kSparse, {1, 1}, "", 0) + l5.Element(miINT32, l5.Word(0)))),
         false},
        {"sparse", l5.Element(miMATRIX, l5.Head(kSparse, {3, 2}, "B", 2) + l5.Element(miINT32, l5.Word(0) + l5.Word(2)) +
                                            l5.Element(miINT32, l5.Word(0) + l5.Word(1) + l5.Word(2)) + l5.Doubles({4, 5})),
         true},
        {"dimension of 2^31", l5.Element(miMATRIX, l5.Head(kDouble, {0x80000000u, 0}, "B") + l5.Doubles({})), false},
        // Read, and freed in full (matio's own free keeps the arrays inside).
        {"function handle of two arrays",
         l5.Element(miMATRIX, l5.Head(kFunction, {2, 1}, "B") + l5.Row("", {1}) + l5.Row("", {2})), true},
        {"cell with an element of no bytes",
         l5.Element(miMATRIX, l5.Head(kCell, {1, 2}, "B") + l5.Tag(miMATRIX, 0) + l5.Row("", {8})), true},
        // matio reads the bytes that follow as the variable.
        {"variable of no bytes", l5.Tag(miMATRIX, 0), false},
        // matio drops every field of the struct.
        {"struct field of no bytes", l5.Wrap("B", l5.Tag(miMATRIX, 0)), false},
        // matio sizes a buffer from the dimensions of every class.
        {"no class, dimensions beyond the array", l5.Element(miMATRIX, noClassHead), false},
        {"opaque in a cell, dimensions beyond it",
         l5.Element(miMATRIX, l5.Head(kCell, {1, 1}, "B") + l5.Element(miMATRIX, opaqueHead)), false},
    };
    for (const Case& k : cases) {
      for (bool compressed : {false, true}) {
        SCOPED_TRACE(std::string(k.what) + (big ? ", big-endian" : "") + (compressed ? ", compressed" : ""));
        const std::string b = compressed ? Compressed(l5, k.b) : k.b;
        const std::string path = dir.File("damaged.mat");
        testsupport::WriteFileBytes(path, l5.Header() + a + b + c);
        const std::vector<std::string> expected =
            k.readable ? std::vector<std::string>{"A", "B", "C"} : std::vector<std::string>{"A"};
        EXPECT_EQ(Walk(path), expected);
      }
    }
  }
}

// Classes matio reads without data for the module: objects, function
// handles and arrays of no class (matio's empty array, MATLAB's 0 x 0 double).
TEST(MatClasses, ObjectsHandlesAndEmptyArrays) {
  testsupport::TempDir dir;
  const Level5 l5(false);
  std::string names = "f";
  names.resize(8, '\0');
  const std::string object =
      l5.Element(miMATRIX, l5.Head(kObject, {1, 1}, "obj") + l5.Element(miINT8, "Klasse") +
                               l5.Element(miINT32, l5.Word(8)) + l5.Element(miINT8, names) + l5.Row("", {1}));
  const std::string handle = l5.Element(miMATRIX, l5.Head(kFunction, {1, 1}, "handle") + l5.Row("", {2}));
  const std::string noClass = l5.Element(miMATRIX, l5.Head(0, {1, 1}, "none"));
  testsupport::WriteFileBytes(dir.File("classes.mat"), l5.Header() + object + handle + noClass);

  MATFile* file = matOpen(dir.File("classes.mat").c_str(), "r");
  ASSERT_NE(file, nullptr);
  struct Expected {
    const char* name;
    mxClassID cls;
    size_t m, n;
  } expected[] = {{"obj", mxUNKNOWN_CLASS, 1, 1}, {"handle", mxUNKNOWN_CLASS, 1, 1}, {"none", mxDOUBLE_CLASS, 0, 0}};
  for (const Expected& e : expected) {
    const mxArray* a = matGetNextVariable(file, nullptr);
    ASSERT_NE(a, nullptr) << e.name;
    EXPECT_STREQ(mxGetName(a), e.name);
    EXPECT_EQ(mxGetClassID(a), e.cls) << e.name;
    EXPECT_EQ(mxGetM(a), e.m) << e.name;
    EXPECT_EQ(mxGetN(a), e.n) << e.name;
    EXPECT_EQ(mxGetData(a), nullptr) << e.name;
    EXPECT_EQ(mxGetNumberOfFields(a), 0) << e.name;
  }
  EXPECT_EQ(matGetNextVariable(file, nullptr), nullptr);
  EXPECT_EQ(matClose(file), 0);
}

// Ends of files and broken compression.
TEST(MatDamage, CutFilesAndBrokenStreams) {
  testsupport::TempDir dir;
  const Level5 l5(false);
  const std::string a = l5.Row("A", {1, 2});
  const std::string b = l5.Row("B", {3, 4, 5});
  std::string flipped = Compressed(l5, b);
  flipped[20] ^= 0x55;
  std::string shortStream = Compressed(l5, b.substr(0, b.size() - 8));

  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> names;
  } cases[] = {
      {"cut inside the last variable", l5.Header() + a + b.substr(0, b.size() - 3), {"A"}},
      {"cut inside a tag", l5.Header() + a + b.substr(0, 5), {"A"}},
      {"compressed, cut", l5.Header() + a + Compressed(l5, b).substr(0, 30), {"A"}},
      {"compressed, stream damaged", l5.Header() + a + flipped, {"A"}},
      {"compressed, stream shorter than its array", l5.Header() + a + shortStream, {"A"}},
      {"compressed, not an array inside", l5.Header() + a + Compressed(l5, l5.Doubles({1})), {"A"}},
      {"header only", l5.Header(), {}},
      {"an element that is no array", l5.Header() + l5.Doubles({1}) + a, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const std::string path = dir.File("cut.mat");
    testsupport::WriteFileBytes(path, k.bytes);
    EXPECT_EQ(Walk(path), k.names);
  }
}

// Level 4: records of a header of five words, the name, then the values.
TEST(MatDamage, Level4Records) {
  testsupport::TempDir dir;
  auto record = [](int32_t rows, int32_t columns, int32_t nameLength, const std::string& name, size_t values,
                   int32_t type = 0) {
    std::string r;
    for (int32_t w : {type, rows, columns, 0, nameLength}) r += std::string(reinterpret_cast<const char*>(&w), 4);
    return r + name + std::string(values * 8, '\x01');
  };
  const std::string a = record(1, 2, 2, std::string("A\0", 2), 2);
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> names;
  } cases[] = {
      {"sound", a + record(2, 2, 2, std::string("B\0", 2), 4), {"A", "B"}},
      {"values cut by the end", a + record(2, 2, 2, std::string("B\0", 2), 3), {"A"}},
      {"name beyond the end", a + record(1, 1, 0x7FFFFFFF, "B", 0), {"A"}},
      {"negative rows", a + record(-1, 2, 2, std::string("B\0", 2), 0), {"A"}},
      {"first record's name beyond the end", record(1, 1, 0x7FFFFFFF, "A", 0), {"(not opened)"}},
      {"rows x columns beyond the end", a + record(0x7FFFFFFF, 0x7FFFFFFF, 2, std::string("B\0", 2), 1), {"A"}},
      {"text", a + record(1, 2, 2, std::string("B\0", 2), 2, 1), {"A", "B"}},
      // matio sizes the column table of a sparse record from its stored values.
      {"sparse", a + record(2, 3, 2, std::string("B\0", 2), 6, 2), {"A"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const std::string path = dir.File("level4.mat");
    testsupport::WriteFileBytes(path, k.bytes);
    EXPECT_EQ(Walk(path), k.names);
  }
}

// A 7.3 file (an HDF5 container behind a 512-byte header) with one dataset
// "x" of nine doubles, stored in the given layout.
std::string Write73(const std::string& path, H5D_layout_t layout) {
  const hid_t fcpl = H5Pcreate(H5P_FILE_CREATE);
  H5Pset_userblock(fcpl, 512);
  const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, fcpl, H5P_DEFAULT);
  const hsize_t dims[2] = {9, 1};
  const hid_t space = H5Screate_simple(2, dims, nullptr);
  const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
  H5Pset_layout(dcpl, layout);
  const hid_t dataset = H5Dcreate2(file, "x", H5T_NATIVE_DOUBLE, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
  const double values[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  H5Dwrite(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values);
  const hid_t text = H5Tcopy(H5T_C_S1);
  H5Tset_size(text, 6);
  const hid_t scalar = H5Screate(H5S_SCALAR);
  const hid_t attribute = H5Acreate2(dataset, "MATLAB_class", text, scalar, H5P_DEFAULT, H5P_DEFAULT);
  H5Awrite(attribute, text, "double");
  H5Aclose(attribute);
  H5Sclose(scalar);
  H5Tclose(text);
  H5Dclose(dataset);
  H5Pclose(dcpl);
  H5Sclose(space);
  H5Fclose(file);
  H5Pclose(fcpl);
  std::string bytes = testsupport::ReadFileBytes(path);
  std::string header = "MATLAB 7.3 MAT-file, built for a test";
  header.resize(116, ' ');
  header += std::string(8, '\0') + std::string("\x00\x02IM", 4);
  bytes.replace(0, header.size(), header);
  return bytes;
}

std::string Le64(uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); }

// Replaces the first `from` after `after` by `to`; false when absent.
bool Patch(std::string& bytes, const std::string& from, const std::string& to, size_t after = 0) {
  const size_t at = bytes.find(from, after);
  if (at == std::string::npos) return false;
  bytes.replace(at, from.size(), to);
  return true;
}

// Datasets whose stored bytes do not hold their values refuse the file:
// HDF5 copies a compact dataset's bytes by its dataspace (reading past their
// buffer), matio sizes its buffer by the dataspace.
TEST(MatDamage, Hdf5DatasetsThatDoNotHoldTheirValues) {
  testsupport::TempDir dir;
  const std::string path = dir.File("x.mat");
  std::string values;
  for (int i = 1; i <= 9; ++i) values += Le64(std::bit_cast<uint64_t>(double(i)));

  // Compact layout message: version 3, class 0, 16-bit size, the values.
  std::string compact = Write73(path, H5D_COMPACT);
  testsupport::WriteFileBytes(path, compact);
  EXPECT_EQ(Walk(path), std::vector<std::string>{"x"});
  ASSERT_TRUE(Patch(compact, std::string("\x03\x00\x48\x00", 4) + values, std::string("\x03\x00\x09\x00", 4) + values));
  testsupport::WriteFileBytes(path, compact);
  EXPECT_EQ(Walk(path), std::vector<std::string>{"(not opened)"}) << "compact, 9 of 72 bytes";

  // Contiguous: 2^40 x 1 values in 2^43 bytes at the place of the nine.
  std::string contiguous = Write73(path, H5D_CONTIGUOUS);
  testsupport::WriteFileBytes(path, contiguous);
  EXPECT_EQ(Walk(path), std::vector<std::string>{"x"});
  ASSERT_TRUE(Patch(contiguous, Le64(9) + Le64(1), Le64(uint64_t{1} << 40) + Le64(1)));
  const size_t layout = contiguous.find(std::string("\x03\x01", 2));
  ASSERT_NE(layout, std::string::npos);
  ASSERT_TRUE(Patch(contiguous, Le64(72), Le64(uint64_t{8} << 40), layout + 10));
  testsupport::WriteFileBytes(path, contiguous);
  EXPECT_EQ(Walk(path), std::vector<std::string>{"(not opened)"}) << "contiguous, stored beyond the file";
}

}  // namespace
