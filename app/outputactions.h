#pragma once

#include "workqueue.h"

#include "gpsrecord.h"
#include "telemetrytimeline.h"
#include "timeoffset.h"
#include "trackexport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QImage;
class QWidget;
class StatusToast;

// What the user takes out of the viewer: the picture shown, as a PNG at its
// full size with the telemetry of its second in text fields, and the track
// of the open recording (or of a trip's recordings) as GPX or CSV. Reading
// and writing run on a thread of this object's own, so the window never
// waits on a file; each outcome, good or bad, is a short line over the window.
class OutputActions : public QObject
{
    Q_OBJECT

public:
    // What the window knows, asked for when an action starts.
    struct Sources
    {
        std::function<QString()> recordingPath;         // the open recording; empty: none
        std::function<qint64()> positionUs;             // of the picture shown, from the start; < 0: none shown
        std::function<std::vector<TrackSource>()> tracks;
        std::function<TelemetrySecond(qint64 second)> shownAt; // the panel's figures at a whole second
        std::function<TimeOffset()> timeOffset;
        std::function<QWidget *()> window;              // dialogs go over it
        std::function<QWidget *()> picture;             // the status line goes over its top; unset: the window's
    };
    enum class Format { Gpx, Csv };

    explicit OutputActions(Sources sources, QObject *parent = nullptr);
    // Work not begun is dropped; a picture being decoded stops early.
    ~OutputActions() override;

    // Where a snapshot of recording goes first: the recording's folder when
    // writable says it can be written, else picturesFolder.
    static QString snapshotFolder(const QString &recording, const QString &picturesFolder,
                                  const std::function<bool(const QString &)> &writable);
    // "<base name>_<hh-mm-ss.mmm>" of a recording at a position (µs).
    static QString snapshotBaseName(const QString &recording, qint64 positionUs);

    // The position of the picture on the surface (µs): the time the player
    // wrote on it, else the playback clock (s); -1 when none is shown.
    static qint64 shownPictureUs(const QImage &shown, double clockSeconds);

    // Tests: what tells whether a folder can be written (by default whether
    // the user may write it and it is not on a read-only file system), and
    // the pictures folder (by default the user's).
    void setFolderCheck(std::function<bool(const QString &)> check) { mFolderWritable = std::move(check); }
    void setPicturesFolder(const QString &folder) { mPicturesFolder = folder; }

public slots:
    // Saves the picture shown, beside the recording or in the pictures folder.
    void snapshot();
    // Asks where to (GPX or CSV) and writes the track there.
    void exportTrack();
    // Writes the track to file at once, replacing it whole or not at all.
    void exportTo(const QString &file, OutputActions::Format format);
    // A line of the window's own on the status line (a new speed).
    void tell(const QString &text);

signals:
    // The status line's text; file: what was written, empty when nothing was.
    void sig_Reported(const QString &text, const QString &file);

private:
    // Runs work on the worker unless too much waits; false when refused.
    bool post(std::function<void()> work);
    // GUI thread: one piece of work has ended with this outcome.
    void finish(const QString &text, const QString &file);
    void report(const QString &text, const QString &file);
    std::vector<TrackSource> exportableTracks() const;

    Sources mSources;
    std::function<bool(const QString &)> mFolderWritable;
    QString mPicturesFolder;
    StatusToast *mToast = nullptr;  // made over the picture at the first report
    int mPending = 0;               // pieces of work posted and not finished (GUI thread)
    std::shared_ptr<std::atomic<bool>> mStop; // set when this object goes: a decode ends early
    WorkQueue mWork;                // one worker: snapshots and exports in the order asked
};
