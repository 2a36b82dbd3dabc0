#include "soundcontrol.h"

#include "controlbarlooks.h"
#include "settings.h"

#include <QPushButton>
#include <QSlider>

namespace {

constexpr int kTopVolume = 128; // the player's top

} // namespace

SoundControl::SoundControl(QSlider *slider, QPushButton *button, std::function<void(int)> apply, QObject *parent)
    : QObject(parent)
    , mSlider(slider)
    , mButton(button)
    , mApply(std::move(apply))
{
}

void SoundControl::load(const Settings &settings)
{
    // The slider shows what fits its range; the value read, held to the
    // player's scale, is what the sound plays at and comes back after a mute.
    int volume = kTopVolume;
    settings.readInt(QStringLiteral("Setup"), QStringLiteral("volume"), volume);
    mVolume = qBound(0, volume, kTopVolume);
    mSlider->setValue(mVolume);
    int sound = 1;
    settings.readInt(QStringLiteral("Setup"), QStringLiteral("Silent"), sound);
    mMuted = sound == 0;
    mApply(mMuted ? 0 : mVolume);
    showLook();
}

void SoundControl::save(Settings &settings) const
{
    settings.writeString(QStringLiteral("Setup"), QStringLiteral("volume"), QString::number(mSlider->value()));
    settings.writeString(QStringLiteral("Setup"), QStringLiteral("Silent"),
                         mMuted ? QStringLiteral("0") : QStringLiteral("1"));
}

void SoundControl::showLook()
{
    showSoundLook(mButton, mMuted);
}

void SoundControl::setVolume(int volume)
{
    mSlider->setValue(volume);
    mVolume = mSlider->value();
    mApply(mVolume);
}

void SoundControl::toggleMute()
{
    mMuted = !mMuted;
    mApply(mMuted ? 0 : mVolume);
    showLook();
}

void SoundControl::step(int delta)
{
    setVolume(qBound(mSlider->minimum(), mSlider->value() + delta, mSlider->maximum()));
}
