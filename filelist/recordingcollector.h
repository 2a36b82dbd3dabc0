#pragma once

#include "droppedrecordings.h"
#include "workqueue.h"

#include <QObject>

#include <atomic>

// Collects what additions to the file list name (collectRecordings) on a
// thread of its own, one addition at a time in the order asked, so that a
// folder's walk never holds up the window, and reports each by a queued
// signal.
class RecordingCollector : public QObject
{
    Q_OBJECT

public:
    explicit RecordingCollector(QObject *parent = nullptr);
    // Stops, and waits for the walk under way: it ends at its next name.
    ~RecordingCollector() override;

    // Reported after every addition asked for before it.
    void collect(const QStringList &named, NamedBy by);
    // For good: the walk under way ends early, nothing more is reported.
    void stop();
    // Additions asked for and not yet reported.
    int pending() const { return mPending; }

signals:
    void sig_Collected(const DroppedRecordings &found);

private:
    std::atomic<bool> mStop{false};
    int mPending = 0; // GUI thread
    WorkQueue mWork; // last: it goes first, and its jobs use the members above
};
