// The device tree (see internal/devtree.h).
#include "linux/internal/devtree.h"

#include "linux/internal/hid.h"
#include "linux/internal/private_files.h"
#include "linux/internal/serial_comtable.h"
#include "linux/internal/serial_virtual.h"
#include "platform/runtime.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace platform {

namespace {

const GUID kComPortClass = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::string upperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string sysfsRoot()
{
    const char* root = std::getenv("VX_SYSFS_ROOT");
    return root != nullptr && *root != '\0' ? root : "/sys";
}

std::string readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string valueOf(const std::vector<std::pair<std::string, std::string>>& fields, const std::string& key,
                    const std::string& fallback = std::string())
{
    for (const auto& [name, value] : fields)
        if (name == key)
            return value;
    return fallback;
}

bool hasKey(const std::vector<std::pair<std::string, std::string>>& fields, const std::string& key)
{
    return std::any_of(fields.begin(), fields.end(), [&](const auto& field) { return field.first == key; });
}

// A uniquifier is at most five characters, as the driver writes it.
std::string uniquifierOf(const std::vector<std::pair<std::string, std::string>>& fields)
{
    return valueOf(fields, "uniquifier", "1").substr(0, 5);
}

// The device's description as the platform's device manager would show it.
std::string serialDescription(const SerialPortEntry& entry, const std::string& kind)
{
    if (kind == "Serial")
        return "Communications Port";
    if (kind == "Serial_ptvd")
        return "Remote Management Serial Port";
    if (kind == "varnex_cdc_acmSerial" || kind == "cdc_acm") {
        if (!entry.info.isVirtual) {
            // The USB device's product string, two levels up from the tty's
            // interface.
            const std::string name = fs::path(entry.info.devicePath).filename().string();
            std::error_code ec;
            const fs::path device =
                fs::weakly_canonical(fs::path(sysfsRoot()) / "class" / "tty" / name / "device", ec);
            const std::string product = ec ? std::string() : readLine(device.parent_path() / "product");
            if (!product.empty())
                return product;
        }
        return "USB Serial Device";
    }
    return kind + " Serial Port";
}

// The kind part of "\Device\<kind><n>".
std::string kindOf(const SerialPortEntry& entry)
{
    std::string kind = entry.info.kernelName;
    const std::string head = "\\Device\\";
    if (kind.compare(0, head.size(), head) == 0)
        kind.erase(0, head.size());
    while (!kind.empty() && std::isdigit(static_cast<unsigned char>(kind.back())) != 0)
        kind.pop_back();
    return kind;
}

std::string location(const std::string& hidPath)
{
    // "\\?\hid#vid_..&pid_..&mi_..#<location>#{class}": the part before the
    // class.
    const std::size_t classStart = hidPath.rfind('#');
    if (classStart == std::string::npos || classStart == 0)
        return std::string();
    const std::size_t start = hidPath.rfind('#', classStart - 1);
    return start == std::string::npos ? std::string() : hidPath.substr(start + 1, classStart - start - 1);
}

// "\\?\a#b#c#{class}" has the instance id "A\B\C".
std::string instanceIdFromPath(const std::string& path)
{
    std::string id = path;
    if (id.compare(0, 4, "\\\\?\\") == 0)
        id.erase(0, 4);
    const std::size_t classStart = id.rfind("#{");
    if (classStart != std::string::npos)
        id.erase(classStart);
    std::replace(id.begin(), id.end(), '#', '\\');
    // The bus prefix keeps its own (lower) case; the rest is upper case, as
    // the platform writes instance ids.
    if (id.size() > kFilterBusPrefixLength &&
        lowerCase(id.substr(0, kFilterBusPrefixLength)) == kFilterBusPrefix)
        return id.substr(0, kFilterBusPrefixLength) + upperCase(id.substr(kFilterBusPrefixLength));
    return upperCase(id);
}

}  // namespace

std::vector<DeviceNode> comPortDevices()
{
    std::vector<DeviceNode> nodes;
    for (const SerialPortEntry& entry : serialPortEntries()) {
        DeviceNode node;
        node.interfaceClass = kComPortClass;
        const std::string kind = kindOf(entry);
        std::vector<std::pair<std::string, std::string>> fields;
        if (entry.virtualPort)
            fields = readOwnedKeyValueFile(virtualSerialDirectory() + "/" + entry.virtualPort->id + ".port");
        node.description = valueOf(fields, "description", serialDescription(entry, kind));
        node.values.emplace_back("PortName", entry.info.comName);
        // A port of the filter driver is the driver's child device; the bus
        // it sits on shows in the child's id ("usbcdc" for a USB CDC port).
        const bool filterPort = entry.virtualPort && kind == "Serial_ptvd";
        if (hasKey(fields, "instance-id"))
            node.instanceId = valueOf(fields, "instance-id");
        else if (filterPort)
            node.instanceId = std::string(kFilterBusPrefix) +
                              upperCase(valueOf(fields, "filter-bus", "serial") + "\\VIRTUAL-" + entry.virtualPort->id);
        else if (entry.virtualPort)
            node.instanceId = "VIRTUAL\\SERIAL\\" + upperCase(entry.virtualPort->id);
        else
            node.instanceId = "TTY\\" + upperCase(fs::path(entry.info.devicePath).filename().string());
        // A filter-driver port has a uniquifier unless its descriptor gives an
        // empty one; any other port only when its descriptor names one.
        const bool hasUniquifier = hasKey(fields, "uniquifier") ? !valueOf(fields, "uniquifier").empty() : filterPort;
        if (hasUniquifier) {
            const std::string uniquifier = uniquifierOf(fields);
            node.values.emplace_back("Uniquifier", uniquifier);
            if (node.instanceId.size() > kFilterBusPrefixLength &&
                lowerCase(node.instanceId.substr(0, kFilterBusPrefixLength)) == kFilterBusPrefix) {
                node.managementPath =
                    lowerCase(std::string(kManagementPathHead) + node.instanceId.substr(kFilterBusPrefixLength) + uniquifier);
                node.opens.path = "\\\\.\\" + entry.info.comName;
                node.opens.managementChannel = entry.virtualPort && entry.virtualPort->hasManagementChannel();
            }
        }
        node.interfacePath = "\\\\?\\" + lowerCase(node.instanceId) + "#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
        std::replace(node.interfacePath.begin() + 4, node.interfacePath.end(), '\\', '#');
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::vector<DeviceNode> hidDevices()
{
    std::vector<DeviceNode> nodes;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    for (const auto& interface : listHidInterfaces()) {
        const HidIdentity& identity = interface->identity;
        DeviceNode node;
        node.interfaceClass = hidClass;
        node.interfacePath = identity.path;
        node.instanceId = instanceIdFromPath(identity.path);
        node.description = "HID-compliant device";
        const std::string where = location(identity.path);
        const bool filterChild = lowerCase(node.instanceId.substr(0, kFilterBusPrefixLength)) == kFilterBusPrefix;
        if (filterChild && where.compare(0, 8, "virtual-") == 0) {
            const auto fields = readOwnedKeyValueFile(runtimeDirectory() + "/hid/" + where.substr(8) + ".hid");
            if (!hasKey(fields, "uniquifier") || !valueOf(fields, "uniquifier").empty()) {
                const std::string uniquifier = uniquifierOf(fields);
                node.values.emplace_back("Uniquifier", uniquifier);
                node.managementPath = lowerCase(std::string(kManagementPathHead) +
                                                node.instanceId.substr(kFilterBusPrefixLength) + uniquifier);
                node.opens.path = identity.path;
            }
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

bool isManagementPath(const std::string& path)
{
    const std::string head = kManagementPathHead;
    return path.size() > head.size() && lowerCase(path.substr(0, head.size())) == head;
}

std::optional<ManagementTarget> resolveManagementPath(const std::string& path)
{
    const std::string wanted = lowerCase(path);
    for (auto* list : {&comPortDevices, &hidDevices})
        for (const DeviceNode& node : list())
            if (!node.managementPath.empty() && node.managementPath == wanted)
                return node.opens;
    return std::nullopt;
}

std::string makeFilterDriverHidPath(USHORT vendorId, USHORT productId, unsigned interfaceNumber,
                                    const std::string& location)
{
    // The HID path with the driver's bus in front of the ids.
    std::string path = makeHidPath(vendorId, productId, interfaceNumber, location);
    std::string bus = kFilterBusPrefix;
    std::replace(bus.begin(), bus.end(), '\\', '#');
    const std::string hidHead = "\\\\?\\hid#";
    return "\\\\?\\" + bus + path.substr(hidHead.size());
}

}  // namespace platform
