// Messages to every top-level window of every process (HWND_BROADCAST).
//
// PostMessageW(HWND_BROADCAST, message, wParam, lParam) queues the message
// for every window of this process that was created without a parent, and
// sends it to every other process on the same runtime directory that has
// such a window. Each of those processes receives it on a listener thread
// of the layer and posts it to its own top-level windows, so the window's
// thread (the UI thread) takes it from its queue like any posted message.
//
// - The call never blocks: a process whose socket buffer is full, or that
//   has gone (its socket left behind), is skipped; the leftover socket of a
//   gone process is removed.
// - lParam travels as a number: a pointer means nothing to another process,
//   so only messages whose parameters are plain numbers (a registered
//   message, say) are worth broadcasting. A receiver posts nothing below
//   WM_USER from another process: the system messages' parameters are
//   pointers or handles of the sender (the service object's event windows
//   take WM_COMMAND's lParam for a record of their own), and WM_CLOSE would
//   end every window. The messages PostMessageW refuses are not broadcast
//   either (ERROR_MESSAGE_SYNC_ONLY).
// - Messages from one sender reach one receiver in the order sent.
// - A datagram of another size, magic or version is dropped.
// - The transport (platform/virtual/WIRE.md, "Window broadcasts"): one Unix
//   datagram socket per process, <runtime>/broadcast/<pid>, mode 0600 in a
//   folder of mode 0700, bound when the process creates its first top-level
//   window and removed at exit.
#pragma once

#include "platform/window.h"

#include <cstdint>

#define HWND_BROADCAST (reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xFFFF)))
