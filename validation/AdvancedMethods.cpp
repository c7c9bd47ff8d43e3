#include "AdvancedValidation.h"

const CLanguageManager::StringTable& adv::methodStrings()
{
    static const CLanguageManager::StringTable table;
    return table;
}

void CAdvancedValidation::OnBtnBrowse() {}
void CAdvancedValidation::OnBtnApply() {}
void CAdvancedValidation::OnBtnStatApply() {}
