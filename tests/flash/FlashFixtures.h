// Builds firmware files for the flash library's tests: Intel HEX text from
// an image, MOCF containers around it, and the corrupt variants.
#pragma once

#include "include/VXFLASH02.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace flashfix {

struct HexOptions {
    bool shuffle = false;       // records in random order (the upper-address record before each)
    std::size_t recordSize = 32;
    bool skipErased = false;    // leave out records that are all 0xFF (a sparse file)
    int corruptChecksumLine = -1;  // this data record gets a wrong checksum
};

inline std::string hexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data,
                             bool badChecksum = false)
{
    unsigned sum = data.size() + (address >> 8) + (address & 0xFF) + type;
    char piece[16];
    std::snprintf(piece, sizeof piece, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string line = piece;
    for (std::uint8_t b : data) {
        std::snprintf(piece, sizeof piece, "%02X", b);
        line += piece;
        sum += b;
    }
    std::snprintf(piece, sizeof piece, "%02X", (0x100 - (sum & 0xFF) + (badChecksum ? 1 : 0)) & 0xFF);
    return line + piece;
}

struct Chunk {
    std::uint32_t address;  // device address
    std::vector<std::uint8_t> data;
};

// Device-address chunks of an image: boot offsets 0-0x2FFF at 0x1FC00000,
// 0x3000-0xAFFF at 0x1D078000; application offsets at 0x1D000000.
inline std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& image, bool boot, const HexOptions& options)
{
    std::vector<Chunk> chunks;
    // An application's last four bytes (the checksum line) are a record of
    // their own, as in the maker's files.
    const std::size_t checksumLine = 0x77FFC;
    for (std::size_t offset = 0, n = 0; offset < image.size(); offset += n) {
        n = std::min(options.recordSize, image.size() - offset);
        if (!boot && offset < checksumLine && offset + n > checksumLine)
            n = checksumLine - offset;
        std::vector<std::uint8_t> data(image.begin() + offset, image.begin() + offset + n);
        if (options.skipErased && std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0xFF; }))
            continue;
        std::uint32_t address;
        if (boot)
            address = offset < 0x3000 ? 0x1FC00000u + offset : 0x1D078000u + (offset - 0x3000);
        else
            address = 0x1D000000u + offset;
        chunks.push_back({address, data});
    }
    return chunks;
}

// Lines of an Intel HEX file (no line ends). With `shuffle`, every data
// record carries its own upper-address record in front.
inline std::vector<std::string> hexLines(const std::vector<std::uint8_t>& image, bool boot, HexOptions options = {})
{
    std::vector<Chunk> chunks = chunksOf(image, boot, options);
    if (options.shuffle) {
        std::mt19937 random(42);
        std::shuffle(chunks.begin(), chunks.end(), random);
    }
    std::vector<std::string> lines;
    int upper = -1;
    int dataLine = 0;
    for (const Chunk& c : chunks) {
        const int hi = static_cast<int>(c.address >> 16);
        if (hi != upper || options.shuffle) {
            lines.push_back(hexRecord(4, 0, {static_cast<std::uint8_t>(hi >> 8), static_cast<std::uint8_t>(hi)}));
            upper = hi;
        }
        lines.push_back(hexRecord(0, static_cast<std::uint16_t>(c.address & 0xFFFF), c.data,
                                  dataLine++ == options.corruptChecksumLine));
    }
    lines.push_back(":00000001FF");
    return lines;
}

inline std::string joinLines(const std::vector<std::string>& lines, const std::string& end = "\r\n")
{
    std::string text;
    for (const std::string& l : lines)
        text += l + end;
    return text;
}

// A boot image of 0xB000 bytes with a version record at 0xAE20.
inline std::vector<std::uint8_t> bootImage(std::uint8_t seed = 1, const std::string& version = "B1.02",
                                           const std::string& date = "Feb 23 2012", const std::string& time = "10:39:09")
{
    std::vector<std::uint8_t> image(0xB000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0xFF);
    std::fill(image.begin() + 0xAE20, image.begin() + 0xAE50, 0);
    std::copy(version.begin(), version.end(), image.begin() + 0xAE20);
    std::copy(date.begin(), date.end(), image.begin() + 0xAE30);
    std::copy(time.begin(), time.end(), image.begin() + 0xAE40);
    return image;
}

// An application image of 0x78000 bytes with a version record at 0x77E20.
inline std::vector<std::uint8_t> appImage(std::uint8_t seed = 3, const std::string& version = "A2.10",
                                          const std::string& date = "Jan 1 2013", const std::string& time = "23:05:59")
{
    std::vector<std::uint8_t> image(0x78000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>((i * 13 + seed + (i >> 9)) & 0xFF);
    std::fill(image.begin() + 0x77E20, image.begin() + 0x77E50, 0);
    std::copy(version.begin(), version.end(), image.begin() + 0x77E20);
    std::copy(date.begin(), date.end(), image.begin() + 0x77E30);
    std::copy(time.begin(), time.end(), image.begin() + 0x77E40);
    return image;
}

// What the library makes of an application image read from a file: the
// first four bytes erased, the last two the 16-bit sum of the image as given.
// (A line after the ninth that writes them again keeps them: the second
// reading skips only the first nine lines.)
inline std::vector<std::uint8_t> expectedAppImage(std::vector<std::uint8_t> image, bool firstBytesRewritten = false)
{
    const std::vector<std::uint8_t> head(image.begin(), image.begin() + 4);
    std::uint32_t sum = 0;
    for (std::uint8_t b : image)
        sum += b;
    std::fill(image.begin(), image.begin() + 4, 0xFF);
    if (firstBytesRewritten)
        std::copy(head.begin(), head.end(), image.begin());
    image[0x77FFE] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
    image[0x77FFF] = static_cast<std::uint8_t>(sum & 0xFF);
    return image;
}

// Whether the data line at the application's first address comes after the
// ninth line of the file.
inline bool firstLineIsLate(const std::vector<std::string>& lines)
{
    unsigned upper = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const unsigned type = std::stoul(l.substr(7, 2), nullptr, 16);
        const unsigned address = std::stoul(l.substr(3, 4), nullptr, 16);
        if (type == 4)
            upper = std::stoul(l.substr(9, 4), nullptr, 16);
        else if (type == 0 && upper == 0x1D00 && address == 0)
            return i > 8;
    }
    return false;
}

struct Record {
    std::uint32_t tag;
    std::vector<std::uint8_t> value;
};

inline void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::vector<std::uint8_t> textBytes(const std::string& text) { return {text.begin(), text.end()}; }

inline std::vector<std::uint8_t> compatValue(const std::vector<std::uint32_t>& codes)
{
    std::vector<std::uint8_t> v;
    putLe32(v, static_cast<std::uint32_t>(codes.size()));
    for (std::uint32_t c : codes)
        putLe32(v, c);
    return v;
}

std::vector<std::uint8_t> sha1(const std::vector<std::uint8_t>& data);

// A container: the header record, a digest record (when `digest`), then the
// records. The digest covers the outer header and every record but itself.
inline std::vector<std::uint8_t> container(const std::vector<Record>& records, bool digest = true)
{
    std::vector<Record> all;
    all.push_back({0, {0, 0, 0, 0}});
    if (digest)
        all.push_back({1, std::vector<std::uint8_t>(20, 0)});
    all.insert(all.end(), records.begin(), records.end());
    std::vector<std::uint8_t> body;
    std::size_t digestAt = 0;
    for (const Record& r : all) {
        if (r.tag == 1)
            digestAt = body.size() + 8;
        putLe32(body, r.tag);
        putLe32(body, static_cast<std::uint32_t>(r.value.size()));
        body.insert(body.end(), r.value.begin(), r.value.end());
        while (body.size() % 4)
            body.push_back(0);
    }
    std::vector<std::uint8_t> file;
    putLe32(file, 0x46434F4Du);
    putLe32(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    if (digest) {
        std::vector<std::uint8_t> covered(file.begin(), file.begin() + 8);
        std::size_t offset = 8;
        while (offset < file.size()) {
            const std::uint32_t tag = file[offset] | (file[offset + 1] << 8) | (file[offset + 2] << 16) |
                                      (std::uint32_t(file[offset + 3]) << 24);
            const std::uint32_t length = file[offset + 4] | (file[offset + 5] << 8) | (file[offset + 6] << 16) |
                                         (std::uint32_t(file[offset + 7]) << 24);
            const std::size_t step = 8 + ((length + 3) & ~3u);
            if (tag != 1)
                covered.insert(covered.end(), file.begin() + offset, file.begin() + offset + step);
            offset += step;
        }
        const std::vector<std::uint8_t> d = sha1(covered);
        std::copy(d.begin(), d.end(), file.begin() + 8 + digestAt);
    }
    return file;
}

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// A tool for an RS-232 scanner on a port that does not exist ("COM250" at
// 9600 8N1), asking `retries` times: an update reads its file whole and then
// fails with 1 at the port (at once with 0 retries, which touches no port),
// so 3 shows that the file was refused first.
inline CFlashTool* toolWithoutScanner(std::int32_t retries)
{
    CFlashTool* tool = CreateFlashTool();
    tool->SetSetting(CFS_PORTFILENAME, const_cast<char16_t*>(u"COM250"), 12);
    std::int32_t rs232 = CIF_RS232;
    tool->SetSetting(CFS_INTERFACE, &rs232, 4);
    win_rs232_settings serial{};
    serial.dcb.BaudRate = 9600;
    serial.dcb.ByteSize = 8;
    tool->SetSetting(CFS_WIN32_232_SETTINGS, &serial, sizeof serial);
    tool->SetSetting(CFS_RETRY_MAX, &retries, 4);
    return tool;
}

}  // namespace flashfix
