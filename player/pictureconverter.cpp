#include "pictureconverter.h"

#include <mutex>
#include <vector>

// Buffers of one size, handed out as the memory of images and taken back
// when the last copy of an image goes.
struct ImagePool
{
    // Images on screen, in the queue to the GUI and being converted; more
    // would only be buffers that nobody waits for.
    static constexpr size_t kMaxFree = 4;

    // std::mutex, not QMutex: its contended path runs in Qt, where TSan
    // cannot see the hand-over, and every contended lock is reported.
    std::mutex mutex;
    size_t size = 0;
    std::vector<std::unique_ptr<uchar[]>> free;

    std::unique_ptr<uchar[]> take(size_t bytes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (bytes != size) {
            free.clear();
            size = bytes;
        }
        if (free.empty())
            return std::unique_ptr<uchar[]>(new (std::nothrow) uchar[bytes]);
        std::unique_ptr<uchar[]> buffer = std::move(free.back());
        free.pop_back();
        return buffer;
    }

    void give(std::unique_ptr<uchar[]> buffer, size_t bytes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (bytes == size && free.size() < kMaxFree)
            free.push_back(std::move(buffer));
    }
};

namespace {

constexpr size_t kTailBytes = 64; // the last row's groups

struct Lease
{
    std::shared_ptr<ImagePool> pool;
    std::unique_ptr<uchar[]> buffer;
    size_t bytes;
};

void giveBack(void *info)
{
    std::unique_ptr<Lease> lease(static_cast<Lease *>(info));
    lease->pool->give(std::move(lease->buffer), lease->bytes);
}

} // namespace

PictureConverter::PictureConverter()
    : mPlanar(av_frame_alloc())
    , mPool(std::make_shared<ImagePool>())
{
}

PictureConverter::~PictureConverter() = default;

QImage PictureConverter::convert(const AVFrame *picture, int width, int height)
{
    if (!picture || width <= 0 || height <= 0 || !mPlanar)
        return QImage();
    // The unscaled conversion works on pairs of rows and its SIMD code
    // writes whole groups of 16 pixels, past a row's end: the buffer has
    // room for both, the image shows what was asked.
    const int rows = (height + 1) & ~1;
    const int stride = ((width + 15) & ~15) * 4;
    const size_t bytes = size_t(stride) * size_t(rows) + kTailBytes;

    const auto format = AVPixelFormat(picture->format);
    const bool planarAlready = format == AV_PIX_FMT_YUV420P && picture->width == width && picture->height == rows;
    const AVFrame *planar = picture;
    if (!planarAlready) {
        if (mPlanar->width != width || mPlanar->height != rows) {
            av_frame_unref(mPlanar.get());
            mPlanar->format = AV_PIX_FMT_YUV420P;
            mPlanar->width = width;
            mPlanar->height = rows;
            if (av_frame_get_buffer(mPlanar.get(), 0) < 0) {
                av_frame_unref(mPlanar.get());
                return QImage();
            }
        }
        // Area averaging when shrinking costs half of bicubic and looks as
        // good; bicubic for the rare picture smaller than the surface.
        const int flags = width < picture->width ? SWS_AREA : SWS_BICUBIC;
        mScale.reset(sws_getCachedContext(mScale.release(), picture->width, picture->height, format, width, rows,
                                          AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr));
        if (!mScale)
            return QImage();
        if (sws_scale(mScale.get(), picture->data, picture->linesize, 0, picture->height, mPlanar->data,
                      mPlanar->linesize) != rows)
            return QImage();
        planar = mPlanar.get();
    }
    mRgb.reset(sws_getCachedContext(mRgb.release(), width, rows, AV_PIX_FMT_YUV420P, width, rows, AV_PIX_FMT_RGB32,
                                    SWS_POINT, nullptr, nullptr, nullptr));
    if (!mRgb)
        return QImage();

    auto lease = std::make_unique<Lease>(Lease{mPool, mPool->take(bytes), bytes});
    if (!lease->buffer)
        return QImage();
    uint8_t *dst[4] = {lease->buffer.get(), nullptr, nullptr, nullptr};
    int dstStride[4] = {stride, 0, 0, 0};
    sws_scale(mRgb.get(), planar->data, planar->linesize, 0, rows, dst, dstStride);
    uchar *memory = lease->buffer.get();
    QImage image(memory, width, height, stride, QImage::Format_RGB32, giveBack, lease.get());
    if (image.isNull())
        return QImage();
    lease.release(); // the image gives it back
    return image;
}
