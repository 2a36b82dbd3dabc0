#include "workqueue.h"

void WorkQueue::post(std::function<void()> job)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mQuit)
        return;
    mJobs.push_back(std::move(job));
    if (!mThread.joinable())
        mThread = std::thread([this] { loop(); });
    mWake.notify_one();
}

void WorkQueue::stop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mJobs.clear();
        mQuit = true;
        mWake.notify_one();
    }
    if (mThread.joinable())
        mThread.join();
}

void WorkQueue::loop()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mMutex);
            mWake.wait(lock, [this] { return mQuit || !mJobs.empty(); });
            if (mQuit)
                return;
            job = std::move(mJobs.front());
            mJobs.pop_front();
        }
        job();
    }
}
