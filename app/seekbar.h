#pragma once

#include <QObject>

class PositionSlider;
class QLabel;
class PlaybackSession;

// The position slider and the time labels beside it, and the seeks they
// make: a click or a drag puts the picture where the handle is, keys and
// the wheel step it, Left and Right step five seconds. A drag while paused
// shows each position's picture until the button comes up.
class SeekBar : public QObject
{
    Q_OBJECT

public:
    // The session's timeline: a drive's, or the open file's.
    SeekBar(PositionSlider *slider, QLabel *current, QLabel *total, PlaybackSession *session,
            QObject *parent = nullptr);

    // The length of the open file (µs): the slider's range and the total time.
    void setTotal(qint64 microseconds);
    // Handle and current time back to 0, and the total time when asked.
    void clear(bool total);
    // A tick while playing: the handle (unless held) and the time follow.
    void showPlaying(qint64 second);
    // A step of the position, from the last target when steps come faster
    // than the player seeks; forward past the end stops playback.
    void step(double seconds);
    // To a second the user pointed at elsewhere (the chart, the route),
    // held to the open file.
    void seekToSecond(qint64 second);
    // The slider's own key and wheel steps (actionTriggered).
    void sliderAction(int action);

    // Paused and the handle held: the picture follows the drag.
    bool isPausedDrag() const { return mPausedDrag; }
    // Whether a seek was made since the last call.
    bool takeSeek();

private:
    void pressed(int second);
    void dragged(int second);
    void released();
    void seekTo(qint64 microseconds, qint64 shownSecond);

    PositionSlider *mSlider;
    QLabel *mCurrent;
    QLabel *mTotal;
    PlaybackSession *mSession;
    bool mPausedDrag = false;
    bool mSeekMade = false; // a seek since the last takeSeek()
};
