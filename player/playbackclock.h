#pragma once

#include "speedclock.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// Microseconds of the wall clock: the time base of the playback clocks.
int64_t wallClockUs();

// Where a player's playback stands, published for players that show the
// same moment beside it (another camera, a drive's next file). The owner
// changes it at its control operations and keeps it in step with its own
// clock (the sound's, else the wall clock) from its video thread; between
// samples it runs on at its speed. Readers on any thread never wait for the
// owner and never make it wait.
class PlaybackClock
{
public:
    // The position (media s) at wall time wallUs; a paused clock stands.
    double at(int64_t wallUs) const;

    // The owner's changes of course (a play, a pause, a seek, a speed): each
    // starts a new epoch.
    void moveTo(int64_t us, double media);
    void pause(int64_t us);
    void resume(int64_t us);
    void setSpeed(int64_t us, double speed);
    // Owner: the epoch a sample taken from now on belongs to.
    uint64_t epoch() const;
    // Owner: its clock read `media` at us, in `epoch`. A running clock goes
    // on from there, so that readers keep the sound's real pace; a sample
    // from before a change (the place before a pause or a seek) is dropped.
    void track(uint64_t epoch, int64_t us, double media);

private:
    template <typename Change>
    void change(Change apply);
    void publish();

    mutable std::mutex mWriter; // the owner's threads, one at a time; readers never take it
    SpeedClock mClock;          // under mWriter
    uint64_t mEpoch = 0;        // under mWriter
    // The copy readers take, under a sequence count that is odd while the
    // copy is being written: a reader that saw it change reads again.
    std::atomic<uint32_t> mSequence{0};
    std::atomic<int64_t> mAnchorUs{0};
    std::atomic<double> mAnchorMedia{0.0};
    std::atomic<double> mSpeed{1.0};
    std::atomic<bool> mRunning{false};
};
