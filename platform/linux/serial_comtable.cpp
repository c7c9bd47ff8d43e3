// The COM table and the SERIALCOMM view (see internal/serial_comtable.h).
#include "linux/internal/serial_comtable.h"

#include "linux/internal/debug_once.h"
#include "linux/internal/private_files.h"
#include "platform/registry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
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

// One line of the table: "<number> <key>", and since ports could run out,
// a tab and the last time (seconds since the epoch) the port was seen. A
// line without the time (an older table) counts as seen at 0.
struct TableEntry {
    std::string key;
    long long seen = 0;
};

// A port seen again within this time keeps its stored time: the table is
// not rewritten on every listing, and which port has been gone longest is
// still known to the minute.
constexpr long long kSeenRefreshSeconds = 60;

std::map<int, TableEntry> parseTable(const std::string& text)
{
    std::map<int, TableEntry> byNumber;
    std::map<std::string, int> keys;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto space = line.find(' ');
        if (space == std::string::npos)
            continue;
        const int number = std::atoi(line.substr(0, space).c_str());
        std::string key = line.substr(space + 1);
        long long seen = 0;
        if (const auto tab = key.find('\t'); tab != std::string::npos) {
            seen = std::atoll(key.c_str() + tab + 1);
            key.resize(tab);
        }
        if (number <= 0 || number > 255 || key.empty() || byNumber.count(number) != 0 || keys.count(key) != 0)
            continue;
        keys[key] = number;
        byNumber[number] = TableEntry{key, seen};
    }
    return byNumber;
}

std::string formatTable(const std::map<int, TableEntry>& byNumber)
{
    std::string text;
    for (const auto& [number, entry] : byNumber)
        text += std::to_string(number) + " " + entry.key + "\t" + std::to_string(entry.seen) + "\n";
    return text;
}

// The number of the key absent the longest (the oldest time seen, then the
// lowest number), among keys not present now; 0 when every key is present.
int longestAbsent(const std::map<int, TableEntry>& byNumber, const std::set<std::string>& present)
{
    int chosen = 0;
    long long oldest = 0;
    for (const auto& [number, entry] : byNumber) {
        if (present.count(entry.key) != 0)
            continue;
        if (chosen == 0 || entry.seen < oldest) {
            chosen = number;
            oldest = entry.seen;
        }
    }
    return chosen;
}

// Gives every candidate its COM number from the table, entering new ports
// in it. A number stays with its port; only when all 255 are taken does a
// new port get the number of the port that has been gone the longest.
std::vector<int> assignNumbers(const std::vector<Candidate>& candidates)
{
    const std::string path = tablePath();
    makePrivateDirectories(fs::path(path).parent_path().string());
    // A table that cannot be written (a read-only folder or file) still
    // gives the numbers it holds; new ones then last for this listing only.
    bool writable = true;
    int fd = openPrivateFile(path, O_RDWR | O_CREAT);
    if (fd < 0) {
        writable = false;
        fd = openPrivateFile(path, O_RDONLY);
    }
    if (fd >= 0)
        ::flock(fd, writable ? LOCK_EX : LOCK_SH);

    std::map<int, TableEntry> byNumber = fd >= 0 ? parseTable(readUpTo(fd, 1 << 20)) : std::map<int, TableEntry>();
    std::map<std::string, int> byKey;
    for (const auto& [number, entry] : byNumber)
        byKey[entry.key] = number;
    std::set<std::string> present;
    for (const Candidate& c : candidates)
        present.insert(c.key);

    const long long now = static_cast<long long>(std::time(nullptr));
    bool changed = false;
    std::vector<int> numbers;
    for (const Candidate& c : candidates) {
        auto found = byKey.find(c.key);
        if (found != byKey.end()) {
            TableEntry& entry = byNumber[found->second];
            if (now - entry.seen >= kSeenRefreshSeconds || entry.seen > now) {
                entry.seen = now;
                changed = true;
            }
            numbers.push_back(found->second);
            continue;
        }
        int number = c.preferred > 0 && byNumber.count(c.preferred) == 0 ? c.preferred : 0;
        for (int n = 1; number == 0 && n <= 255; ++n)
            if (byNumber.count(n) == 0)
                number = n;
        if (number == 0) {
            number = longestAbsent(byNumber, present);
            if (number == 0) {
                numbers.push_back(0);  // 255 ports present at once
                continue;
            }
            const TableEntry& old = byNumber[number];
            outputDebugLineOnce("serial: the COM table is full; COM" + std::to_string(number) + " of " + old.key +
                                " (last seen at " + std::to_string(old.seen) + ") now names " + c.key + "\n");
            byKey.erase(old.key);
        }
        byKey[c.key] = number;
        byNumber[number] = TableEntry{c.key, now};
        numbers.push_back(number);
        changed = true;
    }

    if (fd >= 0) {
        if (changed && writable) {
            const std::string text = formatTable(byNumber);
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
