// The Hestor module: the classes FileImport and ISignal of the older import
// contract over the EDAS/PDAI reader, their registration and the type library.
// Data too large to load are served from the imported file (file mode).
#include "smallimports/hestor/edas_reader.h"
#include "platform/com/server/class_script.h"
#include "smallimports/support/com_objects.h"

namespace hestor {
namespace {

#define HESTOR_LIBID "{FF7D4705-BDE3-4B7A-9786-FB9CB2A2D91B}"
#define CLSID_FILEIMPORT "{B72A8500-42D6-45B1-AAF5-65D8FD320792}"
#define CLSID_ISIGNAL "{D7A044E8-1B9C-4641-BC5A-F384E1147164}"

struct Traits {
  using Import = HestorImport;
  using Signal = HestorSignal;
  static constexpr comserver::Interface kFileInterface{
      "IFileImport", winport::GuidOf("{57923B4E-1C75-4CDB-B54A-FB31A2A19192}"),
      smallimports::contract::kFileImportMembers};
  static constexpr comserver::Interface kSignalInterface{
      "IISignal", winport::GuidOf("{43DFE3D0-A2E7-47A4-A744-6540F784D07D}"), smallimports::contract::kSignalMembers};

  static bool Load(const std::string& path, Import& out) { return ParseHestorFile(path, out).status == HestorStatus::Ok; }
  static LONG IsValid(const std::string& path) { return IsHestorFile(path) ? 1 : 0; }
  static smallimports::DataSpaceRead ReadMemory(const Import& data, uint32_t position, uint8_t* buffer,
                                                uint32_t bytes) {
    return ReadHestorMemory(data, position, buffer, bytes);
  }
  static std::optional<smallimports::StreamedData> Stream(const Import& data) {
    if (!data.streaming) return std::nullopt;
    return smallimports::StreamedData(data.path, data.dataOffset, data.dataSize);
  }
  // The reader fills no name and no comment.
  static std::string_view Title(const Import&) { return {}; }
  static std::string_view Comment(const Import&) { return {}; }
  static LONG BitSize(const Signal& signal) { return hestor::BitSize(signal); }
};

using CFileImport = smallimports::OlderFileImport<Traits>;
using CISignal = smallimports::OlderSignal<Traits>;

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CFileImport>("FileImport", winport::GuidOf(CLSID_FILEIMPORT),
                                  COMSERVER_CLASS_SCRIPT("Hestor", "FileImport", CLSID_FILEIMPORT, HESTOR_LIBID)),
    comserver::Class<CISignal>("ISignal", winport::GuidOf(CLSID_ISIGNAL),
                               COMSERVER_CLASS_SCRIPT("Hestor", "ISignal", CLSID_ISIGNAL, HESTOR_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"HestorLib", winport::GuidOf(HESTOR_LIBID), 1, 0, 1031,
                                      "Hestor 1.0 Type Library", kClasses};

}  // namespace
}  // namespace hestor

const comserver::TypeLib& comserver::ThisModule() { return hestor::kTypeLib; }
