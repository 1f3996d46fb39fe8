#include "dravo/library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dravo/internal.h"
#include "dravo/mdflib.h"
#include "dravo/records.h"

namespace dravo {

namespace {

constexpr char kDefaultProgramId[] = "DEDAZA";

void SetProgramId(LibraryState& lib, const char* id) {
  lib.programId.fill(0);
  const char* text = id ? id : kDefaultProgramId;
  std::memcpy(lib.programId.data(), text, strnlen(text, lib.programId.size()));
}

}  // namespace

LibraryState::LibraryState() { SetProgramId(*this, nullptr); }
LibraryState::~LibraryState() = default;

LibraryState& Lib() {
  static LibraryState state;
  return state;
}

void ShowLocked() { MdfShowError("Further use of Library prohibited!\n"); }

void ReleaseLevel(uint32_t level) {
  LibraryState& lib = Lib();
  std::vector<MdfFileRecord*> closing;
  for (const auto& file : lib.files)
    if (file->level >= level) closing.push_back(file.get());
  for (MdfFileRecord* file : closing) CloseFile(file);
  lib.blocks.Release(level);
}

LibraryCounts CurrentLibraryCounts() {
  const LibraryState& lib = Lib();
  LibraryCounts counts;
  counts.files = lib.files.size();
  for (const auto& file : lib.files) {
    counts.groups += file->groups.size();
    for (const auto& group : file->groups) counts.channels += group->channels.size();
  }
  counts.blocks = lib.blocks.Count();
  return counts;
}

MdfStatus MdfInitLibrary(const char* programId) {
  return RunEntry(EntryKind::Unchecked, [&] {
    LibraryState& lib = Lib();
    // Whatever is still open goes first: the library starts from nothing.
    ReleaseLevel(0);
    lib.recordedError = 0;
    lib.recordedErrorText.clear();
    lib.openModeFlags = 0;
    lib.streamBufferSize = 4096;
    SetProgramId(lib, programId);
    lib.useCount = 1;
    return kMdfOk;
  });
}

MdfStatus MdfExitLibrary() {
  return RunEntry(EntryKind::Unchecked, [] {
    LibraryState& lib = Lib();
    if (lib.useCount != 0) {
      ReleaseLevel(1);
      lib.useCount = 0;
    }
    return kMdfOk;
  });
}

MdfStatus MdfRetain() {
  if (Lib().useCount == 0) return MdfInitLibrary(nullptr);
  return RunEntry(EntryKind::Unchecked, [] {
    ++Lib().useCount;
    return kMdfOk;
  });
}

MdfStatus MdfRelease() {
  const uint16_t count = Lib().useCount;
  if (count == 1) return MdfExitLibrary();
  return RunEntry(EntryKind::Unchecked, [count] {
    if (count > 1) {
      ReleaseLevel(count);
      --Lib().useCount;
    }
    return kMdfOk;
  });
}

MdfStatus MdfInternalError(const char* text, int number) {
  LibraryState& lib = Lib();
  char message[256];
  std::snprintf(message, sizeof message, "Internal Error %u-%s-%d\n", unsigned{lib.useCount}, text ? text : "",
                number);
  MdfReportError(kMdfErrFatal, message);
  lib.callStatus = kMdfErrFatal;
  if (lib.frameDepth == 0) ShowLocked();
  return kMdfErrFatal;
}

MdfStatus MdfCheckInitialized() { return Lib().recordedError; }

std::string MdfGetLastErrorText() { return Lib().recordedError != 0 ? Lib().recordedErrorText : std::string(); }

uint16_t MdfGetUseCount() { return Lib().useCount; }

std::string MdfGetProgramId() { return std::string(Lib().programId.data(), Lib().programId.size()); }

}  // namespace dravo
