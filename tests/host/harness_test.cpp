// The harness over the host library, against the fake import of the test
// modules: every option of an import, both contract forms, and the samples.
#include <gtest/gtest.h>

#include <cstring>

#include "host/failure.h"
#include "platform/ui/messagebox.h"
#include "tests/support/host_harness.h"

namespace {

using host::NumberOf;
using host::TextOf;

class HarnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Register(COMTEST_A_PATH);
    host.Register(COMTEST_B_PATH);
    file = host.Dir().File("sample.fake");
    testsupport::WriteFileBytes(file, "FAKE file");
  }

  testsupport::HostHarness host;
  std::string file;
};

TEST_F(HarnessTest, ImportsTheFixedDataSet) {
  const testsupport::ImportResult r = host.Import("ComTestA.FakeImport", file);
  EXPECT_EQ(NumberOf(r.file, "nSignals"), 3);
  EXPECT_EQ(NumberOf(r.file, "DataSize"), 4096);
  EXPECT_EQ(TextOf(r.file, "Name"), "sample.fake");
  ASSERT_EQ(r.signals.size(), 3u);
  EXPECT_EQ(TextOf(r.signals[1], "DisplayName"), "\xC3\x96ldruck");  // Windows-1252 from the module, UTF-8 here
  EXPECT_EQ(r.signals[1].size(), 52u);
  EXPECT_EQ(*host::Find(r.signals[1], "BitState"), host::Value(host::TextList{"niedrig|0", "hoch|1"}));
  EXPECT_EQ(*host::Find(r.signals[1], "XLabel"), host::Value{});  // left as the caller set it: null
  ASSERT_EQ(r.scalars.size(), 1u);
  EXPECT_EQ(NumberOf(r.scalars[0], "Value"), 2.5);
  ASSERT_EQ(r.comments.size(), 1u);
  EXPECT_EQ(r.comments[0].index, 1);
  EXPECT_EQ(r.comments[0].name, "Pr\xC3\xBC" "fer");
  EXPECT_EQ(r.comments[0].text, "Hr. M\xC3\xBCller");
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_FALSE(r.errnoValue.has_value());
}

TEST_F(HarnessTest, SamplesCarryBytesValuesAndTimes) {
  host.Import("ComTestA.FakeImport", file);
  const testsupport::SampleSet druck = host.Samples("Druck");
  EXPECT_EQ(druck.bytes, std::string("\x1d\x80\xfd\x80\x7d\x80\x85\x80\x05\x80", 10));
  const std::vector<std::optional<double>> values = {101.5, 99.5, 107.5, std::nullopt, 100};
  EXPECT_EQ(druck.values, values);
  const std::vector<std::optional<double>> times = {0, 0.5, 1, 1.5, 2};
  EXPECT_EQ(druck.times, times);

  const testsupport::SampleSet rampe = host.Samples("3");
  const std::vector<std::optional<double>> ramp = {-3, -2, -1, 0, 1, 2};
  EXPECT_EQ(rampe.values, ramp);
  EXPECT_EQ(rampe.times.back(), 11.25);

  // Any chunk size and ReadEx give the same samples.
  for (uint32_t chunk : {1u, 2u, 3u, 7u, 1000u}) {
    for (bool ex : {false, true}) {
      const testsupport::SampleSet again = host.Samples("Druck", {chunk, ex});
      EXPECT_EQ(again.bytes, druck.bytes) << chunk << " " << ex;
      EXPECT_EQ(again.values, druck.values) << chunk << " " << ex;
      EXPECT_EQ(again.times, druck.times) << chunk << " " << ex;
      EXPECT_EQ(host.Samples("Rampe", {chunk, ex}).values, ramp) << chunk << " " << ex;
    }
  }
}

TEST_F(HarnessTest, OptionsReachTheModule) {
  // The user text, and a host variable in the key that the host version selects.
  testsupport::ImportOptions options;
  options.user = "Pr\xC3\xBC" "fstand 3";
  options.vars = {{"FAKE_NOTE", "note, \"quoted\""}};
  options.zpVersion = 1792;
  testsupport::ImportResult r = host.Import("ComTestA.FakeImport", file, options);
  ASSERT_EQ(r.comments.size(), 3u);
  EXPECT_EQ(r.comments[1].text, "Pr\xC3\xBC" "fstand 3");
  EXPECT_EQ(r.comments[2].text, "note, \"quoted\"");
  // Below 1792 the 6.0 key holds the variables, where nothing was set.
  options.zpVersion = 1791;
  options.vars.clear();
  r = host.Import("ComTestA.FakeImport", file, options);
  EXPECT_EQ(r.comments.size(), 2u);

  // A parameter block: ShowAll shows the time signal; the module copies as
  // many bytes as the size word says.
  const uint8_t block[12] = {12, 0, 0, 0, 1, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD};
  options.parameters = std::vector<uint8_t>(block, block + sizeof block);
  r = host.Import("ComTestA.FakeImport", file, options);
  EXPECT_EQ(NumberOf(r.signals[0], "Ignore"), 0);
  EXPECT_EQ(NumberOf(r.file, "ParSize"), 12);
  EXPECT_EQ(host::Find(r.file, "Parameters"), nullptr);  // an address is never listed
}

TEST_F(HarnessTest, BoxesAreAnsweredInTurn) {
  testsupport::ImportOptions options;
  options.user = "ask";
  options.answers = {IDNO};
  try {
    host.Import("ComTestA.FakeImport", file, options);
    ADD_FAILURE() << "the import went on after No";
  } catch (const host::Failure& f) {
    EXPECT_EQ(f.exit, host::Exit::Module);
    EXPECT_EQ(f.hr, E_FAIL);
    EXPECT_NE(f.detail.find("ERRNO 3: cancelled by the user"), std::string::npos) << f.detail;
  }
  const std::vector<host::BoxRecord> boxes = host.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "ComTestA");
  EXPECT_EQ(boxes[0].text, "Import fortsetzen?");
  EXPECT_EQ(boxes[0].answer, IDNO);

  // OK is no button of a Yes/No box: its default button, Yes, is pressed.
  options.answers = {IDOK};
  testsupport::ImportResult r = host.Import("ComTestA.FakeImport", file, options);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].answer, IDYES);
  options.answers.clear();
  r = host.Import("ComTestA.FakeImport", file, options);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].answer, IDYES);
}

TEST_F(HarnessTest, TheOldestContractFormServesWhatItHas) {
  const testsupport::ImportResult r = host.Import("ComTestB.FakeImport", file);
  // Of the 16 members: the gets without arguments, Name(0) and IsValid(file).
  EXPECT_EQ(r.file.size(), 8u);
  EXPECT_EQ(host::Find(r.file, "nScalars"), nullptr);
  EXPECT_TRUE(r.scalars.empty());
  ASSERT_EQ(r.signals.size(), 3u);
  EXPECT_EQ(r.signals[1].size(), 40u);
  EXPECT_EQ(host::Find(r.signals[1], "XSignal"), nullptr);
  ASSERT_EQ(r.comments.size(), 1u);
  EXPECT_FALSE(r.comments[0].name.has_value());  // no CommentName
  // Without HasNoValue nothing is a gap; without XSignal the times are XOffset + k x XFactor.
  const testsupport::SampleSet druck = host.Samples("Druck");
  const std::vector<std::optional<double>> values = {101.5, 99.5, 107.5, 92, 100};
  EXPECT_EQ(druck.values, values);
  EXPECT_EQ(druck.times, std::vector<std::optional<double>>(5, 0.0));
  // ReadEx is no member of this form.
  EXPECT_THROW(host.Samples("Druck", {65536, true}), host::Failure);
  // Options for members the form lacks are left out.
  testsupport::ImportOptions options;
  options.zpVersion = 1792;
  options.parameters = std::vector<uint8_t>{4, 0, 0, 0};
  EXPECT_NO_THROW(host.Import("ComTestB.FakeImport", file, options));
}

TEST_F(HarnessTest, FailuresNameTheStep) {
  struct FailCase {
    std::string progId, file;
    host::Exit exit;
    std::string step;
    std::optional<HRESULT> hr;
  };
  testsupport::WriteFileBytes(host.Dir().File("other.txt"), "not fake");
  const FailCase cases[] = {
      {"ComTestA.Nothing", file, host::Exit::Activation, "activate", CO_E_CLASSSTRING},
      {"ComTestA.FakeImport", host.Dir().File("other.txt"), host::Exit::Module, "import", E_FAIL},
      {"ComTestA.FakeImport", host.Dir().File("missing.fake"), host::Exit::Module, "import", E_FAIL},
  };
  for (const FailCase& c : cases) {
    try {
      host.Import(c.progId, c.file);
      ADD_FAILURE() << c.progId << " " << c.file;
    } catch (const host::Failure& f) {
      EXPECT_EQ(f.exit, c.exit) << f.what();
      EXPECT_EQ(f.step, c.step) << f.what();
      EXPECT_EQ(f.hr, c.hr) << f.what();
    }
  }
  host.Import("ComTestA.FakeImport", file);
  EXPECT_THROW(host.Samples("Nope"), host::Failure);
  EXPECT_THROW(host.Register(host.Dir().File("libMissing.so")), host::Failure);
}

TEST_F(HarnessTest, UnregisteredModulesCannotBeCreated) {
  host.Unregister(COMTEST_A_PATH);
  try {
    host.Import("ComTestA.FakeImport", file);
    ADD_FAILURE();
  } catch (const host::Failure& f) {
    EXPECT_EQ(f.exit, host::Exit::Activation);
  }
  EXPECT_NO_THROW(host.Import("ComTestB.FakeImport", file));
}

}  // namespace
