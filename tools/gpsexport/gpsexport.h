#pragma once

// Text forms of a recording's GPS track for velmora_gps.

#include "gpsrecord.h"

#include <QString>

struct ExportedTrack
{
    QString file;
    const GpsTrack *track = nullptr;
    qint16 gpsVersion = 0;
};

// One compact JSON object: file, valid, gpsVersion, count and the records
// (empty while the track is not authenticated).
QString trackToJson(const ExportedTrack &track);

// CSV rows of the valid 'A' records, signed degrees, km/h; header separate.
QString csvHeader();
QString trackToCsvRows(const ExportedTrack &track);

// A GPX 1.1 document with one track (one segment) per authenticated file.
QString gpxHeader();
QString trackToGpx(const ExportedTrack &track);
QString gpxFooter();

// Shortest text that reads back as the same float; "null" for NaN and infinities.
QString jsonFloat(float value);
QString jsonString(const QString &text);
