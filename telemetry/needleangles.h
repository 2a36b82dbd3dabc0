#pragma once

#include <QLoggingCategory>

// "velmora.needles": the gauge and compass needles.
Q_DECLARE_LOGGING_CATEGORY(lcNeedles)

// Gauge angle for a shown speed (km/h or mph, the same 0-180 dial for both):
// degrees clockwise from the dial's 0 mark, 1.5° per unit, 270° at 180 and
// above. Speeds over 180 are logged.
int speedToAngle(float speed);

// Compass needle angle for a heading (degrees clockwise from north): the
// heading less the needle image's own 45° slant, brought into [-180, 180)
// for headings in [0, 360).
int headingToCompassAngle(float heading);
