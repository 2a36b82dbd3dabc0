#pragma once

#include <QTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

// Ends the test executable with the test's name when a call it guards does
// not return in time: a hang becomes a failure that says where, instead of
// a suite that waits for its timeout.
class Watchdog
{
public:
    Watchdog(const char *what, int timeoutMs)
        : mWhat(what)
        , mTest(QTest::currentTestFunction() ? QTest::currentTestFunction() : "?")
    {
        mThread = std::thread([this, timeoutMs] {
            std::unique_lock<std::mutex> lock(mMutex);
            if (!mCondition.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return mDone; })) {
                std::fprintf(stderr, "FAIL!  : %s: %s did not return within %d ms\n", mTest.c_str(), mWhat.c_str(),
                             timeoutMs);
                std::fflush(stderr);
                std::abort();
            }
        });
    }

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mDone = true;
        }
        mCondition.notify_all();
        mThread.join();
    }

    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::string mWhat;
    std::string mTest;
    std::mutex mMutex;
    std::condition_variable mCondition;
    bool mDone = false;
    std::thread mThread;
};

// Runs call() under a watchdog and returns its result.
template<typename Call>
auto guarded(const char *what, Call call, int timeoutMs = 20000)
{
    Watchdog watchdog(what, timeoutMs);
    return call();
}
