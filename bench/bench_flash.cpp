// Flashing an application image against the simulated scanner's bootloader,
// over RS-232 at 115200 baud (the simulator carries bytes no faster than the
// line would) and over HID (the simulated interfaces take the host's output
// reports and send their input reports one per report interval, as a
// full-speed interrupt endpoint would). Every application image is padded to
// 0x78000 bytes, so all 120 blocks go out with their framing.
//
// Counters: wire_s is the least time the bytes that actually crossed would
// take (serial: 10 bits a byte, both ways, at the line's rate; HID: one
// report per interval for every output and input report), ratio the
// measured time over it. The protocol's fixed pauses are not slept here (their share is set to 0) and
// are listed apart as fixed_pause_s, the time they would add; the settable
// delays (boot entry, reboot waits) are set short, as a host in a hurry
// would.
#include "BenchSupport.h"
#include "MyPrivateParams.h"
#include "VXFLASH02.h"
#include "shared/sha1/Sha1.h"

#include "../tests/flash/BootloaderPort.h"
#include "../tests/flash/FlashFixtures.h"

#include "platform/serial.h"

#include "simulator/bootloader.h"
#include "simulator/hid_model.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

std::vector<std::uint8_t> flashfix::sha1(const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> digest(CSha1::kDigestSize);
    CSha1().Compute(data.data(), data.size(), digest.data());
    return digest;
}

namespace {

constexpr double kBaud = 115200.0;
constexpr double kBitsPerByte = 10.0;  // 8N1: start, eight data bits, stop

// The firmware file's folder, removed when the program ends. The folder
// owns its path: a clean-up registered apart would run after the path is
// gone.
struct WorkFolder {
    std::filesystem::path path;
    WorkFolder() : path(std::filesystem::temp_directory_path() / ("vxbench-flash-" + std::to_string(std::random_device()())))
    {
        std::filesystem::create_directories(path);
    }
    ~WorkFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const std::filesystem::path& workFolder()
{
    static const WorkFolder folder;
    return folder.path;
}

std::string applicationFile()
{
    const std::string path = (workFolder() / "app.mocf").string();
    if (!std::filesystem::exists(path)) {
        const auto lines = flashfix::hexLines(flashfix::appImage(), false);
        const flashfix::Record app{0x0B000001u, flashfix::textBytes(flashfix::joinLines(lines))};
        flashfix::writeFile(path, flashfix::container({app}));
    }
    return path;
}

CFlashTool* makeTool(const vxsim::BootloaderScanner& scanner)
{
    CFlashTool* t = CreateFlashTool();
    std::int32_t iface = scanner.link() == vxsim::BootLink::rs232 ? CIF_RS232 : CIF_USBHID_BARCODE_SCANNER;
    t->SetSetting(CFS_INTERFACE, &iface, 4);
    std::u16string port = flashpeer::portName(scanner);
    t->SetSetting(CFS_PORTFILENAME, port.data(), static_cast<std::uint32_t>((port.size() + 1) * 2));
    win_rs232_settings rs{};
    rs.dcb.DCBlength = sizeof(DCB);
    rs.dcb.BaudRate = 115200;
    rs.dcb.ByteSize = 8;
    rs.dcb.fBinary = 1;
    rs.dwInQueue = 4096;
    rs.dwOutQueue = 4096;
    t->SetSetting(CFS_WIN32_232_SETTINGS, &rs, sizeof rs);
    const struct {
        CONST_FLASHTOOL_SETTING id;
        std::int32_t value;
    } timings[] = {
        {CFS_TIMEOUT_MENUCMD, 2000},      {CFS_TIMEDELAY_MENUCMD, 10},     {CFS_TIMEDELAY_TRGMOD, 0},
        {CFS_TIMEDELAY_ENUMDEVICE, 0},    {CFS_TIMEDELAY_USB_NEWAP2, 50},  {CFS_TIMEDELAY_RS232_NEWAP2, 50},
        {CFS_TIMEDELAY_RS232_RESET, 50}, {CFS_TIMEDELAY_USB_RESET, 50},   {CFS_TIMEDELAY_DETECT, 50},
    };
    for (auto timing : timings)
        t->SetSetting(timing.id, &timing.value, 4);
    return t;
}

void flashApplication(benchmark::State& state, vxsim::BootLink link)
{
    vxbench::isolate();
    const std::u16string file = flashfix::wide(applicationFile());
    const unsigned interval = vxsim::findHidModel("hid-pos")->reportIntervalUs;
    SetFixedPausePercent(0);
    double wire = 0;
    double pauses = 0;
    double measured = 0;
    vxsim::BootloaderScanner::Traffic last;
    int run = 0;
    for (auto _ : state) {
        vxsim::BootloaderOptions options;
        options.link = link;
        options.id = "bench-flash-" + std::to_string(run++);
        options.wireTime = true;
        options.reportIntervalUs = interval;
        vxsim::BootloaderScanner scanner(options);
        CFlashTool* tool = makeTool(scanner);
        const std::uint64_t pausedBefore = FixedPauseAskedMs();
        const auto start = std::chrono::steady_clock::now();
        const int result = tool->FlashScanner(nullptr, file.c_str());
        const auto end = std::chrono::steady_clock::now();
        DestroyFlashTool(tool);
        if (result != CUR_SUCCESS) {
            state.SkipWithError(("flash failed with " + std::to_string(result)).c_str());
            break;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        measured += seconds;
        last = scanner.traffic();
        pauses = static_cast<double>(FixedPauseAskedMs() - pausedBefore) / 1000.0;
        wire = link == vxsim::BootLink::rs232
                   ? static_cast<double>(last.serialFromHost + last.serialToHost) * kBitsPerByte / kBaud
                   : static_cast<double>(last.reportsFromHost + last.reportsToHost) * interval / 1e6;
    }
    SetFixedPausePercent(100);
    state.counters["wire_s"] = wire;
    state.counters["fixed_pause_s"] = pauses;
    if (run > 0 && wire > 0)
        state.counters["ratio"] = measured / run / wire;
    if (link == vxsim::BootLink::rs232) {
        state.counters["bytes_out"] = static_cast<double>(last.serialFromHost);
        state.counters["bytes_in"] = static_cast<double>(last.serialToHost);
    } else {
        state.counters["reports_out"] = static_cast<double>(last.reportsFromHost);
        state.counters["reports_in"] = static_cast<double>(last.reportsToHost);
    }
}

void BM_FlashApplicationRs232(benchmark::State& state) { flashApplication(state, vxsim::BootLink::rs232); }
void BM_FlashApplicationHid(benchmark::State& state) { flashApplication(state, vxsim::BootLink::hid); }

}  // namespace

BENCHMARK(BM_FlashApplicationRs232)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FlashApplicationHid)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// --- An update through the SDK's facade against the library alone ----------
//
// The same application file goes to two fresh flashable scanners of one
// kind in the same run: once through the flash library's own FlashScanner
// (loaded by path, given the port, the interface, the line and the protocol
// file, as the SDK gives them), once through CFirmwareUpdater on a
// connected CConnection (the check that the scanner answers, the port
// freed, report 254 around the flash for a point-of-sale scanner, the init
// string, the flash). Both run the shared library at its real pauses; the
// links carry bytes as fast as they are taken. Counters: library_s,
// facade_s, sdk_share_s (their difference) and sdk_share_pct.
#include "api/CConnection.h"
#include "api/CFirmwareUpdater.h"
#include "base/StringUtils.h"
#include "discovery/CSerialDevice.h"
#include "discovery/CUsbHidDevice.h"
#include "products/CProduct.h"

#include "platform/module.h"

#include "simulator/flashable.h"

#include <fstream>

namespace {

struct FacadeBenchFiles {
    std::filesystem::path folder;
    std::string firmware;
    std::string protocol;
    FacadeBenchFiles()
    {
        folder = std::filesystem::temp_directory_path() / ("vxbench-facade-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(folder);
        firmware = (folder / "app.mocf").string();
        const auto lines = flashfix::hexLines(flashfix::appImage(), false);
        flashfix::writeFile(firmware, flashfix::container({{0x0B000001u, flashfix::textBytes(flashfix::joinLines(lines))}}));
        protocol = (folder / "timings.txt").string();
        std::ofstream(protocol) << "PX7700_Timeout_MenuCmd_mSecs: 400\n"
                                   "PX7700_TimeDelay_MenuCmd_mSecs: 10\n"
                                   "PX7700_TimeDelay_TRGMOD_mSecs: 0\n"
                                   "PX7700_TimeDelay_EnumDevice_mSecs: 0\n"
                                   "PX7700_TimeDelay_USB_NEWAP2_mSecs: 50\n"
                                   "PX7700_TimeDelay_RS232_NEWAP2_mSecs: 50\n"
                                   "PX7700_TimeDelay_RS232_RESET_mSecs: 50\n"
                                   "PX7700_TimeDelay_USB_RESET_mSecs: 50\n"
                                   "PX7700_TimeDelay_DETECT_mSecs: 50\n";
    }
    ~FacadeBenchFiles()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

std::string programFolder()
{
    return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}

bool isHid(vxsim::FlashableKind kind)
{
    return kind == vxsim::FlashableKind::hidPos || kind == vxsim::FlashableKind::hidLob;
}

// The scanner's application port as the SDK names it: "COMn" or the HID path.
std::string devicePort(const vxsim::FlashableScanner& scanner)
{
    if (isHid(scanner.options().kind))
        return scanner.hidPath();
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == scanner.serialPath())
            return port.comName;
    return {};
}

// The library alone: seconds for FlashScanner, or -1 when it failed.
double libraryUpdate(vxsim::FlashableScanner& scanner, const FacadeBenchFiles& files)
{
    HMODULE module = LoadLibraryA((programFolder() + "/libVXFLASH02.so").c_str());
    auto create = reinterpret_cast<PFN_CreateFlashTool>(GetProcAddress(module, "CreateFlashTool"));
    auto destroy = reinterpret_cast<PFN_DestroyFlashTool>(GetProcAddress(module, "DestroyFlashTool"));
    if (create == nullptr || destroy == nullptr)
        return -1;
    CFlashTool* tool = create();
    // Through the table, as a host that does not link the library calls it.
    using Set = CONST_GETSET_RETURN (*)(CFlashTool*, CONST_FLASHTOOL_SETTING, void*, std::uint32_t);
    using Flash = CONST_UPGRADERETURN (*)(CFlashTool*, void*, const char16_t*);
    void** table = *reinterpret_cast<void***>(tool);
    auto set = reinterpret_cast<Set>(table[2]);
    std::int32_t iface = isHid(scanner.options().kind) ? CIF_USBHID_BARCODE_SCANNER : CIF_RS232;
    set(tool, CFS_INTERFACE, &iface, 4);
    std::u16string protocol = flashfix::wide(files.protocol);
    set(tool, CFS_FLASH_PROTOCOL_SETTINGS, protocol.data(), static_cast<std::uint32_t>(protocol.size() * 2));
    std::string port = devicePort(scanner);
    port = isHid(scanner.options().kind) ? port : "\\\\.\\" + port;
    std::u16string wide = flashfix::wide(port);
    set(tool, CFS_PORTFILENAME, wide.data(), static_cast<std::uint32_t>(wide.size() * 2));
    // The application's line, as the SDK reads it from its open port.
    win_rs232_settings rs{};
    rs.dcb.DCBlength = sizeof(DCB);
    rs.dcb.BaudRate = 9600;
    rs.dcb.ByteSize = 8;
    rs.dwInQueue = 65536;
    rs.dwOutQueue = 4096;
    set(tool, CFS_WIN32_232_SETTINGS, &rs, sizeof rs);
    const std::u16string file = flashfix::wide(files.firmware);
    const auto start = std::chrono::steady_clock::now();
    const int result = reinterpret_cast<Flash>(table[0])(tool, nullptr, file.c_str());
    const auto end = std::chrono::steady_clock::now();
    destroy(tool);
    FreeLibrary(module);
    return result == CUR_SUCCESS ? std::chrono::duration<double>(end - start).count() : -1;
}

// Through the facade: seconds for flashFirmware, or -1 when it failed.
double facadeUpdate(vxsim::FlashableScanner& scanner, const FacadeBenchFiles& files)
{
    const bool hid = isHid(scanner.options().kind);
    std::unique_ptr<CDevice> device;
    if (hid) {
        device = std::make_unique<CUsbHidDevice>();
        device->interfaceType = EIT_USB_HID_BARCODE_SCANNER;
        device->interfaceUsage = scanner.options().kind == vxsim::FlashableKind::hidPos ? EIU_HID_POS : EIU_LOB;
    } else {
        auto serial = std::make_unique<CSerialDevice>();
        serial->interfaceType = EIT_RS232;
        serial->interfaceUsage = EIU_LOB;
        serial->baudRate = 9600;
        serial->dataBits = 8;
        serial->parity = 0;
        serial->stopBits = 0;
        device = std::move(serial);
    }
    device->fromFilterDriver = 0;
    device->connectible = true;
    device->portName = devicePort(scanner);
    device->product = new CProduct();
    device->product->productType = PT_NORMAL;
    device->product->flashType = 2;
    device->product->serialNumber = "SN-BENCH-" + scanner.options().id;
    CConnection connection;
    connection.initialize();
    HANDLE handle = nullptr;
    if (connection.connect(device.get(), &handle, true, false, 10000) != 0)
        return -1;
    CFirmwareUpdaterTemplate updaterTemplate;
    updaterTemplate.protocolFile = files.protocol;
    updaterTemplate.flashDllFolder = programFolder();
    CFirmwareUpdater updater;
    if (updater.intialize(&connection, updaterTemplate) != 0)
        return -1;
    const auto start = std::chrono::steady_clock::now();
    const int result = updater.flashFirmware(nullptr, files.firmware);
    const auto end = std::chrono::steady_clock::now();
    return result == 0 ? std::chrono::duration<double>(end - start).count() : -1;
}

void facadeAgainstLibrary(benchmark::State& state, vxsim::FlashableKind kind)
{
    vxbench::isolate();
    const FacadeBenchFiles files;
    double library = 0;
    double facade = 0;
    int run = 0;
    for (auto _ : state) {
        vxsim::FlashableOptions options;
        options.kind = kind;
        options.id = "bench-lib-" + std::to_string(run);
        const double alone = [&] {
            vxsim::FlashableScanner scanner(options);
            return libraryUpdate(scanner, files);
        }();
        options.id = "bench-sdk-" + std::to_string(run++);
        const double through = [&] {
            vxsim::FlashableScanner scanner(options);
            return facadeUpdate(scanner, files);
        }();
        if (alone < 0 || through < 0) {
            state.SkipWithError(alone < 0 ? "the library's update failed" : "the facade's update failed");
            break;
        }
        state.SetIterationTime(through);
        library += alone;
        facade += through;
    }
    if (run > 0) {
        state.counters["library_s"] = library / run;
        state.counters["facade_s"] = facade / run;
        state.counters["sdk_share_s"] = (facade - library) / run;
        state.counters["sdk_share_pct"] = library > 0 ? 100.0 * (facade - library) / library : 0;
    }
}

void BM_FacadeUpdateAgainstLibraryRs232(benchmark::State& state)
{
    facadeAgainstLibrary(state, vxsim::FlashableKind::rs232);
}
void BM_FacadeUpdateAgainstLibraryHidPos(benchmark::State& state)
{
    facadeAgainstLibrary(state, vxsim::FlashableKind::hidPos);
}

}  // namespace

BENCHMARK(BM_FacadeUpdateAgainstLibraryRs232)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(BM_FacadeUpdateAgainstLibraryHidPos)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
