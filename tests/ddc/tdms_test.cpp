// TDMS files made by the fixture writer: incremental metadata, layouts,
// byte orders, strings, timestamps, cut files and damage.
#include <cstring>

#include <gtest/gtest.h>

#include "tests/ddc/ddc_helpers.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

using namespace ddctest;
using namespace testsupport::tdms;

namespace {

class Tdms : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "f.tdms") {
    const std::string path = dir_.File(name);
    testsupport::WriteFileBytes(path, bytes);
    return path;
  }
  std::string Write(const std::vector<Segment>& segments) { return Write(Encode(segments)); }

  testsupport::TempDir dir_;
};

// Channel c of group g.
DDCChannelHandle ChannelAt(const OpenedFile& file, size_t g, size_t c) {
  const auto groups = file.Groups();
  if (g >= groups.size()) return nullptr;
  const auto channels = Channels(groups[g]);
  return c < channels.size() ? channels[c] : nullptr;
}

const std::string kA = Path("G", "A");
const std::string kB = Path("G", "B");

std::vector<double> Seq(double from, size_t n) {
  std::vector<double> v;
  for (size_t i = 0; i < n; ++i) v.push_back(from + static_cast<double>(i));
  return v;
}

}  // namespace

TEST_F(Tdms, IndexesAreReusedAcrossSegmentsAndUnderANewObjectList) {
  std::vector<Segment> s(4);
  // 1: A (3 doubles) and B (2 shorts) per chunk, two chunks.
  s[0].objects = {WithData(kA, kF64, 3), WithData(kB, kI16, 2)};
  s[0].raw = RawData().Values(Seq(0, 3)).Values<int16_t>({0, 1}).Values(Seq(3, 3)).Values<int16_t>({2, 3}).Bytes();
  // 2: no metadata: the same list and indexes, one chunk.
  s[1].toc = kTocRawData;
  s[1].raw = RawData().Values(Seq(6, 3)).Values<int16_t>({4, 5}).Bytes();
  // 3: A as before, B without data now.
  s[2].toc = kTocMetaData | kTocRawData;
  s[2].objects = {SameIndex(kA), NoData(kB)};
  s[2].raw = RawData().Values(Seq(9, 3)).Bytes();
  // 4: a new list of B alone, with the index it had two segments back.
  s[3].objects = {SameIndex(kB)};
  s[3].raw = RawData().Values<int16_t>({6, 7}).Bytes();
  OpenedFile file(Write(s), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), Seq(0, 12));
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), Seq(0, 8));
}

TEST_F(Tdms, ObjectsAppendedWithoutANewListKeepTheListBefore) {
  std::vector<Segment> s(2);
  s[0].objects = {WithData(kA, kF64, 2)};
  s[0].raw = RawData().Values(Seq(0, 2)).Bytes();
  s[1].toc = kTocMetaData | kTocRawData;
  s[1].objects = {WithData(kB, kU8, 3)};
  s[1].raw = RawData().Values(Seq(2, 2)).Values<uint8_t>({7, 8, 9}).Bytes();
  OpenedFile file(Write(s), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), Seq(0, 4));
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), (std::vector<double>{7, 8, 9}));
}

TEST_F(Tdms, LaterPropertiesReplaceValuesInPlaceAndAppendNewNames) {
  std::vector<Segment> s(3);
  s[0].objects = {NoData("/", {String("Projekt", "P1")}),
                  WithData(kA, kF64, 1, {String("Sensor", "S1"), String("unit_string", "V")})};
  s[0].raw = RawData().Value(1.0).Bytes();
  s[1].toc = kTocMetaData;  // properties only
  Object a_again = SameIndex(kA);
  a_again.properties = {String("unit_string", "mV"), F64("Extra", 2.5)};
  s[1].objects = {NoData("/", {String("Projekt", "P2"), String("name", "Lauf 7")}), a_again};
  s[2].toc = kTocRawData;
  s[2].raw = RawData().Value(2.0).Bytes();
  OpenedFile file(Write(s), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(PropertyNames(file.Get()),
            (std::vector<std::string>{"name", "description", "title", "author", "datetime", "Projekt"}));
  EXPECT_EQ(Text(file.Get(), "Projekt"), "P2");
  EXPECT_EQ(Name(file.Get()), "Lauf 7");
  DDCChannelHandle a = ChannelAt(file, 0, 0);
  EXPECT_EQ(PropertyNames(a), (std::vector<std::string>{"name", "description", "unit_string", "minimum",
                                                        "maximum", "Sensor", "Extra"}));
  EXPECT_EQ(Text(a, "unit_string"), "mV");
  EXPECT_EQ(Number(a, "Extra"), 2.5);
  // The segment without metadata reuses the list of the properties-only segment.
  EXPECT_EQ(Numbers(a), (std::vector<double>{1, 2}));
}

TEST_F(Tdms, GroupsAndChannelsFollowTheirFirstAppearanceWithPathNames) {
  Segment s;
  s.objects = {NoData(Path("Zweite", "x")), NoData(Path("Dr. T's")), NoData(Path("Zweite")),
               NoData(Path("Dr. T's", "y/z")), NoData("/")};
  s.toc = kTocMetaData | kTocNewObjectList;
  OpenedFile file(Write({s}), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  const auto groups = file.Groups();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(Name(groups[0]), "Zweite");
  EXPECT_EQ(Name(groups[1]), "Dr. T's");
  EXPECT_EQ(Name(ChannelAt(file, 1, 0)), "y/z");
  EXPECT_EQ(Name(file.Get()), "f");  // no stored name: the base name
  EXPECT_EQ(PropertyNames(groups[0]), (std::vector<std::string>{"name", "description"}));
}

TEST_F(Tdms, InterleavedRowsHoldOneValueOfEachChannel) {
  for (const bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian ? "big-endian" : "little-endian");
    Segment s;
    s.toc = kDefaultToc | kTocInterleaved | (big_endian ? kTocBigEndian : 0);
    s.objects = {WithData(kA, kI32, 3), WithData(kB, kF64, 3), WithData(Path("G", "C"), kU8, 3)};
    RawData raw(big_endian);
    for (int chunk = 0; chunk < 2; ++chunk)
      for (int row = 0; row < 3; ++row) {
        const int i = chunk * 3 + row;
        raw.Value(int32_t{-i}).Value(0.5 * i).Value(static_cast<uint8_t>(200 + i));
      }
    s.raw = raw.Bytes();
    OpenedFile file(Write({s}), "TDMs");
    ASSERT_EQ(file.Status(), 0);
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), (std::vector<double>{0, -1, -2, -3, -4, -5}));
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), (std::vector<double>{0, 0.5, 1, 1.5, 2, 2.5}));
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 2)), (std::vector<double>{200, 201, 202, 203, 204, 205}));
  }
}

TEST_F(Tdms, BigEndianSegmentsReadInTheirByteOrder) {
  std::vector<Segment> s(2);
  s[0].toc = kDefaultToc | kTocBigEndian;
  s[0].objects = {NoData("/", {String("name", "BE"), I32("Runs", -7), F64("Gain", 1.25)}),
                  WithData(kA, kI16, 2), WithData(kB, kF64, 2)};
  s[0].raw = RawData(true).Values<int16_t>({-2, 300}).Values<double>({1.5, -2.5}).Bytes();
  s[1].toc = kTocMetaData | kTocRawData | kTocBigEndian;
  s[1].objects = {SameIndex(kA), SameIndex(kB)};
  s[1].raw = RawData(true).Values<int16_t>({4, 5}).Values<double>({6, 7}).Values<int16_t>({8, 9}).Values<double>({10, 11}).Bytes();
  OpenedFile file(Write(s), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(Name(file.Get()), "BE");
  EXPECT_EQ(Number(file.Get(), "Runs"), -7);
  EXPECT_EQ(Number(file.Get(), "Gain"), 1.25);
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), (std::vector<double>{-2, 300, 4, 5, 8, 9}));
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), (std::vector<double>{1.5, -2.5, 6, 7, 10, 11}));
}

TEST_F(Tdms, StringChannelsDeliverTextsInWindows1252) {
  const std::vector<std::string> chunk1 = {"Pr\xC3\xBC" "f", "", "\xE2\x82\xAC 5"};
  // Every chunk holds as many string bytes as the index says: 10 here.
  const std::vector<std::string> chunk2 = {"\xE6\x97\xA5", "z", "yyyyyy"};
  Segment s;
  s.objects = {WithStrings(kA, chunk1), WithData(kB, kF64, 1)};
  s.raw = RawData().Strings(chunk1).Value(1.0).Strings(chunk2).Value(2.0).Bytes();
  // A lone string channel flagged interleaved is read as contiguous.
  Segment lone;
  lone.toc = kDefaultToc | kTocInterleaved;
  lone.objects = {WithStrings(Path("H", "S"), {"ab", "c"})};
  lone.raw = RawData().Strings({"ab", "c"}).Bytes();
  OpenedFile file(Write({s, lone}), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  DDCChannelHandle a = ChannelAt(file, 0, 0);
  EXPECT_EQ(DataType(a), DDC_TypeChannelString);
  EXPECT_EQ(Strings(a), (std::vector<std::string>{"Pr\xFC" "f", "", "\x80 5", "?", "z", "yyyyyy"}));
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), (std::vector<double>{1, 2}));
  EXPECT_EQ(Strings(ChannelAt(file, 1, 0)), (std::vector<std::string>{"ab", "c"}));
  // A part of the values, across the two chunks.
  char* part[2] = {};
  ASSERT_EQ(DDC_GetDataValues(a, 2, 2, part), 0);
  EXPECT_STREQ(part[0], "\x80 5");
  EXPECT_STREQ(part[1], "?");
  for (char* p : part) DDC_FreeMemory(p);
}

TEST_F(Tdms, StringOffsetsBeyondTheirCharactersAreDamage) {
  Segment s;
  s.objects = {WithStrings(kA, {"abc", "d"})};
  s.raw = RawData().Value(uint32_t{3}).Value(uint32_t{9}).Bytes() + "abcd";
  OpenedFile file(Write({s}), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  char* values[2] = {};
  EXPECT_EQ(DDC_GetDataValues(ChannelAt(file, 0, 0), 0, 2, values), DDC_ErrDamaged);
  EXPECT_EQ(values[0], nullptr);
}

TEST_F(Tdms, TimestampsGiveTheUtcComponentsOfTheStoredInstant) {
  // 2024-03-01T08:15:30.25Z and 2024-07-01T23:59:59.5Z.
  const Timestamp t1 = FromUnix(1709280930, 0.25), t2 = FromUnix(1719878399, 0.5);
  Segment s;
  s.objects = {NoData("/", {Time("datetime", t1)}), WithData(kA, kTimestamp, 2)};
  s.raw = RawData().Stamp(t1).Stamp(t2).Bytes();
  Segment be;
  be.toc = kDefaultToc | kTocBigEndian;
  be.objects = {WithData(kB, kTimestamp, 1)};
  be.raw = RawData(true).Stamp(t2).Bytes();
  const std::string path = Write({s, be});
  // The same components in any time zone.
  struct Case {
    const char* tz;
    unsigned hour1, day2, hour2, weekday2;
  };
  for (const Case& c : {Case{"UTC", 8, 1, 23, 1}, Case{"Europe/Berlin", 8, 1, 23, 1}}) {
    SCOPED_TRACE(c.tz);
    ScopedTimeZone tz(c.tz);
    OpenedFile file(path, "TDMs");
    ASSERT_EQ(file.Status(), 0);
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, wd = 9;
    double f = -1;
    ASSERT_EQ(DDC_GetFilePropertyTimestampComponents(file.Get(), "datetime", &y, &mo, &d, &h, &mi,
                                                     &sec, &f, &wd),
              0);
    EXPECT_EQ(std::vector<unsigned>({y, mo, d, h, mi, sec, wd}),
              std::vector<unsigned>({2024, 3, 1, c.hour1, 15, 30, 5}));
    EXPECT_EQ(f, 0.25);
    EXPECT_EQ(FileStamp(file.Get(), "datetime"), 1709280930.25);
    DDCChannelHandle a = ChannelAt(file, 0, 0);
    EXPECT_EQ(DataType(a), DDC_TypeChannelTimestamp);
    ASSERT_EQ(DDC_GetDataValuesTimestampComponents(a, 1, 1, &y, &mo, &d, &h, &mi, &sec, &f, &wd), 0);
    EXPECT_EQ(std::vector<unsigned>({y, mo, d, h, mi, sec, wd}),
              std::vector<unsigned>({2024, 7, c.day2, c.hour2, 59, 59, c.weekday2}));
    EXPECT_EQ(f, 0.5);
    EXPECT_EQ(Stamps(a), (std::vector<double>{1709280930.25, 1719878399.5}));
    EXPECT_EQ(Stamps(ChannelAt(file, 0, 1)), (std::vector<double>{1719878399.5}));
    // Timestamps are no numbers, and a number is no timestamp.
    double raw[2];
    EXPECT_EQ(DDC_GetDataValues(a, 0, 2, raw), DDC_ErrTypeMismatch);
  }
}

// Berlin's local times of 2023-10-29 02:00 to 03:00 happen twice; UTC ones once.
TEST_F(Tdms, InstantsOfARepeatedLocalHourKeepTheirOrder) {
  ScopedTimeZone tz("Europe/Berlin");
  const int64_t first = 1698539400;  // 2023-10-29T00:30:00Z, 02:30 summer time
  Segment s;
  s.objects = {WithData(kA, kTimestamp, 4)};
  RawData raw;
  for (int i = 0; i < 4; ++i) raw.Stamp(FromUnix(first + 1800 * i));  // 02:30, 02:00 and 02:30 winter time, 03:00
  s.raw = raw.Bytes();
  OpenedFile file(Write({s}), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  DDCChannelHandle a = ChannelAt(file, 0, 0);
  unsigned h[4], mi[4];
  ASSERT_EQ(DDC_GetDataValuesTimestampComponents(a, 0, 4, nullptr, nullptr, nullptr, h, mi, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::vector<unsigned>(h, h + 4), (std::vector<unsigned>{0, 1, 1, 2}));
  EXPECT_EQ(std::vector<unsigned>(mi, mi + 4), (std::vector<unsigned>{30, 0, 30, 0}));
  EXPECT_EQ(Stamps(a), (std::vector<double>{first + 0.0, first + 1800.0, first + 3600.0, first + 5400.0}));
}

TEST_F(Tdms, AFractionJustBelowOneSecondStaysBelowOne) {
  Segment s;
  s.objects = {NoData("/", {Time("datetime", Timestamp{kUnixEpochSince1904, ~0ull})})};
  s.toc = kTocMetaData | kTocNewObjectList;
  OpenedFile file(Write({s}), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  double f = 0;
  ASSERT_EQ(DDC_GetFilePropertyTimestampComponents(file.Get(), "datetime", nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, &f, nullptr),
            0);
  EXPECT_LT(f, 1.0);
  EXPECT_GT(f, 0.999999);
}

// The last segment: unfinished (next offset all ones) or cut by the end of the file.
TEST_F(Tdms, ACutLastSegmentYieldsTheValuesPresent) {
  struct Case {
    const char* what;
    bool interleaved, unfinished;
    size_t cut;  // bytes of the second segment's data in the file
    std::vector<double> a, b;
  };
  // Contiguous chunk: A (2 doubles) then B (2 doubles); interleaved rows of A, B.
  const Case cases[] = {
      {"unfinished, contiguous", false, true, 32 + 20, {0, 1, 2, 3, 4, 5}, {10, 11, 12, 13}},
      {"cut, contiguous", false, false, 32 + 20, {0, 1, 2, 3, 4, 5}, {10, 11, 12, 13}},
      {"cut, contiguous, into B", false, false, 32 + 24, {0, 1, 2, 3, 4, 5}, {10, 11, 12, 13, 14}},
      {"cut, interleaved", true, false, 32 + 20, {0, 1, 2, 3, 4}, {10, 11, 12, 13, 14}},
      {"unfinished, no whole chunk", false, true, 8, {0, 1, 2}, {10, 11}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Segment> s(2);
    for (Segment& seg : s) {
      seg.toc = kDefaultToc | (c.interleaved ? kTocInterleaved : 0);
      seg.objects = {WithData(kA, kF64, 2), WithData(kB, kF64, 2)};
    }
    s[1].toc &= ~kTocMetaData;
    s[1].objects.clear();
    RawData first, second;
    if (c.interleaved) {
      first.Values<double>({0, 10, 1, 11});
      second.Values<double>({2, 12, 3, 13, 4, 14, 5, 15});
    } else {
      first.Values<double>({0, 1, 10, 11});
      second.Values<double>({2, 3, 12, 13, 4, 5, 14, 15});
    }
    s[0].raw = first.Bytes();
    s[1].raw = second.Bytes().substr(0, c.cut);
    s[1].next_offset = c.unfinished ? ~0ull : 64;
    OpenedFile file(Write(s), "TDMs");
    ASSERT_EQ(file.Status(), 0);
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), c.a);
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), c.b);
  }
}

// A next-segment offset beyond the end of the file: the segment ends at a
// chunk boundary where a lead-in starts, and reading goes on there.
TEST_F(Tdms, ANextOffsetBeyondTheFileEndsTheSegmentAtTheLeadInThatFollows) {
  for (const bool interleaved : {false, true}) {
    SCOPED_TRACE(interleaved ? "interleaved" : "contiguous");
    std::vector<Segment> s(3);
    s[0].toc = kDefaultToc | (interleaved ? kTocInterleaved : 0);
    s[0].objects = {WithData(kA, kF64, 2), WithData(kB, kF64, 2)};
    s[0].raw = RawData().Values<double>({0, 1, 10, 11, 2, 3, 12, 13}).Bytes();  // rows or blocks alike
    s[0].next_offset = uint64_t{1} << 40;
    // Reuses the list, then a new channel C joins it.
    s[1].toc = kTocRawData | (interleaved ? kTocInterleaved : 0);
    s[1].raw = RawData().Values<double>({4, 5, 14, 15}).Bytes();
    s[2].toc = kTocMetaData | kTocRawData;
    s[2].objects = {WithData(Path("G", "C"), kF64, 1)};
    s[2].raw = RawData().Values<double>({6, 7, 16, 17, 30}).Bytes();
    OpenedFile file(Write(s), "TDMs");
    ASSERT_EQ(file.Status(), 0);
    // The last segment is contiguous in both cases.
    const std::vector<double> a = interleaved ? std::vector<double>{0, 10, 2, 12, 4, 14, 6, 7}
                                              : std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7};
    const std::vector<double> b = interleaved ? std::vector<double>{1, 11, 3, 13, 5, 15, 16, 17}
                                              : std::vector<double>{10, 11, 12, 13, 14, 15, 16, 17};
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), a);
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), b);
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 2)), (std::vector<double>{30}));
  }
}

// Damage after the first segment keeps the segments before it; damage in
// the first fails the open.
TEST_F(Tdms, DamageKeepsTheSegmentsBeforeIt) {
  const auto good = [] {
    Segment s;
    s.objects = {WithData(kA, kF64, 2)};
    s.raw = RawData().Values<double>({1, 2}).Bytes();
    return s;
  };
  const auto more = [] {
    Segment s;
    s.toc = kTocRawData;
    s.raw = RawData().Values<double>({3, 4}).Bytes();
    return s;
  };
  // A DAQmx segment of these objects and raw bytes.
  const auto daqmx = [](std::vector<Object> objects, size_t bytes) {
    Segment s;
    s.toc = kDefaultToc | kTocDaqmx;
    s.objects = std::move(objects);
    s.raw = std::string(bytes, '\x01');
    return s;
  };
  const std::string kD = Path("D", "d"), kE = Path("D", "e");
  struct Case {
    const char* what;
    std::function<std::string()> bytes;
    int status;                  // of the open
    std::vector<double> a;       // values of A when it opens
  };
  const Case cases[] = {
      {"intact", [&] { return Encode({good(), more()}); }, 0, {1, 2, 3, 4}},
      {"file ends inside the second lead-in",
       [&] { return Encode({good()}) + EncodeSegment(more()).substr(0, 10); }, 0, {1, 2}},
      {"file ends inside the second metadata",
       [&] {
         Segment s = good();
         s.toc = kTocMetaData | kTocRawData;
         const std::string b = EncodeSegment(s);
         return Encode({good()}) + b.substr(0, 40);
       }, 0, {1, 2}},
      {"second lead-in without tag",
       [&] { Segment s = more(); s.tag = "XXXX"; return Encode({good(), s}); }, 0, {1, 2}},
      {"raw-data offset beyond the next segment",
       [&] { Segment s = more(); s.raw_offset = 17; s.next_offset = 16; return Encode({good(), s, more()}); }, 0, {1, 2}},
      {"data not a whole number of chunks",
       [&] { Segment s = more(); s.raw += "xyz"; return Encode({good(), s, more()}); }, 0, {1, 2}},
      {"count beyond the segment",
       [&] {
         Segment s = good();
         s.objects = {WithData(kA, kF64, 4)};
         return Encode({good(), s, more()});
       }, 0, {1, 2}},
      {"a channel changes its type",
       [&] { Segment s = good(); s.objects = {WithData(kA, kI16, 8)}; return Encode({good(), s}); }, 0, {1, 2}},
      {"interleaved with unequal counts",
       [&] {
         Segment s = good();
         s.toc |= kTocInterleaved;
         s.objects.push_back(WithData(kB, kF64, 1));
         s.raw += RawData().Value(5.0).Bytes();
         return Encode({good(), s});
       }, 0, {1, 2}},
      {"bytes of a count overflow 64 bits",
       [&] { Segment s = good(); s.objects = {WithData(kA, kF64, 1ull << 62)}; return Encode({good(), s}); }, 0, {1, 2}},
      {"a DAQmx scaler beyond its row",
       [&] { return Encode({good(), daqmx({Daqmx(kD, 1, {2}, {{3, 0, 1, 0}})}, 2), more()}); }, 0, {1, 2}},
      {"DAQmx width vectors that differ between channels",
       [&] {
         return Encode({good(), daqmx({Daqmx(kD, 1, {4}, {{3, 0, 0, 0}}), Daqmx(kE, 1, {8}, {{3, 0, 2, 0}})}, 4), more()});
       }, 0, {1, 2}},
      {"a DAQmx buffer index out of range",
       [&] { return Encode({good(), daqmx({Daqmx(kD, 1, {4}, {{3, 1, 0, 0}})}, 4), more()}); }, 0, {1, 2}},
      {"an unknown DAQmx scaler type",
       [&] { return Encode({good(), daqmx({Daqmx(kD, 1, {4}, {{12, 0, 0, 0}})}, 4), more()}); }, 0, {1, 2}},
      {"DAQmx counts whose bytes exceed the segment",
       [&] { return Encode({good(), daqmx({Daqmx(kD, 4, {4}, {{3, 0, 0, 0}})}, 8), more()}); }, 0, {1, 2}},
      {"DAQmx raw data beside other values",
       [&] {
         return Encode({good(), daqmx({Daqmx(kD, 1, {4}, {{3, 0, 0, 0}}), WithData(kE, kF64, 1)}, 12), more()});
       }, 0, {1, 2}},
      {"a DAQmx buffer index out of range in the first segment",
       [&] { return Encode({daqmx({Daqmx(kD, 1, {4}, {{3, 1, 0, 0}})}, 4)}); }, DDC_ErrDamaged, {}},
      {"first lead-in without tag", [&] { Segment s = good(); s.tag = "TDSh"; return Encode({s}); },
       DDC_ErrWrongFileKind, {}},
      {"shorter than a lead-in", [&] { return Encode({good()}).substr(0, 20); }, DDC_ErrDamaged, {}},
      {"unknown type in the first metadata",
       [&] { Segment s = good(); s.objects[0].type = 0x77; return Encode({s}); }, DDC_ErrDamaged, {}},
      {"first segment reuses an index never seen",
       [&] { Segment s = good(); s.objects = {SameIndex(kA)}; return Encode({s}); }, DDC_ErrDamaged, {}},
      {"dimension other than 1",
       [&] { Segment s = good(); s.objects[0].dimension = 2; return Encode({s}); }, DDC_ErrDamaged, {}},
      {"malformed path", [&] { Segment s = good(); s.objects[0].path = "/'G"; return Encode({s}); },
       DDC_ErrDamaged, {}},
      {"metadata longer than its segment says",
       [&] { Segment s = good(); s.raw_offset = 30; return Encode({s}); }, DDC_ErrDamaged, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenedFile file(Write(c.bytes()), "TDMs");
    ASSERT_EQ(file.Status(), c.status);
    if (c.status != 0) {
      EXPECT_EQ(file.Get(), nullptr);
      continue;
    }
    EXPECT_EQ(Numbers(ChannelAt(file, 0, 0)), c.a);
  }
}

TEST_F(Tdms, AFileEndingInsideItsFirstMetadataOpensEmpty) {
  Segment s;
  s.objects = {WithData(kA, kF64, 2)};
  s.raw = RawData().Values<double>({1, 2}).Bytes();
  OpenedFile file(Write(EncodeSegment(s).substr(0, 40)), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_TRUE(file.Groups().empty());
}

TEST_F(Tdms, UnreadableTypesHaveTheUnsupportedCodeAndKeepTheLayout) {
  // A complex channel beside a readable one: its values take space but cannot be read.
  Segment s;
  s.objects = {WithData(kA, kComplexF64, 1), WithData(kB, kF64, 2)};
  s.raw = std::string(16, '\x02') + RawData().Values<double>({7, 8}).Bytes();
  OpenedFile file(Write({s}), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  DDCChannelHandle complex = ChannelAt(file, 0, 0);
  EXPECT_EQ(DataType(complex), DDC_TypeUnsupported);
  double v[3];
  EXPECT_EQ(DDC_GetDataValues(complex, 0, 1, v), DDC_ErrNotSupported);
  EXPECT_EQ(Count(complex), 1u);
  EXPECT_EQ(Numbers(ChannelAt(file, 0, 1)), (std::vector<double>{7, 8}));
}

TEST_F(Tdms, RangesAcrossSegmentsAndOutsideTheValues) {
  std::vector<Segment> s(3);
  s[0].objects = {WithData(kA, kI32, 2)};
  s[0].raw = RawData().Values<int32_t>({0, 1, 2, 3}).Bytes();
  s[1].toc = s[2].toc = kTocRawData;
  s[1].raw = RawData().Values<int32_t>({4, 5}).Bytes();
  s[2].raw = RawData().Values<int32_t>({6, 7, 8, 9}).Bytes();
  s[0].version = 4712;
  s[1].version = 4711;  // unknown versions are read all the same
  OpenedFile file(Write(s), "TDMs");
  ASSERT_EQ(file.Status(), 0);
  DDCChannelHandle a = ChannelAt(file, 0, 0);
  int32_t v[6] = {};
  ASSERT_EQ(DDC_GetDataValues(a, 3, 5, v), 0);
  EXPECT_EQ(std::vector<int32_t>(v, v + 5), (std::vector<int32_t>{3, 4, 5, 6, 7}));
  EXPECT_EQ(DDC_GetDataValues(a, 9, 1, v), 0);
  EXPECT_EQ(v[0], 9);
  EXPECT_EQ(DDC_GetDataValues(a, 10, 0, v), 0);
  EXPECT_EQ(DDC_GetDataValues(a, 9, 2, v), DDC_ErrRange);
  EXPECT_EQ(DDC_GetDataValues(a, 11, 0, v), DDC_ErrRange);
  EXPECT_EQ(DDC_GetDataValues(a, 1, SIZE_MAX, v), DDC_ErrRange);
  EXPECT_EQ(DDC_GetDataValues(a, 0, 1, nullptr), DDC_ErrInvalidArgument);
}
