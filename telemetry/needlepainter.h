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

// Paints a dial face and a needle image over a dial widget, in the largest
// square centred in it (the face), the needle turned about its centre: the
// dial keeps its shape whatever size the layout gives the widget. The
// widget's styled background is drawn by the toolkit before the paint
// event. The owner's event filter hands over the dial's events; the owner
// calls dial->update() when the angle changes, or
// dial->update(needleRect(old) | needleRect(new)).
class NeedlePainter
{
public:
    // needlePath, facePath: square images with the pivot at their centre,
    // read once, beside the window's construction (the first paint takes
    // them). A missing image, or no facePath, draws nothing of it.
    NeedlePainter(QWidget *dial, const QString &needlePath, const QString &facePath = QString());
    ~NeedlePainter();

    // For a paint event of the dial: paints the face and, when needle, the
    // needle at angle (degrees, clockwise on screen) and returns true, the
    // event being consumed. Returns false for any other event or object.
    bool handleEvent(QObject *watched, QEvent *event, int angle, bool needle = true) const;

    // The square the dial is drawn in, in the dial's pixels.
    QRect face() const;

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
        QImage face;
    };

    void paint(int angle, bool needle) const;
    // The read image, waiting for it the first time.
    void take() const;

    QWidget *mDial;
    QString mPath;
    mutable std::future<Read> mReading;
    mutable QPixmap mNeedle;
    mutable QImage mFace;       // as read
    mutable QPixmap mFaceShown; // scaled to the face's size at the last paint
    mutable QRectF mVisible; // the needle image's pixels that are not transparent, in image pixels
};
