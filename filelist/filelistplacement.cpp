#include "filelistplacement.h"

#include <QtGlobal>

namespace {

// Moves the rectangle so that it lies on the screen where it can.
QRect keepOnScreen(QRect at, const QRect &screen)
{
    at.moveLeft(qMax(screen.left(), qMin(at.left(), screen.right() + 1 - at.width())));
    at.moveTop(qMax(screen.top(), qMin(at.top(), screen.bottom() + 1 - at.height())));
    return at;
}

} // namespace

QRect fileListGeometry(const QRect &window, const QSize &list, const QRect &screen, const QRect &panel, int gap)
{
    for (const int space : {gap, 0}) {
        const int right = window.right() + 1 + space;
        if (right + list.width() - 1 <= screen.right())
            return keepOnScreen(QRect(QPoint(right, window.top()), list), screen);
        const int left = window.left() - space - list.width();
        if (left >= screen.left())
            return keepOnScreen(QRect(QPoint(left, window.top()), list), screen);
    }
    QRect docked(QPoint(), QSize(list.width(), qMin(list.height(), panel.height())));
    docked.moveTopRight(panel.topRight());
    return keepOnScreen(docked, screen);
}
