// Virtual serial ports, host side: the descriptor files that the simulated
// scanner publishes in the runtime directory, and the side channel to the
// device (platform/virtual/WIRE.md has the format). Implemented in
// platform/virtual/serial_*.cpp.
#pragma once

#include "platform/serial.h"
#include "platform/types.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct VirtualSerialDescriptor {
    std::string id;           // file stem; the COM table's key
    std::string ptyPath;      // the slave end the host opens
    std::string controlPath;  // the side channel's socket
    std::string deviceKind;   // "Serial", "Serial_ptvd" ...
    bool hasDefaultConfig = true;
    // A port behind the filter driver may publish its management port as a
    // channel of its own (both empty when it does not).
    std::string managementPtyPath;
    std::string managementControlPath;

    bool hasManagementChannel() const { return !managementPtyPath.empty() && !managementControlPath.empty(); }
};

// <runtime>/serial
std::string virtualSerialDirectory();

// The virtual ports whose device is alive now (descriptors left behind by a
// device that died are skipped), in id order.
std::vector<VirtualSerialDescriptor> listVirtualSerialPorts();

// The connection to one virtual port's device, owned by the open handle.
// Thread safety: every call may run on any thread; requests are serialised.
class VirtualSerialChannel {
public:
    ~VirtualSerialChannel();
    VirtualSerialChannel(const VirtualSerialChannel&) = delete;
    VirtualSerialChannel& operator=(const VirtualSerialChannel&) = delete;

    // Connects and greets the device; null with `*error` set (1167 when the
    // device is not there).
    static std::unique_ptr<VirtualSerialChannel> connect(const std::string& controlPath, DWORD* error);

    // Each returns ERROR_SUCCESS or a platform code: 1167 once the device
    // has gone, 1460 when it did not answer in time, or the code it answered.
    DWORD sendLine(const DCB& dcb);
    DWORD sendSignals(bool dtr, bool rts);
    DWORD sendBreak(bool on);
    DWORD ioControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
    // The device's lines as MS_*_ON bits, after taking in every notice that
    // has arrived; 1167 once the device has gone.
    DWORD modemStatus(DWORD* status);

    // For waiting: readable when a notice (or the device's hang-up) waits.
    int pollDescriptor() const { return m_fd; }

private:
    explicit VirtualSerialChannel(int fd) : m_fd(fd) {}
    DWORD request(const std::string& message, std::string* reply);
    // Takes one packet if one waits (or waits up to `timeoutMs` for it);
    // notices are applied and not returned. Called with m_mutex held.
    DWORD receive(int timeoutMs, std::string* reply, bool* gotReply);
    void applyNotice(const std::string& message);

    int m_fd;
    std::mutex m_mutex;
    DWORD m_lines = 0;
    bool m_gone = false;
};

}  // namespace platform
