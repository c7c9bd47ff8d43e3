#include "AdvancedValidation.h"

void CAdvancedValidation::OnDioGetBmpImage() {}
void CAdvancedValidation::OnDioGetJpegImage() {}
void CAdvancedValidation::OnDioGetTiffbinImage() {}
void CAdvancedValidation::OnDioGetTiffgrayImage() {}
void CAdvancedValidation::OnRaiseErrorEvent() {}
void CAdvancedValidation::CallDirectIO() {}
void CAdvancedValidation::OnDirectioSerialcmd() {}
void CAdvancedValidation::OnCommandTimeout() {}
int CAdvancedValidation::GetDataBufferValue(const std::string&, const std::string&) { return 50; }
void CAdvancedValidation::OnErrorEventScanner(LONG, LONG, LONG, LONG*) {}
