// The import contract in its newest form: the members of the file-import,
// signal and scalar interfaces in vtable order with their dispatch ids and
// types. Every module implements a prefix of each table under interface and
// class ids of its own; the help strings are "method <name>" and
// "property <name>".
#pragma once

#include <cstddef>

#include "platform/com/server/server.h"

namespace importcore::contract {

using comserver::Get;
using comserver::Member;
using comserver::Method;
using comserver::Put;

// IZPFileImport: 28 members; dispatch ids 0xa and 0xe are not used.
inline constexpr Member kFileImportMembers[] = {
    Method("Open", 1),
    Method("Seek", 2, {{"lPos", VT_I4}, {"origin", VT_I4}}),
    Method("Read", 3, {{"pBuffer", VT_BYREF | VT_UNKNOWN}, {"dwBytes", VT_UI4}}),
    Method("Close", 4),
    Method("ImportFile", 5, {{"strFileName", VT_BSTR}, {"strUser", VT_BSTR}}),
    Method("ReleaseFile", 6),
    Get("nSignals", 7, VT_I4),
    Get("Signal", 8, VT_DISPATCH, {{"idx", VT_I4}}),
    Get("IsValid", 9, VT_I4, {{"strFileName", VT_BSTR}}),
    Get("FileDate", 0xb, VT_I4),
    Get("BlockSize", 0xc, VT_I4),
    Get("DataSize", 0xd, VT_I4),
    Get("NoOfComments", 0xf, VT_I4),
    Get("FileComment", 0x10, VT_BSTR, {{"iIndex", VT_I4}}),
    Get("nFiles", 0x11, VT_I4),
    Get("Name", 0x12, VT_BSTR, {{"iIndex", VT_I4}}),
    Get("Version", 0x13, VT_I4),
    Get("nScalars", 0x14, VT_I4),
    Get("Scalar", 0x15, VT_DISPATCH, {{"idx", VT_I4}}),
    Get("CommentName", 0x16, VT_BSTR, {{"lIndex", VT_I4}}),
    Get("FileInfo", 0x17, VT_I4, {{"iSubFile", VT_I4}}),
    Get("ParSize", 0x18, VT_I4),
    Get("Parameters", 0x19, VT_I8),  // an address: pointer-sized
    Put("Parameters", 0x19, VT_I8),
    Get("DaffExists", 0x1a, VT_BSTR, {{"strFileName", VT_BSTR}}),
    Method("ReadEx", 0x1b,
           {{"pBuffer", VT_BYREF | VT_UNKNOWN},
            {"dwBytes", VT_UI4},
            {"pTimeBuffer", VT_BYREF | VT_UNKNOWN},
            {"dwTimeBytes", VT_UI4}}),
    Get("CanDoReadEx", 0x1c, VT_I4),
    Put("ZpVersion", 0x1d, VT_I4),
};

// IZPSignal: 52 read-only properties, dispatch ids 1 to 0x34 in order.
inline constexpr Member kSignalMembers[] = {
    Get("Name", 0x1, VT_BSTR),           Get("Label", 0x2, VT_BSTR),          Get("STyp", 0x3, VT_I4),
    Get("DTyp", 0x4, VT_I4),             Get("Ignore", 0x5, VT_I4),           Get("ValuesPerBlock", 0x6, VT_I4),
    Get("BlockOffset", 0x7, VT_I4),      Get("Demux", 0x8, VT_I4),            Get("XMin", 0x9, VT_R8),
    Get("XMax", 0xa, VT_R8),             Get("XFactor", 0xb, VT_R8),          Get("XOffset", 0xc, VT_R8),
    Get("YMin", 0xd, VT_R8),             Get("YMax", 0xe, VT_R8),             Get("YFactor", 0xf, VT_R8),
    Get("YOffset", 0x10, VT_R8),         Get("XUnit", 0x11, VT_BSTR),         Get("YUnit", 0x12, VT_BSTR),
    Get("Sweep", 0x13, VT_R8),           Get("NoOfValues", 0x14, VT_I4),      Get("Block0", 0x15, VT_I4),
    Get("NoValue", 0x16, VT_R8),         Get("XGrid", 0x17, VT_BSTR),         Get("YGrid", 0x18, VT_BSTR),
    Get("YStep", 0x19, VT_R8),           Get("YOrigin", 0x1a, VT_R8),         Get("YMUnit", 0x1b, VT_BSTR),
    Get("tag_DM_PSEC", 0x1c, VT_R8),     Get("tag_DM_DATYP", 0x1d, VT_BSTR),  Get("tag_DM_UNIT", 0x1e, VT_BSTR),
    Get("tag_DM_SCMNT", 0x1f, VT_BSTR),  Get("tag_DM_CMNT", 0x20, VT_BSTR),   Get("tag_GL_SHINT", 0x21, VT_BSTR),
    Get("NoValuesRaw", 0x22, VT_VARIANT), Get("Alias", 0x23, VT_BSTR),        Get("BitSize", 0x24, VT_I4),
    Get("FileNo", 0x25, VT_I4),          Get("XLink", 0x26, VT_BSTR),         Get("CLink", 0x27, VT_BSTR),
    Get("LineStyle", 0x28, VT_I4),       Get("DisplayName", 0x29, VT_BSTR),   Get("XSignal", 0x2a, VT_BSTR),
    Get("BitState", 0x2b, VT_BSTR, {{"val", VT_I4}}),
    Get("MinDelta", 0x2c, VT_R8),        Get("MaxDelta", 0x2d, VT_R8),        Get("IsUniDir", 0x2e, VT_I4),
    Get("HasNoValue", 0x2f, VT_I4),      Get("XLabel", 0x30, VT_BSTR),        Get("YLabel", 0x31, VT_BSTR),
    Get("YDataMin", 0x32, VT_R8),        Get("YDataMax", 0x33, VT_R8),        Get("iGroup", 0x34, VT_I4),
};

// IZPScalar: 11 read-only properties, dispatch ids 1 to 0xb in order.
inline constexpr Member kScalarMembers[] = {
    Get("Name", 1, VT_BSTR),  Get("DisplayName", 2, VT_BSTR), Get("Alias", 3, VT_BSTR), Get("Label", 4, VT_BSTR),
    Get("Unit", 5, VT_BSTR),  Get("STyp", 6, VT_I4),           Get("DTyp", 7, VT_I4),    Get("Ignore", 8, VT_I4),
    Get("FileNo", 9, VT_I4),  Get("XOffset", 0xa, VT_R8),      Get("Value", 0xb, VT_R8),
};

// The prefixes that the older forms of the contract implement.
namespace form {
inline constexpr size_t kFileImport16 = 16;  // the small modules' older contract
inline constexpr size_t kFileImport21 = 21;
inline constexpr size_t kFileImport24 = 24;
inline constexpr size_t kFileImport25 = 25;
inline constexpr size_t kFileImport28 = 28;
inline constexpr size_t kSignal40 = 40;
inline constexpr size_t kSignal46 = 46;
inline constexpr size_t kSignal51 = 51;
inline constexpr size_t kSignal52 = 52;
inline constexpr size_t kScalar11 = 11;
}  // namespace form

static_assert(std::size(kFileImportMembers) == form::kFileImport28);
static_assert(std::size(kSignalMembers) == form::kSignal52);
static_assert(std::size(kScalarMembers) == form::kScalar11);

}  // namespace importcore::contract
