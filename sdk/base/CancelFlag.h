// The cancel byte: a one-byte flag owned by the caller of a long SDK
// operation. One thread (the caller, a facade's cancel operation, the service
// object, the Java bridge) sets it while a worker thread polls it through
// CStopper. Every read and every write of such a byte goes through these
// helpers, so that the byte is always accessed atomically, never as a plain
// shared variable.
//
// A null flag means "cannot be cancelled": reads answer false, writes do
// nothing.
#pragma once

#include <atomic>

// True when a cancel has been requested on `flag` (the byte is non-zero).
inline bool isCancelRequested(const unsigned char* flag)
{
    if (flag == nullptr) {
        return false;
    }
    // atomic_ref needs a non-const referent; the load does not modify it.
    return std::atomic_ref<unsigned char>(*const_cast<unsigned char*>(flag)).load(std::memory_order_acquire) != 0;
}

// Asks every worker polling `flag` to stop.
inline void requestCancel(unsigned char* flag)
{
    if (flag != nullptr) {
        std::atomic_ref<unsigned char>(*flag).store(1, std::memory_order_release);
    }
}

// Clears a cancel request, before the flag is handed to the next operation.
inline void clearCancel(unsigned char* flag)
{
    if (flag != nullptr) {
        std::atomic_ref<unsigned char>(*flag).store(0, std::memory_order_release);
    }
}
