#include "QtMessagePump.h"

#include <QSocketNotifier>

QtMessagePump::QtMessagePump(QObject* parent) : QObject(parent)
{
    m_notifier = new QSocketNotifier(platform::messageQueueDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { pump(); });
}

QtMessagePump::~QtMessagePump() = default;

void QtMessagePump::pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd != nullptr)
            DispatchMessageW(&msg);
        else
            emit threadMessage(msg.message, msg.wParam, msg.lParam);
    }
}

namespace {

constexpr const wchar_t* kClassName = L"VxQtMessageWindow";

}  // namespace

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler))
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MessageWindow::procedure;
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);  // already registered by an earlier window: fine
    m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

MessageWindow::~MessageWindow()
{
    if (m_window != nullptr)
        DestroyWindow(m_window);
}

LRESULT MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return TRUE;
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->m_handler && message != WM_DESTROY && message != WM_NCDESTROY &&
        message != WM_CREATE)
        return self->m_handler(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}
