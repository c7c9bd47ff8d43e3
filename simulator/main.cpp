// The simulated scanner as a program: publishes a virtual serial port or a
// virtual HID interface for a device model and serves it until it is
// stopped (SIGINT or SIGTERM).
//
//   vxsimulator --serial-model rs232 [--id NAME] [--baud N] [--dps CODE]
//               [--filter-driver] [--no-wire-time] [--silent]
//   vxsimulator --hid-model hid-pos [--id NAME]
//   vxsimulator --list-models
//   vxsimulator --list-identities
// Either kind of model takes --identity NAME: who the scanner says it is
// (its answers to the information queries, and the devices behind a hub).
//
// Once the port is published it prints one line, "<id> <pty>" (serial) or
// "<id> <host path>" (HID), so that a script can wait for it.
#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: vxsimulator --serial-model NAME [--id NAME] [--baud N] [--dps CODE]\n"
                 "                   [--filter-driver] [--no-wire-time] [--silent]\n"
                 "       vxsimulator --hid-model NAME [--id NAME]\n"
                 "       vxsimulator --list-models | --list-identities\n"
                 "       (either model also takes --identity NAME)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string modelName;
    std::string hidModelName;
    std::string id;
    long baud = 0;
    long dps = -1;
    bool filterDriver = false;
    bool wireTime = true;
    bool silent = false;
    const vxsim::IdentityModel* identity = nullptr;
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
        else
            return usage();
    }
    // Block the stop signals before any thread starts, then wait for one.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);

    if (!hidModelName.empty()) {
        const vxsim::HidModel* hid = vxsim::findHidModel(hidModelName);
        if (hid == nullptr || !modelName.empty()) {
            std::fprintf(stderr, "vxsimulator: unknown HID model \"%s\" (see --list-models)\n", hidModelName.c_str());
            return usage();
        }
        vxsim::HidModel hidModel = *hid;
        if (identity != nullptr)
            hidModel.menu = vxsim::identityMenu(*identity, hidModel.menu);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
        vxsim::HidScanner scanner(hidModel, id.empty() ? hid->name : id);
        if (!scanner.plug()) {
            std::fprintf(stderr, "vxsimulator: %s\n", scanner.lastError().c_str());
            return 1;
        }
        std::printf("%s %s\n", id.empty() ? hid->name.c_str() : id.c_str(), scanner.hostPath().c_str());
        std::fflush(stdout);
        int received = 0;
        sigwait(&stopSignals, &received);
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

    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    vxsim::VirtualSerialPort port(model, id);
    port.setSilent(silent);
    if (!port.plug()) {
        std::fprintf(stderr, "vxsimulator: %s\n", port.lastError().c_str());
        return 1;
    }
    std::printf("%s %s\n", port.id().c_str(), port.ptyPath().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    port.unplug();
    return 0;
}
