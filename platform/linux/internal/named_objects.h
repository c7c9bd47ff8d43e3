// Named kernel objects (events, semaphores, mutexes).
//
// Names are process-local: one object per name in this process, alive while
// any handle (or other reference) holds it; the name is free again when the
// object is destroyed. A name beginning "Global\" is also marked
// machine-wide (see named_objects.cpp), so that a second process creating
// it hears ERROR_ALREADY_EXISTS too; only existence is shared, not state.
#pragma once

#include "linux/internal/handles.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

using ObjectFactory = std::function<std::shared_ptr<KernelObject>()>;
using KindCheck = bool (*)(const KernelObject& object);

// The Create* behaviour. A null or empty name creates an unnamed object. An
// existing object of the kind gets a new handle and last error
// ERROR_ALREADY_EXISTS (183); one of another kind gives null and
// ERROR_INVALID_HANDLE (6). A new object gets last error 0, or 183 when
// another process holds the same "Global\" name. `create` runs only for a
// new object.
HANDLE createNamedObject(const char* name, KindCheck isKind, const ObjectFactory& create);

// The Open* behaviour: null with ERROR_FILE_NOT_FOUND (2) when no object of
// that name lives in this process, ERROR_INVALID_HANDLE (6) when it is of
// another kind.
HANDLE openNamedObject(const char* name, KindCheck isKind);

template <typename T>
bool isKind(const KernelObject& object)
{
    return dynamic_cast<const T*>(&object) != nullptr;
}

template <typename T>
HANDLE createNamedObject(const char* name, const ObjectFactory& create)
{
    return createNamedObject(name, &isKind<T>, create);
}

template <typename T>
HANDLE openNamedObject(const char* name)
{
    return openNamedObject(name, &isKind<T>);
}

}  // namespace platform
