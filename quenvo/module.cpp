// The module's object map and type library: its three classes, their
// registration scripts, and the type library "QUENVOLib".
#include "platform/com/server/class_script.h"
#include "platform/com/server/server.h"
#include "quenvo/zpfileimport.h"
#include "quenvo/zpsignal.h"

namespace quenvo {
namespace {

#define QUENVO_LIBID "{DA255E25-68A8-473C-A41C-9409969C8503}"

#define CLSID_ZPFILEIMPORT "{4CC4BBE2-CE5E-47F6-B768-ECBEFD0051A3}"
#define CLSID_ZPSIGNAL "{FBF26488-98E4-4341-8DED-41CEAD8B386B}"
#define CLSID_ZPSCALAR "{771656C6-7B61-4158-9128-30A139C3AF84}"

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    COMSERVER_CLASS_SCRIPT("Quenvo", "ZPFileImport", CLSID_ZPFILEIMPORT, QUENVO_LIBID)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL),
                                COMSERVER_CLASS_SCRIPT("Quenvo", "ZPSignal", CLSID_ZPSIGNAL, QUENVO_LIBID)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR),
                                COMSERVER_CLASS_SCRIPT("Quenvo", "ZPScalar", CLSID_ZPSCALAR, QUENVO_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"QUENVOLib", winport::GuidOf(QUENVO_LIBID), 1, 0, 0,
                                      "Quenvo 1.0 Type Library", kClasses};

}  // namespace
}  // namespace quenvo

const comserver::TypeLib& comserver::ThisModule() { return quenvo::kTypeLib; }
