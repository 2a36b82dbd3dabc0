#pragma once

#include <QRect>
#include <QSize>

// Where the file list goes: beside the window, right of it, else left of
// it (top edges level), `gap` px away when there is room for that and
// touching it otherwise; on the screen. When neither side has room, it
// docks over the telemetry panel below the picture and map: right-aligned
// with it and no taller than it, the map and the picture left free.
//   window: the window's frame; list: the list's frame size; screen: the
//   available screen area; panel: the telemetry panel, global.
QRect fileListGeometry(const QRect &window, const QSize &list, const QRect &screen, const QRect &panel,
                       int gap = 10);
