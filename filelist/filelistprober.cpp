#include "filelistprober.h"

#include <QElapsedTimer>
#include <QRunnable>
#include <QThread>

#include <deque>
#include <mutex>

namespace {

constexpr qint64 kReportSliceMs = 10; // longest run of reports before the event loop gets a turn
constexpr int kMinReaders = 2;        // threads at least: one read held up by a slow card must not hold up the rest

} // namespace

// What the workers share with one prober. Jobs and results cross threads
// under its mutex, never through the pool's own hand-over (a futex mutex
// ThreadSanitizer cannot see): the pool runs this object once per queued
// job, and each run takes the oldest job.
struct FileListProber::Shared : QRunnable
{
    struct Job
    {
        quint64 ticket = 0;
        QString path;
    };

    explicit Shared(Reader read)
        : reader(std::move(read))
    {
        setAutoDelete(false);
    }

    void run() override;

    const Reader reader;
    std::mutex mutex;                // guards what follows; every run ends holding it once more
    FileListProber *owner = nullptr; // null once the prober is going: results are dropped
    std::deque<Job> jobs;
    std::deque<Result> results;
};

void FileListProber::Shared::run()
{
    Job job;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (jobs.empty())
            return;
        job = std::move(jobs.front());
        jobs.pop_front();
    }
    Result result;
    result.ticket = job.ticket;
    result.ok = reader(job.path, result.info);
    std::lock_guard<std::mutex> lock(mutex);
    if (!owner)
        return;
    results.push_back(std::move(result));
    // Only a wake-up crosses through Qt; it is dropped if the prober goes first.
    QMetaObject::invokeMethod(owner, "takeResults", Qt::QueuedConnection);
}

FileListProber::FileListProber(QObject *parent, Reader reader)
    : QObject(parent)
    , mShared(std::make_unique<Shared>(std::move(reader)))
{
    registerFileListInfo();
    mShared->owner = this;
    mPool.setMaxThreadCount(qMax(kMinReaders, QThread::idealThreadCount()));
}

FileListProber::~FileListProber()
{
    std::size_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(mShared->mutex);
        mShared->owner = nullptr;
        dropped = mShared->jobs.size();
        mShared->jobs.clear();
    }
    if (dropped)
        qCDebug(lcFileList) << "probes dropped:" << dropped;
    mPool.clear();
    mPool.waitForDone();
    // The pool's wait is invisible to ThreadSanitizer; the mutex shows that
    // the workers are done with mShared before it goes.
    std::lock_guard<std::mutex> lock(mShared->mutex);
}

quint64 FileListProber::probe(const QString &path)
{
    const quint64 ticket = mNextTicket++;
    {
        std::lock_guard<std::mutex> lock(mShared->mutex);
        mShared->jobs.push_back(Shared::Job{ticket, path});
    }
    mPool.start(mShared.get());
    return ticket;
}

void FileListProber::takeResults()
{
    std::deque<Result> arrived;
    {
        std::lock_guard<std::mutex> lock(mShared->mutex);
        arrived.swap(mShared->results);
    }
    for (Result &result : arrived)
        mEarly.insert(result.ticket, std::move(result));
    // A receiver may process events while it handles one, and so come back
    // here: each report leaves the buffer before it is emitted. Many results
    // at once are reported over several turns of the event loop.
    QElapsedTimer turn;
    turn.start();
    while (mEarly.contains(mNextReport)) {
        if (turn.elapsed() >= kReportSliceMs) {
            QMetaObject::invokeMethod(this, "takeResults", Qt::QueuedConnection);
            return;
        }
        const Result result = mEarly.take(mNextReport);
        ++mNextReport;
        emit sig_Probed(result.ticket, result.info, result.ok);
    }
}
