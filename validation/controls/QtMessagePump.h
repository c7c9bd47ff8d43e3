// The Qt bridge: the UI thread's platform message queue pumped from every Qt
// event loop, modal ones too.
//
// QtMessagePump watches the queue's descriptor (platform::messageQueueDescriptor)
// with a QSocketNotifier: whenever a message waits, the pump takes every
// waiting message and dispatches it to its window (the layer's windows of
// this thread: a hosted control's event windows, a MessageWindow below);
// thread messages go to threadMessage(). Because QDialog::exec and
// QMessageBox run Qt event loops that serve socket notifiers, the layer's
// windows keep getting their messages while a modal dialog is open.
//
// MessageWindow is a hidden top-level platform window of the UI thread whose
// messages (device notices, broadcasts between processes) go to a handler.
//
// Make both on the UI thread, after the QApplication; the handler runs on
// the UI thread, from the pump.
#pragma once

#include "platform/window.h"

#include <QObject>

#include <functional>

class QSocketNotifier;

class QtMessagePump : public QObject {
    Q_OBJECT
public:
    explicit QtMessagePump(QObject* parent = nullptr);
    ~QtMessagePump() override;

    // Takes and dispatches every message waiting now (the notifier calls it).
    void pump();

signals:
    void threadMessage(unsigned message, quintptr wParam, qintptr lParam);

private:
    QSocketNotifier* m_notifier = nullptr;
};

class MessageWindow {
public:
    using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit MessageWindow(Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return m_window; }

private:
    static LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Handler m_handler;
    HWND m_window = nullptr;
};
