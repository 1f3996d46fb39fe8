// The module's COM objects through the host stand-in: registration and the
// contract prefix of each class, the file object's constants and comments,
// Seek and Read over the data space, the parameter block and the options
// file, and the life of an import and its signal objects.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "importcore/contract.h"
#include "importcore/le.h"
#include "tests/quenvo/quenvo_host.h"
#include "tests/support/host_objects.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace quenvotest;
using testsupport::Create;
using testsupport::RegText;
namespace contract = importcore::contract;

TEST(Registration, ThreeClassesWithTheirPrefixOfTheContract) {
  testsupport::HostHarness host;
  host.Register(kModule);
  const struct {
    const char* name;
    const char* clsid;
    std::span<const comserver::Member> contract;
    size_t members;
  } kClasses[] = {
      {"ZPFileImport", "{4CC4BBE2-CE5E-47F6-B768-ECBEFD0051A3}", contract::kFileImportMembers, 24},
      {"ZPSignal", "{FBF26488-98E4-4341-8DED-41CEAD8B386B}", contract::kSignalMembers, 46},
      {"ZPScalar", "{771656C6-7B61-4158-9128-30A139C3AF84}", contract::kScalarMembers, 11},
  };
  for (const auto& c : kClasses) {
    const std::string progId = std::string("Quenvo.") + c.name;
    SCOPED_TRACE(progId);
    testsupport::ExpectClassRegistered(progId, c.name, c.clsid, kModule);
    EXPECT_EQ(RegText(std::string("CLSID\\") + c.clsid + "\\TypeLib"), "{DA255E25-68A8-473C-A41C-9409969C8503}");
    testsupport::ExpectMembers(Create(progId), c.contract.first(c.members));
  }
  host.Unregister(kModule);
  EXPECT_FALSE(RegText("Quenvo.ZPFileImport\\CLSID"));
}

// A host session on one file object of the module, for several calls on the same object.
class ObjectTest : public testing::Test {
 protected:
  ObjectTest() : scope(&backend) {}

  std::string Write(const std::vector<matvar_t*>& variables) {
    const std::string path = host.Dir().File("f" + std::to_string(++files) + ".mat");
    WriteMat(path, variables);
    return path;
  }
  // One channel of 128 values 0 .. 127: a data space of one block.
  std::string OneBlock() {
    std::vector<double> values(128);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i);
    return Write({ChannelStruct("signale", {{"v", Row(nullptr, values)}})});
  }
  // The bytes of doubles first .. first + count / 8 as stored.
  static std::string Doubles(size_t firstByte, size_t count) {
    std::string bytes;
    for (size_t i = 0; i < 128; ++i) {
      const double v = static_cast<double>(i);
      bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    return bytes.substr(firstByte, count);
  }

  ModuleHost host;
  host::AnsweringBackend backend{{}, nullptr, nullptr};
  host::BackendScope scope;
  int files = 0;
};

TEST_F(ObjectTest, FileObjectConstantsAndCommentIndexes) {
  host::Session s(kProgId);
  host::Object& f = s.File();
  // Before any import: no signals, no data, an empty file comment.
  EXPECT_EQ(f.Get("nSignals"), host::Value(int64_t{0}));
  EXPECT_EQ(f.Get("DataSize"), host::Value(int64_t{0}));
  EXPECT_EQ(f.Get("FileComment", {int64_t{0}}), host::Value(std::string()));
  s.Import(Write({Text("KOMMENTAR", "Lauf"), ChannelStruct("signale", {{"v", Row(nullptr, {1})}})}), "");
  const struct {
    const char* name;
    std::vector<host::Arg> args;
    host::Value value;
  } kCases[] = {
      {"Version", {}, int64_t{257}},
      {"nFiles", {}, int64_t{1}},
      {"NoOfComments", {}, int64_t{256}},
      {"FileDate", {}, int64_t{0}},
      {"nScalars", {}, int64_t{0}},
      {"ParSize", {}, int64_t{17}},
      {"FileInfo", {int64_t{0}}, int64_t{0}},
      {"BlockSize", {}, int64_t{1024}},
      {"Name", {int64_t{0}}, std::string()},
      {"FileComment", {int64_t{0}}, std::string("Lauf")},
      {"FileComment", {int64_t{1}}, host::Value()},
      {"FileComment", {int64_t{255}}, host::Value()},
      {"FileComment", {int64_t{256}}, host::Value()},
      {"FileComment", {int64_t{-1}}, host::Value()},
      {"CommentName", {int64_t{0}}, host::Value()},
      {"CommentName", {int64_t{1}}, host::Value()},
      {"CommentName", {int64_t{256}}, host::Value()},
  };
  for (const auto& c : kCases) EXPECT_EQ(f.Get(c.name, c.args), c.value) << c.name;
  // The scalar list is empty: a scalar object answers FileNo alone.
  host::Object scalar = f.GetObject("Scalar", {int64_t{1}});
  EXPECT_TRUE(IsNull(scalar.Get("Name")));
  EXPECT_EQ(scalar.Get("FileNo"), host::Value(int64_t{1}));
  EXPECT_EQ(scalar.Get("Value"), host::Value(0.0));
}

TEST_F(ObjectTest, SeekAndReadOverTheDataSpace) {
  host::Session s(kProgId);
  host::Object& f = s.File();
  // Without an import Read copies nothing.
  f.Call("Open");
  EXPECT_EQ(ReadBytes(f, 8), std::string(8, '\xEE'));
  s.Import(OneBlock(), "");
  ASSERT_EQ(f.Get("DataSize"), host::Value(int64_t{1024}));

  struct Step {
    int64_t pos, origin;  // a Seek; origin -1: none
    uint32_t read;
    size_t from, copied;  // the bytes expected: from .. from + copied of the data
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
  } kCases[] = {
      {"Seek(100, 2) then 200 bytes", {{100, 2, 200, 924, 100}}},
      {"reads advance", {{0, 0, 16, 0, 16}, {0, -1, 16, 16, 16}}},
      {"from the position", {{40, 0, 0, 0, 0}, {8, 1, 8, 48, 8}}},
      {"an unknown origin leaves the position", {{40, 0, 0, 0, 0}, {10, 5, 8, 40, 8}}},
      {"a negative position copies nothing and stays", {{-8, 0, 16, 0, 0}, {8, 1, 8, 0, 8}}},
      {"past the end the position becomes DataSize", {{2000, 0, 8, 0, 0}, {-8, 1, 8, 1016, 8}}},
      {"back from the end past it", {{-100, 2, 8, 0, 0}, {-16, 1, 8, 1008, 8}}},
      {"positions in 64 bits", {{INT32_MAX, 0, 0, 0, 0}, {INT32_MAX, 1, 8, 0, 0}, {-16, 1, 8, 1008, 8}}},
      {"the end", {{0, 2, 8, 0, 0}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    f.Call("Open");
    for (const Step& step : c.steps) {
      if (step.origin >= 0) f.Call("Seek", {step.pos, step.origin});
      if (step.read == 0) continue;
      const std::string got = ReadBytes(f, step.read);
      EXPECT_EQ(got, Doubles(step.from, step.copied) + std::string(step.read - step.copied, '\xEE'));
    }
    f.Call("Close");
  }
  // Open and Close put the position back to 0.
  f.Call("Seek", {int64_t{64}, int64_t{0}});
  f.Call("Open");
  EXPECT_EQ(ReadBytes(f, 8), Doubles(0, 8));
  f.Call("Seek", {int64_t{64}, int64_t{0}});
  f.Call("Close");
  EXPECT_EQ(ReadBytes(f, 8), Doubles(0, 8));
}

TEST_F(ObjectTest, SignalObjectsAnswerWhileTheirImportLives) {
  host::Session s(kProgId);
  host::Object& f = s.File();
  host::Object early = f.GetObject("Signal", {int64_t{1}});
  s.Import(Write({ChannelStruct("signale", {{"a", Row(nullptr, {1})}, {"b", Row(nullptr, {2})}})}), "");
  host::Object first = f.GetObject("Signal", {int64_t{1}});
  EXPECT_EQ(first.Get("Name"), host::Value(std::string("a")));
  EXPECT_EQ(first.Get("FileNo"), host::Value(int64_t{1}));
  EXPECT_TRUE(IsNull(first.Get("NoValuesRaw")));
  EXPECT_TRUE(IsNull(first.Get("BitState", {int64_t{0}})));
  EXPECT_EQ(first.Get("XGrid"), host::Value(std::string()));
  // Numbers without a record, and an object made before the import, find nothing.
  EXPECT_TRUE(IsNull(early.Get("Name")));
  for (const int64_t number : {0, 3, -1}) {
    host::Object none = f.GetObject("Signal", {number});
    EXPECT_TRUE(IsNull(none.Get("Name"))) << number;
    EXPECT_EQ(none.Get("FileNo"), host::Value(int64_t{0})) << number;
    EXPECT_EQ(none.Get("XGrid"), host::Value()) << number;
  }

  // A second import on the same object releases the first: its signal objects find nothing.
  s.Import(Write({ChannelStruct("signale", {{"c", Row(nullptr, {3})}})}), "");
  EXPECT_TRUE(IsNull(first.Get("Name")));
  EXPECT_EQ(first.Get("DTyp"), host::Value(int64_t{0}));
  host::Object second = f.GetObject("Signal", {int64_t{1}});
  EXPECT_EQ(second.Get("Name"), host::Value(std::string("c")));
  EXPECT_EQ(f.Get("nSignals"), host::Value(int64_t{1}));

  f.Call("ReleaseFile");
  EXPECT_TRUE(IsNull(second.Get("Name")));
  EXPECT_EQ(f.Get("nSignals"), host::Value(int64_t{0}));
  EXPECT_EQ(f.Get("DataSize"), host::Value(int64_t{0}));
  f.Call("Open");
  EXPECT_EQ(ReadBytes(f, 8), std::string(8, '\xEE'));
}

TEST_F(ObjectTest, CommentsBelongToTheLastImport) {
  const auto ergebnis = [this](const char* trial) {
    matvar_t* info = StructOf(nullptr, {{"Versuch", Text(nullptr, trial)}});
    matvar_t* werte = matwriter::Doubles(nullptr, 1, 1, {1});
    matvar_t* messdaten = StructOf(nullptr, {{"Werte", werte}});
    return Write({StructOf("Ergebnis", {{"Messdaten", messdaten}, {"Kommentar", Text(nullptr, "k")}, {"Info", info}})});
  };
  host::Session s(kProgId);
  host::Object& f = s.File();
  for (const char* trial : {"V1", "V2"}) {
    s.Import(ergebnis(trial), "");
    EXPECT_EQ(f.Get("CommentName", {int64_t{3}}), host::Value(std::string("T3")));
    EXPECT_EQ(f.Get("FileComment", {int64_t{3}}), host::Value("Versuch: " + std::string(trial)));
    EXPECT_EQ(f.Get("CommentName", {int64_t{4}}), host::Value());
  }
  // ReleaseFile keeps the comments; the next import starts without them.
  f.Call("ReleaseFile");
  EXPECT_EQ(f.Get("FileComment", {int64_t{3}}), host::Value(std::string("Versuch: V2")));
  s.Import(OneBlock(), "");
  EXPECT_EQ(f.Get("CommentName", {int64_t{1}}), host::Value());
  EXPECT_EQ(f.Get("FileComment", {int64_t{0}}), host::Value(std::string()));
}

// The 17 bytes of the object's parameter block, read at the address it gives.
std::vector<uint8_t> OwnBlock(host::Object& f) {
  const host::Value address = f.Get("Parameters");
  const auto* a = std::get_if<int64_t>(&address);
  if (!a || *a == 0) return {};
  const auto* p = reinterpret_cast<const uint8_t*>(*a);
  return std::vector<uint8_t>(p, p + 17);
}

std::vector<uint8_t> Block(int32_t size, int32_t skipHigh, int32_t skipLow, int32_t minLevels, char separator,
                           size_t bytes = 17) {
  std::vector<uint8_t> b(std::max<size_t>(bytes, 17), 0);
  importcore::StoreLE(b.data(), size);
  importcore::StoreLE(b.data() + 4, skipHigh);
  importcore::StoreLE(b.data() + 8, skipLow);
  importcore::StoreLE(b.data() + 12, minLevels);
  b[16] = static_cast<uint8_t>(separator);
  return b;
}

TEST_F(ObjectTest, ParametersPutByAddress) {
  // A Y named a/b/c: how it is named shows which options were used.
  const std::string xy = Write({XYStruct("m", "t", Row(nullptr, {0, 1}), {{"a/b/c", Row(nullptr, {1, 2}), ""}})});
  const struct {
    const char* what;
    std::optional<std::vector<uint8_t>> host;  // none: a null address
    std::vector<uint8_t> own;                  // the block afterwards
    const char* label;                         // of the Y channel after an import
  } kCases[] = {
      // Nothing taken: the options file (absent here) gives "/" and no skips.
      {"a null address", std::nullopt, Block(17, 0, 0, 0, '/'), "c\\b\\a"},
      {"a size word below 4", Block(3, 1, 1, 1, '.'), Block(17, 0, 0, 0, '/'), "c\\b\\a"},
      {"a negative size word", Block(-1, 1, 1, 1, '.'), Block(17, 0, 0, 0, '/'), "c\\b\\a"},
      // Taken: the parameters count as put, so the options file is not read.
      {"the size word alone", Block(4, 1, 1, 1, '/'), Block(17, 0, 0, 0, '\0'), "a/b/c"},
      {"eight bytes", Block(8, 1, 1, 1, '/'), Block(17, 1, 0, 0, '\0'), "a/b/c"},
      {"a whole block", Block(17, 1, 0, 0, '/'), Block(17, 1, 0, 0, '/'), "c\\b"},
      {"a larger size word takes 17 bytes", Block(100, 0, 1, 0, '/', 100), Block(17, 0, 1, 0, '/'), "c\\a"},
      {"negative skips", Block(17, -4, -9, 0, '/'), Block(17, -4, -9, 0, '/'), "c\\b\\a"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    host::Session s(kProgId);
    host::Object& f = s.File();
    std::vector<uint8_t> block = c.host.value_or(std::vector<uint8_t>());
    f.Put("Parameters", c.host ? reinterpret_cast<int64_t>(block.data()) : int64_t{0});
    s.Import(xy, "");
    EXPECT_EQ(OwnBlock(f), c.own);
    EXPECT_EQ(f.Get("ParSize"), host::Value(int64_t{17}));
    host::Object y = f.GetObject("Signal", {int64_t{2}});
    EXPECT_EQ(y.Get("Label"), host::Value(std::string(c.label)));
  }
}

// The options file beside the module: a copy of the module in the test's own folder.
TEST(Options, NamingLevelsFromTheFileBesideTheModuleUnlessTheHostPutItsBlock) {
  testsupport::TempDir dir;
  const std::string module = dir.File("libQuenvo.so");
  std::filesystem::copy_file(kModule, module);
  testsupport::WriteFileBytes(dir.File("Quenvo_Options.INI"),
                              "[NamingLevels]\nSkipHigh=1\nSkipLow=-3\nMinLevels=0\nSeparator=.x\n");
  ModuleHost host(module);
  const std::string path = dir.File("xy.mat");
  WriteMat(path, {XYStruct("m", "t", Row(nullptr, {0, 1}), {{"a.b.c", Row(nullptr, {1, 2}), ""}})});

  const testsupport::ImportResult fromFile = host.MustImport(path);
  ASSERT_EQ(fromFile.signals.size(), 2u);
  EXPECT_EQ(Text(fromFile.signals[1], "Label"), "c\\b");

  testsupport::ImportOptions put;
  put.parameters = Block(17, 0, 0, 0, '/');
  const testsupport::ImportResult fromHost = host.MustImport(path, put);
  ASSERT_EQ(fromHost.signals.size(), 2u);
  EXPECT_EQ(Text(fromHost.signals[1], "Label"), "a.b.c");

  // An empty separator in the file is "/".
  testsupport::WriteFileBytes(dir.File("Quenvo_Options.INI"), "[NamingLevels]\nSeparator=\n");
  WriteMat(path, {XYStruct("m", "t", Row(nullptr, {0, 1}), {{"a/b", Row(nullptr, {1, 2}), ""}})});
  const testsupport::ImportResult slash = host.MustImport(path);
  ASSERT_EQ(slash.signals.size(), 2u);
  EXPECT_EQ(Text(slash.signals[1], "Label"), "b\\a");
}

}  // namespace
