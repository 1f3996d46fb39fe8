// Every TDMS and TDM file of the corpus imported as the module does, against
// the oracle an independent reader wrote: the signals in order, their counts,
// streamed values and ranges, the comments, the name and the file date (in
// two time zones: the date is an instant, whatever the local time).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/samples.h"
#include "orsand/tdm_import.h"
#include "platform/win32/codepage.h"
#include "tests/orsand/oracle.h"
#include "tests/support/corpus.h"
#include "tests/support/time_zone.h"

namespace {

using namespace orsandtest;

// Values of one stored type as doubles, as the host decodes them.
std::vector<double> Decode(const std::string& bytes, int32_t dtyp) {
  const host::Decoder decode = host::DecoderOf(dtyp);
  const size_t width = static_cast<size_t>(host::ValueSize(dtyp));
  std::vector<double> out;
  for (size_t at = 0; decode && width && at + width <= bytes.size(); at += width)
    out.push_back(decode(reinterpret_cast<const uint8_t*>(bytes.data() + at), 0));
  return out;
}

// `n` bytes of the data space from `offset`, as Read delivers them in reads of at most 4096 bytes.
std::string Stream(orsand::TdmImport& import, uint64_t offset, uint64_t n) {
  std::string out;
  import.Seek(static_cast<int32_t>(offset), 0);
  std::vector<uint8_t> buffer(4096);
  while (out.size() < n) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), n - out.size()));
    const uint32_t got = import.Read(buffer.data(), want);
    if (got == 0) break;
    out.append(reinterpret_cast<const char*>(buffer.data()), got);
  }
  return out;
}

class Corpus : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() { setenv("WINPORT_DLL_PATH", DDC_DIR, 0); }
};

TEST_P(Corpus, EveryFileImportsAsItsOracleReads) {
  SKIP_WITHOUT_CORPUS();
  testsupport::ScopedTimeZone tz(GetParam());
  for (const CorpusFile& f : kCorpusFiles) {
    SCOPED_TRACE(f.path);
    const json oracle = testsupport::LoadOracle(f.path);
    orsand::TdmImport import;
    ASSERT_TRUE(import.ImportFile(testsupport::CorpusFile(f.path)));
    EXPECT_EQ(import.Name(), f.name);
    EXPECT_EQ(import.FileDate(), f.fileDate);

    const std::vector<ExpectedSignal> expected = ExpectedSignals(oracle);
    const auto file = import.Imported();
    ASSERT_EQ(file->signals.Count(), expected.size());
    import.Open();
    for (size_t i = 0; i < expected.size(); ++i) {
      const orsand::SignalRecord& s = *file->signals.Nth(i);
      const json& c = *expected[i].channel;
      SCOPED_TRACE(expected[i].displayName);
      EXPECT_EQ(s.number, static_cast<int32_t>(i + 1));
      EXPECT_EQ(s.DisplayName, winport::Utf8ToAnsi(expected[i].displayName));
      EXPECT_EQ(s.NoOfValues, c["count"].get<int32_t>());
      const std::string bytes = Stream(import, s.byteOffset, static_cast<uint64_t>(s.NoOfValues) * s.Demux);
      ASSERT_EQ(bytes.size(), static_cast<size_t>(s.NoOfValues) * s.Demux);
      const std::vector<double> values = Decode(bytes, s.DTyp);
      if (expected[i].timestamp) {
        EXPECT_EQ(s.DTyp, 13);
        ExpectSeries(values, c["unix_seconds"], 1e-6, "seconds");
      } else {
        ExpectSeries(values, c["values"], 0, "values");
        EXPECT_EQ(s.YMin, c["values"]["min"].get<double>());
        EXPECT_EQ(s.YMax, c["values"]["max"].get<double>());
      }
    }
    import.Close();

    for (const auto& [utf8Name, utf8Value] : ExpectedComments(oracle)) {
      const std::string name = winport::Utf8ToAnsi(utf8Name), value = winport::Utf8ToAnsi(utf8Value);
      bool found = false;
      for (int32_t k = 1; k < import.NoOfComments() && !found; ++k)
        found = import.CommentName(k) && *import.CommentName(k) == name && import.FileComment(k) &&
                *import.FileComment(k) == value;
      EXPECT_TRUE(found) << "comment " << name << " = " << value;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(TimeZones, Corpus, ::testing::Values("UTC", "Europe/Berlin"));

}  // namespace
