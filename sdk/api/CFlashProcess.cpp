#include "api/CFlashProcess.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"

#include "platform/text.h"
#include "platform/time.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t kVersionBytes = 2048;
constexpr std::uint32_t kInitStringBytes = 4000;
constexpr int kInitReplyReads = 100;
constexpr DWORD kInitReplyPause = 30;

// Every FlashScanner and GetFileVersion of the process: a library keeps one
// compatibility table for all its tools, and GetFileVersion clears it.
std::mutex& libraryRunLock()
{
    static std::mutex* const lock = new std::mutex;
    return *lock;
}

// The library's UTF-16 text of one of our wide names. Their units are
// bytes (a file name in UTF-8 as the caller gave it), which the library
// turns back into the same UTF-8 name; bytes that are not UTF-8 pass one
// unit per byte.
std::u16string libraryText(const wchar_t* text)
{
    std::string bytes;
    if (text != nullptr)
        for (; *text != L'\0'; ++text)
            bytes.push_back(static_cast<char>(static_cast<unsigned char>(*text)));
    std::u16string out;
    if (platform::utf16FromUtf8(bytes, out))
        return out;
    for (const char byte : bytes)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
    return out;
}

std::string narrow(const wchar_t* text)
{
    return text != nullptr ? wstringToString(text) : std::string();
}

// The units of a zero-filled buffer up to its first zero or its end.
std::u16string bufferText(const std::vector<char16_t>& buffer)
{
    std::u16string text;
    for (char16_t unit : buffer) {
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

std::uint32_t textBytes(const std::u16string& text)
{
    return static_cast<std::uint32_t>(text.size() * sizeof(char16_t));
}

}  // namespace

CFlashProcess::CFlashProcess()
{
    initialize();
}

CFlashProcess::~CFlashProcess()
{
    std::lock_guard<std::mutex> binding(m_bindingLock);
    m_library.release();
}

void CFlashProcess::initialize()
{
    m_step = FLASH_STEP_NONE;
    setLastError(std::string());
    m_loggingSet = false;
    m_logTarget = 1;
    m_logFile = nullptr;
    m_logLevel = 0;
    m_portFileName = nullptr;
    m_callbackSet = false;
    m_callback = nullptr;
    m_protocolSet = false;
    m_protocolFile = nullptr;
    m_initString.clear();
    m_user = nullptr;
    m_firmwareFile = nullptr;
}

bool CFlashProcess::cleanUp()
{
    {
        std::lock_guard<std::mutex> binding(m_bindingLock);
        m_library.release();
    }
    initialize();
    return true;
}

bool CFlashProcess::setVXFlashDllFile(const std::wstring& path)
{
    std::lock_guard<std::mutex> binding(m_bindingLock);
    if (m_library.setVxFlashDllFile(path))
        return true;
    std::string text;
    m_library.getLastError(text);
    setLastError(text);
    return false;
}

void CFlashProcess::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

int CFlashProcess::getLastError(std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(m_lastErrorLock);
        text = m_lastError;
    }
    return m_step.load();
}

// --- stored values ---------------------------------------------------------

void CFlashProcess::setLoggingValue(int target, const wchar_t* logFile, int level)
{
    m_logTarget = target;
    m_logFile = logFile;
    m_logLevel = level;
    m_loggingSet = true;
}

void CFlashProcess::setInterfaceValue(int value)
{
    m_interface = value;
}

void CFlashProcess::setPortFileNameValue(const wchar_t* name)
{
    m_portFileName = name;
}

void CFlashProcess::setCallbackValue(CFS_PROGRESS_CALLBACK callback)
{
    m_callback = callback;
    m_callbackSet = true;
}

void CFlashProcess::setFlashProtocolSettingsValue(const wchar_t* name)
{
    m_protocolFile = name;
    m_protocolSet = true;
}

void CFlashProcess::setWin32Rs232SettingsValue(win_rs232_settings settings)
{
    m_rs232 = settings;
}

void CFlashProcess::setFlashScannerValue(void* user, const wchar_t* firmwareFile)
{
    m_user = user;
    m_firmwareFile = firmwareFile;
}

// --- texts -----------------------------------------------------------------

std::string CFlashProcess::getGetSetReturnString(int code)
{
    static const char* const kNames[] = {"CGSRET_SUCCESS", "CGSRET_INVALID", "CGSRET_FAILURE", "CGSRET_NOTSET",
                                         "CGSRET_UNSUPPORTED"};
    return code >= 0 && code < static_cast<int>(std::size(kNames)) ? kNames[code] : "";
}

std::string CFlashProcess::getUpgradeReturnString(int code)
{
    static const char* const kNames[] = {"CUR_SUCCESS",           "CUR_FAILURE",          "CUR_CANCELED",
                                         "CUR_FILEBAD",           "CUR_FILE_INCOMPATIBLE", "CUR_FAILURE_BRICK",
                                         "CUR_SUCCESS_RECOVERY",  "CUR_SCANNER_NOT_IN_BASE",
                                         "CUR_SCANNER_LOW_BATTERY"};
    return code >= 0 && code < static_cast<int>(std::size(kNames)) ? kNames[code] : "";
}

std::string CFlashProcess::getApiGetSetErrMsgString(const std::string& operation, const std::string& input, int code)
{
    return "API " + operation + ": Input[" + input + "] Return [" + getGetSetReturnString(code) + "]";
}

std::string CFlashProcess::getApiUpgradeErrMsgString(const std::string& operation, const std::string& input, int code)
{
    return "API " + operation + ": Input[" + input + "] Return [" + getUpgradeReturnString(code) + "]";
}

std::string CFlashProcess::getWin32Rs232SettingString(const win_rs232_settings& settings)
{
    static const char* const kParity[] = {"N", "O", "E", "M", "S"};
    static const char* const kStopBits[] = {"1", "1.5", "2"};
    const DCB& dcb = settings.dcb;
    std::string text = std::to_string(dcb.BaudRate) + std::to_string(dcb.ByteSize);
    if (dcb.Parity < std::size(kParity))
        text += kParity[dcb.Parity];
    if (dcb.StopBits < std::size(kStopBits))
        text += kStopBits[dcb.StopBits];
    return text;
}

// --- library calls -----------------------------------------------------------

bool CFlashProcess::loaded()
{
    if (m_library.isDllLoaded())
        return true;
    std::string text;
    m_library.getLastError(text);
    setLastError(text);
    return false;
}

bool CFlashProcess::refused(const char* push, const std::string& input, int code)
{
    const std::string text = getApiGetSetErrMsgString(push, input, code);
    setLastError(text);
    SDK_LOG(logbit::error, std::string("CFlashProcess::") + push, text);
    return false;
}

bool CFlashProcess::setSetting(const char* push, CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size,
                               const std::string& input)
{
    if (!loaded())
        return false;
    const CONST_GETSET_RETURN result = m_library.setSetting(id, data, size);
    return result == CGSRET_SUCCESS || refused(push, input, result);
}

bool CFlashProcess::setLogging()
{
    if (!m_loggingSet)
        return true;
    const std::u16string file = libraryText(m_logFile);
    log_settings settings{};
    settings.target = m_logTarget;
    settings.fileName = m_logFile != nullptr ? file.c_str() : nullptr;
    settings.level = m_logLevel;
    const std::string input = "DebugLevel " + intToString(m_logLevel) + " DebugType" + intToString(m_logTarget) +
                              " fileName " + narrow(m_logFile);
    return setSetting("setLogging", CFS_LOGGING, &settings, sizeof settings, input);
}

bool CFlashProcess::setInterface()
{
    std::int32_t value = m_interface;
    return setSetting("setInterface", CFS_INTERFACE, &value, sizeof value, "Interface " + intToString(m_interface));
}

bool CFlashProcess::setPortFileName()
{
    if (m_portFileName == nullptr) {
        setLastError("Port file name is NULL");
        return false;
    }
    std::u16string name = libraryText(m_portFileName);
    return setSetting("setPortFileName", CFS_PORTFILENAME, name.data(), textBytes(name),
                      "PortName " + narrow(m_portFileName));
}

bool CFlashProcess::setCallback()
{
    if (!m_callbackSet || m_callback == nullptr)
        return true;
    // The library takes the function itself as the data, with size 4.
    return setSetting("setCallback", CFS_FWCALLBACK, reinterpret_cast<void*>(m_callback), 4, std::string());
}

bool CFlashProcess::setCancelIO(int value)
{
    std::lock_guard<std::mutex> binding(m_bindingLock);
    std::int32_t data = value;
    return setSetting("setCancelIO", CFS_CANCELIO, &data, sizeof data, std::string());
}

bool CFlashProcess::getVersion(std::wstring& version)
{
    version.clear();
    if (!loaded())
        return false;
    std::vector<char16_t> buffer(kVersionBytes / sizeof(char16_t), 0);
    const CONST_GETSET_RETURN result = m_library.getSetting(CFS_VERSION, buffer.data(), kVersionBytes);
    if (result != CGSRET_SUCCESS)
        return refused("getVersion", std::string(), result);
    for (char16_t unit : bufferText(buffer))
        version.push_back(static_cast<wchar_t>(unit));
    return true;
}

bool CFlashProcess::setFlashProtocolSettings()
{
    if (!m_protocolSet || m_protocolFile == nullptr)
        return true;
    std::u16string file = libraryText(m_protocolFile);
    return setSetting("setFlashProtocolSettings", CFS_FLASH_PROTOCOL_SETTINGS, file.data(), textBytes(file),
                      "ProtocolFile " + narrow(m_protocolFile));
}

bool CFlashProcess::getFlashInitstring()
{
    if (!loaded())
        return false;
    std::vector<char16_t> buffer(kInitStringBytes / sizeof(char16_t), 0);
    const CONST_GETSET_RETURN result = m_library.getSetting(CFS_FLASH_INITSTRING, buffer.data(), kInitStringBytes);
    if (result != CGSRET_SUCCESS)
        return refused("getFlashInitstring", std::string(), result);
    m_initString.clear();
    for (char16_t unit : bufferText(buffer))
        m_initString.push_back(static_cast<char>(unit & 0xFF));
    return true;
}

bool CFlashProcess::setWin32Rs232Settings()
{
    win_rs232_settings settings = m_rs232;
    return setSetting("setWin32Rs232Settings", CFS_WIN32_232_SETTINGS, &settings, sizeof settings,
                      "WIN32_232_T " + getWin32Rs232SettingString(m_rs232));
}

bool CFlashProcess::flashScanner(int* result)
{
    if (m_firmwareFile == nullptr) {
        setLastError("Firmware file name is NULL.");
        return false;
    }
    if (!loaded())
        return false;
    const std::u16string file = libraryText(m_firmwareFile);
    CONST_UPGRADERETURN answer;
    {
        std::lock_guard<std::mutex> run(libraryRunLock());
        answer = m_library.flashScanner(m_user, file.c_str());
    }
    if (result != nullptr)
        *result = answer;
    if (answer == CUR_SUCCESS || answer == CUR_SUCCESS_RECOVERY)
        return true;
    const std::string text =
        getApiUpgradeErrMsgString("FlashScanner", "firmwareFileName " + narrow(m_firmwareFile), answer);
    setLastError(text);
    SDK_LOG(logbit::error, "CFlashProcess::flashScanner", text);
    return false;
}

bool CFlashProcess::GetFileVersion(const std::wstring& file, fileversion_type* version)
{
    if (!loaded())
        return false;
    const std::u16string name = libraryText(file.c_str());
    CONST_GETSET_RETURN result;
    {
        std::lock_guard<std::mutex> run(libraryRunLock());
        result = m_library.getFileVersion(name.c_str(), version);
    }
    if (result == CGSRET_SUCCESS)
        return true;
    const std::string text = getApiGetSetErrMsgString("GetFileVersion", wstringToString(file), result);
    setLastError(text);
    SDK_LOG(logbit::error, "CFlashProcess::GetFileVersion", text);
    return false;
}

// --- sequences ---------------------------------------------------------------

bool CFlashProcess::step(bool ok, int code)
{
    if (!ok)
        m_step = code;
    return ok;
}

bool CFlashProcess::preInit(bool rs232)
{
    // The interface goes before the protocol file: the library files an
    // init string from that file under the interface current at the time.
    return step(setLogging(), FLASH_STEP_LOGGING) && step(setCallback(), FLASH_STEP_CALLBACK) &&
           step(setInterface(), FLASH_STEP_INTERFACE) &&
           step(setFlashProtocolSettings(), FLASH_STEP_PORT_OR_PROTOCOL) &&
           step(setPortFileName(), FLASH_STEP_PORT_OR_PROTOCOL) &&
           (!rs232 || step(setWin32Rs232Settings(), FLASH_STEP_RS232_SETTINGS)) &&
           step(getFlashInitstring(), FLASH_STEP_INIT_STRING_GET);
}

bool CFlashProcess::flash()
{
    int result = 0;
    if (step(setLogging(), FLASH_STEP_LOGGING) && step(setInterface(), FLASH_STEP_INTERFACE) &&
        step(setPortFileName(), FLASH_STEP_PORT_OR_PROTOCOL) &&
        step(setFlashProtocolSettings(), FLASH_STEP_PORT_OR_PROTOCOL) &&
        step(getFlashInitstring(), FLASH_STEP_INIT_STRING_GET) && step(setCallback(), FLASH_STEP_CALLBACK) &&
        step(setWin32Rs232Settings(), FLASH_STEP_RS232_SETTINGS) &&
        step(sendInitString(), FLASH_STEP_INIT_STRING_SEND) && step(flashScanner(&result), FLASH_STEP_FLASH)) {
        m_step = FLASH_STEP_DONE;
        return true;
    }
    return false;
}

InterfacePort* CFlashProcess::createInitStringPort(int interfaceValue)
{
    switch (interfaceValue) {
    case CIF_RS232:
    case CIF_USBCDC: return new CSerialPort();
    case CIF_USBHID_BARCODE_SCANNER: return new CUsbHidBarcodeScanner();
    default: return nullptr;
    }
}

void CFlashProcess::waitBeforeNextRead(DWORD milliseconds)
{
    Sleep(milliseconds);
}

bool CFlashProcess::sendInitString()
{
    static const char* const kMethod = "CFlashProcess::sendInitString";
    CLogHelper scope(kMethod);
    if (m_initString.empty()) {
        SDK_LOG(logbit::trace, kMethod, "Initial String is empty!!");
        return true;
    }
    // A failure's logged text is also the last error, so the caller that
    // copies it reports why.
    auto fail = [&](const std::string& text) {
        setLastError(text);
        SDK_LOG(logbit::error, kMethod, text);
        return false;
    };
    std::unique_ptr<InterfacePort> port(createInitStringPort(m_interface));
    if (port == nullptr)
        return fail("not supported interface");
    const std::string name = narrow(m_portFileName);
    if (port->open(m_portFileName != nullptr ? std::wstring(m_portFileName) : std::wstring()) != 0)
        return fail("Open port failure: " + name);
    SDK_LOG(logbit::trace, kMethod, "Open port success: " + name);

    if (auto* serial = dynamic_cast<CSerialPort*>(port.get())) {
        const DCB& line = m_rs232.dcb;
        serial->setup(static_cast<int>(line.BaudRate), line.ByteSize, line.Parity, line.StopBits);
        serial->setupHandshaking(3);
        DCB dcb{};
        if (serial->getDCB(&dcb) == 0) {
            dcb.XonLim = 100;
            dcb.XoffLim = 100;
            serial->setDCB(&dcb);
        }
    }
    port->flush();
    unsigned int written = 0;
    port->write(reinterpret_cast<const unsigned char*>(m_initString.data()), static_cast<int>(m_initString.size()),
                &written);

    std::string reply;
    for (int read = 0; read < kInitReplyReads; ++read) {
        std::string piece;
        port->read(piece);
        reply += piece;
        if (!reply.empty() && reply.back() == '.')
            break;
        if (read + 1 < kInitReplyReads)
            waitBeforeNextRead(kInitReplyPause);
    }
    port->close();
    port.reset();
    SDK_LOG(logbit::trace, kMethod, "Send init string success: " + reply);
    return true;
}
