// Permission checks as a plain user meets them, for tests that also run as
// root (CI does): root passes every file permission check, so a read-only
// file or folder stops it only once it has dropped that power.
#pragma once

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace vxtest {

// The user another user's files are given to (chown needs root).
constexpr uid_t kOtherUid = 65534;

inline bool runningAsRoot() { return ::geteuid() == 0; }

// While it lives, the calling thread (and the threads it starts) meet file
// permissions as their owner would: the capabilities that override them
// leave the effective set, and come back at the end of the scope.
class PlainFilePermissions {
public:
    PlainFilePermissions()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        EXPECT_EQ(::syscall(SYS_capget, &m_header, m_saved), 0);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1u << (capability % 32));
        EXPECT_EQ(::syscall(SYS_capset, &m_header, reduced), 0);
    }
    ~PlainFilePermissions() { ::syscall(SYS_capset, &m_header, m_saved); }
    PlainFilePermissions(const PlainFilePermissions&) = delete;
    PlainFilePermissions& operator=(const PlainFilePermissions&) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
};

}  // namespace vxtest
