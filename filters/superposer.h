// The overlay filter: copies each RGB24 frame of the preview into a work picture, can flip and mirror
// it, writes up to two outlined text lines into it (DV date, timecode, clock or user texts), and takes
// still pictures into twenty slots that it hands to the main window by posted messages.
#pragma once

#include "filters/dv_codes.h"
#include "filters/overlay_composer.h"
#include "filters/overlay_dates.h"
#include "filters/overlay_picture.h"
#include "filters/scene_detector.h"
#include "filters/transform_filter.h"
#include "settings/overlay_records.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace filters {

// {E97F14A9-9EB5-486F-8235-B29F93983433}
extern const CLSID CLSID_qz_Superposer;
extern const wchar_t kSuperposerFilterName[];  // "Marbrecq qz_Superposer"

constexpr int kSuperposerSlots = 20;

class Tqz_Superposer : public TBCTransformFilter {
public:
    // detector: the scene detector to link, or nullptr.
    explicit Tqz_Superposer(Tqz_SceneDetect* detector = nullptr);
    ~Tqz_Superposer() override;

    // Setters, called on the main thread (the streaming thread reads what they write).
    // The record is taken with its border and font size within their ranges (DrawableIncrustRec).
    void SetIncrustRec(const settings::TincrustRec& rec);
    void SetDisplayMode(std::uint8_t mode, std::uint32_t seconds);
    void SetVerticalFlip(bool flag);
    void SetHorizontalFlip(bool flag);
    void SetOverlayEnabled(bool flag);
    // The source delivers its pictures upside down (the preview branch clears it before each build).
    void SetSourceInverted(bool flag);
    // Periodic pictures every interval (1/10000 s), the first on the next frame.
    void StartExtraction(std::uint32_t interval);
    void StopExtraction();
    // The next frame is taken as a snapshot.
    void RequestGrab();
    // Hands a slot back after its WM_USER+1 (slots outside 0..19 are ignored).
    void ReleaseSlot(int slot);

    // The linked scene detector; changed by the preview branch while the graph is stopped (the
    // filter keeps a reference to it while linked).
    void SetSceneDetector(Tqz_SceneDetect* detector);
    Tqz_SceneDetect* SceneDetector() const { return detector_.load(); }

    // State for the main window and tests (any thread).
    bool VerticalFlip() const { return verticalFlip_.load(); }
    bool HorizontalFlip() const { return horizontalFlip_.load(); }
    bool SourceInverted() const { return sourceInverted_.load(); }
    bool OverlayEnabled() const { return overlayEnabled_.load(); }
    std::uint8_t DisplayMode() const { return displayMode_.load(); }
    std::uint32_t DisplaySeconds() const { return displaySeconds_.load(); }
    std::int32_t DisplayFrames() const { return displayFrames_.load(); }
    std::int32_t Countdown() const { return countdown_.load(); }
    bool ExtractionActive() const { return extractionActive_.load(std::memory_order_acquire); }
    std::int64_t ExtractionInterval() const { return extractionInterval_.load(); }
    std::int64_t NextDue() const { return nextDue_.load(); }
    std::int32_t SecondsLeft() const { return secondsLeft_.load(); }
    // A grab asked and not yet in a slot: it stays asked until its picture's slot is busy (a close
    // that waits for the pictures asked before it reads this first, then the slots).
    bool GrabRequested() const { return grabsAsked_.load() != grabsServed_.load(); }
    bool SlotBusy(int slot) const;
    std::int32_t SlotIndex() const { return slotIndex_.load(); }

    // Copies of what the streaming thread composes, for the main window and tests.
    settings::TincrustRec IncrustRec();
    std::pair<std::wstring, std::wstring> Lines();
    int XPos();
    int YPos();
    // Absolute font height in pixels of the overlay font.
    int FontHeight();
    // Lines of the last frame drawn the quick way (the rest went through GDI).
    int QuickLines();
    // The picture of a slot; the main window reads it between WM_USER+1 and clearing SlotBusy[slot].
    const TRgbPicture& SlotBitmap(int slot) const { return slots_[static_cast<size_t>(slot)]; }
    // The address of SourceInverted as one byte, which a capture plug-in may set to 1 while it builds
    // its branch (the stream is stopped then).
    BYTE* SourceInvertedByte() { return reinterpret_cast<BYTE*>(&sourceInverted_); }

    // The frame work without COM samples (Transform's steps after the sample properties), for
    // Transform and the benchmark: in holds the input frame in the format of the last SetupFrame;
    // out receives the bottom-up output picture and outLength its length. S_FALSE: not delivered.
    HRESULT ProcessFrame(const BYTE* in, long inLength, bool hasTime, REFERENCE_TIME start, BYTE* out,
                         long outSize, long& outLength);
    // Takes the input format (what StartStreaming does with the connected input's header).
    bool SetupFrame(const BITMAPINFOHEADER& header);

    // Filter operations.
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT StartStreaming() override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    static_assert(sizeof(std::atomic<bool>) == 1 && std::atomic<bool>::is_always_lock_free,
                  "the source-inverted flag is handed out as one byte");

    bool LoadInput(const BYTE* in, long inLength, bool turned, bool mirrored);  // under canvas_
    // composed: the frame's composed picture, nullptr when the frame could not be composed.
    void Extract(const BYTE* in, long inLength, bool hasTime, REFERENCE_TIME start, const TPictureView* composed);
    bool TakePicture(const BYTE* in, long inLength, const TPictureView* composed);
    void DecreaseCountdown();
    void RestartCountdown() { countdown_.store(displayFrames_.load() - 1); }

    // Written by the setters on the main thread, read by the streaming thread: atomics, since no
    // lock guards them.
    std::atomic<bool> verticalFlip_{false};
    std::atomic<bool> horizontalFlip_{false};
    std::atomic<bool> sourceInverted_{false};
    std::atomic<bool> overlayEnabled_{false};
    std::atomic<std::uint8_t> displayMode_{0};
    std::atomic<std::uint32_t> displaySeconds_{0};
    std::atomic<std::int32_t> displayFrames_{125};
    std::atomic<std::int32_t> countdown_{0};
    std::atomic<bool> extractionActive_{false};
    std::atomic<std::int64_t> extractionInterval_{0};
    std::atomic<std::int64_t> nextDue_{0};
    std::atomic<std::int32_t> secondsLeft_{0};
    // Grabs asked (main thread) and the count the last picture taken served (streaming thread):
    // requests made before one frame give one picture; one made while a picture is being taken
    // waits for the next frame.
    std::atomic<std::uint32_t> grabsAsked_{0};
    std::atomic<std::uint32_t> grabsServed_{0};
    // Set by the filter (release) after filling the slot, cleared by the main window (release) when
    // it is done with the picture: the flag is the only hand-over of a slot.
    std::array<std::atomic<bool>, kSuperposerSlots> slotBusy_{};
    std::atomic<std::int32_t> slotIndex_{0};
    std::atomic<Tqz_SceneDetect*> detector_{nullptr};
    Microsoft::WRL::ComPtr<IBaseFilter> detectorHold_;

    // The canvas lock: the composer (work picture, font, overlay record, texts). The main thread's
    // SetIncrustRec takes it too, so a record or font never changes during drawing.
    std::mutex canvas_;
    TOverlayComposer composer_;

    // Input format, set when streaming starts (streaming thread only afterwards).
    TFrameLayout layout_;

    // Streaming thread only.
    double shownTapeDate_ = 0, prevTapeDate_ = 0, refDate_ = 0, prevRefDate_ = 0;

    std::array<TRgbPicture, kSuperposerSlots> slots_;
};

}  // namespace filters
