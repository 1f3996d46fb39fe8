// Fixtures of the MDF library's tests: files with data groups of one or
// several channel groups, built with the MDF fixture writer, and a test
// fixture that starts and ends the library around each test with a script of
// the boxes it expects.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dravo/library.h"
#include "dravo/mdflib.h"
#include "platform/ui/headless.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

namespace dravotest {

using namespace testsupport;

struct ChannelSpec {
  CnSpec cn{};
  std::optional<CcSpec> cc{};
  std::string comment{};
};

struct CgDef {
  uint16_t recordId = 0;
  uint16_t recordSize = 0;
  uint32_t records = 0;
  std::vector<ChannelSpec> channels{};
  std::string comment{};
};

struct DgDef {
  uint16_t recordIds = 0;
  std::vector<CgDef> groups{};
  std::string data{};  // the records as stored, ids included
};

// Offsets of what BuildMdf wrote, for damaging the file afterwards.
struct BuiltMdf {
  MdfWriter writer{};
  uint32_t hd = 0;
  std::vector<uint32_t> dgs{}, cgs{}, cns{}, ccs{};  // in writing order; ccs: 0 where none
};

inline BuiltMdf BuildMdf(const std::vector<DgDef>& dgs, const IdSpec& id = {}, const std::string& hdComment = {}) {
  BuiltMdf b{MdfWriter(id)};
  MdfWriter& w = b.writer;
  b.hd = w.AddHd(HdSpec{});
  w.PatchU16(b.hd + hd::kDgCount, static_cast<uint16_t>(dgs.size()));
  if (!hdComment.empty()) w.SetLink(b.hd, hd::kComment, w.AddTx(hdComment));
  uint32_t previousDg = 0;
  for (const DgDef& d : dgs) {
    const uint32_t dg = w.AddDg(DgSpec{.cgCount = static_cast<uint16_t>(d.groups.size()), .recordIds = d.recordIds});
    b.dgs.push_back(dg);
    w.SetLink(previousDg ? previousDg : b.hd, previousDg ? dg::kNext : hd::kFirstDg, dg);
    previousDg = dg;
    uint32_t previousCg = 0;
    for (const CgDef& g : d.groups) {
      const uint32_t cg = w.AddCg(CgSpec{.recordId = g.recordId,
                                         .cnCount = static_cast<uint16_t>(g.channels.size()),
                                         .recordSize = g.recordSize,
                                         .recordCount = g.records});
      b.cgs.push_back(cg);
      w.SetLink(previousCg ? previousCg : dg, previousCg ? cg::kNext : dg::kFirstCg, cg);
      previousCg = cg;
      if (!g.comment.empty()) w.SetLink(cg, cg::kComment, w.AddTx(g.comment));
      uint32_t previousCn = 0;
      for (const ChannelSpec& c : g.channels) {
        const uint32_t cn = w.AddCn(c.cn);
        b.cns.push_back(cn);
        w.SetLink(previousCn ? previousCn : cg, previousCn ? cn::kNext : cg::kFirstCn, cn);
        previousCn = cn;
        uint32_t cc = 0;
        if (c.cc) w.SetLink(cn, cn::kConversion, cc = w.AddCc(*c.cc));
        b.ccs.push_back(cc);
        if (!c.comment.empty()) w.SetLink(cn, cn::kComment, w.AddTx(c.comment));
      }
    }
    if (!d.data.empty()) w.SetLink(dg, dg::kData, w.AddBytes(d.data));
  }
  return b;
}

// A sorted file of one group: its channels and its records (without ids).
inline BuiltMdf OneGroup(std::vector<ChannelSpec> channels, uint16_t recordSize, const std::vector<std::string>& records) {
  std::string data;
  for (const std::string& r : records) data += r;
  CgDef g{.recordSize = recordSize, .records = static_cast<uint32_t>(records.size()), .channels = std::move(channels)};
  return BuildMdf({DgDef{.groups = {g}, .data = data}});
}

inline CnSpec Channel(const std::string& name, uint16_t startBit, uint16_t bits, uint16_t dataType,
                      uint16_t channelType = 0) {
  CnSpec cn;
  cn.name = name;
  cn.startBit = startBit;
  cn.bits = bits;
  cn.dataType = dataType;
  cn.channelType = channelType;
  return cn;
}

// The error box of a status reported with an empty detail.
inline winport::ui::ExpectedDialog ErrorBox(dravo::MdfStatus status, const std::string& detail = "") {
  const char* text = dravo::MdfGetErrorText(status);
  winport::ui::ExpectedDialog box;
  box.text = text ? std::string(text) + " " + detail + "\n" : detail + " \n";
  box.caption = "DUD32-ERROR MESSAGE";
  return box;
}

// Starts the library for each test and ends it afterwards; a box that the
// test's script does not expect fails the test.
class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(dravo::MdfInitLibrary(nullptr), dravo::kMdfOk); }
  void TearDown() override {
    dravo::MdfExitLibrary();
    const dravo::LibraryCounts left = dravo::CurrentLibraryCounts();
    EXPECT_EQ(left.files + left.groups + left.channels + left.blocks, 0u);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }

  std::string Save(const BuiltMdf& b, const std::string& name = "file.mdf") {
    const std::string path = dir.File(name);
    b.writer.Save(path);
    return path;
  }
  std::string SaveBytes(const std::string& bytes, const std::string& name = "file.mdf") {
    const std::string path = dir.File(name);
    WriteFileBytes(path, bytes);
    return path;
  }

  // Opens a file in mode 0, expecting success.
  dravo::MdfFileRecord* OpenRead(const std::string& path) {
    dravo::MdfFileRecord* file = nullptr;
    EXPECT_EQ(dravo::MdfOpen(&file, path, nullptr, dravo::kMdfOpenRead), dravo::kMdfOk);
    return file;
  }

  // Every value of channel `number` of group `group`, read one by one.
  std::vector<double> ReadAll(dravo::MdfFileRecord* file, uint16_t group, uint16_t number) {
    std::vector<double> out;
    dravo::MdfGroupRecord* g = nullptr;
    dravo::MdfChannelRecord* c = nullptr;
    if (dravo::MdfOpenGroup(&g, file, group, dravo::kMdfOpenRead) != dravo::kMdfOk) return out;
    if (dravo::MdfOpenChannel(&c, g, number) == dravo::kMdfOk) {
      double v = 0;
      while (dravo::MdfGetValue(&v, c) == dravo::kMdfOk) out.push_back(v);
    }
    dravo::MdfCloseGroup(g);
    return out;
  }

  winport::ui::ScriptedAnswers script;
  TempDir dir;
};

}  // namespace dravotest
