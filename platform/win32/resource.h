// Resources that a module file carries: its version resource and its string
// table, with Win32's functions to read them.
//
// A module declares them in source (platform/com/server/resources.h); they
// live in the shared library's section WINPORT_RESOURCE_SECTION as one block:
// WINPORT_RESOURCE_MAGIC and a NUL, then entries of NUL-terminated fields, a
// kind letter first, up to an empty kind or the section's end:
//
//   F a.b.c.d          the file version of the fixed file information
//   P a.b.c.d          the product version
//   L language cp      the language and code page of the version strings
//   V name value       a string of the version resource
//   S id text          string table entry id (0 to 65535)
//
// Numbers are decimal or 0x-hex, texts UTF-8; the functions give texts in the
// ANSI code page. The file is read as the hostile input it may be: every
// offset and size is checked against the file, and a damaged section counts
// as no resources at all.
#pragma once

#include "platform/win32/module.h"
#include "platform/win32/types.h"

#define WINPORT_RESOURCE_SECTION ".winport.rsrc"
#define WINPORT_RESOURCE_MAGIC "WPRS1"

constexpr LSTATUS ERROR_RESOURCE_DATA_NOT_FOUND = 1812;  // the file has no resources
constexpr LSTATUS ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;  // it has no version resource
constexpr LSTATUS ERROR_RESOURCE_NAME_NOT_FOUND = 1814;  // no string of that id

struct VS_FIXEDFILEINFO {
  DWORD dwSignature;
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;  // major << 16 | minor
  DWORD dwFileVersionLS;  // build << 16 | revision
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;
constexpr DWORD VS_FFI_STRUCVERSION = 0x00010000;
constexpr DWORD VS_FFI_FILEFLAGSMASK = 0x3F;
constexpr DWORD VOS_NT_WINDOWS32 = 0x00040004;
constexpr DWORD VFT_DLL = 2;

// The bytes GetFileVersionInfoA needs for the file's version information; 0
// when the file cannot be read (ERROR_FILE_NOT_FOUND), has no resources or a
// damaged block of them (ERROR_RESOURCE_DATA_NOT_FOUND) or no version
// resource (ERROR_RESOURCE_TYPE_NOT_FOUND). `handle` (may be null) is set to 0.
DWORD GetFileVersionInfoSizeA(const char* file, DWORD* handle);
// Writes the version information into `data`, which VerQueryValueA then
// reads. FALSE as GetFileVersionInfoSizeA fails, or with
// ERROR_INSUFFICIENT_BUFFER when `size` is smaller than it said.
BOOL GetFileVersionInfoA(const char* file, DWORD handle, DWORD size, void* data);
// A value of the version information: "\" the VS_FIXEDFILEINFO,
// "\VarFileInfo\Translation" the language and code page (two WORDs),
// "\StringFileInfo\<language><code page as 8 hex digits>\<name>" a string
// (`length` its characters with the NUL). Names compare without regard to
// case. FALSE when the block holds no such value.
BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* length);
// String `id` of the module's string table into `buffer` (cut to size - 1
// characters, NUL-terminated); returns the characters copied, 0 when the
// module has none of that id (ERROR_RESOURCE_NAME_NOT_FOUND; the buffer then
// empty). A null `instance` is the program.
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size);
