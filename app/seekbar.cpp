#include "seekbar.h"

#include "positionslider.h"
#include "timetext.h"
#include "videoplayer.h"

#include <QLabel>

#include <utility>

namespace {

constexpr qint64 kMicroseconds = 1000000;

} // namespace

SeekBar::SeekBar(PositionSlider *slider, QLabel *current, QLabel *total, VideoPlayer *player,
                 std::function<int()> state, QObject *parent)
    : QObject(parent)
    , mSlider(slider)
    , mCurrent(current)
    , mTotal(total)
    , mPlayer(player)
    , mState(std::move(state))
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
    mPlayer->seek(microseconds);
    mSeekMade = true;
    mSlider->setValue(int(shownSecond));
}

void SeekBar::seekToSecond(qint64 second)
{
    const int state = mState();
    if ((state != 0 && state != 1) || mSlider->isHeld())
        return;
    second = qBound<qint64>(0, second, mPlayer->totalTime() / kMicroseconds);
    seekTo(second * kMicroseconds, second);
    mCurrent->setText(timeText(second));
}

void SeekBar::step(double seconds)
{
    const int state = mState();
    if ((state != 0 && state != 1) || mSlider->isHeld())
        return;
    const double from = mPlayer->seekWaiting() ? double(mPlayer->seekTarget()) / kMicroseconds : mPlayer->currentTime();
    const double target = qMax(0.0, from + seconds);
    if (seconds > 0 && target >= double(mPlayer->totalTime() / kMicroseconds)) {
        mPlayer->stop();
        return;
    }
    // While paused no tick moves the handle; the player shows the target picture.
    const qint64 second = qint64(target + 0.5);
    seekTo(qint64(target * kMicroseconds), second);
    mCurrent->setText(timeText(second));
}

void SeekBar::pressed(int second)
{
    if (mState() == 1) {
        mCurrent->setText(timeText(second));
        mPausedDrag = true;
        mPlayer->setIsMove(true);
    }
    if (second != mSlider->value())
        seekTo(qint64(second) * kMicroseconds, second);
}

void SeekBar::dragged(int second)
{
    if (mPausedDrag) {
        mCurrent->setText(timeText(second));
        mPlayer->setIsMove(true);
    }
    seekTo(qint64(second) * kMicroseconds, second);
}

void SeekBar::released()
{
    if (!mPausedDrag)
        return;
    mPausedDrag = false;
    mPlayer->setIsMove(false);
}

void SeekBar::sliderAction(int action)
{
    if (action == QAbstractSlider::SliderNoAction)
        return;
    const int target = mSlider->sliderPosition();
    const int state = mState();
    if ((state != 0 && state != 1) || mSlider->isHeld()) {
        mSlider->setSliderPosition(mSlider->value());
        return;
    }
    if (target == mSlider->value())
        return;
    mPlayer->seek(qint64(target) * kMicroseconds);
    mSeekMade = true;
    mCurrent->setText(timeText(target));
}
