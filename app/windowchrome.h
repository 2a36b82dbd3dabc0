#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

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
