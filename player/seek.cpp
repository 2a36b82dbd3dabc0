#include "seek.h"

#include <algorithm>

namespace {

// The word of PublishedSeek: target in the low bits, then the serial, then the flags.
constexpr int kSerialShift = PublishedSeek::kTargetBits;
constexpr int kFlagShift = kSerialShift + PublishedSeek::kSerialBits;
constexpr uint64_t kDropSound = uint64_t(1) << kFlagShift;
constexpr uint64_t kDropPictures = kDropSound << 1;
constexpr uint64_t kPicturePending = kDropSound << 2;
constexpr uint64_t kLate = kDropSound << 3;
constexpr uint64_t kCanRetry = kDropSound << 4;
static_assert(kFlagShift + 5 == 64, "the seek fills one word");

} // namespace

void SeekRequests::post(int64_t target)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mNewest = SeekRequest{target, mNewest.serial + 1};
}

SeekRequests::Resync SeekRequests::tryPostResync(int64_t target)
{
    std::unique_lock<std::mutex> lock(mMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return Resync::Busy;
    if (mNewest.serial != mFinished)
        return Resync::Needless;
    mNewest = SeekRequest{target, mNewest.serial + 1};
    return Resync::Posted;
}

std::optional<SeekRequest> SeekRequests::take()
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mNewest.serial == mTaken)
        return std::nullopt;
    mTaken = mNewest.serial;
    return mNewest;
}

void SeekRequests::finish(uint64_t serial)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mFinished = std::max(mFinished, serial);
}

std::optional<int64_t> SeekRequests::waitingTarget() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mNewest.serial == mFinished)
        return std::nullopt;
    return mNewest.target;
}

int64_t SeekRequests::lastTarget() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mNewest.target;
}

uint64_t PublishedSeek::pack(const SeekState &seek)
{
    const uint64_t target = uint64_t(std::clamp<int64_t>(seek.target, 0, kMaxTarget));
    return target | uint64_t(seek.serial & kSerialMask) << kSerialShift | (seek.dropSound ? kDropSound : 0)
           | (seek.dropPictures ? kDropPictures : 0) | (seek.picturePending ? kPicturePending : 0)
           | (seek.late ? kLate : 0) | (seek.canRetry ? kCanRetry : 0);
}

SeekState PublishedSeek::unpack(uint64_t word)
{
    SeekState seek;
    seek.target = int64_t(word & uint64_t(kMaxTarget));
    seek.serial = uint32_t(word >> kSerialShift) & kSerialMask;
    seek.dropSound = word & kDropSound;
    seek.dropPictures = word & kDropPictures;
    seek.picturePending = word & kPicturePending;
    seek.late = word & kLate;
    seek.canRetry = word & kCanRetry;
    return seek;
}
