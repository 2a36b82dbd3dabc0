#include "timetext.h"

namespace {

QString twoDigits(qint64 value)
{
    return QStringLiteral("00%1").arg(value).right(2);
}

} // namespace

QString timeText(qint64 seconds)
{
    const qint64 s = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3").arg(twoDigits(s / 3600), twoDigits((s / 60) % 60), twoDigits(s % 60));
}
