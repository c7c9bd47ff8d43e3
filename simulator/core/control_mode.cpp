#include "simulator/control_mode.h"

#include "simulator/flashable.h"
#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/menu_engine.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace vxsim {
namespace {

int controlUsage()
{
    std::fprintf(stderr,
                 "usage: vxsimulator --control (--serial-model NAME | --hid-model NAME | --flashable KIND)\n"
                 "                   [--id NAME] [--identity NAME] [--serial-number SN] [--no-wire-time]\n");
    return 2;
}

std::optional<std::string> fromHex(const std::string& hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(hex.substr(i, 2).c_str(), "%2x", &value) != 1)
            return std::nullopt;
        bytes += static_cast<char>(value);
    }
    return bytes;
}

long long monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What a command does to the device; false with a reason when refused.
struct Device {
    std::function<bool(const std::string& label, char codeId, const std::string& aim)> scan;
    std::function<bool(const std::string& bytes, int format)> image;
    std::function<bool(const std::string& bytes)> raw;
    std::function<void(const MenuModel&)> setMenu;
    std::function<void(const DataFaults&)> setFaults;
    std::function<bool()> unplug;
    std::function<bool()> replug;
    MenuModel menu;
};

// Puts `rule` in place of one for the same command and address.
void putRule(std::vector<MenuRule>& rules, const MenuRule& rule)
{
    for (MenuRule& r : rules) {
        if (r.command == rule.command && r.address == rule.address && r.header == rule.header) {
            r = rule;
            return;
        }
    }
    rules.push_back(rule);
}

std::string runCommand(Device& device, const std::string& line)
{
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    auto rest = [&in] {
        std::string text;
        std::getline(in, text);
        if (!text.empty() && text.front() == ' ')
            text.erase(0, 1);
        return text;
    };
    const long long now = monotonicNanoseconds();
    const std::string ok = "ok " + std::to_string(now);
    if (verb == "scan") {
        std::string aim;
        std::string codeHex;
        in >> aim >> codeHex;
        const std::optional<std::string> code = fromHex(codeHex);
        if (aim.size() != 2 || !code || code->size() != 1)
            return "error scan AIM CODEHEX [LABEL]";
        if (!device.scan || !device.scan(rest(), (*code)[0], aim))
            return "error not scanned";
        return ok;
    }
    if (verb == "image") {
        int format = -1;
        std::string hex;
        in >> format >> hex;
        const std::optional<std::string> bytes = fromHex(hex);
        if (format < 0 || format > 8 || !bytes)
            return "error image FORMAT HEX";
        if (!device.image || !device.image(*bytes, format))
            return "error not sent";
        return ok;
    }
    if (verb == "raw") {
        std::string hex;
        in >> hex;
        const std::optional<std::string> bytes = fromHex(hex);
        if (!bytes)
            return "error raw HEX";
        if (!device.raw || !device.raw(*bytes))
            return "error not sent";
        return ok;
    }
    if (verb == "rule") {
        std::string command;
        std::string hex;
        in >> command >> hex;
        const std::optional<std::string> bytes = fromHex(hex);
        if (command.empty() || !bytes)
            return "error rule COMMAND HEX";
        if (!device.setMenu)
            return "error no menu rules on this device";
        MenuRule rule;
        rule.command = command;
        rule.value = *bytes;
        rule.echo = false;
        rule.mark = false;
        rule.withStatus = false;
        putRule(device.menu.rules, rule);
        device.setMenu(device.menu);
        return ok;
    }
    if (verb == "silence" || verb == "talk") {
        if (!device.setFaults)
            return "error no faults on this device";
        DataFaults faults;
        if (verb == "silence") {
            std::string from = rest();
            faults.silent = from.empty();
            faults.silentFrom = from;
        }
        device.setFaults(faults);
        return ok;
    }
    if (verb == "unplug" || verb == "replug") {
        const auto& act = verb == "unplug" ? device.unplug : device.replug;
        if (!act || !act())
            return "error " + verb + " failed";
        return ok;
    }
    return "error unknown command \"" + verb + "\"";
}

}  // namespace

int runControlMode(int argc, char** argv)
{
    std::string serialName;
    std::string hidName;
    std::string flashableName;
    std::string id;
    std::string serialNumber;
    bool wireTime = true;
    const IdentityModel* identity = nullptr;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--serial-model" && hasValue)
            serialName = argv[++i];
        else if (arg == "--hid-model" && hasValue)
            hidName = argv[++i];
        else if (arg == "--flashable" && hasValue)
            flashableName = argv[++i];
        else if (arg == "--id" && hasValue)
            id = argv[++i];
        else if (arg == "--serial-number" && hasValue)
            serialNumber = argv[++i];
        else if (arg == "--identity" && hasValue) {
            identity = findIdentityModel(argv[++i]);
            if (identity == nullptr)
                return controlUsage();
        } else if (arg == "--no-wire-time")
            wireTime = false;
        else
            return controlUsage();
    }
    if (serialName.empty() + hidName.empty() + flashableName.empty() != 2)
        return controlUsage();

    Device device;
    std::string path;
    std::unique_ptr<VirtualSerialPort> serial;
    std::unique_ptr<HidScanner> hid;
    std::unique_ptr<FlashableScanner> flashable;

    if (!serialName.empty()) {
        const SerialModel* found = findSerialModel(serialName);
        if (found == nullptr)
            return controlUsage();
        SerialModel model = *found;
        model.wireTime = wireTime;
        if (identity != nullptr)
            model.menu = identityMenu(*identity, model.menu);
        serial = std::make_unique<VirtualSerialPort>(model, id);
        if (!serial->plug()) {
            std::fprintf(stderr, "vxsimulator: %s\n", serial->lastError().c_str());
            return 1;
        }
        VirtualSerialPort* port = serial.get();
        id = port->id();
        path = port->ptyPath();
        device.menu = model.menu;
        device.scan = [port](const std::string& label, char codeId, const std::string& aim) {
            port->scan(label, codeId, aim);
            return true;
        };
        device.image = [port](const std::string& bytes, int format) {
            port->sendImage(bytes, format);
            return true;
        };
        device.raw = [port](const std::string& bytes) {
            port->send(std::vector<unsigned char>(bytes.begin(), bytes.end()));
            return true;
        };
        device.setMenu = [port](const MenuModel& menu) { port->setMenuModel(menu); };
        device.setFaults = [port](const DataFaults& faults) { port->setDataFaults(faults); };
        device.unplug = [port] {
            port->unplug();
            return true;
        };
        device.replug = [port] { return port->plug(); };
    } else if (!hidName.empty()) {
        const HidModel* found = findHidModel(hidName);
        if (found == nullptr)
            return controlUsage();
        HidModel model = *found;
        if (identity != nullptr) {
            // The model's own answers (a terminal id, say) stay its own.
            MenuModel menu = identityMenu(*identity, model.menu);
            for (const MenuRule& rule : found->menu.rules)
                putRule(menu.rules, rule);
            model.menu = menu;
        }
        if (id.empty())
            id = model.name;
        hid = std::make_unique<HidScanner>(model, id);
        if (!hid->plug()) {
            std::fprintf(stderr, "vxsimulator: %s\n", hid->lastError().c_str());
            return 1;
        }
        HidScanner* scanner = hid.get();
        path = scanner->hostPath();
        device.menu = model.menu;
        device.scan = [scanner](const std::string& label, char codeId, const std::string& aim) {
            return scanner->scan(label, codeId, aim);
        };
        device.image = [scanner](const std::string& bytes, int format) { return scanner->sendImage(bytes, format); };
        device.raw = [scanner](const std::string& bytes) { return scanner->sendMessage(bytes); };
        device.setMenu = [scanner](const MenuModel& menu) { scanner->setMenuModel(menu); };
        device.setFaults = [scanner](const DataFaults& faults) { scanner->setDataFaults(faults); };
        device.unplug = [scanner] {
            scanner->unplug();
            return true;
        };
        device.replug = [scanner] { return scanner->plug(); };
    } else {
        FlashableOptions options;
        if (!flashableKindFromName(flashableName, &options.kind))
            return controlUsage();
        options.id = id.empty() ? "flashable" : id;
        if (identity != nullptr)
            options.identity = *identity;
        options.serialNumber = serialNumber;
        options.wireTime = wireTime;
        flashable = std::make_unique<FlashableScanner>(options);
        FlashableScanner* scanner = flashable.get();
        id = options.id;
        const bool overHid = options.kind == FlashableKind::hidPos || options.kind == FlashableKind::hidLob;
        path = overHid ? scanner->hidPath() : scanner->serialPath();
        device.scan = [scanner](const std::string& label, char codeId, const std::string& aim) {
            return scanner->scan(label, codeId, aim);
        };
    }

    std::printf("%s %s\n", id.c_str(), path.c_str());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::string answer = runCommand(device, line);
        std::printf("%s\n", answer.c_str());
        std::fflush(stdout);
    }
    if (serial)
        serial->unplug();
    if (hid)
        hid->unplug();
    return 0;
}

}  // namespace vxsim
