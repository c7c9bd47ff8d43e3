// The simulated filter driver's requests.
#include "simulator/serial_filter_driver.h"

#include <algorithm>
#include <cstring>

namespace vxsim {

namespace {

// The driver's interface GUID as it travels: {5B4DD1F8-1E57-4DA1-80DC-9B963B5D959E}.
constexpr unsigned char kInterfaceGuid[16] = {0xf8, 0xd1, 0x4d, 0x5b, 0x57, 0x1e, 0xa1, 0x4d,
                                              0x80, 0xdc, 0x9b, 0x96, 0x3b, 0x5d, 0x95, 0x9e};

constexpr std::uint32_t kSetTransMode = 0x8023A004;
constexpr std::uint32_t kSetTimeoutFirst = 0x8023A008;
constexpr std::uint32_t kSetTimeoutSecond = 0x8023A00C;
constexpr std::uint32_t kGetOrigPort = 0x80232018;
constexpr std::uint32_t kGetLobPort = 0x8023201C;
constexpr std::uint32_t kSetWrapper = 0x80232020;
constexpr std::uint32_t kGetWrapper = 0x80232024;
constexpr std::uint32_t kGetTransPossible = 0x8022200C;

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// A record of the driver's interface: the GUID, its own size, as large as
// the request needs.
bool validRecord(const std::vector<unsigned char>& input, std::uint32_t size)
{
    return input.size() >= size && std::memcmp(input.data(), kInterfaceGuid, 16) == 0 && u32(input, 16) == size;
}

// The text as UTF-16LE with its NUL, placed at `offset` of an answer of
// `outputSize` bytes; what does not fit is cut off.
std::vector<unsigned char> textAnswer(const std::string& text, std::size_t offset, std::uint32_t outputSize)
{
    std::vector<unsigned char> out(offset, 0);
    for (char c : text) {
        out.push_back(static_cast<unsigned char>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    out.resize(std::min<std::size_t>(out.size(), outputSize));
    return out;
}

DeviceAnswer valueAnswer(const std::vector<unsigned char>& input, std::uint32_t value, std::uint32_t outputSize)
{
    DeviceAnswer a;
    a.output.assign(input.begin(), input.begin() + 24);
    for (int i = 0; i < 4; ++i)
        a.output[20 + i] = static_cast<unsigned char>(value >> (8 * i));
    a.output.resize(std::min<std::size_t>(a.output.size(), outputSize));
    return a;
}

}  // namespace

DeviceAnswer SimulatedFilterDriver::handle(const DeviceRequest& request)
{
    DeviceAnswer answer;
    if (!m_model.present) {
        answer.error = kErrorInvalidFunction;
        return answer;
    }
    if (const auto failing = m_failing.find(request.code); failing != m_failing.end()) {
        answer.error = failing->second;
        return answer;
    }
    const auto& in = request.input;
    switch (request.code) {
    case kSetTransMode:
        if (!validRecord(in, 24))
            break;
        m_model.transactionMode = u32(in, 20) != 0;
        return answer;
    case kSetTimeoutFirst:
    case kSetTimeoutSecond:
        if (!validRecord(in, 32))
            break;
        m_model.transactionTimeout = static_cast<unsigned long long>(u32(in, 24)) |
                                     static_cast<unsigned long long>(u32(in, 28)) << 32;
        return answer;
    case kSetWrapper:
        if (!validRecord(in, 24))
            break;
        m_model.wrapper = u32(in, 20) != 0;
        return answer;
    case kGetWrapper:
        if (!validRecord(in, 24) || request.outputSize < 24)
            break;
        return valueAnswer(in, m_model.wrapper ? 1 : 0, request.outputSize);
    case kGetTransPossible:
        if (!validRecord(in, 24) || request.outputSize < 24)
            break;
        return valueAnswer(in, m_model.transactionMode ? 1 : 0, request.outputSize);
    case kGetOrigPort:
        answer.output = textAnswer(m_model.originalPort, 4, request.outputSize);
        return answer;
    case kGetLobPort:
        answer.output = textAnswer(m_model.lobPort, 512, request.outputSize);
        return answer;
    default:
        answer.error = kErrorInvalidFunction;
        return answer;
    }
    answer.error = kErrorInvalidParameter;
    return answer;
}

}  // namespace vxsim
