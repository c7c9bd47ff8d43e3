// What the window service and the broadcast transport need of each other
// (see platform/broadcast.h).
#pragma once

#include "platform/window.h"

#include <vector>

namespace platform {

// The windows of this process created without a parent (window.cpp).
std::vector<HWND> topLevelWindows();

// Binds this process's broadcast socket and starts its listener, once.
void ensureBroadcastListener();

// Posts to this process's top-level windows and sends to every other
// listening process (broadcast.cpp). Never blocks.
bool broadcastPost(UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace platform
