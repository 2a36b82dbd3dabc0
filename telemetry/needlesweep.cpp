#include "needlesweep.h"

void NeedleSweep::setTargetAngle(int angle)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mTargetAngle.store(angle, std::memory_order_relaxed);
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
        while (mCurrentAngle != target) {
            mCurrentAngle += target > mCurrentAngle ? 1 : -1;
            report(mCurrentAngle);
            // A new target does not cut the step short; only a stop does.
            std::unique_lock<std::mutex> lock(mMutex);
            if (mWake.wait_for(lock, kNeedleStepInterval, stopped))
                return;
        }
    }
}

void NeedleSweep::afterRun()
{
    std::lock_guard<std::mutex> lock(mMutex);
}
