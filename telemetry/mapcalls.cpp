#include "mapcalls.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

constexpr int kPositionDecimals = 6;

QString jsonArray(const QVector<double> &values)
{
    QJsonArray array;
    for (double value : values)
        array.append(value);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// QString::arg with a double ignores the locale unless asked (%L1), so the
// decimal separator is always the point JavaScript needs.
QString positionCall(const char *format, double longitude, double latitude)
{
    return QString::fromLatin1(format)
        .arg(longitude, 0, 'f', kPositionDecimals)
        .arg(latitude, 0, 'f', kPositionDecimals);
}

} // namespace

QString mapCleanCall()
{
    return QStringLiteral("mycleanOverlay()");
}

QString mapShowArrayCall(const QVector<double> &longitudes, const QVector<double> &latitudes)
{
    // Two single-argument arg() calls, so that %3 stays in the text.
    return QStringLiteral("showarray(\"%1\",\"%2\",\"%3\")").arg(jsonArray(longitudes)).arg(jsonArray(latitudes));
}

QString mapShowAddressCall(double longitude, double latitude)
{
    return positionCall("showAddress(%1,%2)", longitude, latitude);
}

QString mapPanToAddressCall(double longitude, double latitude)
{
    return positionCall("panToAddress(%1,%2)", longitude, latitude);
}

QString mapShowPlayedCall(int count)
{
    return QStringLiteral("showPlayed(%1)").arg(qMax(0, count));
}
