#include "speedclock.h"

#include <algorithm>
#include <cmath>

double SpeedClock::clampSpeed(double speed, double fallback)
{
    if (std::isnan(speed))
        return std::clamp(fallback, kMinSpeed, kMaxSpeed);
    return std::clamp(speed, kMinSpeed, kMaxSpeed);
}

double SpeedClock::mediaAt(int64_t us) const
{
    if (!running || us <= anchorUs)
        return anchorMedia;
    return anchorMedia + double(us - anchorUs) / 1e6 * speed;
}

void SpeedClock::setSpeed(int64_t us, double newSpeed)
{
    // A change never reaches back before the anchor: what was read since stays.
    const int64_t at = std::max(us, anchorUs);
    moveTo(at, mediaAt(at));
    speed = clampSpeed(newSpeed, speed);
}

void SpeedClock::pause(int64_t us)
{
    const int64_t at = std::max(us, anchorUs);
    moveTo(at, mediaAt(at));
    running = false;
}

void SpeedClock::resume(int64_t us)
{
    // Paused, the position stood at the anchor: it goes on from there now.
    if (!running)
        anchorUs = us;
    running = true;
}

void SpeedClock::moveTo(int64_t us, double media)
{
    anchorUs = us;
    anchorMedia = media;
}
