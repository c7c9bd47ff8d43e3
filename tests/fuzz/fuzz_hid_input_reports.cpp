// A scanner's 64-byte input reports, as arbitrary as a device may send them,
// through the decoding of the HID scanner port's reads: the byte read, the
// packet record and the string read that joins a message.
#include "base/CScanningSDK.h"
#include "ports/CUsbHidBarcodeScanner.h"

#include "platform/sync.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A scanner port whose packet reads come from the fuzzer's reports instead
// of a device; the last report is followed by silence (time-outs).
class FakeScanner : public CUsbHidBarcodeScanner {
public:
    explicit FakeScanner(std::vector<std::vector<std::uint8_t>> reports) : m_reports(std::move(reports)) {}

    int read(HidScannerPacket& packet) override
    {
        if (m_next >= m_reports.size())
            return ERROR_IO_PENDING;
        fillPacket(m_reports[m_next++].data(), packet);
        return 0;
    }
    using CUsbHidBarcodeScanner::read;

private:
    std::vector<std::vector<std::uint8_t>> m_reports;
    std::size_t m_next = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] {
        CScanningSDK::setLogLevel(0);
        return true;
    }();
    (void)quiet;

    // Each report in a heap block of exactly 64 bytes.
    std::vector<std::vector<std::uint8_t>> reports;
    for (std::size_t at = 0; at + 64 <= size; at += 64)
        reports.emplace_back(data + at, data + at + 64);
    if (reports.empty())
        return 0;

    for (const auto& report : reports) {
        // A buffer size taken from the report itself, so short ones occur.
        const int size = report[62] % 80;
        std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
        const int count = CUsbHidBarcodeScanner::copyReportData(report.data(), buffer.data(), size);
        if (count < 0 || count > 56 || count > size || count > report[1])
            std::abort();
        if (count > 0 && std::memcmp(buffer.data(), report.data() + 5, static_cast<std::size_t>(count)) != 0)
            std::abort();

        HidScannerPacket packet;
        CUsbHidBarcodeScanner::fillPacket(report.data(), packet);
        const int length = packet.bytes[HidScannerPacket::kDataLength];
        if (length > 56 || packet.bytes[0] != 0 || packet.bytes[61] != 0 ||
            packet.bytes[HidScannerPacket::kCodeId] != report[61] ||
            packet.bytes[HidScannerPacket::kFinal] != (report[63] == 0 ? 1 : 0))
            std::abort();
        for (int i = HidScannerPacket::kData + length; i < 61; ++i)
            if (packet.bytes[i] != 0)
                std::abort();
    }

    // The string read over the reports: it is opened through a handle that
    // is not a HID device (the port stays opened), and its packet reads are
    // the fake's.
    const HANDLE placeholder = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    FakeScanner port(reports);
    port.open(placeholder);
    std::string text;
    std::size_t joined = 0;
    for (int message = 0; message < 1000; ++message) {
        const int code = port.read(text);
        if (text.find('\0') != std::string::npos)
            std::abort();
        joined += text.size();
        if (code != 0)
            break;
    }
    if (joined > reports.size() * 56)
        std::abort();
    port.close();
    CloseHandle(placeholder);
    return 0;
}
