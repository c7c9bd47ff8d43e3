#include "DialogLook.h"

const CLanguageManager::StringTable& probeDialogStrings()
{
    static const CLanguageManager::StringTable table = {
        {dlgstr::kDirectIOHelp, "Type a valid command that the device supports, and click Send.\r\nThis dialog box closes "
                                "after clicking Send button.\r\nThe result is displayed in Advanced View output box."},
        {dlgstr::kTimeoutHelp, "Enter a valid numeric command timeout value and click Set.\r\nThis dialog box closes "
                               "after clicking Set button\r\nThe result is displayed in Advanced View output box."},
        {dlgstr::kTimeoutLabel, "TimeOut (in msec)"},
        {dlgstr::kSerialCommandLabel, "Serial Command"},
        {dlgstr::kSendButton, "Send"},
        {dlgstr::kSetButton, "Set"},
        {dlgstr::kSendTip, "Click to call DirectIO method"},
        {dlgstr::kExpandDetails, "<<Details"},
        {dlgstr::kCollapseDetails, ">>Details"},
        {dlgstr::kErrorLocusLabel, "Error Locus : "},
        {dlgstr::kErrorDetails, "An error has occurred while processing data. \r\nClick one of the above buttons to "
                                "continue.\r\nClear: Clear all buffered input data.\r\nContinue Input: Continue "
                                "processing data."},
        {dlgstr::kDirectIOCaption, "DirectIO"},
        {dlgstr::kErrorEventCaption, "Error Event"},
        {dlgstr::kImageCaption, "Image"},
        {dlgstr::kRetryButton, "Retry"},
        {dlgstr::kClearButton, "Clear"},
        {dlgstr::kContinueInputButton, "Continue Input"},
    };
    return table;
}

QString dialogText(UINT id)
{
    std::string text = CLanguageManager::GetInstance().GetString(id);
    if (text.empty()) {
        const auto& table = probeDialogStrings();
        const auto found = table.find(id);
        if (found != table.end())
            text = found->second;
    }
    return QString::fromStdString(text);
}
