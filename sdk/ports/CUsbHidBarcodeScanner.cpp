#include "ports/CUsbHidBarcodeScanner.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

#include "platform/time.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kPauseBetweenReports = 30;

// Input report positions.
constexpr int kReportLengthByte = 1;
constexpr int kReportAim = 2;
constexpr int kReportData = 5;
constexpr int kReportCodeId = 61;
constexpr int kReportContinuation = 63;

std::string hexBytes(const unsigned char* bytes, int count)
{
    std::string text;
    char one[8];
    for (int i = 0; i < count; ++i) {
        std::snprintf(one, sizeof one, "%2x ", bytes[i]);
        text += one;
    }
    return text;
}

}  // namespace

CUsbHidBarcodeScanner::CUsbHidBarcodeScanner() : CUsbHidPort(false) {}

CUsbHidBarcodeScanner::CUsbHidBarcodeScanner(bool exclusive) : CUsbHidPort(exclusive) {}

int CUsbHidBarcodeScanner::dataLength(const unsigned char* report, const char* method)
{
    const int length = report[kReportLengthByte];
    if (length <= kMaxInputData)
        return length;
    SDK_LOG(logbit::error, method,
            "The data length " + intToString(length) + " is larger than " + intToString(kMaxInputData) +
                ", clamped to " + intToString(kMaxInputData) + ".");
    return kMaxInputData;
}

int CUsbHidBarcodeScanner::write(const unsigned char* buffer, int length, unsigned int* count)
{
    const char* method = "CUsbHidBarcodeScanner::write";
    unsigned int local = 0;
    if (count == nullptr)
        count = &local;
    *count = 0;
    if (!isDeviceHandlePresent()) {
        SDK_LOG(logbit::system, method, "Device isn't opened yet.");
        return ERROR_INVALID_HANDLE;
    }
    if (length <= 0)
        return 0;
    if (buffer == nullptr)
        return ERROR_INVALID_PARAMETER;
    dumpBytes(method, "write the following data to scanner:", buffer, static_cast<std::size_t>(length));
    int sent = 0;
    while (sent < length) {
        unsigned char report[kReportLength] = {};
        const int part = std::min(length - sent, kMaxOutputData);
        report[0] = kOutputReportId;
        report[1] = static_cast<unsigned char>(part);
        std::memcpy(report + 2, buffer + sent, static_cast<std::size_t>(part));
        const int code = CUsbHidPort::write(report, kReportLength, nullptr);
        if (code != 0)
            return code;
        sent += part;
        if (sent < length)
            Sleep(kPauseBetweenReports);
        *count += static_cast<unsigned int>(part);
    }
    return 0;
}

int CUsbHidBarcodeScanner::writeRaw(const unsigned char* report, int length, unsigned int* count)
{
    const char* method = "CUsbHidBarcodeScanner::writeRaw";
    unsigned int local = 0;
    if (count == nullptr)
        count = &local;
    *count = 0;
    if (!isDeviceHandlePresent()) {
        SDK_LOG(logbit::system, method, "Device isn't opened yet.");
        return ERROR_INVALID_HANDLE;
    }
    if (report == nullptr)
        return ERROR_INVALID_PARAMETER;
    dumpBytes(method, "write the following data to scanner:", report,
              static_cast<std::size_t>(std::clamp(length, 0, kReportLength)));
    return CUsbHidPort::write(report, kReportLength, count);
}

int CUsbHidBarcodeScanner::read(unsigned char* buffer, int size, unsigned int* count)
{
    const char* method = "CUsbHidBarcodeScanner::read";
    unsigned char report[kReportLength] = {};
    unsigned int local = 0;
    if (count == nullptr)
        count = &local;
    if (!isDeviceHandlePresent()) {
        m_repeats.failed(logbit::system, method, "Device isn't opened yet.");
        *count = 0;
        return ERROR_INVALID_HANDLE;
    }
    m_repeats.succeeded(method);
    SDK_LOG(logbit::portTraffic, method, "Read one packet.");
    const int code = CUsbHidPort::read(report, kReportLength, nullptr);
    if (code != 0) {
        *count = 0;
        return code;
    }
    const int taken = copyReportData(report, buffer, size);
    *count = static_cast<unsigned int>(taken);
    dumpBytes(method, "data:", report + kReportData, static_cast<std::size_t>(taken));
    return 0;
}

int CUsbHidBarcodeScanner::copyReportData(const unsigned char* report, unsigned char* buffer, int size)
{
    const int available = dataLength(report, "CUsbHidBarcodeScanner::read");
    const int taken = buffer == nullptr ? 0 : std::min(available, std::max(size, 0));
    if (taken > 0)
        std::memcpy(buffer, report + kReportData, static_cast<std::size_t>(taken));
    return taken;
}

void CUsbHidBarcodeScanner::fillPacket(const unsigned char* report, HidScannerPacket& packet)
{
    const int length = dataLength(report, "CUsbHidBarcodeScanner::read");
    packet = HidScannerPacket{};
    packet.bytes[HidScannerPacket::kCodeId] = report[kReportCodeId];
    packet.bytes[HidScannerPacket::kDataLength] = static_cast<unsigned char>(length);
    std::memcpy(packet.bytes + HidScannerPacket::kAim, report + kReportAim, 3);
    std::memcpy(packet.bytes + HidScannerPacket::kData, report + kReportData, static_cast<std::size_t>(length));
    packet.bytes[HidScannerPacket::kFinal] = report[kReportContinuation] == 0 ? 1 : 0;
}

bool CUsbHidBarcodeScanner::appendPacketText(HidScannerPacket& packet, std::string& text)
{
    constexpr int kLast = HidScannerPacket::kData + kMaxInputData;  // byte 61
    if (packet.bytes[kLast] != 0) {
        SDK_LOG(logbit::error, "CUsbHidBarcodeScanner::read",
                "packet data error! the last byte non zero, reset to zero!");
        packet.bytes[kLast] = 0;
    }
    for (int i = HidScannerPacket::kData; i <= kLast; ++i)
        if (packet.bytes[i] != 0)
            text += static_cast<char>(packet.bytes[i]);
    return packet.bytes[HidScannerPacket::kFinal] == 1;
}

int CUsbHidBarcodeScanner::read(HidScannerPacket& packet)
{
    const char* method = "CUsbHidBarcodeScanner::read";
    unsigned char report[kReportLength] = {};
    SDK_LOG(logbit::portTraffic, method, "start to read a packet.");
    const int code = CUsbHidPort::read(report, kReportLength, nullptr);
    if (code != 0) {
        SDK_LOG(logbit::portTraffic, method, "Error read data." + intToString(code));
        return code;
    }
    fillPacket(report, packet);
    const int length = packet.bytes[HidScannerPacket::kDataLength];

    if (CScanningSDK::getLogger()->isEnabled(logbit::portTraffic)) {
        SDK_LOG(logbit::portTraffic, method, "packet information:");
        SDK_LOG(logbit::portTraffic, method, "  Code id:" + intToString(packet.bytes[HidScannerPacket::kCodeId]));
        SDK_LOG(logbit::portTraffic, method, "  data length:" + intToString(length));
        SDK_LOG(logbit::portTraffic, method, "  AIM Symoblogy ID:" + hexBytes(packet.bytes + HidScannerPacket::kAim, 3));
        SDK_LOG(logbit::portTraffic, method, "  data:" + hexBytes(packet.bytes + HidScannerPacket::kData, length));
        SDK_LOG(logbit::portTraffic, method,
                packet.bytes[HidScannerPacket::kFinal] == 1 ? "   final packet." : "   isn't the final packet.");
    }
    return 0;
}

int CUsbHidBarcodeScanner::read(std::string& text)
{
    const char* method = "CUsbHidBarcodeScanner::read";
    text.clear();
    if (!isDeviceHandlePresent()) {
        SDK_LOG(logbit::portTraffic, method, "STRING, Device not opened.");
        return ERROR_INVALID_HANDLE;
    }
    int failures = 0;
    for (;;) {
        if (m_stopper != nullptr && m_stopper->isStopped()) {
            SDK_LOG(logbit::portTraffic, method, "Stopped before the final packet. Data String:" + text);
            return ERROR_OPERATION_ABORTED;
        }
        HidScannerPacket packet;
        const int code = read(packet);
        if (code != 0) {
            SDK_LOG(logbit::portTraffic, method, "Not succeed in read action.");
            if (++failures >= 2)
                return code;
            continue;
        }
        failures = 0;
        if (appendPacketText(packet, text))
            break;
    }
    SDK_LOG(logbit::portTraffic, method, "Data String:" + text);
    return 0;
}
