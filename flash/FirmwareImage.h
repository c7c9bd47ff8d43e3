// Firmware files turned into flat images of the scanner's flash: Intel HEX
// text read directly or from the boot and application objects of a MOCF
// container, the container's image-kind query and compatibility list, and
// the version record read from a fixed place in an image.
#pragma once

#include "shared/MocfParser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr std::uint32_t IMAGE_KIND_NONE = 0;
constexpr std::uint32_t IMAGE_KIND_BOOT = MOCF_TAG_BOOT;
constexpr std::uint32_t IMAGE_KIND_APP = MOCF_TAG_APP;
constexpr std::uint32_t IMAGE_KIND_BOTH = MOCF_KIND_BOTH;

constexpr std::size_t kImageBufferSize = 0x80000;
constexpr std::size_t kBootImageSize = 0xB000;
constexpr std::size_t kAppImageSize = 0x78000;
constexpr std::size_t kBootVersionOffset = 0xAE20;
constexpr std::size_t kAppVersionOffset = 0x77E20;
constexpr std::size_t kMaxHexLine = 511;
constexpr std::size_t kObjectWorkBuffer = 2 * 1024 * 1024;

// One parsed Intel HEX line.
struct HexLine {
    std::uint8_t count = 0;
    std::uint16_t address = 0;
    std::uint8_t type = 0;
    std::uint8_t data[255] = {};
    std::uint8_t checksum = 0;
};

// Parses ":" count address type data checksum. False when the text is not
// such a line: not starting with ':', longer than 511 characters, a length
// other than 11 + 2 x count, or a character that is not a hex digit. The
// checksum is not tested here.
bool ParseHexLine(std::string_view text, HexLine* line);
// The two's complement of the sum of count, address, type and data bytes.
std::uint8_t HexLineChecksum(const HexLine& line);

enum class ImageStatus {
    ok,
    openFailed,   // the file (or the container) cannot be read
    noReader,     // the name selects no reader
    noObject,     // the container holds no object of that kind
    badLine,      // a line failed before the end-of-file record
    noData,       // no data record fell in the image's window
    tooLarge,     // a container object larger than the work buffer
};

struct FirmwareImage {
    std::vector<std::uint8_t> bytes;  // the image, filled with 0xFF to its full size
    std::size_t dataLength = 0;       // highest end of the data read, before filling
    std::uint16_t sum = 0;            // application images: the 16-bit image sum
};

// Loads the image of `kind` (IMAGE_KIND_BOOT or IMAGE_KIND_APP) from a HEX
// file (an extension that begins "hex") or a container (one that begins
// "mocf"). Every reading starts at upper address 0.
ImageStatus LoadFirmwareImage(const std::u16string& path, std::uint32_t kind, FirmwareImage* image);

// The same over HEX text in memory (lines separated by white space for a
// file, by CR LF for a container object).
ImageStatus ReadHexText(std::string_view text, bool containerObject, std::uint32_t kind, FirmwareImage* image);

// The firmware file's compatibility list: one table for the whole library.
struct CompatTable {
    std::uint32_t count = 0;
    std::uint32_t values[100] = {};
};
CompatTable& FileCompatTable();
void ClearFileCompatTable();

// Which images a container holds (0 for none or an invalid file); fills the
// compatibility table from the container's compatibility record (at most
// the first 100 entries).
std::uint32_t GetImageKind(const std::u16string& path);
// The same over a container in memory.
std::uint32_t ImageKindOf(const std::vector<std::uint8_t>& container);

// Reads the image and its version record: the version text (at most 11
// characters) and "date time". False when the image cannot be read or is
// shorter than the record's offset + 0x60.
bool ReadImageVersion(const std::u16string& path, std::uint32_t kind, std::string* version, std::string* dateTime);
