// Last error, the errno mapping and the system error texts.

#include "platform/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

namespace {

struct ErrnoCase {
    int err;
    const char* name;
    DWORD code;
};

const ErrnoCase kErrnoCases[] = {
    {0, "0", ERROR_SUCCESS},
    {ENOENT, "ENOENT", ERROR_FILE_NOT_FOUND},
    {ENOTDIR, "ENOTDIR", ERROR_PATH_NOT_FOUND},
    {ENAMETOOLONG, "ENAMETOOLONG", ERROR_PATH_NOT_FOUND},
    {EACCES, "EACCES", ERROR_ACCESS_DENIED},
    {EPERM, "EPERM", ERROR_ACCESS_DENIED},
    {EROFS, "EROFS", ERROR_ACCESS_DENIED},
    {EBADF, "EBADF", ERROR_INVALID_HANDLE},
    {ENOMEM, "ENOMEM", ERROR_NOT_ENOUGH_MEMORY},
    {EMFILE, "EMFILE", ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL, "EINVAL", ERROR_INVALID_PARAMETER},
    {EEXIST, "EEXIST", ERROR_ALREADY_EXISTS},
    {EBUSY, "EBUSY", ERROR_BUSY},
    {ENOSPC, "ENOSPC", ERROR_DISK_FULL},
    {ETIMEDOUT, "ETIMEDOUT", ERROR_TIMEOUT},
    {EIO, "EIO", ERROR_DEVICE_NOT_CONNECTED},
    {ENXIO, "ENXIO", ERROR_DEVICE_NOT_CONNECTED},
    {ENODEV, "ENODEV", ERROR_DEVICE_NOT_CONNECTED},
    {EPIPE, "EPIPE", ERROR_DEVICE_NOT_CONNECTED},
    {ECONNRESET, "ECONNRESET", ERROR_DEVICE_NOT_CONNECTED},
    {ENOTCONN, "ENOTCONN", ERROR_DEVICE_NOT_CONNECTED},
    {ECONNREFUSED, "ECONNREFUSED", ERROR_DEVICE_NOT_CONNECTED},
    {EAGAIN, "EAGAIN", ERROR_IO_PENDING},
    {EWOULDBLOCK, "EWOULDBLOCK", ERROR_IO_PENDING},
    {EINTR, "EINTR", ERROR_OPERATION_ABORTED},
    {ECANCELED, "ECANCELED", ERROR_OPERATION_ABORTED},
    {ENOTTY, "ENOTTY", ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, "EOPNOTSUPP", ERROR_NOT_SUPPORTED},
    {EXDEV, "EXDEV (unlisted)", ERROR_GEN_FAILURE},
    {12345, "12345 (no such errno)", ERROR_GEN_FAILURE},
};

// Every code of types.h that the layer produces or callers compare.
const DWORD kCodesWithText[] = {
    ERROR_SUCCESS, ERROR_INVALID_FUNCTION, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
    ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY,
    ERROR_NOT_READY, ERROR_GEN_FAILURE, ERROR_SHARING_VIOLATION, ERROR_NOT_SUPPORTED,
    ERROR_INVALID_PARAMETER, ERROR_BROKEN_PIPE, ERROR_DISK_FULL, ERROR_INSUFFICIENT_BUFFER,
    ERROR_BUSY, ERROR_ALREADY_EXISTS, ERROR_MORE_DATA, WAIT_TIMEOUT, ERROR_NO_MORE_ITEMS,
    ERROR_NOT_OWNER, ERROR_TOO_MANY_POSTS, ERROR_OPERATION_ABORTED, ERROR_IO_INCOMPLETE,
    ERROR_IO_PENDING, ERROR_KEY_DELETED, ERROR_DEVICE_NOT_CONNECTED, ERROR_NOT_FOUND,
    ERROR_ALREADY_INITIALIZED, ERROR_INTERNAL_ERROR, ERROR_TIMEOUT, static_cast<DWORD>(E_INVALIDARG),
};

constexpr DWORD kSystemFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

std::string formatA(DWORD code, DWORD size = 512)
{
    std::string buffer(size, '#');
    const DWORD length = FormatMessageA(kSystemFlags, nullptr, code, kLanguage, buffer.data(), size, nullptr);
    buffer.resize(length);
    return buffer;
}

TEST(ErrnoMapping, MapsEachErrnoToThePlatformCode)
{
    for (const ErrnoCase& c : kErrnoCases)
        EXPECT_EQ(platform::errorFromErrno(c.err), c.code) << c.name;
}

TEST(ErrnoMapping, EveryMappedCodeHasASystemText)
{
    for (const ErrnoCase& c : kErrnoCases)
        EXPECT_NE(platform::systemErrorText(platform::errorFromErrno(c.err)), nullptr) << c.name;
}

TEST(ErrnoMapping, SetLastErrorFromErrnoSetsAndAnswersTheCode)
{
    errno = EACCES;
    EXPECT_EQ(platform::setLastErrorFromErrno(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(LastError, BelongsToEachThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenByOther = 999;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(ERROR_TIMEOUT);
    });
    other.join();
    EXPECT_EQ(seenByOther, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(FormatMessage, EveryCodeOfTheLayerHasASystemStyleText)
{
    for (const DWORD code : kCodesWithText) {
        SCOPED_TRACE("code " + std::to_string(code));
        const std::string text = formatA(code);
        ASSERT_GT(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        EXPECT_EQ(text.find("\r\n"), text.size() - 2) << "one line only";
        EXPECT_EQ(text, platform::systemErrorText(code));
    }
}

TEST(FormatMessage, AccessDeniedHasItsText)
{
    EXPECT_EQ(formatA(ERROR_ACCESS_DENIED), "Access was denied.\r\n");
}

TEST(FormatMessage, CodesWithoutATextFailWithNotFound)
{
    const DWORD unknown[] = {4242, 4, 7, 289, 0xFFFFFFFFu, 0x80004005u};
    for (const DWORD code : unknown) {
        SCOPED_TRACE("code " + std::to_string(code));
        char buffer[64] = "untouched";
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, code, kLanguage, buffer, sizeof buffer, nullptr), 0u);
        EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
        EXPECT_STREQ(buffer, "untouched");
        EXPECT_EQ(platform::systemErrorText(code), nullptr);
    }
}

TEST(FormatMessage, ShortBufferFailsWithInsufficientBuffer)
{
    const std::string text = platform::systemErrorText(ERROR_ACCESS_DENIED);
    const auto exact = static_cast<DWORD>(text.size() + 1);  // room for the NUL
    EXPECT_EQ(formatA(ERROR_ACCESS_DENIED, exact), text);

    char buffer[64];
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, ERROR_ACCESS_DENIED, kLanguage, buffer, exact - 1, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(FormatMessage, OnlySystemTextsIntoACallersBufferAreOffered)
{
    char buffer[64];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, kLanguage, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    constexpr DWORD kAllocateBuffer = 0x00000100u;  // not offered: the buffer would be an LPSTR*
    EXPECT_EQ(FormatMessageA(kSystemFlags | kAllocateBuffer, nullptr, ERROR_ACCESS_DENIED, kLanguage, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FormatMessage, WideTextEqualsNarrowText)
{
    for (const DWORD code : kCodesWithText) {
        wchar_t buffer[256];
        const DWORD length = FormatMessageW(kSystemFlags, nullptr, code, kLanguage, buffer, 256, nullptr);
        const std::string narrow = platform::systemErrorText(code);
        ASSERT_EQ(length, narrow.size()) << code;
        EXPECT_EQ(std::wstring(buffer, length), std::wstring(narrow.begin(), narrow.end())) << code;
        EXPECT_EQ(buffer[length], L'\0');
    }
    wchar_t buffer[16];
    EXPECT_EQ(FormatMessageW(kSystemFlags, nullptr, 4242, kLanguage, buffer, 16, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
}

}  // namespace
