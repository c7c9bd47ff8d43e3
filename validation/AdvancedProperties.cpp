#include "AdvancedValidation.h"

const CLanguageManager::StringTable& adv::propertyStrings()
{
    static const CLanguageManager::StringTable table;
    return table;
}

std::string CAdvancedValidation::GetDeviceenable() { return {}; }
std::string CAdvancedValidation::GetDataenable() { return {}; }
std::string CAdvancedValidation::GetAutodisable() { return {}; }
std::string CAdvancedValidation::GetFreezeevent() { return {}; }
std::string CAdvancedValidation::GetBinaryconversion() { return {}; }
std::string CAdvancedValidation::GetPowerNotify() { return {}; }
void CAdvancedValidation::OnButtonGetDeviceenable() {}
void CAdvancedValidation::OnButtonGetDataenable() {}
void CAdvancedValidation::OnButtonGetAutodisable() {}
void CAdvancedValidation::OnButtonGetFreezeevent() {}
void CAdvancedValidation::OnButtonGetBinaryconversion() {}
void CAdvancedValidation::OnButtonGetPowerNotify() {}
void CAdvancedValidation::OnBtnCheckHealthText() {}
void CAdvancedValidation::OnBtnClaimed() {}
void CAdvancedValidation::OnButtonCappowerReporting() {}
void CAdvancedValidation::OnBtnPowerState() {}
void CAdvancedValidation::OnBtnResultCode() {}
void CAdvancedValidation::OnButtonResultcodeExtn() {}
void CAdvancedValidation::OnBtnControlobjVersion() {}
void CAdvancedValidation::OnButtonSover() {}
void CAdvancedValidation::OnBtnCapCompareFirmware() {}
void CAdvancedValidation::OnBtnCapUpdateFirmware() {}
void CAdvancedValidation::OnBtnCapStatisticsReporting() {}
void CAdvancedValidation::OnBtnDeviceDesc() {}
void CAdvancedValidation::OnButtonOpenresult() {}
void CAdvancedValidation::OnBtnDeviceVersion() {}
void CAdvancedValidation::OnButtonState() {}
void CAdvancedValidation::OnBtnControlobjDescription() {}
void CAdvancedValidation::OnBtnCapUpdateStat() {}
void CAdvancedValidation::OnBtnServiceobjDesc() {}
void CAdvancedValidation::OnBtnDataCount() {}
void CAdvancedValidation::OnBtnClearInput() {}
void CAdvancedValidation::OnButtonClearinputprop() {}
void CAdvancedValidation::ReportResultCode(std::string) {}
void CAdvancedValidation::resetValues() {}
void CAdvancedValidation::OnBtnHelp() {}
bool CAdvancedValidation::OnSysCommand(UINT) { return false; }

void CAdvancedValidation::OnButtonSetDeviceenable() {}
void CAdvancedValidation::OnBtnSetdataevent() {}
void CAdvancedValidation::OnBtnSetautodisable() {}
void CAdvancedValidation::OnBtnSetfreezeevents() {}
void CAdvancedValidation::OnBtnSetdeodedata() {}
void CAdvancedValidation::OnBtnPowernotify() {}
void CAdvancedValidation::OnBtnBinaryconversion() {}
void CAdvancedValidation::OnBtnImagemode() {}
void CAdvancedValidation::OnBtnSetImagequality() {}
void CAdvancedValidation::OnBtnVideocount() {}
void CAdvancedValidation::OnBtnVideorate() {}
void CAdvancedValidation::OnBtnSetAimmode() {}
void CAdvancedValidation::OnBtnSetIlluminatemode() {}
void CAdvancedValidation::OnButtonCheckhealth() {}
void CAdvancedValidation::OnBtnGetallprops() {}
void CAdvancedValidation::OnBtnScandata() {}
void CAdvancedValidation::OnBtnScandatalable() {}
