// The places of the pictures a recording's stamper lets through to a file of one picture per frame
// time: a picture whose slot (by its stamp, counted from the start of its run) is taken already is
// left out and counted, so that a camera faster than its format states keeps its picture track
// with the sound whatever multiplexer writes the file; a stamp that lies ahead of the recording's
// clock is taken at the clock.
#pragma once

#include "filters/frame_slots.h"

#include <atomic>
#include <cstdint>

namespace filters {

class TPictureSlots {
public:
    // The frame time the stream's type states (a video format's, a DV frame's).
    static constexpr REFERENCE_TIME kStatedFrameTime = -1;

    // 0: every picture passes where it comes; kStatedFrameTime, or the frame time of the file's
    // pictures (where a coder after the stamper makes them of another rate). The thread that builds
    // the recording sets it while the filter is stopped.
    void SetFrameTime(REFERENCE_TIME frameTime) { frameTime_.store(frameTime); }
    REFERENCE_TIME FrameTime() const { return frameTime_.load(); }
    // A new recording starts (the filter leaves the stopped state): nothing is left out yet.
    void Begin() { leftOut_.store(0); }
    // The stream ended (the filter stopped): its next picture starts a run.
    void Restart() { slots_.SetFrameTime(0); }
    // Whether a picture of Type passes, stamped Start to Stop as it goes to the file (Timed: it has
    // both), at the recording's stream time Clock (kNoClock: none); a stamp ahead of the clock is
    // moved to it in Start and Stop. A picture that others may refer to (StandsAlone false) is never
    // left out. Streaming thread.
    bool Pass(const AM_MEDIA_TYPE& type, long bytes, bool timed, bool discontinuity, bool standsAlone,
              REFERENCE_TIME& start, REFERENCE_TIME& stop, REFERENCE_TIME clock);
    // Pictures left out since the recording started.
    std::uint32_t LeftOut() const { return leftOut_.load(); }

    // The frame time a picture's type states, or a DV frame's of Bytes; 0 when neither says one.
    static REFERENCE_TIME StatedFrameTime(const AM_MEDIA_TYPE& type, long bytes);

private:
    std::atomic<REFERENCE_TIME> frameTime_{0};
    std::atomic<std::uint32_t> leftOut_{0};
    TFrameSlots slots_;  // streaming thread
};

}  // namespace filters
