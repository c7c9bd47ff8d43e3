// What TillProbe's small dialogs share: their texts by string id, the
// program icon and the dialogs' face colour.
#pragma once

#include "LanguageManager.h"
#include "SystemColors.h"

#include <QString>

namespace dlgstr {

// Entry dialog: the serial-command texts (the dialog's own defaults) and
// the command time-out texts its callers may give it instead.
constexpr UINT kDirectIOHelp = 102;
constexpr UINT kTimeoutHelp = 103;
constexpr UINT kTimeoutLabel = 104;
constexpr UINT kSerialCommandLabel = 105;
constexpr UINT kSendButton = 106;
constexpr UINT kSetButton = 107;
constexpr UINT kSendTip = 33028;

// Error event dialog.
constexpr UINT kExpandDetails = 1127;
constexpr UINT kCollapseDetails = 1128;
constexpr UINT kErrorLocusLabel = 1363;
constexpr UINT kErrorDetails = 1369;

// Captions and button texts the dialog templates carry.
constexpr UINT kDirectIOCaption = 33400;
constexpr UINT kErrorEventCaption = 33401;
constexpr UINT kImageCaption = 33402;
constexpr UINT kRetryButton = 33403;
constexpr UINT kClearButton = 33404;
constexpr UINT kContinueInputButton = 33405;

}  // namespace dlgstr

// The English texts of the ids above. The program may merge them into its
// own table; a dialog finds them here when neither the strings file nor the
// program's table has the id.
const CLanguageManager::StringTable& probeDialogStrings();

// The text of `id`: the language manager's, else the table above.
QString dialogText(UINT id);

// The dialogs' background (224, 223, 228), colour value 14999520.
inline constexpr Rgb kProbeFace{224, 223, 228};
