// filelist: a folder of recordings dropped on the file list panel, until
// every one is listed and stored, against reading them one after another
// on one thread (what a panel that reads on the GUI thread would freeze).

#include "bench.h"
#include "filelistinfo.h"
#include "formfilelist.h"
#include "sqloperate.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QUrl>

namespace bench {

namespace {

constexpr int kTickMs = 1; // the GUI thread's heartbeat
constexpr int kAddTimeoutMs = 600000;
constexpr double kStallTargetMs = 100.0;

// One small clip (60 s, 160x120, 30 fps) copied under camera-like names: quick to make, small on disk.
bool makeCard(const QString &dir, int count, bool regenerate)
{
    const QString movies = QDir(dir).filePath("DCIM/Movie");
    QDir().mkpath(movies);
    const QString clip = QDir(dir).filePath("clip-60s-160x120.mp4");
    fixture::AvSpec av;
    av.seconds = 60;
    av.width = 160;
    av.height = 120;
    av.fps = 30;
    QString error;
    if (!writeAs(clip, regenerate, [&](const QString &part) { return fixture::makeAvClip(part, av, &error); })) {
        out() << error << "\n";
        return false;
    }
    for (const QFileInfo &old : QDir(movies).entryInfoList(QDir::Files)) // copies of another clip
        if (old.size() != QFileInfo(clip).size())
            QFile::remove(old.filePath());
    for (int i = 0; i < count; ++i) {
        const QString name = QDir(movies).filePath("2025_0601_%1_F.MP4"_s.arg(80000 + i * 100, 6, 10, QChar('0')));
        if (!QFileInfo::exists(name) && !QFile::copy(clip, name))
            return false;
    }
    return true;
}

int run(const Options &o)
{
    const QString dir = o.str("dir");
    if (!makeCard(dir, o.integer("count"), o.flag("regenerate")))
        return 2;
    const QString movies = QDir(dir).filePath("DCIM/Movie");
    const QStringList files = QDir(movies).entryList({"*.MP4"}, QDir::Files);
    out() << files.size() << " copies of one 60 s 160x120 30 fps H.264/AAC clip in " << movies << "; "
          << QThreadPool::globalInstance()->maxThreadCount() << " worker threads" << Qt::endl;

    // The anchor: every file read in turn on one thread, warm cache.
    Stats one;
    for (const QString &file : files) {
        const Clock::time_point start = Clock::now();
        FileListInfo info;
        readFileListInfo(QDir(movies).filePath(file), info);
        one.add(msSince(start));
    }
    const QString db = QDir(dir).filePath("db");
    QDir().mkpath(db);
    Stats total, stall;
    std::vector<QStringList> rows;
    bool ok = true;
    for (int rep = 0; rep < o.integer("reps"); ++rep) {
        FormFileList panel(nullptr, db, "bench");
        panel.show();
        QCoreApplication::processEvents();
        Heartbeat beat(kTickMs);
        spinFor(50);
        beat.restart();
        const Clock::time_point start = Clock::now();
        panel.addDropped({QUrl::fromLocalFile(QDir(dir).filePath("DCIM"))}); // as a drop on the panel or the window
        const double dropMs = msSince(start);
        spinUntil([&] { return panel.pendingCount() == 0; }, kAddTimeoutMs);
        total.add(msSince(start));
        stall.add(std::max(0.0, beat.longestMs() - kTickMs));
        ok &= panel.rowCount() == files.size() && panel.database()->rowCount() == files.size();
        rows.push_back({QString::number(rep + 1), QString::number(panel.rowCount()),
                        QString::number(panel.database()->rowCount()), fixed(total.values.back(), 0),
                        fixed(stall.values.back(), 1), fixed(dropMs, 1)});
    }
    printTable({"run", "rows", "stored", "total ms", "longest GUI stall ms", "drop call ms"}, rows);
    out() << "adding " << files.size() << " recordings: median " << fixed(total.median(), 0) << " ms, longest GUI stall median "
          << fixed(stall.median(), 1) << " ms, worst " << fixed(stall.max(), 1)
          << " ms (target <= 100 ms: " << verdict(stall.max() <= kStallTargetMs) << ")\n"
          << "anchor, one after another on one thread: " << fixed(one.mean() * double(one.size()), 0) << " ms, slowest file "
          << fixed(one.max(), 1) << " ms\n";
    return !ok ? 3 : stall.max() <= kStallTargetMs ? 0 : 1;
}

} // namespace

const Scenario kFileList{
    "filelist", "adding a folder of recordings to the file list: total time, the GUI thread's longest stall",
    "filelist", {{"count", "200", "recordings"}, {"reps", "3", "repetitions"}},
    run,        Display::Offscreen,
};

} // namespace bench
