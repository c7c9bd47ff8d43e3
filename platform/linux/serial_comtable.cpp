// The COM table and the SERIALCOMM view (see internal/serial_comtable.h).
#include "linux/internal/serial_comtable.h"

#include "platform/registry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

struct Candidate {
    std::string key;
    std::string kind;
    std::string devicePath;
    int preferred = 0;
    std::optional<VirtualSerialDescriptor> virtualPort;
};

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

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The number at the end of a tty name ("ttyS3" gives 3), or -1.
int trailingNumber(const std::string& name)
{
    std::size_t i = name.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1])) != 0)
        --i;
    if (i == name.size() || name.size() - i > 6)
        return -1;
    return std::atoi(name.c_str() + i);
}

std::string sanitizeKind(std::string kind)
{
    kind.erase(std::remove_if(kind.begin(), kind.end(),
                              [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_'; }),
               kind.end());
    return kind.empty() ? std::string("Serial_other") : kind;
}

std::string driverOf(const fs::path& device)
{
    std::error_code ec;
    const fs::path driver = fs::read_symlink(device / "driver", ec);
    return ec ? std::string() : driver.filename().string();
}

void addRealPorts(std::vector<Candidate>* out)
{
    const fs::path classDir = fs::path(sysfsRoot()) / "class" / "tty";
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const fs::path device = it->path() / "device";
        std::error_code failed;
        if (!fs::exists(device, failed))
            continue;  // virtual consoles, ptys: no device behind them
        Candidate c;
        // The device's place in the bus tree, which survives a re-plug into
        // the same socket; the tty name may not.
        const fs::path canonical = fs::weakly_canonical(device, failed);
        c.key = "tty:" + (failed ? device.string() : canonical.string());
        c.devicePath = "/dev/" + name;
        if (startsWith(name, "ttyS")) {
            // The kernel lists every UART slot it reserved; an empty slot
            // has type 0 (no UART found there).
            const std::string type = readLine(it->path() / "type");
            if (!type.empty() && std::atoi(type.c_str()) == 0)
                continue;
            c.kind = "Serial";
            const int n = trailingNumber(name);
            c.preferred = n >= 0 ? n + 1 : 0;
        } else if (startsWith(name, "ttyACM")) {
            const unsigned vendor =
                static_cast<unsigned>(std::strtoul(readLine(canonical.parent_path() / "idVendor").c_str(), nullptr, 16));
            const auto makers = makerUsbVendorIds();
            const bool maker = vendor != 0 && std::find(makers.begin(), makers.end(), vendor) != makers.end();
            c.kind = maker ? "varnex_cdc_acmSerial" : "cdc_acm";
        } else {
            std::string driver = driverOf(device);
            if (driver.empty()) {
                driver = name;
                while (!driver.empty() && std::isdigit(static_cast<unsigned char>(driver.back())) != 0)
                    driver.pop_back();
            }
            c.kind = sanitizeKind(driver);
        }
        out->push_back(std::move(c));
    }
}

void addVirtualPorts(std::vector<Candidate>* out)
{
    for (VirtualSerialDescriptor& d : listVirtualSerialPorts()) {
        Candidate c;
        c.key = "virtual:" + d.id;
        c.kind = d.deviceKind;
        c.devicePath = d.ptyPath;
        c.virtualPort = std::move(d);
        out->push_back(std::move(c));
    }
}

std::string tablePath()
{
    return (fs::path(registryPath()).parent_path() / "serial-ports").string();
}

// Gives every candidate its COM number from the table, entering new ports
// in it. Numbers are never reused for another port.
std::vector<int> assignNumbers(const std::vector<Candidate>& candidates)
{
    const std::string path = tablePath();
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::flock(fd, LOCK_EX);

    std::map<std::string, int> byKey;
    std::map<int, std::string> byNumber;
    if (fd >= 0) {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const auto space = line.find(' ');
            if (space == std::string::npos)
                continue;
            const int number = std::atoi(line.substr(0, space).c_str());
            const std::string key = line.substr(space + 1);
            if (number <= 0 || number > 255 || key.empty() || byNumber.count(number) != 0 || byKey.count(key) != 0)
                continue;
            byKey[key] = number;
            byNumber[number] = key;
        }
    }

    bool changed = false;
    std::vector<int> numbers;
    for (const Candidate& c : candidates) {
        auto found = byKey.find(c.key);
        if (found != byKey.end()) {
            numbers.push_back(found->second);
            continue;
        }
        int number = c.preferred > 0 && byNumber.count(c.preferred) == 0 ? c.preferred : 0;
        for (int n = 1; number == 0 && n <= 255; ++n)
            if (byNumber.count(n) == 0)
                number = n;
        if (number == 0) {
            numbers.push_back(0);  // the 255 numbers are spent
            continue;
        }
        byKey[c.key] = number;
        byNumber[number] = c.key;
        numbers.push_back(number);
        changed = true;
    }

    if (fd >= 0) {
        if (changed) {
            std::string text;
            for (const auto& [number, key] : byNumber)
                text += std::to_string(number) + " " + key + "\n";
            if (::ftruncate(fd, 0) == 0) {
                std::size_t done = 0;
                while (done < text.size()) {
                    const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
                    if (n <= 0)
                        break;
                    done += static_cast<std::size_t>(n);
                }
            }
        }
        ::close(fd);  // releases the lock
    }
    return numbers;
}

}  // namespace

std::vector<unsigned> makerUsbVendorIds()
{
    std::vector<unsigned> ids;
    const char* text = std::getenv("VX_MAKER_USB_VENDORS");
    if (text == nullptr)
        return ids;
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        const unsigned long id = std::strtoul(item.c_str(), nullptr, 16);
        if (id != 0 && id <= 0xFFFF)
            ids.push_back(static_cast<unsigned>(id));
    }
    return ids;
}

std::vector<SerialPortEntry> serialPortEntries()
{
    std::vector<Candidate> candidates;
    addRealPorts(&candidates);
    addVirtualPorts(&candidates);
    const std::vector<int> numbers = assignNumbers(candidates);

    std::vector<SerialPortEntry> entries;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (numbers[i] == 0)
            continue;
        SerialPortEntry e;
        e.info.comNumber = numbers[i];
        e.info.comName = "COM" + std::to_string(numbers[i]);
        e.info.kernelName = "\\Device\\" + candidates[i].kind + std::to_string(numbers[i] - 1);
        e.info.devicePath = candidates[i].devicePath;
        e.info.isVirtual = candidates[i].virtualPort.has_value();
        e.virtualPort = candidates[i].virtualPort;
        entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return a.info.comNumber < b.info.comNumber;
    });
    return entries;
}

std::optional<SerialPortEntry> findSerialPort(const std::string& comName)
{
    // "COM" and a number without leading zeros, as the port names are.
    if (comName.size() < 4 || comName.size() > 6)
        return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(comName[i])) != "COM"[i])
            return std::nullopt;
    const std::string digits = comName.substr(3);
    if (digits[0] == '0' || !std::all_of(digits.begin(), digits.end(),
                                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        return std::nullopt;
    const int number = std::atoi(digits.c_str());
    for (SerialPortEntry& e : serialPortEntries())
        if (e.info.comNumber == number)
            return std::move(e);
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> serialCommValues()
{
    std::vector<std::pair<std::string, std::string>> values;
    for (const SerialPortEntry& e : serialPortEntries())
        values.emplace_back(e.info.kernelName, e.info.comName);
    return values;
}

std::vector<SerialPortInfo> listSerialPorts()
{
    std::vector<SerialPortInfo> ports;
    for (SerialPortEntry& e : serialPortEntries())
        ports.push_back(std::move(e.info));
    return ports;
}

}  // namespace platform
