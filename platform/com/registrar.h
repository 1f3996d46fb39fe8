// The registrar: registration scripts that a module runs from
// DllRegisterServer and DllUnregisterServer.
//
//   HKCR
//   {
//     Probe.Class.1 = s 'Probe Class'
//     {
//       CLSID = s '{...}'
//     }
//     NoRemove CLSID
//     {
//       ForceRemove {...} = s 'Probe Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//         'Programmable'
//       }
//     }
//   }
//
// A script names root keys (HKCR or HKEY_CLASSES_ROOT, HKCU or
// HKEY_CURRENT_USER), each with a block of keys. A key is a name, optionally
// `= s 'text'` (its default value, REG_SZ) or `= d 'number'` (REG_DWORD), and
// optionally a block of subkeys and values `val name = s 'text'`. Names are
// bare words, braced words ("{GUID}", as class ids are written) or quoted
// ('it''s' holds a quote); a block's '{' stands apart from what follows it.
// Keywords (NoRemove, ForceRemove, val, s, d) compare without regard to case.
// %NAME% inside a name or text is replaced from the replacement list, %% is a percent sign.
//
// Registering writes every key and value; a ForceRemove key is first removed
// whole, so nothing stale stays below it. Unregistering removes ForceRemove
// keys whole, never a NoRemove key, and a plain key once nothing but what the
// script wrote is left in it; the values the script names go in any case.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/hresult.h"

namespace winport {

using Replacements = std::vector<std::pair<std::string, std::string>>;

// Parses the whole script before anything is written: a script that does not
// parse writes nothing and gives E_INVALIDARG. A write that fails during
// registration gives REGDB_E_WRITEREGDB after what was written is removed
// again. `error`, when given, receives a line saying what failed and where.
HRESULT UpdateRegistryFromScript(std::string_view script, const Replacements& replacements, bool doRegister,
                                 std::string* error = nullptr);

}  // namespace winport
