#include "windowchrome.h"

#include <QStringList>

namespace {

constexpr int kCornerDepth = 4; // pixels from the window's outer pixel
constexpr int kEdgeDepth = 2;

bool within(int value, int low, int high)
{
    return low <= value && value <= high;
}

void moveLeft(QRect &r, int x, int minimumWidth)
{
    r.setLeft(qMin(x, r.right() + 1 - minimumWidth));
}

void moveTop(QRect &r, int y, int minimumHeight)
{
    r.setTop(qMin(y, r.bottom() + 1 - minimumHeight));
}

void moveRight(QRect &r, int x, int minimumWidth)
{
    r.setWidth(qMax(x - r.left(), minimumWidth));
}

void moveBottom(QRect &r, int y, int minimumHeight, const QRect &available)
{
    const int limit = available.top() + available.height();
    r.setHeight(qMax(qMin(y, limit) - r.top(), minimumHeight));
}

} // namespace

ResizeRegion hitRegion(const QRect &frame, const QPoint &cursor)
{
    const int l = frame.left();
    const int t = frame.top();
    const int r = frame.right();
    const int b = frame.bottom();
    const int x = cursor.x();
    const int y = cursor.y();
    if (within(x, l, l + kCornerDepth) && within(y, t, t + kCornerDepth))
        return ResizeRegion::TopLeft;
    if (within(x, r - kCornerDepth, r) && within(y, b - kCornerDepth, b))
        return ResizeRegion::BottomRight;
    if (within(x, l, l + kCornerDepth) && within(y, b - kCornerDepth, b))
        return ResizeRegion::BottomLeft;
    if (within(x, r - kCornerDepth, r) && within(y, t, t + kCornerDepth))
        return ResizeRegion::TopRight;
    if (within(x, l, l + kEdgeDepth))
        return ResizeRegion::Left;
    if (within(x, r - kEdgeDepth, r))
        return ResizeRegion::Right;
    if (within(y, t, t + kEdgeDepth))
        return ResizeRegion::Top;
    if (within(y, b - kEdgeDepth, b))
        return ResizeRegion::Bottom;
    return ResizeRegion::None;
}

Qt::CursorShape regionCursor(ResizeRegion region)
{
    switch (region) {
    case ResizeRegion::Top:
    case ResizeRegion::Bottom:
        return Qt::SizeVerCursor;
    case ResizeRegion::Left:
    case ResizeRegion::Right:
        return Qt::SizeHorCursor;
    case ResizeRegion::TopLeft:
    case ResizeRegion::BottomRight:
        return Qt::SizeFDiagCursor;
    case ResizeRegion::BottomLeft:
    case ResizeRegion::TopRight:
        return Qt::SizeBDiagCursor;
    case ResizeRegion::None:
        break;
    }
    return Qt::ArrowCursor;
}

QRect resizedGeometry(const QRect &frame, ResizeRegion region, const QPoint &cursor, const QSize &minimum,
                      const QRect &available)
{
    QRect r = frame;
    const int x = cursor.x();
    const int y = cursor.y();
    switch (region) {
    case ResizeRegion::Top:
        moveTop(r, y, minimum.height());
        break;
    case ResizeRegion::Bottom:
        moveBottom(r, y, minimum.height(), available);
        break;
    case ResizeRegion::Left:
        moveLeft(r, x, minimum.width());
        break;
    case ResizeRegion::Right:
        moveRight(r, x, minimum.width());
        break;
    case ResizeRegion::TopLeft:
        moveLeft(r, x, minimum.width());
        moveTop(r, y, minimum.height());
        break;
    case ResizeRegion::BottomLeft:
        moveLeft(r, x, minimum.width());
        moveBottom(r, y, minimum.height(), available);
        break;
    case ResizeRegion::BottomRight:
        moveRight(r, x, minimum.width());
        moveBottom(r, y, minimum.height(), available);
        break;
    case ResizeRegion::TopRight:
        moveRight(r, x, minimum.width());
        moveTop(r, y, minimum.height());
        break;
    case ResizeRegion::None:
        break;
    }
    return r;
}

QRect startGeometry(const QRect &stored, const QSize &preferred, const QSize &minimum, const QRect &available,
                    bool *maximize)
{
    *maximize = minimum.width() > available.width() || minimum.height() > available.height();
    if (*maximize)
        return available;
    if (stored.isValid() && available.contains(stored) && stored.width() >= minimum.width()
        && stored.height() >= minimum.height())
        return stored;
    QRect placed(QPoint(), preferred.boundedTo(available.size()).expandedTo(minimum));
    placed.moveCenter(available.center());
    return placed;
}

QRect rectFromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return QRect();
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok)
            return QRect();
    }
    // No screen is this large; a value beyond is no rectangle of ours.
    constexpr int kLimit = 1 << 16;
    for (int value : values) {
        if (value < -kLimit || value > kLimit)
            return QRect();
    }
    return QRect(values[0], values[1], values[2], values[3]);
}

QString rectText(const QRect &rect)
{
    return QStringLiteral("%1,%2,%3,%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}
