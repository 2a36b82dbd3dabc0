#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

// A FIFO of demuxed packets between the player thread (the only producer)
// and one decoder (the only consumer). The queue owns its packets.
class PacketQueue
{
public:
    PacketQueue() = default;
    ~PacketQueue();
    PacketQueue(const PacketQueue &) = delete;
    PacketQueue &operator=(const PacketQueue &) = delete;

    // Empties the queue for a new file.
    void init();

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
    // The most bytes queued at once since init().
    int64_t peakBytes() const;

private:
    mutable std::mutex mMutex;
    std::condition_variable mArrived;
    std::deque<AVPacket *> mPackets;
    int64_t mBytes = 0;     // sum of the queued payload sizes
    int64_t mPeakBytes = 0;
};

// The marker a seek puts in front of the new position's packets: consumers
// flush their decoder when they take it.
AVPacket *makeFlushPacket();
bool isFlushPacket(const AVPacket *packet);
