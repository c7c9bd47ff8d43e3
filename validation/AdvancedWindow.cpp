#include "AdvancedWindow.h"

#include "ProbeStrings.h"
#include "QtMessagePump.h"
#include "TillProbeDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

AdvancedWindow::AdvancedWindow(IDispatch* scanner, IDispatch* imageScanner, QWidget* parent) : QDialog(parent)
{
    setObjectName("CAdvancedValidation");
    m_scannerSite.Attach(scanner);
    m_imageSite.Attach(imageScanner);
    m_scanner.Attach(m_scannerSite.Dispatch());
    m_imageScanner.Attach(m_imageSite.Dispatch());
    m_controller = std::make_unique<CAdvancedValidation>(*this, m_scanner, m_imageScanner);
    m_timer = new QTimer(this);
    setWindowTitle(qs(probe::T(probe::kAdvancedCaption)));
    build();
    act([this] { m_controller->OnInitDialog(); });
}

AdvancedWindow::~AdvancedWindow() = default;

QWidget* AdvancedWindow::Control(int id) const
{
    const auto found = m_widgets.find(id);
    return found == m_widgets.end() ? nullptr : found->second;
}

QAction* AdvancedWindow::MenuAction(int command) const
{
    const auto found = m_actions.find(command);
    return found == m_actions.end() ? nullptr : found->second;
}

void AdvancedWindow::build() {}
void AdvancedWindow::buildMenu() {}

void AdvancedWindow::act(const std::function<void()>& handler)
{
    SyncFromWidgets();
    handler();
    SyncToWidgets();
}

void AdvancedWindow::SyncFromWidgets() {}
void AdvancedWindow::SyncToWidgets() {}

int AdvancedWindow::idOf(const QWidget* widget) const
{
    for (const auto& [id, candidate] : m_widgets)
        if (candidate == widget)
            return id;
    return 0;
}

bool AdvancedWindow::eventFilter(QObject* watched, QEvent* event)
{
    return QDialog::eventFilter(watched, event);
}

void AdvancedWindow::closeEvent(QCloseEvent* event)
{
    if (!m_ending)
        act([this] { m_controller->OnClose(); });
    if (m_ending)
        event->accept();
    else
        event->ignore();
}

void AdvancedWindow::keyPressEvent(QKeyEvent* event)
{
    QDialog::keyPressEvent(event);
}

void AdvancedWindow::ShowMessage(const std::string&) {}
bool AdvancedWindow::AskYesNo(const std::string&) { return false; }
bool AdvancedWindow::RunDirectIO(const std::string&, const std::string&, const std::string&, std::string&)
{
    return false;
}
int AdvancedWindow::RunErrorEvent(LONG) { return 12; }
void AdvancedWindow::ShowFullImage(const std::vector<BYTE>&) {}
bool AdvancedWindow::ChooseSaveFile(std::string&) { return false; }
bool AdvancedWindow::ChooseOpenFile(const std::string&, std::string&) { return false; }
void AdvancedWindow::SetTimer(UINT, UINT) {}
void AdvancedWindow::KillTimer(UINT) {}
void AdvancedWindow::Wait(UINT) {}

void AdvancedWindow::EndDialog(int result)
{
    m_ending = true;
    m_timer->stop();
    done(result);
}

void AdvancedWindow::SwitchToBasicView()
{
    m_switch = true;
}

bool AdvancedWindow::RaiseWindow(const std::string&) { return false; }
void AdvancedWindow::OpenHelp(const std::string&) {}
void AdvancedWindow::CloseWindowTitled(const std::string&) {}
void AdvancedWindow::ShowAbout() {}
bool AdvancedWindow::LaunchProgram(const std::string&) { return false; }
