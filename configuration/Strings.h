// TillSetup's own texts (English), by string id. A French user's
// "TillSetupFrench.strings" replaces them id by id (CLanguageManager).
#pragma once

#include "LanguageManager.h"

namespace str {

// Labels and buttons.
constexpr UINT kAutoDetectSettings = 132;
constexpr UINT kAutoDetect = 133;
constexpr UINT kPortLabel = 138;
constexpr UINT kTimeoutLabel = 140;
constexpr UINT kSelect = 32790;
constexpr UINT kAddDeviceRadio = 32792;
constexpr UINT kEditRemoveRadio = 32793;
constexpr UINT kDeviceNameLabelAdd = 32794;
constexpr UINT kDeviceTypeLabel = 32796;
constexpr UINT kConfirmRemove = 32797;
constexpr UINT kAboutVersion = 32798;
constexpr UINT kAboutNotice = 32799;
constexpr UINT kTipName = 32802;
constexpr UINT kImproper = 32809;
constexpr UINT kTipRemove = 32820;
constexpr UINT kProbeProgram = 32821;
constexpr UINT kTipModify = 32829;
constexpr UINT kTipAdd = 32830;
constexpr UINT kTipValidate = 32831;
constexpr UINT kTipHelp = 32832;
constexpr UINT kRangeRecheck = 32842;
constexpr UINT kConfigPathFile = 32878;
constexpr UINT kHelpTitle = 32883;
constexpr UINT kMaxTimeoutLabel = 32884;
constexpr UINT kAimModeLabel = 32885;
constexpr UINT kAddButton = 32888;
constexpr UINT kValidateButton = 32889;
constexpr UINT kRemoveButton = 32890;
constexpr UINT kModifyButton = 32891;
constexpr UINT kLogStem = 32904;
constexpr UINT kLogSwitchKey = 32905;
constexpr UINT kLogSwitchValue = 32906;
constexpr UINT kTrue = 32908;
constexpr UINT kFalse = 32909;
constexpr UINT kClaimTimeoutName = 32913;
constexpr UINT kScanDataOptionName = 32915;
constexpr UINT kDecodeGs1Name = 32917;
constexpr UINT kClaimTimeoutDefault = 32918;
constexpr UINT kScanDataOptionDefault = 32919;
constexpr UINT kDecodeGs1Default = 32921;

// Texts the program's own resources give no number for.
constexpr UINT kDeviceOptions = 33100;
constexpr UINT kServiceObjectSettings = 33101;
constexpr UINT kDeviceNameLabel = 33102;
constexpr UINT kScanner = 33103;
constexpr UINT kImageScanner = 33104;
constexpr UINT kEnterTheName = 33105;
constexpr UINT kEnterValue = 33106;
constexpr UINT kNoDeviceExists = 33107;
constexpr UINT kNoDeviceSelected = 33108;
constexpr UINT kPortNote = 33109;
constexpr UINT kDefaultTimeout = 33110;
constexpr UINT kDefaultMaxTimeout = 33111;
constexpr UINT kAimOff = 33112;
constexpr UINT kAimConcurrent = 33113;
constexpr UINT kAimInterlaced = 33114;
constexpr UINT kHelpFile = 33115;
constexpr UINT kCaption = 33116;
constexpr UINT kAboutCaption = 33117;
constexpr UINT kSaveChanges = 33118;

// Messages.
constexpr UINT kMsgSelectType = 33120;
constexpr UINT kMsgSpecifyName = 33121;
constexpr UINT kMsgNameBlank = 33122;
constexpr UINT kMsgNameBackslash = 33123;
constexpr UINT kMsgNameExists = 33124;
constexpr UINT kMsgConnectionType = 33125;
constexpr UINT kMsgMissingFields = 33126;
constexpr UINT kMsgInvalidPort = 33127;
constexpr UINT kMsgTimeoutRange = 33128;
constexpr UINT kMsgMaxTimeoutRange = 33129;
constexpr UINT kMsgAdded = 33130;
constexpr UINT kMsgNoDeviceToModify = 33131;
constexpr UINT kMsgSelectName = 33132;
constexpr UINT kMsgModified = 33133;
constexpr UINT kMsgNoChanges = 33134;
constexpr UINT kMsgNoDeviceForType = 33135;
constexpr UINT kMsgRemoved = 33136;
constexpr UINT kMsgNoProbe = 33137;
constexpr UINT kMsgNoHelp = 33138;
constexpr UINT kMsgSaveFailed = 33139;
constexpr UINT kMsgRemoveFailed = 33140;

// Menus: 151 (English) and 167 (the French menu), same commands.
constexpr UINT kMenuFile = 33150;
constexpr UINT kMenuDevice = 33151;
constexpr UINT kMenuAdd = 33152;
constexpr UINT kMenuModify = 33153;
constexpr UINT kMenuRemove = 33154;
constexpr UINT kMenuExit = 33155;
constexpr UINT kMenuView = 33156;
constexpr UINT kMenuValidation = 33157;
constexpr UINT kMenuHelp = 33158;
constexpr UINT kMenuHelpDoc = 33159;
constexpr UINT kMenuAbout = 33160;
constexpr UINT kFrenchMenuOffset = 100;  // menu 167's texts: the ids above + 100

}  // namespace str

// The whole English table.
const CLanguageManager::StringTable& tillSetupStrings();

// The text of an id through the process's language manager.
std::string T(UINT id);
