#pragma once

#include <cstdint>

// The playback position (media seconds) as a function of a driving time in
// µs: the wall clock, or the sound handed to the audio device. Between
// changes the position runs at `speed` media seconds per driving second;
// every change (speed, pause, resume, a jump) is made at a known driving
// time, where it re-anchors the clock so that the position never jumps by
// itself. A plain value: the owner guards it.
struct SpeedClock
{
    static constexpr double kMinSpeed = 0.25;
    static constexpr double kMaxSpeed = 4.0;
    // speed within [kMinSpeed, kMaxSpeed]; `fallback` for a NaN.
    static double clampSpeed(double speed, double fallback = 1.0);

    int64_t anchorUs = 0;     // driving time of the anchor
    double anchorMedia = 0.0; // position at the anchor, s
    double speed = 1.0;       // media s per driving s
    bool running = false;     // a paused clock stands at its anchor

    // The position at driving time us; one read before the anchor (a reader
    // that took its time) gets the anchor's position, never an earlier one.
    double mediaAt(int64_t us) const;

    // From us on, the position runs at `newSpeed` (clamped) from where it is.
    void setSpeed(int64_t us, double newSpeed);
    void pause(int64_t us);
    void resume(int64_t us);
    // The position is `media` at us (a seek, a new start); running and speed stay.
    void moveTo(int64_t us, double media);
};
