#pragma once

#include "gpsrecord.h"

#include <QDateTime>
#include <QString>

// Seconds added to the shown time for recordings of GPS format version 1.
constexpr int kGpsVersion1ShiftSeconds = 9 * 3600;

// The record's own date and time (the receiver's UTC); invalid for an
// impossible date such as month 0 or a year outside four digits.
QDateTime gpsRecordDateTime(const GpsRecord &record);

// The date-time label text: two spaces, then "yyyy/MM/dd HH:mm:ss", shifted by
// nine hours for format version 1; empty for an impossible date.
QString gpsDateTimeLabel(const GpsRecord &record, qint16 gpsVersion);
