#include "telemetryformat.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace {

constexpr int kYearBase = 2000;

// "%02d" cut to what "HH", "MM", "dd" accept: two digits, no sign.
bool twoDigits(int32_t value)
{
    return value >= 0 && value <= 99;
}

} // namespace

QDateTime gpsRecordDateTime(const GpsRecord &record)
{
    // The text the label is parsed from holds a four-digit year and two-digit
    // fields; anything wider never parses, so it is no date.
    const qint64 year = qint64(record.year) + kYearBase;
    if (year < 1 || year > 9999 || !twoDigits(record.month) || !twoDigits(record.day)
        || !twoDigits(record.hour) || !twoDigits(record.minute) || !twoDigits(record.second))
        return QDateTime();
    const QDate date(int(year), record.month, record.day);
    const QTime time(record.hour, record.minute, record.second);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    // UTC: the receiver's clock, free of the local zone's daylight-saving gaps.
    return QDateTime(date, time, Qt::UTC);
}

QDateTime shownDateTime(const GpsRecord &record, qint16 gpsVersion, TimeOffset offset)
{
    const QDateTime utc = gpsRecordDateTime(record);
    if (!utc.isValid())
        return QDateTime();
    const QDateTime shown = utc.toOffsetFromUtc(offset.secondsEastOfUtc(gpsVersion));
    // An offset can carry the first or last day past what four digits hold.
    const int year = shown.date().year();
    return year >= 1 && year <= 9999 ? shown : QDateTime();
}

QString gpsDateTimeLabel(const GpsRecord &record, qint16 gpsVersion, TimeOffset offset)
{
    const QDateTime when = shownDateTime(record, gpsVersion, offset);
    return when.isValid() ? when.toString(QStringLiteral("  yyyy/MM/dd HH:mm:ss")) : QString();
}

QString dateTimeLabel(const QDateTime &when)
{
    if (!when.isValid())
        return QString();
    const int minutes = when.offsetFromUtc() / 60;
    // The C locale, as for the ISO text: the digits the label's width is held for.
    return QLocale::c().toString(when, QStringLiteral("yyyy/MM/dd HH:mm:ss ")) + (minutes == 0 ? QStringLiteral("UTC") : offsetText(minutes));
}

QString isoDateTimeWithOffset(const QDateTime &when)
{
    if (!when.isValid())
        return QString();
    // The C locale: ISO digits in any language, and safe on the export thread.
    return QLocale::c().toString(when, QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + offsetText(when.offsetFromUtc() / 60);
}
