#include "dravo/status.h"

#include "dravo/library.h"
#include "platform/ui/messagebox.h"

namespace dravo {

namespace {

constexpr size_t kRecordedTextChars = 128;

}  // namespace

const char* MdfGetErrorText(MdfStatus status) {
  switch (status) {
    case kMdfErrFloatFormat: return "incompatible float format, no modify";
    case kMdfErrFatal: return "fatal error";
    case kMdfErrNodeNotFound: return "node not found";
    case kMdfErrUnknownLink: return "unknown link";
    case kMdfErrUnknownBlock: return "unknown block";
    case kMdfErrOutOfMemory: return "out of memory";
    case kMdfErrFileFormat: return "file format";
    case kMdfErrSeek: return "could not locate pos in file";
    case kMdfErrRead: return "could not read file";
    case kMdfErrWrite: return "could not write file";
    case kMdfErrGroupCreate: return "simulanous groups creates are not allowed";
    case kMdfErrValueType: return "illegal channel value type";
    case kMdfErrChannelBits: return "illegal nummer of channel bits";
    case kMdfErrChannelType: return "illegal channel type";
    case kMdfErrSeekMode: return "illegal seek mode";
    case kMdfErrGroupMode: return "illegal group open mode";
    case kMdfErrChannelHandle: return "bad channelhandle";
    case kMdfErrGroupHandle: return "bad grouphandle";
    case kMdfErrFileHandle: return "bad filehandle";
    case kMdfErrNotInitialized: return "REV-azozuri not initialized";
    case kMdfOk: return "";
    case kMdfCannotOpenFile: return "could not open file";
    case kMdfGroupNotFound: return "group not found";
    case kMdfChannelNotFound: return "channel not found";
    case kMdfNoTimeChannel: return "time channel does not exist";
    case kMdfNoFormula: return "no formula found";
    case kMdfUnknownFormulaType: return "unknown formula type";
    case kMdfNoTriggerInfo: return "triggerinfo not found";
    case kMdfTimeChannelNotFound: return "timechannel not found";
    case kMdfNotATable: return "illegal formula type, not a table";
    default: return nullptr;
  }
}

MdfStatus MdfReportError(MdfStatus status, const std::string& detail) {
  const char* text = MdfGetErrorText(status);
  const std::string message = text ? std::string(text) + " " + detail + "\n" : detail + " \n";
  LibraryState& lib = Lib();
  if (status < 0 && lib.recordedError == 0) {
    lib.recordedError = status;
    lib.recordedErrorText = message.substr(0, kRecordedTextChars);
  }
  if (lib.quietReports == 0) MdfShowError(message);
  return status;
}

void MdfShowError(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), "DUD32-ERROR MESSAGE", MB_OK);
}

void MdfShowMessage(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), "DUD32-MESSAGE", MB_OK);
}

}  // namespace dravo
