#include "filelistprober.h"

#include "recordinglog.h"

#include <QElapsedTimer>
#include <QRunnable>
#include <QThreadPool>

#include <atomic>
#include <deque>
#include <mutex>

// What the workers share with one prober. Everything crossing threads goes
// through its mutex (or the job queue's), never through the pool's own
// hand-over, so that ThreadSanitizer sees every hand-over.
struct FileListProber::Shared
{
    Reader reader;                 // set before the first job, then only read
    std::atomic<bool> gone{false}; // the prober is destroyed: jobs not started are skipped
    std::mutex mutex;              // guards owner and results
    FileListProber *owner = nullptr;
    std::deque<Result> results;
};

namespace {

constexpr qint64 kReportSliceMs = 10; // longest run of reports before the event loop gets a turn

struct Job
{
    std::shared_ptr<FileListProber::Shared> shared;
    quint64 ticket = 0;
    QString path;
};

// One queue for the process; a pool thread takes the oldest job. Never
// destroyed, so a read still running at exit finds it.
struct JobQueue
{
    std::mutex mutex;
    std::deque<Job> jobs;
};

JobQueue &jobQueue()
{
    static JobQueue *queue = new JobQueue;
    return *queue;
}

void runOneJob()
{
    Job job;
    {
        JobQueue &queue = jobQueue();
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (queue.jobs.empty())
            return;
        job = std::move(queue.jobs.front());
        queue.jobs.pop_front();
    }
    FileListProber::Shared &shared = *job.shared;
    if (shared.gone)
        return;
    FileListProber::Result result;
    result.ticket = job.ticket;
    result.ok = shared.reader(job.path, result.info);
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.owner)
        return;
    shared.results.push_back(std::move(result));
    // Only a wake-up crosses through Qt; it is dropped if the prober goes first.
    QMetaObject::invokeMethod(shared.owner, "takeResults", Qt::QueuedConnection);
}

} // namespace

FileListProber::FileListProber(QObject *parent, Reader reader)
    : QObject(parent)
    , mShared(std::make_shared<Shared>())
{
    registerFileListInfo();
    installFfmpegLogHandler();
    mShared->reader = std::move(reader);
    mShared->owner = this;
}

FileListProber::~FileListProber()
{
    mShared->gone = true;
    std::lock_guard<std::mutex> lock(mShared->mutex);
    mShared->owner = nullptr;
}

quint64 FileListProber::probe(const QString &path)
{
    const quint64 ticket = mNextTicket++;
    {
        JobQueue &queue = jobQueue();
        std::lock_guard<std::mutex> lock(queue.mutex);
        queue.jobs.push_back(Job{mShared, ticket, path});
    }
    QThreadPool::globalInstance()->start(QRunnable::create(&runOneJob));
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
