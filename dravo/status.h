// Status codes of the MDF library: 0 success, negative an error, positive a
// warning or an answer. Every entry of the library returns one of them.
#pragma once

#include <cstdint>
#include <string>

namespace dravo {

using MdfStatus = int16_t;

// Errors.
constexpr MdfStatus kMdfErrFloatFormat = -2012;    // "incompatible float format, no modify"
constexpr MdfStatus kMdfErrFatal = -2011;          // "fatal error": the library is locked
constexpr MdfStatus kMdfErrNodeNotFound = -2010;   // a record is not on its list
constexpr MdfStatus kMdfErrUnknownLink = -2009;    // a link field without link record
constexpr MdfStatus kMdfErrUnknownBlock = -2008;   // no block at a link's position
constexpr MdfStatus kMdfErrOutOfMemory = -2007;
constexpr MdfStatus kMdfErrFileFormat = -2004;
constexpr MdfStatus kMdfErrSeek = -2002;           // "could not locate pos in file"
constexpr MdfStatus kMdfErrRead = -2001;
constexpr MdfStatus kMdfErrWrite = -2000;
constexpr MdfStatus kMdfErrGroupCreate = -1009;    // two groups created at once
constexpr MdfStatus kMdfErrValueType = -1008;
constexpr MdfStatus kMdfErrChannelBits = -1007;
constexpr MdfStatus kMdfErrChannelType = -1006;
constexpr MdfStatus kMdfErrSeekMode = -1005;
constexpr MdfStatus kMdfErrGroupMode = -1004;
constexpr MdfStatus kMdfErrChannelHandle = -1003;
constexpr MdfStatus kMdfErrGroupHandle = -1002;
constexpr MdfStatus kMdfErrFileHandle = -1001;
constexpr MdfStatus kMdfErrNotInitialized = -1000;

constexpr MdfStatus kMdfOk = 0;

// Answers and warnings.
constexpr MdfStatus kMdfNoRecord = 1;          // before the first or at or past the last record
constexpr MdfStatus kMdfNameNotFound = 3;      // no channel of that name
constexpr MdfStatus kMdfNoFurtherChannel = 4;
constexpr MdfStatus kMdfNothingToSort = 5;
constexpr MdfStatus kMdfNoFurtherGroup = 7;
constexpr MdfStatus kMdfCannotOpenFile = 1000;
constexpr MdfStatus kMdfGroupNotFound = 1001;
constexpr MdfStatus kMdfChannelNotFound = 1002;
constexpr MdfStatus kMdfNoTimeChannel = 1003;
constexpr MdfStatus kMdfNoFormula = 1004;
constexpr MdfStatus kMdfUnknownFormulaType = 1005;
constexpr MdfStatus kMdfNoTriggerInfo = 1006;
constexpr MdfStatus kMdfTimeChannelNotFound = 1008;
constexpr MdfStatus kMdfMustSort = 1010;
constexpr MdfStatus kMdfNotATable = 1011;

// The status's text; "" for 0 and null for a status without text.
const char* MdfGetErrorText(MdfStatus status);

// Shows "<text> <detail>\n" (or "<detail> \n" for a status without text) in
// an error box, records the first negative status since the library was
// initialised with the message's first 128 characters, and returns `status`.
MdfStatus MdfReportError(MdfStatus status, const std::string& detail = {});

// Boxes with the library's captions "DUD32-ERROR MESSAGE" and "DUD32-MESSAGE".
void MdfShowError(const std::string& text);
void MdfShowMessage(const std::string& text);

}  // namespace dravo
