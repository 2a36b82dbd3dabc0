#include "timeoffset.h"

#include <QRegularExpression>

#include <cstdlib>

namespace {

// Hours of up to four digits are read (and held to the range); longer runs
// of digits are no offset at all, so nothing overflows.
const QRegularExpression &offsetPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^([+-])(\\d{1,4}):(\\d{2})$"));
    return pattern;
}

} // namespace

TimeOffset TimeOffset::fixed(int minutes)
{
    minutes = qBound(kMinMinutes, minutes, kMaxMinutes);
    // Nearest step, halves away from zero; the range ends are whole steps.
    const int sign = minutes < 0 ? -1 : 1;
    const int steps = (std::abs(minutes) + kStepMinutes / 2) / kStepMinutes;
    return {Mode::Fixed, sign * steps * kStepMinutes};
}

int TimeOffset::secondsEastOfUtc(qint16 gpsVersion) const
{
    switch (mode) {
    case Mode::Camera:
        return gpsVersion == 1 ? kGpsVersion1ShiftSeconds : 0;
    case Mode::Utc:
        return 0;
    case Mode::Fixed:
        return minutes * 60;
    }
    return 0;
}

QString TimeOffset::toText() const
{
    switch (mode) {
    case Mode::Camera:
        return QStringLiteral("camera");
    case Mode::Utc:
        return QStringLiteral("utc");
    case Mode::Fixed:
        return offsetText(minutes);
    }
    return QString();
}

std::optional<TimeOffset> TimeOffset::fromText(const QString &text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("camera"))
        return camera();
    if (word == QLatin1String("utc"))
        return utc();
    const QRegularExpressionMatch match = offsetPattern().match(word);
    if (!match.hasMatch())
        return std::nullopt;
    const int hours = match.capturedRef(2).toInt();
    const int minutes = match.capturedRef(3).toInt();
    if (minutes >= 60)
        return std::nullopt;
    const int east = hours * 60 + minutes;
    return fixed(match.capturedRef(1) == QLatin1String("-") ? -east : east);
}

QString offsetText(int minutes)
{
    const int magnitude = std::abs(minutes);
    return QStringLiteral("%1%2:%3")
        .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}
