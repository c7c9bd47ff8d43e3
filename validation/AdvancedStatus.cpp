#include "AdvancedValidation.h"

void CAdvancedValidation::OnStatusUpdateEventScanner(LONG) {}
