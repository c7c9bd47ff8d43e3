// The simulated scanner as a program: publishes a virtual serial port or a
// virtual HID interface for a device model and serves it until it is
// stopped (SIGINT or SIGTERM).
//
//   vxsimulator --serial-model rs232 [--id NAME] [--baud N] [--dps CODE]
//               [--filter-driver] [--no-wire-time] [--silent] [--chatter]
//   vxsimulator --hid-model hid-pos [--id NAME] [--report-length N]
//   vxsimulator --bootloader rs232|hid|cdc [--id NAME] [--in-boot]
//               [--no-wire-time] [--report-interval US] [--until-eof]
//   vxsimulator --flashable rs232|cdc|hid-pos|hid-lob|filter-rs232 [--id NAME]
//               [--serial-number SN] [--no-init-mark] [--in-boot] [--no-wire-time]
//               [--report-interval US] [--until-eof]
//   vxsimulator --control ...   (line commands on standard input, see
//               simulator/control_mode.h)
//   vxsimulator --list-models
//   vxsimulator --list-identities
// Either kind of model takes --identity NAME: who the scanner says it is
// (its answers to the information queries, and the devices behind a hub),
// and --scan LABEL (repeatable): labels it scans in turn, one every half
// second, from the first time a host asks for its decode header
// ("DECHDR?!", which a host's data collection does when it begins); so
// labels come once somebody listens for them, never in the middle of a
// discovery's queries.
//
// --imager makes either kind an imager: it answers capture commands with
// real BMP, TIFF and JPEG images (platform/virtual/WIRE.md).
//
// --chatter makes a serial scanner send a byte every few milliseconds for
// as long as it runs: a line that never falls quiet. --report-length gives
// a HID interface input and output reports of N bytes (the report-id byte
// included) in place of its model's, such as a point-of-sale interface
// whose reports are too short for the scanner protocol's 64-byte packets.
//
// Once the port is published it prints one line, "<id> <pty>" (serial) or
// "<id> <host path>" (HID), so that a script can wait for it.
//
// --bootloader serves the scanner as a firmware update meets it: its
// application and its bootloader over one link (rs232: one serial port;
// hid: the application's HID interface, the bootloader's appearing in boot
// mode; cdc: the application on a USB serial port, the bootloader's HID
// interface), starting in the application unless --in-boot. Its line is
// "<id> <pty>", "<id> <application's HID path>" or "<id> <pty> <bootloader's
// HID path>"; when stopped it prints "<id> stored <n> blocks". HID reports go
// one per --report-interval microseconds each way (default the point-of-sale
// model's; 0 unpaced). --until-eof also stops it when its standard input
// closes, so that a parent that dies takes it along.
//
// --flashable serves a scanner that a host both uses and updates: the
// application answers the identification queries (as --identity says,
// "arch2" by default: P_INFO with "flash: 2"), the sync ping, the data
// collection's commands and the init string (without its final '.' after
// --no-init-mark), scans --scan labels, and takes firmware updates like
// --bootloader. --serial-number replaces the identity's serial number. Its
// line is "<id> <pty>" or "<id> <application's HID path>"; when stopped it
// prints "<id> stored <n> blocks".
#include "simulator/bootloader.h"
#include "simulator/control_mode.h"
#include "simulator/flashable.h"
#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: vxsimulator --serial-model NAME [--id NAME] [--baud N] [--dps CODE]\n"
                 "                   [--filter-driver] [--no-wire-time] [--silent] [--chatter]\n"
                 "       vxsimulator --hid-model NAME [--id NAME] [--report-length N]\n"
                 "       vxsimulator --bootloader rs232|hid|cdc [--id NAME] [--in-boot]\n"
                 "                   [--no-wire-time] [--report-interval US] [--until-eof]\n"
                 "       vxsimulator --flashable rs232|cdc|hid-pos|hid-lob|filter-rs232 [--id NAME]\n"
                 "                   [--serial-number SN] [--no-init-mark] [--in-boot] [--no-wire-time]\n"
                 "                   [--report-interval US] [--until-eof]\n"
                 "       vxsimulator --list-models | --list-identities\n"
                 "       (either model also takes --imager, --identity NAME and --scan LABEL ...)\n");
    return 2;
}

// Serves the simulated scanner's application and bootloader until a stop
// signal arrives (the signals are blocked already).
int serveBootloader(vxsim::BootloaderOptions options, sigset_t stopSignals)
{
    vxsim::BootloaderScanner scanner(options);
    std::string line = options.id;
    if (options.link != vxsim::BootLink::hid)
        line += " " + scanner.serialPath();
    if (options.link != vxsim::BootLink::rs232)
        line += " " + scanner.hidPath();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stopSignals, &received);
    std::printf("%s stored %zu blocks\n", options.id.c_str(), scanner.blocks().size());
    std::fflush(stdout);
    return 0;
}

// Serves a flashable scanner until a stop signal arrives, scanning `labels`
// once a host listens (the signals are blocked already).
int serveFlashable(vxsim::FlashableOptions options, const std::vector<std::string>& labels, sigset_t stopSignals);

// Raises SIGTERM once standard input reaches its end.
void stopAtEndOfInput()
{
    std::thread([] {
        char buffer[256];
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
        ::kill(::getpid(), SIGTERM);
    }).detach();
}

// Scans `labels` on `scanner` in turn, one every half second, from its
// first "DECHDR?" command until `stop` is set. Polls the command log: the
// scanner has no hook.
template <class Scanner>
std::thread scanOnceListened(Scanner& scanner, const std::vector<std::string>& labels, const std::atomic<bool>& stop)
{
    return std::thread([&scanner, labels, &stop] {
        using namespace std::chrono;
        bool listened = false;
        auto next = steady_clock::now();
        for (std::size_t turn = 0; !stop; std::this_thread::sleep_for(milliseconds(20))) {
            if (!listened) {
                const std::vector<std::string> commands = scanner.menuCommands();
                listened = std::find(commands.begin(), commands.end(), "DECHDR?") != commands.end();
                next = steady_clock::now() + milliseconds(100);
            } else if (steady_clock::now() >= next) {
                scanner.scan(labels[turn++ % labels.size()]);
                next += milliseconds(500);
            }
        }
    });
}

// Waits for a stop signal while `scanner` scans `labels` (see --scan).
template <class Scanner>
void serveUntilStopped(Scanner& scanner, const std::vector<std::string>& labels, sigset_t stopSignals)
{
    std::atomic<bool> stop{false};
    std::thread scanning;
    if (!labels.empty())
        scanning = scanOnceListened(scanner, labels, stop);
    int received = 0;
    sigwait(&stopSignals, &received);
    stop = true;
    if (scanning.joinable())
        scanning.join();
}

int serveFlashable(vxsim::FlashableOptions options, const std::vector<std::string>& labels, sigset_t stopSignals)
{
    vxsim::FlashableScanner scanner(options);
    const bool hid = options.kind == vxsim::FlashableKind::hidPos || options.kind == vxsim::FlashableKind::hidLob;
    std::printf("%s %s\n", options.id.c_str(), hid ? scanner.hidPath().c_str() : scanner.serialPath().c_str());
    std::fflush(stdout);
    serveUntilStopped(scanner, labels, stopSignals);
    std::printf("%s stored %zu blocks\n", options.id.c_str(), scanner.bootloader().blocks().size());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Line commands on standard input: see simulator/control_mode.h.
    if (argc > 1 && std::strcmp(argv[1], "--control") == 0)
        return vxsim::runControlMode(argc - 2, argv + 2);
    std::string modelName;
    std::string hidModelName;
    std::string id;
    long baud = 0;
    long dps = -1;
    bool filterDriver = false;
    bool wireTime = true;
    bool silent = false;
    bool chatter = false;
    long reportLength = 0;
    std::string bootLink;
    bool inBoot = false;
    long reportInterval = -1;
    bool untilEof = false;
    std::string flashable;
    std::string serialNumber;
    bool initMark = true;
    const vxsim::IdentityModel* identity = nullptr;
    bool imager = false;
    std::vector<std::string> labels;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--list-models") {
            for (const std::string& name : vxsim::serialModelNames())
                std::printf("%s\n", name.c_str());
            for (const std::string& name : vxsim::hidModelNames())
                std::printf("%s\n", name.c_str());
            return 0;
        }
        if (arg == "--list-identities") {
            for (const std::string& name : vxsim::identityModelNames())
                std::printf("%s\n", name.c_str());
            return 0;
        }
        if (arg == "--identity" && hasValue) {
            identity = vxsim::findIdentityModel(argv[++i]);
            if (identity == nullptr) {
                std::fprintf(stderr, "vxsimulator: unknown identity \"%s\" (see --list-identities)\n", argv[i]);
                return usage();
            }
        } else if (arg == "--serial-model" && hasValue)
            modelName = argv[++i];
        else if (arg == "--hid-model" && hasValue)
            hidModelName = argv[++i];
        else if (arg == "--imager")
            imager = true;
        else if (arg == "--scan" && hasValue)
            labels.push_back(argv[++i]);
        else if (arg == "--id" && hasValue)
            id = argv[++i];
        else if (arg == "--baud" && hasValue)
            baud = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--dps" && hasValue)
            dps = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--filter-driver")
            filterDriver = true;
        else if (arg == "--no-wire-time")
            wireTime = false;
        else if (arg == "--silent")
            silent = true;
        else if (arg == "--chatter")
            chatter = true;
        else if (arg == "--report-length" && hasValue) {
            reportLength = std::strtol(argv[++i], nullptr, 10);
            if (reportLength < 1 || reportLength > 65535)
                return usage();
        }
        else if (arg == "--bootloader" && hasValue)
            bootLink = argv[++i];
        else if (arg == "--in-boot")
            inBoot = true;
        else if (arg == "--report-interval" && hasValue)
            reportInterval = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--until-eof")
            untilEof = true;
        else if (arg == "--flashable" && hasValue)
            flashable = argv[++i];
        else if (arg == "--serial-number" && hasValue)
            serialNumber = argv[++i];
        else if (arg == "--no-init-mark")
            initMark = false;
        else
            return usage();
    }
    // Block the stop signals before any thread starts, then wait for one.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);

    if (!flashable.empty()) {
        vxsim::FlashableOptions options;
        if (!vxsim::flashableKindFromName(flashable, &options.kind) || !bootLink.empty() || !modelName.empty() ||
            !hidModelName.empty())
            return usage();
        options.id = id.empty() ? "flashable" : id;
        if (identity != nullptr)
            options.identity = *identity;
        options.serialNumber = serialNumber;
        options.initStringMark = initMark;
        options.startInBoot = inBoot;
        options.wireTime = wireTime;
        options.reportIntervalUs = static_cast<unsigned>(reportInterval >= 0 ? reportInterval : 0);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
        if (untilEof)
            stopAtEndOfInput();
        return serveFlashable(options, labels, stopSignals);
    }

    if (!bootLink.empty()) {
        vxsim::BootloaderOptions options;
        if (bootLink == "rs232")
            options.link = vxsim::BootLink::rs232;
        else if (bootLink == "hid")
            options.link = vxsim::BootLink::hid;
        else if (bootLink == "cdc")
            options.link = vxsim::BootLink::cdc;
        else
            return usage();
        if (!modelName.empty() || !hidModelName.empty())
            return usage();
        options.startInBoot = inBoot;
        options.id = id.empty() ? "bootloader" : id;
        options.wireTime = wireTime;
        options.reportIntervalUs = static_cast<unsigned>(
            reportInterval >= 0 ? reportInterval : vxsim::findHidModel("hid-pos")->reportIntervalUs);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
        if (untilEof)
            stopAtEndOfInput();
        return serveBootloader(options, stopSignals);
    }

    if (!hidModelName.empty()) {
        const vxsim::HidModel* hid = vxsim::findHidModel(hidModelName);
        if (hid == nullptr || !modelName.empty()) {
            std::fprintf(stderr, "vxsimulator: unknown HID model \"%s\" (see --list-models)\n", hidModelName.c_str());
            return usage();
        }
        vxsim::HidModel hidModel = *hid;
        if (reportLength > 0) {
            hidModel.inputLength = static_cast<unsigned>(reportLength);
            hidModel.outputLength = static_cast<unsigned>(reportLength);
        }
        if (identity != nullptr)
            hidModel.menu = vxsim::identityMenu(*identity, hidModel.menu);
        if (imager)
            hidModel.menu.image = std::string();
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
        vxsim::HidScanner scanner(hidModel, id.empty() ? hid->name : id);
        if (!scanner.plug()) {
            std::fprintf(stderr, "vxsimulator: %s\n", scanner.lastError().c_str());
            return 1;
        }
        std::printf("%s %s\n", id.empty() ? hid->name.c_str() : id.c_str(), scanner.hostPath().c_str());
        std::fflush(stdout);
        serveUntilStopped(scanner, labels, stopSignals);
        scanner.unplug();
        return 0;
    }

    const vxsim::SerialModel* found = vxsim::findSerialModel(modelName);
    if (found == nullptr) {
        std::fprintf(stderr, "vxsimulator: unknown serial model \"%s\" (see --list-models)\n", modelName.c_str());
        return usage();
    }
    vxsim::SerialModel model = *found;
    if (baud > 0)
        model.baudRate = static_cast<unsigned>(baud);
    if (dps >= 0 && !vxsim::applyDpsCode(static_cast<unsigned>(dps), &model)) {
        std::fprintf(stderr, "vxsimulator: no dps code %ld\n", dps);
        return 2;
    }
    if (filterDriver) {
        model.deviceKind = "Serial_ptvd";
        model.filterDriver.present = true;
    }
    model.wireTime = wireTime;
    if (identity != nullptr)
        model.menu = vxsim::identityMenu(*identity, model.menu);
    if (imager)
        model.menu.image = std::string();

    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    vxsim::VirtualSerialPort port(model, id);
    port.setSilent(silent);
    port.setChatter(chatter);
    if (!port.plug()) {
        std::fprintf(stderr, "vxsimulator: %s\n", port.lastError().c_str());
        return 1;
    }
    std::printf("%s %s\n", port.id().c_str(), port.ptyPath().c_str());
    std::fflush(stdout);

    serveUntilStopped(port, labels, stopSignals);
    port.unplug();
    return 0;
}
