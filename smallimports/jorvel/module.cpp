// The Jorvel module: the classes FileImport and ISignal of the older import
// contract over the RPC III reader, their registration and the type library.
#include "smallimports/jorvel/rpc_reader.h"
#include "platform/com/server/class_script.h"
#include "smallimports/support/com_objects.h"

namespace jorvel {
namespace {

#define JORVEL_LIBID "{CC20B902-D4FA-4A40-A6F5-6883D5747E8B}"
#define CLSID_FILEIMPORT "{D541AF1F-A5B5-11D4-8B52-525405DF32BD}"
#define CLSID_ISIGNAL "{D541AF21-A5B5-11D4-8B52-525405DF32BD}"

struct Traits {
  using Import = RpcImport;
  using Signal = JorvelSignal;
  static constexpr comserver::Interface kFileInterface{
      "IFileImport", winport::GuidOf("{584E22E4-7CC2-491B-A45C-68AAC9883BF6}"),
      smallimports::contract::kFileImportMembers};
  static constexpr comserver::Interface kSignalInterface{
      "IISignal", winport::GuidOf("{5178EE04-6091-4AE5-B775-16E17773A44D}"), smallimports::contract::kSignalMembers};

  // RPC III failures show no box; a file cut inside its samples imports what
  // it holds, and a box names the channels that got fewer values.
  static bool Load(const std::string& path, Import& out) {
    if (ParseRpcFile(path, out).status != RpcStatus::Ok) return false;
    smallimports::ShowShortfall("Jorvel", smallimports::IncompleteFileText(path, out.shortfall));
    return true;
  }
  static LONG IsValid(const std::string&) { return 1; }
  static smallimports::DataSpaceRead ReadMemory(const Import& data, uint32_t position, uint8_t* buffer,
                                                uint32_t bytes) {
    return ReadRpcDataSpace(data, position, buffer, bytes);
  }
  static std::optional<smallimports::StreamedData> Stream(const Import&) { return std::nullopt; }
  static std::string_view Title(const Import& data) { return data.name; }
  // The file comment stays empty.
  static std::string_view Comment(const Import&) { return {}; }
  static LONG BitSize(const Signal&) { return 0; }
};

using CFileImport = smallimports::OlderFileImport<Traits>;
using CISignal = smallimports::OlderSignal<Traits>;

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CFileImport>("FileImport", winport::GuidOf(CLSID_FILEIMPORT),
                                  COMSERVER_CLASS_SCRIPT("Jorvel", "FileImport", CLSID_FILEIMPORT, JORVEL_LIBID)),
    comserver::Class<CISignal>("ISignal", winport::GuidOf(CLSID_ISIGNAL),
                               COMSERVER_CLASS_SCRIPT("Jorvel", "ISignal", CLSID_ISIGNAL, JORVEL_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"JorvelLib", winport::GuidOf(JORVEL_LIBID), 1, 0, 1031,
                                      "Jorvel 1.0 Type Library", kClasses};

}  // namespace
}  // namespace jorvel

const comserver::TypeLib& comserver::ThisModule() { return jorvel::kTypeLib; }
