// Opening, reading the block structure, closing, and the header's fields.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "dravo/internal.h"
#include "dravo/library.h"
#include "dravo/mdflib.h"
#include "dravo/vaxfloat.h"

namespace dravo {

namespace {

constexpr size_t kFileNameChars = 128;
constexpr size_t kMaxGroups = 0xFFFF;

// The least size of a block whose fields the library reads at fixed offsets:
// the fixed part every version of the format has.
uint32_t MinimumBlockSize(BlockKind kind) {
  switch (kind) {
    case BlockKind::Hd: return 164;
    case BlockKind::Dg: return 24;
    case BlockKind::Cg: return 26;
    case BlockKind::Cn: return 218;
    case BlockKind::Cc: return 46;
    case BlockKind::Tr: return 10;
    default: return layout::kHeadSize;
  }
}

// The block at `position` as a block of `kind` holding at least the kind's
// fixed fields; -2004 when it is anything else.
MdfStatus ReadRequired(MdfFileHandle& handle, uint32_t position, BlockKind kind, MdfBlock** out) {
  if (MdfStatus s = MdfReadBlock(handle, position, out)) return s;
  if (!*out || (*out)->kind != kind || (*out)->Size() < MinimumBlockSize(kind))
    return MdfReportError(kMdfErrFileFormat);
  return kMdfOk;
}

// A block that may be linked (position 0: none) and must then be of `kind`.
MdfStatus ReadOptional(MdfFileHandle& handle, uint32_t position, BlockKind kind, MdfBlock** out) {
  *out = nullptr;
  return position == 0 ? kMdfOk : ReadRequired(handle, position, kind, out);
}

// A comment whose block kind is not checked.
MdfStatus ReadComment(MdfFileHandle& handle, uint32_t position) {
  MdfBlock* ignored = nullptr;
  return MdfReadBlock(handle, position, &ignored);
}

// Converts the double at `offset` when the block holds it.
void ConvertField(FloatFormat format, MdfBlock& block, uint32_t offset) {
  if (format != FloatFormat::Ieee && offset <= block.Size() && block.Size() - offset >= 8)
    ConvertDouble(format, block.Data() + offset);
}

// Entries of a table that need more bytes than the block has mark a damaged block.
bool HoldsEntries(const MdfBlock& block, uint32_t first, uint32_t entrySize, uint32_t count) {
  return first <= block.Size() && uint64_t{entrySize} * count <= block.Size() - first;
}

MdfStatus ReadTrigger(MdfFileHandle& handle, uint32_t position, FloatFormat format) {
  MdfBlock* tr = nullptr;
  if (MdfStatus s = ReadOptional(handle, position, BlockKind::Tr, &tr)) return s;
  if (!tr || tr->walked) return kMdfOk;
  tr->walked = true;
  const uint16_t count = tr->U16(layout::tr::kCount);
  if (!HoldsEntries(*tr, layout::tr::kEntries, layout::tr::kEntrySize, count)) return MdfReportError(kMdfErrFileFormat);
  for (uint32_t i = 0; i < count; ++i)
    for (uint32_t k = 0; k < 3; ++k) ConvertField(format, *tr, layout::tr::kEntries + i * layout::tr::kEntrySize + 8 * k);
  return ReadComment(handle, tr->U32(layout::tr::kComment));
}

MdfStatus ReadConversion(MdfFileHandle& handle, uint32_t position, FloatFormat format) {
  MdfBlock* cc = nullptr;
  if (MdfStatus s = ReadOptional(handle, position, BlockKind::Cc, &cc)) return s;
  if (!cc || cc->walked) return kMdfOk;
  cc->walked = true;
  using namespace layout::cc;
  const uint16_t type = cc->U16(kType);
  const uint16_t n = cc->U16(kCount);
  // Tables must lie inside their block; the doubles converted are the real ones only.
  std::vector<uint32_t> doubles = {kMinPhys, kMaxPhys};
  uint32_t fixed = 0;
  switch (type) {
    case kConvLinear: fixed = 2; break;
    case kConvPolynomial:
    case kConvRational: fixed = 6; break;
    case kConvExponential:
    case kConvLogarithmic: fixed = 7; break;
    case kConvTableInterp:
    case kConvTable:
      if (!HoldsEntries(*cc, kParams, kPairSize, n)) return MdfReportError(kMdfErrFileFormat);
      fixed = 2u * n;
      break;
    case kConvTextTable:
      if (!HoldsEntries(*cc, kParams, kTextEntrySize, n)) return MdfReportError(kMdfErrFileFormat);
      for (uint32_t i = 0; i < n; ++i) doubles.push_back(kParams + i * kTextEntrySize);
      break;
    case kConvTextRange:
      if (!HoldsEntries(*cc, kParams, kRangeEntrySize, n)) return MdfReportError(kMdfErrFileFormat);
      for (uint32_t i = 0; i < n; ++i) {
        doubles.push_back(kParams + i * kRangeEntrySize);
        doubles.push_back(kParams + i * kRangeEntrySize + 8);
      }
      break;
    default: break;
  }
  if (format == FloatFormat::Ieee) return kMdfOk;
  for (uint32_t i = 0; i < fixed; ++i) doubles.push_back(kParams + 8 * i);
  for (uint32_t offset : doubles) ConvertField(format, *cc, offset);
  return kMdfOk;
}

MdfStatus ReadChannel(MdfFileHandle& handle, MdfBlock& cn, FloatFormat format) {
  for (uint32_t offset : {layout::cn::kMin, layout::cn::kMax, layout::cn::kSampleRate})
    ConvertField(format, cn, offset);
  if (MdfStatus s = ReadConversion(handle, cn.U32(layout::cn::kConversion), format)) return s;
  MdfBlock* ce = nullptr;
  if (MdfStatus s = ReadOptional(handle, cn.U32(layout::cn::kExtension), BlockKind::Ce, &ce)) return s;
  return ReadComment(handle, cn.U32(layout::cn::kComment));
}

// One link of a DG, CG or CN chain: the block must be of the chain's kind and
// must not have been walked before, which refuses cycles and shared chains.
MdfStatus ReadChainBlock(MdfFileHandle& handle, uint32_t position, BlockKind kind, MdfBlock** out) {
  if (MdfStatus s = ReadRequired(handle, position, kind, out)) return s;
  if ((*out)->walked) return MdfReportError(kMdfErrFileFormat);
  (*out)->walked = true;
  return kMdfOk;
}

MdfStatus ReadChannelGroup(MdfFileHandle& handle, MdfBlock& cg, FloatFormat format) {
  if (MdfStatus s = ReadComment(handle, cg.U32(layout::cg::kComment))) return s;
  for (uint32_t position = cg.U32(layout::cg::kFirstCn); position != 0;) {
    MdfBlock* cn = nullptr;
    if (MdfStatus s = ReadChainBlock(handle, position, BlockKind::Cn, &cn)) return s;
    if (MdfStatus s = ReadChannel(handle, *cn, format)) return s;
    position = cn->U32(layout::cn::kNext);
  }
  return kMdfOk;
}

MdfStatus ReadDataGroup(MdfFileHandle& handle, MdfBlock& dg, FloatFormat format) {
  if (MdfStatus s = ReadTrigger(handle, dg.U32(layout::dg::kTrigger), format)) return s;
  for (uint32_t position = dg.U32(layout::dg::kFirstCg); position != 0;) {
    MdfBlock* cg = nullptr;
    if (MdfStatus s = ReadChainBlock(handle, position, BlockKind::Cg, &cg)) return s;
    if (MdfStatus s = ReadChannelGroup(handle, *cg, format)) return s;
    position = cg->U32(layout::cg::kNext);
  }
  return kMdfOk;
}

void FillNewFileHeaders(MdfBlock& id, MdfBlock& hd) {
  using namespace layout;
  id.SetText(id::kFileId, 8, "MDF     ");
  id.SetText(id::kFormatId, 8, "2.00    ");
  id.SetText(id::kProgramId, 8, MdfGetProgramId());
  id.SetU16(id::kVersion, 200);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
  hd.SetText(hd::kDate, hd::kDateChars, text);
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  hd.SetText(hd::kTime, hd::kTimeChars, text);
  hd.SetText(hd::kAuthor, hd::kNameChars, "REV-Azozuri");
}

MdfStatus CreateStructure(MdfFileRecord& file) {
  if (MdfStatus s = MdfCreateBlock(BlockKind::Id, &file.id)) return s;
  if (MdfStatus s = MdfCreateBlock(BlockKind::Hd, &file.hd)) return s;
  FillNewFileHeaders(*file.id, *file.hd);
  if (MdfStatus s = MdfAppendBlock(*file.handle, file.id)) return s;
  return MdfAppendBlock(*file.handle, file.hd);
}

MdfStatus OpenFile(MdfFileRecord** out, const std::string& name, std::string* comment, uint16_t mode) {
  *out = nullptr;
  auto file = std::make_unique<MdfFileRecord>();
  file->level = Lib().useCount;
  file->name = name.substr(0, kFileNameChars);
  file->mode = mode;
  if (MdfStatus s = MdfOpenFileDefault(&file->handle, name, mode)) return s;
  if (mode == kMdfOpenCreate) {
    if (MdfStatus s = CreateStructure(*file)) return s;
  } else {
    // Positions are 32 bits wide: anything beyond them could not be addressed.
    if (file->handle->OpenedLength() > kMdfMaxPosition) return MdfReportError(kMdfErrFileFormat);
    if (MdfStatus s = MdfReadStructure(*file->handle, &file->id, &file->hd, comment, true)) return s;
    if (mode == kMdfOpenModify && file->id->U16(layout::id::kFloatFormat) != 0)
      return MdfReportError(kMdfErrFloatFormat);
    size_t groups = 0;
    const MdfStatus counted = WalkChain(*file->hd, layout::hd::kFirstDg, layout::dg::kNext, [&](MdfBlock& dg) {
      size_t count = 0;
      if (MdfStatus s = CountChannelGroups(dg, &count)) return s;
      groups += count;
      return groups > kMaxGroups ? MdfReportError(kMdfErrFileFormat) : kMdfOk;
    });
    if (counted) return counted;
    file->groupCount = groups;
  }
  *out = file.get();
  Lib().files.push_back(std::move(file));
  return kMdfOk;
}

// The header's comment text, "" without one.
MdfStatus HeaderComment(MdfFileRecord& file, std::string* text) {
  MdfBlock* tx = nullptr;
  if (MdfStatus s = MdfResolveLink(*file.hd, layout::hd::kComment, &tx)) return s;
  *text = tx ? tx->BodyText() : std::string();
  return kMdfOk;
}

}  // namespace

MdfStatus MdfReadStructure(MdfFileHandle& handle, MdfBlock** idOut, MdfBlock** hdOut, std::string* comment,
                           bool convert) {
  *idOut = nullptr;
  *hdOut = nullptr;
  MdfBlock* id = nullptr;
  if (MdfStatus s = MdfReadIdBlock(handle, &id)) return s;
  FloatFormat format = FloatFormat::Ieee;
  if (convert) {
    const uint16_t value = id->U16(layout::id::kFloatFormat);
    if (value > 2) return MdfReportError(kMdfErrFloatFormat);
    format = static_cast<FloatFormat>(value);
  }
  MdfBlock* hd = nullptr;
  if (MdfStatus s = ReadRequired(handle, layout::id::kSize, BlockKind::Hd, &hd)) return s;
  MdfBlock* pr = nullptr;
  if (MdfStatus s = ReadOptional(handle, hd->U32(layout::hd::kProgram), BlockKind::Pr, &pr)) return s;
  MdfBlock* tx = nullptr;
  if (MdfStatus s = ReadOptional(handle, hd->U32(layout::hd::kComment), BlockKind::Tx, &tx)) return s;
  if (tx && comment) *comment = tx->BodyText();
  for (uint32_t position = hd->U32(layout::hd::kFirstDg); position != 0;) {
    MdfBlock* dg = nullptr;
    if (MdfStatus s = ReadChainBlock(handle, position, BlockKind::Dg, &dg)) return s;
    if (MdfStatus s = ReadDataGroup(handle, *dg, format)) return s;
    position = dg->U32(layout::dg::kNext);
  }
  *idOut = id;
  *hdOut = hd;
  return kMdfOk;
}

MdfStatus CountChannelGroups(MdfBlock& dg, size_t* count) {
  *count = 0;
  return WalkChain(dg, layout::dg::kFirstCg, layout::cg::kNext, [count](MdfBlock&) {
    ++*count;
    return kMdfOk;
  });
}

MdfStatus CloseFile(MdfFileRecord* file) {
  LibraryState& lib = Lib();
  MdfStatus status = kMdfOk;
  while (!file->groups.empty()) {
    const MdfStatus s = CloseGroup(file->groups.front().get());
    if (status == kMdfOk) status = s;
  }
  if (status == kMdfOk && lib.recordedError == 0 && file->mode != kMdfOpenRead && file->handle) {
    MdfFileHandle& handle = *file->handle;
    MdfBlock* tx = nullptr;
    status = MdfSeekFile(handle, 0, kMdfSeekEnd);
    if (status == kMdfOk) status = MdfResolveLink(*file->hd, layout::hd::kComment, &tx);
    if (status == kMdfOk) status = MdfAppendBlock(handle, tx);
    if (status == kMdfOk) status = MdfUpdateLinkTo(*file->hd, layout::hd::kComment, tx);
    if (status == kMdfOk) status = MdfRewriteBlock(handle, file->hd);
  }
  MdfCloseFile(file->handle);
  std::erase_if(lib.files, [file](const auto& f) { return f.get() == file; });
  return status;
}

MdfStatus MdfOpen(MdfFileRecord** file, const std::string& name, std::string* comment, uint16_t mode) {
  if (file) *file = nullptr;
  return RunEntry(EntryKind::Checked, [&] {
    MdfFileRecord* opened = nullptr;
    const MdfStatus s = OpenFile(&opened, name, comment, mode);
    if (s == kMdfOk && file) *file = opened;
    return s;
  });
}

MdfStatus MdfClose(MdfFileRecord* file) {
  return RunEntry(EntryKind::Closing, [file] { return file ? CloseFile(file) : kMdfOk; });
}

MdfStatus MdfGetGroupCount(uint16_t* count, MdfFileRecord* file) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!file) return kMdfErrFileHandle;
    if (count) *count = static_cast<uint16_t>(file->groupCount);
    return kMdfOk;
  });
}

MdfStatus MdfGetHeaderInfo(MdfFileRecord* file, MdfHeaderInfo* info) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!file) return kMdfErrFileHandle;
    if (!info) return kMdfOk;
    using namespace layout::hd;
    const MdfBlock& hd = *file->hd;
    MdfHeaderInfo result;
    result.date = hd.Text(kDate, kDateChars);
    result.time = hd.Text(kTime, kTimeChars);
    if (MdfStatus s = HeaderComment(*file, &result.comment)) return s;
    result.author = hd.Text(kAuthor, kNameChars);
    result.organisation = hd.Text(kOrganisation, kNameChars);
    result.project = hd.Text(kProject, kNameChars);
    result.subject = hd.Text(kSubject, kNameChars);
    *info = std::move(result);
    return kMdfOk;
  });
}

namespace {

MdfStatus HeaderField(MdfFileRecord* file, std::string* out, std::string MdfHeaderInfo::*member) {
  MdfHeaderInfo info;
  const MdfStatus s = MdfGetHeaderInfo(file, &info);
  if (s == kMdfOk && out) *out = std::move(info.*member);
  return s;
}

}  // namespace

MdfStatus MdfGetHeaderDate(MdfFileRecord* f, std::string* v) { return HeaderField(f, v, &MdfHeaderInfo::date); }
MdfStatus MdfGetHeaderTime(MdfFileRecord* f, std::string* v) { return HeaderField(f, v, &MdfHeaderInfo::time); }
MdfStatus MdfGetHeaderComment(MdfFileRecord* f, std::string* v) { return HeaderField(f, v, &MdfHeaderInfo::comment); }
MdfStatus MdfGetHeaderAuthor(MdfFileRecord* f, std::string* v) { return HeaderField(f, v, &MdfHeaderInfo::author); }
MdfStatus MdfGetHeaderOrganisation(MdfFileRecord* f, std::string* v) {
  return HeaderField(f, v, &MdfHeaderInfo::organisation);
}
MdfStatus MdfGetHeaderProject(MdfFileRecord* f, std::string* v) { return HeaderField(f, v, &MdfHeaderInfo::project); }
MdfStatus MdfGetHeaderSubject(MdfFileRecord* f, std::string* v) { return HeaderField(f, v, &MdfHeaderInfo::subject); }

MdfStatus MdfSetHeaderInfo(MdfFileRecord* file, const char* date, const char* time, const char* comment,
                           const char* author, const char* organisation, const char* project,
                           const char* subject) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!file) return kMdfErrFileHandle;
    using namespace layout::hd;
    MdfBlock& hd = *file->hd;
    const std::pair<const char*, std::pair<uint32_t, uint32_t>> fields[] = {
        {date, {kDate, kDateChars}},           {time, {kTime, kTimeChars}},
        {author, {kAuthor, kNameChars}},       {organisation, {kOrganisation, kNameChars}},
        {project, {kProject, kNameChars}},     {subject, {kSubject, kNameChars}}};
    for (const auto& [text, field] : fields)
      if (text) hd.SetText(field.first, field.second, text);
    if (!comment) return kMdfOk;
    MdfBlock* tx = nullptr;
    const std::string text = comment;
    if (!text.empty())
      if (MdfStatus s = MdfCreateTextBlock(&tx, text.size(), text)) return s;
    return MdfSetLink(hd, kComment, 0, tx);
  });
}

MdfStatus MdfSetHeaderDate(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, v, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}
MdfStatus MdfSetHeaderTime(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, nullptr, v, nullptr, nullptr, nullptr, nullptr, nullptr);
}
MdfStatus MdfSetHeaderComment(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, nullptr, nullptr, v, nullptr, nullptr, nullptr, nullptr);
}
MdfStatus MdfSetHeaderAuthor(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, nullptr, nullptr, nullptr, v, nullptr, nullptr, nullptr);
}
MdfStatus MdfSetHeaderOrganisation(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, nullptr, nullptr, nullptr, nullptr, v, nullptr, nullptr);
}
MdfStatus MdfSetHeaderProject(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, nullptr, nullptr, nullptr, nullptr, nullptr, v, nullptr);
}
MdfStatus MdfSetHeaderSubject(MdfFileRecord* f, const char* v) {
  return MdfSetHeaderInfo(f, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, v);
}

MdfStatus MdfIsUnsorted(MdfFileRecord* file) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!file) return kMdfErrFileHandle;
    return WalkChain(*file->hd, layout::hd::kFirstDg, layout::dg::kNext, [](MdfBlock& dg) {
      size_t count = 0;
      if (MdfStatus s = CountChannelGroups(dg, &count)) return s;
      return count > 1 ? kMdfMustSort : kMdfOk;
    });
  });
}

MdfStatus MdfNeedsSorting(const std::string& name) {
  return RunEntry(EntryKind::Checked, [&] {
    MdfRetain();
    MdfFileRecord* file = nullptr;
    MdfStatus status = MdfOpen(&file, name, nullptr, kMdfOpenRead);
    if (status == kMdfOk) status = MdfIsUnsorted(file);
    const MdfStatus closed = MdfClose(file);
    MdfRelease();
    return status != kMdfOk ? status : closed;
  });
}

}  // namespace dravo
