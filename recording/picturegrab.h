#pragma once

#include <QImage>
#include <QString>

#include <atomic>

// The picture a recording shows at a position, decoded from the file itself
// at its full size: the key frame before the position, then the pictures up
// to the last whose time is at or before it (the first picture for a
// position before it). Pictures with non-square samples are stretched,
// never shrunk, to their shown shape. positionUs counts from the start of
// the recording, as the player's positions do.
//
// Local files only (openLocalInput). A null image when the file cannot be
// read or has no picture there; *error (when given) then says why. stop,
// when given and set, ends the work early (a null image). Thread-safe:
// calls share nothing.
QImage grabPicture(const QString &path, qint64 positionUs, QString *error,
                   const std::atomic<bool> *stop = nullptr);
