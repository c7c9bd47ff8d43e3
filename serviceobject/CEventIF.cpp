#include "CEventIF.h"

#include "COPOSEvent.h"
#include "SOMessages.h"
#include "debug/ZRIDbgBase.h"

#include "platform/error.h"

#include <mutex>

namespace {

const wchar_t* const kClassName = L"VXKestrelSOEventWindow";

void registerClassOnce(WNDPROC procedure)
{
    static std::once_flag once;
    std::call_once(once, [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
    });
}

// Every record the queues post to an event window is a COPOSEvent.
bool carriesRecord(const MSG& message)
{
    return message.message == WM_COMMAND && message.lParam != 0 &&
           (message.wParam == kScannerEventCommand || message.wParam == kImagerEventCommand ||
            message.wParam == DeviceEnableMessage());
}

}  // namespace

CEventIF::~CEventIF()
{
    DestroyWindow();
}

ZRIDbgBase& CEventIF::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

bool CEventIF::Create(const wchar_t* windowName)
{
    registerClassOnce(&CEventIF::WindowProc);
    HWND window = CreateWindowExW(0, kClassName, windowName, 0, 0, 0, 0, 0, GetDesktopWindow(),
                                  reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(kControlId)),
                                  GetModuleHandleW(nullptr), this);
    if (window == nullptr)
        return false;
    platform::setPostedMessageDiscardHook(window, [](const MSG& message) {
        if (carriesRecord(message))
            delete reinterpret_cast<COPOSEvent*>(message.lParam);
    });
    m_hWnd = window;
    return true;
}

BOOL CEventIF::DestroyWindow()
{
    if (m_hWnd == nullptr)
        return FALSE;
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    if (destroyed)
        m_hWnd = nullptr;
    return destroyed;
}

BOOL CEventIF::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

LRESULT CEventIF::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CEventIF::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CEventIF*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || message == WM_NCCREATE || message == WM_CREATE || message == WM_DESTROY ||
        message == WM_NCDESTROY)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_COMMAND && self->OnCommand(wParam, lParam))
        return 0;
    return self->DefWindowProc(message, wParam, lParam);
}
