// What the device notices need of the window service: posting a message
// whose lParam points into a buffer that the message keeps alive.
#pragma once

#include "platform/window.h"

#include <memory>
#include <vector>

namespace platform {

// As PostMessageW, with lParam = payload's bytes; the receiving thread
// keeps the payload until it takes its next message.
bool postMessageWithPayload(HWND window, UINT message, WPARAM wParam, std::shared_ptr<std::vector<BYTE>> payload);

}  // namespace platform
