// Handles: validation of stale, made-up and wrong-kind handles.

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vxtest::ScopedHandle;

HANDLE closedHandle()
{
    const HANDLE handle = vxtest::manualEvent();
    CloseHandle(handle);
    return handle;
}

int g_someMemory = 0;

struct BadHandle {
    const char* name;
    HANDLE handle;
};

TEST(Handle, StaleAndMadeUpHandlesFailWithInvalidHandle)
{
    const BadHandle handles[] = {
        {"null", nullptr},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
        {"small number", reinterpret_cast<HANDLE>(std::uintptr_t{0x1234})},
        {"pointer to memory", static_cast<HANDLE>(&g_someMemory)},
        {"closed", closedHandle()},
    };
    for (const BadHandle& bad : handles) {
        SCOPED_TRACE(bad.name);
        const auto expectInvalid = [](bool failed, const char* call) {
            EXPECT_TRUE(failed) << call;
            EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << call;
            SetLastError(ERROR_SUCCESS);
        };
        DWORD code = 0;
        expectInvalid(!CloseHandle(bad.handle), "CloseHandle");
        expectInvalid(!SetEvent(bad.handle), "SetEvent");
        expectInvalid(!ResetEvent(bad.handle), "ResetEvent");
        expectInvalid(!ReleaseMutex(bad.handle), "ReleaseMutex");
        expectInvalid(!ReleaseSemaphore(bad.handle, 1, nullptr), "ReleaseSemaphore");
        expectInvalid(!GetExitCodeThread(bad.handle, &code), "GetExitCodeThread");
        expectInvalid(WaitForSingleObject(bad.handle, 0) == WAIT_FAILED, "WaitForSingleObject");
    }
}

TEST(Handle, ValuesAreNeverReused)
{
    const HANDLE first = vxtest::manualEvent();
    ASSERT_TRUE(CloseHandle(first));
    for (int i = 0; i < 100; ++i) {
        ScopedHandle next(vxtest::manualEvent());
        ASSERT_NE(next.get(), first);
    }
    EXPECT_FALSE(SetEvent(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Handle, ASecondHandleKeepsTheObjectAlive)
{
    const HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "vx-handle-alive");
    ScopedHandle second(CreateEventA(nullptr, TRUE, FALSE, "vx-handle-alive"));
    ASSERT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CloseHandle(first));
    EXPECT_TRUE(SetEvent(second.get()));
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_OBJECT_0);
    EXPECT_FALSE(SetEvent(first));
}

TEST(Handle, WrongKindFailsWithInvalidHandle)
{
    ScopedHandle event(vxtest::manualEvent());
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 1, nullptr));
    DWORD code = 0;
    EXPECT_FALSE(SetEvent(semaphore.get()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReleaseMutex(semaphore.get()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReleaseSemaphore(mutex.get(), 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetExitCodeThread(event.get(), &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
