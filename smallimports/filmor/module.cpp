// The Filmor module: the classes FileImport and ISignal of the older import
// contract over the FILMOR reader, their registration and the type library.
#include "smallimports/filmor/filmor_import.h"
#include "platform/com/server/class_script.h"
#include "smallimports/support/com_objects.h"

namespace filmor {
namespace {

#define FILMOR_LIBID "{1E80034F-8E84-4EC8-AAB0-EA744BE63DC3}"
#define CLSID_FILEIMPORT "{2B479FBF-311C-11D3-87C0-525405DF32BD}"
#define CLSID_ISIGNAL "{2B479FC1-311C-11D3-87C0-525405DF32BD}"

struct Traits {
  using Import = FilmorImport;
  using Signal = FilmorSignal;
  static constexpr comserver::Interface kFileInterface{
      "IFileImport", winport::GuidOf("{88779077-64D6-447B-81A2-96F042D6B9A2}"),
      smallimports::contract::kFileImportMembers};
  static constexpr comserver::Interface kSignalInterface{
      "IISignal", winport::GuidOf("{B98154DB-4DC9-46DC-A7BD-B2A666104EAC}"), smallimports::contract::kSignalMembers};

  static bool Load(const std::string& path, Import& out) { return ImportFilmorFile(path, out); }
  static LONG IsValid(const std::string&) { return 1; }
  static smallimports::DataSpaceRead ReadMemory(const Import& data, uint32_t position, uint8_t* buffer,
                                                uint32_t bytes) {
    return ReadFilmorDataSpace(data, position, buffer, bytes);
  }
  static std::optional<smallimports::StreamedData> Stream(const Import&) { return std::nullopt; }
  static std::string_view Title(const Import& data) { return data.name; }
  static std::string_view Comment(const Import& data) { return data.comment; }
  static LONG BitSize(const Signal&) { return 0; }
};

using CFileImport = smallimports::OlderFileImport<Traits>;
using CISignal = smallimports::OlderSignal<Traits>;

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CFileImport>("FileImport", winport::GuidOf(CLSID_FILEIMPORT),
                                  COMSERVER_CLASS_SCRIPT("Filmor", "FileImport", CLSID_FILEIMPORT, FILMOR_LIBID)),
    comserver::Class<CISignal>("ISignal", winport::GuidOf(CLSID_ISIGNAL),
                               COMSERVER_CLASS_SCRIPT("Filmor", "ISignal", CLSID_ISIGNAL, FILMOR_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"FilmorLib", winport::GuidOf(FILMOR_LIBID), 1, 0, 1031,
                                      "Filmor 1.0 Type Library", kClasses};

}  // namespace
}  // namespace filmor

const comserver::TypeLib& comserver::ThisModule() { return filmor::kTypeLib; }
