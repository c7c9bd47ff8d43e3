// The method list's two Apply buttons: the firmware methods (compare,
// update) with their file chooser, and the three statistics methods. The
// English texts of these handlers, the status events' and the DirectIO
// menu's are kept here too.
#include "AdvancedValidation.h"

#include "AdvancedMethodTexts.h"
#include "AdvancedStrings.h"
#include "ProbeStrings.h"

#include "platform/bstr.h"

#include <filesystem>

using namespace adv;

const CLanguageManager::StringTable& adv::methodStrings()
{
    static const CLanguageManager::StringTable table = {
        {kStrDirectIOHelp, "Type a valid command that the device supports, and click Send.\r\nThis dialog box closes "
                           "after clicking Send button.\r\nThe result is displayed in Advanced View output box."},
        {kStrTimeoutHelp, "Enter a valid numeric command timeout value and click Set.\r\nThis dialog box closes after "
                          "clicking Set button\r\nThe result is displayed in Advanced View output box."},
        {kStrTimeoutLabel, "TimeOut (in msec)"},
        {kStrSerialCommandLabel, "Serial Command"},
        {kStrSendButton, "Send"},
        {kStrSetButton, "Set"},
        {kStrChooseFirmwareFile, "Please choose the firmware file"},
        {kStrUpdateFirmwareLine, "UpdateFirmware   :"},
        {kStrSelectMethod, "    Please select a method"},
        {kStrStatusUpdateLine, "StatusUpdateEvent     :"},
        {kStrPerformingDirectIO, "Performing DirectIO ..."},
        {kStrDirectIOLine, "DirectIO    :"},
        {kStrResetStatisticsLine, "ResetStatistics   :"},
        {kStrRetrieveStatisticsLine, "RetrieveStatistics   :"},
        {kStrUpdateStatisticsLine, "UpdateStatistics    :"},
        {kStrCompareFirmwareLine, "CompareFirmware   :"},
        {kStrSynchronizeQuestion, "Do you want to synchronize all the device properties?"},
        {kStrSynchronizing, "Device Synchronization in Progress. Please wait ..."},
        {kStrSerialResponseTitle, "Serial Command Response : "},
        {kStrSerialCommandName, "Command   :"},
        {kStrSerialResponseName, "Response   :"},
        {kStrSetDeviceEnable, "Set DeviceEnable"},
        {kStrSetDataEventEnabled, "Set DataEventEnabled"},
        {kStrSetAutoDisable, "Set AutoDisable"},
        {kStrSetFreezeEvents, "Set FreezeEvents"},
        {kStrSetBinaryConversion, "Set BinaryConversion"},
        {kStrSetPowerNotify, "Set PowerNotify"},
        {kStrSetDecodeData, "Set DecodeData"},
    };
    return table;
}

namespace {

constexpr char kMethodsClass[] = "CCommmonMethods";
constexpr char kFirmwareFilter[] =
    "Binary Files (*.bin) | *.bin|Text Files (*.txt) |*.txt|Moc Files (*.moc;*.mocf) | *.moc;*.mocf|";

}  // namespace

void CAdvancedValidation::OnBtnBrowse()
{
    log("OnBtnBrowse", "Entered");
    try {
        std::string path;
        if (m_host.ChooseOpenFile(kFirmwareFilter, path)) {
            log("OnBtnBrowse", "File path", path);
            m_model.at(IDC_EDIT_FIRMWAREPATH).text = path;
        }
    } catch (...) {
        log("OnBtnBrowse", "Exception");
    }
    // The file dialog may have moved the working directory, where the
    // program finds its results file and writes its log.
    std::error_code ignored;
    if (!m_homeFolder.empty())
        std::filesystem::current_path(m_homeFolder, ignored);
}

void CAdvancedValidation::OnBtnApply()
{
    log("OnBtnApply", "Entered");
    try {
        const int method = m_model.at(IDC_COMBO_METHOD).selection;
        std::string text;
        if (method == kCompareFirmware) {
            text = T(kStrCompareFirmwareLine) + "  ";
        } else if (method == kUpdateFirmware) {
            text = T(kStrUpdateFirmwareLine) + "  ";
        } else {
            m_host.ShowMessage(T(kStrSelectMethod));
            m_model.focus = IDC_BTN_APPLY;
            return;
        }
        const std::string path = m_model.at(IDC_EDIT_FIRMWAREPATH).text;
        std::string result;
        if (path.empty() || path == T(kEnterFilePath)) {
            result = T(kStrChooseFirmwareFile);
        } else {
            m_model.focus = IDC_BTN_BROWSE;
            m_model.at(IDC_BTN_APPLY).enabled = false;
            const bool compare = method == kCompareFirmware;
            const char* handler = compare ? "OnBtnCompareFirm" : "OnBtnUpdateFirm";
            LONG code = kFailedCall;
            try {
                if (compare) {
                    LONG compared = 0;
                    code = IsScannerType() ? m_scanner.CompareFirmwareVersion(path, &compared)
                                           : m_imageScanner.CompareFirmwareVersion(path, &compared);
                } else {
                    code = IsScannerType() ? m_scanner.UpdateFirmware(path) : m_imageScanner.UpdateFirmware(path);
                }
            } catch (const ControlCallError&) {
                log(handler, T(probe::kServiceObjectException), std::string(),
                    compare ? kMethodsClass : "CAdvancedValidation");
            } catch (...) {
                log(handler, T(probe::kApplicationException), std::string(),
                    compare ? kMethodsClass : "CAdvancedValidation");
            }
            // A running update keeps Apply disabled until its last status.
            if (code != 0) {
                m_model.at(IDC_BTN_APPLY).enabled = true;
                m_model.focus = IDC_BTN_APPLY;
            }
            result = ResultCodeText(code);
            log(handler, compare ? "CompareFirm" : "UpdateFirm", result);
        }
        AppendOutput(text + result);
    } catch (...) {
        log("OnBtnUpdateFirm", "Exception", std::string(), kMethodsClass);
    }
}

void CAdvancedValidation::OnBtnStatApply()
{
    log("OnBtnStatApply", "Entered");
    try {
        const int method = m_model.at(IDC_COMBO_METHOD).selection;
        // Sent as typed: the prompt text too, when the entry was not touched.
        const std::string buffer = m_model.at(IDC_EDIT_STATISTICS).text;
        if (method == kResetStatistics) {
            const LONG code = m_scanner.ResetStatistics(buffer);
            AppendOutput(T(kStrResetStatisticsLine) + "  " + ResultCodeText(code));
        } else if (method == kRetrieveStatistics) {
            struct Text {
                BSTR string;
                ~Text() { SysFreeString(string); }
            } document{platform::bstrFromAnsi(buffer)};
            const LONG code = m_scanner.RetrieveStatistics(&document.string);
            if (code == 0)
                AppendOutput(platform::ansiFromBstr(document.string));
            AppendOutput(T(kStrRetrieveStatisticsLine) + "  " + ResultCodeText(code));
        } else if (method == kUpdateStatistics) {
            const LONG code = m_scanner.UpdateStatistics(buffer);
            AppendOutput(T(kStrUpdateStatisticsLine) + "  " + ResultCodeText(code));
        }
    } catch (...) {
        log("OnBtnUpdateFirm", "Exception", std::string(), kMethodsClass);
    }
}
