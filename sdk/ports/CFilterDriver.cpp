#include "ports/CFilterDriver.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/file.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The driver's interface GUID {5B4DD1F8-1E57-4DA1-80DC-9B963B5D959E} as it
// travels in a record.
constexpr std::array<unsigned char, 16> kInterfaceGuid = {0xf8, 0xd1, 0x4d, 0x5b, 0x57, 0x1e, 0xa1, 0x4d,
                                                          0x80, 0xdc, 0x9b, 0x96, 0x3b, 0x5d, 0x95, 0x9e};

constexpr DWORD kSetTransMode = 0x8023A004;
constexpr DWORD kSetTransTimeoutFirst = 0x8023A008;
constexpr DWORD kSetTransTimeoutSecond = 0x8023A00C;
constexpr DWORD kGetOrigPortString = 0x80232018;
constexpr DWORD kGetFDLOBPortString = 0x8023201C;
constexpr DWORD kSetWrapper = 0x80232020;
constexpr DWORD kIsWrapper = 0x80232024;
constexpr DWORD kIsInTransMode = 0x8022200C;

constexpr DWORD kOrigPortAnswerSize = 520;
constexpr std::size_t kOrigPortTextOffset = 4;
constexpr DWORD kLobPortAnswerSize = 2560;
constexpr std::size_t kLobPortTextOffset = 512;

void putU32(unsigned char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t getU32(const unsigned char* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// GUID, own size, value: the record of the mode requests and the queries.
std::array<unsigned char, 24> valueRecord(std::uint32_t value)
{
    std::array<unsigned char, 24> record{};
    std::memcpy(record.data(), kInterfaceGuid.data(), kInterfaceGuid.size());
    putU32(record.data() + 16, static_cast<std::uint32_t>(record.size()));
    putU32(record.data() + 20, value);
    return record;
}

bool send(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize)
{
    DWORD returned = 0;
    return DeviceIoControl(handle, code, in, inSize, out, outSize, &returned, nullptr) != FALSE;
}

// The driver's answer is UTF-16LE: 16-bit units from `offset`, up to the
// first NUL or the end of the answer buffer, whichever comes first, each
// narrowed to its low byte.
std::string textFrom(const std::vector<unsigned char>& answer, std::size_t offset)
{
    std::u16string text;
    for (std::size_t at = offset; at + 1 < answer.size(); at += 2) {
        const char16_t unit = static_cast<char16_t>(answer[at] | answer[at + 1] << 8);
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return wstringToString(std::wstring(text.begin(), text.end()));
}

std::string queryText(HANDLE handle, DWORD code, DWORD answerSize, std::size_t offset)
{
    std::vector<unsigned char> answer(answerSize, 0);
    if (!send(handle, code, nullptr, 0, answer.data(), answerSize)) {
        GetLastError();  // the cause is not kept
        return {};
    }
    return textFrom(answer, offset);
}

// Sends a zero-valued record and reads the value of the same record back.
bool queryValue(HANDLE handle, DWORD code, std::uint32_t* value)
{
    std::array<unsigned char, 24> record = valueRecord(0);
    if (!send(handle, code, record.data(), static_cast<DWORD>(record.size()), record.data(),
              static_cast<DWORD>(record.size())))
        return false;
    *value = getU32(record.data() + 20);
    return true;
}

}  // namespace

std::string CFilterDriver::getFDQoxPort(std::string)
{
    return {};
}

bool CFilterDriver::setTransMode(HANDLE handle, int mode)
{
    CLogHelper trace("CFilterDriver::setTransMode");
    std::array<unsigned char, 24> record = valueRecord(static_cast<std::uint32_t>(mode));
    return send(handle, kSetTransMode, record.data(), static_cast<DWORD>(record.size()), nullptr, 0);
}

bool CFilterDriver::setTransTimeOut(HANDLE handle, int milliseconds)
{
    CLogHelper trace("CFilterDriver::setTransTimeOut");
    std::array<unsigned char, 32> record{};
    std::memcpy(record.data(), kInterfaceGuid.data(), kInterfaceGuid.size());
    putU32(record.data() + 16, static_cast<std::uint32_t>(record.size()));
    // Bytes 20-23 are padding; the time-out is a 64-bit value, the 32-bit
    // argument zero-extended.
    const std::uint64_t timeout = static_cast<std::uint32_t>(milliseconds);
    putU32(record.data() + 24, static_cast<std::uint32_t>(timeout));
    putU32(record.data() + 28, static_cast<std::uint32_t>(timeout >> 32));
    if (!send(handle, kSetTransTimeoutFirst, record.data(), static_cast<DWORD>(record.size()), nullptr, 0))
        return false;
    return send(handle, kSetTransTimeoutSecond, record.data(), static_cast<DWORD>(record.size()), nullptr, 0);
}

bool CFilterDriver::resetTransTimeout(HANDLE handle, int milliseconds)
{
    CLogHelper trace("CFilterDriver::resetTransTimeout");
    if (!setTransMode(handle, 0)) {
        SDK_LOG(logbit::error, "CFilterDriver::resetTransTimeout", "Cann't exit transaction mode.");
        return false;
    }
    if (!setTransTimeOut(handle, milliseconds)) {
        SDK_LOG(logbit::error, "CFilterDriver::resetTransTimeout", "Cann't Set transaction mode timeout.");
        return false;
    }
    if (!setTransMode(handle, 1)) {
        SDK_LOG(logbit::error, "CFilterDriver::resetTransTimeout", "Cann't enter transaction mode.");
        return false;
    }
    return true;
}

bool CFilterDriver::setWrapper(HANDLE handle, bool wrapper)
{
    CLogHelper trace("CFilterDriver::setWrapper");
    std::array<unsigned char, 24> record = valueRecord(wrapper ? 1 : 0);
    return send(handle, kSetWrapper, record.data(), static_cast<DWORD>(record.size()), nullptr, 0);
}

bool CFilterDriver::isInTransMode(HANDLE handle)
{
    CLogHelper trace("CFilterDriver::isInTransMode");
    std::uint32_t value = 0;
    if (!queryValue(handle, kIsInTransMode, &value)) {
        SDK_LOG(logbit::error, "CFilterDriver::isInTransMode",
                "#####ERROR - IOCTL_PTVDCI_GET_QOX_POSSIBLE can't set to the port.");
        return false;
    }
    SDK_LOG(logbit::trace, "CFilterDriver::isInTransMode", "Successfully Sent IOCTL_PTVDCI_GET_QOX_POSSIBLE.");
    SDK_LOG(logbit::trace, "CFilterDriver::isInTransMode",
            value != 0 ? "Qox IS IN TRANSACTION MODE ..." : "Qox IS NOT IN TRANSACTION MODE ...");
    return value != 0;
}

bool CFilterDriver::isWrapper(HANDLE handle)
{
    CLogHelper trace("CFilterDriver::isWrapper");
    std::uint32_t value = 0;
    if (!queryValue(handle, kIsWrapper, &value)) {
        SDK_LOG(logbit::error, "CFilterDriver::isWrapper",
                "#####ERROR - IOCTL_QOXCI_GET_DO_NOT_UNWRAP_LOB_DATA can't set to the port.");
        return false;
    }
    SDK_LOG(logbit::trace, "CFilterDriver::isWrapper", "Successfully Sent IOCTL_QOXCI_GET_DO_NOT_UNWRAP_LOB_DATA.");
    SDK_LOG(logbit::trace, "CFilterDriver::isWrapper",
            value != 0 ? "Qox IS IN UNWRAPPER MODE ..." : "Qox IS NOT IN UNWRAPPER MODE ...");
    return value != 0;
}

std::string CFilterDriver::getOrigPortString(HANDLE handle)
{
    CLogHelper trace("CFilterDriver::getOrigPortString");
    return queryText(handle, kGetOrigPortString, kOrigPortAnswerSize, kOrigPortTextOffset);
}

std::string CFilterDriver::getFDLOBPortString(HANDLE handle)
{
    CLogHelper trace("CFilterDriver::getFDLOBPortString");
    return queryText(handle, kGetFDLOBPortString, kLobPortAnswerSize, kLobPortTextOffset);
}
