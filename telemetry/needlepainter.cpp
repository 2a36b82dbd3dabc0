#include "needlepainter.h"

#include "needleangles.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTransform>
#include <QWidget>

namespace {

// Pixels around the needle's own that antialiasing and smooth scaling may touch.
constexpr int kEdgePixels = 2;

// The bounding box of the pixels that are not fully transparent.
QRectF visibleBox(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    return right < 0 ? QRectF() : QRectF(left, top, right - left + 1, bottom - top + 1);
}

} // namespace

NeedlePainter::NeedlePainter(QWidget *dial, const QString &needlePath, const QString &facePath)
    : mDial(dial)
    , mPath(needlePath)
{
    // Decoding and scanning the images takes a few ms that the window's
    // start need not wait for: the other core is idle then.
    mReading = std::async(std::launch::async, [needlePath, facePath] {
        Read read{QImage(needlePath), QRectF(), facePath.isEmpty() ? QImage() : QImage(facePath)};
        if (!read.image.isNull())
            read.visible = visibleBox(read.image);
        return read;
    });
}

NeedlePainter::~NeedlePainter() = default;

void NeedlePainter::take() const
{
    if (!mReading.valid())
        return;
    const Read read = mReading.get();
    mFace = read.face;
    if (read.image.isNull()) {
        qCWarning(lcNeedles) << "needle image missing:" << mPath;
        return;
    }
    mNeedle = QPixmap::fromImage(read.image);
    mVisible = read.visible;
}

bool NeedlePainter::handleEvent(QObject *watched, QEvent *event, int angle, bool needle) const
{
    if (watched != mDial || event->type() != QEvent::Paint)
        return false;
    paint(angle, needle);
    return true;
}

QRect NeedlePainter::face() const
{
    const int side = qMin(mDial->width(), mDial->height());
    // Integer halves: the pivot lands on the same pixel whatever the parity.
    return QRect((mDial->width() - side) / 2, (mDial->height() - side) / 2, side, side);
}

QRect NeedlePainter::needleRect(int angle) const
{
    take();
    if (mVisible.isEmpty())
        return QRect();
    // The mapping paint() uses: the image stretched over the face, centred on
    // the pivot, turned about it.
    const QRect square = face();
    const int side = square.width();
    const double scale = double(side) / mNeedle.width();
    const QRectF onDial(-side / 2 + mVisible.x() * scale, -side / 2 + mVisible.y() * scale, mVisible.width() * scale,
                        mVisible.height() * scale);
    QTransform turn;
    turn.translate(square.x() + side / 2, square.y() + side / 2);
    turn.rotate(angle);
    return turn.mapRect(onDial).toAlignedRect().adjusted(-kEdgePixels, -kEdgePixels, kEdgePixels, kEdgePixels) & mDial->rect();
}

void NeedlePainter::paint(int angle, bool needle) const
{
    take();
    const QRect square = face();
    QPainter painter(mDial);
    if (!mFace.isNull()) {
        // Scaled once per size: a step repaints only where the needle moved.
        if (mFaceShown.size() != square.size())
            mFaceShown = QPixmap::fromImage(mFace.scaled(square.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        painter.drawPixmap(square.topLeft(), mFaceShown);
    }
    if (!needle || mNeedle.isNull())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int side = square.width();
    painter.translate(square.x() + side / 2, square.y() + side / 2);
    painter.rotate(angle);
    painter.drawPixmap(QRect(-side / 2, -side / 2, side, side), mNeedle);
}
