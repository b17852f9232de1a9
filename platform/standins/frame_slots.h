// Where the pictures of a stream go in a file that shows one picture per frame time (an AVI stream
// of a stated rate, DV's sound beside its frames): each in the slot its stamp falls in, counted from
// the start of its run, so that the places of pictures a camera never gave stay empty and the track
// lasts as long as the time recorded, however far apart the pictures come and however their stamps
// stray.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <algorithm>
#include <cstdint>

namespace standins {

// A step in a stream's stamps longer than this is a new timeline, not pictures lost.
inline constexpr REFERENCE_TIME kMostFilledTime = 60 * 10000000LL;

class TFrameSlots {
public:
    // The empty slots to leave before a picture: how many, and the time of the first (the others
    // follow a frame time apart).
    struct TEmpty {
        std::int64_t Count = 0;
        REFERENCE_TIME At = 0;
    };

    // Frame times of 0 or less place nothing: every picture goes where it comes.
    void SetFrameTime(REFERENCE_TIME frameTime)
    {
        frameTime_ = frameTime;
        placing_ = false;
    }
    REFERENCE_TIME FrameTime() const { return frameTime_; }

    // Places the next picture. An untimed picture, a discontinuity (a new run of the source, or
    // pictures taken one by one), a stamp before the last one or a step of more than
    // kMostFilledTime starts a new run in the next slot. Otherwise the picture goes in the slot its
    // stamp falls in: a picture late by less than a frame time stays in its own slot, and the empty
    // ones go only where a whole frame time passed without one. A picture whose slot is taken (two
    // in one frame time) goes in the next one, and so only the time the track ran ahead of is
    // left empty later: no picture is lost, and the lead never adds up unless the source gives
    // more pictures than its stated rate (every one is kept, and the track runs ahead).
    // Stop is where the picture ends (at or before Start: a frame time after it).
    TEmpty Place(bool timed, bool discontinuity, REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        const bool placing = placing_;
        placing_ = timed && frameTime_ > 0;
        if (!placing_) {
            return {};
        }
        lastEnd_ = stop > start ? stop : start + frameTime_;
        if (!placing || discontinuity || start < last_ || start - last_ > kMostFilledTime) {
            runStart_ = start;
            last_ = start;
            used_ = 1;
            return {};
        }
        last_ = start;
        const std::int64_t slot = (start - runStart_) / frameTime_;
        TEmpty empty;
        if (slot > used_) {
            empty.Count = slot - used_;
            empty.At = runStart_ + used_ * frameTime_;
        }
        used_ = std::max(slot, used_) + 1;
        return empty;
    }

    // The stream ends: the empty slots that hold its last picture until that picture's end, to the
    // nearest slot (the slot its stamp fell in may have begun up to a frame time before it). The
    // next picture starts a new run.
    TEmpty End()
    {
        TEmpty tail;
        if (placing_) {
            const std::int64_t end = (lastEnd_ - runStart_ + frameTime_ / 2) / frameTime_;
            if (end > used_) {
                tail.Count = end - used_;
                tail.At = runStart_ + used_ * frameTime_;
            }
        }
        placing_ = false;
        return tail;
    }

private:
    REFERENCE_TIME frameTime_ = 0;
    bool placing_ = false;
    REFERENCE_TIME runStart_ = 0;  // the stamp of the run's first picture, in its slot 0
    REFERENCE_TIME last_ = 0;      // the last picture's stamp
    REFERENCE_TIME lastEnd_ = 0;   // and its end
    std::int64_t used_ = 0;        // slots of the run given out, pictures and empty ones
};

}  // namespace standins
