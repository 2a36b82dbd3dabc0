#include "needleangles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcNeedles, "velmora.needles")

namespace {

constexpr float kDialTopSpeed = 180.0f;   // km/h or mph, the dial's last mark
constexpr double kDegreesPerUnit = 1.5;   // 270° over 0..180
constexpr int kNeedleSlant = 45;          // degrees, the compass needle image points north-east

// Bound on a truncated value: a corrupt record can hold any float, and
// converting one beyond int's range is undefined. Degrees or speed units.
constexpr double kTruncationLimit = 1.0e6;

// Truncation toward zero, with NaN as 0 and absurd values held in range.
int truncated(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(value, -kTruncationLimit, kTruncationLimit));
}

} // namespace

int speedToAngle(float speed)
{
    if (speed > kDialTopSpeed) {
        // The dial ends at 180; the text is the one the log has always shown.
        qCDebug(lcNeedles) << "speed over 260";
        speed = kDialTopSpeed;
    }
    return truncated(double(speed) * kDegreesPerUnit);
}

int headingToCompassAngle(float heading)
{
    const int t = truncated(heading);
    const int direct = t - kNeedleSlant;
    const int wrapped = direct - 360;
    // The nearer of the two; the tie at 225 goes to the wrapped one, so the
    // range is [-180, 180).
    return std::abs(wrapped) <= std::abs(direct) ? wrapped : direct;
}
