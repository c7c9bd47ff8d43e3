// Where CPictureBox draws its image in a control of a given size.
#pragma once

struct PictureRect {
    int x;
    int y;
    int width;
    int height;
    constexpr bool operator==(const PictureRect&) const = default;
};

// 0: natural size at the top-left; 1: natural size centred (half the
// control less half the image, each way); 2: stretched to the control.
constexpr int kPictureTopLeft = 0;
constexpr int kPictureCentred = 1;
constexpr int kPictureStretched = 2;

constexpr PictureRect pictureRect(int mode, int controlWidth, int controlHeight, int imageWidth, int imageHeight)
{
    if (mode == kPictureStretched)
        return {0, 0, controlWidth, controlHeight};
    if (mode == kPictureCentred)
        return {controlWidth / 2 - imageWidth / 2, controlHeight / 2 - imageHeight / 2, imageWidth, imageHeight};
    return {0, 0, imageWidth, imageHeight};
}
