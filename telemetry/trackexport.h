#pragma once

// Text forms of a recording's GPS track (CSV, GPX, JSON): the window's
// export and velmora_gps write the same bytes.

#include "gpsrecord.h"
#include "timeoffset.h"

#include <QString>

#include <memory>

// A recording's GPS track to export: the file and its finished track.
struct TrackSource
{
    QString file;
    std::shared_ptr<const GpsTrack> track; // null while its pass has not finished
    qint16 gpsVersion = 0;
};

struct ExportedTrack
{
    QString file;
    const GpsTrack *track = nullptr;
    qint16 gpsVersion = 0;
};

// Whether the CSV and GPX forms have any point of it: an authenticated
// track with at least one fix whose position is a number.
bool hasExportedPoints(const ExportedTrack &track);

// One compact JSON object: file, valid, gpsVersion, count and the records
// (empty while the track is not authenticated).
QString trackToJson(const ExportedTrack &track);

// CSV rows of the valid 'A' records, signed degrees, km/h; header separate.
// The last column, local_time, is the record's time in the offset chosen
// (ISO 8601 with that offset); the columns before it never change.
QString csvHeader();
QString trackToCsvRows(const ExportedTrack &track, TimeOffset offset = TimeOffset::camera());

// A GPX 1.1 document with one track (one segment) per authenticated file.
QString gpxHeader();
QString trackToGpx(const ExportedTrack &track);
QString gpxFooter();

// Shortest text that reads back as the same float; "null" for NaN and infinities.
QString jsonFloat(float value);
QString jsonString(const QString &text);
