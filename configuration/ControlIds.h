// The main dialog's controls, menu commands and the small dialogs' ids; the
// Qt views use the resource names as object names.
#pragma once

namespace ctl {

constexpr int IDC_ADDDEVICERADIO = 1059;
constexpr int IDC_EDITREMOVERADIO = 1060;
constexpr int IDC_SUBKEYS = 1042;
constexpr int IDC_ENTERDEVICENAME = 1034;
constexpr int IDC_DEVICENAMECOMBO = 1011;
constexpr int IDC_CONNECTIONCOMBO = 1003;
constexpr int IDC_COMPORTCOMBO = 1006;
constexpr int IDC_TIMEOUTCOMBO = 1062;
constexpr int IDC_INFINITECOMBO = 1056;
constexpr int IDC_AIMMODECOMBO = 1058;
constexpr int IDC_ADDBUTTON = 1009;
constexpr int IDC_MODIFY = 1012;
constexpr int IDC_REMOVE = 1014;
constexpr int IDC_VALIDATEEXE = 1041;
constexpr int IDC_VALIDATION = 1035;
constexpr int IDC_PORTNUMBER = 1069;
constexpr int IDC_CONNECTIONTYPELABEL = 1045;
constexpr int IDC_COMPORT = 1021;
constexpr int IDC_TIMEOUTLABEL = 1046;
constexpr int IDC_INFINITETIMEOUTlLABEL = 1051;
constexpr int IDC_AIMMODELABEL = 1052;
constexpr int IDC_DEVICENAMELABEL = 1048;
constexpr int IDC_DEVICENAMELABEL_ADD = 1050;
constexpr int IDC_DEVICECATEGORYLABEL = 1057;
constexpr int IDC_CONNECTIONSETTINGGROUPBOX = 1049;
constexpr int IDC_DeviceFiles = 1018;
constexpr int IDC_ServiceObjectSettings = 1017;
constexpr int IDC_STATICLOGO = 1037;
constexpr int IDC_LEFT_PANE = 1073;

// Menu commands (menus 151 and 167) and accelerators (table 153).
constexpr int ID_FILE_EXIT = 32773;
constexpr int ID_HELP_ABOUT = 32776;
constexpr int ID_FILE_DEVICE_ADDDEVICE = 32783;
constexpr int ID_FILE_DEVICE_MODIFYDEVICE = 32784;
constexpr int ID_FILE_DEVICE_DELETEDEVICE = 32785;
constexpr int ID_VALIDATIONMENU = 32788;
constexpr int ID_HELP_HELPDOCVIEW = 32789;

// The controls and their resource names, in the dialog's tab order.
struct ControlName {
    int id;
    const char* name;
};
inline constexpr ControlName kControlNames[] = {
    {IDC_ADDDEVICERADIO, "IDC_ADDDEVICERADIO"},
    {IDC_EDITREMOVERADIO, "IDC_EDITREMOVERADIO"},
    {IDC_SUBKEYS, "IDC_SUBKEYS"},
    {IDC_ENTERDEVICENAME, "IDC_ENTERDEVICENAME"},
    {IDC_DEVICENAMECOMBO, "IDC_DEVICENAMECOMBO"},
    {IDC_CONNECTIONCOMBO, "IDC_CONNECTIONCOMBO"},
    {IDC_COMPORTCOMBO, "IDC_COMPORTCOMBO"},
    {IDC_TIMEOUTCOMBO, "IDC_TIMEOUTCOMBO"},
    {IDC_INFINITECOMBO, "IDC_INFINITECOMBO"},
    {IDC_AIMMODECOMBO, "IDC_AIMMODECOMBO"},
    {IDC_ADDBUTTON, "IDC_ADDBUTTON"},
    {IDC_MODIFY, "IDC_MODIFY"},
    {IDC_REMOVE, "IDC_REMOVE"},
    {IDC_VALIDATEEXE, "IDC_VALIDATEEXE"},
    {IDC_VALIDATION, "IDC_VALIDATION"},
    {IDC_PORTNUMBER, "IDC_PORTNUMBER"},
    {IDC_CONNECTIONTYPELABEL, "IDC_CONNECTIONTYPELABEL"},
    {IDC_COMPORT, "IDC_COMPORT"},
    {IDC_TIMEOUTLABEL, "IDC_TIMEOUTLABEL"},
    {IDC_INFINITETIMEOUTlLABEL, "IDC_INFINITETIMEOUTlLABEL"},
    {IDC_AIMMODELABEL, "IDC_AIMMODELABEL"},
    {IDC_DEVICENAMELABEL, "IDC_DEVICENAMELABEL"},
    {IDC_DEVICENAMELABEL_ADD, "IDC_DEVICENAMELABEL_ADD"},
    {IDC_DEVICECATEGORYLABEL, "IDC_DEVICECATEGORYLABEL"},
    {IDC_CONNECTIONSETTINGGROUPBOX, "IDC_CONNECTIONSETTINGGROUPBOX"},
    {IDC_DeviceFiles, "IDC_DeviceFiles"},
    {IDC_ServiceObjectSettings, "IDC_ServiceObjectSettings"},
    {IDC_STATICLOGO, "IDC_STATICLOGO"},
    {IDC_LEFT_PANE, "IDC_LEFT_PANE"},
};

}  // namespace ctl
