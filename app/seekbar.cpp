#include "seekbar.h"

#include "positionslider.h"
#include "timetext.h"
#include "playbacksession.h"

#include <QLabel>

#include <utility>

namespace {

constexpr qint64 kMicroseconds = 1000000;

} // namespace

SeekBar::SeekBar(PositionSlider *slider, QLabel *current, QLabel *total, PlaybackSession *session,
                 QObject *parent)
    : QObject(parent)
    , mSlider(slider)
    , mCurrent(current)
    , mTotal(total)
    , mSession(session)
{
    connect(mSlider, &PositionSlider::sig_Pressed, this, &SeekBar::pressed);
    connect(mSlider, &PositionSlider::sig_Dragged, this, &SeekBar::dragged);
    connect(mSlider, &PositionSlider::sig_Released, this, &SeekBar::released);
}

void SeekBar::setTotal(qint64 microseconds)
{
    const qint64 seconds = microseconds / kMicroseconds;
    mSlider->setRange(0, int(seconds));
    mTotal->setText(timeText(seconds));
}

void SeekBar::clear(bool total)
{
    mSlider->setValue(0);
    mCurrent->setText(QStringLiteral("00:00:00"));
    if (total)
        mTotal->setText(QStringLiteral("00:00:00"));
}

void SeekBar::showPlaying(qint64 second)
{
    if (!mSlider->isHeld())
        mSlider->setValue(int(second));
    mCurrent->setText(timeText(second));
}

bool SeekBar::takeSeek()
{
    return std::exchange(mSeekMade, false);
}

void SeekBar::seekTo(qint64 microseconds, qint64 shownSecond)
{
    mSession->seek(microseconds);
    mSeekMade = true;
    mSlider->setValue(int(shownSecond));
}

void SeekBar::seekToSecond(qint64 second)
{
    const int state = mSession->state();
    if ((state != PlaybackSession::Playing && state != PlaybackSession::Paused) || mSlider->isHeld())
        return;
    second = qBound<qint64>(0, second, mSession->length() / kMicroseconds);
    seekTo(second * kMicroseconds, second);
    mCurrent->setText(timeText(second));
}

void SeekBar::step(double seconds)
{
    const int state = mSession->state();
    if ((state != PlaybackSession::Playing && state != PlaybackSession::Paused) || mSlider->isHeld())
        return;
    const double from = mSession->seekWaiting() ? double(mSession->seekTarget()) / kMicroseconds : mSession->position();
    const double target = qMax(0.0, from + seconds);
    if (seconds > 0 && target >= double(mSession->length() / kMicroseconds)) {
        mSession->stop();
        return;
    }
    // While paused no tick moves the handle; the player shows the target picture.
    const qint64 second = qint64(target + 0.5);
    seekTo(qint64(target * kMicroseconds), second);
    mCurrent->setText(timeText(second));
}

void SeekBar::pressed(int second)
{
    if (mSession->state() == PlaybackSession::Paused) {
        mCurrent->setText(timeText(second));
        mPausedDrag = true;
        mSession->setDragging(true);
    }
    if (second != mSlider->value())
        seekTo(qint64(second) * kMicroseconds, second);
}

void SeekBar::dragged(int second)
{
    if (mPausedDrag) {
        mCurrent->setText(timeText(second));
        mSession->setDragging(true);
    }
    seekTo(qint64(second) * kMicroseconds, second);
}

void SeekBar::released()
{
    if (!mPausedDrag)
        return;
    mPausedDrag = false;
    mSession->setDragging(false);
}

void SeekBar::sliderAction(int action)
{
    if (action == QAbstractSlider::SliderNoAction)
        return;
    const int target = mSlider->sliderPosition();
    const int state = mSession->state();
    if ((state != PlaybackSession::Playing && state != PlaybackSession::Paused) || mSlider->isHeld()) {
        mSlider->setSliderPosition(mSlider->value());
        return;
    }
    if (target == mSlider->value())
        return;
    mSession->seek(qint64(target) * kMicroseconds);
    mSeekMade = true;
    mCurrent->setText(timeText(target));
}
