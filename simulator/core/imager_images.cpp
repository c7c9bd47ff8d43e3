// The imager's test picture as BMP, TIFF and JPEG files (see imager_images.h).
#include "simulator/imager_images.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace vxsim {

namespace {

// The two squares, on 8-pixel boundaries so that a JPEG keeps them sharp.
constexpr int kSquareSide = 64;
constexpr int kWhiteLeft = 32;
constexpr int kWhiteTop = 32;
constexpr int kBlackLeft = kImageWidth - 32 - kSquareSide;
constexpr int kBlackTop = kImageHeight - 32 - kSquareSide;

bool inSquare(int x, int y, int left, int top)
{
    return x >= left && x < left + kSquareSide && y >= top && y < top + kSquareSide;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string bmpFile()
{
    constexpr std::uint32_t kHeaders = 14 + 40 + 256 * 4;
    constexpr std::uint32_t kStride = (kImageWidth + 3) & ~3u;
    constexpr std::uint32_t kPixels = kStride * kImageHeight;
    std::string out;
    out.reserve(kHeaders + kPixels);
    out += "BM";
    putLittleEndian(out, kHeaders + kPixels, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, kHeaders, 4);
    putLittleEndian(out, 40, 4);
    putLittleEndian(out, kImageWidth, 4);
    putLittleEndian(out, kImageHeight, 4);  // positive: the bottom row first
    putLittleEndian(out, 1, 2);             // planes
    putLittleEndian(out, 8, 2);             // bits per pixel
    putLittleEndian(out, 0, 4);             // uncompressed
    putLittleEndian(out, kPixels, 4);
    putLittleEndian(out, 2835, 4);  // 72 dots per inch, as dots per metre
    putLittleEndian(out, 2835, 4);
    putLittleEndian(out, 256, 4);  // colours in the palette
    putLittleEndian(out, 0, 4);
    for (std::uint32_t level = 0; level < 256; ++level)
        putLittleEndian(out, level | level << 8 | level << 16, 4);
    for (int y = kImageHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kImageWidth; ++x)
            out.push_back(static_cast<char>(testPictureGrey(x, y)));
        out.append(kStride - kImageWidth, '\0');
    }
    return out;
}

std::string tiffFile(int bits)
{
    constexpr std::uint16_t kShort = 3;
    constexpr std::uint16_t kLong = 4;
    constexpr std::uint16_t kRational = 5;
    constexpr std::uint32_t kEntries = 12;
    constexpr std::uint32_t kIfd = 8;
    constexpr std::uint32_t kResolution = kIfd + 2 + 12 * kEntries + 4;
    constexpr std::uint32_t kStrip = kResolution + 16;
    const std::uint32_t rowBytes = bits == 1 ? (kImageWidth + 7) / 8 : kImageWidth;
    const std::uint32_t stripBytes = rowBytes * kImageHeight;

    std::string out = "II";
    putLittleEndian(out, 42, 2);
    putLittleEndian(out, kIfd, 4);
    putLittleEndian(out, kEntries, 2);
    const auto entry = [&out](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        putLittleEndian(out, tag, 2);
        putLittleEndian(out, type, 2);
        putLittleEndian(out, 1, 4);
        putLittleEndian(out, value, type == kShort ? 2 : 4);
        if (type == kShort)
            putLittleEndian(out, 0, 2);
    };
    // In ascending tag order, as a reader expects them.
    entry(256, kShort, kImageWidth);
    entry(257, kShort, kImageHeight);
    entry(258, kShort, static_cast<std::uint32_t>(bits));
    entry(259, kShort, 1);  // uncompressed
    entry(262, kShort, 1);  // 0 is black
    entry(273, kLong, kStrip);
    entry(277, kShort, 1);  // samples per pixel
    entry(278, kShort, kImageHeight);  // one strip
    entry(279, kLong, stripBytes);
    entry(282, kRational, kResolution);
    entry(283, kRational, kResolution + 8);
    entry(296, kShort, 2);  // per inch
    putLittleEndian(out, 0, 4);  // no further directory
    for (int axis = 0; axis < 2; ++axis) {
        putLittleEndian(out, 72, 4);
        putLittleEndian(out, 1, 4);
    }
    for (int y = 0; y < kImageHeight; ++y) {
        if (bits == 8) {
            for (int x = 0; x < kImageWidth; ++x)
                out.push_back(static_cast<char>(testPictureGrey(x, y)));
            continue;
        }
        for (std::uint32_t byte = 0; byte < rowBytes; ++byte) {
            unsigned packed = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = static_cast<int>(byte * 8) + bit;
                if (x < kImageWidth && testPictureGrey(x, y) >= 128)
                    packed |= 0x80u >> bit;
            }
            out.push_back(static_cast<char>(packed));
        }
    }
    return out;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf resume;
};

void failJpeg(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->resume, 1);
}

// Holds only C objects: the library leaves through longjmp on a failure.
bool encodeJpeg(const unsigned char* grey, unsigned char** bytes, unsigned long* size)
{
    jpeg_compress_struct info;
    JpegFailure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = failJpeg;
    if (setjmp(failure.resume) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, bytes, size);
    info.image_width = kImageWidth;
    info.image_height = kImageHeight;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(grey + info.next_scanline * kImageWidth);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

std::string jpegFile()
{
    std::vector<unsigned char> grey;
    grey.reserve(static_cast<std::size_t>(kImageWidth) * kImageHeight);
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x)
            grey.push_back(testPictureGrey(x, y));
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    const bool encoded = encodeJpeg(grey.data(), &bytes, &size);
    std::string out;
    if (encoded && bytes != nullptr)
        out.assign(reinterpret_cast<const char*>(bytes), size);
    std::free(bytes);
    return out;
}

}  // namespace

std::optional<ImageFormat> imageFormatOfCode(int code)
{
    switch (code) {
    case static_cast<int>(ImageFormat::tiffBinary):
    case static_cast<int>(ImageFormat::tiffGrey):
    case static_cast<int>(ImageFormat::jpeg):
    case static_cast<int>(ImageFormat::bmp):
        return static_cast<ImageFormat>(code);
    default:
        return std::nullopt;
    }
}

std::uint8_t testPictureGrey(int x, int y)
{
    if (inSquare(x, y, kWhiteLeft, kWhiteTop))
        return 255;
    if (inSquare(x, y, kBlackLeft, kBlackTop))
        return 0;
    const int across = x * 255 / (kImageWidth - 1);
    const int down = y * 255 / (kImageHeight - 1);
    return static_cast<std::uint8_t>((across + down) / 2);
}

std::string imagerImage(ImageFormat format)
{
    switch (format) {
    case ImageFormat::tiffBinary:
        return tiffFile(1);
    case ImageFormat::tiffGrey:
        return tiffFile(8);
    case ImageFormat::jpeg:
        return jpegFile();
    case ImageFormat::bmp:
        return bmpFile();
    }
    return {};
}

}  // namespace vxsim
