#pragma once

#include "filelistinfo.h"

#include <functional>

class sqloperate;

// The entry to open when the user steps from row `from` in a direction:
// the nearest one whose recording is there, wrapping at the ends, looking
// at every other entry at most once (and at `from` itself last). Returns
// its row and fills entry, or -1 when none is there. isThere decides
// whether a recording is there (a regular file, by default).
int nextPlayableRow(sqloperate &store, int from, bool forward, FileListInfo &entry,
                    const std::function<bool(const QString &path)> &isThere = {});
