// The handle table: how a HANDLE names a kernel object of the layer.
//
// Every kernel object (event, semaphore, mutex, thread, and later serial
// ports, HID devices ...) is a subclass of platform::KernelObject, owned
// through std::shared_ptr: each handle holds one reference, and so may anything
// else that needs the object alive (a running thread holds its own thread
// object). A HANDLE is a number that indexes the table; it is never a pointer
// and never reused, so a closed or made-up handle is looked up, not
// dereferenced, and fails with ERROR_INVALID_HANDLE (6).
//
// Thread safety: every function here may be called from any thread.
#pragma once

#include "platform/error.h"
#include "platform/types.h"

#include <memory>

namespace platform {

// Something an object holds for its whole life and gives up when it is
// destroyed: a named object's claim on its name (see named_objects.cpp).
class ObjectAttachment {
public:
    virtual ~ObjectAttachment() = default;
};

class KernelObject : public std::enable_shared_from_this<KernelObject> {
public:
    KernelObject() = default;
    virtual ~KernelObject();
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // Gives the object an attachment that lives exactly as long as it does.
    // Call before the object is shared (made into a handle).
    void attach(std::unique_ptr<ObjectAttachment> attachment) { m_attachment = std::move(attachment); }

private:
    std::unique_ptr<ObjectAttachment> m_attachment;
};

// Enters `object` in the table and answers a new handle for it (never null
// or INVALID_HANDLE_VALUE). Null object: null handle, last error 87.
HANDLE makeHandle(std::shared_ptr<KernelObject> object);

// The object a handle names, or null with last error ERROR_INVALID_HANDLE.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);

// The object a handle names when it is of kind T; otherwise null with last
// error ERROR_INVALID_HANDLE (6), as the platform answers for a handle of
// the wrong kind.
template <typename T>
std::shared_ptr<T> objectFromHandle(HANDLE handle)
{
    std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(lookupHandle(handle));
    if (object == nullptr)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Removes a handle from the table; the object is destroyed here when that
// was its last reference (outside the table's lock, so a destructor may use
// the table). False with last error 6 for an unknown handle.
bool closeHandle(HANDLE handle);

}  // namespace platform
