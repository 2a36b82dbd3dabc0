#pragma once

#include <QString>
#include <QVector>

// The JavaScript call texts run in the embedded map page. The page function
// names and the texts are fixed; the page never answers.

// Deletes the route's end markers and hides the route line.
QString mapCleanCall();

// Draws a route. Both lists hold signed degrees in route order and have the
// same length; each becomes a compact JSON array of shortest round-trip
// numbers. The third argument is the two characters %3, which the page ignores.
QString mapShowArrayCall(const QVector<double> &longitudes, const QVector<double> &latitudes);

// Moves the current-position marker; coordinates with 6 decimals.
QString mapShowAddressCall(double longitude, double latitude);

// Pans the map to the point without changing the zoom; 6 decimals.
QString mapPanToAddressCall(double longitude, double latitude);

// Sets apart the first count points of the route: the part of a drive
// played so far.
QString mapShowPlayedCall(int count);
