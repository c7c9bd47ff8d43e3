// The interactive check-health dialog: the user reads a barcode, sees its
// text and judges it with Pass (0) or Fail (111); closing the dialog in any
// other way fails it (111).
//
// CInteractive is the dialog's logic: it turns a barcode into the text
// shown (control characters by their bracketed names, a real line break
// after CR LF) and hands it to a view, which shows it and waits for the
// user. A view runs modally on one thread while SetText comes from the
// event-window thread: a view must take texts from any thread.
#pragma once

#include "ICommonSOParts.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ICheckHealthView {
public:
    virtual ~ICheckHealthView() = default;
    // Shows the dialog until the user decides: 0 Pass, 111 Fail or closed.
    virtual int Run(const std::string& instructions) = 0;
    // Replaces the barcode text shown (already formatted).
    virtual void ShowText(const std::string& text) = 0;
};

// A view without a screen, for tests and headless hosts: it answers as
// its script says (by default as a closed dialog: 111) and keeps every
// text it was shown. `onRun` (when set) runs inside Run before it answers,
// so a test can scan a label while the dialog is up.
class CScriptedCheckHealthView : public ICheckHealthView {
public:
    explicit CScriptedCheckHealthView(int answer = 111) : m_answer(answer) {}
    int Run(const std::string& instructions) override;
    void ShowText(const std::string& text) override;

    void SetAnswer(int answer) { m_answer = answer; }
    template <class F>
    void SetOnRun(F onRun)
    {
        std::lock_guard lock(m_mutex);
        m_onRun = std::move(onRun);
    }
    std::vector<std::string> Texts();
    std::string Instructions();

private:
    std::mutex m_mutex;
    int m_answer;
    std::function<void()> m_onRun;
    std::vector<std::string> m_texts;
    std::string m_instructions;
};

class CInteractive : public ICheckHealthDialog {
public:
    static constexpr const char* kInstructions =
        "Please read a valid barcode. \nClick Pass, if the displayed text matches with the barcode data. \nClick "
        "Fail, if the displayed text does not match with the barcode data. \nIf you close the dialog box without "
        "clicking Pass/Fail, the interactive Check Health operation fails resulting in OPOS_E_FAILURE return value";

    // The view is not owned.
    explicit CInteractive(ICheckHealthView* view) : m_pView(view) {}
    int DoModal() override;
    void SetText(const std::string& text);
    // The text a barcode is shown as.
    static std::string Format(const std::string& text);

private:
    ICheckHealthView* m_pView;
};

// The view the process offers: the windowed dialog when the process runs a
// Qt Widgets application (from a library loaded only then), else a
// scripted view answering as a closed dialog. Never null.
std::unique_ptr<ICheckHealthView> MakeCheckHealthView();
