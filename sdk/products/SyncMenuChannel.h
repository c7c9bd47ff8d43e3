// The one way the sub-product walk reaches the connected device: a framed
// menu command sent synchronously, answered by the reply record. The data
// collection facade is such a channel; tests give the walk one of their own.
#pragma once

#include "platform/types.h"

#include <string>

class CMenuData;

class SyncMenuChannel {
public:
    virtual ~SyncMenuChannel() = default;

    // Sends `frame` unchanged and waits at most `timeoutMs` for the reply.
    // Returns the reply record, which the caller deletes, or null; `result`
    // receives 0 on success and 2 for a time-out of any kind (other codes
    // for other failures).
    virtual CMenuData* sendMenuCmdSync(int* result, std::string frame, DWORD timeoutMs) = 0;
};
