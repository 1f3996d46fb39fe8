// The module's object map and type library: its three classes, their
// registration scripts, and the type library "PellorLib".
#include "platform/com/server/class_script.h"
#include "platform/com/server/server.h"
#include "pellor/zpfileimport.h"
#include "pellor/zpsignal.h"

namespace pellor {
namespace {

#define PELLOR_LIBID "{59A186DF-83F3-4B59-9DAE-C31B3F2880F5}"

#define CLSID_ZPFILEIMPORT "{89D51140-8C28-4108-BD69-8F5810376B43}"
#define CLSID_ZPSIGNAL "{964FA24A-0CF4-40A2-8CAD-D5335B7178C0}"
#define CLSID_ZPSCALAR "{E3AF31BE-E7BD-4AD1-AB64-B499A0FC8018}"

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    COMSERVER_CLASS_SCRIPT("Pellor", "ZPFileImport", CLSID_ZPFILEIMPORT, PELLOR_LIBID)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL),
                                COMSERVER_CLASS_SCRIPT("Pellor", "ZPSignal", CLSID_ZPSIGNAL, PELLOR_LIBID)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR),
                                COMSERVER_CLASS_SCRIPT("Pellor", "ZPScalar", CLSID_ZPSCALAR, PELLOR_LIBID)),
};

// German (1031), as the module's resources are.
constexpr comserver::TypeLib kTypeLib{"PellorLib", winport::GuidOf(PELLOR_LIBID), 1, 0, 1031,
                                      "Pellor 1.0 Type Library", kClasses};

}  // namespace
}  // namespace pellor

const comserver::TypeLib& comserver::ThisModule() { return pellor::kTypeLib; }
