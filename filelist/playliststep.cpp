#include "playliststep.h"

#include "sqloperate.h"

#include <QFileInfo>

int nextPlayableRow(sqloperate &store, int from, bool forward, FileListInfo &entry,
                    const std::function<bool(const QString &path)> &isThere)
{
    const int rows = store.rowCount();
    if (rows <= 0)
        return -1;
    // Nothing selected: the first step lands on an end.
    if (from < 0 || from >= rows)
        from = forward ? -1 : rows;
    for (int step = 1; step <= rows; ++step) {
        const int row = ((forward ? from + step : from - step) % rows + rows) % rows;
        FileListInfo candidate;
        if (!store.selectFileInfo(row, candidate))
            continue;
        if (isThere ? isThere(candidate.path) : QFileInfo(candidate.path).isFile()) {
            entry = candidate;
            return row;
        }
        qCDebug(lcFileList) << (forward ? "file not exist , Press pushButtonNext" : "file not exist , Press pushButtonPre");
    }
    return -1;
}
