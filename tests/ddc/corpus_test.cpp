// Every TDMS and TDM file of the corpus against the oracle of an independent
// reader: objects and their order, properties, data types, counts and values.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "platform/win32/codepage.h"
#include "tests/ddc/ddc_helpers.h"
#include "tests/support/corpus.h"

using namespace ddctest;
using nlohmann::json;

namespace {

std::vector<std::string> CorpusFiles(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(testsupport::CorpusFile(folder)))
    if (e.path().extension() == extension) files.push_back(folder + "/" + e.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string Ansi(const json& utf8) { return winport::Utf8ToAnsi(utf8.get<std::string>()); }

// "2012-07-09T23:58:24.593732" (UTC) as Unix seconds.
double UnixFromIso(const std::string& iso) {
  struct tm t {};
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  EXPECT_EQ(sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s), 6) << iso;
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  const size_t dot = iso.find('.');
  const double fraction = dot == std::string::npos ? 0 : std::stod("0" + iso.substr(dot));
  return static_cast<double>(timegm(&t)) + fraction;
}

double JsonNumber(const json& v) {
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    if (s == "nan") return NAN;
    if (s == "inf") return INFINITY;
    if (s == "-inf") return -INFINITY;
    // The largest double written with 15 digits lies beyond it and reads as the largest double.
    const double d = std::strtod(s.c_str(), nullptr);
    return std::isinf(d) ? std::copysign(DBL_MAX, d) : d;
  }
  return v.get<double>();
}

// A property of the oracle against ours.
template <typename H>
void ExpectProperty(H h, const std::string& name_utf8, const json& expected,
                    std::optional<double> (*stamp)(H, const char*)) {
  const std::string name = winport::Utf8ToAnsi(name_utf8);
  SCOPED_TRACE("property " + name_utf8);
  const std::optional<DDCDataType> type = Type(h, name.c_str());
  ASSERT_TRUE(type.has_value());
  if (expected.is_object()) {
    EXPECT_EQ(*type, DDC_TypeTimestamp);
    if (!stamp) return;  // groups give no timestamp components
    const std::optional<double> when = stamp(h, name.c_str());
    ASSERT_TRUE(when.has_value());
    EXPECT_NEAR(*when, UnixFromIso(expected["timestamp"]), 1e-6);
  } else if (expected.is_string() && *type == DDC_TypeString) {
    EXPECT_EQ(Text(h, name.c_str()), Ansi(expected));
  } else if (expected.is_boolean()) {
    EXPECT_EQ(*type, DDC_TypeBoolean);
    EXPECT_EQ(Number(h, name.c_str()), expected.get<bool>() ? 1.0 : 0.0);
  } else {
    // Numbers; TDM attributes come as their text in the oracle.
    EXPECT_NE(*type, DDC_TypeString);
    EXPECT_EQ(Number(h, name.c_str()), JsonNumber(expected));
  }
}

constexpr std::optional<double> (*kNoStamp)(DDCChannelGroupHandle, const char*) = nullptr;

void ExpectNumbers(const std::vector<double>& got, const json& expected) {
  ASSERT_EQ(got.size(), expected["count"].get<size_t>());
  if (got.empty()) return;
  const size_t n = std::min<size_t>(5, got.size());
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(got[i], JsonNumber(expected["first"][i])) << "value " << i;
    EXPECT_EQ(got[got.size() - n + i], JsonNumber(expected["last"][i])) << "value " << got.size() - n + i;
  }
  EXPECT_EQ(*std::min_element(got.begin(), got.end()), JsonNumber(expected["min"]));
  EXPECT_EQ(*std::max_element(got.begin(), got.end()), JsonNumber(expected["max"]));
}

void ExpectStrings(const std::vector<std::string>& got, const json& expected) {
  ASSERT_EQ(got.size(), expected["count"].get<size_t>());
  const size_t n = std::min<size_t>(5, got.size());
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(got[i], Ansi(expected["first"][i]));
    EXPECT_EQ(got[got.size() - n + i], Ansi(expected["last"][i]));
  }
  const std::set<std::string> values(got.begin(), got.end());
  for (const json& d : expected["distinct"]) EXPECT_TRUE(values.count(Ansi(d))) << d;
}

DDCDataType TdmsType(const json& channel) {
  const std::string kind = channel.value("kind", "");
  if (kind == "string") return DDC_TypeChannelString;
  if (kind == "timestamp") return DDC_TypeChannelTimestamp;
  static const std::map<std::string, DDCDataType> kTypes = {
      {"int8", DDC_TypeInt8},   {"int16", DDC_TypeInt16},   {"int32", DDC_TypeInt32},
      {"int64", DDC_TypeInt64}, {"uint8", DDC_TypeUInt8},   {"uint16", DDC_TypeUInt16},
      {"uint32", DDC_TypeUInt32}, {"uint64", DDC_TypeUInt64}, {"float32", DDC_TypeFloat},
      {"float64", DDC_TypeDouble}};
  return kTypes.at(channel["dtype"].get<std::string>());
}

DDCDataType TdmType(const json& channel) {
  static const std::map<std::string, DDCDataType> kTypes = {
      {"DT_DOUBLE", DDC_TypeDouble}, {"DT_FLOAT", DDC_TypeFloat}, {"DT_SHORT", DDC_TypeInt16},
      {"DT_LONG", DDC_TypeInt32},    {"DT_BYTE", DDC_TypeUInt8},  {"DT_STRING", DDC_TypeChannelString}};
  return kTypes.at(channel["datatype"].get<std::string>());
}

void ExpectValues(DDCChannelHandle c, const json& oracle) {
  ASSERT_EQ(Count(c), oracle["count"].get<uint64_t>());
  switch (DataType(c)) {
    case DDC_TypeChannelString: ExpectStrings(Strings(c), oracle["values"]); break;
    case DDC_TypeChannelTimestamp: ExpectNumbers(Stamps(c), oracle["unix_seconds"]); break;
    default: ExpectNumbers(Numbers(c), oracle["values"]);
  }
}

// Opens every corpus file of a folder and hands it with its oracle to `check`.
template <typename F>
void ForEachCorpusFile(const std::string& folder, const std::string& extension, const char* type,
                       F&& check) {
  ScopedTimeZone tz("Europe/Berlin");
  const std::vector<std::string> files = CorpusFiles(folder, extension);
  ASSERT_FALSE(files.empty());
  for (const std::string& relative : files) {
    SCOPED_TRACE(relative);
    const json oracle = testsupport::LoadOracle(relative);
    OpenedFile file(testsupport::CorpusFile(relative), type);
    ASSERT_EQ(file.Status(), 0);
    check(oracle, file);
  }
}

}  // namespace

TEST(Corpus, TdmsFilesMatchTheirOracles) {
  SKIP_WITHOUT_CORPUS();
  ForEachCorpusFile("tdms", ".tdms", "TDMs", [](const json& oracle, const OpenedFile& file) {
    const std::vector<std::string> names = PropertyNames(file.Get());
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5),
              (std::vector<std::string>{"name", "description", "title", "author", "datetime"}));
    for (const auto& [name, value] : oracle["file_properties"].items())
      ExpectProperty(file.Get(), name, value, &FileStamp);

    const std::vector<DDCChannelGroupHandle> groups = file.Groups();
    ASSERT_EQ(groups.size(), oracle["groups"].size());
    for (size_t g = 0; g < groups.size(); ++g) {
      const json& og = oracle["groups"][g];
      EXPECT_EQ(Name(groups[g]), Ansi(og["name"]));
      for (const auto& [name, value] : og["properties"].items())
        ExpectProperty(groups[g], name, value, kNoStamp);
      const std::vector<DDCChannelHandle> channels = Channels(groups[g]);
      ASSERT_EQ(channels.size(), og["channels"].size());
      for (size_t c = 0; c < channels.size(); ++c) {
        const json& oc = og["channels"][c];
        SCOPED_TRACE(oc["name"].get<std::string>());
        EXPECT_EQ(Name(channels[c]), Ansi(oc["name"]));
        EXPECT_EQ(DataType(channels[c]), TdmsType(oc));
        for (const auto& [name, value] : oc["properties"].items())
          ExpectProperty(channels[c], name, value, &ChannelStamp);
        ExpectValues(channels[c], oc);
      }
    }
  });
}

TEST(Corpus, TdmFilesMatchTheirOracles) {
  SKIP_WITHOUT_CORPUS();
  ForEachCorpusFile("tdm", ".tdm", "TDM", [](const json& oracle, const OpenedFile& file) {
    const json& root = oracle["root"];
    EXPECT_EQ(Name(file.Get()), Ansi(root["name"]));
    for (const char* text : {"description", "title", "author"})
      EXPECT_EQ(Text(file.Get(), text).value_or(""), Ansi(root[text])) << text;
    const std::string datetime = root["datetime"];
    if (datetime.empty()) {
      EXPECT_FALSE(FileStamp(file.Get(), "datetime").has_value());
    } else {
      EXPECT_NEAR(FileStamp(file.Get(), "datetime").value_or(0), UnixFromIso(datetime), 1e-6);
    }

    const std::vector<DDCChannelGroupHandle> groups = file.Groups();
    ASSERT_EQ(groups.size(), oracle["groups"].size());
    for (size_t g = 0; g < groups.size(); ++g) {
      const json& og = oracle["groups"][g];
      EXPECT_EQ(Name(groups[g]), Ansi(og["name"]));
      EXPECT_EQ(Text(groups[g], "description").value_or(""), Ansi(og["description"]));
      for (const auto& [name, value] : og["attributes"].items())
        ExpectProperty(groups[g], name, value, kNoStamp);
      const std::vector<DDCChannelHandle> channels = Channels(groups[g]);
      ASSERT_EQ(channels.size(), og["channels"].size());
      for (size_t c = 0; c < channels.size(); ++c) {
        const json& oc = og["channels"][c];
        SCOPED_TRACE(oc["name"].get<std::string>());
        EXPECT_EQ(Name(channels[c]), Ansi(oc["name"]));
        EXPECT_EQ(DataType(channels[c]), TdmType(oc));
        EXPECT_EQ(Text(channels[c], "unit_string").value_or(""), Ansi(oc["unit"]));
        EXPECT_EQ(Text(channels[c], "description").value_or(""), Ansi(oc["description"]));
        for (const char* bound : {"minimum", "maximum"}) {
          if (oc[bound].is_null()) EXPECT_FALSE(Number(channels[c], bound).has_value());
          else EXPECT_EQ(Number(channels[c], bound), JsonNumber(oc[bound])) << bound;
        }
        for (const auto& [name, value] : oc["attributes"].items())
          ExpectProperty(channels[c], name, value, &ChannelStamp);
        ExpectValues(channels[c], oc);
      }
    }
  });
}
