#pragma once

#include "ffmpegptr.h"

#include <QImage>

#include <memory>

struct ImagePool;

// Turns decoded pictures into RGB32 images of the size they are shown at.
// Scaling goes to planar YUV first and the colour conversion runs unscaled:
// swscale has SIMD code for both steps, but converts and scales at once only
// in slow generic code (five times slower for an odd width). The images'
// memory is reused once the GUI has let go of them, so playing touches no
// fresh pages. Not thread-safe; the images may go on any thread.
class PictureConverter
{
public:
    PictureConverter();
    ~PictureConverter();
    PictureConverter(const PictureConverter &) = delete;
    PictureConverter &operator=(const PictureConverter &) = delete;

    // A null image when the picture cannot be converted.
    QImage convert(const AVFrame *picture, int width, int height);

private:
    SwsContextPtr mScale;        // to YUV 4:2:0 at the output size
    SwsContextPtr mRgb;          // YUV 4:2:0 to RGB32, same size
    FramePtr mPlanar;            // the scaled picture
    std::shared_ptr<ImagePool> mPool;
};
