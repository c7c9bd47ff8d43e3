// What the window service and the broadcast transport need of each other
// (see platform/broadcast.h).
#pragma once

#include "platform/window.h"

#include <cstddef>
#include <vector>

namespace platform {

// True for a system message whose lParam points to a record (window.cpp):
// PostMessageW, PostThreadMessageW and a broadcast refuse it.
bool messageCarriesPointer(UINT message, WPARAM wParam);

// The windows of this process created without a parent (window.cpp).
std::vector<HWND> topLevelWindows();

// Binds this process's broadcast socket and starts its listener, once.
void ensureBroadcastListener();

// One datagram as the listener received it (`size`: its real length):
// posted to this process's top-level windows when it is a whole record of
// a message that may cross from another process; true when posted.
bool handleBroadcastDatagram(const void* bytes, std::size_t size);

// Posts to this process's top-level windows and sends to every other
// listening process (broadcast.cpp). Never blocks.
bool broadcastPost(UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace platform
