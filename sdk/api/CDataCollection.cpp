#include "api/CDataCollection.h"

#include "api/CConnection.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/MenuPatterns.h"
#include "base/StringUtils.h"
#include "discovery/CSerialDevice.h"
#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"
#include "products/CHubProduct.h"
#include "products/CSubProductHandler.h"

#include "platform/error.h"
#include "platform/sync.h"
#include "platform/time.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <new>

namespace {
const char* const kNotInitialized = "data collection not been initialized!";
const char* const kNoLock = "the lock object pointer is null";
const char* const kNoMutex = "the mutex object pointer is null";
const char* const kMutexTimeout = "wait for another operation timeout!";
const char* const kNoProcessor = "null data processor!";

constexpr DWORD kShutDownMutexWait = 3000;
constexpr DWORD kDestructorWaitStep = 10000;
constexpr DWORD kSwitchHeaderTimeout = 10000;
constexpr DWORD kLobPollMs = 25;

bool obtained(DWORD wait)
{
    // An abandoned mutex is ours now: its owner ended without a release.
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

class SectionGuard {
public:
    explicit SectionGuard(CCriticalSectionHolder& section) : m_section(section) { m_section.enter(); }
    ~SectionGuard() { m_section.leave(); }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

private:
    CCriticalSectionHolder& m_section;
};
}  // namespace

CDataCollection::CDataCollection() : m_lock(std::make_unique<CCriticalSectionHolder>())
{
    DWORD savedError = GetLastError();
    m_mutex = CreateMutexW(nullptr, FALSE, generateUniqueName().c_str());
    if (m_mutex == nullptr)
        SDK_LOG(logbit::internal, "CDataCollection::CDataCollection", "can't create the mutex object");
    SetLastError(savedError);
}

CDataCollection::~CDataCollection()
{
    try {
        if (shutDown() == EDCR_TIMEOUT && m_initialized) {
            // A synchronous exchange still holds the mutex and uses the port
            // and the processor: wait for it to end, then tear down fully.
            for (;;) {
                DWORD wait = WaitForSingleObject(m_mutex, kDestructorWaitStep);
                if (obtained(wait)) {
                    shutDownHeld();
                    break;
                }
                if (wait != WAIT_TIMEOUT) {
                    SDK_LOG(logbit::internal, "CDataCollection::~CDataCollection", "the mutex wait failed!");
                    break;
                }
                SDK_LOG(logbit::retry, "CDataCollection::~CDataCollection",
                        "wait for the menu command to end for 10s, continue waitting...");
            }
        }
    } catch (...) {
        SDK_LOG(logbit::internal, "CDataCollection::~CDataCollection",
                "unknown error when de construct data collection!");
    }
    m_lock.reset();
    if (m_mutex != nullptr)
        CloseHandle(m_mutex);
}

void CDataCollection::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

int CDataCollection::getLastError(std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    text = m_lastError;
    return 0;
}

int CDataCollection::fail(const char* method, const std::string& text, int code)
{
    setLastError(text);
    SDK_LOG(logbit::error, method, text);
    return code;
}

int CDataCollection::initialize(CConnection* connection, int mode, DWORD timeout)
{
    static const char* const kMethod = "CDataCollection::initialize";
    if (m_initialized)
        return fail(kMethod, "data collection already been initialized!", EDCR_INTERNAL);
    if (connection == nullptr || connection->getDevice() == nullptr)
        return fail(kMethod, "parameter error with connection object!", EDCR_PARAMETER);
    return initialize(connection->getDevice(), connection->getHandle(), mode, timeout);
}

int CDataCollection::initialize(CDevice* device, HANDLE handle, int mode, DWORD timeout)
{
    static const char* const kMethod = "CDataCollection::initialize";
    CLogHelper scope(kMethod);
    setLastError("initialize successful!");
    if (!m_lock)
        return fail(kMethod, kNoLock, EDCR_INTERNAL);
    if (m_initialized)
        return fail(kMethod, "data collection already been initialized!", EDCR_INTERNAL);
    if (device == nullptr)
        return fail(kMethod, "parameter error for device or handle!", EDCR_PARAMETER);
    if (!device->connectible)
        return fail(kMethod, "the device is not connectible!", EDCR_PARAMETER);
    if (m_mutex == nullptr)
        return fail(kMethod, kNoMutex, EDCR_INTERNAL);
    // The mutex keeps a synchronous exchange of another thread off the port
    // and processor this call may make and free again; its holder leaves
    // within its own time-out.
    if (!obtained(WaitForSingleObject(m_mutex, INFINITE)))
        return fail(kMethod, kMutexTimeout, EDCR_TIMEOUT);
    struct MutexRelease {
        HANDLE mutex;
        ~MutexRelease() { ReleaseMutex(mutex); }
    } release{m_mutex};
    SectionGuard guard(*m_lock);
    if (m_initialized)
        return fail(kMethod, "data collection already been initialized!", EDCR_INTERNAL);

    m_touchDecHdr = !(device->interfaceUsage == EIU_QOX && device->fromFilterDriver == 0);
    SDK_LOG(logbit::trace, kMethod, m_touchDecHdr ? "touch dechdr setting!" : "not touch dechdr setting!");
    m_decHdrAnswer = 0;
    m_currentState = 1;
    m_wrapperWasOn = false;
    if (int result = setUpEnv(device, handle); result != 0)
        return result;

    m_lobInterface = device->interfaceUsage == EIU_LOB && device->fromFilterDriver == 1;
    bool wrapperSwitchedOn = false;
    // Every failure below undoes the wrapper mode it switched on while the
    // port (whose handle the request needs) still exists.
    auto failAfterSetUp = [&](int code) {
        if (wrapperSwitchedOn)
            restoreWrapper();
        m_lobInterface = false;
        deleteResource();
        return code;
    };
    if (m_lobInterface) {
        SDK_LOG(logbit::trace, kMethod, "LOB interface check transaction mode and will set wrapper!");
        HANDLE portHandle = handle != nullptr ? handle : m_port.load()->getHandle();
        m_wrapperWasOn = CFilterDriver::isWrapper(portHandle);
        if (!m_wrapperWasOn) {
            if (!CFilterDriver::setWrapper(portHandle, true)) {
                fail(kMethod, "Filter Driver set wrap to true failed!", EDCR_INTERNAL);
                return failAfterSetUp(EDCR_INTERNAL);
            }
            wrapperSwitchedOn = true;
        }
    }

    CDataProcessor* processor = m_processor.load();
    std::string text = "initialize successful!";
    m_decHdrAnswer = processor->getDecHdr(text, timeout);
    if (mode == 1) {
        if (m_decHdrAnswer == 0) {
            fail(kMethod, text, EDCR_INTERNAL);
            return failAfterSetUp(EDCR_INTERNAL);
        }
        if (m_touchDecHdr && m_decHdrAnswer != '1' && !processor->changeDecHdr(true, text, timeout)) {
            fail(kMethod, text, EDCR_INTERNAL);
            return failAfterSetUp(EDCR_INTERNAL);
        }
    } else if (mode == 0) {
        int result = processor->switchProcessorState(0, false, false, text, timeout);
        if (result != 0) {
            fail(kMethod, text, result);
            return failAfterSetUp(result);
        }
    }
    m_device = device;
    m_initialized = true;
    return 0;
}

int CDataCollection::setUpEnv(CDevice* device, HANDLE handle)
{
    static const char* const kMethod = "CDataCollection::setUpEnv";
    try {
        int cts = 0;
        int xon = 0;
        int ack = 0;
        if (int result = openPort(device, handle, &cts, &xon, &ack); result != 0) {
            SDK_LOG(logbit::error, kMethod, "failed to open the port!");
            return result;
        }
        SDK_LOG(logbit::trace, kMethod, "data processor creating now.");
        m_processor = new CDataProcessor(m_port.load(), m_currentState.load(), cts, xon, ack);
    } catch (const std::bad_alloc& error) {
        deleteResource();
        return fail(kMethod, std::string("memory allocation failed with: ") + error.what(), EDCR_PORT);
    } catch (...) {
        deleteResource();
        return fail(kMethod, "unknown error!", EDCR_PORT);
    }
    return 0;
}

int CDataCollection::openPort(CDevice* device, HANDLE handle, int* cts, int* xon, int* ack)
{
    static const char* const kMethod = "CDataCollection::openPort";
    std::string upper = device->portName;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    std::string path = upper.rfind("COM", 0) == 0 ? "\\\\.\\" + device->portName : device->portName;
    auto dropPort = [this]() {
        InterfacePort* port = m_port.exchange(nullptr);
        if (port != nullptr) {
            port->close();
            delete port;
        }
    };
    switch (device->interfaceType) {
    case EIT_RS232:
    case EIT_OTHER_SERIAL:
    case EIT_USB_SERIAL: {
        if (int result = openSerialPort(path, handle); result != 0)
            return result;
        auto* serialDevice = dynamic_cast<CSerialDevice*>(device);
        if (serialDevice == nullptr) {
            dropPort();
            return fail(kMethod, "convert to CSerialDevice object failed!", EDCR_PARAMETER);
        }
        if (device->interfaceType != EIT_USB_SERIAL) {
            auto* serial = dynamic_cast<CSerialPort*>(m_port.load());
            if (serial == nullptr) {
                dropPort();
                return fail(kMethod, "convert to CSerialPort object failed!", EDCR_INTERNAL);
            }
            // Best effort: a setting the line refuses leaves the one before.
            serial->setup(serialDevice->baudRate, serialDevice->dataBits, serialDevice->parity,
                          serialDevice->stopBits);
            serial->setupQueueSize(65536, 4096);
            DCB dcb{};
            if (serial->getDCB(&dcb) == 0) {
                dcb.XonLim = 100;
                dcb.XoffLim = 100;
                serial->setDCB(&dcb);
            }
            serial->setupHandshaking(3);
        }
        *cts = serialDevice->ctsHandshaking;
        *xon = serialDevice->xonXoff;
        *ack = serialDevice->ackNakHandshaking;
        return 0;
    }
    case EIT_USB_HID_BARCODE_SCANNER: {
        if (int result = openUsbHidPort(path, handle); result != 0)
            return result;
        auto* scanner = dynamic_cast<CUsbHidBarcodeScanner*>(m_port.load());
        if (scanner == nullptr) {
            dropPort();
            return fail(kMethod, "convert to CUsbHidBarcodeScanner object failed!", EDCR_INTERNAL);
        }
        scanner->setTimeout(static_cast<DWORD>(m_hidReadTimeout), 500);
        return 0;
    }
    default:
        return fail(kMethod, "port type not supported!", EDCR_PARAMETER);
    }
}

int CDataCollection::openSerialPort(const std::string& path, HANDLE handle)
{
    return adoptPort(new CSerialPort(), path, handle, "CDataCollection::openSerialPort", "serial port open failed!");
}

int CDataCollection::openUsbHidPort(const std::string& path, HANDLE handle)
{
    return adoptPort(new CUsbHidBarcodeScanner(), path, handle, "CDataCollection::openUsbHidPort",
                     "usbhid port open failed!");
}

int CDataCollection::adoptPort(InterfacePort* port, const std::string& path, HANDLE handle, const char* method,
                               const char* failure)
{
    m_port = port;
    int result = handle != nullptr ? port->open(handle) : port->open(stringToWString(path));
    if (result == 0)
        return 0;
    m_port = nullptr;
    delete port;
    return fail(method, failure, EDCR_PORT);
}

void CDataCollection::deleteResource()
{
    delete m_processor.exchange(nullptr);
    delete m_port.exchange(nullptr);
}

bool CDataCollection::restoreWrapper()
{
    InterfacePort* port = m_port.load();
    if (port != nullptr && CFilterDriver::setWrapper(port->getHandle(), false))
        return true;
    setLastError("Filter Driver restore unwrapper mode to false failed!");
    SDK_LOG(logbit::error, "CDataCollection::restoreWrapper", "Filter Driver restore unwrapper mode to false failed!");
    return false;
}

int CDataCollection::shutDown()
{
    static const char* const kMethod = "CDataCollection::shutDown";
    CLogHelper scope(kMethod);
    setLastError("shutDown successful!");
    if (!m_initialized) {
        SDK_LOG(logbit::trace, kMethod, "Already shutdown!");
        return 0;
    }
    if (m_mutex == nullptr)
        return fail(kMethod, kNoMutex, EDCR_INTERNAL);
    if (!obtained(WaitForSingleObject(m_mutex, kShutDownMutexWait)))
        return fail(kMethod, kMutexTimeout, EDCR_TIMEOUT);
    return shutDownHeld();
}

int CDataCollection::shutDownHeld()
{
    static const char* const kMethod = "CDataCollection::shutDown";
    if (!m_lock) {
        ReleaseMutex(m_mutex);
        return fail(kMethod, kNoLock, EDCR_INTERNAL);
    }
    m_lock->enter();
    if (!m_initialized) {
        // Another shutDown finished while this one waited.
        ReleaseMutex(m_mutex);
        m_lock->leave();
        return 0;
    }
    CDataProcessor* processor = m_processor.load();
    if (m_touchDecHdr) {
        if (processor == nullptr) {
            fail(kMethod, "null data processor pointer!", 0);
        } else if (m_decHdrAnswer == '0' || m_decHdrAnswer == '1') {
            std::string text;
            processor->changeDecHdr(m_decHdrAnswer == '1', text, kShutDownMutexWait);
        }
    }
    if (m_lobInterface && !m_wrapperWasOn)
        restoreWrapper();
    if (processor != nullptr) {
        SDK_LOG(logbit::trace, kMethod, "delete data processor now.");
        delete m_processor.exchange(nullptr);
    }
    if (InterfacePort* port = m_port.exchange(nullptr); port != nullptr) {
        SDK_LOG(logbit::trace, kMethod, "close interface port now.");
        if (port->close() != 0)
            fail(kMethod, "interface port close error!", 0);
        delete port;
    }
    m_device = nullptr;
    m_lobInterface = false;
    m_initialized = false;
    ReleaseMutex(m_mutex);
    m_lock->leave();
    return 0;
}

int CDataCollection::onProcessor(const char* method, const char* successText, const ProcessorWork& work)
{
    setLastError(successText);
    if (!m_lock)
        return fail(method, kNoLock, EDCR_INTERNAL);
    SectionGuard guard(*m_lock);
    if (!m_initialized)
        return fail(method, kNotInitialized, EDCR_NOT_INITIALIZED);
    CDataProcessor* processor = m_processor.load();
    if (processor == nullptr)
        return fail(method, kNoProcessor, EDCR_INTERNAL);
    std::string text = successText;
    int result = work(*processor, text);
    if (result != 0)
        return fail(method, text, result);
    return 0;
}

int CDataCollection::setCallback(void* user, DataCallback callback)
{
    return onProcessor("CDataCollection::setCallback", "setCallback successful!",
                       [&](CDataProcessor& processor, std::string& text) {
                           return processor.setCallback(user, callback, text);
                       });
}

int CDataCollection::setPattern(std::vector<std::string> patterns)
{
    static const char* const kMethod = "CDataCollection::setPattern";
    setLastError("set Pattern successful!");
    if (!m_lock)
        return fail(kMethod, kNoLock, EDCR_INTERNAL);
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, EDCR_NOT_INITIALIZED);
    if (patterns.empty())
        return fail(kMethod, "invalid pattern parameter, empty pattern!", EDCR_PARAMETER);
    for (const std::string& pattern : patterns)
        if (pattern.empty())
            return fail(kMethod, "invalid pattern parameter, it has empty value.", EDCR_PARAMETER);
    SectionGuard guard(*m_lock);
    CDataProcessor* processor = m_processor.load();
    if (processor == nullptr)
        return fail(kMethod, "data processor pointer is null!", EDCR_INTERNAL);
    std::string text = "set Pattern successful!";
    int result = processor->setPattern(std::move(patterns), text);
    if (result != 0)
        return fail(kMethod, text, result);
    return 0;
}

std::vector<std::string> CDataCollection::getDefaultPattern()
{
    return defaultMenuPatterns();
}

CMenuData* CDataCollection::sendMenuCmdSync(int* result, std::string command, DWORD timeout)
{
    static const char* const kMethod = "CDataCollection::sendMenuCmdSync";
    const DWORD start = GetTickCount();
    CLogHelper scope(kMethod);
    int ignored = 0;
    int& code = result != nullptr ? *result : ignored;
    setLastError("sendMenuCmdSync successful!");
    if (!m_initialized) {
        code = fail(kMethod, kNotInitialized, EDCR_NOT_INITIALIZED);
        return nullptr;
    }
    if (m_mutex == nullptr) {
        code = fail(kMethod, kNoMutex, EDCR_INTERNAL);
        return nullptr;
    }
    if (!obtained(WaitForSingleObject(m_mutex, timeout))) {
        code = fail(kMethod, kMutexTimeout, EDCR_TIMEOUT);
        return nullptr;
    }
    struct MutexRelease {
        HANDLE mutex;
        ~MutexRelease() { ReleaseMutex(mutex); }
    } release{m_mutex};

    InterfacePort* port = m_port.load();
    if (port == nullptr) {
        code = fail(kMethod, "the communication port is null!", EDCR_INTERNAL);
        return nullptr;
    }
    if (m_lobInterface) {
        while (CFilterDriver::isInTransMode(port->getHandle())) {
            if (GetTickCount() - start > timeout) {
                code = fail(kMethod, "timeout waiting for no Lob transaction!", EDCR_TIMEOUT);
                return nullptr;
            }
            Sleep(kLobPollMs);
        }
    }
    CDataProcessor* processor = m_processor.load();
    if (processor == nullptr) {
        code = fail(kMethod, kNoProcessor, EDCR_INTERNAL);
        return nullptr;
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeout) {
        code = fail(kMethod, "wait until timeout before send data to device!", EDCR_TIMEOUT);
        return nullptr;
    }
    std::string text = "sendMenuCmdSync successful!";
    CData* reply = processor->sendMsgSync(&code, std::move(command), timeout - elapsed, text);
    if (code != 0)
        setLastError(text);
    auto* menuReply = dynamic_cast<CMenuData*>(reply);
    if (reply != nullptr && menuReply == nullptr) {
        delete reply;
        code = fail(kMethod, "the response is not a menu response!", EDCR_INTERNAL);
    }
    return menuReply;
}

int CDataCollection::sendMenuCmdAsync(std::string command)
{
    static const char* const kMethod = "CDataCollection::sendMenuCmdAsync";
    CLogHelper scope(kMethod);
    return onProcessor(kMethod, "sendMenuCmdAsync successful!", [&](CDataProcessor& processor, std::string& text) {
        return processor.sendMsgAsync(std::move(command), text);
    });
}

int CDataCollection::switchProcessorState(int state)
{
    static const char* const kMethod = "CDataCollection::switchProcessorState";
    CLogHelper scope(kMethod);
    return onProcessor(kMethod, "switchProcessorState successful!", [&](CDataProcessor& processor, std::string& text) {
        bool touch = false;
        bool headerOn = false;
        if (state != 0) {
            touch = m_touchDecHdr;
            headerOn = true;
        } else if (m_decHdrAnswer == '0' || m_decHdrAnswer == '1') {
            touch = m_touchDecHdr;
            headerOn = m_decHdrAnswer == '1';
        }
        // Any other stored answer (none, or a byte that is neither '0' nor
        // '1'): switch to raw and leave the header alone.
        return processor.switchProcessorState(state, touch, headerOn, text, kSwitchHeaderTimeout);
    });
}

int CDataCollection::getCurrentState()
{
    setLastError("getCurrentState successful!");
    if (!m_lock) {
        fail("CDataCollection::getCurrentState", kNoLock, 0);
        return m_currentState;
    }
    SectionGuard guard(*m_lock);
    if (CDataProcessor* processor = m_processor.load(); processor != nullptr)
        m_currentState = processor->getCurrentState();
    return m_currentState;
}

int CDataCollection::flush()
{
    static const char* const kMethod = "CDataCollection::flush";
    CLogHelper scope(kMethod);
    return onProcessor(kMethod, "flush successful!",
                       [](CDataProcessor& processor, std::string& text) { return processor.flushLocalBuff(text); });
}

int CDataCollection::getSubProductDetails(DWORD timeout)
{
    static const char* const kMethod = "CDataCollection::getSubProductDetails";
    CLogHelper scope(kMethod);
    setLastError("getSubProductDetails successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, EDCR_NOT_INITIALIZED);
    CDevice* device = m_device.load();
    if (device == nullptr || device->product == nullptr)
        return fail(kMethod, "null device or product pointer!", EDCR_INTERNAL);
    if (dynamic_cast<CHubProduct*>(device->product) == nullptr)
        return fail(kMethod, "null sub product pointer!", EDCR_INTERNAL);
    CSubProductHandler handler(this, timeout);
    if (handler.fillSubProductDetails(device)) {
        // The hub queries went through sendMenuCmdSync, which wrote its own.
        setLastError("getSubProductDetails successful!");
        return 0;
    }
    if (handler.isTimedOut())
        return fail(kMethod, "timeout during get sub product details!", EDCR_TIMEOUT);
    return fail(kMethod, "error happen during get sub product details!", EDCR_INTERNAL);
}

int CDataCollection::getLibraryVersion(std::string& version)
{
    setLastError("getLibraryVersion successful!");
    version = CScanningSDK::getVersion();
    return 0;
}

void CDataCollection::injectData(CData* record)
{
    CDataProcessor* processor = m_processor.load();
    if (record != nullptr && processor != nullptr)
        processor->injectData(record);
}

void CDataCollection::getLocalBuff(std::string& buffer)
{
    if (CDataProcessor* processor = m_processor.load(); processor != nullptr)
        processor->getLocalBuff(buffer);
}
