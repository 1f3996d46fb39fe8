// The decoded values of every channel of the corpus files against their oracles.
#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/win32/codepage.h"
#include "tests/support/corpus.h"

using namespace mdf;
using nlohmann::json;

namespace {

using testsupport::OracleNumber;
using testsupport::SameValue;

// Compares decoded values with an oracle summary (count, first five, last
// five, min, max). Raw values must match exactly; converted ones to 1e-12,
// as the oracle's writer may evaluate a formula in another order.
void ExpectSummary(const std::vector<double>& got, const json& o, bool exact, bool withRange = true) {
  ASSERT_EQ(got.size(), o["count"].get<size_t>());
  const json& first = o["first"];
  const json& last = o["last"];
  for (size_t i = 0; i < first.size(); ++i)
    EXPECT_TRUE(SameValue(got[i], OracleNumber(first[i]), exact))
        << "value " << i << ": " << got[i] << " vs " << first[i];
  for (size_t i = 0; i < last.size(); ++i) {
    const size_t k = got.size() - last.size() + i;
    EXPECT_TRUE(SameValue(got[k], OracleNumber(last[i]), exact))
        << "value " << k << ": " << got[k] << " vs " << last[i];
  }
  if (!withRange || got.empty() || !o.contains("min")) return;
  std::vector<double> sorted;
  for (double v : got)
    if (!std::isnan(v)) sorted.push_back(v);
  if (sorted.empty()) return;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_TRUE(SameValue(sorted.front(), OracleNumber(o["min"]), exact)) << "min " << sorted.front();
  EXPECT_TRUE(SameValue(sorted.back(), OracleNumber(o["max"]), exact)) << "max " << sorted.back();
}

void ExpectTexts(const std::vector<std::string>& got, const json& o) {
  ASSERT_EQ(got.size(), o["count"].get<size_t>());
  auto text = [](const json& v) { return v.is_null() ? std::string() : v.get<std::string>(); };
  for (size_t i = 0; i < o["first"].size(); ++i) EXPECT_EQ(got[i], text(o["first"][i])) << "text " << i;
  const json& last = o["last"];
  for (size_t i = 0; i < last.size(); ++i) {
    const size_t k = got.size() - last.size() + i;
    EXPECT_EQ(got[k], text(last[i])) << "text " << k;
  }
}

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += StrFormat("%02x", p[i]);
  return s;
}

struct OpenedCorpus {
  CMdf mdf;
  int result = 0;
  explicit OpenedCorpus(const std::string& rel) {
    mdf.SetShowMessages(false);
    result = mdf.Open(testsupport::CorpusFile(rel));
  }
  CDGBlock* Group(int index) const {
    CDGBlock* dg = mdf.GetFirstDG();
    while (dg && dg->GetIndex() != index) dg = dg->GetNext();
    return dg;
  }
};

// Column of a channel in its group's grid and the channel itself, by name.
std::pair<int, CCNBlock*> FindChannel(CDGBlock* dg, const std::string& name) {
  int column = 1;
  for (CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext(), ++column)
    if (cn->GetSignalName() == name) return {column, cn};
  return {0, nullptr};
}

std::vector<double> Doubles(CDataBlock& data, CCNBlock* cn, bool convert) {
  std::vector<double> out(data.GetNumberOfRecords());
  out.resize(data.GetDoubleContent(cn, out, 0, static_cast<uint32_t>(out.size()), convert));
  return out;
}

std::vector<std::string> Cells(CDataBlock& data, int column) {
  std::vector<std::string> out;
  for (uint32_t r = 0; r < data.GetNumberOfRecords(); ++r)
    out.push_back(winport::AnsiToUtf8(data.GetCellText(r, column)));
  return out;
}

// Hex of each record's stored bytes of the channel, as the raw readers give
// them (text bytes come from the value-and-time reader only).
std::vector<std::string> RawHex(CDataBlock& data, CCNBlock* cn) {
  const uint32_t element = CDataBlock::RawElementSize(cn);
  const size_t bytes = (cn->GetNumberOfBits() + 7u) / 8u;
  const uint32_t records = data.GetNumberOfRecords();
  std::vector<uint8_t> raw(size_t{records} * element), copy(raw.size());
  const uint32_t n = cn->GetDataType() == 7 ? data.GetDataAndTimeContent(cn, cn, raw, copy, 0, records)
                                            : data.GetRawDataContent(cn, raw, 0, records);
  std::vector<std::string> out;
  for (uint32_t r = 0; r < n; ++r) out.push_back(Hex(raw.data() + size_t{r} * element, bytes));
  return out;
}

// Grid cells of value-to-text and range-to-text tables. Three range tables
// resolve to something other than the range texts the oracle gives:
// - several ranges with the default text "Default" become a value-to-text
//   table of the ranges' lower values, so only those values have a text;
// - {LINEAR_CONV ...} becomes its linear conversion, and a single range
//   "Signal ungültig" without default text the identity; both mark the
//   range's value as the channel's NoValue, and their cells show numbers.
void ExpectTextCells(CDataBlock& data, int column, CCNBlock* cn, const json& c) {
  const std::string name = c["name"].get<std::string>();
  const std::vector<std::string> cells = Cells(data, column);
  if (name == "vtab_range") {
    // A range table read as a text table: values between the ranges' limits
    // take their range's text, values outside every range the default text.
    ExpectTexts(cells, c["text"]);
    std::set<std::string> distinct(cells.begin(), cells.end());
    EXPECT_EQ(distinct, c["text"]["distinct"].get<std::set<std::string>>());
    return;
  }
  if (name == "linear_conv_text" || name == "invalid_only") {
    const std::vector<double> phys = Doubles(data, cn, true);
    ASSERT_EQ(cells.size(), phys.size());
    ASSERT_TRUE(cn->IsNoValueSet());
    size_t marked = 0;
    for (size_t r = 0; r < phys.size(); ++r) {
      const bool noValue = phys[r] == cn->GetNoValue();
      marked += noValue;
      EXPECT_EQ(cells[r], (noValue ? "! " : "") + StrFormat("%.15lg", phys[r])) << "record " << r;
    }
    EXPECT_GT(marked, 0u);
    if (name == "linear_conv_text") {
      EXPECT_EQ(cells[7], "! 130.5");
    }
    return;
  }
  ExpectTexts(cells, c["text"]);
}

// The files written by the corpus generator, channel by channel.
TEST(CorpusValues, GeneratedFilesDecodeAsTheirOraclesSay) {
  SKIP_WITHOUT_CORPUS();
  for (const char* rel : {"mdf/gen_bitfields_v320.mdf", "mdf/gen_conversions_v330.mdf", "mdf/gen_groups_v310.mdf",
                          "mdf/gen_motorola_default_v310.mdf", "mdf/gen_novalue_kestravo_v300.dat",
                          "mdf/gen_recordids_v330.mdf"}) {
    SCOPED_TRACE(rel);
    const json oracle = testsupport::LoadOracle(rel);
    OpenedCorpus o(rel);
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    for (const json& g : oracle["groups"]) {
      CDGBlock* dg = o.Group(g["data_group"].get<int>());
      ASSERT_NE(dg, nullptr);
      if (g["records"].get<int>() == 0) {
        EXPECT_TRUE(!dg->GetDataBlock() || dg->GetDataBlock()->GetNumberOfRecords() == 0);
        continue;
      }
      ASSERT_NE(dg->GetDataBlock(), nullptr);
      CDataBlock& data = *dg->GetDataBlock();
      for (const json& c : g["channels"]) {
        const std::string name = c["name"].get<std::string>();
        SCOPED_TRACE(name);
        auto [column, cn] = FindChannel(dg, name);
        ASSERT_NE(cn, nullptr);
        const int type = c["data_type"].get<int>();
        if (type == 7) {
          EXPECT_EQ(RawHex(data, cn).front(), c["raw"]["first"][0].get<std::string>());
          ExpectTexts(Cells(data, column), c["phys"]);
          continue;
        }
        if (type == 8) {
          ExpectTexts(RawHex(data, cn), c["raw"]);
          continue;
        }
        const std::vector<double> raw = Doubles(data, cn, false);
        const std::vector<double> phys = Doubles(data, cn, true);
        if (o.mdf.IsKestravo() && cn->GetChannelType() == 1 && OracleNumber(c["raw"]["max"]) == 1e308) {
          // A KESTRAVO time channel: the NoValue stamp of record 5 becomes
          // the previous stamp plus half the step; the oracle keeps 1e308.
          ASSERT_GT(raw.size(), 5u);
          EXPECT_EQ(raw[5], raw[4] + (raw[1] - raw[0]) / 2.0);
          EXPECT_EQ(cn->ReplacedSamples(), std::vector<uint32_t>{5});
          ExpectSummary(raw, c["raw"], true, false);
          continue;
        }
        ExpectSummary(raw, c["raw"], true);
        ExpectSummary(phys, c["phys"], false);

        // Decoding the records in memory gives the same raw values.
        std::vector<uint8_t> records(size_t{data.GetNumberOfRecords()} * data.GetRecordLength());
        winport::File file;
        ASSERT_TRUE(file.Open(o.mdf.GetPath(), winport::FileAccess::Read, winport::FileShare::Read));
        ASSERT_TRUE(file.Seek(dg->GetDataLink()) && file.ReadExact(records.data(), records.size()));
        std::vector<double> decoded(raw.size());
        ASSERT_EQ(data.DecodeValues(cn, records, decoded, 0, static_cast<uint32_t>(decoded.size()), false),
                  decoded.size());
        EXPECT_EQ(decoded, raw);

        if (c.contains("text")) ExpectTextCells(data, column, cn, c);
      }
    }
  }
}

// Files written by other programs: the second reader's raw values and
// mdfreader's physical ones.
TEST(CorpusValues, OtherWritersFilesDecodeAsTheirOraclesSay) {
  SKIP_WITHOUT_CORPUS();
  for (const char* rel : {"mdf/mdfreader_written_v330.mdf", "mdf/test_meas_3.00.mdf", "mdf/test_meas_3.20.mdf"}) {
    SCOPED_TRACE(rel);
    const json oracle = testsupport::LoadOracle(rel);
    OpenedCorpus o(rel);
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    ASSERT_FALSE(oracle["second_reader_raw"].empty());
    for (const json& c : oracle["second_reader_raw"]) {
      const std::string name = c["name"].get<std::string>();
      SCOPED_TRACE(name);
      ASSERT_EQ(c["channel_group"].get<int>(), 1);
      CDGBlock* dg = o.Group(c["data_group"].get<int>());
      ASSERT_NE(dg, nullptr);
      CCNBlock* cn = FindChannel(dg, name).second;
      ASSERT_NE(cn, nullptr);
      ExpectSummary(Doubles(*dg->GetDataBlock(), cn, false), c, true);
    }
    // Each file has one data group, so mdfreader's names are the channels' own.
    ASSERT_EQ(o.mdf.GetFirstDG()->GetNext(), nullptr);
    for (const json& c : oracle["channels"]) {
      const std::string name = c["name"].get<std::string>();
      SCOPED_TRACE(name);
      CDGBlock* dg = o.mdf.GetFirstDG();
      CCNBlock* cn = FindChannel(dg, name).second;
      ASSERT_NE(cn, nullptr);
      ExpectSummary(Doubles(*dg->GetDataBlock(), cn, true), c, false);
    }
  }
}

// The CAN-frame log: frames per CAN channel and identifier, where each
// begins and the time stamps of its frames.
TEST(CorpusValues, CanLogFramesDecodeAsTheirOracleSays) {
  SKIP_WITHOUT_CORPUS();
  const char* rel = "mdf/gen_canlog_v330.mdf";
  const json oracle = testsupport::LoadOracle(rel);
  OpenedCorpus o(rel);
  ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
  CDGBlock* dg = o.mdf.GetFirstDG();
  CDataBlock& data = *dg->GetDataBlock();
  ASSERT_EQ(data.GetNumberOfRecords(), oracle["frames"].get<uint32_t>());
  const std::vector<double> can = Doubles(data, FindChannel(dg, "can").second, true);
  const std::vector<double> id = Doubles(data, FindChannel(dg, "id").second, true);
  const std::vector<double> time = Doubles(data, FindChannel(dg, "msgTime").second, true);
  ExpectSummary(time, oracle["msgTime"], true);

  std::map<std::pair<double, double>, std::vector<uint32_t>> frames;  // (can, id) -> records
  for (uint32_t r = 0; r < can.size(); ++r) frames[{can[r], id[r]}].push_back(r);
  ASSERT_EQ(frames.size(), oracle["ids"].size());
  for (const json& e : oracle["ids"]) {
    SCOPED_TRACE(e["id"].get<uint32_t>());
    const auto it = frames.find({e["can"].get<double>(), e["id_channel_value"].get<double>()});
    ASSERT_NE(it, frames.end());
    const std::vector<uint32_t>& records = it->second;
    EXPECT_EQ(records.size(), e["frames"].get<size_t>());
    EXPECT_EQ(records.front(), e["first_record"].get<uint32_t>());
    std::vector<double> stamps;
    for (uint32_t r : records) stamps.push_back(time[r]);
    ExpectSummary(stamps, e["time"], true);
  }
}

}  // namespace
