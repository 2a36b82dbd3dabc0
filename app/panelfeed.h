#pragma once

#include "videoplayer.h"
#include "telemetrypanel.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class FormFileList;
class PlaybackSession;
class SeekBar;

// Feeds the telemetry panel from playback: the open file's or the drive's
// track, the position at each tick, the unit's switch; the list learns
// which files carry a track. The window only hands the reports on.
class PanelFeed : public QObject
{
    Q_OBJECT

public:
    PanelFeed(const TelemetryWidgets &widgets, const QString &tileUrl, PlaybackSession *session, SeekBar *seekBar,
              FormFileList *list, QObject *parent = nullptr);
    ~PanelFeed() override;

    TelemetryPanel *panel() const { return mPanel.get(); }

    // The session's 500 ms tick.
    void tick();
    // The open file's GPS pass has finished.
    void takeTrack(const GpsData &data);
    // The open file turned out to be part of a drive.
    void showTrip();
    // Nothing plays any more.
    void stopped();
    // False when it was the unit already.
    bool setSpeedInMph(bool mph);

private:
    qint64 second() const;
    void startMap();

    std::unique_ptr<TelemetryPanel> mPanel;
    PlaybackSession *mSession;
    SeekBar *mSeekBar;
    FormFileList *mList;
    // The map's web engine starts after the first picture, or once the
    // window shows with nothing opening: its start-up would compete with both.
    QPointer<QWidget> mMapFrame;
    QTimer mMapWait;
    QMetaObject::Connection mFirstPicture;
};
