#pragma once

// Helpers shared by the recording tests.

#include "gpsrecord.h"

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <utility>

namespace testsupport {

// Keeps the recording's debug lines (one per box walked) out of the test
// output and, while a RecordingLog is alive, collects them so that a test
// can check what was logged and what was not. Other messages pass on.
class RecordingLog
{
public:
    // From the first call on, "velmora.*" debug lines are dropped.
    static void quiet()
    {
        QMutexLocker lock(&mutex());
        if (!installed()) {
            previous() = qInstallMessageHandler(&RecordingLog::handler);
            installed() = true;
        }
    }

    RecordingLog()
    {
        quiet();
        QMutexLocker lock(&mutex());
        store().clear();
        capturing() = true;
    }
    ~RecordingLog()
    {
        QMutexLocker lock(&mutex());
        capturing() = false;
    }
    RecordingLog(const RecordingLog &) = delete;
    RecordingLog &operator=(const RecordingLog &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return store();
    }
    int count(const QString &line) const { return lines().count(line); }
    bool has(const QString &line) const { return count(line) > 0; }
    bool hasPrefix(const QString &prefix) const
    {
        for (const QString &line : lines()) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }

private:
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList &store()
    {
        static QStringList lines;
        return lines;
    }
    static bool &capturing()
    {
        static bool on = false;
        return on;
    }
    static bool &installed()
    {
        static bool done = false;
        return done;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        const bool ours = type == QtDebugMsg && context.category
                          && std::strncmp(context.category, "velmora.", 8) == 0;
        QtMessageHandler forward = nullptr;
        {
            QMutexLocker lock(&mutex());
            if (ours && capturing() && std::strcmp(context.category, "velmora.recording") == 0)
                store().append(text);
            forward = previous();
        }
        if (!ours && forward)
            forward(type, context, text);
    }
};

// Runs f on a worker thread and aborts the test program when it has not
// returned within `seconds`: a malformed file must never make a reader spin.
template<typename F>
auto finishesWithin(int seconds, F f) -> decltype(f())
{
    using Result = decltype(f());
    std::packaged_task<Result()> task(std::move(f));
    std::future<Result> done = task.get_future();
    std::thread worker(std::move(task));
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready)
        qFatal("still running after %d s: the reader does not end on this input", seconds);
    worker.join();
    return done.get();
}

inline std::unique_ptr<GpsTrack> newTrack()
{
    return std::make_unique<GpsTrack>();
}

// What a previous file leaves behind: a full, valid track of recognisable bytes.
inline void fillWithPreviousFile(GpsTrack &track)
{
    GpsRecord stale;
    std::memset(&stale, 0x5A, sizeof stale);
    track.records.assign(1024, stale);
    track.valid = true;
}

inline bool isZeroRecord(const GpsRecord &record)
{
    static const GpsRecord zero{};
    return std::memcmp(&record, &zero, sizeof zero) == 0;
}

inline bool writeBytes(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace testsupport
