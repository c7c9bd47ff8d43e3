// What the Advanced View does with a label read (the scanner's or the image
// scanner's DataEvent) and its timer, which keeps the DataCount line and the
// DeviceEnabled list current while a device is claimed.
#include "AdvancedStrings.h"
#include "AdvancedValidation.h"

#include <string>

using namespace adv;

namespace {

// What the type box shows when DecodeData is off: the service object gives
// no type then.
constexpr char kUnknownType[] = "SCAN_SDT_UNKNOWN";

}  // namespace

void CAdvancedValidation::AfterDataEvent()
{
    // A delivered DataEvent has turned DataEventEnabled off: either switch
    // it back on as the list chooses, or show that it is off now.
    if (m_model.reEnableDataEvent)
        OnBtnSetdataevent();
    else
        GetDataenable();
}

void CAdvancedValidation::OnDataEventScanner(LONG /*status*/)
{
    try {
        log("OnDataEventScanner", "Entered");
        OnBtnScandata();
        if (m_scanner.GetDecodeData()) {
            OnBtnScandatalable();
            OnBtnScandatatype();
        } else {
            m_model.at(IDC_EDIT_SCANDATALABEL).text.clear();
            m_model.at(IDC_EDIT_SCANDATATYPE).text = kUnknownType;
        }
        AfterDataEvent();
        m_model.focus = IDC_COMBO_DATAEVENTENABLE;
    } catch (...) {
        log("OnDataEventScanner", "Exception");
    }
}

void CAdvancedValidation::OnDataEventImagescanner(LONG /*status*/)
{
    try {
        log("OnDataEventImagescanner", "Entered");
        OnButtonFramedata();
        AfterDataEvent();
        GetAutodisable();
        GetDeviceenable();
        m_model.focus = IDC_COMBO_DATAEVENTENABLE;
    } catch (...) {
        log("OnDataEventImagescanner", "Exception");
    }
}

void CAdvancedValidation::OnTimer(UINT /*id*/)
{
    try {
        m_model.at(IDC_STATIC_DATACOUNT).text = T(kDataCountLine) + "  " + std::to_string(Active().GetDataCount());
        // DeviceEnabled is the scanner control's whatever the type; an
        // AutoDisable after a read shows here within one tick.
        const int enabled = m_scanner.GetDeviceEnabled() ? 1 : 0;
        if (enabled != m_bDeviceEnabled)
            GetDeviceenable();
    } catch (...) {
        log("OnBtnDataCount", "Exception");
    }
}
