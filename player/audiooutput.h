#pragma once

#include <cstdint>

struct AVFrame;
struct VideoState;

// Opens the default audio device for the stream, paused. 0 on success, -1
// when there is no usable device (the file then plays without sound).
int audioOpen(VideoState &is, int streamIndex);
// Opens the device of a file whose device rested while paused, as audioOpen
// opened it; paused. 0 when it cannot. Under audioDeviceMutex.
uint32_t audioReopen(VideoState &is);

// The channel count to try when the device refuses `channels`; 0 when
// nothing is left to try (6 -> 4 -> 2 -> 1 -> 0, odd counts to 6 first).
int nextChannelCount(int channels);

// Converts one decoded frame to the device's format into is.audioConvertBuf;
// its length in bytes, 0 when the frame gives nothing to play (a frame that
// cannot be converted is silence, never copied as it is).
int convertAudioFrame(VideoState &is, AVFrame *frame);
