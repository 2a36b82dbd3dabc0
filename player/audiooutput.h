#pragma once

struct VideoState;

// Opens the default audio device for the stream, paused. 0 on success, -1
// when there is no usable device (the file then plays without sound).
int audioOpen(VideoState &is, int streamIndex);

// Releases the converter, frame and packet of the sound decoding.
void audioRelease(VideoState &is);
