// The module's object map and type library: its three classes, their
// registration scripts, and the type library "QUENVOLib".
#include "platform/com/server/server.h"
#include "quenvo/zpfileimport.h"
#include "quenvo/zpsignal.h"

namespace quenvo {
namespace {

#define QUENVO_LIBID "{DA255E25-68A8-473C-A41C-9409969C8503}"

// A class's registration script: its two ProgIDs (the version-independent one
// with CurVer), and its CLSID key with the in-process server and the type library.
#define QUENVO_SCRIPT(CLASS, CLSID)                          \
  "HKCR\n"                                                   \
  "{\n"                                                      \
  "  Quenvo." CLASS ".1 = s '" CLASS " Class'\n"             \
  "  {\n"                                                    \
  "    CLSID = s '" CLSID "'\n"                              \
  "  }\n"                                                    \
  "  Quenvo." CLASS " = s '" CLASS " Class'\n"               \
  "  {\n"                                                    \
  "    CLSID = s '" CLSID "'\n"                              \
  "    CurVer = s 'Quenvo." CLASS ".1'\n"                    \
  "  }\n"                                                    \
  "  NoRemove CLSID\n"                                       \
  "  {\n"                                                    \
  "    ForceRemove " CLSID " = s '" CLASS " Class'\n"        \
  "    {\n"                                                  \
  "      ProgID = s 'Quenvo." CLASS ".1'\n"                  \
  "      VersionIndependentProgID = s 'Quenvo." CLASS "'\n"  \
  "      ForceRemove 'Programmable'\n"                       \
  "      InprocServer32 = s '%MODULE%'\n"                    \
  "      {\n"                                                \
  "        val ThreadingModel = s 'Apartment'\n"             \
  "      }\n"                                                \
  "      'TypeLib' = s '" QUENVO_LIBID "'\n"                 \
  "    }\n"                                                  \
  "  }\n"                                                    \
  "}\n"

#define CLSID_ZPFILEIMPORT "{4CC4BBE2-CE5E-47F6-B768-ECBEFD0051A3}"
#define CLSID_ZPSIGNAL "{FBF26488-98E4-4341-8DED-41CEAD8B386B}"
#define CLSID_ZPSCALAR "{771656C6-7B61-4158-9128-30A139C3AF84}"

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    QUENVO_SCRIPT("ZPFileImport", CLSID_ZPFILEIMPORT)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL), QUENVO_SCRIPT("ZPSignal", CLSID_ZPSIGNAL)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR), QUENVO_SCRIPT("ZPScalar", CLSID_ZPSCALAR)),
};

constexpr comserver::TypeLib kTypeLib{"QUENVOLib", winport::GuidOf(QUENVO_LIBID), 1, 0, 0,
                                      "Quenvo 1.0 Type Library", kClasses};

}  // namespace
}  // namespace quenvo

const comserver::TypeLib& comserver::ThisModule() { return quenvo::kTypeLib; }
