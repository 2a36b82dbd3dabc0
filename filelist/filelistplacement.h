#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the file list opens: right of the window, else left of it (top
// edges level), on the screen. When neither side has room, it goes inside
// the window right of the picture and below the title bar, moved only as
// far as the screen requires.
//   window: the window's frame; screen: the available screen area;
//   titleBottom: last global row of the title bar; pictureRight: last
//   global column of the picture; gap: px between window and list.
QPoint fileListPosition(const QRect &window, const QSize &panel, const QRect &screen, int titleBottom,
                        int pictureRight, int gap = 10);
