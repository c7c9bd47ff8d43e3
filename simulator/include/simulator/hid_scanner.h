// The HID side of a simulated scanner: a virtual HID interface published in
// the runtime directory (platform/virtual/WIRE.md, "Virtual HID
// interfaces"), which the host opens like a hidraw device.
//
// It sends input reports in the scanner's 64-byte format (length byte, AIM
// symbology identifier, up to 56 data bytes, code identifier, continuation
// byte), joins the data of the output reports it receives (report id 0xFD,
// length byte, data) into one byte stream that the menu engine answers (its
// replies and data packets go out in the data area of input reports, 56
// bytes each, paced by the model's report interval, which paces the host's
// output reports too: the device takes one per interval), records every feature report
// (254 switches the point-of-sale mode) and can be unplugged and plugged
// back under the same id.
//
// Threads: one serving thread per plugged interface answers the host; every
// public call may be made from any thread. Observations (received data,
// reports, feature reports) are snapshots; tests poll them with a bound.
#pragma once

#include "simulator/hid_model.h"
#include "simulator/serial_filter_driver.h"
#include "simulator/timeline.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vxsim {

class HidScanner {
public:
    struct OutputReport {
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point when;
    };

    // `id` names the interface in the runtime directory (letters, digits,
    // '-', '_', '.'); the host's path is built from it and the model's ids.
    HidScanner(HidModel model, std::string id);
    ~HidScanner();  // unplugs
    HidScanner(const HidScanner&) = delete;
    HidScanner& operator=(const HidScanner&) = delete;

    // Publishes the interface; false (with a reason in lastError) when the
    // socket or the descriptor cannot be made. Plugging a plugged scanner
    // does nothing.
    bool plug();
    // Removes the descriptor and closes every connection and the socket.
    void unplug();
    bool isPlugged() const;

    // The path the host lists for this interface.
    std::string hostPath() const;
    const HidModel& model() const { return m_model; }
    std::string lastError() const;

    // Number of hosts connected now.
    std::size_t connections() const;

    // Sends one raw input report (as given, report id first) to every
    // connected host. False when nobody is connected or a send failed.
    bool sendReport(const std::vector<std::uint8_t>& report);
    // Sends raw input reports one per report interval, in turn with the
    // scanner's own streams.
    bool sendPacedReports(const std::vector<std::vector<std::uint8_t>>& reports);
    // Sends `data` as one message: 56 data bytes per report, the
    // continuation byte set on all but the last. An empty text is one
    // report with length 0. `aim` is the three-byte AIM identifier.
    bool sendMessage(const std::string& data, const std::string& aim = "]E0", std::uint8_t codeId = 'd');
    // When the last input report went to the host(s), each in its slot of
    // the report interval; the clock's epoch before any.
    std::chrono::steady_clock::time_point deliveredAt() const;
    // The input reports `sendMessage` would send.
    std::vector<std::vector<std::uint8_t>> messageReports(const std::string& data, const std::string& aim,
                                                          std::uint8_t codeId) const;

    // Scans a label: its packet (or the label alone with the decode header
    // off) with the data faults applied, in input reports; a split packet
    // leaves in reports of the split size. False when nobody is connected.
    bool scan(const std::string& label, char codeId = 'd', const std::string& aim = "E0");
    // Several labels joined in one run of reports.
    bool scanJoined(const std::vector<std::string>& labels, char codeId = 'd', const std::string& aim = "E0");
    bool sendImage(const std::string& bytes, int format = 3);
    void setMenuModel(MenuModel menu);
    void setDataFaults(DataFaults faults);
    std::vector<std::string> menuCommands() const;
    bool decodeHeader() const;

    // The data bytes of every output report received, joined.
    std::string receivedData() const;
    std::vector<OutputReport> outputReports() const;
    // Those from the `from`-th on (a peer that polls takes only what is new).
    std::vector<OutputReport> outputReports(std::size_t from) const;
    // Opens, closes, output reports, feature reports and device requests in
    // order; kept across unplugging, plugging back and clearObservations.
    std::vector<TimelineEvent> timeline() const;
    // Every feature report set by the host, as sent.
    std::vector<std::vector<std::uint8_t>> featureReports() const;
    // The last value of feature report 254; -1 before any.
    int posMode() const;
    // Refuse (status 1) every feature request from now on.
    void setRefuseFeatures(bool refuse);
    // A scanner that drops off the bus right after it enters its
    // point-of-sale mode: it applies feature 254 = 1 but answers it as
    // failed, and takes every later feature report as usual.
    void setPosOnAnswerLost(bool lost);
    // Forgets received data, output reports and feature reports.
    void clearObservations();
    // The remote-management filter driver's state (transaction mode and
    // time-out) and every device request the host sent, in order. Only a
    // management interface behind the driver (model.filterDriver, usage page
    // kManagementUsagePage) answers them; any other refuses them with 1.
    FilterDriverModel filterDriverState() const;
    std::vector<DeviceRequest> deviceRequests() const;
    // Makes the driver refuse every later request with this code.
    void failRequest(std::uint32_t code, unsigned error = kErrorGenFailure);

private:
    struct State;
    HidModel m_model;
    std::string m_id;
    std::shared_ptr<State> m_state;
};

}  // namespace vxsim
