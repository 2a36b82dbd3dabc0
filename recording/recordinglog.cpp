#include "recordinglog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QByteArray>

Q_LOGGING_CATEGORY(lcRecording, "velmora.recording")
Q_LOGGING_CATEGORY(lcFfmpeg, "velmora.ffmpeg")

namespace {

void ffmpegLogCallback(void *avcl, int level, const char *fmt, va_list vl)
{
    if (level > av_log_get_level())
        return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(avcl, level, fmt, vl, line, sizeof line, &printPrefix);
    QByteArray text(line);
    while (text.endsWith('\n'))
        text.chop(1);
    if (text.isEmpty())
        return;
    if (level <= AV_LOG_ERROR)
        qCWarning(lcFfmpeg).noquote() << text;
    else
        qCDebug(lcFfmpeg).noquote() << text;
}

} // namespace

void installFfmpegLogHandler()
{
    av_log_set_level(AV_LOG_WARNING);
    av_log_set_callback(ffmpegLogCallback);
}
