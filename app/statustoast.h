#pragma once

#include <QLabel>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QTimer;

// A short line over the top of the picture that says what just happened
// ("Picture saved to ...") and fades away by itself: no popup to close, no
// focus taken, clicks pass through. Screen readers get its text as the
// label's own and are told when it changes.
class StatusToast : public QLabel
{
    Q_OBJECT

public:
    // picture: the widget it lies over, its parent.
    explicit StatusToast(QWidget *picture);

    // Shows text at once (replacing one still showing) for a few seconds.
    void showText(const QString &text);
    // Where, in picture's coordinates, a one-line status line ends: what
    // else lies over the picture keeps below it.
    static int lineBottom(const QWidget *picture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QGraphicsOpacityEffect *mOpacity;
    QPropertyAnimation *mFade;
    QTimer *mHold; // how long the text stands before it fades
};
