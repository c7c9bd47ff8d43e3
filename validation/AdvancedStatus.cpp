// The scanner's StatusUpdateEvent sink: every status is shown; a power loss
// remembers the device's settings, and the power's return offers to open,
// claim and enable the device again with them; the end of a firmware
// update gives the firmware Apply button back.
#include "AdvancedValidation.h"

#include "AdvancedMethodTexts.h"
#include "AdvancedStrings.h"
#include "ProbeStrings.h"

#include <functional>

using namespace adv;

namespace {

// The settings a power loss remembers for the power's return. They belong
// to the process, not to one showing of the view.
struct RememberedSettings {
    std::string freezeEvents;
    std::string autoDisable;
    LONG binaryConversion = 0;
    LONG powerNotify = 0;
    bool decodeData = false;
};

RememberedSettings& remembered()
{
    static RememberedSettings settings;
    return settings;
}

constexpr LONG kPowerOnline = 2001;
constexpr LONG kPowerOffOffline = 2004;
constexpr LONG kUpdateEndFirst = 2200;
constexpr LONG kUpdateEndLast = 2205;
constexpr LONG kUpdateCompleteNotRestored = 2205;
constexpr LONG kStateIdle = 2;
constexpr UINT kResynchronisationWaitMs = 9000;
constexpr UINT kResynchronisedPeriodMs = 1;

}  // namespace

void CAdvancedValidation::OnStatusUpdateEventScanner(LONG data)
{
    log("OnStatusUpdateEventScanner", "Entered");
    const std::string line = T(kStrStatusUpdateLine) + "   ";
    try {
        const std::string number = std::to_string(data);
        const std::string name = IniText("StatusUpdateEvent", data);
        if (name == number) {
            // Firmware progress arrives this way, as a percentage.
            AppendOutput(line + number + "%");
            return;
        }
        log("OnStatusUpdateEventImagescanner", "Scanner Status", name);
        if (data == kPowerOffOffline) {
            RememberSettings();
        } else if (data == kPowerOnline && m_host.AskYesNo(T(kStrSynchronizeQuestion))) {
            try {
                if (!Resynchronise(data))
                    return;
            } catch (...) {
                AppendOutput(line + T(probe::kServiceObjectException));
                SetStatus(std::string());
                return;
            }
        }
        AppendOutput(line + name);
        if (data == kUpdateCompleteNotRestored || data == kPowerOnline)
            RefreshAfterStatus();
        if ((data >= kUpdateEndFirst && data <= kUpdateEndLast) ||
            (m_model.at(IDC_COMBO_METHOD).selection == kUpdateFirmware && m_scanner.GetState() == kStateIdle)) {
            m_model.at(IDC_BTN_APPLY).enabled = true;
            m_model.focus = IDC_BTN_APPLY;
        }
    } catch (...) {
        log("OnStatusUpdateEventScanner", "Exception");
    }
}

void CAdvancedValidation::RememberSettings()
{
    RememberedSettings& settings = remembered();
    settings.freezeEvents = GetFreezeevent();
    settings.autoDisable = GetAutodisable();
    settings.binaryConversion = m_scanner.GetBinaryConversion();
    settings.powerNotify = m_scanner.GetPowerNotify();
    settings.decodeData = m_scanner.GetDecodeData() != FALSE;
}

void CAdvancedValidation::AbandonResynchronisation()
{
    m_nScannerOpenResult = 104;
    m_nImagerOpenResult = 104;
    SetStatus(std::string());
    resetValues();
    m_model.at(IDC_COMBO_DEVICENAME).enabled = true;
}

bool CAdvancedValidation::Resynchronise(LONG data)
{
    SetStatus(T(kStrSynchronizing));
    // A device the view never opened is not closed or opened again: the
    // status itself stands as the Open's result.
    LONG opened = data;
    if (m_nScannerOpenResult == 0 || m_nScannerOpenResult == 106) {
        const LONG closed = m_scanner.Close();
        m_host.KillTimer(kDataCountTimer);
        if (closed != 0) {
            AppendOutput(T(kCloseLine) + "   " + ResultCodeText(closed));
            AbandonResynchronisation();
            return false;
        }
        // The device needs this long after a Close before it opens again.
        m_host.Wait(kResynchronisationWaitMs);
        opened = m_scanner.Open(m_strDeviceName);
    }
    if (opened != 0) {
        AppendOutput(T(kOpenLine) + "   " + ResultCodeText(opened));
        AbandonResynchronisation();
        return false;
    }
    const LONG claimed = m_scanner.ClaimDevice(-1);
    if (claimed != 0) {
        AppendOutput(T(kClaimLine) + "   " + ResultCodeText(claimed));
        resetValues();
        SetStatus(std::string());
        return false;
    }
    m_host.SetTimer(kDataCountTimer, kResynchronisedPeriodMs);

    const RememberedSettings& settings = remembered();
    const auto word = [&](bool value) { return value ? m_strTrue : m_strFalse; };
    struct Write {
        std::function<void()> write;
        std::string message;
        std::function<void()> refresh;
    };
    const Write writes[] = {
        {[&] { m_scanner.SetPowerNotify(settings.powerNotify); },
         T(kStrSetPowerNotify) + "   " + IniText("PowerNotify", settings.powerNotify), [&] { GetPowerNotify(); }},
        {[&] { m_scanner.SetDeviceEnabled(TRUE); }, T(kStrSetDeviceEnable) + "   " + word(true),
         [&] { GetDeviceenable(); }},
        {[&] { m_scanner.SetDataEventEnabled(m_bDataEventEnabled ? TRUE : FALSE); },
         T(kStrSetDataEventEnabled) + "   " + word(m_bDataEventEnabled != 0), [&] { GetDataenable(); }},
        {[&] { m_scanner.SetFreezeEvents(settings.freezeEvents == m_strTrue ? TRUE : FALSE); },
         T(kStrSetFreezeEvents) + "   " + settings.freezeEvents, [&] { GetFreezeevent(); }},
        {[&] { m_scanner.SetAutoDisable(settings.autoDisable == m_strTrue ? TRUE : FALSE); },
         T(kStrSetAutoDisable) + "   " + settings.autoDisable, [&] { GetAutodisable(); }},
        {[&] { m_scanner.SetDecodeData(settings.decodeData ? TRUE : FALSE); },
         T(kStrSetDecodeData) + "   " + word(settings.decodeData), [&] { GetDecodeData(); }},
        {[&] { m_scanner.SetBinaryConversion(settings.binaryConversion); },
         T(kStrSetBinaryConversion) + "   " + IniText("BinaryConversion", settings.binaryConversion),
         [&] { GetBinaryconversion(); }},
    };
    for (const Write& step : writes) {
        step.write();
        if (m_scanner.GetResultCode() != 0) {
            ReportResultCode(step.message);
            step.refresh();
            SetStatus(std::string());
            return false;
        }
    }
    SetStatus(std::string());
    return true;
}

void CAdvancedValidation::RefreshAfterStatus()
{
    GetDeviceenable();
    GetDataenable();
    GetAutodisable();
    GetFreezeevent();
    GetPowerNotify();
    GetBinaryconversion();
    GetDecodeData();
    m_model.at(IDC_EDIT_SCANDATA).text = m_scanner.GetScanData();
    m_model.at(IDC_EDIT_SCANDATALABEL).text = m_scanner.GetScanDataLabel();
    m_model.at(IDC_EDIT_SCANDATATYPE).text = IniText("ScanDataType", m_scanner.GetScanDataType());
}
