#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

// A seek asked for: handed to the player thread whole.
struct SeekRequest
{
    int64_t target = 0;  // µs from the start of the recording
    uint64_t serial = 0; // counts the requests of the open; 0 before the first
};

// The seeks asked for and not yet made, under one lock. A newer request
// replaces one still waiting: the player thread only ever takes the newest.
// A request waits until the player thread has made its seek (or failed to).
class SeekRequests
{
public:
    enum class Resync {
        Posted,   // the player thread will seek to it
        Needless, // a request waits: it brings sound and pictures together anyway
        Busy,     // the lock was held: try again later
    };

    // A user's seek: replaces whatever still waits.
    void post(int64_t target);
    // The player's own seek (the sound device stalled, a paused picture is
    // needed again): posted only when no request waits, so that it never
    // replaces a user's. Never waits for the lock.
    Resync tryPostResync(int64_t target);
    // Player thread: the newest request not taken yet.
    std::optional<SeekRequest> take();
    // Player thread: the seek of request `serial` is made, or could not be.
    void finish(uint64_t serial);

    // The target (µs) of the request that waits, if one does.
    std::optional<int64_t> waitingTarget() const;
    bool waiting() const { return waitingTarget().has_value(); }
    // µs: target of the newest request, waiting or made; 0 before the first.
    int64_t lastTarget() const;

private:
    friend class TestSeek; // holds the lock as a slow poster would

    mutable std::mutex mMutex;
    SeekRequest mNewest;    // the newest request posted
    uint64_t mTaken = 0;    // serial of the newest request the player thread took
    uint64_t mFinished = 0; // serial of the newest request whose seek was made
};

// What the decoders must know of the seek under way. The player thread
// publishes a new one for each seek it makes; the others only change the
// flags of the seek they work for.
struct SeekState
{
    int64_t target = 0;          // µs from the start of the recording
    uint32_t serial = 0;         // counts the seeks of the open (wrapping); 0 before the first
    bool dropSound = false;      // the sound decoder still drops sound before the target
    bool dropPictures = false;   // the video thread still drops pictures before the target
    bool picturePending = false; // the target's picture is still to be shown, even while paused
    bool late = false;           // the seek landed after its target: the player thread seeks again, earlier
    bool canRetry = false;       // an earlier landing point is still possible

    double targetSeconds() const { return double(target) / 1e6; } // s
};

// The seek under way, in one word: always read and changed whole, so that
// a target never goes with another seek's serial or flags, and the audio
// callback can read and change it without waiting.
class PublishedSeek
{
public:
    static constexpr int kTargetBits = 40; // µs: about 12.7 days
    static constexpr int kSerialBits = 19;
    static constexpr int64_t kMaxTarget = (int64_t(1) << kTargetBits) - 1; // µs
    static constexpr uint32_t kSerialMask = (uint32_t(1) << kSerialBits) - 1;

    SeekState load() const { return unpack(mWord.load()); }
    // Player thread: the seek under way from now on (its target capped at kMaxTarget).
    void publish(const SeekState &seek) { mWord.store(pack(seek)); }
    // Changes the seek with this serial; false, and nothing changed, when a
    // newer seek replaced it.
    template <typename Change>
    bool update(uint32_t serial, Change change)
    {
        uint64_t word = mWord.load();
        for (;;) {
            SeekState seek = unpack(word);
            if (seek.serial != serial)
                return false;
            change(seek);
            if (mWord.compare_exchange_weak(word, pack(seek)))
                return true;
        }
    }
    static uint32_t nextSerial(uint32_t serial) { return (serial + 1) & kSerialMask; }

    static uint64_t pack(const SeekState &seek);
    static SeekState unpack(uint64_t word);

private:
    static_assert(std::atomic<uint64_t>::is_always_lock_free, "the audio callback must never wait");
    std::atomic<uint64_t> mWord{0};
};
