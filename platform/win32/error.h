// The calling thread's last Win32 error.
#pragma once

#include "platform/win32/types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

constexpr LSTATUS ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LSTATUS ERROR_MOD_NOT_FOUND = 126;
constexpr LSTATUS ERROR_PROC_NOT_FOUND = 127;
constexpr LSTATUS ERROR_ALREADY_EXISTS = 183;
constexpr LSTATUS ERROR_NOT_OWNER = 288;
