#pragma once

struct AVFormatContext;

// avformat_open_input for a recording on this machine: only the local file
// protocol is allowed, for the file itself and for whatever it names (a
// playlist's entries, a reference in a QuickTime file), so that no name, in
// a file or handed to the viewer, makes it fetch from a network or run a
// program. *context may be preallocated (interrupt callback set); it is
// freed on failure, as avformat_open_input does. Returns its result.
int openLocalInput(AVFormatContext **context, const char *fileName);
