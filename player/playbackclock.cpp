#include "playbackclock.h"

#include <algorithm>
#include <thread>

double PlaybackClock::at(int64_t wallUs) const
{
    // Acquire loads keep the fields between the two looks at the count.
    SpeedClock clock;
    for (;;) {
        const uint32_t before = mSequence.load(std::memory_order_acquire);
        clock.anchorUs = mAnchorUs.load(std::memory_order_acquire);
        clock.anchorMedia = mAnchorMedia.load(std::memory_order_acquire);
        clock.speed = mSpeed.load(std::memory_order_acquire);
        clock.running = mRunning.load(std::memory_order_acquire);
        if (!(before & 1) && mSequence.load(std::memory_order_acquire) == before)
            return clock.mediaAt(wallUs);
        // The owner is between a few stores; it may have been preempted there.
        std::this_thread::yield();
    }
}

// Under mWriter. Release stores: a reader that sees any field new also sees
// the count odd.
void PlaybackClock::publish()
{
    const uint32_t sequence = mSequence.load(std::memory_order_relaxed);
    mSequence.store(sequence + 1, std::memory_order_relaxed);
    mAnchorUs.store(mClock.anchorUs, std::memory_order_release);
    mAnchorMedia.store(mClock.anchorMedia, std::memory_order_release);
    mSpeed.store(mClock.speed, std::memory_order_release);
    mRunning.store(mClock.running, std::memory_order_release);
    mSequence.store(sequence + 2, std::memory_order_release);
}

template <typename Change>
void PlaybackClock::change(Change apply)
{
    std::lock_guard<std::mutex> lock(mWriter);
    ++mEpoch;
    apply(mClock);
    publish();
}

void PlaybackClock::moveTo(int64_t us, double media)
{
    change([&](SpeedClock &clock) { clock.moveTo(us, media); });
}

void PlaybackClock::pause(int64_t us)
{
    change([&](SpeedClock &clock) { clock.pause(us); });
}

void PlaybackClock::resume(int64_t us)
{
    change([&](SpeedClock &clock) { clock.resume(us); });
}

void PlaybackClock::setSpeed(int64_t us, double speed)
{
    change([&](SpeedClock &clock) { clock.setSpeed(us, speed); });
}

uint64_t PlaybackClock::epoch() const
{
    std::lock_guard<std::mutex> lock(mWriter);
    return mEpoch;
}

void PlaybackClock::track(uint64_t epoch, int64_t us, double media)
{
    std::lock_guard<std::mutex> lock(mWriter);
    if (epoch != mEpoch || !mClock.running)
        return;
    mClock.moveTo(std::max(us, mClock.anchorUs), media);
    publish();
}
