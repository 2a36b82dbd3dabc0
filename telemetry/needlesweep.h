#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// One degree per step: about 33°/s, a full 270° gauge sweep in 8.1 s.
constexpr std::chrono::milliseconds kNeedleStepInterval{30};

// The needle animation shared by the gauge and compass threads. The needle
// walks 1° per step towards the newest target, turning at once when a new
// one comes; a compass needle goes the short way round. While the needle
// stands on its target nothing runs until a new target or a stop.
class NeedleSweep
{
public:
    // circular: a compass, whose angles are taken in [-180, 180).
    explicit NeedleSweep(bool circular = false)
        : mCircular(circular)
    {
    }

    // The needle's angle one step from current towards target: on a dial
    // the straight way, on a compass the short way round, clockwise when
    // both ways are as long; the result in [-180, 180) there.
    static int nextAngle(int current, int target, bool circular);
    NeedleSweep(const NeedleSweep &) = delete;
    NeedleSweep &operator=(const NeedleSweep &) = delete;

    // Degrees; any thread.
    void setTargetAngle(int angle);
    // Ends run() at once, also in the middle of a sweep; any thread.
    void requestStop();

    // The animation loop: calls report with each new angle (degrees) on the
    // calling thread until requestStop(). Returns at once if already stopped.
    void run(const std::function<void(int)> &report);

    // Call once the thread that ran run() has ended (QThread::wait()): its
    // last steps then visibly come before whatever follows, also for thread
    // checkers, which cannot see into QThread's own join.
    void afterRun();

private:
    // Waits happen under mMutex and the flags change under it, so a change
    // made between a check and the wait cannot be missed.
    std::mutex mMutex;
    std::condition_variable mWake;
    std::atomic<int> mTargetAngle{0}; // degrees
    std::atomic<bool> mStop{false};
    const bool mCircular;
    int mCurrentAngle = 0;            // degrees, the angle last reported; run() only
};
