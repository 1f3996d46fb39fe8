// The handle-based MDF library of the Dravo import module.
//
// Every entry returns a status (dravo/status.h) unless said otherwise and runs
// in the library's entry frame: the first negative status that is reported is
// recorded, and every later entry returns it at once until MdfInitLibrary.
// Handles are pointers to the library's records; out parameters are written
// only on success, and a null out parameter is skipped where an entry allows it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "dravo/records.h"
#include "dravo/status.h"

namespace dravo {

// ---- Library state ----

// Frees whatever is still open, resets the library and sets its use count to
// 1. At most 8 characters of `programId` (null: "DEDAZA") identify files the
// library creates.
MdfStatus MdfInitLibrary(const char* programId);
// Frees everything and sets the use count to 0.
MdfStatus MdfExitLibrary();
// Raises the use count (or initialises the library when it is 0).
MdfStatus MdfRetain();
// Releases what was made at the current use count and lowers it.
MdfStatus MdfRelease();
// Reports "Internal Error ..." with -2011, which locks the library for the
// rest of the process.
MdfStatus MdfInternalError(const char* text, int number);
// The recorded error (0 when none) and its message ("" when none).
MdfStatus MdfCheckInitialized();
std::string MdfGetLastErrorText();
// The sorter's buffer budget in bytes.
constexpr uint32_t MdfMemoryBudget() { return 0x80000; }
uint16_t MdfGetUseCount();
// The 8 characters of the program identifier (zero-padded).
std::string MdfGetProgramId();

// ---- Files ----

// Opens `name` in mode 0 (read), 1 (modify) or 2 (create). Reading every block
// of the file into memory. When the header has a comment, `*comment` receives
// its text; it stays untouched otherwise.
MdfStatus MdfOpen(MdfFileRecord** file, const std::string& name, std::string* comment, uint16_t mode);
MdfStatus MdfClose(MdfFileRecord* file);
MdfStatus MdfGetGroupCount(uint16_t* count, MdfFileRecord* file);
struct MdfHeaderInfo {
  std::string date, time, comment, author, organisation, project, subject;
};
// Each member of `info` is filled; the comment is "" without a TX block.
MdfStatus MdfGetHeaderInfo(MdfFileRecord* file, MdfHeaderInfo* info);
MdfStatus MdfGetHeaderDate(MdfFileRecord* file, std::string* date);
MdfStatus MdfGetHeaderTime(MdfFileRecord* file, std::string* time);
MdfStatus MdfGetHeaderComment(MdfFileRecord* file, std::string* comment);
MdfStatus MdfGetHeaderAuthor(MdfFileRecord* file, std::string* author);
MdfStatus MdfGetHeaderOrganisation(MdfFileRecord* file, std::string* organisation);
MdfStatus MdfGetHeaderProject(MdfFileRecord* file, std::string* project);
MdfStatus MdfGetHeaderSubject(MdfFileRecord* file, std::string* subject);
// Null texts are skipped. Written to the file at MdfClose.
MdfStatus MdfSetHeaderInfo(MdfFileRecord* file, const char* date, const char* time, const char* comment,
                           const char* author, const char* organisation, const char* project,
                           const char* subject);
MdfStatus MdfSetHeaderDate(MdfFileRecord* file, const char* date);
MdfStatus MdfSetHeaderTime(MdfFileRecord* file, const char* time);
MdfStatus MdfSetHeaderComment(MdfFileRecord* file, const char* comment);
MdfStatus MdfSetHeaderAuthor(MdfFileRecord* file, const char* author);
MdfStatus MdfSetHeaderOrganisation(MdfFileRecord* file, const char* organisation);
MdfStatus MdfSetHeaderProject(MdfFileRecord* file, const char* project);
MdfStatus MdfSetHeaderSubject(MdfFileRecord* file, const char* subject);
// 1010 when a data group holds more than one channel group, else 0.
MdfStatus MdfIsUnsorted(MdfFileRecord* file);
MdfStatus MdfCountAllChannels(uint32_t* total, MdfFileRecord* file);
// Opens the file at a use level of its own and answers 1010 when it must be
// sorted, 0 when not, or the open's status; the file is closed and the level
// released in every case.
MdfStatus MdfNeedsSorting(const std::string& name);
// Writes the sorted copy of `source` to `destination` (replaced when it
// exists): every channel group gets a data group and a contiguous data area
// of its own. 0 when the copy is complete; 5, creating nothing, when no data
// group holds more than one channel group; else the first failure's status
// (-2004 for records that do not match their channel groups or a copy beyond
// 32-bit positions, -2000 when writing fails). A partly written destination
// stays.
MdfStatus MdfSortFile(const std::string& source, const std::string& destination);

// ---- Groups and records ----

MdfStatus MdfOpenGroup(MdfGroupRecord** group, MdfFileRecord* file, uint16_t number, uint16_t mode);
MdfStatus MdfCloseGroup(MdfGroupRecord* group);
MdfStatus MdfGetChannelCount(uint16_t* count, MdfGroupRecord* group);
MdfStatus MdfGetRecordCount(uint32_t* count, MdfGroupRecord* group);
constexpr int kMdfSeekRelative = 16;
MdfStatus MdfSeekRecord(MdfGroupRecord* group, int32_t position, int mode);
// The current record's bytes (leading id, record, trailing id); returns the
// buffer's size rather than a status (0 when there is none).
size_t MdfGetRecordData(uint8_t** data, MdfGroupRecord* group);
MdfStatus MdfGetRecordNumber(uint32_t* number, MdfGroupRecord* group);
MdfStatus MdfFirstGroup(MdfGroupRecord** group, MdfFileRecord* file);
MdfStatus MdfNextGroup(MdfGroupRecord** group);
MdfStatus MdfWriteRecord(MdfGroupRecord* group);
MdfStatus MdfAppendRecord(MdfGroupRecord* group);

// ---- Conversions ----

// Without CC block 1004 (no box). `unit` receives the 20-character unit field
// up to its first zero, `parameters` the CC's bytes from its parameter area on.
MdfStatus MdfGetConversion(MdfChannelRecord* channel, uint16_t* type, std::string* unit,
                           std::span<const uint8_t>* parameters);
// Types 0 (2 parameters), 6 (6), 7 and 8 (7); missing parameters are 0.
MdfStatus MdfSetConversion(MdfChannelRecord* channel, uint16_t type, const std::string& unit,
                           std::span<const double> parameters);
MdfStatus MdfSetLinearConversion(MdfChannelRecord* channel, const std::string& unit, double p1, double p2);
MdfStatus MdfSetPolynomialConversion(MdfChannelRecord* channel, const std::string& unit,
                                     std::span<const double, 6> p);
MdfStatus MdfSetExponentialConversion(MdfChannelRecord* channel, const std::string& unit,
                                      std::span<const double, 7> p);
MdfStatus MdfSetLogarithmicConversion(MdfChannelRecord* channel, const std::string& unit,
                                      std::span<const double, 7> p);

// ---- Channels and values ----

MdfStatus MdfOpenChannel(MdfChannelRecord** channel, MdfGroupRecord* group, uint16_t number);
MdfStatus MdfOpenTimeChannel(MdfChannelRecord** channel, MdfGroupRecord* group);
MdfStatus MdfOpenChannelByType(MdfChannelRecord** channel, MdfGroupRecord* group, uint16_t channelType);
MdfStatus MdfOpenChannelByName(MdfChannelRecord** channel, MdfGroupRecord* group, const std::string& name);
MdfStatus MdfCloseChannel(MdfChannelRecord* channel);
struct MdfChannelInfo {
  uint16_t channelType = 0, bits = 0, dataType = 0;
  std::string name, description, comment;
};
MdfStatus MdfGetChannelInfo(MdfChannelRecord* channel, MdfChannelInfo* info);
MdfStatus MdfGetChannelType(MdfChannelRecord* channel, uint16_t* type);
MdfStatus MdfGetChannelBits(MdfChannelRecord* channel, uint16_t* bits);
MdfStatus MdfGetChannelDataType(MdfChannelRecord* channel, uint16_t* dataType);
MdfStatus MdfGetChannelName(MdfChannelRecord* channel, std::string* name);
MdfStatus MdfGetChannelDescription(MdfChannelRecord* channel, std::string* description);
MdfStatus MdfGetChannelComment(MdfChannelRecord* channel, std::string* comment);
// Whether the channel's values can be read: 0, or -1008 (not reported) with
// `*problem` saying why not. Data types 0 to 6 of 1 to 64 bits (floats of 32
// or 64, VAX F of 32, VAX G and D of 64) lying wholly in the record can, and
// data type 7, whose records hold pause comments or no value.
MdfStatus MdfCheckChannelValues(MdfChannelRecord* channel, MdfValueProblem* problem);
// One value of the channel. The first read of a channel takes the record the
// group stands on; every later one moves the group one record on first. A
// channel whose values cannot be read gives -1008 (not reported) and leaves
// the group where it is; a record of a string channel whose text is no pause
// comment gives NaN.
MdfStatus MdfGetValue(double* value, MdfChannelRecord* channel);
// MdfGetValue of each channel in turn, in one entry: values[i] of
// channels[i]; the first failure ends it and is its status.
MdfStatus MdfGetValues(double* values, MdfChannelRecord* const* channels, size_t count);
// The field's lowest 32 bits, in the field's byte order; for a string channel
// the pause time, 0 where the text is no pause comment. -1008 for a field of
// no bits, of more than 64 or not wholly in the record.
MdfStatus MdfReadRawValue(uint32_t* raw, MdfChannelRecord* channel);
// MdfGetValue without the conversion.
MdfStatus MdfReadChannelValue(double* value, MdfChannelRecord* channel);
MdfStatus MdfFirstChannel(MdfGroupRecord* group, MdfChannelRecord** channel);
MdfStatus MdfNextChannel(MdfChannelRecord** channel);

MdfStatus MdfCreateChannel(MdfChannelRecord** channel, MdfGroupRecord* group, uint16_t channelType,
                           uint16_t bits, uint16_t dataType, const std::string& name);
MdfStatus MdfCopyChannel(MdfChannelRecord** channel, MdfGroupRecord* group, MdfChannelRecord* source);
// Null texts are skipped; an empty comment removes the CN's comment.
MdfStatus MdfSetChannelInfo(MdfChannelRecord* channel, const char* name, const char* description,
                            const char* comment);
MdfStatus MdfSetChannelName(MdfChannelRecord* channel, const char* name);
MdfStatus MdfSetChannelDescription(MdfChannelRecord* channel, const char* description);
MdfStatus MdfSetChannelComment(MdfChannelRecord* channel, const char* comment);
// Writing stores into the field in its byte order. -1008 where the field's
// bits cannot be read (raw) or no number can be stored in it (the others:
// only integers, IEEE floats and VAX F take one).
MdfStatus MdfWriteRawValue(MdfChannelRecord* channel, uint32_t raw);
MdfStatus MdfWriteChannelValue(MdfChannelRecord* channel, double value);
MdfStatus MdfWriteValue(MdfChannelRecord* channel, double value);

// Seconds since 1970 plus the library's zone offset of 28800 s and its
// daylight-saving hour, of a date and time as a pause comment gives them;
// 0 for a month outside 1 to 12.
uint32_t MdfDateTimeToSeconds(int day, int month, int year, int hour, int minute, int second);

}  // namespace dravo
