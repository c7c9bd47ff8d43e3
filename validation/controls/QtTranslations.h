// Qt's own texts in the user's language: the translations that come with
// Qt (its standard buttons, the file dialog, the edit boxes' context menus)
// are installed for a French user and removed for any other, the way the
// programs choose their own strings file (GetUserDefaultLangID).
//
// UI thread only; a QCoreApplication must exist.
#pragma once

#include <QString>

// Installs Qt's French translations from Qt's translations folder when the
// user's language is French, else removes them. True when installed.
bool InstallQtTranslations();

// The text Qt gives its standard buttons, in the installed language,
// without the mnemonic marker: "Yes", "No", "Cancel", "OK".
enum class QtButton { Yes, No, Cancel, Ok };
QString QtButtonText(QtButton button);
