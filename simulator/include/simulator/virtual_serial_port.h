// A simulated scanner on a virtual serial port: a pseudo-terminal whose
// slave end the host opens as "\\.\COMn", and a side channel that carries
// the host's line settings, output lines, breaks and device requests
// (platform/virtual/WIRE.md, "Virtual serial ports").
//
// Behind the filter driver (model.filterDriver.present) the port also has a
// management port: a second pty and side channel that feed the same scanner.
// The driver lets the management port's bytes through to the scanner, and
// the scanner's answers back to it, at all times. While its transaction mode
// is on, what the scanner sends on its own (labels, images, send()) waits;
// then it goes to the line-of-business port while a host holds that, else
// to the management port while a host holds that. Both share the scanner's
// one line, whose settings are the line-of-business host's while one holds
// that port, else the management host's.
//
// With the model's wire time, every byte crosses the line in its time at
// the host's rate, in both directions: a byte for the host reaches the pty
// when its last bit would have arrived, and a byte from the host reaches
// the scanner only once it has crossed the line.
//
// The port serves on a thread of its own from plug() to unplug(). Every
// query below may be called from any thread while it serves; tests poll them
// with a bounded wait.
#pragma once

#include "simulator/serial_filter_driver.h"
#include "simulator/serial_model.h"
#include "simulator/serial_responder.h"
#include "simulator/timeline.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vxsim {

class VirtualSerialPort {
public:
    // `id` names the port in the runtime directory (letters, digits, '-',
    // '_', '.'); the host gives the same id the same COM number. Empty: the
    // model's name.
    explicit VirtualSerialPort(SerialModel model, std::string id = std::string());
    ~VirtualSerialPort();
    VirtualSerialPort(const VirtualSerialPort&) = delete;
    VirtualSerialPort& operator=(const VirtualSerialPort&) = delete;

    // Publishes the port and starts serving; false (see lastError) when the
    // pty, the socket or the descriptor cannot be made. Plugging a plugged
    // port does nothing.
    bool plug();
    // Removes the port: the host's handle hangs up (1167) and the port
    // leaves the host's lists. Waits for the serving thread to end.
    void unplug();
    bool isPlugged() const;
    std::string lastError() const;

    const std::string& id() const { return m_id; }
    const SerialModel& model() const { return m_model; }
    std::string ptyPath() const;
    // The management port's pty; empty for a port without the filter driver.
    std::string managementPtyPath() const;

    // What the host did (on the line-of-business port, unless said).
    bool hostConnected() const;
    bool managementConnected() const;  // a host holds the management port
    HostLine hostLine() const;
    bool dtr() const;
    bool rts() const;
    int breaksStarted() const;  // BREAK 1 requests so far
    bool inBreak() const;
    std::vector<DeviceRequest> requests() const;  // device requests on either port, in order
    std::vector<unsigned char> received() const;  // every data byte, in order
    // Those from the `from`-th on (a peer that polls takes only what is new).
    std::vector<unsigned char> received(std::size_t from) const;
    // Every line setting the host applied, with the number of bytes of
    // received() that came before it: those were sent under the earlier
    // settings, the later ones under this.
    std::vector<std::pair<std::size_t, HostLine>> lineHistory() const;
    // The management port's line settings and every data byte its host
    // sent (whether or not the driver let it through), in order.
    HostLine managementLine() const;
    std::vector<unsigned char> managementReceived() const;
    // As received(from) and lineHistory() for the management port; the line
    // is the one its bytes crossed the scanner's line under.
    std::vector<unsigned char> managementReceived(std::size_t from) const;
    std::vector<std::pair<std::size_t, HostLine>> managementLineHistory() const;
    // Opens, closes, data and device requests of both ports in order; kept
    // across unplugging and plugging back.
    std::vector<TimelineEvent> timeline() const;
    int pingsAnswered() const;
    FilterDriverModel filterDriverState() const;

    // What the device does.
    // Changes the device's modem lines (kLine* bits) and tells the host.
    void setModemLines(unsigned lines);
    // Sends bytes to the host as they are (wire time applies).
    void send(const std::vector<unsigned char>& bytes);
    // When the last byte the device has sent so far reached the host (each
    // byte is handed over at its wire time); the clock's epoch before any.
    std::chrono::steady_clock::time_point deliveredAt() const;
    // How long the line has carried bytes so far, each way: the sum of
    // every byte's wire time at the rate it was sent under (0 without wire
    // time).
    struct LineTime {
        std::chrono::nanoseconds toHost{0};
        std::chrono::nanoseconds fromHost{0};
    };
    LineTime lineTime() const;
    // Scans a label: its packet (or the label alone with the decode header
    // off), with the data faults applied. Pieces of a split packet leave a
    // millisecond apart.
    void scan(const std::string& label, char codeId = 'd', const std::string& aim = "E0");
    // Scans several labels and sends them joined in one write.
    void scanJoined(const std::vector<std::string>& labels, char codeId = 'd', const std::string& aim = "E0");
    // Sends an image packet (format digit 0 to 8).
    void sendImage(const std::string& bytes, int format = 3);
    // Replaces the menu settings and replies (the model's at first).
    void setMenuModel(MenuModel menu);
    void setDataFaults(DataFaults faults);
    // Every menu command the device received, in order (see MenuEngine).
    std::vector<std::string> menuCommands() const;
    bool decodeHeader() const;
    // Stops answering the sync command.
    void setSilent(bool silent);
    // Labels the scanner reads just as each later sync command arrives: the
    // `before` ones go out ahead of its answer, the `after` ones behind it
    // (the sync command of a host that pings a scanner in use). Like every
    // label they wait while the filter driver's transaction mode is on.
    void scanAroundPing(std::vector<std::string> before, std::vector<std::string> after);
    // Sends a byte every few milliseconds for as long as it is set: a line
    // that never falls quiet.
    void setChatter(bool chatter);
    // The longest time between two writes to the host since chatter was
    // last set. A serving thread kept off the processor (a busy machine)
    // leaves the line quiet for that long, which a real chattering line
    // never is.
    std::chrono::milliseconds longestChatterGap() const;
    // How late the scanner has been at worst since plug() or the last
    // startLatenessMeter(): the longest of how long the kernel kept the
    // serving thread waiting for a processor within one pass of its loop,
    // how long after its next byte fell due it woke, and how long a byte
    // took (or has been on its way) across a pty. A host waits a bounded
    // time for each answer; on a busy machine the scanner can be kept from
    // answering for longer, or its answer (and the host's bytes to it) held
    // up in the kernel on the way, and what the host did then says nothing
    // about the host.
    std::chrono::microseconds longestLateness() const;
    // Starts the meter again from zero. From the first call on, the serving
    // thread also sends a byte every few milliseconds through a pty of its
    // own, each way, and times it: the host's pty is carried by the same
    // kernel work, which a busy machine delays like any other. Ports that
    // nobody measures pay nothing for it.
    void startLatenessMeter();
    // Stops taking bytes from the host (the pty fills up) until cleared.
    void setReadingPaused(bool paused);
    // Makes the filter driver fail every later request with this code.
    void failRequest(std::uint32_t code, unsigned error = kErrorGenFailure);

private:
    struct Impl;
    void serve();

    SerialModel m_model;
    const std::string m_id;
    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
};

}  // namespace vxsim
