// The module's object map and type library "DravoLib". The host's variables
// are read under the 6.0 key, chosen when the library is loaded.
#include "dravo/objects.h"
#include "importcore/support.h"
#include "platform/com/server/class_script.h"
#include "platform/com/server/server.h"

namespace dravo {
namespace {

#define DRAVO_LIBID "{013110C8-634E-4EDB-8149-3CFE65FE7A3F}"
#define CLSID_ZPFILEIMPORT "{84DE6488-8580-499E-9828-C81E6AD3A061}"
#define CLSID_ZPSIGNAL "{62A47BF4-7475-4BE9-B7D4-AC9549ACC61F}"
#define CLSID_ZPSCALAR "{C26D8E12-B08B-4510-ACB3-1ED27391AE1A}"

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    COMSERVER_CLASS_SCRIPT("Dravo", "ZPFileImport", CLSID_ZPFILEIMPORT, DRAVO_LIBID)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL),
                                COMSERVER_CLASS_SCRIPT("Dravo", "ZPSignal", CLSID_ZPSIGNAL, DRAVO_LIBID)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR),
                                COMSERVER_CLASS_SCRIPT("Dravo", "ZPScalar", CLSID_ZPSCALAR, DRAVO_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"DravoLib", winport::GuidOf(DRAVO_LIBID), 1, 0, 0, "Dravo 1.0 Type Library",
                                      kClasses};

const bool kVariablesKeySet = (importcore::SetVariablesKey(), true);

}  // namespace
}  // namespace dravo

const comserver::TypeLib& comserver::ThisModule() { return dravo::kTypeLib; }
