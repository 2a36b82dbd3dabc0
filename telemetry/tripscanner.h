#pragma once

#include "trip.h"
#include "workqueue.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>


// Reads the recordings around a chosen one, off the GUI thread, and reports
// the drive it belongs to (one part when nothing follows on).
class TripScanner : public QObject
{
    Q_OBJECT

public:
    explicit TripScanner(QObject *parent = nullptr);
    // Interrupts a scan under way and waits for it (its reads end promptly).
    ~TripScanner() override;

    // Scans files (the list, in order) around files[index]; a scan still
    // under way is interrupted. Returns the ticket its report carries.
    quint64 scan(const QStringList &files, int index);

    // One recording's part: its length, its track and when it started (by
    // its GPS time, else by the file's time less its length: a camera
    // closes the file after its last second).
    static TripPart readPart(const QString &path, const std::atomic<bool> *interrupt);
    // The run of files around index that follow on, read by read.
    static Trip findTrip(const QStringList &files, int index, const std::function<TripPart(const QString &)> &read,
                         const std::atomic<bool> *interrupt);

signals:
    void sig_Trip(quint64 ticket, Trip trip);

private:
    WorkQueue mWork;
    quint64 mTicket = 0;
    std::shared_ptr<std::atomic<bool>> mInterrupt;
};
