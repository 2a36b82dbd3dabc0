#pragma once

#include <cstdint>

// How the video thread keeps up when pictures decode slower than real time.
// Told how late each decoded picture is against the playback clock, it
// decides whether to show it, which of the decoder's cheaper paths to take,
// and when the machine is too slow for the recording. A plain value owned by
// the video thread; the wall time is passed in.
//
// Late pictures are dropped only while one was shown recently: the picture
// slips behind the sound and steps at a few pictures a second rather than
// freezing. A lateness that lasts makes the decoder cheaper, a level at a
// time; being on time again for a while restores it, and a restore that
// soon falls behind again makes the next one wait twice as long.
class CatchUp
{
public:
    enum Level {
        Full = 0,
        SkipNonRef = 1,     // pictures nothing refers to are not decoded
        SkipLoopFilter = 2, // and the loop filter is left out outside key frames
        KeyFramesOnly = 3,  // hopelessly behind: only key frames, until one that is not late
    };

    static constexpr int64_t kMaxGapUs = 180000;    // a late picture is shown when none was for this long
    static constexpr double kBehind = 0.1;          // s late (at least two periods): falling behind
    static constexpr double kTooOld = 0.25;         // s late (at least kBehind): dropped unless the gap is long
    static constexpr int64_t kEscalateUs = 500000;  // behind this long, not catching up: a level cheaper
    static constexpr int64_t kSettleUs = 1000000;   // after a level change, its effect is judged this long
    static constexpr double kMinCatchUp = 0.1;      // s of lateness won back per s: catching up
    static constexpr double kHopeless = 0.5;        // s late on the last level before key frames only
    static constexpr int64_t kFirstHoldUs = 2000000; // on time this long: a level back up
    static constexpr int64_t kMaxHoldUs = 32000000;
    static constexpr int64_t kRelapseUs = 8000000;  // behind again this soon after a restore: hold doubles
    static constexpr int64_t kTooSlowUs = 3000000;  // degraded this long: too slow for the recording
    static constexpr int64_t kClearUs = 3000000;    // full quality and on time this long: no longer
    static constexpr int64_t kMaxStepUs = 1500000;  // at most this much counts between two pictures

    explicit CatchUp(double frameDuration);

    // A decoded picture, `late` s behind the clock (0 when it was early),
    // at wall time nowUs: true when it should be shown.
    bool decide(double late, int64_t nowUs);
    // Key frames only: a key frame that is not late yet (`late` s before it
    // is decoded, 0 or less) is where decoding resumes on the level before;
    // true then.
    bool resumeAt(double late);
    // Playback stood still (paused, sought): the time until the next picture
    // counts for nothing, and that picture is judged afresh.
    void restart();

    Level level() const { return mLevel; }
    bool tooSlow() const { return mTooSlow; }
    int64_t holdUs() const { return mHoldUs; }

private:
    void setLevel(Level level, double late);

    const double mFrameDuration;
    const double mBehindAt;
    const double mTooOld;
    Level mLevel = Full;
    bool mTooSlow = false;
    bool mStarted = false;       // a picture was judged since the last restart
    bool mBehind = false;        // the last picture judged was behind
    bool mSettling = false;      // the level changed during this behind stretch
    int64_t mLastUs = 0;         // wall time of that picture
    int64_t mLastShownUs = 0;
    bool mShownSinceRestart = false;
    int64_t mElapsedUs = 0;      // counted time (pauses left out)
    int64_t mBehindUs = 0;       // behind without a picture on time
    int64_t mOnTimeUs = 0;       // on time without a picture behind
    double mLateMark = 0.0;      // lateness when the behind stretch or level began
    int64_t mHoldUs = kFirstHoldUs;
    int64_t mRestoredAt = -1;    // mElapsedUs of the last restore
    int64_t mDegradedUs = 0;     // stretch below full quality (short returns included)
    int64_t mClearUs = 0;        // full quality and on time
};
