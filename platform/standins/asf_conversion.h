// What the ASF writer does to its inputs to code them as its profile says: pictures scaled to the
// profile's size (libswscale) and paced to its frame rate by dropping or repeating them, sound
// resampled to its rate and channels (libswresample).
#pragma once

#include <windows.h>
#include <strmif.h>

#include <algorithm>
#include <cstdint>
#include <vector>

struct AVFrame;
struct SwsContext;
struct SwrContext;

namespace standins {

// Places pictures on the slots of a fixed frame time, counted from the first picture's start: each
// picture takes the slot nearest its start, the slots it skipped repeat the picture before, and a
// picture whose slot is taken already is dropped. Used on one streaming thread.
class TFramePacer {
public:
    struct TPlace {
        bool Take = false;  // the picture is coded, in slot Slot
        std::int64_t Slot = 0;
        std::int64_t Repeats = 0;  // slots before Slot that repeat the picture before
    };

    // The frame time in 100 ns units (at least 1); every later picture counts from the next first one.
    void Reset(REFERENCE_TIME frameTime);
    // The place of a picture starting at start; an untimed picture takes the next slot.
    TPlace Place(REFERENCE_TIME start, bool timed);
    // The start of slot n.
    REFERENCE_TIME SlotStart(std::int64_t n) const;
    REFERENCE_TIME FrameTime() const { return frameTime_; }

    // A gap longer than this many slots is left as a gap (a jump of the clock), not filled with repeats.
    static constexpr std::int64_t kMostRepeats = 250;

private:
    REFERENCE_TIME frameTime_ = 400000;
    REFERENCE_TIME origin_ = 0;
    bool started_ = false;
    std::int64_t next_ = 0;
};

// Inline: the pacing is tested on its own, without the coding libraries.
inline void TFramePacer::Reset(REFERENCE_TIME frameTime) {
    frameTime_ = std::max<REFERENCE_TIME>(frameTime, 1);
    origin_ = 0;
    started_ = false;
    next_ = 0;
}

inline TFramePacer::TPlace TFramePacer::Place(REFERENCE_TIME start, bool timed) {
    TPlace place;
    if (!started_) {
        origin_ = timed ? start : 0;
        started_ = true;
        next_ = 1;
        place.Take = true;
        return place;
    }
    if (!timed) {
        place.Take = true;
        place.Slot = next_++;
        return place;
    }
    // Before the first picture: its slot is long gone.
    if (start < origin_) return place;
    // Unsigned: any two times have a difference, however far apart a source's clock put them.
    const auto since = static_cast<std::uint64_t>(start) - static_cast<std::uint64_t>(origin_);
    const auto step = static_cast<std::uint64_t>(frameTime_);
    const std::uint64_t nearest = since / step + (since % step >= (step + 1) / 2 ? 1 : 0);
    // A slot whose start no time can hold is never taken.
    const std::uint64_t room =
        static_cast<std::uint64_t>(INT64_MAX) - static_cast<std::uint64_t>(std::max<REFERENCE_TIME>(origin_, 0));
    if (nearest > room / step) return place;
    const auto slot = static_cast<std::int64_t>(nearest);
    if (slot < next_) return place;
    place.Take = true;
    place.Slot = slot;
    place.Repeats = slot - next_ <= kMostRepeats ? slot - next_ : 0;
    next_ = slot + 1;
    return place;
}

inline REFERENCE_TIME TFramePacer::SlotStart(std::int64_t n) const {
    return origin_ + n * frameTime_;
}

// Turns DirectShow pictures (RGB24 or YUY2 of the input's size) into YUV 4:2:0 frames of the
// profile's size.
class TPictureScaler {
public:
    TPictureScaler() = default;
    ~TPictureScaler() { Close(); }
    TPictureScaler(const TPictureScaler&) = delete;
    TPictureScaler& operator=(const TPictureScaler&) = delete;

    // Ready for pictures of width x height into frames of toWidth x toHeight; false when out of memory.
    bool Open(int width, int height, int toWidth, int toHeight);
    void Close();
    // Fills frame (writable, of the target size) from one picture of type mt.
    bool Convert(const std::uint8_t* picture, const AM_MEDIA_TYPE& mt, AVFrame* frame);

private:
    AVFrame* source_ = nullptr;  // the input's size, when it differs from the target's
    SwsContext* scaler_ = nullptr;
};

// Turns interleaved 16-bit PCM into planar float samples of another rate and channel count.
class TSoundResampler {
public:
    TSoundResampler() = default;
    ~TSoundResampler() { Close(); }
    TSoundResampler(const TSoundResampler&) = delete;
    TSoundResampler& operator=(const TSoundResampler&) = delete;

    bool Open(int rate, int channels, int toRate, int toChannels);
    void Close();
    // Converts samples (per channel) of pcm, or with pcm null what the resampler still holds (at the
    // end); answers how many samples per channel Plane() now holds (negative on failure).
    int Convert(const std::int16_t* pcm, int samples);
    const float* Plane(int channel) const { return planes_[static_cast<std::size_t>(channel)].data(); }

private:
    SwrContext* resampler_ = nullptr;
    int channels_ = 0;
    std::vector<std::vector<float>> planes_;
};

}  // namespace standins
