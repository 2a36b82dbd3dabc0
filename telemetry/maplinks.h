#pragma once

#include <QUrl>

// The one link the map page shows: the tile attribution's. The page credits
// OpenStreetMap, whose standard server is the default; a tile address the
// user set (in sysConfig.ini) changes only where tiles come from, never
// which links may leave the page.
constexpr char kMapAttributionUrl[] = "https://www.openstreetmap.org/copyright";

// Whether a link clicked on the map page may go to the desktop's opener:
// the attribution link alone, over https. Anything else (file:, another
// host, a script's own link) stays unopened. Needs no web engine.
bool mapLinkMayLeave(const QUrl &link);
