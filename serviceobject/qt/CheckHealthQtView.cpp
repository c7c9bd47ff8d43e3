// The interactive check-health dialog as Qt widgets, for a process that runs
// a Qt Widgets application: a library of its own, loaded only then, so that
// the service object needs no Qt otherwise.
//
// The dialog runs on the application's thread while the caller waits; a
// barcode's text arrives from the event-window thread and is queued to the
// dialog. Pass gives 0, Fail, Escape and the close box 111; Enter acts on
// the button that has the focus and never ends the dialog by itself.
#include "ICheckHealthView.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>
#include <QVBoxLayout>

#include <mutex>

namespace {

class CheckHealthDialog : public QDialog {
public:
    explicit CheckHealthDialog(const QString& instructions)
    {
        setWindowTitle(QStringLiteral("Interactive Check Health "));
        setObjectName(QStringLiteral("InteractiveCheckHealth"));
        setStyleSheet(QStringLiteral("QDialog, QLabel { background: rgb(224, 223, 228); color: black; }"));
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(instructions, this);
        text->setWordWrap(true);
        layout->addWidget(text);
        m_edit = new QTextEdit(this);
        m_edit->setReadOnly(true);
        m_edit->setObjectName(QStringLiteral("BarcodeText"));
        layout->addWidget(m_edit);
        auto* buttons = new QHBoxLayout;
        auto* pass = new QPushButton(QStringLiteral("Pass"), this);
        auto* fail = new QPushButton(QStringLiteral("Fail"), this);
        pass->setObjectName(QStringLiteral("Pass"));
        fail->setObjectName(QStringLiteral("Fail"));
        for (QPushButton* button : {pass, fail}) {
            // Enter clicks the focused button; no button is the default.
            button->setAutoDefault(true);
            button->setDefault(false);
            buttons->addWidget(button);
        }
        layout->addLayout(buttons);
        connect(pass, &QPushButton::clicked, this, [this] { done(0); });
        connect(fail, &QPushButton::clicked, this, [this] { done(111); });
        pass->setFocus();
    }
    void reject() override { done(111); }
    void setBarcode(const QString& text) { m_edit->setPlainText(text); }

private:
    QTextEdit* m_edit = nullptr;
};

class QtCheckHealthView : public ICheckHealthView {
public:
    int Run(const std::string& instructions) override
    {
        int result = 111;
        auto run = [&] {
            CheckHealthDialog dialog(QString::fromLatin1(instructions.data(), static_cast<int>(instructions.size())));
            {
                std::lock_guard lock(m_mutex);
                m_dialog = &dialog;
            }
            result = dialog.exec();
            std::lock_guard lock(m_mutex);
            m_dialog = nullptr;
        };
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr)
            return 111;
        if (QThread::currentThread() == app->thread())
            run();
        else
            QMetaObject::invokeMethod(app, run, Qt::BlockingQueuedConnection);
        return result == 0 ? 0 : 111;
    }
    void ShowText(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        if (m_dialog.isNull())
            return;
        const QString shown = QString::fromLatin1(text.data(), static_cast<int>(text.size()));
        QPointer<CheckHealthDialog> dialog = m_dialog;
        QMetaObject::invokeMethod(
            dialog.data(), [dialog, shown] {
                if (!dialog.isNull())
                    dialog->setBarcode(shown);
            },
            Qt::QueuedConnection);
    }

private:
    std::mutex m_mutex;
    QPointer<CheckHealthDialog> m_dialog;
};

}  // namespace

// Null unless the process runs a Qt Widgets application.
extern "C" __attribute__((visibility("default"))) ICheckHealthView* VxCreateCheckHealthView()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return new QtCheckHealthView;
}
