// The registry: one store per user with HKEY_CLASSES_ROOT and HKEY_CURRENT_USER,
// kept in one file that every process of the user shares.
//
// Key and value names compare case-insensitively (Windows-1252 upper case) and
// keep the case they were created with. The file's path is, in this order, the
// one given to winport::SetRegistryPath, the environment variable
// WINPORT_REGISTRY, or ~/.config/winport/registry. Every change takes a lock
// beside the file, re-reads the file, applies itself and replaces the file
// atomically, so that processes writing one store lose nothing; reads answer
// from memory and re-read the file when it has been replaced.
#pragma once

#include <string>

#include "platform/win32/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000u});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001u});

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights; accepted and not enforced (the store belongs to one user).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
// Dispositions of RegCreateKeyExA.
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The key behind an open handle was deleted.
constexpr LSTATUS ERROR_KEY_DELETED = 1018;
// The store's file could not be written.
constexpr LSTATUS ERROR_CANTWRITE = 1013;

// `subKey` is a path of names separated by '\\' (empty names are skipped);
// NULL or "" names `key` itself. Missing keys give ERROR_FILE_NOT_FOUND.
LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, PHKEY result);
// Opens `subKey`, creating it and every missing key above it.
LSTATUS RegCreateKeyA(HKEY key, const char* subKey, PHKEY result);
LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                        REGSAM access, const void* securityAttributes, PHKEY result,
                        DWORD* disposition);
// `name` NULL or "" is the key's default value. `size` is in bytes: on entry
// the buffer's size, on return the value's (a REG_SZ value counts its NUL).
// A NULL `data` asks for the size only; a buffer too small gives
// ERROR_MORE_DATA with the size needed. `type` and `size` may be NULL.
LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size);
// A REG_SZ or REG_EXPAND_SZ value is stored as the text up to its first NUL
// (within `size` bytes) plus a NUL; other types are stored byte for byte.
LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegDeleteValueA(HKEY key, const char* name);
// Deletes `subKey` ("" deletes `key` itself); refuses a key that has subkeys
// (ERROR_ACCESS_DENIED), as do the root keys.
LSTATUS RegDeleteKeyA(HKEY key, const char* subKey);
// Name of the index-th subkey, in case-insensitive order; ERROR_NO_MORE_ITEMS
// past the last one, ERROR_MORE_DATA when `nameSize` (characters with the NUL)
// is too small.
LSTATUS RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);
// Deletes `subKey` with everything below it, in one change of the store;
// NULL or "" deletes what lies below `key` (its subkeys and values) but keeps
// `key`. ERROR_FILE_NOT_FOUND when `subKey` does not exist.
LSTATUS RegDeleteTreeA(HKEY key, const char* subKey);
// The index-th value (case-insensitive order of names): its name (`nameSize`
// in characters with the NUL, on return without it), type and data as
// RegQueryValueExA gives them. ERROR_NO_MORE_ITEMS past the last one.
LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataSize);
// Counts of subkeys and values; the other figures of Win32's function are
// given as 0 (each pointer may be NULL).
LSTATUS RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classSize, DWORD* reserved, DWORD* subKeys,
                         DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                         DWORD* maxValueLength, DWORD* securityDescriptorSize, void* lastWriteTime);
LSTATUS RegCloseKey(HKEY key);

namespace winport {

// Points the store at another file (an operating-system path); "" goes back to
// WINPORT_REGISTRY or the default. Open handles keep their key paths.
void SetRegistryPath(const std::string& path);
// The file the store uses now.
std::string RegistryPath();

}  // namespace winport
