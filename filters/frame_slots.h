// Where the pictures of a stream go in a file that shows one picture per frame time (an AVI stream
// of a stated rate, DV's sound beside its frames): each in the slot its stamp falls in, counted from
// the start of its run, so that the places of pictures a camera never gave stay empty and the track
// lasts as long as the time recorded, however far apart the pictures come, however their stamps
// stray, and (where pictures whose slot is taken are left out) however fast the camera gives them.
// A stamp is trusted no further than the recording's own clock has run.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace filters {

// A step in a stream's stamps longer than this is a new timeline, not pictures lost.
inline constexpr REFERENCE_TIME kMostFilledTime = 60 * 10000000LL;
// The recording's clock is not known (a graph without one runs as fast as its filters go): the
// stamps alone place the pictures.
inline constexpr REFERENCE_TIME kNoClock = INT64_MIN;

// Sums and differences of times that cannot overflow, however a source stamps: they stop at the
// largest and smallest times.
inline REFERENCE_TIME AddTime(REFERENCE_TIME t, REFERENCE_TIME d)
{
    if (d > 0 && t > INT64_MAX - d) return INT64_MAX;
    if (d < 0 && t < INT64_MIN - d) return INT64_MIN;
    return t + d;
}
inline REFERENCE_TIME TimeBetween(REFERENCE_TIME from, REFERENCE_TIME to)
{
    const std::uint64_t d = to >= from ? static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from)
                                       : static_cast<std::uint64_t>(from) - static_cast<std::uint64_t>(to);
    const auto most = static_cast<REFERENCE_TIME>(std::min<std::uint64_t>(d, INT64_MAX));
    return to >= from ? most : -most;
}

class TFrameSlots {
public:
    // The empty slots to leave before a picture: how many, and the time of the first (the others
    // follow a frame time apart).
    struct TEmpty {
        std::int64_t Count = 0;
        REFERENCE_TIME At = 0;
    };
    // And the picture itself: whether its slot was taken already (left out, where pictures whose
    // slot is taken are left out), and where it lies, a stamp ahead of the clock taken at the clock.
    struct TPlace : TEmpty {
        bool LeftOut = false;
        REFERENCE_TIME Start = 0;
        REFERENCE_TIME Stop = 0;
    };

    // Frame times of 0 or less place nothing: every picture goes where it comes. With LeaveOut, a
    // picture whose slot is taken is left out (its stream's pictures stand alone); without, it goes
    // in the next slot.
    void SetFrameTime(REFERENCE_TIME frameTime, bool leaveOut = false)
    {
        frameTime_ = frameTime;
        leaveOut_ = leaveOut;
        placing_ = false;
    }
    REFERENCE_TIME FrameTime() const { return frameTime_; }

    // How far ahead of the recording's clock (its stream time now) a stamp may lie: a picture is
    // stamped when it is taken, and a camera's stamps stray by up to half a frame time.
    // A stream without frames (sound) is given the time of a PAL frame.
    static REFERENCE_TIME Reach(REFERENCE_TIME clock, REFERENCE_TIME frameTime)
    {
        const REFERENCE_TIME step = frameTime > 0 ? std::min(frameTime, kMostFilledTime) : 400000;
        return clock == kNoClock ? INT64_MAX : AddTime(clock, 2 * step);
    }

    // Places the next picture, Clock being the recording's stream time as it comes (kNoClock: none).
    // A stamp that lies further ahead of the clock than Reach is taken at the clock, a stop stamp no
    // further than Reach. An untimed picture, a discontinuity (a new run of the source, or pictures
    // taken one by one), a stamp before the last one or a step of more than kMostFilledTime starts
    // a new run in the next slot. Otherwise the picture goes in the slot its stamp falls in: a
    // picture late by less than a frame time stays in its own slot, and the empty ones go only
    // where a whole frame time passed without one. A picture whose slot is taken (two in one frame
    // time) is left out, or else goes in the next one, and so only the time the track ran ahead of
    // is left empty later (the lead never adds up unless the source gives more pictures than its
    // stated rate: then the track runs ahead). Stop is where the picture ends (at or before Start:
    // a frame time after it).
    TPlace Place(bool timed, bool discontinuity, REFERENCE_TIME start, REFERENCE_TIME stop,
                 REFERENCE_TIME clock = kNoClock)
    {
        TPlace place;
        const bool placing = placing_;
        placing_ = timed && frameTime_ > 0;
        const REFERENCE_TIME reach = Reach(clock, frameTime_);
        if (start > reach) start = clock;
        if (stop > reach) stop = reach;
        place.Start = start;
        place.Stop = stop;
        if (!placing_) {
            return place;
        }
        if (!placing || discontinuity || start < last_ || Since(last_, start) > kMostFilledTime) {
            runStart_ = start;
            last_ = start;
            lastEnd_ = stop > start ? stop : AddTime(start, frameTime_);
            used_ = 1;
            return place;
        }
        const std::int64_t slot = SlotOf(start);
        if (slot < used_ && leaveOut_) {
            // Left out, it is no picture of the file: the run goes on as if it never came.
            place.LeftOut = true;
            return place;
        }
        last_ = start;
        lastEnd_ = stop > start ? stop : AddTime(start, frameTime_);
        if (slot > used_) {
            place.Count = slot - used_;
            place.At = SlotStart(used_);
        }
        used_ = std::max(slot, used_) + 1;
        return place;
    }

    // The stream ends, Clock being the recording's stream time then: the empty slots that hold its
    // last picture until that picture's end, to the nearest slot (the slot its stamp fell in may
    // have begun up to a frame time before it), and no further than Reach of the clock (without a
    // clock, kMostFilledTime after its start). The next picture starts a new run.
    TEmpty End(REFERENCE_TIME clock = kNoClock)
    {
        TEmpty tail;
        if (placing_) {
            const REFERENCE_TIME most = clock == kNoClock ? AddTime(last_, kMostFilledTime) : Reach(clock, frameTime_);
            const REFERENCE_TIME end = std::min(lastEnd_, most);
            const std::int64_t slots =
                end > runStart_ ? SlotOf(AddTime(end, frameTime_ / 2)) : 0;
            if (slots > used_) {
                tail.Count = slots - used_;
                tail.At = SlotStart(used_);
            }
        }
        placing_ = false;
        return tail;
    }

private:
    // A difference of times counted without sign (To at or after From).
    static std::uint64_t Since(REFERENCE_TIME from, REFERENCE_TIME to)
    {
        return static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from);
    }
    // The slot a time of the run (at or after its start) falls in.
    std::int64_t SlotOf(REFERENCE_TIME t) const
    {
        const std::uint64_t slot = Since(runStart_, t) / static_cast<std::uint64_t>(frameTime_);
        return static_cast<std::int64_t>(std::min<std::uint64_t>(slot, INT64_MAX / 2));
    }
    REFERENCE_TIME SlotStart(std::int64_t slot) const
    {
        return slot > (INT64_MAX - std::max<REFERENCE_TIME>(runStart_, 0)) / frameTime_ ? INT64_MAX
                                                                                      : runStart_ + slot * frameTime_;
    }

    REFERENCE_TIME frameTime_ = 0;
    bool leaveOut_ = false;
    bool placing_ = false;
    REFERENCE_TIME runStart_ = 0;  // the stamp of the run's first picture, in its slot 0
    REFERENCE_TIME last_ = 0;      // the last picture's stamp
    REFERENCE_TIME lastEnd_ = 0;   // and its end
    std::int64_t used_ = 0;        // slots of the run given out, pictures and empty ones
};

// The recording's stream time for a filter's streaming threads, from the clock and start of its
// last run (kNoClock while it does not run, or runs without a clock): the filter lock, which a
// stopping thread holds while it waits for them, is not taken.
class TRunClock {
public:
    void Run(IReferenceClock* clock, REFERENCE_TIME start)
    {
        std::lock_guard<std::mutex> guard(lock_);
        clock_ = clock;
        start_ = start;
    }
    void Stop()
    {
        std::lock_guard<std::mutex> guard(lock_);
        clock_.Reset();
    }
    REFERENCE_TIME Now() const
    {
        Microsoft::WRL::ComPtr<IReferenceClock> clock;
        REFERENCE_TIME start = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            clock = clock_;
            start = start_;
        }
        REFERENCE_TIME now = 0;
        // Before the stream's start (a source may give its first sample then) it has run nothing.
        return clock && SUCCEEDED(clock->GetTime(&now)) && now >= start ? now - start
               : clock                                                   ? 0
                                                                         : kNoClock;
    }

private:
    mutable std::mutex lock_;
    Microsoft::WRL::ComPtr<IReferenceClock> clock_;
    REFERENCE_TIME start_ = 0;
};

}  // namespace filters
