#include "FirmwareImage.h"

#include "ScannerCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

bool hexByte(std::string_view text, std::size_t at, std::uint8_t* value)
{
    const int hi = HexDigitValue(text[at]);
    const int lo = HexDigitValue(text[at + 1]);
    if (hi < 0 || lo < 0)
        return false;
    *value = static_cast<std::uint8_t>(hi * 16 + lo);
    return true;
}

// Where a data line of the image lands: false when the image's window does
// not hold it (the line is skipped); `leaves` when it starts inside but runs
// out of the window (the line fails).
bool placeLine(std::uint32_t kind, std::uint16_t upper, const HexLine& line, std::size_t* offset, bool* leaves)
{
    *leaves = false;
    const std::size_t end = std::size_t(line.address) + line.count;
    if (kind == IMAGE_KIND_BOOT) {
        if (upper == 0x1FC0 && line.address <= 0x2FFF) {
            *offset = line.address;
            *leaves = end > 0x3000;
            return true;
        }
        if (upper == 0x1D07 && line.address >= 0x8000) {
            *offset = std::size_t(line.address) - 0x8000 + 0x3000;
            *leaves = end > 0x10000;
            return true;
        }
        return false;
    }
    if (upper < 0x1D00 || upper > 0x1D07 || (upper == 0x1D07 && line.address >= 0x8000))
        return false;
    *offset = std::size_t(upper - 0x1D00) * 65536 + line.address;
    *leaves = *offset + line.count > kAppImageSize;
    return true;
}

struct Reader {
    std::uint32_t kind;
    FirmwareImage* image;
    std::uint16_t upper = 0;
    bool sawData = false;
    std::size_t length = 0;

    // One line: false when it fails.
    bool take(const HexLine& line, bool verifyChecksum)
    {
        if (verifyChecksum && HexLineChecksum(line) != line.checksum)
            return false;
        if (line.type == 4) {
            if (line.count != 2)
                return false;
            upper = static_cast<std::uint16_t>((line.data[0] << 8) | line.data[1]);
            return true;
        }
        if (line.type != 0)
            return true;
        std::size_t offset = 0;
        bool leaves = false;
        if (!placeLine(kind, upper, line, &offset, &leaves))
            return true;
        if (leaves)
            return false;
        std::memcpy(image->bytes.data() + offset, line.data, line.count);
        sawData = true;
        length = std::max(length, offset + line.count);
        return true;
    }
};

std::vector<std::string_view> splitLines(std::string_view text, bool containerObject)
{
    std::vector<std::string_view> lines;
    if (containerObject) {
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            if (end == std::string_view::npos) {
                lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            lines.push_back(text.substr(start, i - start));
    }
    return lines;
}

CompatTable g_compat;

std::string readWholeFile(const std::string& path, bool* ok)
{
    std::ifstream in(path, std::ios::binary);
    *ok = static_cast<bool>(in);
    if (!*ok)
        return std::string();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool beginsIgnoringCase(const std::u16string& extension, const char* word)
{
    if (extension.size() > std::strlen(word))
        return false;
    for (std::size_t i = 0; i < extension.size(); ++i) {
        char16_t c = extension[i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c != char16_t(word[i]))
            return false;
    }
    return true;
}

}  // namespace

bool ParseHexLine(std::string_view text, HexLine* line)
{
    if (text.empty() || text[0] != ':' || text.size() > kMaxHexLine || text.size() < 11)
        return false;
    std::uint8_t head[4];
    for (int i = 0; i < 4; ++i)
        if (!hexByte(text, 1 + 2 * i, &head[i]))
            return false;
    line->count = head[0];
    line->address = static_cast<std::uint16_t>((head[1] << 8) | head[2]);
    line->type = head[3];
    if (text.size() != 11 + 2 * std::size_t(line->count))
        return false;
    for (std::size_t i = 0; i < line->count; ++i)
        if (!hexByte(text, 9 + 2 * i, &line->data[i]))
            return false;
    return hexByte(text, 9 + 2 * std::size_t(line->count), &line->checksum);
}

std::uint8_t HexLineChecksum(const HexLine& line)
{
    unsigned sum = line.count + (line.address >> 8) + (line.address & 0xFF) + line.type;
    for (std::size_t i = 0; i < line.count; ++i)
        sum += line.data[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

ImageStatus ReadHexText(std::string_view text, bool containerObject, std::uint32_t kind, FirmwareImage* image)
{
    if (containerObject && text.size() > kObjectWorkBuffer)
        return ImageStatus::tooLarge;
    image->bytes.assign(kImageBufferSize, 0xFF);
    image->dataLength = 0;
    image->sum = 0;
    const std::vector<std::string_view> lines = splitLines(text, containerObject);

    Reader first{kind, image};
    std::uint16_t upperAfterLine8 = 0;
    // Where the first reading stopped: at the end record, or past the last
    // line. What follows the end record is no part of the image, whatever
    // its line number.
    std::size_t end = lines.size();
    for (std::size_t n = 0; n < end; ++n) {
        HexLine line;
        if (!ParseHexLine(lines[n], &line) || !first.take(line, true)) {
            if (containerObject)
                std::printf(kind == IMAGE_KIND_BOOT
                                ? "CInnerMocfFile -- ParseBootObjectData: parse line of boot object error.\n"
                                : "CInnerMocfFile -- ParseAppObjectData: parse line of app object error.\n");
            return ImageStatus::badLine;
        }
        if (line.type == 1)
            end = n;
        if (n == 8)
            upperAfterLine8 = first.upper;
    }
    if (!first.sawData)
        return ImageStatus::noData;
    image->dataLength = first.length;

    if (kind == IMAGE_KIND_APP) {
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < first.length; ++i)
            sum += image->bytes[i];
        image->sum = static_cast<std::uint16_t>(sum & 0xFFFF);
        std::memset(image->bytes.data(), 0xFF, 4);
        // The second reading leaves out the first nine lines and stops where
        // the first one did.
        Reader second{kind, image};
        second.upper = upperAfterLine8;
        for (std::size_t n = 9; n < end; ++n) {
            HexLine line;
            if (!ParseHexLine(lines[n], &line))
                return ImageStatus::badLine;
            bool rewritten = false;
            if (line.type == 0 && second.upper == 0x1D07 && line.address == 0x7FFC && line.count >= 2) {
                line.data[line.count - 2] = static_cast<std::uint8_t>(image->sum >> 8);
                line.data[line.count - 1] = static_cast<std::uint8_t>(image->sum & 0xFF);
                line.checksum = HexLineChecksum(line);
                rewritten = true;
            }
            if (!second.take(line, !rewritten)) {
                if (containerObject)
                    std::printf("CInnerMocfFile -- ParseObjectData: parse line of app object error.\n");
                return ImageStatus::badLine;
            }
        }
        image->bytes.resize(kAppImageSize);
    } else {
        image->bytes.resize(kBootImageSize);
    }
    return ImageStatus::ok;
}

CompatTable& FileCompatTable() { return g_compat; }

void ClearFileCompatTable() { g_compat = CompatTable(); }

std::uint32_t ImageKindOf(const std::vector<std::uint8_t>& container)
{
    CMocfParser parser(container.data(), container.size());
    if (!parser.IsValid()) {
        std::printf("Load MOCF file error.\n");
        return IMAGE_KIND_NONE;
    }
    std::uint32_t kind = IMAGE_KIND_NONE;
    for (std::size_t position = 1;; ++position) {
        MocfRecord record;
        if (parser.GetMocfRecord(position, &record) != 0)
            break;
        if (record.tag == MOCF_TAG_BOOT) {
            // A boot object after the application makes no package: the
            // file is an application (both only when the boot image comes
            // first).
            if (kind == IMAGE_KIND_NONE)
                kind = IMAGE_KIND_BOOT;
        } else if (record.tag == MOCF_TAG_APP) {
            kind = kind == IMAGE_KIND_BOOT ? IMAGE_KIND_BOTH : IMAGE_KIND_APP;
        } else if (record.tag == MOCF_TAG_COMPAT) {
            // The container check covers only the first compatibility
            // record; a later one is read no further than its own length.
            if (record.length < 4)
                continue;
            const std::uint32_t count = mocfReadLe32(record.value);
            g_compat.count = std::min<std::uint32_t>({count, 100, (record.length - 4) / 4});
            for (std::uint32_t i = 0; i < g_compat.count; ++i)
                g_compat.values[i] = mocfReadLe32(record.value + 4 + 4 * i);
        }
    }
    if (kind == IMAGE_KIND_NONE)
        std::printf("Invalid file inputed: No Boot, No App file.\n");
    return kind;
}

std::uint32_t GetImageKind(const std::u16string& path)
{
    std::vector<std::uint8_t> content;
    std::string name;
    if (!FileNameText(path, &name) || LoadMocfFile(name, content) != 0) {
        std::printf("Load MOCF file error.\n");
        return IMAGE_KIND_NONE;
    }
    return ImageKindOf(content);
}

ImageStatus LoadFirmwareImage(const std::u16string& path, std::uint32_t kind, FirmwareImage* image)
{
    const std::size_t dot = path.rfind(u'.');
    const std::u16string extension = dot == std::u16string::npos ? std::u16string(u"\uFFFF") : path.substr(dot + 1);
    std::string narrow;
    if (!FileNameText(path, &narrow))
        return ImageStatus::openFailed;
    if (beginsIgnoringCase(extension, "hex")) {
        bool ok = false;
        const std::string text = readWholeFile(narrow, &ok);
        if (!ok)
            return ImageStatus::openFailed;
        return ReadHexText(text, false, kind, image);
    }
    if (beginsIgnoringCase(extension, "mocf")) {
        std::vector<std::uint8_t> content;
        if (LoadMocfFile(narrow, content) != 0) {
            std::printf("CInnerMocfFile -- GetMocfObjectData: Load Mocf file error.\n");
            return ImageStatus::openFailed;
        }
        CMocfParser parser(content.data(), content.size());
        for (std::size_t position = 1;; ++position) {
            MocfRecord record;
            if (parser.GetMocfRecord(position, &record) != 0)
                return ImageStatus::noObject;
            if (record.tag == kind) {
                const std::string_view text(reinterpret_cast<const char*>(record.value), record.length);
                return ReadHexText(text, true, kind, image);
            }
        }
    }
    return ImageStatus::noReader;
}

bool ReadImageVersion(const std::u16string& path, std::uint32_t kind, std::string* version, std::string* dateTime)
{
    FirmwareImage image;
    if (LoadFirmwareImage(path, kind, &image) != ImageStatus::ok)
        return false;
    const std::size_t offset = kind == IMAGE_KIND_BOOT ? kBootVersionOffset : kAppVersionOffset;
    if (image.dataLength < offset + 0x60)
        return false;
    const char* record = reinterpret_cast<const char*>(image.bytes.data() + offset);
    auto field = [](const char* p, std::size_t max) { return std::string(p, strnlen(p, max)); };
    *version = field(record, 11);
    *dateTime = field(record + 16, 16) + " " + field(record + 32, 16);
    return true;
}
