// Threads.
//
// A thread handle is signalled when the thread's function has returned. The
// thread never depends on its handle: closing the handle of a running thread
// (or never waiting for it) leaves the thread running to its end; nothing is
// aborted.
#pragma once

#include "platform/types.h"

#include <cstdint>

using ThreadProc = unsigned (*)(void* argument);

// C runtime thread start: security and stack size are ignored, flags must be
// 0 (no suspended start). Returns the thread handle as an integer, 0 on
// failure (last error set). `threadId`, when not null, receives the new
// thread's identifier before the call returns.
std::uintptr_t _beginthreadex(void* security, unsigned stackSize, ThreadProc proc, void* argument,
                              unsigned flags, unsigned* threadId);

// The calling thread's identifier (the kernel's thread id; unique among
// the threads alive in the system).
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

constexpr DWORD STILL_ACTIVE = 259;

// The thread's exit code (the value its function returned), or STILL_ACTIVE
// while it runs.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
