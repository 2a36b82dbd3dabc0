#pragma once

#include <QObject>

class QPushButton;
class QSlider;
class Settings;
class VideoPlayer;

// The volume slider and the sound button: the volume chosen last comes back
// when the sound does; both are kept in the settings.
class SoundControl : public QObject
{
    Q_OBJECT

public:
    SoundControl(QSlider *slider, QPushButton *button, VideoPlayer *player, QObject *parent = nullptr);

    void load(const Settings &settings);
    void save(Settings &settings) const;
    bool muted() const { return mMuted; }
    // The button's look and tip for the current state and language.
    void showLook();

    void setVolume(int volume); // from the slider, held to its range
    void toggleMute();
    void step(int delta);

private:
    QSlider *mSlider;
    QPushButton *mButton;
    VideoPlayer *mPlayer;
    int mVolume = 128; // the last volume chosen
    bool mMuted = false;
};
