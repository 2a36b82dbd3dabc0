#include "filelistplacement.h"

#include <QtGlobal>

namespace {

// Moves the top-left so that the panel lies on the screen where it can.
QPoint keepOnScreen(QPoint at, const QSize &panel, const QRect &screen)
{
    at.setX(qMax(screen.left(), qMin(at.x(), screen.right() + 1 - panel.width())));
    at.setY(qMax(screen.top(), qMin(at.y(), screen.bottom() + 1 - panel.height())));
    return at;
}

} // namespace

QPoint fileListPosition(const QRect &window, const QSize &panel, const QRect &screen, int titleBottom,
                        int pictureRight, int gap)
{
    const int right = window.right() + 1 + gap;
    if (right + panel.width() - 1 <= screen.right())
        return keepOnScreen(QPoint(right, window.top()), panel, screen);
    const int left = window.left() - gap - panel.width();
    if (left >= screen.left())
        return keepOnScreen(QPoint(left, window.top()), panel, screen);
    return keepOnScreen(QPoint(pictureRight + 1, titleBottom + 1), panel, screen);
}
