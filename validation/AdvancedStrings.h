// The Advanced View frame's texts by string id (English in
// frameStrings(); a French user's strings file replaces them id by id).
// Captions and tooltips of the frame's controls have ids of their own:
// kCaptionBase or kTipBase + the control id.
#pragma once

#include "platform/window.h"

namespace adv {

constexpr UINT kCaptionBase = 34000;
constexpr UINT kTipBase = 36000;
constexpr UINT kIdRange = 2000;

constexpr UINT kWelcome = 1016;
constexpr UINT kMethodCompare = 1204;
constexpr UINT kMethodReset = 1207;
constexpr UINT kMethodRetrieve = 1205;
constexpr UINT kMethodUpdateFirmware = 1203;
constexpr UINT kMethodUpdateStatistics = 1206;
constexpr UINT kMethodSelect = 1271;
constexpr UINT kTipUpdateFirmware = 1215;
constexpr UINT kScannerSpecificTitle = 1222;
constexpr UINT kImagerSpecificTitle = 1251;
constexpr UINT kDeviceSpecificTitle = 1270;
constexpr UINT kScanDataName = 1314;
constexpr UINT kScanDataLabelName = 1315;
constexpr UINT kScanDataTypeName = 1316;
constexpr UINT kCloseLine = 32774;
constexpr UINT kReleaseLine = 32825;
constexpr UINT kTrue = 32827;
constexpr UINT kFalse = 32828;
constexpr UINT kSelectDeviceType = 32834;
constexpr UINT kOpenLine = 32843;
constexpr UINT kSelectDeviceName = 32845;
constexpr UINT kHintEnable = 32862;
constexpr UINT kHintDataEvent = 32863;
constexpr UINT kClaimLine = 32864;
constexpr UINT kHintBoth = 32866;
constexpr UINT kDataCountLine = 32912;
constexpr UINT kClaiming = 32920;
constexpr UINT kAutoDetectName = 32938;
constexpr UINT kPortName = 32939;
constexpr UINT kFrameDataLine = 32974;
constexpr UINT kVideoCount15 = 32984;
constexpr UINT kVideoRate30 = 32985;
constexpr UINT kEnterFilePath = 32991;
constexpr UINT kProcessingImage = 33035;
constexpr UINT kImageSaved = 33036;
constexpr UINT kImageFailed = 33037;
constexpr UINT kEnterStatistics = 33054;
constexpr UINT kFirmwareBusy = 33058;
constexpr UINT kEnterTimeout = 33061;

// Texts the program's resources give no number for.
constexpr UINT kNone = 33300;
constexpr UINT kNibble = 33301;
constexpr UINT kDecimal = 33302;
constexpr UINT kDisabled = 33303;
constexpr UINT kEnabled = 33304;
constexpr UINT kInternal = 33305;
constexpr UINT kExternal = 33306;
constexpr UINT kInteractive = 33307;
constexpr UINT kDecodeOnly = 33308;
constexpr UINT kStillOnly = 33309;
constexpr UINT kStillDecode = 33310;
constexpr UINT kVideoDecode = 33311;
constexpr UINT kVideoStill = 33312;
constexpr UINT kAll = 33313;
constexpr UINT kLow = 33314;
constexpr UINT kMedium = 33315;
constexpr UINT kHigh = 33316;
constexpr UINT kAutoDetectWord = 33317;
constexpr UINT kPortWord = 33318;
constexpr UINT kGetDecodeDataLine = 33319;

// Menu 166 (English); menu 217 (French) takes the ids + 100.
constexpr UINT kAdvMenuFile = 33270;
constexpr UINT kAdvMenuReEnable = 33271;
constexpr UINT kAdvMenuExit = 33272;
constexpr UINT kAdvMenuDirectIO = 33273;
constexpr UINT kAdvMenuGetSWRev = 33274;
constexpr UINT kAdvMenuMenuCommand = 33275;
constexpr UINT kAdvMenuImageCommands = 33276;
constexpr UINT kAdvMenuBmp = 33277;
constexpr UINT kAdvMenuJpeg = 33278;
constexpr UINT kAdvMenuTiffBin = 33279;
constexpr UINT kAdvMenuTiffGray = 33280;
constexpr UINT kAdvMenuRaiseError = 33281;
constexpr UINT kAdvMenuSerial = 33282;
constexpr UINT kAdvMenuTimeout = 33283;
constexpr UINT kAdvMenuView = 33284;
constexpr UINT kAdvMenuBasic = 33285;
constexpr UINT kAdvMenuConfig = 33286;
constexpr UINT kAdvMenuHelp = 33287;
constexpr UINT kAdvMenuHelpFile = 33288;
constexpr UINT kAdvMenuAbout = 33289;
constexpr UINT kAdvFrenchMenuOffset = 100;

}  // namespace adv
