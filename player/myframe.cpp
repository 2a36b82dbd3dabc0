#include "myframe.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QResizeEvent>

#include <utility>

Q_LOGGING_CATEGORY(lcSurface, "velmora.surface")

MyFrame::MyFrame(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("MyFrame"));
    setWindowTitle(QStringLiteral("Frame"));
    setFrameShadow(QFrame::Raised);
    setFrameShape(QFrame::StyledPanel);
    // Every pixel is painted below: the panels' styled backgrounds under the
    // surface need not be drawn again for each picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(400, 300);
}

void MyFrame::slotGetImage(QImage image)
{
    const QString serial = image.text(QStringLiteral("serial"));
    if (!image.isNull() && serial != mSerial) {
        mSerial = serial;
        mFirstOfOpen = true;
    }
    mImage = image;
    update();
}

void MyFrame::setMirror(bool state)
{
    mMirror = state;
}

bool MyFrame::getMirror() const
{
    return mMirror;
}

void MyFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (mImage.width() <= 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Pictures usually arrive at the surface's size already; scaling is then free.
    QImage shown = mImage.scaled(size(), Qt::KeepAspectRatio, Qt::FastTransformation);
    if (mMirror)
        shown = shown.mirrored(true, false);
    const QRect picture(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown.size());
    if (shown.hasAlphaChannel())
        painter.fillRect(picture, Qt::black);
    painter.drawImage(picture.topLeft(), shown);
    // Launch and opening are timed to this line.
    if (std::exchange(mFirstOfOpen, false))
        qCDebug(lcSurface) << "first picture painted, serial" << mSerial;
    // Black only where the picture does not cover: the bars.
    const QRegion bars = QRegion(rect()).subtracted(picture);
    for (const QRect &bar : bars)
        painter.fillRect(bar, Qt::black);
}

void MyFrame::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    emit sizeChanged(event->size());
}
