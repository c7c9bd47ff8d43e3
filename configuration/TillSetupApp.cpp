#include "TillSetupApp.h"

#include "platform/broadcast.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/setupapi.h"
#include "platform/sync.h"

#include "QtTranslations.h"

#include <QApplication>

UINT CFinal_UIApp::RaiseMessage()
{
    static const UINT message = RegisterWindowMessageA("TillSetup raise");
    return message;
}

CFinal_UIApp::CFinal_UIApp(RegistryApi& registry, DosDeviceSource dosDevices)
{
    m_mutex = CreateMutexA(nullptr, TRUE, kMutexName);
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        PostMessageW(HWND_BROADCAST, RaiseMessage(), 0, 0);
        return;
    }
    if (m_mutex != nullptr)
        ReleaseMutex(m_mutex);  // the handle stays open: it marks this copy
    m_first = true;
    CFinal_UIDlg::AddDeviceMessage();
    RaiseMessage();
    m_pump = std::make_unique<QtMessagePump>();
    m_window = std::make_unique<ConfigurationWindow>(registry, std::move(dosDevices));
    m_messages = std::make_unique<MessageWindow>([this](UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_DEVICECHANGE)
            m_window->OnDeviceChange();
        else if (message == RaiseMessage())
            m_window->RaiseFromAnotherCopy();
        return 0;
    });
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_COMPORT;
    m_portNotice = RegisterDeviceNotificationW(m_messages->handle(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    HidD_GetHidGuid(&filter.dbcc_classguid);
    m_hidNotice = RegisterDeviceNotificationW(m_messages->handle(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

CFinal_UIApp::~CFinal_UIApp()
{
    if (m_portNotice != nullptr)
        UnregisterDeviceNotification(m_portNotice);
    if (m_hidNotice != nullptr)
        UnregisterDeviceNotification(m_hidNotice);
    m_messages.reset();
    m_window.reset();
    m_pump.reset();
    if (m_mutex != nullptr)
        CloseHandle(m_mutex);
}

int CFinal_UIApp::Run()
{
    if (!m_first)
        return 0;
    try {
        m_window->exec();
    } catch (...) {
        // Whatever escapes the dialog ends the program normally.
    }
    return 0;
}

int runTillSetup(int argc, char** argv)
{
    QApplication app(argc, argv);
    InstallQtTranslations();
    CFinal_UIApp tillSetup;
    return tillSetup.Run();
}
