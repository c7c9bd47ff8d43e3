// String ids of the Advanced View's method, status-event and DirectIO
// texts (their English texts: adv::methodStrings()).
#pragma once

#include "platform/window.h"

namespace adv {

// The entry dialog's texts for the serial command and the command time-out.
constexpr UINT kStrDirectIOHelp = 102;
constexpr UINT kStrTimeoutHelp = 103;
constexpr UINT kStrTimeoutLabel = 104;
constexpr UINT kStrSerialCommandLabel = 105;
constexpr UINT kStrSendButton = 106;
constexpr UINT kStrSetButton = 107;
// Messages of the property writes after a power loss.
constexpr UINT kStrSetDeviceEnable = 1028;
constexpr UINT kStrSetDataEventEnabled = 1029;
constexpr UINT kStrSetAutoDisable = 1030;
constexpr UINT kStrSetFreezeEvents = 1031;
constexpr UINT kStrSetBinaryConversion = 1033;
constexpr UINT kStrSetPowerNotify = 1157;
constexpr UINT kStrSetDecodeData = 32856;
// Output lines and prompts (the lifecycle lines, the prompts of the
// method entries and the exception texts are the frame's and the Basic
// View's).
constexpr UINT kStrChooseFirmwareFile = 32878;
constexpr UINT kStrUpdateFirmwareLine = 32922;
constexpr UINT kStrSelectMethod = 32923;
constexpr UINT kStrStatusUpdateLine = 32992;
constexpr UINT kStrPerformingDirectIO = 33025;
constexpr UINT kStrDirectIOLine = 33027;
constexpr UINT kStrResetStatisticsLine = 33031;
constexpr UINT kStrRetrieveStatisticsLine = 33032;
constexpr UINT kStrUpdateStatisticsLine = 33033;
constexpr UINT kStrCompareFirmwareLine = 33047;
constexpr UINT kStrSynchronizeQuestion = 33052;
constexpr UINT kStrSynchronizing = 33053;
constexpr UINT kStrSerialResponseTitle = 33055;
constexpr UINT kStrSerialCommandName = 33056;
constexpr UINT kStrSerialResponseName = 33057;

}  // namespace adv
