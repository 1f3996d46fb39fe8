// Property rows of the ID, HD, TX, DG, CG, CN and CE blocks.
//
// The values are formatted as the original's 32-bit program printed them:
// its "%lu" and "%ld" took 32-bit integers and its "%hu" the low 16 bits, so
// every such value is passed here as a 32-bit or 16-bit integer.
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "mdf/blocks.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/rows.h"

namespace mdf {
namespace {

// Clears the list, sets its columns and writes the "File Pos." row.
void BeginRows(IListControl& list, int64_t filePos) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
  AddRow(list, "File Pos.", DecHex(static_cast<uint32_t>(filePos)));
}

bool IsViewer(const CMdf* mdf) { return mdf && mdf->GetProfile() == MdfProfile::Viewer; }

std::string Unsigned16(uint16_t value) { return StrFormat("%hu", value); }

// Name of a channel's data type.
std::string DataTypeName(uint16_t type) {
  switch (type) {
    case 0:
    case 13: return "unsigned integer";
    case 1:
    case 14: return Ansi("signed integer (two’s complement)");
    case 2:
    case 3: return "IEEE 754 floating-point format";
    case 7: return "String (NULL terminated)";
    case 8: return "Byte Array";
    case 9: return "unsigned integer (Motorola)";
    case 10: return Ansi("signed integer (two’s complement, Motorola)");
    case 11:
    case 12: return "IEEE 754 floating-point format (Motorola)";
    default: return StrFormat("unknown (%d)", static_cast<int32_t>(type));
  }
}

}  // namespace

// ---------------------------------------------------------------- ID

void CIDBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  AddRow(list, "Block length", DecHex(m_blockLength));
  AddRow(list, "File ID", GetFileId());
  AddRow(list, "Format ID", GetFormatId());
  AddRow(list, "Program ID", GetProgramId());
  AddRow(list, "Byte order", GetByteOrder() == 0 ? "Intel" : "Motorola");
  AddRow(list, "FP format", GetFloatFormat() == 0 ? "IEEE 754" : "unknown");
  AddRow(list, "Version", StrFormat("%d", GetVersion()));
}

// ---------------------------------------------------------------- HD

void CHeaderBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  AddRow(list, "Block length", DecHex(m_blockLength));
  AddRow(list, "Identifier", GetBlockId());
  AddRow(list, "Date", GetDate());
  AddRow(list, "Time", GetTime());
  AddRow(list, "Author", GetAuthor());
  AddRow(list, "Organisation", GetOrganization());
  AddRow(list, "Project", GetProject());
  AddRow(list, "Subject", GetSubject());
  const uint64_t stamp = GetTimeStamp();
  if (stamp != 0) {
    // A start time before 1970 (the 32-bit seconds went negative) has no local
    // time, as the original's runtime had none for it; the row is left out.
    const time_t seconds = GetStartTime();
    struct tm local {};
    if (seconds >= 0 && localtime_r(&seconds, &local) != nullptr) {
      const uint32_t nanos = static_cast<uint32_t>(stamp % 1000000000ULL);
      const char* format = IsViewer(m_pMdf) ? "%02u. %02u. %u  %02u:%02u:%02u,%06u"
                                            : "%02u. %02u. %u  %02u:%02u:%02u,%09u";
      AddRow(list, "Local Time Start",
             StrFormat(format, static_cast<uint32_t>(local.tm_mday),
                       static_cast<uint32_t>(local.tm_mon + 1),
                       static_cast<uint32_t>(local.tm_year + 1900),
                       static_cast<uint32_t>(local.tm_hour), static_cast<uint32_t>(local.tm_min),
                       static_cast<uint32_t>(local.tm_sec), nanos));
    }
    AddRow(list, "Time Offset (h)", Unsigned16(static_cast<uint16_t>(GetUtcOffset())));
    AddRow(list, "Timer Quality Class", Unsigned16(GetTimeQuality()));
    AddRow(list, "Timer ID", GetTimerId());
  }
  AddRow(list, "No. of data grps", StrFormat("%d", GetNumberOfDataGroups()));
  AddRow(list, "Offset DGBlock", SignedDecHex(GetFirstDgLink()));
  AddRow(list, "Offset TXBlock", SignedDecHex(GetFileCommentLink()));
  AddRow(list, "Offset PRBlock", SignedDecHex(GetPrLink()));
}

// ---------------------------------------------------------------- TX

namespace {

// The rows of a text: a run of CR and LF characters ends a line, a line longer
// than 255 characters continues in the next row, and a TAB shows as ':'.
std::vector<std::string> SplitTextRows(const std::string& text) {
  constexpr size_t kRowWidth = 255;
  std::vector<std::string> rows;
  std::string line;
  bool inBreak = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!inBreak) rows.push_back(std::move(line));  // a run of CR and LF ends one line
      line.clear();
      inBreak = true;
      continue;
    }
    inBreak = false;
    if (line.size() == kRowWidth) {
      rows.push_back(std::move(line));
      line.clear();
    }
    line.push_back(c == '\t' ? ':' : c);
  }
  if (!line.empty()) rows.push_back(std::move(line));
  return rows;
}

}  // namespace

void CTextBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  AddRow(list, "Block length", DecHex(m_blockLength));
  AddRow(list, "Text length", StrFormat("%d", static_cast<int32_t>(m_text.size())));
  bool first = true;
  for (const std::string& row : SplitTextRows(m_text)) {
    AddRow(list, first ? "Text" : " ", row);
    first = false;
  }
}

// ---------------------------------------------------------------- DG

void CDGBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  AddRow(list, "Block length", DecHex(m_blockLength));
  AddRow(list, "No. of channel grps", StrFormat("%d", GetNumberOfChannelGroups()));
  AddRow(list, "Offset DGBlock", SignedDecHex(GetNextLink()));
  AddRow(list, "Offset CGBlock", SignedDecHex(GetFirstCgLink()));
  AddRow(list, "Offset Data", SignedDecHex(GetDataLink()));
  const char* ids = "";
  switch (GetNumberOfRecordIds()) {
    case 0: ids = "data records without record ID"; break;
    case 1: ids = "record ID (UINT8) before each data record"; break;
    case 2: ids = "record ID (UINT8) before and after each data record"; break;
    default: break;
  }
  AddRow(list, "Record IDs", ids);
}

// ---------------------------------------------------------------- CG

void CCGBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  AddRow(list, "Block length", DecHex(m_blockLength));
  AddRow(list, "Offset CGBlock", SignedDecHex(GetNextLink()));
  AddRow(list, "No. of channels", StrFormat("%d", GetNumberOfChannels()));
  AddRow(list, "Offset CNBlock", SignedDecHex(GetFirstCnLink()));
  AddRow(list, "Offset TXBlock", SignedDecHex(GetCommentLink()));
  AddRow(list, "Record ID", StrFormat("%d", GetRecordId()));
  AddRow(list, "Record size", StrFormat("%d", GetRecordSize()));
  AddRow(list, "No. of records", StrFormat("%u", GetNumberOfRecords()));
}

// ---------------------------------------------------------------- CN

void CCNBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  AddRow(list, "Block length", DecHex(m_blockLength));
  AddRow(list, "Offset CNBlock", SignedDecHex(GetNextLink()));
  AddRow(list, "Offset CCBlock", SignedDecHex(GetConversionLink()));
  AddRow(list, "Offset TXBlock", SignedDecHex(GetCommentLink()));
  AddRow(list, "Offset CEBlock", SignedDecHex(GetExtensionLink()));
  AddRow(list, "Name", GetSignalName());
  AddRow(list, "Label", GetDescription());
  AddRow(list, "Type", GetChannelType() == 1 ? "Time channel" : "Data channel");
  AddRow(list, "First bit", StrFormat("%d", GetStartOffset()));
  AddRow(list, "No. of bits", StrFormat("%d", GetNumberOfBits()));
  AddRow(list, "Byte offset", StrFormat("%d", GetAdditionalByteOffset()));
  AddRow(list, "Data type", DataTypeName(GetDataType()));
  const uint16_t range = IsRangeValid();
  const char* yesNo = range != 0 ? "yes" : "no";
  AddRow(list, "Implementation range",
         IsViewer(m_pMdf) ? std::string(yesNo) : StrFormat("%s (0x%X)", yesNo, range));
  AddRow(list, "Range: Minimum", StrFormat("%.15f", GetMinRaw()));
  AddRow(list, "Range: Maximum", StrFormat("%.15f", GetMaxRaw()));
  AddRow(list, "Sampling rate", StrFormat("%.15f [s]", GetSamplingRate()));
}

// ---------------------------------------------------------------- CE

void CCEBlock::Display(IListControl& list) {
  BeginRows(list, m_filePos);
  const uint8_t* p = m_image;
  // Texts end at their field's width; those without a declared width end at
  // the first NUL within the bytes kept.
  auto text = [p](size_t at, size_t width = kSize) {
    return FixedText(p + at, std::min(width, kSize - at));
  };
  auto u16 = [p](size_t at) { return LoadU16(p + at); };
  auto u32 = [p](size_t at) { return LoadU32(p + at); };

  const uint16_t type = GetExtensionType();
  switch (type) {
    case 0:
    case 16:
    case 17:
      AddRow(list, "Type", type == 0 ? "Allgemein" : type == 16 ? "VABUS" : "VVAN");
      AddRow(list, "Ident.", text(6));
      break;
    case 1:
    case 14:
      AddRow(list, "Type", type == 1 ? "AIM-Block" : "VADI-Block");
      AddRow(list, "Channel", Unsigned16(u16(6)));
      AddRow(list, "Factor", StrFormat("%f", LoadF64(p + 8)));
      AddRow(list, "Offset", StrFormat("%f", LoadF64(p + 16)));
      AddRow(list, "Modul no.", Unsigned16(u16(24)));
      break;
    case 3:
    case 15:
      AddRow(list, "Type", type == 3 ? "CANIM" : "VCAN");
      AddRow(list, "Modul no.", Unsigned16(u16(6)));
      AddRow(list, "ID", StrFormat("%hu (dec)", u16(8)));
      AddRow(list, "Message", text(10));
      AddRow(list, "Sender", text(30));
      AddRow(list, "Datenreduktionsquotient", StrFormat("%hu (dec)", u16(62)));
      break;
    case 4:
    case 5:
    case 8:
    case 10:
    case 11: {
      const char* name = type == 4    ? "V24"
                         : type == 5  ? "LA1"
                         : type == 8  ? "LA2"
                         : type == 10 ? "Thermo-Scan"
                                      : "AD-Scan";
      AddRow(list, "Type", name);
      AddRow(list, "Datenquelle", text(6));
      AddRow(list, "Port no.", StrFormat("%hu (dec)", u16(38)));
      AddRow(list, "Addr.", StrFormat("0x%hX", u16(40)));
      break;
    }
    case 6:
      AddRow(list, "Type", "ACAN");
      AddRow(list, "Modul no.", Unsigned16(u16(6)));
      AddRow(list, "Addr.", StrFormat("0x%X", u32(8)));
      AddRow(list, "Beschreibung", text(12, 80));
      AddRow(list, "Kennung", text(92, 32));
      AddRow(list, "Datenreduktionsquotient", Unsigned16(u16(126)));
      AddRow(list, "Erfassungsart", Unsigned16(u16(124)));
      break;
    case 19:
      AddRow(list, "Type", "VECTOR CAN");
      AddRow(list, "ID", StrFormat("0x%X", u32(6)));
      AddRow(list, "Channel", StrFormat("%d", static_cast<int32_t>(u32(10))));
      AddRow(list, "Message", text(14, 36));
      AddRow(list, "Sender", text(50, 36));
      break;
    case 2:
    case 7:
    case 9:
    case 12:
    case 13:
    case 18: {
      const char* name = type == 2    ? "DIM"
                         : type == 7  ? "ETK"
                         : type == 9  ? "DIM2"
                         : type == 12 ? "VPSI1"
                         : type == 13 ? "VPSI2"
                                      : "SSC";
      AddRow(list, "Type", name);
      AddRow(list, "Modul no.", Unsigned16(u16(6)));
      AddRow(list, "Addr.", StrFormat("0x%X", u32(8)));
      AddRow(list, "Beschreibung", text(12, 80));
      AddRow(list, "Kennung", text(92, 32));
      break;
    }
    default:
      AddRow(list, "Type", StrFormat("Unbekannt: %hu", type));
      break;
  }
}

}  // namespace mdf
