// The images a simulated imager ships: one test picture, encoded as a real
// file in each format a capture command can ask for, so that any decoder
// reads it and a test can compare a host's copy byte for byte with
// imagerImage().
//
// The picture is kImageWidth x kImageHeight grey pixels: a ramp from black
// at the top left to white at the bottom right, a white square on the dark
// side and a black square on the bright side (so that a mirrored or
// upside-down copy is told apart). The 1-bit form is the picture cut at
// half grey. Every form is built the same way each time: equal bytes for
// equal formats, in every process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vxsim {

// The format code of a capture ("...nF") and the digit of its image packet.
enum class ImageFormat : int {
    tiffBinary = 1,  // TIFF, 1 bit per pixel, uncompressed
    tiffGrey = 3,    // TIFF, 8 bits per pixel, uncompressed
    jpeg = 6,        // baseline JPEG, grey
    bmp = 8,         // BMP, 8 bits per pixel with a grey palette
};

// The format a capture that names none ships when no capture named one
// before.
constexpr ImageFormat kDefaultImageFormat = ImageFormat::jpeg;

constexpr int kImageWidth = 320;
constexpr int kImageHeight = 240;
// No image the imager renders is larger: the room a host's image buffer has.
constexpr std::size_t kMaxImageBytes = 1245184;

// The format of a capture's format code; none for a code no format has.
std::optional<ImageFormat> imageFormatOfCode(int code);

// The grey level (0 black to 255 white) of the test picture at (x, y).
std::uint8_t testPictureGrey(int x, int y);

// The exact bytes of the file the imager ships in `format`.
std::string imagerImage(ImageFormat format);

}  // namespace vxsim
