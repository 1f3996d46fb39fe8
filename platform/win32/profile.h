// Profile (INI) files with Win32's semantics.
//
// Sections and keys compare case-insensitively; names and values are trimmed
// of blanks and tabs, and a value enclosed in a pair of quotes (" or ') loses
// them. Lines starting with ';' are comments. A file name without a folder
// ('/' or '\\') lives in the profile folder, the folder of the registry file,
// which stands in for the Windows directory; WIN.INI is "win.ini" there.
// Writes rewrite the file in place under an exclusive lock, reads take a
// shared one, so a reader never sees half a write.
#pragma once

#include <string>

#include "platform/win32/types.h"

// The value of `key` in `section`, else `defaultValue` (NULL reads as "",
// trailing blanks removed). Returns the characters copied without the NUL; a
// text that does not fit is cut to size - 1 characters (returning size - 1).
// `key` NULL lists the section's keys, `section` NULL lists the sections: each
// name NUL-terminated, the list ended by a second NUL; a list that does not fit
// is cut and ended by two NULs, returning size - 2.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName);
// The value's leading decimal digits (after an optional '-'), or hexadecimal
// digits after "0x"; a value without digits gives 0, a missing or empty value
// `defaultValue`.
UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName);
// The section's entries as "key=value" texts, listed as GetPrivateProfileStringA lists keys.
DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size, const char* fileName);
// Sets `key` to `value`, creating the section and the file as needed; `value`
// NULL deletes the key, `key` NULL deletes the section. FALSE when the file
// cannot be written.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);
// GetPrivateProfileStringA on WIN.INI.
DWORD GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                        DWORD size);

namespace winport {

// The operating-system path a profile file name (ANSI) stands for.
std::string ProfilePath(const std::string& fileName);

}  // namespace winport
