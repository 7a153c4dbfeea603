// What a video stream's decoded pictures are (the library's enumeration values as plain integers):
// the format a copy's encoder must match, taken from a decoded picture, since containers that need
// no probing (MPEG-4) do not state the pixel format, and the colour description lives in the
// bitstream. Plain value; any thread.
#pragma once

struct PictureFormat {
    bool known = false;
    int pixelFormat = -1;
    int width = 0, height = 0;
    int aspectNum = 0, aspectDen = 1;
    int colorRange = 0, colorPrimaries = 2, colorTransfer = 2, colorSpace = 2, chromaLocation = 0; // 2: unspecified
    bool interlaced = false, topFieldFirst = false;
};
