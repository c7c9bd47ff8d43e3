// The simulated imager's captures: real image files in the format each
// command asks for, read back with a stock image decoder.
#include "simulator/imager_images.h"
#include "simulator/menu_engine.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vxsim::ImageFormat;
using vxsim::MenuEngine;

constexpr unsigned char kSynByte = 0x16;
constexpr unsigned char kGs = 0x1D;

MenuEngine renderingImager()
{
    vxsim::MenuModel model;
    model.image = std::string();
    return MenuEngine(model);
}

std::vector<std::string> feedImager(MenuEngine& engine, const std::string& bytes)
{
    std::vector<std::vector<unsigned char>> replies;
    engine.take(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), replies);
    std::vector<std::string> out;
    for (const auto& reply : replies)
        out.emplace_back(reply.begin(), reply.end());
    return out;
}

// An image packet taken apart as a host reads it: SYN 0xFE, the payload's
// length (little-endian), CR, "IMGSHP", the format digit, a spare byte, GS
// and the image. Fails the test when the packet is not one.
struct ImagePacket {
    char digit = 0;
    std::string image;
};

ImagePacket unpack(const std::string& packet)
{
    ImagePacket out;
    EXPECT_GE(packet.size(), 16u);
    if (packet.size() < 16)
        return out;
    EXPECT_EQ(static_cast<unsigned char>(packet[0]), kSynByte);
    EXPECT_EQ(static_cast<unsigned char>(packet[1]), 0xFE);
    std::size_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<std::size_t>(static_cast<unsigned char>(packet[2 + i])) << (8 * i);
    EXPECT_EQ(packet[6], '\r');
    EXPECT_EQ(length, packet.size() - 7);
    EXPECT_EQ(packet.substr(7, 6), "IMGSHP");
    EXPECT_EQ(static_cast<unsigned char>(packet[15]), kGs);
    out.digit = packet[13];
    out.image = packet.substr(16);
    return out;
}

struct Decoded {
    QByteArray format;
    QImage image;
};

Decoded decode(const std::string& bytes)
{
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    Decoded out;
    out.format = reader.format();
    out.image = reader.read();
    return out;
}

// Every pixel equal to the test picture's (`bits` 1: cut at half grey), or
// within `tolerance` of it at the picture's landmarks (a lossy format).
void expectPicture(const QImage& image, int bits, int tolerance, const char* name)
{
    ASSERT_FALSE(image.isNull()) << name;
    ASSERT_EQ(image.width(), vxsim::kImageWidth) << name;
    ASSERT_EQ(image.height(), vxsim::kImageHeight) << name;
    const auto expected = [bits](int x, int y) {
        const int grey = vxsim::testPictureGrey(x, y);
        return bits == 1 ? (grey >= 128 ? 255 : 0) : grey;
    };
    if (tolerance == 0) {
        int wrong = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                wrong += qGray(image.pixel(x, y)) != expected(x, y);
        EXPECT_EQ(wrong, 0) << name;
        return;
    }
    // The squares' middles, the ramp's ends and middle.
    const int landmarks[][2] = {{64, 64}, {256, 176}, {4, 4}, {315, 235}, {160, 120}, {300, 20}, {20, 220}};
    for (const auto& at : landmarks)
        EXPECT_NEAR(qGray(image.pixel(at[0], at[1])), expected(at[0], at[1]), tolerance)
            << name << " at " << at[0] << "," << at[1];
}

struct Capture {
    const char* command;
    ImageFormat format;
    const char* decoderFormat;
    int bits;
    int tolerance;
};

const Capture kCaptures[] = {
    {"IMGSNP1L;IMGSHP2P8F", ImageFormat::bmp, "bmp", 8, 0},
    {"IMGSNP1L;IMGSHP2P1F", ImageFormat::tiffBinary, "tiff", 1, 0},
    {"IMGSNP1L;IMGSHP2P3F", ImageFormat::tiffGrey, "tiff", 8, 0},
    {"IMGSNP1L;IMGSHP2P6F", ImageFormat::jpeg, "jpeg", 8, 6},
};

TEST(ImagerCapture, EachCommandShipsARealImageOfItsFormat)
{
    for (const Capture& c : kCaptures) {
        MenuEngine imager = renderingImager();
        const auto replies = feedImager(imager, std::string("\x16M\r") + c.command + ".");
        ASSERT_EQ(replies.size(), 2u) << c.command;
        const std::string confirm = std::string(c.command).replace(8, 1, "\x06;") + "\x06.";
        EXPECT_EQ(replies[1], confirm) << c.command;

        const ImagePacket packet = unpack(replies[0]);
        EXPECT_EQ(packet.digit, '0' + static_cast<int>(c.format)) << c.command;
        EXPECT_EQ(packet.image, vxsim::imagerImage(c.format)) << c.command;
        EXPECT_LE(packet.image.size(), vxsim::kMaxImageBytes) << c.command;
        const Decoded decoded = decode(packet.image);
        EXPECT_EQ(decoded.format, c.decoderFormat) << c.command;
        expectPicture(decoded.image, c.bits, c.tolerance, c.command);
    }
}

TEST(ImagerCapture, ACaptureThatNamesNoFormatShipsTheLastOneAskedForElseJpeg)
{
    const struct {
        const char* name;
        std::vector<std::string> before;
        std::string command;
        ImageFormat format;
    } cases[] = {
        {"lone, first", {}, "\x16M\rIMGSHP.", ImageFormat::jpeg},
        {"lone, lower case, without a header", {}, "imgshp.", ImageFormat::jpeg},
        {"parameters without a format", {}, "\x16M\rIMGSHP2P.", ImageFormat::jpeg},
        {"after a grey TIFF", {"\x16M\rIMGSNP1L;IMGSHP2P3F."}, "\x16M\rIMGSHP.", ImageFormat::tiffGrey},
        {"after a BMP and a refused format", {"\x16M\rIMGSHP2P8F.", "\x16M\rIMGSHP2P7F."}, "\x16M\rImgShp.",
         ImageFormat::bmp},
        {"mixed case parameters", {}, "\x16M\rimgshp2p1f.", ImageFormat::tiffBinary},
    };
    for (const auto& c : cases) {
        MenuEngine imager = renderingImager();
        for (const std::string& command : c.before)
            feedImager(imager, command);
        const auto replies = feedImager(imager, c.command);
        ASSERT_EQ(replies.size(), 2u) << c.name;
        const std::string text = c.command.substr(c.command.find_first_not_of("\x16M\r"));
        EXPECT_EQ(replies[1], text.substr(0, text.size() - 1) + "\x06.") << c.name;
        const ImagePacket packet = unpack(replies[0]);
        EXPECT_EQ(packet.digit, '0' + static_cast<int>(c.format)) << c.name;
        EXPECT_EQ(packet.image, vxsim::imagerImage(c.format)) << c.name;
        EXPECT_FALSE(decode(packet.image).image.isNull()) << c.name;
    }
}

TEST(ImagerCapture, ParametersTheImagerDoesNotTakeAreRefusedWithoutAnImage)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"IMGSHP2P9F.", "IMGSHP2P9F\x15."},           // no format 9
        {"IMGSHP2P0F.", "IMGSHP2P0F\x15."},           // nor 0
        {"IMGSHP2P8X.", "IMGSHP2P8X\x15."},           // no parameter X
        {"IMGSHP2P8.", "IMGSHP2P8\x15."},             // a number without its letter
        {"IMGSHPF.", "IMGSHPF\x15."},                 // a letter without its number
        {"IMGSHP2P1000F.", "IMGSHP2P1000F\x15."},     // beyond any parameter
        {"IMGSHP2 P8F.", "IMGSHP2 P8F\x15."},         // not a parameter at all
        {"IMGSNP1L;IMGSHP2P2F!", "IMGSNP1L\x06;IMGSHP2P2F\x15!"},
    };
    for (const auto& c : cases) {
        MenuEngine imager = renderingImager();
        const auto replies = feedImager(imager, std::string("\x16M\r") + c.in);
        ASSERT_EQ(replies.size(), 1u) << c.in;
        EXPECT_EQ(replies[0], c.out) << c.in;
    }
}

TEST(ImagerCapture, EveryFormatIsTheSameFileEachTimeAndWithinTheHostsRoom)
{
    for (const Capture& c : kCaptures) {
        const std::string first = vxsim::imagerImage(c.format);
        EXPECT_FALSE(first.empty()) << c.command;
        EXPECT_LE(first.size(), vxsim::kMaxImageBytes) << c.command;
        EXPECT_EQ(vxsim::imagerImage(c.format), first) << c.command;
    }
    EXPECT_FALSE(vxsim::imageFormatOfCode(2).has_value());
}

}  // namespace
