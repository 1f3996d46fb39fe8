// The module's object map and type library: its three classes, their
// registration scripts, and the type library "OrsandLib".
#include "orsand/zpfileimport.h"
#include "orsand/zpsignal.h"
#include "platform/com/server/class_script.h"
#include "platform/com/server/server.h"

namespace orsand {
namespace {

#define ORSAND_LIBID "{679C72E4-7A30-42D4-8443-DF501A23DC60}"

#define CLSID_ZPFILEIMPORT "{259C49F5-1DDC-4240-AD05-2AB9FD66204F}"
#define CLSID_ZPSIGNAL "{6706A37C-08C2-48A9-B389-E86A6913C14D}"
#define CLSID_ZPSCALAR "{972F881F-6288-4894-B963-D2F911F7A9EB}"

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    COMSERVER_CLASS_SCRIPT("Orsand", "ZPFileImport", CLSID_ZPFILEIMPORT, ORSAND_LIBID)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL),
                                COMSERVER_CLASS_SCRIPT("Orsand", "ZPSignal", CLSID_ZPSIGNAL, ORSAND_LIBID)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR),
                                COMSERVER_CLASS_SCRIPT("Orsand", "ZPScalar", CLSID_ZPSCALAR, ORSAND_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"OrsandLib", winport::GuidOf(ORSAND_LIBID), 1, 0, 0,
                                      "Orsand 1.0 Type Library", kClasses};

}  // namespace
}  // namespace orsand

const comserver::TypeLib& comserver::ThisModule() { return orsand::kTypeLib; }
