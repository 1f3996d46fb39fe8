#include "orsand/ddc_loader.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/win32/module.h"
#include "platform/win32/sync.h"

namespace orsand {
namespace detail {
DdcEntries g_ddcEntries;
}  // namespace detail

namespace {

std::atomic<bool> g_loaded{false};
HMODULE g_library = nullptr;

// Resolves every entry point in order; false at the first one missing.
bool ResolveEntries(HMODULE library, detail::DdcEntries& entries) {
  bool complete = true;
#define ORSAND_DDC_RESOLVE(name)                                                              \
  if (complete) {                                                                             \
    entries.name = reinterpret_cast<decltype(entries.name)>(GetProcAddress(library, #name)); \
    complete = entries.name != nullptr;                                                       \
  }
  DDC_ENTRY_POINTS(ORSAND_DDC_RESOLVE)
#undef ORSAND_DDC_RESOLVE
  return complete;
}

// Releases and closes the loading mutex and passes `status` on.
int Finish(HANDLE mutex, int status) {
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return status;
}

}  // namespace

bool DdcLibraryLoaded() { return g_loaded.load(std::memory_order_acquire); }

int LoadDdcLibrary() {
  if (DdcLibraryLoaded()) return 0;
  char name[128];
  std::snprintf(name, sizeof name, "National Instruments LabWindows/CVI DIAdem Connectivity Library %d",
                static_cast<int>(getpid()));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (!mutex) return kDdcLibraryNotLoaded;
  WaitForSingleObject(mutex, INFINITE);
  // Another thread may have finished loading while this one waited.
  if (DdcLibraryLoaded()) return Finish(mutex, 0);

  g_library = LoadLibraryA(kDdcLibraryName);
  if (!g_library) return Finish(mutex, kDdcLibraryNotLoaded);
  detail::DdcEntries entries;
  if (!ResolveEntries(g_library, entries)) {
    FreeLibrary(g_library);
    g_library = nullptr;
    return Finish(mutex, kDdcLibraryNotLoaded);
  }
  detail::g_ddcEntries = entries;
  g_loaded.store(true, std::memory_order_release);
  return Finish(mutex, 0);
}

namespace {

template <typename Entry, typename Handle, typename... Fixed>
int CallV(Entry detail::DdcEntries::*entry, Handle handle, const char* property, va_list args,
          Fixed... fixed) {
  if (const int status = LoadDdcLibrary(); status != 0) return status;
  return (detail::g_ddcEntries.*entry)(handle, property, fixed..., args);
}

}  // namespace

#define ORSAND_DDC_VARIADIC(name, Handle)                                              \
  int name(Handle handle, const char* property, ...) {                                 \
    va_list args;                                                                      \
    va_start(args, property);                                                          \
    const int status = CallV(&detail::DdcEntries::name##V, handle, property, args);    \
    va_end(args);                                                                      \
    return status;                                                                     \
  }
#define ORSAND_DDC_VARIADIC_TYPED(name, Handle)                                              \
  int name(Handle handle, const char* property, DDCDataType dataType, ...) {                 \
    va_list args;                                                                            \
    va_start(args, dataType);                                                                \
    const int status = CallV(&detail::DdcEntries::name##V, handle, property, args, dataType); \
    va_end(args);                                                                            \
    return status;                                                                           \
  }
ORSAND_DDC_VARIADIC(DDC_SetFileProperty, DDCFileHandle)
ORSAND_DDC_VARIADIC(DDC_SetChannelGroupProperty, DDCChannelGroupHandle)
ORSAND_DDC_VARIADIC(DDC_SetChannelProperty, DDCChannelHandle)
// The data type, the last named argument of the Create forms, is an enum of
// int's width, which passes unchanged.
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
ORSAND_DDC_VARIADIC_TYPED(DDC_CreateFileProperty, DDCFileHandle)
ORSAND_DDC_VARIADIC_TYPED(DDC_CreateChannelGroupProperty, DDCChannelGroupHandle)
ORSAND_DDC_VARIADIC_TYPED(DDC_CreateChannelProperty, DDCChannelHandle)
#ifdef __clang__
#pragma clang diagnostic pop
#endif
#undef ORSAND_DDC_VARIADIC
#undef ORSAND_DDC_VARIADIC_TYPED

}  // namespace orsand
