#include "TillProbeApp.h"

#include "ProbeStrings.h"
#include "QtTranslations.h"

#include "platform/broadcast.h"
#include "platform/error.h"
#include "platform/sync.h"

#include <QApplication>
#include <QMessageBox>

UINT CTillProbeApp::RaiseMessage()
{
    static const UINT message = RegisterWindowMessageA("TillProbe raise");
    return message;
}

CTillProbeApp::CTillProbeApp()
{
    m_mutex = CreateMutexA(nullptr, TRUE, kMutexName);
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        if (m_mutex != nullptr)
            CloseHandle(m_mutex);
        m_mutex = nullptr;
        PostMessageW(HWND_BROADCAST, RaiseMessage(), 0, 0);
        return;
    }
    m_first = true;
    CLanguageManager::GetInstance().SetProgramStrings(probe::strings());
    CTillProbeDlg::AddDeviceMessage();
    RaiseMessage();
    m_pump = std::make_unique<QtMessagePump>();
    m_messages = std::make_unique<MessageWindow>([this](UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == RaiseMessage() && m_shown) {
            if (auto* basic = qobject_cast<TillProbeWindow*>(m_shown.data())) {
                basic->RaiseFromAnotherCopy();
            } else {
                if (m_shown->isMinimized())
                    m_shown->showNormal();
                m_shown->raise();
                m_shown->activateWindow();
            }
        }
        return 0;
    });
}

CTillProbeApp::~CTillProbeApp()
{
    m_window.reset();
    m_messages.reset();
    m_pump.reset();
    if (m_mutex != nullptr) {
        ReleaseMutex(m_mutex);
        CloseHandle(m_mutex);
    }
}

int CTillProbeApp::Run()
{
    if (!m_first)
        return 0;
    try {
        bool advanced = false;
        for (;;) {
            {
                ControlSite scanner;
                ControlSite imageScanner;
                if (FAILED(scanner.Create(kScannerControlClsid)) ||
                    FAILED(imageScanner.Create(kImageScannerControlClsid))) {
                    QMessageBox box(QMessageBox::Information, QString::fromStdString(probe::T(probe::kNoControlsCaption)),
                                    QString::fromStdString(probe::T(probe::kNoControls)), QMessageBox::Ok);
                    box.setObjectName("NoControlsMessage");
                    box.exec();
                    break;
                }
                // The view's own sites hold the controls from here on; these
                // let go, so that each event reaches one sink.
                if (advanced)
                    m_advanced = std::make_unique<AdvancedWindow>(scanner.Dispatch(), imageScanner.Dispatch());
                else
                    m_window = std::make_unique<TillProbeWindow>(scanner.Dispatch(), imageScanner.Dispatch());
            }
            // One view at a time: the one shown ends before the other is made.
            if (advanced) {
                m_shown = m_advanced.get();
                m_advanced->exec();
                advanced = !m_advanced->SwitchRequested();
                m_advanced.reset();
                if (advanced)
                    break;
            } else {
                m_shown = m_window.get();
                m_window->exec();
                advanced = m_window->SwitchRequested();
                m_window.reset();
                if (!advanced)
                    break;
            }
        }
    } catch (...) {
        // Whatever escapes the views ends the program normally.
    }
    m_window.reset();
    m_advanced.reset();
    m_shown = nullptr;
    return 0;
}

int runTillProbe(int argc, char** argv)
{
    QApplication app(argc, argv);
    InstallQtTranslations();
    CTillProbeApp tillProbe;
    return tillProbe.Run();
}
