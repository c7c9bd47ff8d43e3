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

// A private runtime folder and registry for the virtual devices (unless the
// caller gave some), removed when the program ends. The folder owns its
// path: a clean-up registered apart would run after the path is gone.
struct WorkFolder {
    std::filesystem::path path;
    WorkFolder() : path(std::filesystem::temp_directory_path() / ("vxbench-flash-" + std::to_string(std::random_device()())))
    {
        std::filesystem::create_directories(path / "run");
        if (std::getenv("VX_RUNTIME_DIR") == nullptr) {
            setenv("VX_RUNTIME_DIR", (path / "run").c_str(), 1);
            setenv("VX_REGISTRY", (path / "registry.db").c_str(), 1);
        }
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
