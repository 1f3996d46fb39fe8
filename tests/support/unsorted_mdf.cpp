#include "tests/support/unsorted_mdf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace testsupport {

namespace {

uint16_t U16At(const std::string& f, uint64_t at) {
  return at + 2 <= f.size() ? static_cast<uint16_t>(static_cast<uint8_t>(f[at]) | (static_cast<uint8_t>(f[at + 1]) << 8))
                            : 0;
}
uint32_t U32At(const std::string& f, uint64_t at) {
  return at + 4 <= f.size() ? static_cast<uint32_t>(U16At(f, at)) | (static_cast<uint32_t>(U16At(f, at + 2)) << 16) : 0;
}

// The record body of record r of a group, its channels laid out by LayOutChannels.
std::string RecordBody(const GroupDef& g, const std::vector<CnSpec>& cns, uint16_t size, uint32_t r) {
  Record rec(size);
  for (size_t i = 0; i < cns.size(); ++i) {
    const ChannelDef& c = g.channels[i];
    if (c.text) rec.Put(cns[i], c.text(r));
    else if (c.value) rec.Put(cns[i], c.value(r));
  }
  std::string body = rec.Bytes();
  body.resize(size, '\0');
  return body;
}

}  // namespace

std::string EscapedProgramData(uint32_t length) {
  std::string data(length - 4, '\0');
  for (size_t i = 20; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + (i >> 8));
  std::memcpy(data.data(), LeBytes(length, 4).data(), 4);
  std::memcpy(data.data() + 4, "SpecialJobData", 14);
  return data;
}

BuiltUnsorted BuildUnsortedFile(const UnsortedDef& def) {
  BuiltUnsorted b{MdfWriter(def.id)};
  MdfWriter& w = b.writer;
  HdSpec hdSpec = def.hd;
  hdSpec.firstDg = hdSpec.comment = hdSpec.program = 0;
  hdSpec.dgCount = 1;
  b.hd = w.AddHd(hdSpec);
  if (!def.fileComment.empty()) w.SetLink(b.hd, hd::kComment, w.AddTx(def.fileComment));
  if (def.programData) {
    b.program = def.escapedProgram ? w.AddPrWithLength(*def.programData, pr::kEscapeLength) : w.AddPr(*def.programData);
    w.SetLink(b.hd, hd::kProgram, b.program);
  }
  b.dg = w.AddDg(DgSpec{.cgCount = static_cast<uint16_t>(def.groups.size()), .recordIds = def.recordIds});
  w.SetLink(b.hd, hd::kFirstDg, b.dg);
  if (def.triggerComment) {
    b.trigger = w.AddBytes(LeBytes('T', 1) + LeBytes('R', 1) + LeBytes(34u + 24u * def.triggers, 2) +
                           std::string(30 + 24 * def.triggers, '\0'));
    w.PatchU16(b.trigger + 8, def.triggers);
    for (uint16_t i = 0; i < def.triggers; ++i) w.PatchF64(b.trigger + 10 + 24 * i, 0.5 * (i + 1));
    w.SetLink(b.trigger, 4, w.AddTx(*def.triggerComment));
    w.SetLink(b.dg, dg::kTrigger, b.trigger);
  }

  std::vector<std::vector<CnSpec>> layouts;
  for (const GroupDef& g : def.groups) {
    BuiltGroup bg;
    std::vector<CnSpec> cns = LayOutChannels(g, &bg.recordSize);
    bg.dg = b.dg;
    bg.cg = w.AddCg(CgSpec{.recordId = g.recordId,
                           .cnCount = static_cast<uint16_t>(g.channels.size()),
                           .recordSize = bg.recordSize,
                           .recordCount = g.records,
                           .blockLength = static_cast<uint16_t>(def.sampleReduction ? 30 : 0)});
    w.SetLink(b.groups.empty() ? b.dg : b.groups.back().cg, b.groups.empty() ? dg::kFirstCg : cg::kNext, bg.cg);
    if (!g.comment.empty()) w.SetLink(bg.cg, cg::kComment, w.AddTx(g.comment));
    if (def.sampleReduction) w.SetLink(bg.cg, 26, w.AddBytes("SR" + LeBytes(24, 2) + std::string(20, '\0')));
    AddChannels(w, g, cns, &bg);
    layouts.push_back(std::move(cns));
    b.groups.push_back(std::move(bg));
  }

  for (const DependencyDef& d : def.dependencies) {
    std::string cd = "CD" + LeBytes(8 + 12 * d.on.size(), 2) + LeBytes(0, 2) + LeBytes(d.on.size(), 2);
    for (const auto& [g, c] : d.on) {
      const bool known = g < b.groups.size() && c < b.groups[g].cn.size();
      cd += LeBytes(known ? b.dg : 0, 4) + LeBytes(known ? b.groups[g].cg : 0, 4) +
            LeBytes(known ? b.groups[g].cn[c] : 0, 4);
    }
    w.SetLink(b.groups[d.group].cn[d.channel], cn::kDependency, w.AddBytes(cd));
  }

  // The records in the order asked, each led (and with two ids followed) by its group's id.
  std::vector<size_t> order = def.order;
  if (order.empty()) {
    std::vector<uint32_t> left;
    for (const GroupDef& g : def.groups) left.push_back(g.records);
    for (bool any = true; any;) {
      any = false;
      for (size_t g = 0; g < left.size(); ++g)
        if (left[g] > 0) {
          order.push_back(g);
          --left[g];
          any = true;
        }
    }
  }
  std::string data;
  std::vector<uint32_t> next(def.groups.size(), 0);
  b.records.assign(def.groups.size(), std::string());
  for (size_t g : order) {
    const std::string body = RecordBody(def.groups[g], layouts[g], b.groups[g].recordSize, next[g]++);
    b.records[g] += body;
    data += StoredRecord(body, static_cast<uint8_t>(def.groups[g].recordId), def.recordIds);
  }
  if (!data.empty()) {
    b.data = w.AddBytes(data);
    w.SetLink(b.dg, dg::kData, b.data);
  }
  for (BuiltGroup& bg : b.groups) bg.data = b.data;
  return b;
}

// ---- Streamed file ----

bool WriteUnsortedStream(const std::string& path, uint64_t bytes, uint64_t seed, StreamedUnsorted* out) {
  constexpr int kGroups = 4;
  // Each group takes about a quarter of the bytes.
  StreamedUnsorted result;
  result.records.resize(kGroups);
  for (int g = 0; g < kGroups; ++g)
    result.records[g] = static_cast<uint32_t>(bytes / kGroups / (kStreamRecordSizes[g] + 1u));

  MdfWriter w(IdSpec{.formatId = "3.00    ", .version = 300});
  const uint32_t hdPos = w.AddHd(HdSpec{});
  const uint32_t dgPos = w.AddDg(DgSpec{.cgCount = kGroups, .recordIds = 1});
  w.SetLink(hdPos, hd::kFirstDg, dgPos);
  w.PatchU16(hdPos + hd::kDgCount, 1);
  uint32_t previous = 0;
  for (int g = 0; g < kGroups; ++g) {
    const uint16_t size = kStreamRecordSizes[g];
    const uint32_t cg = w.AddCg(CgSpec{.recordId = static_cast<uint16_t>(g + 1),
                                       .cnCount = static_cast<uint16_t>(1 + (size - 8) / 4),
                                       .recordSize = size,
                                       .recordCount = result.records[g]});
    w.SetLink(previous ? previous : dgPos, previous ? cg::kNext : dg::kFirstCg, cg);
    previous = cg;
    CnSpec time{.channelType = 1, .name = "time" + std::to_string(g + 1), .bits = 64, .dataType = dt::kDouble};
    uint32_t cn = w.AddCn(time);
    w.SetLink(cg, cg::kFirstCn, cn);
    for (uint16_t k = 0; k < (size - 8) / 4; ++k) {
      std::string name = "w";  // appended piece by piece: g++ 12 warns wrongly on a + chain here
      name.append(std::to_string(g + 1)).append("_").append(std::to_string(k));
      CnSpec word{.name = name,
                  .startBit = static_cast<uint16_t>(64 + 32 * k),
                  .bits = 32,
                  .dataType = dt::kUInt};
      const uint32_t next = w.AddCn(word);
      w.SetLink(cn, cn::kNext, next);
      cn = next;
    }
  }
  w.SetLink(dgPos, dg::kData, w.Size());

  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  if (std::fwrite(w.Bytes().data(), 1, w.Size(), file.get()) != w.Size()) return false;
  // A record of group g at each step, drawn with the weight of its records left.
  std::mt19937_64 random(seed);
  std::vector<uint32_t> left = result.records;
  std::vector<uint32_t> written(kGroups, 0);
  uint64_t remaining = 0;
  for (uint32_t n : left) remaining += n;
  std::vector<uint8_t> buffer;
  buffer.reserve(size_t{1} << 20);
  uint64_t total = w.Size();
  for (; remaining > 0; --remaining) {
    uint64_t pick = random() % remaining;
    int g = 0;
    while (pick >= left[g]) pick -= left[g++];
    --left[g];
    const uint32_t r = written[g]++;
    const uint16_t size = kStreamRecordSizes[g];
    uint8_t record[1 + 64];
    record[0] = static_cast<uint8_t>(g + 1);
    const double t = r / 1000.0;
    std::memcpy(record + 1, &t, 8);
    for (uint32_t k = 0; k < (size - 8u) / 4u; ++k) {
      const uint32_t v = UnsortedStreamWord(static_cast<uint32_t>(g), r, k);
      for (int i = 0; i < 4; ++i) record[1 + 8 + 4 * k + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    buffer.insert(buffer.end(), record, record + 1 + size);
    if (buffer.size() >= (size_t{1} << 20) - 65) {
      if (std::fwrite(buffer.data(), 1, buffer.size(), file.get()) != buffer.size()) return false;
      total += buffer.size();
      buffer.clear();
    }
  }
  if (std::fwrite(buffer.data(), 1, buffer.size(), file.get()) != buffer.size()) return false;
  total += buffer.size();
  if (std::fclose(file.release()) != 0) return false;
  result.fileBytes = total;
  if (out) *out = std::move(result);
  return true;
}

// ---- Walks ----

std::vector<WalkedGroup> WalkRecordsById(const std::string& f, std::string* error) {
  std::vector<WalkedGroup> groups;
  error->clear();
  auto fail = [&](const std::string& why) {
    *error = why;
    return std::vector<WalkedGroup>();
  };
  std::set<uint32_t> seen;
  size_t dgIndex = 0;
  for (uint32_t dg = U32At(f, 64 + hd::kFirstDg); dg != 0; dg = U32At(f, dg + dg::kNext), ++dgIndex) {
    if (!seen.insert(dg).second || dg >= f.size()) return fail("DG chain");
    const size_t first = groups.size();
    for (uint32_t cg = U32At(f, dg + dg::kFirstCg); cg != 0; cg = U32At(f, cg + cg::kNext)) {
      if (!seen.insert(cg).second || cg >= f.size()) return fail("CG chain");
      groups.push_back(WalkedGroup{dgIndex, U16At(f, cg + cg::kRecordId), U16At(f, cg + cg::kRecordSize),
                                   U32At(f, cg + cg::kRecordCount), U32At(f, dg + dg::kData), {}});
    }
    const uint16_t ids = U16At(f, dg + dg::kRecordIds);
    const size_t count = groups.size() - first;
    if (ids > 2 || (count > 1 && ids == 0)) return fail("record ids");
    uint64_t records = 0;
    for (size_t i = first; i < groups.size(); ++i) records += groups[i].recordCount;
    uint64_t at = U32At(f, dg + dg::kData);
    std::vector<uint32_t> got(count, 0);
    for (uint64_t r = 0; r < records; ++r) {
      size_t g = first;
      if (ids > 0) {
        if (at >= f.size()) return fail("data past the end");
        const uint8_t id = static_cast<uint8_t>(f[at]);
        while (g < groups.size() && groups[g].recordId != id) ++g;
        if (g == groups.size()) return fail("unknown record id " + std::to_string(id));
        ++at;
      }
      if (++got[g - first] > groups[g].recordCount) return fail("record beyond its group's count");
      const uint64_t length = groups[g].recordSize + (ids == 2 ? 1 : 0);
      if (at > f.size() || length > f.size() - at) return fail("data past the end");
      groups[g].records.append(f, at, groups[g].recordSize);
      if (ids == 2 && static_cast<uint8_t>(f[at + groups[g].recordSize]) != groups[g].recordId)
        return fail("trailing id");
      at += length;
    }
  }
  return groups;
}

std::vector<std::string> CheckLinks(const std::string& f) {
  std::vector<std::string> faults;
  std::map<uint32_t, std::string> kinds;  // every block reached, with its kind
  std::vector<uint32_t> todo;
  auto fault = [&](uint32_t from, const std::string& what) {
    faults.push_back("block at " + std::to_string(from) + ": " + what);
  };
  // A link field of the block at `from` that must be 0 or name a block of `kind`.
  auto link = [&](uint32_t from, uint32_t field, const std::string& kind) {
    const uint32_t target = U32At(f, uint64_t{from} + field);
    if (target == 0) return;
    const std::string where = "link at +" + std::to_string(field) + " to " + std::to_string(target) + " ";
    if (target > f.size() || f.size() - target < 4) return fault(from, where + "lies outside the file");
    if (f.compare(target, 2, kind) != 0) return fault(from, where + "is not a " + kind + " block");
    uint64_t length = U16At(f, target + 2);
    if (kind == "PR" && length == 0xFFFF && f.size() - target >= 8) length = U32At(f, target + 4);
    if (length < 4 || length > f.size() - target) return fault(from, where + "has a bad length");
    if (kinds.emplace(target, kind).second) todo.push_back(target);
  };
  if (f.size() < 64 + 4 || f.compare(64, 2, "HD") != 0) return {"no HD block at 64"};
  kinds.emplace(64, "HD");
  todo.push_back(64);
  while (!todo.empty()) {
    const uint32_t at = todo.back();
    todo.pop_back();
    const std::string kind = kinds[at];
    const uint16_t length = U16At(f, at + 2);
    if (kind == "HD") {
      link(at, hd::kFirstDg, "DG");
      link(at, hd::kComment, "TX");
      link(at, hd::kProgram, "PR");
    } else if (kind == "DG") {
      link(at, dg::kNext, "DG");
      link(at, dg::kFirstCg, "CG");
      link(at, dg::kTrigger, "TR");
      if (U32At(f, at + dg::kData) > f.size()) fault(at, "data link outside the file");
    } else if (kind == "CG") {
      link(at, cg::kNext, "CG");
      link(at, cg::kFirstCn, "CN");
      link(at, cg::kComment, "TX");
      if (length >= 30) link(at, 26, "SR");
    } else if (kind == "CN") {
      link(at, cn::kNext, "CN");
      link(at, cn::kConversion, "CC");
      link(at, cn::kExtension, "CE");
      link(at, cn::kDependency, "CD");
      link(at, cn::kComment, "TX");
      if (length >= cn::kLongName + 4) link(at, cn::kLongName, "TX");
      if (length >= cn::kDisplayName + 4) link(at, cn::kDisplayName, "TX");
    } else if (kind == "CC") {
      if (U16At(f, at + cc::kType) == 12)
        for (uint32_t i = 0; i < U16At(f, at + cc::kSize) && cc::RangeTextLink(i) + 4 <= length; ++i)
          link(at, cc::RangeTextLink(i), "TX");
    } else if (kind == "TR") {
      link(at, 4, "TX");
    } else if (kind == "CD") {
      for (uint32_t i = 0; i < U16At(f, at + 6) && 8 + 12 * i + 12 <= length; ++i) {
        link(at, 8 + 12 * i, "DG");
        link(at, 12 + 12 * i, "CG");
        link(at, 16 + 12 * i, "CN");
      }
    }
  }
  return faults;
}

}  // namespace testsupport
