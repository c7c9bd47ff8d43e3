// Critical sections, events, semaphores, mutexes, waits and handles.
//
// Semantics callers rely on:
// - Critical sections and mutexes are recursive for their owning thread.
// - A mutex whose owner thread ends without releasing it is abandoned: the
//   next wait that takes it answers WAIT_ABANDONED (+ index).
// - WaitForMultipleObjects (wait-any) reports the lowest signalled index;
//   wait-all takes every object at once or none, and refuses one object
//   named twice (WAIT_FAILED, ERROR_INVALID_PARAMETER). A wait keeps its
//   objects alive even if their handles are closed meanwhile.
// - Every Create* sets last error 0 for a new object (so a caller can test
//   GetLastError() == ERROR_ALREADY_EXISTS after any of them).
// - ReleaseSemaphore past the maximum fails with ERROR_TOO_MANY_POSTS (298)
//   and leaves the count alone.
// - Named objects are process-local: a second Create on the same name opens
//   the same object and sets last error ERROR_ALREADY_EXISTS (183). A name
//   beginning with "Global\" is machine-wide: besides the process-local
//   object, an flock()ed file in the runtime directory marks it, so a second
//   process creating the same name also gets ERROR_ALREADY_EXISTS. The name
//   exists machine-wide while any process holds an object of it; a process's
//   hold ends with its last handle to it, or with the process (even killed).
//   Only existence is shared between processes, not the kind or the signal
//   state. In this process, an object of another kind under the name fails
//   with ERROR_INVALID_HANDLE (6). Wide names (the W variants) are
//   converted by value per character (ISO-8859-1; '?' beyond).
// - A closed or made-up handle fails with ERROR_INVALID_HANDLE, never crashes.
#pragma once

#include "platform/types.h"

struct CRITICAL_SECTION {
    void* impl = nullptr;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// The security-attributes argument is accepted and ignored.
struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount, LPCSTR name);
HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount, LPCWSTR name);
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
BOOL ReleaseMutex(HANDLE mutex);

// Opens an existing named object; null with ERROR_FILE_NOT_FOUND (2) when
// there is none in this process, ERROR_INVALID_HANDLE (6) when the name
// belongs to an object of another kind. Access and inherit are ignored.
constexpr DWORD SYNCHRONIZE = 0x00100000u;
constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003u;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001u;
HANDLE OpenEventA(DWORD access, BOOL inherit, LPCSTR name);
HANDLE OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Closes any handle of the layer (sync objects, threads, ports ...). The
// object lives on while other handles to it, or a running thread, hold it.
BOOL CloseHandle(HANDLE handle);

namespace platform {

// How many times, in this process, a blocked WaitForSingleObject or
// WaitForMultipleObjects has been woken by a change of an object it waits
// for (for tests and diagnostics; time-outs are not counted). A change wakes
// only the waits on that object.
std::uint64_t waitWakeUpCount();
// How many WaitForSingleObject / WaitForMultipleObjects calls are blocked
// right now, on their objects' waiter lists (for tests and diagnostics).
std::size_t blockedWaitCount();

}  // namespace platform
