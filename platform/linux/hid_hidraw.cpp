// Real HID interfaces: enumeration from sysfs (/sys/class/hidraw, the report
// descriptor, the USB device's attributes) and I/O on the hidraw nodes.
#include "linux/internal/hid.h"

#include "platform/error.h"
#include "platform/hid.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

std::mutex g_rootsMutex;
std::string g_sysfsRoot;
std::string g_deviceRoot;

std::string setting(const std::string& chosen, const char* variable, const char* fallback)
{
    if (!chosen.empty())
        return chosen;
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : fallback;
}

std::string sysfsRoot()
{
    std::lock_guard lock(g_rootsMutex);
    return setting(g_sysfsRoot, "VX_SYSFS_ROOT", "/sys");
}

std::string deviceRoot()
{
    std::lock_guard lock(g_rootsMutex);
    return setting(g_deviceRoot, "VX_DEV_ROOT", "/dev");
}

std::optional<std::string> readFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// A sysfs attribute without its line end.
std::optional<std::string> readAttribute(const fs::path& path)
{
    std::optional<std::string> text = readFileBytes(path);
    if (text)
        while (!text->empty() && (text->back() == '\n' || text->back() == '\r'))
            text->pop_back();
    return text;
}

std::optional<unsigned long> hexAttribute(const fs::path& path)
{
    const std::optional<std::string> text = readAttribute(path);
    if (!text || text->empty())
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text->c_str(), &end, 16);
    if (end == text->c_str())
        return std::nullopt;
    return value;
}

std::map<std::string, std::string> readUevent(const fs::path& path)
{
    std::map<std::string, std::string> values;
    std::istringstream in(readFileBytes(path).value_or(""));
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            values.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return values;
}

// Letters, digits, '-', '.' and '_' only: a location is part of a path.
std::string pathSafe(const std::string& text)
{
    std::string out;
    for (const char c : text)
        out += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' ? c : '-';
    return out;
}

class HidrawTransport : public HidTransport {
public:
    HidrawTransport(int fd, const HidReportLayout& layout) : m_fd(fd), m_layout(layout) {}
    ~HidrawTransport() override { ::close(m_fd); }

    int pollDescriptor() const override { return m_fd; }

    Received receive(std::vector<BYTE>& report) override
    {
        const std::size_t length = m_layout.inputReportLength;
        // A device that does not number its reports sends them without the
        // id byte: read them one byte in, behind a 0.
        const std::size_t offset = m_layout.numbered ? 0 : 1;
        std::vector<BYTE> buffer(std::max<std::size_t>(length, offset + 1), 0);
        const ssize_t count = ::read(m_fd, buffer.data() + offset, buffer.size() - offset);
        if (count < 0)
            return errno == EINTR || errno == EAGAIN ? Received::nothing : Received::gone;
        if (count == 0)
            return Received::gone;  // the node was removed under us
        if (length == 0)
            return Received::nothing;
        buffer.resize(length);
        report = std::move(buffer);
        return Received::report;
    }

    DWORD sendOutputReport(const BYTE* report, std::size_t length) override
    {
        for (;;) {
            const ssize_t written = ::write(m_fd, report, length);
            if (written >= 0)
                return ERROR_SUCCESS;
            if (errno != EINTR)
                return errorFromErrno(errno);
        }
    }

    DWORD setFeature(const BYTE* report, std::size_t length) override
    {
        std::vector<BYTE> buffer(report, report + length);
        if (::ioctl(m_fd, HIDIOCSFEATURE(length), buffer.data()) < 0)
            return errorFromErrno(errno);
        return ERROR_SUCCESS;
    }

    DWORD getFeature(BYTE* report, std::size_t length) override
    {
        if (::ioctl(m_fd, HIDIOCGFEATURE(length), report) < 0)
            return errorFromErrno(errno);
        return ERROR_SUCCESS;
    }

private:
    const int m_fd;
    const HidReportLayout m_layout;
};

class HidrawInterface : public HidInterface {
public:
    fs::path classEntry;  // <sysfs>/class/hidraw/hidrawN
    fs::path node;        // <dev>/hidrawN

    bool present() const override
    {
        std::error_code error;
        return fs::exists(classEntry, error);
    }

    std::unique_ptr<HidTransport> connect() const override
    {
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            setLastErrorFromErrno();
            return nullptr;
        }
        return std::make_unique<HidrawTransport>(fd, identity.layout);
    }
};

std::shared_ptr<HidrawInterface> describe(const fs::path& classEntry, const fs::path& sysfs, const fs::path& dev)
{
    std::error_code error;
    const fs::path hidDir = fs::canonical(classEntry / "device", error);
    if (error)
        return nullptr;
    auto interface = std::make_shared<HidrawInterface>();
    interface->classEntry = classEntry;
    interface->node = dev / classEntry.filename();
    HidIdentity& id = interface->identity;

    const std::optional<std::string> descriptor = readFileBytes(hidDir / "report_descriptor");
    std::optional<HidReportLayout> layout;
    if (descriptor)
        layout = parseHidReportDescriptor(reinterpret_cast<const std::uint8_t*>(descriptor->data()),
                                          descriptor->size());
    id.layoutKnown = layout.has_value();
    if (layout)
        id.layout = *layout;

    // HID_ID=<bus>:<vendor>:<product>, each hexadecimal.
    const std::map<std::string, std::string> uevent = readUevent(hidDir / "uevent");
    unsigned bus = 0;
    unsigned long vendor = 0;
    unsigned long product = 0;
    if (const auto found = uevent.find("HID_ID"); found != uevent.end())
        std::sscanf(found->second.c_str(), "%x:%lx:%lx", &bus, &vendor, &product);

    // The USB interface and device above the HID device, when it sits on USB.
    const fs::path stop = fs::canonical(sysfs, error);
    fs::path usbInterface;
    fs::path usbDevice;
    for (fs::path dir = hidDir.parent_path(); !dir.empty() && dir != stop && dir != dir.root_path();
         dir = dir.parent_path()) {
        if (usbInterface.empty() && fs::exists(dir / "bInterfaceNumber", error))
            usbInterface = dir;
        if (fs::exists(dir / "idVendor", error)) {
            usbDevice = dir;
            break;
        }
    }

    unsigned interfaceNumber = 0;
    std::string location;
    if (!usbDevice.empty()) {
        if (vendor == 0)
            vendor = hexAttribute(usbDevice / "idVendor").value_or(0);
        if (product == 0)
            product = hexAttribute(usbDevice / "idProduct").value_or(0);
        id.versionNumber = static_cast<USHORT>(hexAttribute(usbDevice / "bcdDevice").value_or(0));
        if (!usbInterface.empty())
            interfaceNumber = static_cast<unsigned>(hexAttribute(usbInterface / "bInterfaceNumber").value_or(0));
        // The USB device's name is its location: bus, then the port chain.
        location = "usb-" + pathSafe(usbDevice.filename().string());
        if (const auto text = readAttribute(usbDevice / "serial"))
            id.serialNumber = wideFromUtf8(*text);
        if (const auto text = readAttribute(usbDevice / "manufacturer"))
            id.manufacturer = wideFromUtf8(*text);
        if (const auto text = readAttribute(usbDevice / "product"))
            id.product = wideFromUtf8(*text);
    } else {
        location = "hid-" + pathSafe(hidDir.filename().string());
        if (const auto found = uevent.find("HID_NAME"); found != uevent.end() && !found->second.empty())
            id.product = wideFromUtf8(found->second);
        if (const auto found = uevent.find("HID_UNIQ"); found != uevent.end() && !found->second.empty())
            id.serialNumber = wideFromUtf8(found->second);
    }
    id.vendorId = static_cast<USHORT>(vendor);
    id.productId = static_cast<USHORT>(product);
    id.path = makeHidPath(id.vendorId, id.productId, interfaceNumber, location);
    return interface;
}

}  // namespace

HidInterfaces listHidrawInterfaces()
{
    const fs::path sysfs = sysfsRoot();
    const fs::path dev = deviceRoot();
    std::vector<std::shared_ptr<HidrawInterface>> found;
    std::error_code error;
    for (fs::directory_iterator it(sysfs / "class" / "hidraw", error), end; !error && it != end;
         it.increment(error)) {
        if (auto interface = describe(it->path(), sysfs, dev))
            found.push_back(std::move(interface));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a->identity.path < b->identity.path; });
    HidInterfaces result;
    std::set<std::string> seen;
    for (auto& interface : found)
        if (seen.insert(interface->identity.path).second)
            result.push_back(std::move(interface));
    return result;
}

void setHidSysfsRoot(const std::string& root)
{
    std::lock_guard lock(g_rootsMutex);
    g_sysfsRoot = root;
}

void setHidDeviceRoot(const std::string& root)
{
    std::lock_guard lock(g_rootsMutex);
    g_deviceRoot = root;
}

}  // namespace platform
