// The connectivity library "nilibddc.dll", loaded on first need.
//
// The module does not link against the library: the first call of any of its
// operations loads it by name under a named mutex and resolves all of its
// entry points at once. Every operation is called through a stub of the same
// name (in this namespace) that loads the library first; when that fails the
// stub returns kDdcLibraryNotLoaded without calling anything (the operations
// without a result just return), and DDC_GetLibraryErrorDescription gives
// kDdcLoadFailureText. Once loaded, the library stays for the life of the
// process; a failed attempt leaves nothing behind, so the next call tries again.
#pragma once

#include <cstdarg>
#include <type_traits>

#include "platform/ddc/nilibddc.h"

namespace orsand {

inline constexpr int kDdcLibraryNotLoaded = -6204;
// The module's own allocation failures are reported with this library status.
inline constexpr int kDdcOutOfMemory = -6201;
inline constexpr const char* kDdcLibraryName = "nilibddc.dll";
inline constexpr const char* kDdcLoadFailureText =
    "Error occurred when loading the DIAdem library DLL (nilibddc.dll)";

// 0 once every entry point is resolved, else kDdcLibraryNotLoaded.
int LoadDdcLibrary();
// Whether the library is loaded (never cleared once set).
bool DdcLibraryLoaded();

namespace detail {

// One pointer per entry point, in the library's resolution order.
struct DdcEntries {
#define ORSAND_DDC_ENTRY(name) decltype(&::name) name = nullptr;
  DDC_ENTRY_POINTS(ORSAND_DDC_ENTRY)
#undef ORSAND_DDC_ENTRY
};
extern DdcEntries g_ddcEntries;

template <auto Entry, typename Fn>
struct DdcStub;
template <auto Entry, typename R, typename... A>
struct DdcStub<Entry, R (*)(A...)> {
  static R Call(A... args) {
    if (const int status = LoadDdcLibrary(); status != 0) {
      if constexpr (std::is_void_v<R>)
        return;
      else if constexpr (std::is_same_v<R, const char*>)
        return kDdcLoadFailureText;
      else
        return status;
    }
    return (g_ddcEntries.*Entry)(args...);
  }
};

}  // namespace detail

// The stubs: orsand::DDC_OpenFileEx(...) and so on, one per entry point.
#define ORSAND_DDC_STUB(name) \
  inline constexpr auto name = &detail::DdcStub<&detail::DdcEntries::name, decltype(&::name)>::Call;
DDC_ENTRY_POINTS(ORSAND_DDC_STUB)
#undef ORSAND_DDC_STUB

// The property setters with variable arguments, passed on to the entry points
// of the same name ending in "V".
int DDC_SetFileProperty(DDCFileHandle file, const char* property, ...);
int DDC_CreateFileProperty(DDCFileHandle file, const char* property, DDCDataType dataType, ...);
int DDC_SetChannelGroupProperty(DDCChannelGroupHandle group, const char* property, ...);
int DDC_CreateChannelGroupProperty(DDCChannelGroupHandle group, const char* property,
                                   DDCDataType dataType, ...);
int DDC_SetChannelProperty(DDCChannelHandle channel, const char* property, ...);
int DDC_CreateChannelProperty(DDCChannelHandle channel, const char* property, DDCDataType dataType,
                              ...);

}  // namespace orsand
