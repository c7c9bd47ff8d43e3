#include "ProbeStrings.h"

namespace probe {

const CLanguageManager::StringTable& strings()
{
    static const CLanguageManager::StringTable table = {
        {kOptionsGroup, "Validation Options"},
        {kDeviceNameLabel, "Device name"},
        {kSelect, "-- Select --"},
        {kVerifyLabel, "Verify device"},
        {kOutputGroup, "Device Output"},
        {kOutputPrompt,
         "\n\t   Please use the device to get the result here\n   (Note: The results are displayed only if connection "
         "is successful)"},
        {kConfigButton, "&Configuration Utility"},
        {kAdvancedButton, "&Advanced View"},
        {kScanner, "Scanner"},
        {kDeviceTypeLabel, "Device type"},
        {kAboutVersion, "TillProbe, Version 1.13.2.12"},
        {kAboutNotice, "Copyright (C) Varnex. All rights reserved."},
        {kDeviceRoot, "SOFTWARE\\OLEforRetail\\ServiceOPOS\\"},
        {kWillBeClosed, "Currently opened device will be closed automatically"},
        {kOpening, "Opening the device ..."},
        {kImageScanner, "ImageScanner"},
        {kNoDeviceSelected, "No device selected"},
        {kNoDeviceExist, "No device exist"},
        {kTipConfig, "Click to open Configuration Utility"},
        {kTipAdvanced, "Click to open Advanced View"},
        {kTipVerify, "Click to verify the connection"},
        {kReadWithin, "Read data with in "},
        {kSetupProgram, "TillSetup"},
        {kNoSetup, "The TillSetup does not exist"},
        {kDefaultClaimTimeout, "10000"},
        {kAlreadyClaimed, "Device already claimed"},
        {kMaker, "Varnex"},
        {kManufacturer, "Manufacturer"},
        {kHelpFile, "TillProbe.html"},
        {kHelpTitle, "TillProbe"},
        {kNoHelp, "TillProbe help file does not exist"},
        {kOpened, "Device opened successfully"},
        {kClosed, "Device closed successfully"},
        {kClaimTimeoutName, "COMMANDTIMEOUT"},
        {kFullImageButton, "View full image"},
        {kTipFullImage, "Click to display image in fullscreen"},
        {kLogSwitchKey, "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger"},
        {kLogSwitchValue, "Application"},
        {kLogStem, "ValidationLog"},
        {kServiceObjectException, "An exception has occured in service object"},
        {kApplicationException, "An exception has occured in application"},
        {kCaption, "TillProbe - Basic View"},
        {kAboutCaption, "About TillProbe"},
        {kAdvancedCaption, "TillProbe - Advanced View"},
        {kNoControls, "Install the relevant Control Objects to use the application"},
        {kNoControlsCaption, "Validation Utility"},
        {kMenuFile, "&File"},
        {kMenuExit, "E&xit    Alt+X"},
        {kMenuView, "&View"},
        {kMenuAdvanced, "&Advanced View         Alt+A"},
        {kMenuConfig, "&Configuration Utility  Alt+C"},
        {kMenuHelp, "&Help"},
        {kMenuHelpFile, "TillProbe Help       F1"},
        {kMenuAbout, "Abo&ut TillProbe    Alt+U"},
        {kMenuFile + kFrenchMenuOffset, "&Fichier"},
        {kMenuExit + kFrenchMenuOffset, "&Quitter    Alt+X"},
        {kMenuView + kFrenchMenuOffset, "&Affichage"},
        {kMenuAdvanced + kFrenchMenuOffset, "Vue &avancée         Alt+A"},
        {kMenuConfig + kFrenchMenuOffset, "Utilitaire de &configuration  Alt+C"},
        {kMenuHelp + kFrenchMenuOffset, "&Aide"},
        {kMenuHelpFile + kFrenchMenuOffset, "Aide de TillProbe       F1"},
        {kMenuAbout + kFrenchMenuOffset, "À &propos de TillProbe    Alt+U"},
    };
    return table;
}

std::string T(UINT id)
{
    return CLanguageManager::GetInstance().GetString(id);
}

}  // namespace probe
