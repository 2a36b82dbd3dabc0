#pragma once

struct AVFormatContext;

// avformat_open_input for a recording on this machine: only the local file
// protocol is allowed, so that no name handed to the viewer makes it fetch
// from a network or run a program, and only the demuxers of recordings,
// none of which opens a further file (no playlist, whatever its name). *context may be preallocated (interrupt callback set); it is
// freed on failure, as avformat_open_input does. Returns its result.
int openLocalInput(AVFormatContext **context, const char *fileName);
// Whether a demuxer of that name (AVInputFormat::name) is one openLocalInput takes.
bool isRecordingFormat(const char *formatName);
