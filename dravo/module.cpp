// The module's object map and type library "DravoLib". The host's variables
// are read under the 6.0 key, chosen when the library is loaded.
#include "dravo/objects.h"
#include "importcore/support.h"
#include "platform/com/server/server.h"

namespace dravo {
namespace {

#define DRAVO_LIBID "{013110C8-634E-4EDB-8149-3CFE65FE7A3F}"
#define CLSID_ZPFILEIMPORT "{84DE6488-8580-499E-9828-C81E6AD3A061}"
#define CLSID_ZPSIGNAL "{62A47BF4-7475-4BE9-B7D4-AC9549ACC61F}"
#define CLSID_ZPSCALAR "{C26D8E12-B08B-4510-ACB3-1ED27391AE1A}"

// A class's registration script: its two ProgIDs (the version-independent one
// with CurVer), and its CLSID key with the in-process server and the type library.
#define DRAVO_SCRIPT(CLASS, CLSID)                                  \
  "HKCR\n"                                                          \
  "{\n"                                                             \
  "  Dravo." CLASS ".1 = s '" CLASS " Class'\n"                     \
  "  {\n"                                                           \
  "    CLSID = s '" CLSID "'\n"                                     \
  "  }\n"                                                           \
  "  Dravo." CLASS " = s '" CLASS " Class'\n"                       \
  "  {\n"                                                           \
  "    CLSID = s '" CLSID "'\n"                                     \
  "    CurVer = s 'Dravo." CLASS ".1'\n"                            \
  "  }\n"                                                           \
  "  NoRemove CLSID\n"                                              \
  "  {\n"                                                           \
  "    ForceRemove " CLSID " = s '" CLASS " Class'\n"               \
  "    {\n"                                                         \
  "      ProgID = s 'Dravo." CLASS ".1'\n"                          \
  "      VersionIndependentProgID = s 'Dravo." CLASS "'\n"          \
  "      ForceRemove 'Programmable'\n"                              \
  "      InprocServer32 = s '%MODULE%'\n"                           \
  "      {\n"                                                       \
  "        val ThreadingModel = s 'Apartment'\n"                    \
  "      }\n"                                                       \
  "      'TypeLib' = s '" DRAVO_LIBID "'\n"                         \
  "    }\n"                                                         \
  "  }\n"                                                           \
  "}\n"

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    DRAVO_SCRIPT("ZPFileImport", CLSID_ZPFILEIMPORT)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL), DRAVO_SCRIPT("ZPSignal", CLSID_ZPSIGNAL)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR), DRAVO_SCRIPT("ZPScalar", CLSID_ZPSCALAR)),
};

constexpr comserver::TypeLib kTypeLib{"DravoLib", winport::GuidOf(DRAVO_LIBID), 1, 0, 0, "Dravo 1.0 Type Library",
                                      kClasses};

const bool kVariablesKeySet = (importcore::SetVariablesKey(), true);

}  // namespace
}  // namespace dravo

const comserver::TypeLib& comserver::ThisModule() { return dravo::kTypeLib; }
