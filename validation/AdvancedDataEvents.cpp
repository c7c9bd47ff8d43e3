#include "AdvancedValidation.h"

void CAdvancedValidation::OnDataEventScanner(LONG) {}
void CAdvancedValidation::OnDataEventImagescanner(LONG) {}
void CAdvancedValidation::OnTimer(UINT) {}
