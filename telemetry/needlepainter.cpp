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

NeedlePainter::NeedlePainter(QWidget *dial, const QString &needlePath)
    : mDial(dial)
    , mPath(needlePath)
{
    // Decoding and scanning the image takes a few ms that the window's start
    // need not wait for: the other core is idle then.
    mReading = std::async(std::launch::async, [needlePath] {
        Read read{QImage(needlePath), QRectF()};
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
    if (read.image.isNull()) {
        qCWarning(lcNeedles) << "needle image missing:" << mPath;
        return;
    }
    mNeedle = QPixmap::fromImage(read.image);
    mVisible = read.visible;
}

bool NeedlePainter::handleEvent(QObject *watched, QEvent *event, int angle) const
{
    if (watched != mDial || event->type() != QEvent::Paint)
        return false;
    paint(angle);
    return true;
}

QRect NeedlePainter::needleRect(int angle) const
{
    take();
    if (mVisible.isEmpty())
        return QRect();
    // The mapping paint() uses: the image stretched over the dial, centred on
    // the pivot, turned about it.
    const int w = mDial->width();
    const int h = mDial->height();
    const double sx = double(w) / mNeedle.width();
    const double sy = double(h) / mNeedle.height();
    const QRectF onDial(-w / 2 + mVisible.x() * sx, -h / 2 + mVisible.y() * sy, mVisible.width() * sx, mVisible.height() * sy);
    QTransform turn;
    turn.translate(w / 2, h / 2);
    turn.rotate(angle);
    return turn.mapRect(onDial).toAlignedRect().adjusted(-kEdgePixels, -kEdgePixels, kEdgePixels, kEdgePixels) & mDial->rect();
}

void NeedlePainter::paint(int angle) const
{
    take();
    if (mNeedle.isNull())
        return;
    QPainter painter(mDial);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int w = mDial->width();
    const int h = mDial->height();
    // Integer halves: the pivot lands on the same pixel the dial image centres on.
    painter.translate(w / 2, h / 2);
    painter.rotate(angle);
    painter.drawPixmap(QRect(-w / 2, -h / 2, w, h), mNeedle);
}
