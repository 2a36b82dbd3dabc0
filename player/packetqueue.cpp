#include "packetqueue.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr char kFlushText[] = "FLUSH";            // written with its NUL: six bytes
constexpr int kFlushPayloadSize = 10;

} // namespace

PacketQueue::~PacketQueue()
{
    flush();
}

void PacketQueue::init()
{
    flush();
    std::lock_guard<std::mutex> lock(mMutex);
    mPeakBytes = 0;
}

bool PacketQueue::put(const AVPacket *packet)
{
    AVPacket *node = av_packet_alloc();
    if (!node)
        return false;
    if (av_packet_ref(node, packet) < 0) {
        av_packet_free(&node);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mPackets.push_back(node);
        mBytes += node->size;
        mPeakBytes = std::max(mPeakBytes, mBytes);
    }
    mArrived.notify_one();
    return true;
}

int PacketQueue::get(AVPacket *out, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mMutex);
    if (mPackets.empty() && timeoutMs > 0)
        mArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !mPackets.empty(); });
    if (mPackets.empty())
        return 0;
    AVPacket *node = mPackets.front();
    mPackets.pop_front();
    mBytes -= node->size;
    lock.unlock();
    av_packet_move_ref(out, node);
    av_packet_free(&node);
    return 1;
}

void PacketQueue::flush()
{
    std::deque<AVPacket *> dropped;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        dropped.swap(mPackets);
        mBytes = 0;
    }
    for (AVPacket *node : dropped)
        av_packet_free(&node);
}

int PacketQueue::count() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return int(mPackets.size());
}

int64_t PacketQueue::bytes() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mBytes;
}

int64_t PacketQueue::peakBytes() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mPeakBytes;
}

AVPacket *makeFlushPacket()
{
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return nullptr;
    if (av_new_packet(packet, kFlushPayloadSize) < 0) {
        av_packet_free(&packet);
        return nullptr;
    }
    std::memcpy(packet->data, kFlushText, sizeof kFlushText);
    return packet;
}

bool isFlushPacket(const AVPacket *packet)
{
    return packet && packet->data && packet->size == kFlushPayloadSize
           && std::memcmp(packet->data, kFlushText, sizeof kFlushText) == 0;
}
