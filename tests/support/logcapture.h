#pragma once

// Takes the lines of one logging category out of the test's output while it
// lives and keeps them, so that a test can check what was logged and what
// was not; it can also act on the first line that starts with a given text,
// on the thread that logs it. Captures nest: the innermost one of a category
// takes its lines, and the other categories pass on. Make one inside the
// test run (QtTest installs its own handler when the run starts).

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

class LogCapture
{
public:
    // keep false: the lines are only dropped (a test's quiet background).
    explicit LogCapture(const char *category, bool keep = true)
        : mCategory(category)
        , mKeep(keep)
    {
        QMutexLocker lock(&mutex());
        mOuter = std::exchange(innermost(), this);
        mPrevious = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        QMutexLocker lock(&mutex());
        qInstallMessageHandler(mPrevious);
        innermost() = mOuter;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return mLines;
    }
    int count(const QString &line) const { return lines().count(line); }
    bool has(const QString &line) const { return count(line) > 0; }
    bool hasPrefix(const QString &prefix) const
    {
        const QStringList all = lines();
        return std::any_of(all.begin(), all.end(), [&](const QString &line) { return line.startsWith(prefix); });
    }
    // For a failure message.
    QString text() const { return lines().join(QLatin1Char('|')); }
    // The lines so far, forgotten here.
    QStringList take()
    {
        QMutexLocker lock(&mutex());
        return std::exchange(mLines, {});
    }

    // Runs action once, on the first line from now on that starts with prefix.
    void onLine(const QString &prefix, std::function<void(const QString &)> action)
    {
        QMutexLocker lock(&mutex());
        mPrefix = prefix;
        mAction = std::move(action);
    }

private:
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static LogCapture *&innermost()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        std::function<void(const QString &)> action;
        QtMessageHandler forward = nullptr;
        {
            QMutexLocker lock(&mutex());
            LogCapture *taker = innermost();
            while (taker && !(context.category && std::strcmp(context.category, taker->mCategory) == 0))
                taker = taker->mOuter;
            if (taker) {
                if (taker->mAction && text.startsWith(taker->mPrefix))
                    action = std::exchange(taker->mAction, nullptr);
                if (taker->mKeep)
                    taker->mLines.append(text);
            } else {
                // What was there before the outermost capture.
                for (LogCapture *outer = innermost(); outer; outer = outer->mOuter)
                    forward = outer->mPrevious;
            }
        }
        if (action)
            action(text);
        if (forward)
            forward(type, context, text);
    }

    const char *mCategory;
    bool mKeep;
    LogCapture *mOuter = nullptr;
    QtMessageHandler mPrevious = nullptr;
    QStringList mLines;
    QString mPrefix;
    std::function<void(const QString &)> mAction;
};
