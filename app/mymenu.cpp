#include "mymenu.h"

#include <QMenu>
#include <QMouseEvent>

mymenu::mymenu(QWidget *parent)
    : QToolButton(parent)
    , mMenu(new QMenu(this))
{
}

void mymenu::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && popupMode() == QToolButton::MenuButtonPopup)
        mMenu->exec(mapToGlobal(QPoint(width() / 2 + 60, height())));
    QToolButton::mouseReleaseEvent(event);
}
