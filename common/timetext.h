#pragma once

#include <QString>

// Whole seconds as "hh:mm:ss", each field cut to two digits (an hour count
// of 100 or more shows only its last two digits). Negative counts show 0.
QString timeText(qint64 seconds);
