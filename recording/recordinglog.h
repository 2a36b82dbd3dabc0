#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcRecording)

// Routes FFmpeg's own log lines into Qt logging (category "velmora.ffmpeg")
// instead of stderr. Safe to call more than once.
void installFfmpegLogHandler();
