// TillProbe's own texts (English), by string id. A French user's
// "TillProbeFrench.strings" replaces them id by id (CLanguageManager).
#pragma once

#include "LanguageManager.h"

#include <string>

namespace probe {

// Labels, lists and buttons of the Basic View.
constexpr UINT kOptionsGroup = 1000;
constexpr UINT kDeviceNameLabel = 1002;
constexpr UINT kSelect = 1003;
constexpr UINT kVerifyLabel = 1005;
constexpr UINT kOutputGroup = 1006;
constexpr UINT kOutputPrompt = 1007;
constexpr UINT kConfigButton = 1010;
constexpr UINT kAdvancedButton = 1011;
constexpr UINT kScanner = 1012;
constexpr UINT kDeviceTypeLabel = 1014;
constexpr UINT kAboutVersion = 1189;
constexpr UINT kAboutNotice = 1190;
constexpr UINT kDeviceRoot = 1273;
constexpr UINT kWillBeClosed = 25562;
constexpr UINT kOpening = 32773;
constexpr UINT kImageScanner = 32776;
constexpr UINT kNoDeviceSelected = 32779;
constexpr UINT kNoDeviceExist = 32780;
constexpr UINT kTipConfig = 32781;
constexpr UINT kTipAdvanced = 32782;
constexpr UINT kTipVerify = 32783;
constexpr UINT kReadWithin = 32822;
constexpr UINT kSetupProgram = 32826;
constexpr UINT kNoSetup = 32831;
constexpr UINT kDefaultClaimTimeout = 32841;
constexpr UINT kAlreadyClaimed = 32844;
constexpr UINT kMaker = 32867;
constexpr UINT kManufacturer = 32868;
constexpr UINT kHelpFile = 32869;
constexpr UINT kHelpTitle = 32870;
constexpr UINT kNoHelp = 32871;
constexpr UINT kOpened = 32932;
constexpr UINT kClosed = 32933;
constexpr UINT kClaimTimeoutName = 32937;
constexpr UINT kFullImageButton = 33038;
constexpr UINT kTipFullImage = 33039;
constexpr UINT kLogSwitchKey = 33044;
constexpr UINT kLogSwitchValue = 33045;
constexpr UINT kLogStem = 33046;
constexpr UINT kServiceObjectException = 33059;
constexpr UINT kApplicationException = 33060;

// Texts the program's resources give no number for.
constexpr UINT kCaption = 33200;
constexpr UINT kAboutCaption = 33201;
constexpr UINT kAdvancedCaption = 33202;
constexpr UINT kNoControls = 33204;
constexpr UINT kNoControlsCaption = 33205;

// Menu 129 (English); menu 216 (French) takes the ids + 100.
constexpr UINT kMenuFile = 33250;
constexpr UINT kMenuExit = 33251;
constexpr UINT kMenuView = 33252;
constexpr UINT kMenuAdvanced = 33253;
constexpr UINT kMenuConfig = 33254;
constexpr UINT kMenuHelp = 33255;
constexpr UINT kMenuHelpFile = 33256;
constexpr UINT kMenuAbout = 33257;
constexpr UINT kFrenchMenuOffset = 100;

const CLanguageManager::StringTable& strings();

// The text of an id through the process's language manager.
std::string T(UINT id);

}  // namespace probe
