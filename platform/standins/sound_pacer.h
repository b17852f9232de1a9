// Keeps the sound a capture pin delivers on the graph clock: unit by unit, which recorded frames a
// unit takes and what stands in for sound the input lost, gave late or gave too much of, so that the
// frames delivered by any stream time make up that time (within a unit) however the input's own
// clock runs and however long the stream stalled. A clock running apart is followed by stretching
// no more than clocks stray; sound a busy machine holds back is waited for, and only sound that
// stays missing is taken for lost. Arithmetic only: no device, no thread.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>

namespace standins {

// How long a sound input is waited for: a unit's recorded frames until this long past its end, and
// an input that gave nothing for this long is taken for dead. A loaded machine holds an input's
// sound back for a good part of a second at times: what comes within this wait is no hole.
inline constexpr REFERENCE_TIME kSoundInputPatience = 20000000;

// What one unit of the stream is made of, in frames: Silence first, then Take recorded frames
// stretched (or squeezed) over the rest of the unit. Skip recorded frames are passed over before.
struct TUnitPlan {
    std::size_t Skip = 0;
    std::size_t Silence = 0;
    std::size_t Take = 0;
    // The unit begins where sound was lost: its sample is marked a discontinuity.
    bool Gap = false;
};

class TSoundPacer {
public:
    // Rate frames a second, UnitFrames frames a unit (both above 0); the input gives its sound in
    // lumps of LumpFrames.
    TSoundPacer(DWORD Rate, DWORD UnitFrames, DWORD LumpFrames);

    // The stream starts again (a new run): what the input recorded before is not part of it.
    void Restart();
    // The plan of unit Unit (it spans stream time Unit to Unit + 1 unit lengths) made at stream time
    // Now, with Waiting recorded frames not taken yet and Lost frames the input's store let go
    // unread since the last plan.
    TUnitPlan Plan(LONGLONG Unit, REFERENCE_TIME Now, std::size_t Waiting, std::size_t Lost);

    // Stream time by which unit Unit's recorded frames should be there: past it the ones missing
    // are left silent, so that an input that gives too little does not hold the stream back for
    // good.
    REFERENCE_TIME Deadline(LONGLONG Unit) const;

private:
    // Notes how many frames the input owes the clock; a window's worth of notes decides whether
    // the input runs late or early for good, and what makes up for it.
    void Observe(std::int64_t Owed, std::int64_t Have, TUnitPlan& Plan);
    // Puts Frames frames in (< 0: leaves them out) with Have recorded frames waiting: a few by
    // stretching units, many (or all when AtOnce) as silence or by skipping.
    void MakeUp(std::int64_t Frames, std::int64_t Have, bool AtOnce, TUnitPlan& Plan);
    void ResetWindow();

    std::int64_t rate_;
    std::int64_t unit_;
    int window_;          // units whose notes decide a correction
    std::int64_t slack_;  // frames of lateness or earliness let pass (delivery jitter)
    std::int64_t step_;   // frames a unit is stretched or squeezed by at most
    std::int64_t kept_;   // what the input should owe at a unit's end: less than 0, frames in hand
    // Frames beyond kept_ that a window's lateness or earliness reaches at most when only clocks
    // run apart: more is sound held back, lost or given in a burst.
    std::int64_t drift_;
    int patience_;        // windows a lateness lasts before the sound is taken for lost

    bool started_ = false;
    std::int64_t silence_ = 0;     // frames of silence still to come
    std::int64_t correction_ = 0;  // frames still to stretch in (> 0) or squeeze out (< 0)
    int lateWindows_ = 0;          // windows in a row the input owed more than clocks explain
    std::int64_t lateLeast_ = 0;   // the least it owed beyond kept_ in them
    int notes_ = 0;
    std::int64_t leastOwed_ = 0;
    std::int64_t mostOwed_ = 0;
};

// Stretches or squeezes InFrames PCM frames (Channels of 8-bit unsigned or 16-bit signed samples)
// over OutFrames by linear interpolation; the first and last frames stay as they are.
void StretchPcm(const BYTE* In, std::size_t InFrames, BYTE* Out, std::size_t OutFrames, WORD Channels, WORD Bits);

}  // namespace standins
