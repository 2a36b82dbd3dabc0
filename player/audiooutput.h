#pragma once

struct VideoState;

// Opens the default audio device for the stream, paused. 0 on success, -1
// when there is no usable device (the file then plays without sound).
int audioOpen(VideoState &is, int streamIndex);

// Releases the converter, frame and packet of the sound decoding.
void audioRelease(VideoState &is);

// The channel count to try when the device refuses `channels`; 0 when
// nothing is left to try (6 -> 4 -> 2 -> 1 -> 0, odd counts to 6 first).
int nextChannelCount(int channels);
