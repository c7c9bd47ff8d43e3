#include "AdvancedValidation.h"

void CAdvancedValidation::OnButtonCapaim() {}
void CAdvancedValidation::OnButtonCapdecodedata() {}
void CAdvancedValidation::OnButtonCaphosttrigger() {}
void CAdvancedValidation::OnButtonCapimagequality() {}
void CAdvancedValidation::OnButtonCapvideodata() {}
void CAdvancedValidation::OnButtonCapimagedata() {}
void CAdvancedValidation::OnButtonCapilluminate() {}
void CAdvancedValidation::OnButtonFrametype() {}
void CAdvancedValidation::OnButtonBitsperpixel() {}
void CAdvancedValidation::OnButtonImagetype() {}
void CAdvancedValidation::OnButtonImagewidth() {}
void CAdvancedValidation::OnButtonImageheight() {}
void CAdvancedValidation::OnButtonImagelength() {}
void CAdvancedValidation::OnButtonStartsession() {}
void CAdvancedValidation::OnButtonStopsession() {}
std::string CAdvancedValidation::GetImageMode() { return {}; }
std::string CAdvancedValidation::GetImageQuality() { return {}; }
std::string CAdvancedValidation::GetVideoCount() { return {}; }
std::string CAdvancedValidation::GetVideoRate() { return {}; }
std::string CAdvancedValidation::GetAimMode() { return {}; }
std::string CAdvancedValidation::GetIlluminateMode() { return {}; }
void CAdvancedValidation::OnStatusUpdateEventImagescanner(LONG) {}
void CAdvancedValidation::OnErrorEventImagescanner(LONG, LONG, LONG, LONG*) {}
