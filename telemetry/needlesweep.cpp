#include "needlesweep.h"

namespace {

// An angle in [-180, 180).
int wrapped(int angle)
{
    return ((angle + 180) % 360 + 360) % 360 - 180;
}

} // namespace

int NeedleSweep::nextAngle(int current, int target, bool circular)
{
    if (!circular)
        return current == target ? current : current + (target > current ? 1 : -1);
    const int ahead = wrapped(target - current); // clockwise distance, -180 when opposite
    if (ahead == 0)
        return wrapped(current);
    return wrapped(current + (ahead > 0 || ahead == -180 ? 1 : -1));
}

void NeedleSweep::setTargetAngle(int angle)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mTargetAngle.store(mCircular ? wrapped(angle) : angle, std::memory_order_relaxed);
    }
    mWake.notify_one();
}

void NeedleSweep::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop.store(true, std::memory_order_relaxed);
    }
    mWake.notify_one();
}

void NeedleSweep::run(const std::function<void(int)> &report)
{
    // The loop's last act, on every way out, is to pass through the mutex
    // that afterRun() takes.
    struct LastStep
    {
        std::mutex &mutex;
        ~LastStep() { std::lock_guard<std::mutex> lock(mutex); }
    } lastStep{mMutex};
    const auto stopped = [this] { return mStop.load(std::memory_order_relaxed); };
    while (!stopped()) {
        const int target = mTargetAngle.load(std::memory_order_relaxed);
        if (target == mCurrentAngle) {
            std::unique_lock<std::mutex> lock(mMutex);
            mWake.wait(lock, [&] {
                return stopped() || mTargetAngle.load(std::memory_order_relaxed) != mCurrentAngle;
            });
            continue;
        }
        mCurrentAngle = nextAngle(mCurrentAngle, target, mCircular);
        report(mCurrentAngle);
        // A new target is taken at the next step; only a stop cuts the step short.
        std::unique_lock<std::mutex> lock(mMutex);
        if (mWake.wait_for(lock, kNeedleStepInterval, stopped))
            return;
    }
}

void NeedleSweep::afterRun()
{
    std::lock_guard<std::mutex> lock(mMutex);
}
