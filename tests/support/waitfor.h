#pragma once

#include <QElapsedTimer>
#include <QTest>

#include <functional>

// Processes events until the condition holds or the time is up; returns the
// condition. Things that happen in real time get a generous bound, so that a
// hang fails the test instead of blocking the suite.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return condition();
}
