// What the window lookups need of the window service: a snapshot of this
// process's windows.
#pragma once

#include "platform/window.h"

#include <string>
#include <vector>

namespace platform {

struct WindowEntry {
    HWND handle;
    HWND parent;  // as given at creation
    std::wstring className;
    std::wstring name;
};

// Every window of the process, in creation order.
std::vector<WindowEntry> windowEntries();

}  // namespace platform
