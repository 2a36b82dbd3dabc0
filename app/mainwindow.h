#pragma once

#include "videoplayer.h"

#include <QImage>
#include <QMainWindow>

class MyFrame;

// The one window: hosts the video surface and wires the playback engine to it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    VideoPlayer *player() const { return mPlayer; }
    int playState() const { return mPlayState; }

public slots:
    void slotGetOneFrame(QImage image);
    void slotTotalTimeChanged(qint64 uSec);
    void slotStateChanged(VideoPlayer::PlayerState state);
    void slotPlayStopNormally();
    void slotGetGpsData();
    void setBlackImage();

private:
    MyFrame *mFrameVideo = nullptr;
    VideoPlayer *mPlayer = nullptr;
    int mPlayState = 2; // 0 playing, 1 paused, 2 stopped, 3 paused while the position slider is held
};
