#include "ICheckHealthView.h"

namespace {

const char* const kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "",   "LF",
                                       "VT",  "FF",  "CR",  "SO",  "SI",  "DLF", "DC1", "DC2", "DC3", "DC4", "NAK",
                                       "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

}  // namespace

int CScriptedCheckHealthView::Run(const std::string& instructions)
{
    std::function<void()> onRun;
    {
        std::lock_guard lock(m_mutex);
        m_instructions = instructions;
        onRun = m_onRun;
    }
    if (onRun)
        onRun();
    std::lock_guard lock(m_mutex);
    return m_answer;
}

void CScriptedCheckHealthView::ShowText(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
}

std::vector<std::string> CScriptedCheckHealthView::Texts()
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

std::string CScriptedCheckHealthView::Instructions()
{
    std::lock_guard lock(m_mutex);
    return m_instructions;
}

int CInteractive::DoModal()
{
    if (m_pView == nullptr)
        return 111;
    const int result = m_pView->Run(kInstructions);
    return result == 0 ? 0 : 111;
}

void CInteractive::SetText(const std::string& text)
{
    if (m_pView != nullptr)
        m_pView->ShowText(Format(text));
}

std::string CInteractive::Format(const std::string& text)
{
    if (text.empty() || text == "[Error]")
        return text;
    std::string shown;
    bool afterCr = false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 || byte == '\t') {
            shown.push_back(c);
            continue;
        }
        shown += std::string("[") + kControlNames[byte] + "]";
        if (byte == '\r') {
            afterCr = true;
        } else if (byte == '\n' && afterCr) {
            shown.push_back('\n');
            afterCr = false;
        }
    }
    return shown;
}
