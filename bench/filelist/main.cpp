// Adding a folder of recordings to the file list: total time until every
// row is listed and stored, and the longest the GUI thread went without
// running its event loop meanwhile. For comparison, in the same run: the
// same files read one after another on one thread, as a panel that reads on
// the GUI thread would freeze the window.

#include "filelistinfo.h"
#include "formfilelist.h"
#include "gpsfixture.h"
#include "sqloperate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kHeartbeatMs = 1; // the GUI thread's tick; a longer gap is a stall

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

// One clip, copied count times under camera-like names.
bool makeCard(const QString &dir, int count, double seconds, const QSize &size, QString *error)
{
    QDir card(dir);
    if (!card.mkpath(QStringLiteral("DCIM/Movie")))
        return false;
    const QString clip = card.filePath(QStringLiteral("clip-%1s-%2x%3.mp4").arg(seconds).arg(size.width()).arg(size.height()));
    if (!QFile::exists(clip)) {
        fixture::AvSpec av;
        av.seconds = seconds;
        av.width = size.width();
        av.height = size.height();
        av.fps = 30;
        const QString partial = clip + QStringLiteral(".part.mp4");
        if (!fixture::makeAvClip(partial, av, error) || !QFile::rename(partial, clip))
            return false;
    }
    // Copies of another clip (another size) are replaced.
    QDir movies(card.filePath(QStringLiteral("DCIM/Movie")));
    for (const QString &old : movies.entryList(QDir::Files)) {
        if (QFileInfo(movies.filePath(old)).size() != QFileInfo(clip).size())
            movies.remove(old);
    }
    for (int i = 0; i < count; ++i) {
        const QString name = card.filePath(QStringLiteral("DCIM/Movie/2025_0601_%1_F.MP4")
                                               .arg(80000 + i * 100, 6, 10, QLatin1Char('0')));
        if (!QFile::exists(name) && !QFile::copy(clip, name)) {
            *error = QStringLiteral("cannot copy to ") + name;
            return false;
        }
    }
    return true;
}

struct Run
{
    qint64 totalMs = 0;
    qint64 longestStallMs = 0; // longest gap between two heartbeats, less the beat
    qint64 dropCallMs = 0;     // the drop itself: walking the folder and queueing
    int rows = 0;
};

Run addFolder(const QString &card, const QString &dbFolder, int expected)
{
    FormFileList panel(nullptr, dbFolder, QStringLiteral("bench"));
    panel.show();
    QCoreApplication::processEvents();

    Run run;
    QElapsedTimer beat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(kHeartbeatMs);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        run.longestStallMs = std::max(run.longestStallMs, beat.restart() - kHeartbeatMs);
    });

    QElapsedTimer total;
    total.start();
    beat.start();
    heartbeat.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (panel.pendingCount() == 0)
            loop.quit();
    });
    poll.start(1);
    QElapsedTimer drop;
    drop.start();
    panel.addDropped({QUrl::fromLocalFile(card)});
    run.dropCallMs = drop.elapsed();
    run.longestStallMs = std::max(run.longestStallMs, beat.restart() - kHeartbeatMs);
    loop.exec();
    run.totalMs = total.elapsed();
    heartbeat.stop();
    run.rows = panel.rowCount();
    if (run.rows != expected || panel.database()->rowCount() != expected)
        std::fprintf(stderr, "listed %d rows, stored %d, expected %d\n", run.rows, panel.database()->rowCount(),
                     expected);
    return run;
}

template<typename T>
T median(QVector<T> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false\nvelmora.ffmpeg.warning=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Adding a folder of recordings to the file list."));
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("scratch folder"), QStringLiteral("dir"),
                                       QStringLiteral("/tmp/velmora_bench_filelist"));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("recordings (200)"),
                                         QStringLiteral("n"), QStringLiteral("200"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("length of each (60)"),
                                           QStringLiteral("s"), QStringLiteral("60"));
    const QCommandLineOption repsOption(QStringLiteral("reps"), QStringLiteral("repetitions (3)"), QStringLiteral("n"),
                                        QStringLiteral("3"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("picture size (160x120)"),
                                       QStringLiteral("WxH"), QStringLiteral("160x120"));
    parser.addOptions({dirOption, countOption, secondsOption, repsOption, sizeOption});
    parser.process(app);
    const QString dir = parser.value(dirOption);
    const int count = qMax(1, parser.value(countOption).toInt());
    const double seconds = qMax(1.0, parser.value(secondsOption).toDouble());
    const int reps = qMax(1, parser.value(repsOption).toInt());
    const QStringList wh = parser.value(sizeOption).split(QLatin1Char('x'));
    const QSize size(wh.value(0).toInt(), wh.value(1).toInt());
    if (size.width() < 16 || size.height() < 16) {
        std::fprintf(stderr, "--size: WxH, at least 16x16\n");
        return 2;
    }

    QString error;
    QElapsedTimer made;
    made.start();
    if (!makeCard(dir, count, seconds, size, &error)) {
        std::fprintf(stderr, "cannot make the recordings: %s\n", qPrintable(error));
        return 1;
    }
    const QString card = QDir(dir).filePath(QStringLiteral("DCIM"));
    std::printf("%d copies of one %.0f s %dx%d 30 fps H.264/AAC recording in %s (ready in %lld ms)\n", count,
                seconds, size.width(), size.height(), qPrintable(card), made.elapsed());
    std::printf("load average before: %s; worker threads: %d\n", qPrintable(loadAverage()),
                QThreadPool::globalInstance()->maxThreadCount());

    // Reference: every file read in turn on one thread, warm cache.
    const QStringList files = QDir(card + QStringLiteral("/Movie")).entryList({QStringLiteral("*.MP4")}, QDir::Files);
    qint64 sequentialMs = 0;
    qint64 slowestOneMs = 0;
    for (const QString &name : files) {
        QElapsedTimer one;
        one.start();
        FileListInfo info;
        readFileListInfo(card + QStringLiteral("/Movie/") + name, info);
        const qint64 ms = one.elapsed();
        sequentialMs += ms;
        slowestOneMs = std::max(slowestOneMs, ms);
    }

    const QString dbFolder = QDir(dir).filePath(QStringLiteral("db"));
    QDir().mkpath(dbFolder);
    QVector<qint64> totals;
    QVector<qint64> stalls;
    for (int rep = 0; rep < reps; ++rep) {
        const Run run = addFolder(card, dbFolder, files.size());
        std::printf("run %d: %d rows in %lld ms, longest GUI stall %lld ms (the drop call itself %lld ms)\n",
                    rep + 1, run.rows, run.totalMs, run.longestStallMs, run.dropCallMs);
        totals.append(run.totalMs);
        stalls.append(run.longestStallMs);
    }
    std::printf("\nadding %d recordings: median %lld ms total, longest GUI stall median %lld ms, worst %lld ms "
                "(target <= 100 ms)\n",
                int(files.size()), median(totals), median(stalls), *std::max_element(stalls.begin(), stalls.end()));
    std::printf("reading them one after another on one thread: %lld ms, slowest file %lld ms "
                "(a panel reading on the GUI thread would freeze that long)\n",
                sequentialMs, slowestOneMs);
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    return 0;
}
