// The library's global state and the frame around every public entry.
//
// The frame carries statuses by return: every internal step returns its
// status and its caller passes a non-zero one on, so an error deep inside
// leaves through the outermost entry with the first non-zero status while
// every destructor and cleanup on the way still runs. A negative status that
// MdfReportError shows is recorded; every later entry returns it without
// doing its work, until MdfInitLibrary.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dravo/blocks.h"
#include "dravo/status.h"

namespace dravo {

struct MdfFileRecord;

struct LibraryState {
  LibraryState();
  ~LibraryState();

  MdfStatus callStatus = 0;  // status of the entry that runs or ran last
  int frameDepth = 0;        // entries running
  MdfStatus recordedError = 0;
  std::string recordedErrorText;
  uint16_t useCount = 0;
  std::array<char, 8> programId{};  // no terminator when all 8 are used
  uint16_t openModeFlags = 0;
  uint16_t streamBufferSize = 4096;
  int quietReports = 0;  // reports are recorded but not shown while non-zero
  std::vector<std::unique_ptr<MdfFileRecord>> files;
  BlockStore blocks;
};

LibraryState& Lib();

// How an entry treats a recorded error.
enum class EntryKind {
  Checked,    // returns the recorded error without doing its work
  Unchecked,  // does its work regardless: MdfInitLibrary, MdfExitLibrary, MdfRetain, MdfRelease
  Closing,    // releases what it closes, then returns the recorded error
};

void ShowLocked();

// Runs `work` (returning MdfStatus) inside the entry frame.
template <class Work>
MdfStatus RunEntry(EntryKind kind, Work&& work) {
  LibraryState& lib = Lib();
  if (lib.callStatus == kMdfErrFatal) {
    if (lib.frameDepth == 0) ShowLocked();
    return kMdfErrFatal;
  }
  const MdfStatus recorded = lib.recordedError;
  MdfStatus status = recorded;
  if (kind != EntryKind::Checked || recorded == 0) {
    ++lib.frameDepth;
    try {
      status = work();
    } catch (const std::bad_alloc&) {
      status = MdfReportError(kMdfErrOutOfMemory);
    }
    --lib.frameDepth;
    if (kind == EntryKind::Closing && recorded != 0) status = recorded;
  }
  if (lib.callStatus != kMdfErrFatal) lib.callStatus = status;
  if (lib.callStatus == kMdfErrFatal) {
    if (lib.frameDepth == 0) ShowLocked();
    return kMdfErrFatal;
  }
  return status;
}

// While it lives, MdfReportError records but shows nothing: for callers that
// show one box of their own for the whole operation.
class QuietReports {
 public:
  QuietReports() { ++Lib().quietReports; }
  ~QuietReports() { --Lib().quietReports; }
  QuietReports(const QuietReports&) = delete;
  QuietReports& operator=(const QuietReports&) = delete;
};

// Closes every file made at `level` or above and frees every block made there.
void ReleaseLevel(uint32_t level);

// Counts of what the library holds, for tests of its releases.
struct LibraryCounts {
  size_t files = 0, groups = 0, channels = 0, blocks = 0;
};
LibraryCounts CurrentLibraryCounts();

}  // namespace dravo
