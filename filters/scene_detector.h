// The DV scene detector: an in-place filter on a camcorder's DV stream that describes and numbers
// every frame, keeps the last 100 descriptions and frame heads in two rings for the overlay and DV
// header filters, tells the main window when the 16:9 flag changes and reports scenes (from the
// recording date) to a callback.
#pragma once

#include "filters/dv_codes.h"
#include "filters/filters_host.h"
#include "filters/transform_in_place.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace filters {

// One slot of a ring, written by one thread and read by others without a lock. The writer marks the
// slot busy (odd count), stores the value and publishes it (even count); a reader copies the value
// and takes it only when the count was even and unchanged around the copy, else reads again. Every
// word is moved by an atomic access, so a reader never sees a mix of two entries and no access is
// a data race. The writer never waits.
template <typename T>
class TPublishedSlot {
    static_assert(std::is_trivially_copyable_v<T>, "slots hold plain values");
    static_assert(sizeof(T) % sizeof(std::uint32_t) == 0, "slots are copied word by word");
    static constexpr std::size_t kWords = sizeof(T) / sizeof(std::uint32_t);

public:
    void Write(const T& value)
    {
        std::uint32_t words[kWords];
        std::memcpy(words, &value, sizeof(T));
        const std::uint32_t seq = seq_.load(std::memory_order_relaxed);
        seq_.store(seq + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < kWords; ++i) {
            std::atomic_ref<std::uint32_t>(words_[i]).store(words[i], std::memory_order_relaxed);
        }
        seq_.store(seq + 2, std::memory_order_release);
    }
    void Read(T& value) const { ReadBytes(0, sizeof(T), &value); }
    // Bytes [offset, offset + size) of the value, consistent with one write.
    void ReadBytes(std::size_t offset, std::size_t size, void* dest) const
    {
        const std::size_t first = offset / sizeof(std::uint32_t);
        const std::size_t last = (offset + size + sizeof(std::uint32_t) - 1) / sizeof(std::uint32_t);
        std::uint32_t words[kWords];
        for (;;) {
            const std::uint32_t before = seq_.load(std::memory_order_acquire);
            if ((before & 1) != 0) {
                continue;
            }
            for (std::size_t i = first; i < last; ++i) {
                words[i] = std::atomic_ref<std::uint32_t>(words_[i]).load(std::memory_order_relaxed);
            }
            std::atomic_thread_fence(std::memory_order_acquire);
            if (seq_.load(std::memory_order_relaxed) == before) {
                break;
            }
        }
        std::memcpy(dest, reinterpret_cast<const unsigned char*>(words) + offset, size);
    }

private:
    std::atomic<std::uint32_t> seq_{0};
    mutable std::uint32_t words_[kWords]{};
};

// The rings' size and what a header ring entry holds of a frame.
constexpr int kSceneRingSize = 100;
constexpr int kRingHeadCount = 10;       // DIF sequences 0..9, also for 625/50 frames
constexpr std::size_t kRingHeadBytes = 480;  // header block, both subcode blocks, three VAUX blocks

// One entry of the header ring: the first 480 bytes of DIF sequences 0..9 and the frame's start time
// in 100-ns units.
struct THeaderRingEntry {
    std::uint8_t Heads[kRingHeadCount][kRingHeadBytes];
    std::int64_t StartTime;
};

// {E87CC8D6-571D-4927-AC63-AEE089DF6B39}
extern const CLSID CLSID_qz_SceneDetect;
extern const char kSceneDetectName[];  // "Marbrecq qz_SceneDetect"

class Tqz_SceneDetect : public TBCTransInPlaceFilter {
public:
    // Created directly by the DV capture device, with no outer object; the data passes unchanged.
    Tqz_SceneDetect();

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    HRESULT Stop() override;
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT StartStreaming() override;
    using TBCTransInPlaceFilter::Transform;
    HRESULT Transform(IMediaSample* sample) override;

    // The scene callback (nullptr switches callbacks off); set and cleared by the main window while
    // the stream may run, so it is read once per use.
    void SetSceneCallback(TSceneCallback callback) { sceneCallback_.store(callback); }
    TSceneCallback SceneCallback() const { return sceneCallback_.load(); }

    // Ring readers, for the overlay and DV header filters' streaming threads. An index outside
    // 0..99 is no entry: the readers answer false and leave the destination as it was.
    bool ReadInfo(int index, TDVInfoRec& info) const;
    bool ReadHeads(int index, THeaderRingEntry& entry) const;
    bool ReadStartTime(int index, std::int64_t& startTime) const;
    // The overlay's ring lookup: from the newest entry back, the first whose start time is not later
    // than sampleStart (the oldest when none is); the search runs in a local and the result is stored
    // once into RingReadIndex, which therefore always holds an entry's index. Answers that index.
    int LookupRing(std::int64_t sampleStart);
    // The same search without storing anything: the entry of the frame that started at SampleStart
    // (or the newest before it), -1 when every entry is later.
    int FindRing(std::int64_t sampleStart) const;

    // Newest entry of both rings, 0..99; published after the entry is filled.
    std::atomic<std::int32_t> RingWriteIndex{0};
    // The entry matching the frame the overlay shows: written by the overlay, read by the DV header
    // filter, reset by Stop.
    std::atomic<std::int32_t> RingReadIndex{0};

    // The scene rules' limits.
    static constexpr double DateJumpLimit = 2.0 / 86400.0;  // 2 seconds as a date-time difference
    static constexpr std::int32_t SceneMinFrames = 12;

    // Detector state, touched by Transform on the streaming thread and by Stop once that thread is
    // out of the filter; read them only while the filter is stopped.
    TDVInfoRec SceneStart{};
    TDVInfoRec Current{};
    TDVInfoRec Previous{};
    double LastDate = 0.0;
    bool DateRefSet = false;
    bool FirstFrame = true;

private:
    void SceneChange();
    void ResetState();

    std::atomic<TSceneCallback> sceneCallback_{nullptr};
    TPublishedSlot<TDVInfoRec> infoRing_[kSceneRingSize];
    TPublishedSlot<THeaderRingEntry> headerRing_[kSceneRingSize];
    THeaderRingEntry pending_{};  // the entry being filled, before it is published
};

}  // namespace filters
