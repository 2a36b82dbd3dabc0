#pragma once

#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QRectF>
#include <QString>

#include <future>

class QEvent;
class QObject;
class QWidget;

// Paints a needle image over a dial widget, turned about the widget's centre.
// The dial image is the widget's styled background, drawn by the toolkit
// before the paint event; the needle goes on top. The owner's event filter
// hands over the dial's events; the owner calls dial->update() when the
// angle changes, or dial->update(needleRect(old) | needleRect(new)).
class NeedlePainter
{
public:
    // needlePath: a square image with its pivot at the centre, read once,
    // beside the window's construction (the first paint takes it). A
    // missing image draws nothing.
    NeedlePainter(QWidget *dial, const QString &needlePath);
    ~NeedlePainter();

    // For a paint event of the dial: paints the needle at angle (degrees,
    // clockwise on screen) and returns true, the event being consumed.
    // Returns false for any other event or object.
    bool handleEvent(QObject *watched, QEvent *event, int angle) const;

    // The part of the dial the needle covers at angle (degrees), in the
    // dial's pixels: where it was and where it goes is all a step repaints.
    // Empty when the image has nothing visible.
    QRect needleRect(int angle) const;

    QWidget *dial() const { return mDial; }

private:
    struct Read
    {
        QImage image;
        QRectF visible;
    };

    void paint(int angle) const;
    // The read image, waiting for it the first time.
    void take() const;

    QWidget *mDial;
    QString mPath;
    mutable std::future<Read> mReading;
    mutable QPixmap mNeedle;
    mutable QRectF mVisible; // the needle image's pixels that are not transparent, in image pixels
};
