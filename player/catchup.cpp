#include "catchup.h"

#include <algorithm>

CatchUp::CatchUp(double frameDuration)
    : mFrameDuration(frameDuration)
    , mBehindAt(std::max(kBehind, 2 * frameDuration))
    , mTooOld(std::max(kTooOld, mBehindAt))
{
}

void CatchUp::restart()
{
    mStarted = false;
    mBehind = false;
    mBehindUs = 0;
    mShownSinceRestart = false;
}

void CatchUp::setLevel(Level level, double late)
{
    mLevel = level;
    mSettling = true;
    mBehindUs = 0;
    mOnTimeUs = 0;
    mLateMark = late;
}

bool CatchUp::resumeAt(double late)
{
    if (mLevel != KeyFramesOnly || late > 0.0)
        return false;
    setLevel(SkipLoopFilter, 0.0);
    return true;
}

bool CatchUp::decide(double late, int64_t nowUs)
{
    const int64_t step = mStarted ? std::clamp<int64_t>(nowUs - mLastUs, 0, kMaxStepUs) : 0;
    mStarted = true;
    mLastUs = nowUs;
    mElapsedUs += step;

    const bool onTime = late <= mFrameDuration;
    const bool behind = late > mBehindAt;
    if (behind) {
        if (!mBehind) {
            mBehindUs = 0;
            mLateMark = late;
            mSettling = false;
        } else {
            mBehindUs += step;
        }
        mOnTimeUs = 0;
        // A cheaper path shows only once the pictures decoded before it are out.
        if (mBehindUs >= (mSettling ? kSettleUs : kEscalateUs)) {
            // Catching up already: the decoder needs no cheaper path.
            const bool catchingUp = mLateMark - late >= kMinCatchUp * double(mBehindUs) / 1e6;
            const bool canEscalate = mLevel < SkipLoopFilter || (mLevel == SkipLoopFilter && late > kHopeless);
            if (!catchingUp && canEscalate) {
                if (mRestoredAt >= 0 && mElapsedUs - mRestoredAt < kRelapseUs)
                    mHoldUs = std::min(2 * mHoldUs, kMaxHoldUs);
                setLevel(Level(mLevel + 1), late);
            } else {
                mBehindUs = 0;
                mLateMark = late;
                mSettling = false;
            }
        }
    } else if (onTime) {
        mOnTimeUs += step;
        if (mLevel > Full && mOnTimeUs >= mHoldUs) {
            setLevel(Level(mLevel - 1), late);
            mRestoredAt = mElapsedUs;
        }
    }
    mBehind = behind;

    // Too slow once degraded (or behind at full quality) for a while; short
    // returns to full quality do not end that, only a lasting one does.
    if (mLevel > Full || behind) {
        mDegradedUs += step;
        mClearUs = 0;
    } else if (onTime) {
        mClearUs += step;
        if (mClearUs >= kClearUs)
            mDegradedUs = 0;
    }
    if (mDegradedUs >= kTooSlowUs)
        mTooSlow = true;
    else if (mClearUs >= kClearUs)
        mTooSlow = false;

    if (late <= mTooOld || !mShownSinceRestart || nowUs - mLastShownUs >= kMaxGapUs) {
        mShownSinceRestart = true;
        mLastShownUs = nowUs;
        return true;
    }
    return false;
}
