// The control's events: fired at once on the creating thread, handed to it
// through the hidden window from any other thread.
//
// A caller from another thread is held until the creating thread has fired
// its event (or refused it: delivery off, events frozen). The event is fired
// with copies of the caller's by-reference values; what the application set
// goes back into the caller's variables only while that caller still waits.
// So a caller that was let go (ReleaseDevice, Close) never has its
// variables touched afterwards, and a message it left queued never fires
// for a later caller.
#include "COPOSScannerCtrl.h"

#include "platform/error.h"
#include "platform/sync.h"
#include "platform/thread.h"

#include <mutex>
#include <set>

namespace {

constexpr wchar_t kWindowClass[] = L"VX_OPOSScanner";
constexpr UINT kDataMessage = 1124;
constexpr UINT kDirectIOMessage = 1125;
constexpr UINT kErrorMessage = 1126;
constexpr UINT kStatusUpdateMessage = 1128;
// Event messages live in this range; Close removes what is left of them.
constexpr UINT kFirstEventMessage = 1024;
constexpr UINT kLastEventMessage = 32767;
// A frozen event is offered again after this long.
constexpr DWORD kRefusedRetryMs = 100;

struct EventName {
    const char* name;
    DISPID defaultId;
};
constexpr EventName kEvents[] = {
    {"DataEvent", DISPID_OPOS_DATAEVENT},
    {"DirectIOEvent", DISPID_OPOS_DIRECTIOEVENT},
    {"ErrorEvent", DISPID_OPOS_ERROREVENT},
    {"StatusUpdateEvent", DISPID_OPOS_STATUSUPDATEEVENT},
};

// Live controls and the window class they share. A window procedure finds
// its control here, so a message that arrives while (or after) a control
// ends on another thread never reaches a control that is gone.
struct Instances {
    std::mutex mutex;
    std::set<const void*> live;
    int count = 0;
};

Instances& instances()
{
    static Instances* const all = new Instances;  // outlives static destructors
    return *all;
}

}  // namespace

bool COPOSScannerCtrl::CreateDeliveryObjects()
{
    m_creatingThread = GetCurrentThreadId();
    {
        Instances& all = instances();
        std::lock_guard lock(all.mutex);
        if (all.count++ == 0) {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = &COPOSScannerCtrl::WindowProc;
            windowClass.cbWndExtra = 4;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = kWindowClass;
            // A class left registered (its last window could not be
            // destroyed from the releasing thread) serves again.
            if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
                return false;
        }
        all.live.insert(this);
    }
    m_window = CreateWindowExW(0, kWindowClass, kWindowClass, 0, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), this);
    m_deliveryEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_postMutex = CreateMutexW(nullptr, FALSE, nullptr);
    return m_window != nullptr && m_deliveryEvent != nullptr && m_postMutex != nullptr;
}

void COPOSScannerCtrl::DestroyDeliveryObjects()
{
    Instances& all = instances();
    {
        std::lock_guard lock(all.mutex);
        all.live.erase(this);
    }
    // Let every held caller go and wait until none is inside a callback:
    // the event and the mutex they use go next.
    {
        std::unique_lock lock(m_deliveryLock);
        m_ending = true;
        m_deliverable = false;
        if (m_deliveryEvent != nullptr)
            SetEvent(m_deliveryEvent);
        m_callersLeft.wait(lock, [&] { return m_callersInside == 0; });
    }
    if (m_window != nullptr) {
        if (GetCurrentThreadId() != m_creatingThread || !DestroyWindow(m_window))
            PostMessageW(m_window, WM_CLOSE, 0, 0);  // only its own thread destroys it
        m_window = nullptr;
    }
    if (m_deliveryEvent != nullptr)
        CloseHandle(m_deliveryEvent);
    if (m_postMutex != nullptr)
        CloseHandle(m_postMutex);
    m_deliveryEvent = nullptr;
    m_postMutex = nullptr;
    std::lock_guard lock(all.mutex);
    if (--all.count == 0)
        UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr));
}

COPOSScannerCtrl* COPOSScannerCtrl::LiveInstance(HWND window)
{
    auto* control = reinterpret_cast<COPOSScannerCtrl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (control == nullptr)
        return nullptr;
    Instances& all = instances();
    std::lock_guard lock(all.mutex);
    if (all.live.count(control) == 0)
        return nullptr;
    // A control whose last reference went is ending: it gets no more events.
    ULONG references = control->m_references.load();
    while (references != 0 && !control->m_references.compare_exchange_weak(references, references + 1)) {
    }
    return references != 0 ? control : nullptr;
}

LRESULT COPOSScannerCtrl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    case kDataMessage:
    case kDirectIOMessage:
    case kErrorMessage:
    case kStatusUpdateMessage: {
        COPOSScannerCtrl* control = LiveInstance(window);
        if (control != nullptr) {
            control->HandleEventMessage(message, wParam, lParam);
            control->Release();
        }
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void COPOSScannerCtrl::EnableDelivery()
{
    std::lock_guard lock(m_deliveryLock);
    if (!m_ending)
        m_deliverable = true;
}

void COPOSScannerCtrl::DisableDelivery()
{
    std::lock_guard lock(m_deliveryLock);
    m_deliverable = false;
    SetEvent(m_deliveryEvent);  // a held caller goes
}

void COPOSScannerCtrl::PurgeEventMessages()
{
    // PeekMessage takes a pending WM_QUIT whatever the range: it goes back
    // once the purge is done, so the application's loop still ends.
    bool quit = false;
    WPARAM quitCode = 0;
    MSG message{};
    while (PeekMessageW(&message, m_window, kFirstEventMessage, kLastEventMessage, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            quitCode = message.wParam;
        }
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}

HRESULT COPOSScannerCtrl::SOData(LONG Status)
{
    return Raise(Event::Data, kDataMessage, static_cast<WPARAM>(Status), 0, Status, nullptr, nullptr, 0, 0, 0,
                 nullptr);
}

HRESULT COPOSScannerCtrl::SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString)
{
    if (pData == nullptr || pString == nullptr)
        return E_POINTER;
    return Raise(Event::DirectIO, kDirectIOMessage, static_cast<WPARAM>(EventNumber), reinterpret_cast<LPARAM>(pData),
                 EventNumber, pData, pString, 0, 0, 0, nullptr);
}

HRESULT COPOSScannerCtrl::SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus, LONG* pErrorResponse)
{
    if (pErrorResponse == nullptr)
        return E_POINTER;
    return Raise(Event::Error, kErrorMessage, static_cast<WPARAM>(ResultCode), ResultCodeExtended, ResultCode,
                 nullptr, nullptr, ResultCode, ResultCodeExtended, ErrorLocus, pErrorResponse);
}

HRESULT COPOSScannerCtrl::SOStatusUpdate(LONG Data)
{
    return Raise(Event::StatusUpdate, kStatusUpdateMessage, static_cast<WPARAM>(Data), 0, Data, nullptr, nullptr, 0,
                 0, 0, nullptr);
}

HRESULT COPOSScannerCtrl::Raise(Event event, UINT message, WPARAM wParam, LPARAM lParam, LONG status, LONG* pData,
                                BSTR* pString, LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                                LONG* pErrorResponse)
{
    if (GetCurrentThreadId() == m_creatingThread) {
        if (event == Event::Error)
            Fire(event, resultCode, resultCodeExtended, nullptr, nullptr, errorLocus, pErrorResponse);
        else
            Fire(event, status, 0, pData, pString, 0, nullptr);
        return S_OK;
    }
    {
        std::lock_guard lock(m_deliveryLock);
        if (m_ending)
            return S_OK;
        ++m_callersInside;
    }
    Delivery delivery;
    delivery.message = message;
    delivery.wParam = wParam;
    delivery.lParam = lParam;
    delivery.pData = pData;
    delivery.pString = pString;
    delivery.errorLocus = errorLocus;
    delivery.pErrorResponse = pErrorResponse;
    DeliverAcrossThreads(delivery);
    // Notified under the lock: once it is let go, the control's end may
    // destroy everything here, so nothing of the control is touched after.
    std::lock_guard lock(m_deliveryLock);
    --m_callersInside;
    m_callersLeft.notify_all();
    return S_OK;
}

void COPOSScannerCtrl::DeliverAcrossThreads(Delivery& delivery)
{
    if (WaitForSingleObject(m_postMutex, INFINITE) == WAIT_FAILED)
        return;
    {
        std::lock_guard lock(m_deliveryLock);
        delivery.serial = m_nextSerial++;
        m_waiting = &delivery;
    }
    auto finished = [&] {
        std::lock_guard lock(m_deliveryLock);
        return delivery.delivered || !m_deliverable;
    };
    for (;;) {
        ResetEvent(m_deliveryEvent);
        if (!m_deliverable)
            break;
        if (!PostMessageW(m_window, delivery.message, delivery.wParam, delivery.lParam))
            break;
        WaitForSingleObject(m_deliveryEvent, INFINITE);
        if (finished())
            break;
        // Refused while frozen: offered again shortly, unless delivery is
        // switched off meanwhile.
        ResetEvent(m_deliveryEvent);
        if (!m_deliverable)
            break;
        WaitForSingleObject(m_deliveryEvent, kRefusedRetryMs);
    }
    {
        std::lock_guard lock(m_deliveryLock);
        m_waiting = nullptr;
    }
    ReleaseMutex(m_postMutex);
}

void COPOSScannerCtrl::HandleEventMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::uint64_t serial = 0;
    Event event = Event::Data;
    LONG data = 0;
    BSTR text = nullptr;
    LONG errorLocus = 0;
    LONG errorResponse = 0;
    {
        std::lock_guard lock(m_deliveryLock);
        Delivery* waiting = m_waiting;
        // Only the message of the caller waiting now is delivered; one left
        // behind by a caller that was let go is dropped.
        if (waiting == nullptr || waiting->delivered || waiting->message != message || waiting->wParam != wParam ||
            waiting->lParam != lParam)
            return;
        if (!m_deliverable || m_freezeEvents || m_containerFreezeCount != 0 || m_inDelivery) {
            SetEvent(m_deliveryEvent);
            return;
        }
        serial = waiting->serial;
        switch (message) {
        case kDataMessage: event = Event::Data; break;
        case kDirectIOMessage:
            event = Event::DirectIO;
            data = *waiting->pData;
            text = SysAllocStringLen(*waiting->pString, SysStringLen(*waiting->pString));
            break;
        case kErrorMessage:
            event = Event::Error;
            errorLocus = waiting->errorLocus;
            errorResponse = *waiting->pErrorResponse;
            break;
        default: event = Event::StatusUpdate; break;
        }
        m_inDelivery = true;
    }
    switch (event) {
    case Event::Data:
    case Event::StatusUpdate: Fire(event, static_cast<LONG>(wParam), 0, nullptr, nullptr, 0, nullptr); break;
    case Event::DirectIO: Fire(event, static_cast<LONG>(wParam), 0, &data, &text, 0, nullptr); break;
    case Event::Error:
        Fire(event, static_cast<LONG>(wParam), static_cast<LONG>(lParam), nullptr, nullptr, errorLocus,
             &errorResponse);
        break;
    }
    {
        std::lock_guard lock(m_deliveryLock);
        m_inDelivery = false;
        Delivery* waiting = m_waiting;
        if (waiting != nullptr && waiting->serial == serial) {
            if (event == Event::DirectIO) {
                *waiting->pData = data;
                SysReAllocStringLen(waiting->pString, text, SysStringLen(text));
            } else if (event == Event::Error) {
                *waiting->pErrorResponse = errorResponse;
            }
            waiting->delivered = true;
        }
        SetEvent(m_deliveryEvent);
    }
    SysFreeString(text);
}

void COPOSScannerCtrl::Fire(Event event, LONG number, LONG second, LONG* pData, BSTR* pString, LONG errorLocus,
                            LONG* pErrorResponse)
{
    const auto index = static_cast<std::size_t>(event);
    std::vector<platform::DispatchArg> args;
    try {
        switch (event) {
        case Event::Data:
        case Event::StatusUpdate: args = {platform::DispatchArg::i4(number)}; break;
        case Event::DirectIO:
            args = {platform::DispatchArg::i4(number), platform::DispatchArg::i4Ref(pData),
                    platform::DispatchArg::bstrRef(pString)};
            break;
        case Event::Error:
            args = {platform::DispatchArg::i4(number), platform::DispatchArg::i4(second),
                    platform::DispatchArg::i4(errorLocus), platform::DispatchArg::i4Ref(pErrorResponse)};
            break;
        }
    } catch (...) {
        return;
    }
    std::vector<IDispatch*> sinks = m_eventPoint.snapshot();
    for (std::size_t i = 0; i < sinks.size(); ++i) {
        platform::DispatchDriver sink(sinks[i]);  // takes over the snapshot's reference
        DISPID id = DISPID_UNKNOWN;
        if (i == 0 && m_learntIds[index] != DISPID_UNKNOWN) {
            id = m_learntIds[index];
        } else {
            const HRESULT found = sink.idOf(std::string_view(kEvents[index].name), &id, LOCALE_USER_DEFAULT);
            if (found == E_NOTIMPL)
                id = kEvents[index].defaultId;
            else if (FAILED(found))
                continue;
            if (i == 0)
                m_learntIds[index] = id;
        }
        sink.invoke(id, DISPATCH_METHOD, args, nullptr, LOCALE_USER_DEFAULT);
    }
}
