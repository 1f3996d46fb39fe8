// Loading a MAT-file into an import: the layout is recognised from the
// file's first variables and loaded by its own loader (channel struct, X/Y,
// test bench). Each loader fills the signal list and the data block of the
// import and, for the test bench, the comments.
#pragma once

#include <optional>
#include <string>

#include "quenvo/mat_access.h"
#include "quenvo/naming.h"
#include "quenvo/records.h"

namespace quenvo {

enum class LoadStatus {
  Ok,
  OpenFailed,        // not a MAT-file that the library opens
  NoVariable,        // the file holds no variable
  CloseFailed,
  InvalidStructure,  // the file ended while the leading texts were read
  OutOfMemory,       // the channel struct's data block
  // The record layouts' message codes.
  CannotOpen = 201,
  UnexpectedType = 202,
  NotEnoughMemory = 203,
  UnknownError,
};

// What one load fills.
struct LoadTarget {
  ImportedFile& data;
  ImportComments& comments;
  const NamingOptions& naming;
};

// Steps over a leading char variable "ZEITSTEMPEL" and then a char variable
// "KOMMENTAR" (names in any case), whose text goes to *comment. Returns the
// variable at hand, null when the file ended.
const mxArray* SkipLeadingTexts(MatFile& file, const mxArray* first, std::string* comment);

// Sets an empty data space with blocks of 1024 bytes, recognises the layout and loads it.
LoadStatus LoadMatFile(const std::string& path, LoadTarget target);
// The test-bench layout: a first variable "Ergebnis"; opens the file itself.
LoadStatus LoadErgebnisLayout(const std::string& path, LoadTarget target);
// The X/Y layout from the struct `v` of the open file; closes the file.
LoadStatus LoadXYLayout(MatFile& file, const mxArray* v, LoadTarget target);
// The channel-struct layout from the struct `channels` of the open file; closes the file.
LoadStatus LoadChannelStruct(MatFile& file, const mxArray* channels, LoadTarget target);

// Time axis of a channel from its n >= 1 values t: XMin, XOffset, XMax, the
// mean step as XFactor, MinDelta, MaxDelta, XUnit "s". True (and IsUniDir
// set) when the steps differ by 0.0001 at the most.
bool AnalyseTimeAxis(SignalRecord& record, const double* t, size_t n);

// The message box a failed load shows: its caption, text and icon; none for
// the failures that show none.
struct LoadMessage {
  std::string caption;
  std::string text;  // ANSI
  unsigned icon = 0;
};
std::optional<LoadMessage> MessageFor(LoadStatus status, const std::string& path);
// The box a successful load shows when channels got fewer values than the
// layout gives the others; none when all have them.
std::optional<LoadMessage> ShortfallMessage(const ImportedFile& data, const std::string& path);

}  // namespace quenvo
