#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs jobs one at a time, in the order posted, on a thread of its own
// (started with the first job). Jobs cross to it under a mutex that
// ThreadSanitizer sees, unlike QThreadPool's own hand-over.
class WorkQueue
{
public:
    WorkQueue() = default;
    WorkQueue(const WorkQueue &) = delete;
    WorkQueue &operator=(const WorkQueue &) = delete;
    ~WorkQueue() { stop(); }

    void post(std::function<void()> job);
    // Drops the jobs still waiting and waits for the one running: its
    // owner makes it end promptly first.
    void stop();

private:
    void loop();

    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mJobs;
    bool mQuit = false;
    std::thread mThread;
};
