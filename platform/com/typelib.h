// Registration of type libraries: what a module's type library says about
// itself and its interfaces goes under HKEY_CLASSES_ROOT\TypeLib and
// HKEY_CLASSES_ROOT\Interface, as on Windows:
//
//   TypeLib\{LIBID}\1.0                = help string (else the library's name)
//   TypeLib\{LIBID}\1.0\FLAGS          = "0"
//   TypeLib\{LIBID}\1.0\HELPDIR        = the help folder (else the module's folder)
//   TypeLib\{LIBID}\1.0\<lcid hex>\win64 = the module's path
//   Interface\{IID}                    = the interface's name
//   Interface\{IID}\ProxyStubClsid, \ProxyStubClsid32 = {00020424-0000-0000-C000-000000000046}
//   Interface\{IID}\TypeLib            = {LIBID}, value Version = "1.0"
#pragma once

#include "platform/com/automation.h"

// Writes the keys for `lib` and each of its interfaces (dispatch and dual ones).
// `fullPath` is the module's path; `helpDir` may be NULL.
HRESULT RegisterTypeLib(ITypeLib* lib, const OLECHAR* fullPath, const OLECHAR* helpDir);
// Removes the library's version key (and the library's key when no other
// version is left) and every Interface key that names this library and
// version. TYPE_E_LIBNOTREGISTERED when the version is not registered.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
