// A bare device for the serial backend's tests: publishes a virtual serial
// port exactly as platform/virtual/WIRE.md says (pty, side channel,
// descriptor), records what the host sends over the side channel and lets
// the test read and write the pty's master end itself. It knows nothing of
// scanners: the simulated scanner is tested on its own.
#pragma once

#include "TestSupport.h"

#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <asm/termios.h>  // termios2: <termios.h> cannot show the pty's true rate
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace vxtest {

class SerialTestPeer {
public:
    explicit SerialTestPeer(std::string id, std::string kind = "Serial", bool defaultConfig = true)
        : m_id(std::move(id))
    {
        const std::string dir = platform::runtimeDirectory() + "/serial";
        ::mkdir(dir.c_str(), 0700);
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(m_master, 0);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        char name[128] = {};
        ::ptsname_r(m_master, name, sizeof name);
        m_slavePath = name;
        // Held so that the master never sees a hang-up between host opens.
        m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios2 raw{};
        ::ioctl(m_slaveKeep, TCGETS2, &raw);
        raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
        raw.c_oflag &= ~OPOST;
        raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        ::ioctl(m_slaveKeep, TCSETS2, &raw);

        m_socketPath = dir + "/" + m_id + ".sock";
        m_listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_socketPath.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_listener, 4), 0);
        m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

        m_descriptorPath = dir + "/" + m_id + ".port";
        const std::string temporary = dir + "/." + m_id + ".tmp";
        m_descriptor = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string text = "pty=" + m_slavePath + "\ncontrol=" + m_socketPath + "\ndevice=" + kind +
                                 "\ndefault-config=" + (defaultConfig ? "1" : "0") + "\n";
        EXPECT_EQ(::write(m_descriptor, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        EXPECT_EQ(::flock(m_descriptor, LOCK_EX), 0);
        EXPECT_EQ(::rename(temporary.c_str(), m_descriptorPath.c_str()), 0);
        m_thread = std::thread([this] { serve(); });
    }

    ~SerialTestPeer()
    {
        hangUp();
    }

    const std::string& slavePath() const { return m_slavePath; }
    const std::string& descriptorPath() const { return m_descriptorPath; }
    const std::string& socketPath() const { return m_socketPath; }

    // The termios the host left on the pty, as the kernel holds it.
    termios2 ptySettings() const
    {
        termios2 t{};
        EXPECT_EQ(::ioctl(m_slaveKeep, TCGETS2, &t), 0);
        return t;
    }

    // The side-channel requests so far, in order.
    std::vector<std::string> messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    // The last request beginning with `verb` ("" when none).
    std::string last(const std::string& verb) const
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_messages.rbegin(); it != m_messages.rend(); ++it)
            if (it->compare(0, verb.size() + 1, verb + " ") == 0)
                return *it;
        return {};
    }
    std::size_t count(const std::string& verb) const
    {
        std::lock_guard lock(m_mutex);
        std::size_t n = 0;
        for (const auto& m : m_messages)
            n += m.compare(0, verb.size() + 1, verb + " ") == 0 ? 1 : 0;
        return n;
    }
    bool connected() const { return m_connected.load(); }

    // The reply to every later IOCTL request ("ERR 1" until set).
    void setIoctlReply(std::string reply)
    {
        std::lock_guard lock(m_mutex);
        m_ioctlReply = std::move(reply);
    }
    // The lines the HELLO reply reports and a LINES notice announces.
    void setLines(unsigned lines)
    {
        {
            std::lock_guard lock(m_mutex);
            m_lines = lines;
            m_linesChanged = true;
        }
        wake();
    }

    void write(const std::string& bytes)
    {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads from the master end until `count` bytes are in or `bound` passes.
    std::string read(std::size_t count, std::chrono::milliseconds bound = std::chrono::seconds(20))
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 50);
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Unplugs: the descriptor goes, then the side channel and the pty.
    void hangUp()
    {
        if (m_hungUp.exchange(true))
            return;
        m_stop.store(true);
        wake();
        if (m_thread.joinable())
            m_thread.join();
        ::unlink(m_descriptorPath.c_str());
        ::unlink(m_socketPath.c_str());
        for (int fd : {m_client, m_listener, m_master, m_slaveKeep, m_wake, m_descriptor})
            if (fd >= 0)
                ::close(fd);
    }

private:
    void wake()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    }

    void reply(const std::string& text)
    {
        ::send(m_client, text.data(), text.size(), MSG_NOSIGNAL);
    }

    void serve()
    {
        while (!m_stop.load()) {
            pollfd fds[3] = {{m_wake, POLLIN, 0}, {m_listener, POLLIN, 0}, {m_client, POLLIN, 0}};
            ::poll(fds, m_client >= 0 ? 3 : 2, -1);
            if (fds[0].revents != 0) {
                std::uint64_t v;
                [[maybe_unused]] const ssize_t n = ::read(m_wake, &v, sizeof v);
                std::lock_guard lock(m_mutex);
                if (m_linesChanged && m_client >= 0)
                    reply("LINES " + std::to_string(m_lines));
                m_linesChanged = false;
            }
            if ((fds[1].revents & POLLIN) != 0) {
                if (m_client >= 0)
                    ::close(m_client);
                m_client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            }
            if (m_client >= 0 && fds[2].revents != 0) {
                char buffer[8192];
                const ssize_t n = ::recv(m_client, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    ::close(m_client);
                    m_client = -1;
                    m_connected.store(false);
                    continue;
                }
                const std::string message(buffer, static_cast<std::size_t>(n));
                std::lock_guard lock(m_mutex);
                m_messages.push_back(message);
                if (message.compare(0, 5, "HELLO") == 0) {
                    m_connected.store(true);
                    reply("OK lines=" + std::to_string(m_lines));
                } else if (message.compare(0, 5, "IOCTL") == 0) {
                    reply(m_ioctlReply);
                } else {
                    reply("OK");
                }
            }
        }
    }

    std::string m_id;
    std::string m_slavePath;
    std::string m_socketPath;
    std::string m_descriptorPath;
    int m_master = -1;
    int m_slaveKeep = -1;
    int m_listener = -1;
    int m_client = -1;
    int m_wake = -1;
    int m_descriptor = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hungUp{false};
    std::atomic<bool> m_connected{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
    std::string m_ioctlReply = "ERR 1";
    unsigned m_lines = 0xB0;
    bool m_linesChanged = false;
};

}  // namespace vxtest
