// The DirectIO menu of the Advanced View: the image captures and the
// simulated error, the serial command, the command time-out; the scanner's
// ErrorEvent sink; and the data-queue limit read when a device is opened.
#include "AdvancedValidation.h"

#include "AdvancedMethodTexts.h"
#include "AdvancedStrings.h"
#include "ProbeStrings.h"
#include "ControlCharacters.h"
#include "DirectIOExchange.h"

#include "platform/registry.h"

#include <cstring>
#include <limits>
#include <new>

using namespace adv;

namespace {

constexpr char kUtilityClass[] = "CAdvancedValidationUtility";
constexpr LONG kImageBmp = 10;
constexpr LONG kImageTiffBinary = 11;
constexpr LONG kImageTiffGrey = 12;
constexpr LONG kImageJpeg = 13;
constexpr LONG kRaiseErrorEvent = 9;
constexpr LONG kSerialCommand = 18;
constexpr LONG kCommandTimeout = 19;
constexpr LONG kIllegal = 106;
constexpr int kMinDataBuffer = 50;
constexpr int kMaxDataBuffer = 1000;

// Whitespace as the C library's isspace has it.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

int CAdvancedValidation::DataBufferLimitFrom(const std::string& text)
{
    // Read as atoi reads a number, but one beyond the int range saturates
    // instead of being undefined: it still lands on the bound it passed.
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > std::numeric_limits<int>::max())
            return negative ? kMinDataBuffer : kMaxDataBuffer;
    }
    if (negative)
        value = -value;
    if (value < kMinDataBuffer)
        return kMinDataBuffer;
    if (value > kMaxDataBuffer)
        return kMaxDataBuffer;
    return static_cast<int>(value);
}

int CAdvancedValidation::GetDataBufferValue(const std::string& deviceType, const std::string& deviceName)
{
    const std::string path = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\" + deviceType + "\\" + deviceName;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        log("GetDataBufferValue", "Exceptiion", "Error in accessing registry");
        return kMinDataBuffer;
    }
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key, "DATAQMAX", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return kMinDataBuffer;
    return DataBufferLimitFrom(std::string(data, strnlen(data, size)));
}

void CAdvancedValidation::OnDioGetBmpImage()
{
    RunDirectIOCommand(kImageBmp);
}

void CAdvancedValidation::OnDioGetJpegImage()
{
    RunDirectIOCommand(kImageJpeg);
}

void CAdvancedValidation::OnDioGetTiffbinImage()
{
    RunDirectIOCommand(kImageTiffBinary);
}

void CAdvancedValidation::OnDioGetTiffgrayImage()
{
    RunDirectIOCommand(kImageTiffGrey);
}

void CAdvancedValidation::OnRaiseErrorEvent()
{
    RunDirectIOCommand(kRaiseErrorEvent);
}

void CAdvancedValidation::RunDirectIOCommand(LONG command)
{
    m_nDirectIOCommand = command;
    CallDirectIO();
}

void CAdvancedValidation::ShowDirectIOImage(std::vector<BYTE> image)
{
    m_model.preview.clear();
    m_lastImage = std::move(image);
    ShowLastImage();
}

void CAdvancedValidation::CallDirectIO()
{
    const std::string line = T(kStrDirectIOLine) + "   ";
    SetStatus(T(kStrPerformingDirectIO));
    try {
        const LONG conversion = m_scanner.GetBinaryConversion();
        DirectIOArguments arguments;
        if (FAILED(MakeImageRequest(conversion, arguments)))
            throw std::bad_alloc();
        LONG result = 0;
        try {
            result = m_scanner.DirectIO(m_nDirectIOCommand, &arguments.pData, &arguments.string);
        } catch (const ControlCallError&) {
            log("CallDirectIO", T(probe::kServiceObjectException), std::string(), kUtilityClass);
            SetStatus(std::string());
            return;
        }
        if (result == 0)
            ShowDirectIOImage(DecodeImage(arguments.string, arguments.pData, conversion));
        SetStatus(std::string());
        AppendOutput(line + ResultCodeText(result));
    } catch (...) {
        log("CallDirectIO", T(probe::kApplicationException), std::string(), kUtilityClass);
        SetStatus(std::string());
    }
}

void CAdvancedValidation::OnDirectioSerialcmd()
{
    SetStatus(T(kStrPerformingDirectIO));
    try {
        std::string command;
        const bool sent = m_host.RunDirectIO(T(kStrDirectIOHelp), T(kStrSendButton), T(kStrSerialCommandLabel), command);
        const std::string line = T(kStrDirectIOLine) + "   ";
        // A cancelled dialog sends and shows nothing; an empty command is
        // one the service object would refuse, so it is not sent.
        if (!sent) {
            SetStatus(std::string());
            return;
        }
        if (command.empty()) {
            SetStatus(std::string());
            AppendOutput(line + ResultCodeText(kIllegal));
            return;
        }
        const std::string tag = SerialCommandTag(command);
        const bool image = IsImageSerialTag(tag);
        DirectIOArguments arguments;
        if (FAILED(MakeSerialRequest(command, SerialCommandBufferChars(tag), arguments)))
            throw std::bad_alloc();
        LONG result = kFailedCall;
        LONG conversion = 0;
        try {
            // The service object encodes an image reply as BinaryConversion
            // says, as it does a capture's.
            if (image)
                conversion = m_scanner.GetBinaryConversion();
            result = m_scanner.DirectIO(kSerialCommand, &arguments.pData, &arguments.string);
        } catch (const ControlCallError&) {
            log("OnDirectioSerialcmd", T(probe::kServiceObjectException), std::string(), kUtilityClass);
            result = kFailedCall;
        }
        std::string response;
        if (result == 0 && image) {
            ShowDirectIOImage(DecodeImage(arguments.string, arguments.pData, conversion));
        } else if (result == 0) {
            response = T(kStrSerialResponseTitle) + "\r\n" + T(kStrSerialCommandName) + "  " + command + "\r\n" +
                       T(kStrSerialResponseName) + "  " +
                       NameControlCharacters(ReplyBytes(arguments.string, arguments.pData));
        }
        SetStatus(std::string());
        AppendOutput(line + ResultCodeText(result));
        if (!response.empty())
            AppendOutput(response);
    } catch (...) {
        log("OnDirectioSerialcmd", T(probe::kApplicationException), std::string(), kUtilityClass);
        SetStatus(std::string());
    }
}

void CAdvancedValidation::OnCommandTimeout()
{
    SetStatus(T(kStrPerformingDirectIO));
    try {
        std::string milliseconds;
        const bool set = m_host.RunDirectIO(T(kStrTimeoutHelp), T(kStrSetButton), T(kStrTimeoutLabel), milliseconds);
        const std::string line = T(kStrDirectIOLine) + "   ";
        if (set && milliseconds.empty()) {
            AppendOutput(line + ResultCodeText(kIllegal));
        } else if (set) {
            DirectIOArguments arguments;
            if (FAILED(MakeCommandTimeoutRequest(milliseconds, arguments)))
                throw std::bad_alloc();
            try {
                const LONG result = m_scanner.DirectIO(kCommandTimeout, &arguments.pData, &arguments.string);
                SetStatus(std::string());
                AppendOutput(line + ResultCodeText(result));
            } catch (const ControlCallError&) {
                log("OnDirectioSerialcmd", T(probe::kServiceObjectException), std::string(), kUtilityClass);
            }
        }
    } catch (...) {
        log("OnDirectioSerialcmd", T(probe::kApplicationException), std::string(), kUtilityClass);
    }
    SetStatus(std::string());
}

void CAdvancedValidation::OnErrorEventScanner(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                                              LONG* pErrorResponse)
{
    log("OnErrorEventScanner", "Entered");
    try {
        const int response = m_host.RunErrorEvent(errorLocus);
        // The answer goes back to the control whatever the refresh meets.
        if (pErrorResponse != nullptr)
            *pErrorResponse = response;
        GetDataenable();
        log("OnErrorEventscanner", "ResultCode", IniText("ResultCode", resultCode));
        log("OnErrorEventscanner", "ResultCodeExtended", IniText("ResultCode", resultCodeExtended));
        log("OnErrorEventscanner", "ErrorLocus", IniText("ErrorEvent", errorLocus));
        log("OnErrorEventscanner", "ErrorResponse", IniText("ErrorEvent", response));
    } catch (...) {
        log("OnErrorEventScanner", "Exception");
    }
}
