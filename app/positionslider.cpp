#include "positionslider.h"

#include <QMouseEvent>

PositionSlider::PositionSlider(QWidget *parent)
    : QSlider(parent)
{
}

int PositionSlider::valueAt(int x) const
{
    const int lo = minimum();
    const int hi = maximum();
    const int value = lo + int(double(x) * (hi - lo) / qMax(1, width()) + 0.5);
    return qBound(lo, value, hi);
}

// The slider's own press handling never runs: the handle jumps to the
// click instead of paging towards it.
void PositionSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    mHeld = true;
    emit sig_Pressed(valueAt(event->pos().x()));
    event->accept();
}

void PositionSlider::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void PositionSlider::mouseMoveEvent(QMouseEvent *event)
{
    if (mHeld)
        emit sig_Dragged(valueAt(event->pos().x()));
    QSlider::mouseMoveEvent(event);
}

void PositionSlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && mHeld) {
        mHeld = false;
        emit sig_Released();
    }
    QSlider::mouseReleaseEvent(event);
}
