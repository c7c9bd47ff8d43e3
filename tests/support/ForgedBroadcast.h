// Window-broadcast datagrams as another program of the user could write
// them straight to this process's socket (the wire record of
// platform/virtual/WIRE.md, "Window broadcasts"), for the tests of what the
// listener lets through.
#pragma once

#include "platform/runtime.h"
#include "platform/types.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vxtest {

// The 32-byte record; another magic or version on request.
inline std::string broadcastDatagram(UINT message, std::uint64_t wParam, std::int64_t lParam,
                                     const char* magic = "VXWB", std::uint32_t version = 1)
{
    std::string bytes(32, '\0');
    std::memcpy(&bytes[0], magic, 4);
    std::memcpy(&bytes[4], &version, 4);
    const std::uint32_t number = message;
    std::memcpy(&bytes[8], &number, 4);
    const std::uint32_t pid = 1;
    std::memcpy(&bytes[12], &pid, 4);
    std::memcpy(&bytes[16], &wParam, 8);
    std::memcpy(&bytes[24], &lParam, 8);
    return bytes;
}

// Sends `bytes` as one datagram to this process's broadcast socket (bound
// once the process has a top-level window).
inline void sendBroadcastToSelf(const std::string& bytes)
{
    const std::string path = platform::runtimeDirectory() + "/broadcast/" + std::to_string(::getpid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address),
              static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

}  // namespace vxtest
