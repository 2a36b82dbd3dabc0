#pragma once

#include <QVector>
#include <QtGlobal>

// Finding the playback second the user points at on the route or the chart.

// A point of the route as the map draws it, and the second it was recorded at.
struct RoutePoint
{
    double latitude = 0.0;  // signed degrees
    double longitude = 0.0;
    qint64 second = 0;
};

// The index of the route point nearest to (latitude, longitude), or -1 when
// none lies within toleranceMeters (or the input is no position).
int nearestRoutePoint(const QVector<RoutePoint> &route, double latitude, double longitude, double toleranceMeters);

// The second under pixel x of a chart whose key axis spans lower..upper
// seconds over width pixels from left: rounded, and held to the axis; -1
// for an axis with no extent.
qint64 secondAtChartPosition(double x, double left, double width, double lower, double upper);
