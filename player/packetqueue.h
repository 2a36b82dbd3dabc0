#pragma once

#include "ffmpegptr.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// A FIFO of demuxed packets between the player thread (the only producer)
// and one decoder (the only consumer). The queue owns its packets.
class PacketQueue
{
public:
    PacketQueue() = default;
    PacketQueue(const PacketQueue &) = delete;
    PacketQueue &operator=(const PacketQueue &) = delete;

    // Queues a new reference to the packet's data; the caller keeps its own.
    // Returns false (nothing queued) when the reference cannot be made.
    bool put(const AVPacket *packet);

    // > 0: a packet was moved into `out` (the caller unrefs it); 0: none.
    // With timeoutMs > 0 waits up to that long for a packet to arrive.
    int get(AVPacket *out, int timeoutMs = 0);

    // Releases every queued packet.
    void flush();

    int count() const;
    int64_t bytes() const;
    // The most bytes queued at once since the queue was made.
    int64_t peakBytes() const;

private:
    mutable std::mutex mMutex;
    std::condition_variable mArrived;
    std::deque<PacketPtr> mPackets;
    int64_t mBytes = 0;     // sum of the queued payload sizes
    int64_t mPeakBytes = 0;
};

// The marker a seek puts in front of the new position's packets: consumers
// flush their decoder when they take it, and from then on work for the
// seek whose serial it carries (SeekState::serial). Null when out of memory.
PacketPtr makeFlushPacket(uint32_t serial);
bool isFlushPacket(const AVPacket *packet);
// The serial of the seek a flush marker belongs to.
uint32_t flushPacketSerial(const AVPacket *packet);
