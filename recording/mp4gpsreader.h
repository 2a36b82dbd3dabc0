#pragma once

#include "gpsrecord.h"

#include <QString>

#include <cstdint>
#include <cstdio>

// Finds the camera's "gps " box under "moov", reads the record blocks its
// offset table points to into the track, and notes whether the track
// handlers carry the chip maker's name ("Hisi...").
class Mp4GpsReader
{
public:
    explicit Mp4GpsReader(GpsTrack &track);
    ~Mp4GpsReader();
    Mp4GpsReader(const Mp4GpsReader &) = delete;
    Mp4GpsReader &operator=(const Mp4GpsReader &) = delete;

    // True when at least one record of the "gps " box passed its check-text
    // test. The track then holds the box's records; the caller resets it first.
    bool readMp4GpsTrack(const QString &path);

    // True at the start of every walk; every "hdlr" met before the "gps " box
    // overwrites it, so the last one decides.
    bool hisiHandler() const { return mHisiHandler; }

    // errno of a failed open, 0 when the file opened.
    int openError() const { return mOpenError; }

private:
    void walkMoovChildren(const uint8_t *moov, uint64_t moovSize);
    void scanTrakHandler(const uint8_t *payload, uint64_t length);
    void parseGpsBox(const uint8_t *payload, uint64_t length);
    bool readRecordBlock(uint32_t offset, GpsRecord &record, char *checkText);
    void closeFile();

    GpsTrack &mTrack;
    std::FILE *mFile = nullptr; // open for the whole walk: blocks are read at absolute offsets
    uint64_t mFileSize = 0;     // bytes, bounds the records the box may claim
    bool mHisiHandler = true;
    bool mGpsUnverified = true;
    int mOpenError = 0;
};

// Reads the parse-type marker of a transport stream's first PID-0 packet.
// Returns the parse type, or 0 when there is none. Diagnostics only.
int probeTsTypeMarker(const QString &path);
