#include "myslider.h"

#include <QLoggingCategory>
#include <QMouseEvent>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

myslider::myslider(QWidget *parent)
    : QSlider(parent)
{
}

void myslider::mousePressEvent(QMouseEvent *event)
{
    QSlider::mousePressEvent(event);
    if (width() <= 0)
        return;
    const int lo = minimum();
    const int hi = maximum();
    const int value = int(lo + double(event->pos().x()) / width() * (hi - lo));
    qCDebug(lcWindow) << "mySliderClicked:" << value;
    setValue(value);
    emit mySliderClicked(value);
}
