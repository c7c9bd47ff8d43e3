#include "CScannerMgr.h"

#include "CEventWindowThread.h"
#include "COPOSKestrel.h"
#include "CScannerWrapper.h"
#include "DirectIOText.h"
#include "RegistrySettings.h"
#include "SOHost.h"
#include "debug/ZRIDbgBase.h"

#include "platform/debug.h"
#include "platform/time.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char ENQ = 0x05;
constexpr DWORD kReplyPollMs = 50;
constexpr DWORD kWindowPollMs = 100;
constexpr DWORD kWindowStartLimitMs = 30000;

const char* const kDescription = "Varnex OPOS Scanner (Barcode) Service Object";
constexpr int kServiceObjectVersion = 1013210;

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The command text without its marks and without a leading ":address:".
std::string stripMarks(const std::string& command)
{
    std::string text;
    for (char c : command)
        if (std::strchr("?.!*^$#@", c) == nullptr || c == '\0')
            text.push_back(c);
    if (!text.empty() && text[0] == ':') {
        const std::size_t close = text.find(':', 1);
        text = close == std::string::npos ? std::string() : text.substr(close + 1);
    }
    return text;
}

// Nothing but switch answers: a digit and ACK each.
bool onlySwitchAnswers(const std::string& reply)
{
    if (reply.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < reply.size(); i += 2)
        if ((reply[i] != '0' && reply[i] != '1') || reply[i + 1] != ACK)
            return false;
    return true;
}

}  // namespace

const char* const CScannerMgr::kEnableSequence = "\x16" "1\r.;\x16" "1\r.";
const char* const CScannerMgr::kDisableSequence = "\x16" "0\r.;\x16" "0\r.";

CScannerMgr::CScannerMgr()
{
    m_common.m_nServiceObjectVersion = kServiceObjectVersion;
    SetCheckHealthView(nullptr);
    InitClosedVars();
}

CScannerMgr::~CScannerMgr()
{
    if (m_windowThread) {
        m_windowThread->PostClose();
        m_windowThread->WaitForEnd(INFINITE);
    }
    if (m_common.m_nOpened != 0)
        CloseService();
    m_reconnect.Shutdown();
    m_firmware.WaitForEnd();
    m_windowThread.reset();
    std::lock_guard lock(m_queueLock);
    delete m_pQueue;
    m_pQueue = nullptr;
}

ZRIDbgBase& CScannerMgr::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

void CScannerMgr::Trace(const char* text)
{
    COPOSKestrel::GetInstance()->Trace(text);
}

void CScannerMgr::SetCheckHealthView(ICheckHealthView* view)
{
    // The process's own view is chosen when it is first needed: a host may
    // start its Qt application after it made the service object.
    m_pView = view != nullptr ? view : m_defaultView.get();
    m_dialog = std::make_unique<CInteractive>(m_pView);
    m_common.SetCheckHealthDialog(m_dialog.get());
}

void CScannerMgr::InitClosedVars()
{
    m_nDecodeData = 0;
    m_nAutoDisable = 0;
    m_nDeviceEnabled = 0;
    {
        std::lock_guard lock(m_scanLock);
        m_strScanData = "[Error]";
        m_strScanDataLabel = "[Error]";
    }
    m_nScanDataType = 0;
}

void CScannerMgr::Store(int code)
{
    m_common.m_nResultCode = code;
    m_common.m_nResultCodeExtended = code;
}

int CScannerMgr::GetDeviceOpenStatus()
{
    if (m_common.m_nOpened != 0) {
        m_common.m_nOpenResult = 301;
        Store(106);
    }
    return m_common.m_nOpened;
}

int CScannerMgr::CheckBusyOnline(const char* tag, int disconnected)
{
    if (m_pQueue == nullptr || m_common.m_nOpened == 0)
        return 101;  // closed: there is no queue to tell busy or online
    if (m_pQueue->GetState() == 3) {
        Debug().LogText(tag, "Busy");
        return 113;
    }
    if (m_pQueue->GetPowerState() != 2001) {
        Debug().LogText(tag, "Device is disconnected");
        return disconnected;
    }
    return 0;
}

// ---------------------------------------------------------------- open

long CScannerMgr::OpenService(const std::string& deviceName, const std::string& autoDetect, const std::string& port,
                              const std::string& maximumTimeOut, const std::string& commandTimeOut,
                              const std::string& scanDataOption, const std::string& decodeGs1Ltd)
{
    static const char* const tag = "ScnrSO.OpenService();";
    if (m_common.m_nOpened != 0) {
        m_common.m_nOpenResult = 301;
        Store(106);
        return 106;
    }
    m_pFacade = COPOSKestrel::GetInstance();
    const std::string deviceKey = DeviceKeyPath("Scanner", deviceName);
    m_pFacade->Open(&m_pDebug);
    m_common.SetDebug(m_pDebug);
    m_common.SetFacade(m_pFacade);
    m_common.m_strDeviceKey = deviceKey;
    m_nDecodeGs1Ltd = std::atoi(decodeGs1Ltd.c_str());
    m_common.m_nScanDataOption = std::atoi(scanDataOption.c_str());
    Debug().LogText(tag, " Initialized from registry");

    auto fail = [&](int code) -> long {
        {
            std::lock_guard lock(m_queueLock);
            m_pFacade->SetQueue(nullptr);
            delete m_pQueue;
            m_pQueue = nullptr;
        }
        m_pFacade->Close();
        m_common.m_nOpenResult = code;
        Store(104);
        return 104;
    };

    {
        std::lock_guard lock(m_queueLock);
        m_pQueue = new CScannerDataQ(m_common.m_nQueueCapacity, m_pDebug);
        m_pFacade->SetQueue(m_pQueue);
    }
    m_reconnect.Init(m_pFacade, m_pDebug, m_pQueue, &m_common);
    if (m_common.InitFromRegistry(autoDetect, maximumTimeOut, commandTimeOut, port) == 0) {
        Debug().LogText(tag, " Failed to initialized from registry");
        return fail(403);
    }
    Debug().LogText(tag, " Initialized from registry");

    // One event-window thread serves every open of this object: a later
    // open finds it running with its window.
    m_window.SetDebug(m_pDebug);
    m_window.SetOwner(this);
    if (!m_windowThread || m_windowThread->WindowReady() != 1) {
        if (m_windowThread) {
            m_windowThread->PostClose();
            m_windowThread->WaitForEnd(INFINITE);
        }
        m_windowThread = std::make_unique<CEventWindowThread>(m_window, m_pDebug, m_windowThreadStarter);
        if (!m_windowThread->Start()) {
            Debug().LogText(tag, "event window thread could not be started");
            m_windowThread.reset();
            return fail(403);
        }
        int ready = 0;
        for (DWORD waited = 0; ready == 0 && waited < kWindowStartLimitMs; waited += kWindowPollMs)
            ready = m_windowThread->WaitForWindow(kWindowPollMs);
        if (ready != 1) {
            m_windowThread->PostClose();
            m_windowThread->WaitForEnd(INFINITE);
            m_windowThread.reset();
            return fail(403);
        }
    }
    OutputDebugStringA("^^^^^^^^^ Handle Created ^^^^^^^^^");

    m_firmware.Init(m_pFacade, m_pDebug, m_pQueue, m_common.m_descriptor);
    m_pQueue->SetDeviceKey(deviceKey);
    m_common.m_pDeviceInfo = std::make_unique<CDeviceInfo>(m_pDebug, m_pFacade);
    const bool setUp = m_common.m_pDeviceInfo->GetInfo() == 0;
    if (!setUp)
        Debug().LogText("ScnrSO.SetUpDevice();", "failed in setup device");
    m_pQueue->SetPowerState(2001);
    if (!setUp) {
        Debug().LogText(tag, " SetUp Device failed");
        return fail(104);
    }
    Debug().LogText(tag, " opened");
    m_common.SetOpened();
    m_nDeviceEnabled = 0;
    m_nAutoDisable = 0;
    m_common.m_nOpened = 1;
    m_common.m_nOpenResult = 0;
    Store(0);
    return 0;
}

// ---------------------------------------------------------------- claim

long CScannerMgr::ClaimDevice(long timeout)
{
    static const char* const tag = "CScannerMgr::Claimdevice";
    Debug().LogText("CScannerMgr::ClaimDevice", "entered ");
    const int check = CheckBusyOnline(tag, 106);
    if (check != 0) {
        Store(check);
        return check;
    }
    if (m_common.m_nClaimed != 0)
        return 0;
    // A firmware thread that ended after its update reconnects no more.
    m_firmware.WaitForEnd();
    const int claimed = m_common.ClaimDevice(timeout);
    if (claimed != 0) {
        ReleaseDevice();
        Store(claimed);
        return claimed;
    }
    m_pFacade->SetInUse(true);
    for (const char* command : {"UPACKX1.", "UPECKX1.", "E13CKX1.", "EA8CKX1."}) {
        if (SendCmdToDevice(command, nullptr, m_common.m_llCommandTimeOut, 0) != 0) {
            Debug().LogText(tag, (std::string(" can't set ") + command).c_str());
            ReleaseDevice();
            Store(106);
            return 106;
        }
    }
    if (SetAutoDisable(m_nAutoDisable.load()) != 0) {
        ReleaseDevice();
        Store(106);
        return 106;
    }
    m_reconnect.StartThread();
    if (!m_pQueue->IsRunning()) {
        m_pQueue->StartThread();
        Debug().Log("m_pScannerQ thread started");
        m_pQueue->SetEventWindow(m_window.GetSafeHwnd());
    }
    return 0;
}

long CScannerMgr::SetDeviceEnabled(long enable)
{
    const long result = SwitchDevice(enable);
    if (result != 0) {
        // The scanner may have taken the switch and only its answer was
        // lost: it is told again what DeviceEnabled still reads, so that
        // the two agree.
        SwitchDevice(m_nDeviceEnabled.load());
    }
    return result;
}

long CScannerMgr::SwitchDevice(long enable)
{
    static const char* const tag = "CScannerMgr.SetDeviceEnabled();";
    const int result =
        SendCmdToDevice(enable != 0 ? kEnableSequence : kDisableSequence, nullptr, m_common.m_llCommandTimeOut, 1);
    if (result == kTimedOut) {
        Debug().LogText(tag, "Timed out");
        return 112;
    }
    if (result != 0) {
        Debug().LogText(tag, "Bad cmd response");
        return 111;
    }
    Debug().LogText(tag, enable != 0 ? "enabled" : "disabled");
    m_nDeviceEnabled = enable != 0 ? 1 : 0;
    return 0;
}

long CScannerMgr::SetAutoDisable(long value)
{
    static const char* const tag = "CScannerMgr.SetAutoDisable();";
    if (m_common.m_nClaimed == 0) {
        m_nAutoDisable = value;
        return 0;
    }
    const int result = SendCmdToDevice(value == 1 ? "OPSADM1!" : "OPSADM0!", nullptr, m_common.m_llCommandTimeOut, 0);
    if (result != 0) {
        Debug().LogText(tag, result == kTimedOut ? "Timed out" : "Bad cmd response");
        Debug().LogText(tag, "cannot setup auto disable");
        return result == kTimedOut ? 112 : 111;
    }
    m_nAutoDisable = value;
    if (m_nDeviceEnabled.load() == 0) {
        const long disabled = SetDeviceEnabled(0);
        if (disabled != 0) {
            Debug().LogText(tag, "cannot setup device disable");
            return disabled;
        }
    }
    return 0;
}

void CScannerMgr::DisableDevice()
{
    SetDeviceEnabled(0);
}

// ---------------------------------------------------------------- release, close

long CScannerMgr::ReleaseDevice()
{
    static const char* const tag = "ScanSO.ReleaseDevice(); ";
    if (m_common.m_nClaimed == 0) {
        Store(106);
        return 106;
    }
    if (m_pQueue != nullptr && m_pQueue->GetState() == 3) {
        if (m_firmware.cancelFirmwareUpgrade() != 0)
            Debug().LogText(tag, "failed to stop firmware update");
        else
            Debug().LogText(tag, "firmware update canceled successfully");
    }
    // The update thread connects the device again when a flash fails or is
    // cancelled: it must be done before the device is let go.
    m_firmware.WaitForEnd();
    // Left scanning whatever it answers (DeviceEnabled reads 0 after the
    // release all the same).
    SwitchDevice(1);
    m_reconnect.Shutdown();
    if (m_pQueue != nullptr) {
        m_pQueue->SetEventWindow(nullptr);
        m_pQueue->Shutdown();
    }
    m_pFacade->SetInUse(false);
    m_pFacade->DisConnect();
    m_common.m_nClaimed = 0;
    m_nDeviceEnabled = 0;
    if (m_pQueue != nullptr)
        m_pQueue->SetState(2);
    Debug().LogText(tag, "Device released");
    Store(0);
    return 0;
}

long CScannerMgr::CloseService()
{
    static const char* const tag = "ScnrSO.CloseService; ";
    Debug().LogText(tag, "entered ");
    if (m_common.m_nOpened == 0) {
        m_common.m_nResultCode = 0;
        return 0;
    }
    if (m_common.m_nClaimed != 0) {
        const long released = ReleaseDevice();
        if (released != 0)
            return released;
    }
    m_pFacade->Close();
    {
        std::lock_guard lock(m_queueLock);
        std::lock_guard exchange(m_exchangeLock);
        if (m_pQueue != nullptr) {
            m_pQueue->SetState(1);
            m_pQueue->SetEventWindow(nullptr);
            m_pFacade->SetQueue(nullptr);
            delete m_pQueue;
            m_pQueue = nullptr;
        }
        InitClosedVars();
        m_common.Reset();
        m_common.m_nOpened = 0;
    }
    Store(0);
    return 0;
}

// ---------------------------------------------------------------- menu exchange

int CScannerMgr::SendCmdToDevice(const std::string& command, std::string* response, long long timeout, int raw)
{
    static const char* const tag = "CScannerMgr::SendCmdToDevice();";
    if (m_pFacade == nullptr)
        return kNoFacade;
    if (timeout < 0)
        return kTimedOut;
    const DWORD limit = static_cast<DWORD>(std::min<long long>(timeout, 0x7FFFFFFF));
    const DWORD start = GetTickCount();
    // The exchange lock: one request and its reply at a time. Waiting for it
    // uses up the same time-out.
    std::unique_lock exchange(m_exchangeLock, std::defer_lock);
    if (!TakeExchange(exchange, start, limit))
        return kTimedOut;
    // The queue stays while the exchange lock is held: closing takes it.
    CScannerDataQ* queue = m_pQueue;
    if (queue == nullptr)
        return kNoFacade;
    int result = kTimedOut;
    try {
        queue->ClearExchange();
        const bool rawSequence = command == kEnableSequence || command == kDisableSequence;
        std::string request = rawSequence ? command : stripMarks(command);
        request = upper(request);
        if (!rawSequence) {
            const std::size_t semicolon = request.find(';');
            if (semicolon != std::string::npos)
                request = request.substr(semicolon + 1);
        }
        queue->SetPendingRequest(request);
        // Each switch's answer is taken on its own until the sequence ends.
        struct SwitchAnswers {
            COPOSKestrel* facade;
            explicit SwitchAnswers(COPOSKestrel* f) : facade(f)
            {
                if (facade != nullptr)
                    facade->TakeSwitchAnswers(true);
            }
            ~SwitchAnswers()
            {
                if (facade != nullptr)
                    facade->TakeSwitchAnswers(false);
            }
        } switchAnswers(rawSequence ? m_pFacade : nullptr);
        const int sent = m_pFacade->SendMenuCmdASynch(command, raw);
        if (sent != 0) {
            Debug().LogText(tag, "Bad cmd response");
            queue->SetPendingRequest({});
            return sent;
        }
        for (;;) {
            const std::string reply = queue->GetLastResponse();
            if (!reply.empty()) {
                if (reply.find(NAK) != std::string::npos || reply.find(ENQ) != std::string::npos) {
                    Debug().LogText2(tag, "cmd resp; NAK or ENQ", command.c_str());
                    if (response != nullptr)
                        *response = reply;
                    result = kRefused;
                    break;
                }
                std::string plain;
                for (char c : reply)
                    if (c != ACK)
                        plain.push_back(c);
                if (upper(plain).find(request) != std::string::npos && !rawSequence) {
                    Debug().LogText2(tag, "response", reply.c_str());
                    if (response != nullptr)
                        *response = reply;
                    result = 0;
                    break;
                }
                if (rawSequence) {
                    // Each switch echoes its own digit. An earlier switch's
                    // answer that came late (one that timed out, say) may
                    // stand in front: only this switch's two answers at the
                    // end complete it.
                    const std::string answer{command == kEnableSequence ? '1' : '0', ACK};
                    const std::string both = answer + answer;
                    if (reply.size() >= both.size() &&
                        reply.compare(reply.size() - both.size(), both.size(), both) == 0) {
                        if (response != nullptr)
                            *response = reply;
                        result = 0;
                        break;
                    }
                    // Switch answers so far: labels the scanner sends now go
                    // their own way, the rest of the answers follows.
                    if (!onlySwitchAnswers(reply))
                        break;
                }
            }
            if (platform::tickElapsed(start, GetTickCount()) >= limit)
                break;
            Sleep(kReplyPollMs);
        }
    } catch (...) {
        Debug().LogText(tag, "exception in sendmenucmd");
    }
    queue->SetPendingRequest({});
    return result;
}

bool CScannerMgr::TakeExchange(std::unique_lock<ExchangeLock>& exchange, DWORD start, DWORD limit)
{
    const DWORD spent = platform::tickElapsed(start, GetTickCount());
    if (spent > limit)
        return false;
    ++m_exchangesWaiting;
    const bool locked = exchange.try_lock_for(std::chrono::milliseconds(limit - spent));
    --m_exchangesWaiting;
    // A lock freed just as the time ran out comes too late all the same.
    if (locked && platform::tickElapsed(start, GetTickCount()) > limit) {
        exchange.unlock();
        return false;
    }
    return locked;
}

// ---------------------------------------------------------------- properties

long CScannerMgr::GetPropertyNumber(long index)
{
    long value = 0;
    if (m_common.GetPropertyNumber(index, &value) != 0)
        return value;
    std::lock_guard lock(m_queueLock);
    CScannerDataQ* queue = m_pQueue;
    switch (index) {
    case 2:
        return queue != nullptr && queue->GetDataEventEnabled() ? 1 : 0;
    case 3:
        return m_nDeviceEnabled.load();
    case 4:
        return queue != nullptr && queue->GetFreezeEvents() ? 1 : 0;
    case 9:
        return queue != nullptr ? queue->GetState() : 1;
    case 10:
        return m_nAutoDisable.load();
    case 12:
        return queue != nullptr ? queue->GetDataCount() : 0;
    case 14:
        if (queue != nullptr && m_nDeviceEnabled.load() != 0 && m_common.m_nCapPowerReporting != 0 &&
            m_common.m_nPowerNotify == 1)
            return queue->GetPowerState();
        return 2000;
    case 10001:
        return m_nDecodeData.load();
    case 10002:
        return m_nScanDataType.load();
    default:
        return 0;
    }
}

long CScannerMgr::SetPropertyNumber(long index, long value)
{
    static const char* const tag = "CScannerMgr::SetPropertyNumber";
    if (m_pQueue == nullptr || m_common.m_nOpened == 0) {
        Store(101);
        return 101;
    }
    if (index == 3 || index == 10) {
        const int check = CheckBusyOnline(tag, 107);
        if (check != 0) {
            Store(check);
            return check;
        }
    }
    long result = 106;
    if (m_common.SetPropertyNumber(index, value) != 0) {
        result = 0;
    } else {
        switch (index) {
        case 2:
            m_pQueue->SetDataEventEnabled(value != 0);
            result = 0;
            break;
        case 3:
            result = m_common.m_nClaimed != 0 ? SetDeviceEnabled(value) : 103;
            break;
        case 4:
            m_pQueue->SetFreezeEvents(value != 0);
            result = 0;
            break;
        case 10:
            result = SetAutoDisable(value);
            break;
        case 13:
            if (m_common.m_nCapPowerReporting != 0 && m_nDeviceEnabled.load() == 0) {
                m_common.m_nPowerNotify = static_cast<int>(value);
                result = 0;
            }
            break;
        case 10001:
            m_nDecodeData = value;
            result = 0;
            break;
        case 10002:
            m_nScanDataType = value;
            result = 0;
            break;
        default:
            break;
        }
    }
    Store(static_cast<int>(result));
    return result;
}

BSTR CScannerMgr::GetPropertyString(long index)
{
    std::string text;
    switch (index) {
    case 1000001:
        text = m_common.m_strCheckHealthText;
        break;
    case 1000002:
        text = m_common.m_pDeviceInfo ? m_common.m_pDeviceInfo->m_strDescriptionText : std::string();
        break;
    case 1000003:
        text = m_common.m_pDeviceInfo ? m_common.m_pDeviceInfo->m_strNameText : std::string();
        break;
    case 1000004:
        text = kDescription;
        break;
    case 1010001: {
        std::lock_guard lock(m_scanLock);
        text = m_strScanData;
        break;
    }
    case 1010002: {
        std::lock_guard lock(m_scanLock);
        text = m_strScanDataLabel;
        break;
    }
    default:
        text = "[Error: Automation?]";
        break;
    }
    return platform::bstrFromAnsi(text);
}

long CScannerMgr::SetPropertyString(long, const std::string&)
{
    Store(106);
    return 106;
}

// ---------------------------------------------------------------- DirectIO

long CScannerMgr::DirectIO(long command, long* pData, BSTR* pString)
{
    static const char* const tag = "CScannerMgr.DirectIO();";
    int check = CheckBusyOnline(tag, 107);
    if (check == 0 && m_common.m_nClaimed == 0)
        check = 106;
    if (check == 0 && (pString == nullptr || pData == nullptr))
        check = 106;
    if (check != 0) {
        Store(check);
        return check;
    }
    m_common.m_nResultCode = 106;
    if (command < 10 || command > 19) {
        long number = pData != nullptr ? *pData : 0;
        std::string text;
        return m_common.DirectIO(5001, &number, &text);
    }
    long result = 106;
    if (command >= 10 && command <= 13) {
        result = DIOGetImage(command, pData, pString);
    } else if (command == 18) {
        const std::string text = DirectIOCommandText(*pString);
        const std::string name = DirectIOCommandName(text);
        if (text.find(';') != std::string::npos || name.size() < 6 || *pData < 0 || DirectIOTooLongForAMenu(text)) {
            result = 106;
        } else if (upper(name) == "IMGSHP") {
            result = DIOGetImage(18, pData, pString, text + ".");
        } else {
            // The command and the re-enable after it are one exchange: an
            // AutoDisable from the event-window thread comes after both, so
            // the re-enable never undoes it. The wait for the exchange and
            // the wait for the reply share one CommandTimeOut; without the
            // exchange nothing is sent.
            const long long timeout = m_common.m_llCommandTimeOut;
            const DWORD limit = static_cast<DWORD>(std::clamp<long long>(timeout, 0, 0x7FFFFFFF));
            const DWORD start = GetTickCount();
            std::unique_lock exchange(m_exchangeLock, std::defer_lock);
            const bool held = timeout >= 0 && TakeExchange(exchange, start, limit);
            std::string reply;
            const DWORD spent = platform::tickElapsed(start, GetTickCount());
            const int sent = held ? SendCmdToDevice(text + ".", &reply, spent >= limit ? 0 : limit - spent, 0)
                                  : kTimedOut;
            if (sent == kTimedOut) {
                result = 112;
            } else if (sent != 0 && sent != kRefused) {
                result = 106;
            } else {
                const std::size_t count = std::min<std::size_t>(reply.size(), static_cast<std::size_t>(*pData));
                result = WriteDirectIOAnswer(pString, WidenDirectIOBytes(reply.substr(0, count))) ? 0 : 111;
                if (result == 0)
                    *pData = static_cast<long>(count);
            }
            if (held && m_common.m_pDeviceInfo && m_common.m_pDeviceInfo->m_nFlashType == 5)
                SetDeviceEnabled(m_nDeviceEnabled.load());
        }
    } else if (command == 19) {
        long long value = 0;
        if (DirectIOTimeoutValue(DirectIOCommandText(*pString), value)) {
            if (value == -1)
                m_common.m_llCommandTimeOut = m_common.m_llMaximumTimeOut;
            else if (value == 0)
                m_common.m_llCommandTimeOut = m_common.m_llCommandTimeOutAtOpen;
            else
                m_common.m_llCommandTimeOut = value;
            Debug().LogTextNumber(tag, "Timeout changed", static_cast<long>(m_common.m_llCommandTimeOut));
            result = 0;
        }
    }
    Store(static_cast<int>(result));
    return result;
}

long CScannerMgr::DIOGetImage(long command, long* pData, BSTR* pString, const std::string& captureCommand)
{
    static const char* const tag = "CScannerMgr.DIOGetImage(); ";
    if (!m_common.m_pDeviceInfo || m_common.m_pDeviceInfo->m_nImaging == 0) {
        Debug().LogText(tag, "connected device is not an imager");
        m_common.m_nResultCode = 106;
        return 106;
    }
    static const char* const captures[] = {"IMGSNP1L;IMGSHP2P8F.", "IMGSNP1L;IMGSHP2P1F.", "IMGSNP1L;IMGSHP2P3F.",
                                           "IMGSNP1L;IMGSHP2P6F."};
    std::string capture;
    if (command >= 10 && command <= 13)
        capture = captures[command - 10];
    else if (command == 18)
        capture = captureCommand;
    else
        return 106;
    if (pData == nullptr || *pData < 0 || pString == nullptr)
        return 106;
    m_pQueue->TakeLastImage();
    const int sent = SendCmdToDevice(capture, nullptr, m_common.m_llCommandTimeOut, 0);
    if (sent != 0) {
        m_pQueue->TakeLastImage();
        if (sent == kTimedOut) {
            Debug().LogText(tag, "Did not get the response on time");
            return 112;
        }
        Debug().LogText(tag, "Request and response did not match");
        return 106;
    }
    Debug().LogText(tag, "SUCCESS");
    const std::vector<unsigned char> image = m_pQueue->TakeLastImage();
    if (image.empty()) {
        Debug().LogText(tag, "Did not get image data");
        return 106;
    }
    Debug().LogText(tag, "image acquired");
    const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(*pData), image.size());
    const std::string bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(k));
    std::string encoded;
    if (SOHost().AppType() != 0 || m_common.m_nBinaryConversion == 1)
        encoded = CCommonSO::ToNibbles(bytes);
    else if (m_common.m_nBinaryConversion == 2)
        encoded = CCommonSO::ToDecimal(bytes);
    else
        encoded = bytes;
    if (!WriteDirectIOAnswer(pString, WidenDirectIOBytes(encoded)))
        return 111;
    *pData = static_cast<long>(encoded.size());
    Debug().LogText(tag, "Copied image");
    return 0;
}

// ---------------------------------------------------------------- CheckHealth, input

long CScannerMgr::CheckHealth(long level)
{
    static const char* const tag = "CScannerMgr::CheckHealth";
    const int check = CheckBusyOnline(tag, 107);
    if (check == 113)
        m_common.m_strCheckHealthText = "Busy";
    else if (check == 107)
        m_common.m_strCheckHealthText = "Device is disconnected";
    if (check != 0) {
        Store(check);
        return check;
    }
    if (m_common.m_nClaimed == 0) {
        m_common.m_strCheckHealthText = "Must claim first";
        m_common.m_nResultCode = 103;
        return 103;
    }
    if (m_nDeviceEnabled.load() == 0) {
        m_common.m_strCheckHealthText = "Device is not enabled";
        m_common.m_nResultCode = 105;
        return 105;
    }
    long result = 106;
    if (level == 1 || level == 2) {
        const bool answered = SendCmdToDevice("C39ENA?.", nullptr, m_common.m_llCommandTimeOut, 0) == 0;
        if (level == 1)
            m_common.m_strCheckHealthText = answered ? "Internal HCheck; Successful" : "Internal HCheck; Not Responding";
        else
            m_common.m_strCheckHealthText = answered ? "External HCheck; Successful" : "External HCheck; Not Responding";
        result = answered ? 0 : 111;
    } else if (level == 3) {
        if (m_pView == nullptr) {
            m_defaultView = MakeCheckHealthView();
            SetCheckHealthView(m_defaultView.get());
        }
        m_pQueue->SetDirectPost(true);
        const bool autoDisable = m_nAutoDisable.load() != 0;
        if (autoDisable)
            SendCmdToDevice("OPSADM0!", nullptr, m_common.m_llCommandTimeOut, 0);
        result = m_common.CheckHealth(3);
        if (autoDisable)
            SendCmdToDevice("OPSADM1!", nullptr, m_common.m_llCommandTimeOut, 0);
        m_pQueue->SetDirectPost(false);
    }
    Store(static_cast<int>(result));
    return result;
}

long CScannerMgr::ClearInput()
{
    long result = 0;
    if (m_common.m_nOpened == 0 || m_pQueue == nullptr) {
        result = 101;
    } else if (m_common.m_nClaimed == 0) {
        result = 103;
    } else {
        m_pQueue->PurgeInput();
        if (m_pQueue->GetState() == 4)
            m_pQueue->SetState(2);
    }
    Store(static_cast<int>(result));
    return result;
}

long CScannerMgr::ClearInputProps()
{
    Debug().LogText("ScnrSO.ClearInputProps; ", "entered ");
    long result = 0;
    if (m_common.m_nOpened == 0 || m_pQueue == nullptr) {
        result = 101;
    } else if (m_common.m_nClaimed == 0) {
        result = 103;
    } else {
        m_pQueue->SetDataEventEnabled(false);
        m_nScanDataType = 0;
        std::lock_guard lock(m_scanLock);
        m_strScanData.clear();
        m_strScanDataLabel.clear();
    }
    Store(static_cast<int>(result));
    return result;
}

long CScannerMgr::ClearOutput()
{
    Store(106);
    return 106;
}

long CScannerMgr::COFreezeEvents(int freeze)
{
    Debug().LogText("ScnrSO.COFreezeEvents ", "entered ");
    std::lock_guard lock(m_queueLock);
    if (m_pQueue == nullptr || m_common.m_nOpened == 0) {
        Store(101);
        return 101;
    }
    m_pQueue->SetFreezeEvents(freeze != 0);
    Store(0);
    return 0;
}

// ---------------------------------------------------------------- statistics, firmware

namespace {

// 101 not open, 103 not claimed, 105 not enabled, else 0.
int stateCheck(const CCommonSO& common, long enabled)
{
    if (common.m_nOpened == 0)
        return 101;
    if (common.m_nClaimed == 0)
        return 103;
    if (enabled == 0)
        return 105;
    return 0;
}

}  // namespace

long CScannerMgr::ResetStatistics(const std::string& text)
{
    const int check = stateCheck(m_common, m_nDeviceEnabled.load());
    if (check != 0) {
        m_common.m_nResultCode = check;
        return check;
    }
    return m_common.ResetStatistics(text);
}

long CScannerMgr::UpdateStatistics(const std::string& text)
{
    const int check = stateCheck(m_common, m_nDeviceEnabled.load());
    if (check != 0) {
        m_common.m_nResultCode = check;
        return check;
    }
    return m_common.UpdateStatistics(text);
}

long CScannerMgr::RetrieveStatistics(BSTR* statistics)
{
    int result = stateCheck(m_common, m_nDeviceEnabled.load());
    if (result == 0) {
        if (statistics == nullptr) {
            result = 106;
        } else {
            std::string text = platform::ansiFromBstr(*statistics);
            result = m_common.RetrieveStatistics(text);
            BSTR answer = platform::bstrFromAnsi(text);
            if (answer == nullptr) {
                result = 111;
            } else {
                SysFreeString(*statistics);
                *statistics = answer;
            }
        }
    }
    Store(result);
    return result;
}

long CScannerMgr::UpdateFirmware(const std::string& fileName)
{
    Debug().LogText("ScnrSO.UpdateFirmware, ", "entered");
    int check = CheckBusyOnline("ScnrSO.UpdateFirmware, ", 107);
    if (check == 0)
        check = stateCheck(m_common, m_nDeviceEnabled.load());
    if (check != 0) {
        if (check == 113 || check == 107)
            Store(check);
        else
            m_common.m_nResultCode = check;
        return check;
    }
    return m_common.UpdateFirmware(fileName, &m_firmware);
}

long CScannerMgr::CompareFirmwareVersion(const std::string& fileName, long* result)
{
    Debug().LogText("ScnrSO.CompareFirmwareVersion ", "entered ");
    int check = CheckBusyOnline("ScnrSO.CompareFirmwareVersion ", 107);
    if (check == 0)
        check = stateCheck(m_common, m_nDeviceEnabled.load());
    if (check == 0) {
        check = m_common.CompareFirmware(fileName);
        if (result != nullptr && check == 0)
            *result = 2;  // the file's version could not be compared with the device's
    }
    Store(check);
    return check;
}

// ---------------------------------------------------------------- fires

void CScannerMgr::ProcessBarcodeEventData(CDataEvent& event)
{
    const bool interactive = m_common.m_nInteractiveCheck.load() != 0;
    const bool decode = m_nDecodeData.load() != 0;
    long n = event.DataLength();
    if (decode && !interactive) {
        std::string aim;
        if (n >= 4 && event.m_data[2] != 0) {
            aim.assign(1, ']');
            aim.push_back(static_cast<char>(event.m_data[2]));
            if (event.m_data[3] != 0)
                aim.push_back(static_cast<char>(event.m_data[3]));
        }
        m_nScanDataType = GetScanDataType(event.m_cCodeId, aim, std::max<long>(n - 4, 0), m_nDecodeGs1Ltd.load());
    }
    long p = 4;
    if (m_common.m_nScanDataOption == 1) {
        event.StripIdentifiers();
        Debug().LogText("ScnrSO.ProcessBarcodeEventData, ", "strip code and aim ids");
        n = event.DataLength();
        p = 0;
    }
    const std::string bytes(event.m_data.begin(), event.m_data.end());
    std::string scanData;
    switch (m_common.m_nBinaryConversion) {
    case 1:
        scanData = CCommonSO::ToNibbles(bytes);
        n *= 2;
        p = p == 4 ? 8 : p;
        break;
    case 2:
        scanData = CCommonSO::ToDecimal(bytes);
        n *= 3;
        p = p == 4 ? 12 : p;
        break;
    default:
        scanData = bytes;
        break;
    }
    const std::string shown = n > p ? scanData.substr(static_cast<std::size_t>(p)) : std::string();
    std::lock_guard lock(m_scanLock);
    m_strScanData = scanData;
    if (!decode || interactive) {
        m_strScanDataLabel.clear();
        m_nScanDataType = 0;
    } else {
        m_strScanDataLabel = shown;
    }
    if (interactive) {
        m_dialog->SetText(shown);
        m_strScanData.clear();
    }
}

void CScannerMgr::FireDataEvent(CDataEvent* event)
{
    bool fire = false;
    {
        std::lock_guard lock(m_queueLock);
        if (m_pQueue == nullptr || event == nullptr)
            return;  // closed meanwhile: the record is freed, not fired
        ProcessBarcodeEventData(*event);
        fire = m_common.m_nInteractiveCheck.load() == 0;
        if (fire)
            m_pQueue->SetDataEventEnabled(false);
    }
    // Fired without the queue's lock: the control hands the event to the
    // application's thread and waits for its handler, which reads the
    // properties (DataEventEnabled, DecodeData, ...) under that lock. The
    // record stays the caller's, so it outlives a Close from the handler.
    if (fire)
        CScannerWrapper::ScannerFireUpdateDataEvent(event->m_lStatus);
    std::lock_guard lock(m_queueLock);
    if (m_pQueue != nullptr && m_pQueue->GetStatusBehind()) {
        m_pQueue->SignalOne();
        m_pQueue->ClearStatusBehind();
    }
}

void CScannerMgr::FireErrorEvent(CErrorEvent* event)
{
    static const char* const tag = "ScnrSO.FireErrorEvent, ";
    {
        std::lock_guard lock(m_queueLock);
        if (m_pQueue == nullptr || event == nullptr)
            return;
        m_pQueue->SetState(4);
        m_pQueue->SetErrorFiring(true);
    }
    // Fired without the queue's lock, as a data event is: the handler runs
    // on the application's thread and may read properties or close.
    long response = event->m_lErrorResponse;
    CScannerWrapper::ScannerFireErrorEvent(event->m_lResultCode, event->m_lResultCodeExtended, event->m_lErrorLocus,
                                           &response);
    Debug().LogNumber(tag, response);
    std::lock_guard lock(m_queueLock);
    if (m_pQueue == nullptr)
        return;  // the application closed the service from its handler
    m_pQueue->SetErrorFiring(false);
    switch (response) {
    case 11:
        break;
    case 12:
        // Clear drops the input the error stands for, never a status update.
        m_pQueue->PurgeInput();
        m_pQueue->SetState(2);
        m_pQueue->SignalOne();
        break;
    case 13:
        m_pQueue->SetState(4);
        m_pQueue->SignalOne();
        break;
    default:
        Debug().LogText(tag, "received and unknown errorResponse");
        break;
    }
}

void CScannerMgr::FireStatus(long status)
{
    CScannerWrapper::ScannerFireStatusEvent(status);
}

void CScannerMgr::FireSUE(CStatusUpdateEvent* event)
{
    static const char* const tag = "ScnrSO.FireSUE, ";
    long status = 0;
    bool fire = false;
    {
        std::lock_guard lock(m_queueLock);
        if (m_pQueue == nullptr || event == nullptr)
            return;
        status = event->m_lStatus;
        const bool reported = m_nDeviceEnabled.load() != 0 && m_common.m_nPowerNotify != 0;
        if (status == 2004 || status == 2001) {
            fire = reported;
        } else if (status == 2205 && SOHost().AppType() != 1) {
            if (ReleaseDevice() != 0)
                Debug().LogText(tag, "ReleaseConnection failed");
            m_common.Reset();
            m_common.SetOpened();
            if (ClaimDevice(-1) != 0) {
                Debug().LogText(tag, "ClaimConnection in FireStatusUpdateEvent failed");
                Store(111);
            } else {
                m_common.m_nClaimed = 1;
                m_nDecodeData = 0;
                m_nScanDataType = 0;
                {
                    std::lock_guard scan(m_scanLock);
                    m_strScanData.clear();
                    m_strScanDataLabel.clear();
                }
                if (m_pQueue != nullptr) {
                    m_pQueue->SetDataEventEnabled(false);
                    m_pQueue->SetFreezeEvents(false);
                }
                Store(0);
            }
            fire = true;
        } else {
            fire = true;
        }
    }
    // Fired without the queue's lock: the handler runs on the application's
    // thread and may read properties, or close and open again (a power
    // return resynchronises that way).
    if (fire)
        FireStatus(status);
    // Whatever waits behind this status gets its turn, after a 2001 too: a
    // 2001 that follows a used-up signal would otherwise hold it back.
    std::lock_guard lock(m_queueLock);
    if (m_pQueue != nullptr)
        m_pQueue->SignalOne();
}

long CScannerMgr::GetScanDataType(signed char codeId, const std::string& aim, long labelLength, int decodeGs1Ltd)
{
    auto ean = [&](long plain, long extended, long limit) {
        return aim == "]E3" || (aim.empty() && labelLength > limit) ? extended : plain;
    };
    switch (codeId) {
    case 'a': return 107;
    case 'b': return 108;
    case 'c': return ean(101, 111, 13);
    case 'd': return ean(104, 119, 13);
    case 'D': return ean(103, 118, 8);
    case 'E': return ean(102, 112, 13);
    case 'e': return 106;
    case 'f': return 105;
    case 'I': return 120;
    case 'i': return 109;
    case 'j': return 110;
    case 'O': return aim == "]o2" ? 122 : 121;
    case 'R': return 207;
    case 'r': return 201;
    case 's': return aim == "]Q1" ? 205 : 204;
    case 'w': return 203;
    case 'x': return 202;
    case 'y': return 131;
    case 'z': return 206;
    case '{': return decodeGs1Ltd == 1 ? 1000 : 131;
    case '}': return 132;
    default: return 501;
    }
}
