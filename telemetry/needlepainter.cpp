#include "needlepainter.h"

#include "needleangles.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

NeedlePainter::NeedlePainter(QWidget *dial, const QString &needlePath)
    : mDial(dial)
    , mNeedle(needlePath)
{
    if (mNeedle.isNull())
        qCWarning(lcNeedles) << "needle image missing:" << needlePath;
}

bool NeedlePainter::handleEvent(QObject *watched, QEvent *event, int angle) const
{
    if (watched != mDial || event->type() != QEvent::Paint)
        return false;
    paint(angle);
    return true;
}

void NeedlePainter::paint(int angle) const
{
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
