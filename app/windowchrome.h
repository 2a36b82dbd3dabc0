#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The frameless window's own frame: where the cursor resizes it and how.

// Where the cursor is for resizing.
enum class ResizeRegion { None, Top, Bottom, Left, Right, TopLeft, BottomLeft, BottomRight, TopRight };

// frame: the window in global coordinates, its last pixel included. Corners
// are 4 pixels deep, edges 2; the first matching rule wins.
ResizeRegion hitRegion(const QRect &frame, const QPoint &cursor);
Qt::CursorShape regionCursor(ResizeRegion region);

// The window's rectangle while the region is dragged to cursor. An edge that
// moves (left, top) stops where the window reaches its minimum, the opposite
// edge stays; the bottom edge stops at the bottom of the available area.
QRect resizedGeometry(const QRect &frame, ResizeRegion region, const QPoint &cursor, const QSize &minimum,
                      const QRect &available);

// Where the window opens. stored: its rectangle last time, when it was on a
// screen that is there now (else invalid); available: that screen's
// available area, or the primary screen's. The stored rectangle when it
// lies wholly in the area and is not below the minimum; else the preferred
// size cut to the area, centred in it. maximize: the minimum does not fit
// the area, so the window takes all of it.
QRect startGeometry(const QRect &stored, const QSize &preferred, const QSize &minimum, const QRect &available,
                    bool *maximize);

// A rectangle as settings keep it, "x,y,w,h"; invalid for anything else.
QRect rectFromText(const QString &text);
QString rectText(const QRect &rect);
