#include "tripscanner.h"

#include "gpspass.h"
#include "recordingprobe.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTrip, "velmora.trip")

namespace {

// Each side of the chosen file; a card holds a few hundred at most.
constexpr int kMostPartsEachWay = 200;

} // namespace

TripScanner::TripScanner(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<Trip>();
}

TripScanner::~TripScanner()
{
    if (mInterrupt)
        mInterrupt->store(true);
    mWork.stop();
}

quint64 TripScanner::scan(const QStringList &files, int index)
{
    if (mInterrupt)
        mInterrupt->store(true);
    mInterrupt = std::make_shared<std::atomic<bool>>(false);
    const quint64 ticket = ++mTicket;
    std::shared_ptr<std::atomic<bool>> interrupt = mInterrupt;
    mWork.post([this, files, index, ticket, interrupt] {
        const Trip trip = findTrip(files, index, [&](const QString &path) { return readPart(path, interrupt.get()); },
                                   interrupt.get());
        if (interrupt->load())
            return;
        qCDebug(lcTrip) << "drive of" << trip.partCount() << "files around" << files.value(index);
        // Queued: the scanner outlives its jobs (its destructor waits).
        QMetaObject::invokeMethod(this, [this, ticket, trip] { emit sig_Trip(ticket, trip); }, Qt::QueuedConnection);
    });
    return ticket;
}

TripPart TripScanner::readPart(const QString &path, const std::atomic<bool> *interrupt)
{
    TripPart part;
    part.path = path;
    VideoInfo info;
    if (!probeRecording(path, info) || info.duration <= 0)
        return part;
    part.durationUs = info.duration;
    auto track = std::make_shared<GpsTrack>();
    qint16 version = 0;
    const GpsPassResult result = runGpsPass(path, *track, version, interrupt);
    if (result.status == GpsPassResult::Ok && !result.interrupted) {
        part.track = track;
        part.gpsVersion = version;
        part.startMs = trackStartMs(*track);
    }
    if (part.startMs < 0) {
        const QDateTime modified = QFileInfo(path).lastModified();
        if (modified.isValid())
            part.startMs = modified.toMSecsSinceEpoch() - part.durationUs / 1000;
    }
    return part;
}

Trip TripScanner::findTrip(const QStringList &files, int index, const std::function<TripPart(const QString &)> &read,
                           const std::atomic<bool> *interrupt)
{
    if (index < 0 || index >= files.size())
        return Trip();
    const auto stopped = [interrupt] { return interrupt && interrupt->load(); };
    QVector<TripPart> parts{read(files[index])};
    for (int i = index + 1; i < files.size() && i <= index + kMostPartsEachWay && !stopped(); ++i) {
        TripPart next = read(files[i]);
        if (!followsOn(parts.last(), next))
            break;
        parts.append(std::move(next));
    }
    for (int i = index - 1; i >= 0 && i >= index - kMostPartsEachWay && !stopped(); --i) {
        TripPart earlier = read(files[i]);
        if (!followsOn(earlier, parts.first()))
            break;
        parts.prepend(std::move(earlier));
    }
    return Trip(std::move(parts));
}
