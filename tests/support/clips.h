#pragma once

#include "gpsfixture.h"

#include <QFile>
#include <QStringList>

namespace clips {

// A clip of seconds at w×h with sound; with records > 0 it carries an
// authenticated GPS track of that many seconds starting at start.
inline bool make(const QString &path, double seconds, int w, int h, int records = 0, QString *error = nullptr,
                 fixture::DriveSpec drive = fixture::DriveSpec())
{
    fixture::AvSpec av;
    av.seconds = seconds;
    av.width = w;
    av.height = h;
    av.gop = 25;
    if (records <= 0)
        return fixture::makeAvClip(path, av, error);
    const QString plain = path + QStringLiteral(".plain.mp4");
    drive.records = records;
    const bool made = fixture::makeAvClip(plain, av, error)
                      && fixture::addGpsBox(plain, path, fixture::gpsPayloads(fixture::makeDrive(drive)),
                                            fixture::GpsBoxOptions(), error);
    QFile::remove(plain);
    return made;
}

// A drive the camera cut into count files of seconds each in dir
// (drive0.mp4, ...), their GPS times following on; empty on failure.
inline QStringList makeDrive(const QString &dir, int count, int seconds, QString *error = nullptr)
{
    QStringList parts;
    fixture::DriveSpec drive;
    for (int i = 0; i < count; ++i) {
        const QString path = dir + QStringLiteral("/drive%1.mp4").arg(i);
        if (!make(path, seconds, 320, 180, seconds, error, drive))
            return {};
        parts << path;
        drive.start = drive.start.addSecs(seconds);
        drive.startLatitude += 0.5f;
    }
    return parts;
}

} // namespace clips
