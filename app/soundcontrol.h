#pragma once

#include <QObject>

#include <functional>

class QPushButton;
class QSlider;
class Settings;

// The volume slider and the sound button: the volume chosen last comes back
// when the sound does; both are kept in the settings.
class SoundControl : public QObject
{
    Q_OBJECT

public:
    // apply: sets the playing volume, 0..128.
    SoundControl(QSlider *slider, QPushButton *button, std::function<void(int)> apply, QObject *parent = nullptr);

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
    std::function<void(int)> mApply;
    int mVolume = 128; // the last volume chosen
    bool mMuted = false;
};
