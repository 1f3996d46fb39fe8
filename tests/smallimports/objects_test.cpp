// The small modules' COM objects: registration of the four modules, the
// contract prefix each class offers, the texts handed to the host, the data
// space's position rules, and the life of an import and its signal objects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/guid.h"
#include "smallimports/support/com_objects.h"
#include "smallimports/support/com_text.h"
#include "tests/smallimports/module_host.h"
#include "tests/support/filmor_fixtures.h"
#include "tests/support/host_objects.h"
#include "tests/support/rpc_writer.h"
#include "tests/support/tarvix_writer.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fw = testsupport::filmor;
namespace tw = testsupport::tarvix;
using smalltest::IsNull;
using smalltest::Long;
using smalltest::ReadBytes;
using smalltest::Seek;
using testsupport::Create;
using testsupport::RegText;

// A module's classes with their CLSIDs and the members each offers.
struct ClassInfo {
  const char* name;
  const char* clsid;
  size_t members;
};
struct ModuleInfo {
  const char* module;
  const char* path;
  std::vector<ClassInfo> classes;
};

const ModuleInfo kModules[] = {
    {"Filmor",
     smalltest::kFilmorModule,
     {{"FileImport", "{2B479FBF-311C-11D3-87C0-525405DF32BD}", 16},
      {"ISignal", "{2B479FC1-311C-11D3-87C0-525405DF32BD}", 40}}},
    {"Brevan",
     smalltest::kBrevanModule,
     {{"ZPFileImport", "{803583CD-0C12-4E5E-8A73-F734585B591A}", 21},
      {"ZPSignal", "{4F748028-BDA6-4C51-85B6-E90AB7EF644A}", 46},
      {"ZPScalar", "{4777562E-3A60-4D34-B1D0-45F3FC604861}", 11}}},
    {"Hestor",
     smalltest::kHestorModule,
     {{"FileImport", "{B72A8500-42D6-45B1-AAF5-65D8FD320792}", 16},
      {"ISignal", "{D7A044E8-1B9C-4641-BC5A-F384E1147164}", 40}}},
    {"Jorvel",
     smalltest::kJorvelModule,
     {{"FileImport", "{D541AF1F-A5B5-11D4-8B52-525405DF32BD}", 16},
      {"ISignal", "{D541AF21-A5B5-11D4-8B52-525405DF32BD}", 40}}},
};

TEST(Registration, EveryClassByProgIdAndVersionedProgId) {
  testsupport::HostHarness host;
  for (const ModuleInfo& m : kModules) {
    SCOPED_TRACE(m.module);
    host.Register(m.path);
    for (const ClassInfo& c : m.classes) {
      const std::string progId = std::string(m.module) + "." + c.name;
      SCOPED_TRACE(progId);
      testsupport::ExpectClassRegistered(progId, c.name, c.clsid, m.path);
      CLSID resolved{};
      const std::u16string wide = winport::Utf8ToUtf16(progId);
      ASSERT_EQ(CLSIDFromProgID(wide.c_str(), &resolved), S_OK);
      EXPECT_EQ(winport::FormatGuid(resolved), c.clsid);

      // The class offers its prefix of the contract, member for member.
      const std::span<const comserver::Member> contract =
          c.members == 11   ? std::span<const comserver::Member>(smallimports::contract::kScalarMembers)
          : c.members <= 21 ? std::span<const comserver::Member>(smallimports::contract::kFileImportMembers)
                            : std::span<const comserver::Member>(smallimports::contract::kSignalMembers);
      testsupport::ExpectMembers(Create(progId), contract.first(c.members));
    }
    host.Unregister(m.path);
    for (const ClassInfo& c : m.classes) {
      const std::string progId = std::string(m.module) + "." + c.name;
      EXPECT_FALSE(RegText(progId + "\\CLSID")) << progId;
      EXPECT_FALSE(RegText(progId + ".1\\CLSID")) << progId;
      EXPECT_FALSE(RegText(std::string("CLSID\\") + c.clsid + "\\InprocServer32")) << progId;
    }
  }
}

TEST(Texts, ComStringsOfAnyLength) {
  const winport::Bstr empty(smallimports::TextToBstr(""));
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
  const std::string long300(300, 'x');
  EXPECT_EQ(winport::Bstr(smallimports::TextToBstr(long300)).Ansi(), long300);
  // Up to the first NUL, widened through the code page (0x80 is the euro sign).
  const winport::Bstr euro(smallimports::TextToBstr(std::string("\x80 5\0rest", 8)));
  EXPECT_EQ(winport::BstrView(euro.Get()), u"\u20AC 5");
  const winport::Bstr wide(winport::BstrFromUtf16(std::u16string(u"\u00C4x\0y", 4)));
  EXPECT_EQ(smallimports::WideToAnsi(wide.Get()), "\xC4x");
}

TEST(DataSpaceCursor, SeekOriginsCountModuloTwoToThe32) {
  struct Case {
    int64_t start;
    LONG lPos, origin;
    uint32_t expected;
  } cases[] = {
      {100, 5, 0, 5},           {100, 5, 1, 105},         {100, 5, 2, 8187},      {100, 5, 3, 100},
      {100, 5, -1, 100},        {100, -1, 0, 0xFFFFFFFF}, {100, -30, 1, 70},      {100, -10, 2, 8202},
      {100, 8192, 2, 0},        {0, -1, 1, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    smallimports::DataSpaceCursor cursor;
    cursor.Seek(static_cast<LONG>(c.start), 0, 8192);
    cursor.Seek(c.lPos, c.origin, 8192);
    EXPECT_EQ(cursor.Position(), c.expected) << c.start << " " << c.lPos << " " << c.origin;
  }
}

TEST(DataSpaceCursor, OpensNestAndCloseNeverGoesBelowZero) {
  smallimports::DataSpaceCursor cursor;
  cursor.Close();
  EXPECT_EQ(cursor.OpenCount(), 0);
  cursor.Seek(7, 0, 100);
  ASSERT_EQ(cursor.Open(), S_OK);
  EXPECT_EQ(cursor.Position(), 0u);
  ASSERT_EQ(cursor.Open(), S_OK);
  cursor.Close();
  EXPECT_EQ(cursor.OpenCount(), 1);
  // File mode: an Open that cannot open the file fails and leaves the count.
  cursor.Reset();
  cursor.StreamFrom(smallimports::StreamedData("/nonexistent/data.dta", 0, 10));
  EXPECT_EQ(cursor.Open(), E_FAIL);
  EXPECT_EQ(cursor.OpenCount(), 0);
}

class ObjectTest : public ::testing::Test {
 protected:
  ObjectTest() : host_(smalltest::kFilmorModule) {}
  std::string Write(const fw::Document& doc, const std::string& name) {
    const std::string path = dir_.File(name);
    testsupport::WriteFileBytes(path, fw::WriteFilmorFile(doc));
    return path;
  }
  static std::string Values(int from, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += fw::LE(static_cast<uint64_t>(from + i), 2);
    return s;
  }

  testsupport::TempDir dir_;
  smalltest::ModuleHost host_;
};

// two_groups: 10 values from 100 in block 0, 10 from 200 in block 1, DataSize 8192.
TEST_F(ObjectTest, SeekAndReadFollowThePositionRules) {
  host::Object file = Create("Filmor.FileImport");
  file.Call("ImportFile", {Write(fw::TwoGroups(), "two_groups.flm"), std::string()});
  ASSERT_EQ(Long(file, "DataSize"), 8192);
  file.Call("Open");
  const std::string none = "\xEE\xEE\xEE\xEE";
  struct Step {
    const char* what;
    int64_t position, origin;
    uint32_t bytes;
    std::string data;  // what the buffer holds after the read
  } steps[] = {
      {"start", 0, 0, 4, Values(100, 2)},
      {"relative", 2, 1, 4, Values(103, 2)},  // after the read before: 4 + 2
      {"back", -6, 1, 4, Values(102, 2)},
      {"unaligned", 1, 0, 4, Values(100, 3).substr(1, 4)},
      {"odd end", 19, 0, 4, std::string(1, '\0') + "\xEE\xEE\xEE"},
      {"padding", 20, 0, 4, none},
      {"second block", 4096, 0, 4, Values(200, 2)},
      {"from the end", 8192 - 4096, 2, 4, Values(200, 2)},
      {"origin 3 keeps", 5, 3, 4, Values(202, 2)},
      {"end", 0, 2, 4, none},
      {"past the end", 9000, 0, 4, none},
      {"negative", -2, 0, 4, none},
      {"padding at the end", 4092 + 4096, 0, 4, none},
  };
  for (const Step& s : steps) {
    Seek(file, s.position, s.origin);
    EXPECT_EQ(ReadBytes(file, s.bytes), s.data) << s.what;
  }
  // A read in the padding moves on by the request: the next read is in block 1.
  Seek(file, 20, 0);
  EXPECT_EQ(ReadBytes(file, 4076), std::string(4076, '\xEE'));
  EXPECT_EQ(ReadBytes(file, 2), Values(200, 1));
  // A read of more than the signal holds stops at its end.
  Seek(file, 4096, 0);
  EXPECT_EQ(ReadBytes(file, 24), Values(200, 10) + "\xEE\xEE\xEE\xEE");
  // A read over the whole data space delivers both signals' values.
  Seek(file, 0, 0);
  const std::string all = ReadBytes(file, 8192);
  EXPECT_EQ(all.substr(0, 20), Values(100, 10));
  EXPECT_EQ(all.substr(4096, 20), Values(200, 10));
  // Open and Close put the position back at the start.
  file.Call("Close");
  file.Call("Open");
  EXPECT_EQ(ReadBytes(file, 2), Values(100, 1));
  file.Call("Close");
}

TEST_F(ObjectTest, ReleaseFileRestoresTheConstructedState) {
  host::Object file = Create("Filmor.FileImport");
  const auto state = [&] {
    return std::vector<int64_t>{Long(file, "nSignals"), Long(file, "DataSize"), Long(file, "BlockSize"),
                                Long(file, "FileDate"), Long(file, "NoOfComments"), Long(file, "nFiles")};
  };
  const std::vector<int64_t> constructed = state();
  EXPECT_EQ(constructed, (std::vector<int64_t>{0, 0, 0, 0, 1, 1}));
  file.Call("ImportFile", {Write(fw::TwoGroups(), "two_groups.flm"), std::string()});
  EXPECT_EQ(state(), (std::vector<int64_t>{2, 8192, 4096, 0, 1, 1}));
  file.Call("Open");
  file.Call("ReleaseFile");
  EXPECT_EQ(state(), constructed);
  EXPECT_EQ(file.Get("Name", {int64_t{0}}), host::Value(std::string()));
  EXPECT_EQ(file.Get("FileComment", {int64_t{0}}), host::Value(std::string()));
  EXPECT_TRUE(IsNull(file.Get("FileComment", {int64_t{1}})));
  EXPECT_EQ(ReadBytes(file, 4), "\xEE\xEE\xEE\xEE");
  // A failed import leaves the object as constructed, too.
  file.Call("ImportFile", {Write(fw::TwoGroups(), "two_groups.flm"), std::string()});
  testsupport::WriteFileBytes(dir_.File("bad.flm"), "FILMOR? no");
  host::AnsweringBackend quiet({}, nullptr, nullptr);
  host::BackendScope scope(&quiet);
  EXPECT_THROW(file.Call("ImportFile", {dir_.File("bad.flm"), std::string()}), host::CallError);
  EXPECT_EQ(quiet.Boxes().size(), 1u);
  EXPECT_EQ(state(), constructed);
}

TEST_F(ObjectTest, SignalObjectsAnswerOnlyWhileTheirImportLives) {
  host::Object file = Create("Filmor.FileImport");
  {
    host::AnsweringBackend quiet({}, nullptr, nullptr);  // the box naming the columns left out
    host::BackendScope scope(&quiet);
    file.Call("ImportFile", {Write(fw::AllColumns(), "all_columns.flm"), std::string()});
  }
  host::Object first = file.GetObject("Signal", {int64_t{1}});
  EXPECT_EQ(first.Get("Name"), host::Value(std::string("S1st_value")));
  EXPECT_EQ(Long(first, "FileNo"), 1);

  // Numbers without a record leave every result as the caller set it.
  for (const int64_t number : {0, -1, 23, 1000}) {
    host::Object unknown = file.GetObject("Signal", {number});
    EXPECT_TRUE(IsNull(unknown.Get("Name"))) << number;
    EXPECT_TRUE(IsNull(unknown.Get("XUnit"))) << number;
    EXPECT_EQ(Long(unknown, "DTyp"), 0) << number;
    EXPECT_EQ(Long(unknown, "FileNo"), 0) << number;
  }

  // A second import on the same object: the first one's signals are gone.
  file.Call("ImportFile", {Write(fw::TwoGroups(), "two_groups.flm"), std::string()});
  EXPECT_EQ(Long(file, "nSignals"), 2);
  EXPECT_TRUE(IsNull(first.Get("Name")));
  EXPECT_EQ(Long(first, "FileNo"), 0);
  host::Object a = file.GetObject("Signal", {int64_t{1}});
  EXPECT_EQ(a.Get("Name"), host::Value(std::string("a")));

  // After ReleaseFile, and after the import object's end.
  host::Object b = file.GetObject("Signal", {int64_t{2}});
  file.Call("ReleaseFile");
  EXPECT_TRUE(IsNull(a.Get("Name")));
  file.Call("ImportFile", {Write(fw::TwoGroups(), "two_groups.flm"), std::string()});
  b = file.GetObject("Signal", {int64_t{2}});
  EXPECT_EQ(Long(b, "NoOfValues"), 10);
  file = host::Object();
  EXPECT_TRUE(IsNull(b.Get("Name")));
  EXPECT_EQ(Long(b, "NoOfValues"), 0);
  EXPECT_EQ(Long(b, "LineStyle"), 0);
}

TEST_F(ObjectTest, JorvelServesItsSampleBlock) {
  testsupport::rpc::RpcSpec spec;
  spec.pointsPerFrame = 2;
  spec.pointsPerGroup = 4;
  spec.frames = 2;
  spec.channels = {{"A", "V", "1.0", {1, 2, 3, 4}}, {"B", "V", "1.0", {-1, -2, -3, -4}}};
  const std::string path = dir_.File("two.rsp");
  testsupport::WriteFileBytes(path, testsupport::rpc::WriteRpcFile(spec));
  host_.Register(smalltest::kJorvelModule);
  host::Object file = Create("Jorvel.FileImport");
  file.Call("ImportFile", {path, std::string()});
  ASSERT_EQ(Long(file, "DataSize"), 16);
  EXPECT_EQ(file.Get("Name", {int64_t{3}}), host::Value(std::string("two")));
  EXPECT_EQ(file.Get("FileComment", {int64_t{0}}), host::Value(std::string()));
  file.Call("Open");
  Seek(file, 12, 0);
  EXPECT_EQ(ReadBytes(file, 8), fw::LE(4, 2) + fw::LE(static_cast<uint16_t>(-4), 2) + "\xEE\xEE\xEE\xEE");
  EXPECT_EQ(ReadBytes(file, 2), "\xEE\xEE");  // at the end
  Seek(file, 4, 2);
  EXPECT_EQ(ReadBytes(file, 2), fw::LE(4, 2));
  file.Call("Close");
  file.Call("Close");  // one Close too many changes nothing
  file.Call("ReleaseFile");
  EXPECT_EQ(Long(file, "nSignals"), 0);
}

TEST_F(ObjectTest, BrevanComments) {
  host_.Register(smalltest::kBrevanModule);
  host::Object file = Create("Brevan.ZPFileImport");
  EXPECT_EQ(Long(file, "Version"), 519);
  EXPECT_EQ(Long(file, "NoOfComments"), 1);
  EXPECT_EQ(Long(file, "FileInfo", {int64_t{0}}), 0);
  // A header without comments, with layout flag 1: signals, but no data space.
  std::string h = tw::HeadBytes({.layoutFlag = 1, .recordSize = 2, .channels = 1});
  h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  h += tw::EndRecord();
  testsupport::WriteFileBytes(dir_.File("plain.hdr"), h);
  file.Call("ImportFile", {dir_.File("plain.hdr"), std::string()});
  EXPECT_EQ(Long(file, "nSignals"), 1);
  EXPECT_EQ(Long(file, "DataSize"), 0);
  EXPECT_EQ(Long(file, "NoOfComments"), 1);
  EXPECT_TRUE(IsNull(file.Get("FileComment", {int64_t{1}})));
  EXPECT_TRUE(IsNull(file.Get("CommentName", {int64_t{0}})));
  file.Call("Open");
  EXPECT_EQ(ReadBytes(file, 4), "\xEE\xEE\xEE\xEE");
  file.Call("Close");
  host::Object signal = file.GetObject("Signal", {int64_t{1}});
  EXPECT_EQ(signal.Get("DisplayName"), host::Value(std::string("a")));
  EXPECT_TRUE(IsNull(signal.Get("XLink")));
  EXPECT_TRUE(IsNull(file.GetObject("Scalar", {int64_t{1}}).Get("Name")));

  // Comments, and ReleaseFile frees them.
  h = tw::HeadBytes({.layoutFlag = 1, .recordSize = 2, .channels = 1});
  h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  h += tw::TextRecord(1, 16, "Meier") + tw::ParameterRecord(1, "P", "", "", 1, tw::LE(3, 1)) + tw::EndRecord();
  testsupport::WriteFileBytes(dir_.File("notes.hdr"), h);
  file.Call("ImportFile", {dir_.File("notes.hdr"), std::string()});
  EXPECT_EQ(Long(file, "NoOfComments"), 2);
  EXPECT_EQ(file.Get("FileComment", {int64_t{1}}), host::Value(std::string("Meier")));
  EXPECT_EQ(file.Get("CommentName", {int64_t{1}}), host::Value(std::string("Bearbeiter")));
  host::Object scalar = file.GetObject("Scalar", {int64_t{1}});
  EXPECT_EQ(scalar.Get("Name"), host::Value(std::string("P")));
  EXPECT_EQ(scalar.Get("Value"), host::Value(3.0));
  file.Call("ReleaseFile");
  EXPECT_EQ(Long(file, "NoOfComments"), 1);
  EXPECT_EQ(Long(file, "nScalars"), 0);
  EXPECT_TRUE(IsNull(file.Get("FileComment", {int64_t{1}})));
  EXPECT_TRUE(IsNull(scalar.Get("Name")));
  EXPECT_EQ(Long(scalar, "FileNo"), 0);
}

}  // namespace
