// Events, mutexes and threads with Win32's waiting semantics.
//
// A HANDLE names an event, a mutex or a thread. Every object lives as long as a handle
// or a waiter still refers to it; a thread's object also as long as the thread
// runs, so closing a thread's handle neither ends nor detaches anything else.
#pragma once

#include <cstddef>

#include "platform/win32/types.h"

using HANDLE = void*;
using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// An unnamed event; `name` must be NULL (named events are not supported and
// give NULL). A manual-reset event stays signalled until ResetEvent; an
// auto-reset one releases a single waiter and is reset by that wait.
HANDLE CreateEventA(const void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// A mutex, owned by one thread at a time and recursively: a wait takes it (a
// thread that owns it takes it again at once), each take needs a
// ReleaseMutex. Named mutexes are shared within this process: a second
// CreateMutexA of the same name (names compare exactly) opens the same mutex
// and sets GetLastError() to ERROR_ALREADY_EXISTS, as long as a handle to it
// is open. A mutex whose owner ends stays owned.
HANDLE CreateMutexA(const void* securityAttributes, BOOL initialOwner, const char* name);
// FALSE with ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// Runs `start(parameter)` on a new thread. The handle becomes signalled when
// the thread returns, so waiting on it joins the thread. Stack size and
// attributes are ignored; `creationFlags` must be 0 (else NULL).
HANDLE CreateThread(const void* securityAttributes, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD creationFlags, DWORD* threadId);

// WAIT_OBJECT_0 when signalled within `milliseconds` (INFINITE: no limit),
// WAIT_TIMEOUT otherwise, WAIT_FAILED for a handle that is not open.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Wait-any returns WAIT_OBJECT_0 + the lowest index signalled and resets only
// that object (when auto-reset); wait-all waits until all are signalled at
// once and then resets the auto-reset ones together. WAIT_FAILED for a count
// of 0 or above MAXIMUM_WAIT_OBJECTS, a handle that is not open, or a handle
// given twice to a wait-all.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
