#include "MyPrivateParams.h"

#include "ScannerCommands.h"

#include "platform/time.h"

#include <cstring>

const char* const kFlashVersionText = "1.19 | 1.23.0 | VX-FW-2207 | VXFLASH02 | " __DATE__ " " __TIME__;

void SleepMs(std::int32_t ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

namespace {
std::atomic<unsigned> g_fixedPausePercent{100};
std::atomic<std::uint64_t> g_fixedPauseAskedMs{0};
}

void FixedPause(DWORD ms)
{
    g_fixedPauseAskedMs.fetch_add(ms);
    const unsigned percent = g_fixedPausePercent.load();
    // Pauses under 100 ms are the steps of polling loops whose time budget is
    // a count of steps (waiting for a device to come back, say): shortening
    // them would shrink those budgets below what a slow machine needs, so a
    // shortened run keeps them whole. Only 0 (count, never sleep) drops them.
    constexpr DWORD kPollingStep = 100;
    const DWORD slept = percent != 0 && ms < kPollingStep
                            ? ms
                            : static_cast<DWORD>(static_cast<std::uint64_t>(ms) * percent / 100);
    Sleep(slept);
}

void SetFixedPausePercent(unsigned percent) { g_fixedPausePercent.store(percent); }

std::uint64_t FixedPauseAskedMs() { return g_fixedPauseAskedMs.load(); }

namespace {
const char16_t kDefaultInitString[] = {0x16, u'M', 0x0D, u'V', u'I', u'S', u'M', u'N', u'4', u'2', u'.', 0, 0};
}

// Everything that may fail to allocate comes before the logger, so that a
// failed construction leaves nothing behind.
MyPrivateParams::MyPrivateParams(CFlashTool* owner)
    : m_owner(owner), m_version(WidenText(kFlashVersionText)),
      m_usbInitString(kDefaultInitString, sizeof kDefaultInitString / sizeof kDefaultInitString[0]),
      m_rs232InitString(m_usbInitString), m_log(new Log()), m_serial(m_log), m_usb(m_log)
{
}

MyPrivateParams::~MyPrivateParams()
{
    m_serial.Close();
    m_usb.Close();
    if (m_log->Release() == 0)
        delete m_log;
}

CONST_GETSET_RETURN MyPrivateParams::TypedSetting(void* data, bool set, std::uint32_t size, std::int32_t id)
{
    if (data == nullptr)
        return CGSRET_INVALID;
    std::uint32_t scratch = 0;
    std::uint32_t* field = nullptr;
    bool mask = false;
    switch (id) {
    case CFS_DBGFLAGS: mask = true; scratch = m_log->mask(); field = &scratch; break;
    case CFS_DBGFLAGS_L: field = &m_levelMask[0]; break;
    case CFS_DBGFLAGS_M: field = &m_levelMask[1]; break;
    case CFS_DBGFLAGS_H: field = &m_levelMask[2]; break;
    case CFS_TIMEOUT_MENUCMD: field = reinterpret_cast<std::uint32_t*>(&m_MenuCmd_Timeout_mSecs); break;
    case CFS_TIMEDELAY_MENUCMD: field = reinterpret_cast<std::uint32_t*>(&m_MenuCmd_TimeDelay_mSecs); break;
    case CFS_RETRY_MAX: field = &m_RetryMax; break;
    case CFS_TIMEDELAY_TRGMOD: field = reinterpret_cast<std::uint32_t*>(&m_TRGMOD_TimeDelay_mSecs); break;
    case CFS_TIMEDELAY_ENUMDEVICE: field = reinterpret_cast<std::uint32_t*>(&m_EnumDevice_TimeDelay_mSecs); break;
    case CFS_TIMEDELAY_USB_NEWAP2: field = reinterpret_cast<std::uint32_t*>(&m_USB_NEWAP2_TimeDelay_mSecs); break;
    case CFS_TIMEDELAY_RS232_NEWAP2: field = reinterpret_cast<std::uint32_t*>(&m_RS232_NEWAP2_TimeDelay_mSecs); break;
    case CFS_TIMEDELAY_RS232_RESET: field = reinterpret_cast<std::uint32_t*>(&m_RS232_RESET_TimeDelay_mSecs); break;
    case CFS_TIMEDELAY_USB_RESET: field = reinterpret_cast<std::uint32_t*>(&m_USB_RESET_TimeDelay_mSecs); break;
    case CFS_TIMEDELAY_DETECT: field = reinterpret_cast<std::uint32_t*>(&m_USB_DETECT_TimeDelay_mSecs); break;
    default: return CGSRET_UNSUPPORTED;
    }
    if (size != 4)
        return CGSRET_INVALID;
    if (set) {
        std::memcpy(field, data, 4);
        if (mask)
            m_log->setMask(scratch);
    } else {
        std::memcpy(data, field, 4);
    }
    return CGSRET_SUCCESS;
}

void MyPrivateParams::progress()
{
    if (m_callback)
        m_callback(m_caller, 0, static_cast<std::int32_t>(m_bytesDone), static_cast<std::int32_t>(m_bytesTotal));
}

CONST_UPGRADERETURN MyPrivateParams::FlashScanner(const std::u16string& path)
{
    const char* P = "MyPrivateParams -- FlashScanner: ";
    m_deviceSearch = false;
    m_log->timeStamp("FlashScanner BEGIN ");
    m_log->print(2, "%senter function. \n", P);
    if (!CheckInputParameters()) {
        m_log->print(4, "%sinvalid input parameter entered.\n", P);
        return CUR_FAILURE;
    }
    if (!FileExtensionMatches(path, u"MOCF") && !FileExtensionMatches(path, u"MOC") &&
        !FileExtensionMatches(path, u"SUF")) {
        m_log->print(4, "%sinvalid file extension for the entered file: %s, while expecting MOCF or MOC.\n", P,
                     LogText(path).c_str());
        return CUR_FILEBAD;
    }
    ClearFileCompatTable();
    const std::uint32_t kind = GetImageKind(path);
    if (kind == IMAGE_KIND_NONE) {
        m_log->print(4, "%sWrong Tag type in Mocf file, return value = 0X%08X.\n", P, kind);
        return CUR_FILEBAD;
    }
    // Every image the file names is read before anything is sent: a file
    // that fails here must never erase the scanner's firmware.
    const CompatTable compat = FileCompatTable();
    m_bootImage = FirmwareImage();
    m_appImage = FirmwareImage();
    const bool wantBoot = kind == IMAGE_KIND_BOOT || kind == IMAGE_KIND_BOTH;
    const bool wantApp = kind == IMAGE_KIND_APP || kind == IMAGE_KIND_BOTH;
    if ((wantBoot && LoadFirmwareImage(path, IMAGE_KIND_BOOT, &m_bootImage) != ImageStatus::ok) ||
        (wantApp && LoadFirmwareImage(path, IMAGE_KIND_APP, &m_appImage) != ImageStatus::ok)) {
        m_log->print(4, "%sthe firmware image could not be read from the file: %s.\n", P, LogText(path).c_str());
        return CUR_FILEBAD;
    }
    FileCompatTable() = compat;

    m_log->print(2, "%s** Protocol settings Begin **\n", P);
    m_log->print(2, "%sm_MenuCmd_Timeout_mSecs  = %d.\n", P, m_MenuCmd_Timeout_mSecs);
    m_log->print(2, "%sm_MenuCmd_TimeDelay_mSecs = %d.\n", P, m_MenuCmd_TimeDelay_mSecs);
    m_log->print(2, "%sm_TRGMOD_TimeDelay_mSecs = %d.\n", P, m_TRGMOD_TimeDelay_mSecs);
    m_log->print(2, "%sm_EnumDevice_TimeDelay_mSecs = %d.\n", P, m_EnumDevice_TimeDelay_mSecs);
    m_log->print(2, "%sm_USB_NEWAP2_TimeDelay_mSecs = %d.\n", P, m_USB_NEWAP2_TimeDelay_mSecs);
    m_log->print(2, "%sm_RS232_NEWAP2_TimeDelay_mSecs = %d.\n", P, m_RS232_NEWAP2_TimeDelay_mSecs);
    m_log->print(2, "%sm_RS232_RESET_TimeDelay_mSecs = %d.\n", P, m_RS232_RESET_TimeDelay_mSecs);
    m_log->print(2, "%sm_USB_RESET_TimeDelay_mSecs = %d.\n", P, m_USB_RESET_TimeDelay_mSecs);
    m_log->print(2, "%sm_USB_DETECT_TimeDelay_mSecs = %d.\n", P, m_USB_DETECT_TimeDelay_mSecs);
    m_log->print(2, "%s** Protocol settings End **\n", P);

    m_working = m_rs232;
    bool queried = false;
    for (std::uint32_t attempt = 0; attempt < m_RetryMax; ++attempt) {
        if (Scanner_GetPinfo()) {
            queried = true;
            break;
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    if (!queried) {
        m_log->print(4, "%sget info form scanner failed.\n", P);
        return CUR_FAILURE;
    }
    if (pinfo.mode != 'A' && pinfo.mode != 'B') {
        m_log->print(4, "%sCannot flash scanner: Unknown state: 0x%02x.\n", P, pinfo.mode);
        return CUR_FAILURE;
    }
    const bool cableOk = (m_IfaceType == CIF_RS232 && pinfo.physical_cable_type == 'R') ||
                         ((m_IfaceType == CIF_USBHID_BARCODE_SCANNER || m_IfaceType == CIF_USBCDC) &&
                          pinfo.physical_cable_type == 'U') ||
                         (m_IfaceType > CIF_USBCDC);
    if (!cableOk) {
        m_log->print(4, "%sWrong interface input. pinfo.physical_cable_type = %c, m_IfaceType = %d.\n", P,
                     static_cast<char>(pinfo.physical_cable_type), m_IfaceType);
        return CUR_FAILURE;
    }
    if (!CheckCompatibleData()) {
        m_log->print(4, "%sInvalid file input, compatible data not match.\n", P);
        return CUR_FILE_INCOMPATIBLE;
    }
    int result = CUR_SUCCESS;
    if (kind == IMAGE_KIND_BOOT || kind == IMAGE_KIND_APP) {
        FlashScanner_Raw(kind, &result);
    } else if (kind == IMAGE_KIND_BOTH) {
        FlashScanner_Package(&result);
    } else {
        m_log->print(4, "%sUnknown type: 0X%08X.\n", P, kind);
        return CUR_FAILURE;
    }
    m_log->print(2, "%siReturnCode = %d. \n", P, result);
    m_log->print(2, "%sexit function. \n", P);
    m_log->timeStamp("FlashScanner END ");
    return static_cast<CONST_UPGRADERETURN>(result);
}

bool MyPrivateParams::FlashScanner_Raw(std::uint32_t kind, int* result)
{
    const char* P = "MyPrivateParams -- FlashScanner_Raw: ";
    *result = CUR_SUCCESS;
    m_log->print(2, "%senter function. \n", P);
    m_bytesTotal = static_cast<std::uint32_t>(kind == IMAGE_KIND_BOOT ? m_bootImage.bytes.size()
                                                                      : m_appImage.bytes.size());
    m_bytesDone = 0;
    bool ok = true;
    if (kind == IMAGE_KIND_BOOT) {
        if (pinfo.mode != 'A') {
            m_log->print(4, "%scan not update boot firmware, for the scanner is not in app mode. \n", P);
            *result = CUR_FAILURE;
            return false;
        }
        if (m_IfaceType == CIF_RS232 || m_IfaceType == CIF_USBCDC)
            ok = FlashScanner_RS232_Boot(result);
        else if (m_IfaceType == CIF_USBHID_BARCODE_SCANNER)
            ok = FlashScanner_Boot_USB(result);
    } else {
        if (m_IfaceType == CIF_RS232) {
            ok = FlashScanner_App_RS232(result);
        } else if (m_IfaceType == CIF_USBHID_BARCODE_SCANNER) {
            ok = FlashScanner_App_USB(result);
        } else if (m_IfaceType == CIF_USBCDC) {
            if (pinfo.mode != 'A') {
                m_log->print(4, "%sThe USB CDC can only work in app mode. \n", P);
                *result = CUR_FAILURE;
                return false;
            }
            ok = FlashScanner_App_USB(result);
        }
    }
    m_log->print(2, "%sexit function. \n", P);
    return ok;
}

bool MyPrivateParams::FlashScanner_Package(int* result)
{
    const char* P = "MyPrivateParams -- FlashScanner_Package: ";
    *result = CUR_SUCCESS;
    m_startedInBoot = pinfo.mode == 'B';
    m_log->print(2, "%senter function. \n", P);
    m_bytesTotal = static_cast<std::uint32_t>(m_bootImage.bytes.size() + m_appImage.bytes.size());
    m_bytesDone = 0;
    bool ok = true;
    const bool app = pinfo.mode == 'A';
    switch (m_IfaceType) {
    case CIF_RS232:
        ok = app ? (FlashScanner_RS232_Boot(result) && FlashScanner_App_RS232(result))
                 : (FlashScanner_App_RS232(result) && FlashScanner_RS232_Boot(result));
        break;
    case CIF_USBHID_BARCODE_SCANNER:
        if (app) {
            ok = FlashScanner_Boot_USB(result) && FlashScanner_App_USB(result);
        } else {
            ok = FlashScanner_App_USB(result);
            if (ok) {
                m_deviceSearch = true;
                ok = FlashScanner_Boot_USB(result);
            }
        }
        break;
    case CIF_USBCDC:
        if (!app) {
            m_log->print(4, "%sThe USB CDC can only work on app mode. \n", P);
            *result = CUR_FAILURE;
            return false;
        }
        ok = FlashScanner_RS232_Boot(result) && FlashScanner_App_USB(result);
        break;
    default:
        break;
    }
    m_log->print(2, "%sexit function. \n", P);
    return ok;
}

CONST_GETSET_RETURN MyPrivateParams::GetFileVersion(const std::u16string& path, fileversion_type* version)
{
    const char* P = "MyPrivateParams -- GetFileVersion: ";
    m_log->print(2, "%senter function. \n", P);
    ClearFileCompatTable();
    const std::uint32_t kind = GetImageKind(path);
    if (kind == IMAGE_KIND_NONE) {
        m_log->print(4, "%sWrong Tag type in Mocf file, return value = 0X%08X.\n", P, kind);
        return CGSRET_INVALID;
    }
    auto fill = [&](std::uint32_t which, char* text, fileversion_time* date) {
        std::string v, d;
        if (!ReadImageVersion(path, which, &v, &d))
            return;
        std::strncpy(text, v.c_str(), 31);
        ParseBuildDate(d, date);
        m_log->print(2, "%sVersion: %s.\n", P, v.c_str());
        m_log->print(2, "%sDate time: %s.\n", P, d.c_str());
    };
    if (kind == IMAGE_KIND_BOOT) {
        m_log->print(2, "%sOnly has boot Firmware: \n", P);
        fill(IMAGE_KIND_BOOT, version->bootVersion, &version->bootDate);
        version->appVersion[0] = 0;
    } else if (kind == IMAGE_KIND_APP) {
        m_log->print(2, "%sOnly has app Firmware: \n", P);
        fill(IMAGE_KIND_APP, version->appVersion, &version->appDate);
        version->bootVersion[0] = 0;
    } else if (kind == IMAGE_KIND_BOTH) {
        m_log->print(2, "%sBoot Firmware: \n", P);
        fill(IMAGE_KIND_BOOT, version->bootVersion, &version->bootDate);
        m_log->print(2, "%sApp Firmware: \n", P);
        fill(IMAGE_KIND_APP, version->appVersion, &version->appDate);
    } else {
        m_log->print(4, "%sUnknown type: 0X%08X.\n", P, kind);
    }
    m_log->print(2, "%sexit function. \n", P);
    return CGSRET_SUCCESS;
}
