// Decoded pictures to shown images: every pixel of every size, and images
// that stay as they were while later pictures are converted.

#include "pictureconverter.h"

#include <QtTest>

namespace {

// A solid picture of one colour in the decoder's usual layout.
FramePtr solidPicture(AVPixelFormat format, int width, int height, uint8_t y, uint8_t u, uint8_t v)
{
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    const int chromaW = (width + 1) / 2;
    const int chromaH = format == AV_PIX_FMT_YUV444P ? height : (height + 1) / 2;
    const int chromaCols = format == AV_PIX_FMT_YUV444P ? width : chromaW;
    for (int row = 0; row < height; ++row)
        memset(frame->data[0] + row * frame->linesize[0], y, size_t(width));
    for (int row = 0; row < chromaH; ++row) {
        memset(frame->data[1] + row * frame->linesize[1], u, size_t(chromaCols));
        memset(frame->data[2] + row * frame->linesize[2], v, size_t(chromaCols));
    }
    return frame;
}

// Pixels further than tolerance from colour, as "x,y=argb" texts (the first
// few). Shrinking a hundredfold rounds a saturated colour a few steps off;
// a pixel left unconverted or overwritten is far off.
QStringList offPixels(const QImage &image, QRgb colour, int tolerance = 16)
{
    QStringList off;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            if (qAbs(qRed(p) - qRed(colour)) > tolerance || qAbs(qGreen(p) - qGreen(colour)) > tolerance
                || qAbs(qBlue(p) - qBlue(colour)) > tolerance || qAlpha(p) != 255) {
                if (off.size() < 5)
                    off << QStringLiteral("%1,%2=%3").arg(x).arg(y).arg(p, 8, 16);
            }
        }
    }
    return off;
}

// Limited-range BT.601 grey and a saturated red.
const uint8_t kGrey[3] = {126, 128, 128};
const QRgb kGreyRgb = qRgb(128, 128, 128);
const uint8_t kRed[3] = {81, 90, 240};
const QRgb kRedRgb = qRgb(255, 0, 0);

} // namespace

class TestPictureConverter : public QObject
{
    Q_OBJECT

private slots:
    void everyPixelAtEverySize_data();
    void everyPixelAtEverySize();
    void shownImagesKeepTheirPixels();
};

void TestPictureConverter::everyPixelAtEverySize_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QSize>("source");
    // Shrinking, the same size (no scaling step), growing; 4:2:0 and 4:4:4.
    QTest::newRow("1080p to odd sizes") << int(AV_PIX_FMT_YUV420P) << QSize(1920, 1080);
    QTest::newRow("odd source") << int(AV_PIX_FMT_YUV420P) << QSize(333, 187);
    QTest::newRow("tiny source") << int(AV_PIX_FMT_YUV420P) << QSize(16, 8);
    QTest::newRow("4:4:4") << int(AV_PIX_FMT_YUV444P) << QSize(640, 360);
}

// Output widths and heights of every remainder: the SIMD conversion works
// on groups of pixels and pairs of rows; none may be left unconverted.
void TestPictureConverter::everyPixelAtEverySize()
{
    QFETCH(int, format);
    QFETCH(QSize, source);
    FramePtr grey = solidPicture(AVPixelFormat(format), source.width(), source.height(), kGrey[0], kGrey[1], kGrey[2]);
    FramePtr red = solidPicture(AVPixelFormat(format), source.width(), source.height(), kRed[0], kRed[1], kRed[2]);
    QVERIFY(grey && red);
    PictureConverter converter;
    for (const QSize out : {QSize(1, 1), QSize(7, 3), QSize(17, 9), QSize(100, 50), QSize(957, 538), QSize(733, 413),
                            source, QSize(source.width() + 1, source.height() + 3)}) {
        for (const auto &[picture, colour] : {std::pair{grey.get(), kGreyRgb}, std::pair{red.get(), kRedRgb}}) {
            const QImage image = converter.convert(picture, out.width(), out.height());
            QCOMPARE(image.size(), out);
            QCOMPARE(image.format(), QImage::Format_RGB32);
            const QStringList off = offPixels(image, colour);
            QVERIFY2(off.isEmpty(), qPrintable(QStringLiteral("%1x%2: %3").arg(out.width()).arg(out.height()).arg(off.join(' '))));
        }
    }
}

// The converter reuses memory the GUI has let go of, never an image still
// held: on screen, in the queue, or saved as a snapshot.
void TestPictureConverter::shownImagesKeepTheirPixels()
{
    FramePtr grey = solidPicture(AV_PIX_FMT_YUV420P, 1280, 720, kGrey[0], kGrey[1], kGrey[2]);
    FramePtr red = solidPicture(AV_PIX_FMT_YUV420P, 1280, 720, kRed[0], kRed[1], kRed[2]);
    PictureConverter converter;
    std::vector<QImage> held;
    for (int i = 0; i < 12; ++i) {
        held.push_back(converter.convert(i % 2 ? red.get() : grey.get(), 640, 360));
        if (i % 3 == 2)
            held.erase(held.begin()); // one let go now and then: its memory comes back
    }
    // A held image outlives its converter.
    std::vector<QImage> later;
    {
        PictureConverter other;
        later.push_back(other.convert(red.get(), 321, 181));
    }
    QVERIFY(offPixels(later.front(), kRedRgb).isEmpty());
    for (int i = 0; i < 12; ++i) {
        held.push_back(converter.convert(i % 2 ? grey.get() : red.get(), 640, 360));
        held.erase(held.begin());
    }
    for (size_t i = 0; i < held.size(); ++i) {
        const QRgb expected = i % 2 ? kGreyRgb : kRedRgb;
        QVERIFY2(offPixels(held[i], expected).isEmpty(), qPrintable(QString::number(i)));
    }
}

QTEST_GUILESS_MAIN(TestPictureConverter)
#include "tst_pictureconverter.moc"
