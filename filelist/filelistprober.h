#pragma once

#include "filelistinfo.h"

#include <QHash>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <memory>

// Reads recordings for the file list on worker threads of its own
// (readFileListInfo) and hands the results to its own thread in the order
// they were asked for. Destroying it drops the recordings not yet started
// and waits for the reads running, at most one per thread; their results
// are dropped.
class FileListProber : public QObject
{
    Q_OBJECT

public:
    // Reads one recording; runs on a worker thread.
    using Reader = std::function<bool(const QString &path, FileListInfo &info)>;

    explicit FileListProber(QObject *parent = nullptr, Reader reader = readFileListInfo);
    ~FileListProber() override;

    // Queues one recording; returns its ticket, one more than the last.
    quint64 probe(const QString &path);
    // Tickets asked for and not yet reported.
    int pending() const { return int(mNextTicket - mNextReport); }

    // The workers' side (filelistprober.cpp).
    struct Shared;
    struct Result
    {
        quint64 ticket = 0;
        FileListInfo info;
        bool ok = false;
    };

signals:
    // One per ticket, in ticket order; ok false when it cannot be played.
    void sig_Probed(quint64 ticket, FileListInfo info, bool ok);

private slots:
    void takeResults();

private:
    std::unique_ptr<Shared> mShared;
    QThreadPool mPool; // runs mShared once per queued recording; after it, so that it goes first
    quint64 mNextTicket = 1;  // the ticket the next probe gets
    quint64 mNextReport = 1;  // the ticket reported next
    QHash<quint64, Result> mEarly; // results waiting for an earlier ticket
};
