#pragma once

#include "gpsrecord.h"
#include "timeoffset.h"

#include <QDateTime>
#include <QString>

// The record's own date and time (the receiver's UTC); invalid for an
// impossible date such as month 0 or a year outside four digits.
QDateTime gpsRecordDateTime(const GpsRecord &record);

// The record's date and time as shown: its UTC moved to the offset the
// choice gives for this format version (its Qt::TimeSpec is that offset, so the
// wall time reads without any local zone); invalid for an impossible date.
QDateTime shownDateTime(const GpsRecord &record, qint16 gpsVersion, TimeOffset offset);

// The date-time label text: two spaces, then "yyyy/MM/dd HH:mm:ss" of
// shownDateTime (by the camera's rule, nine hours on for format version 1,
// unless another offset is chosen); empty for an impossible date.
QString gpsDateTimeLabel(const GpsRecord &record, qint16 gpsVersion, TimeOffset offset = TimeOffset::camera());

// The panel's date label: "yyyy/MM/dd HH:mm:ss" of a shown date and time,
// then the clock it is in, "+09:00", "-03:30", or "UTC" for no offset;
// empty when invalid.
QString dateTimeLabel(const QDateTime &when);

// ISO 8601 with the offset written out, "2025-06-01T17:00:00+09:00" (never
// "Z", so that a reader sees which offset was applied); empty when invalid.
QString isoDateTimeWithOffset(const QDateTime &when);
