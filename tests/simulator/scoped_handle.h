// A platform handle closed when it goes out of scope, for the simulator's tests.
#pragma once

#include "platform/sync.h"

#include <memory>

namespace simtest {

struct HandleCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

}  // namespace simtest
