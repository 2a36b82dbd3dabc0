#include "packetqueue.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr char kFlushText[] = "FLUSH";            // written with its NUL: six bytes
constexpr int kFlushPayloadSize = 10;             // the text, then the serial
static_assert(sizeof kFlushText + sizeof(uint32_t) == kFlushPayloadSize, "the marker's payload");

} // namespace

bool PacketQueue::put(const AVPacket *packet)
{
    PacketPtr node(av_packet_alloc());
    if (!node || av_packet_ref(node.get(), packet) < 0)
        return false;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mBytes += node->size;
        mPeakBytes = std::max(mPeakBytes, mBytes);
        mPackets.push_back(std::move(node));
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
    const PacketPtr node = std::move(mPackets.front());
    mPackets.pop_front();
    mBytes -= node->size;
    lock.unlock();
    av_packet_move_ref(out, node.get());
    return 1;
}

void PacketQueue::flush()
{
    std::deque<PacketPtr> dropped;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        dropped.swap(mPackets);
        mBytes = 0;
    }
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

PacketPtr makeFlushPacket(uint32_t serial)
{
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), kFlushPayloadSize) < 0)
        return nullptr;
    std::memcpy(packet->data, kFlushText, sizeof kFlushText);
    std::memcpy(packet->data + sizeof kFlushText, &serial, sizeof serial);
    return packet;
}

bool isFlushPacket(const AVPacket *packet)
{
    return packet && packet->data && packet->size == kFlushPayloadSize
           && std::memcmp(packet->data, kFlushText, sizeof kFlushText) == 0;
}

uint32_t flushPacketSerial(const AVPacket *packet)
{
    uint32_t serial = 0;
    std::memcpy(&serial, packet->data + sizeof kFlushText, sizeof serial);
    return serial;
}
