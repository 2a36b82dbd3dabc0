#include "trackexport.h"

#include "telemetryformat.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

double signedLatitude(const GpsRecord &record)
{
    return signedDegrees(record.latitude, record.latRef);
}

double signedLongitude(const GpsRecord &record)
{
    return signedDegrees(record.longitude, record.lonRef);
}

// ISO 8601 UTC, never shifted; empty for an impossible date.
QString isoTime(const GpsRecord &record)
{
    const QDateTime when = gpsRecordDateTime(record);
    return when.isValid() ? QLocale::c().toString(when, QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")) : QString();
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString plainFloat(float value)
{
    return std::isfinite(value) ? jsonFloat(value) : QString();
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString xmlEscaped(const QString &text)
{
    QString out = text.toHtmlEscaped(); // &, <, >, "
    out.replace(QLatin1Char('\''), QLatin1String("&apos;"));
    return out;
}

} // namespace

QString jsonFloat(float value)
{
    if (!std::isfinite(value))
        return QStringLiteral("null");
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, int(result.ptr - text));
}

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (ch.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += ch;
        }
    }
    return out + QLatin1Char('"');
}

bool hasExportedPoints(const ExportedTrack &exported)
{
    const GpsTrack *track = exported.track;
    return track && track->valid && std::any_of(track->records.begin(), track->records.end(), isFix);
}

QString trackToJson(const ExportedTrack &exported)
{
    const GpsTrack &track = *exported.track;
    QString out = QStringLiteral("{\"file\":%1,\"valid\":%2,\"gpsVersion\":%3,\"count\":%4,\"records\":[")
                      .arg(jsonString(exported.file), track.valid ? QStringLiteral("true") : QStringLiteral("false"),
                           QString::number(exported.gpsVersion), QString::number(track.count()));
    if (track.valid) {
        for (int i = 0; i < track.count(); ++i) {
            const GpsRecord &r = track.records[i];
            if (i > 0)
                out += QLatin1Char(',');
            // dateTime is the viewer's text (shifted for version 1), utc the
            // record's own time; both empty for an impossible date.
            out += QStringLiteral("{\"second\":%1,\"status\":%2,\"latRef\":%3,\"lonRef\":%4,"
                                  "\"latitude\":%5,\"longitude\":%6,\"speedKnots\":%7,\"heading\":%8,"
                                  "\"dateTime\":%9,\"utc\":%10}")
                       .arg(i)
                       .arg(jsonString(QString(QChar::fromLatin1(r.status))),
                            jsonString(QString(QChar::fromLatin1(r.latRef))),
                            jsonString(QString(QChar::fromLatin1(r.lonRef))),
                            std::isfinite(r.latitude) ? fixed(double(r.latitude), 6) : QStringLiteral("null"),
                            std::isfinite(r.longitude) ? fixed(double(r.longitude), 6) : QStringLiteral("null"),
                            jsonFloat(r.speed), jsonFloat(r.heading),
                            jsonString(gpsDateTimeLabel(r, exported.gpsVersion).trimmed()),
                            jsonString(isoTime(r)));
        }
    }
    return out + QStringLiteral("]}");
}

QString csvHeader()
{
    return QStringLiteral("file,second,time,latitude,longitude,speed_kmh,heading,local_time\n");
}

QString trackToCsvRows(const ExportedTrack &exported, TimeOffset offset)
{
    const GpsTrack &track = *exported.track;
    QString out;
    if (!track.valid)
        return out;
    const QString file = csvField(exported.file);
    for (int i = 0; i < track.count(); ++i) {
        const GpsRecord &r = track.records[i];
        if (!isFix(r))
            continue;
        // One pass of arg(): a "%1" in a file name stays text.
        out += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8\n")
                   .arg(file, QString::number(i), isoTime(r), fixed(signedLatitude(r), 6),
                        fixed(signedLongitude(r), 6),
                        std::isfinite(r.speed) ? fixed(double(r.speed * kKmhPerKnot), 2) : QString(),
                        plainFloat(r.heading), isoDateTimeWithOffset(shownDateTime(r, exported.gpsVersion, offset)));
    }
    return out;
}

QString gpxHeader()
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<gpx version=\"1.1\" creator=\"velmora_gps\" "
                          "xmlns=\"http://www.topografix.com/GPX/1/1\" "
                          "xmlns:velmora=\"urn:velmora:gpx:1\">\n");
}

QString trackToGpx(const ExportedTrack &exported)
{
    const GpsTrack &track = *exported.track;
    if (!track.valid)
        return QString();
    QString out = QStringLiteral("  <trk>\n    <name>%1</name>\n    <trkseg>\n").arg(xmlEscaped(exported.file));
    for (int i = 0; i < track.count(); ++i) {
        const GpsRecord &r = track.records[i];
        if (!isFix(r))
            continue;
        out += QStringLiteral("      <trkpt lat=\"%1\" lon=\"%2\">\n")
                   .arg(fixed(signedLatitude(r), 6), fixed(signedLongitude(r), 6));
        const QString time = isoTime(r);
        if (!time.isEmpty())
            out += QStringLiteral("        <time>%1</time>\n").arg(time);
        QString extensions;
        if (std::isfinite(r.speed))
            extensions += QStringLiteral("<velmora:speed_kmh>%1</velmora:speed_kmh>")
                              .arg(fixed(double(r.speed * kKmhPerKnot), 2));
        if (std::isfinite(r.heading))
            extensions += QStringLiteral("<velmora:heading>%1</velmora:heading>").arg(jsonFloat(r.heading));
        if (!extensions.isEmpty())
            out += QStringLiteral("        <extensions>%1</extensions>\n").arg(extensions);
        out += QStringLiteral("      </trkpt>\n");
    }
    return out + QStringLiteral("    </trkseg>\n  </trk>\n");
}

QString gpxFooter()
{
    return QStringLiteral("</gpx>\n");
}
