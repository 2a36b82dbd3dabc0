#include "recordingcollector.h"

#include <utility>

RecordingCollector::RecordingCollector(QObject *parent)
    : QObject(parent)
{
}

RecordingCollector::~RecordingCollector()
{
    stop();
    mWork.stop();
}

void RecordingCollector::collect(const QStringList &named, NamedBy by)
{
    if (mStop.load())
        return;
    ++mPending;
    mWork.post([this, named, by] {
        DroppedRecordings found = collectRecordings(named, by, &mStop);
        // Queued: this object outlives its jobs (its destructor waits).
        QMetaObject::invokeMethod(
            this,
            [this, found = std::move(found)] {
                if (mStop.load())
                    return;
                --mPending;
                emit sig_Collected(found);
            },
            Qt::QueuedConnection);
    });
}

void RecordingCollector::stop()
{
    mStop.store(true);
    mPending = 0;
}
