// The DV header filter: an in-place filter on re-encoded DV frames that writes back the frame heads
// (header, subcode and VAUX blocks: timecode and recording date) the scene detector saved for the
// same frame, found by its time, and can mark every frame 16:9.
#pragma once

#include "filters/scene_detector.h"
#include "filters/time_stamper.h"

#include <atomic>
#include <cstdint>

namespace filters {

// {60FF9D56-EC15-4F17-A2AB-9DA99CD9D0DC}
extern const CLSID CLSID_qz_DVheader;
extern const char kDVHeaderName[];  // "Marbrecq qz_DVHeader"

class Tqz_DVheader : public TBCTransInPlaceFilter {
public:
    // sceneDetector: the detector whose header ring is read, or nullptr; held with a reference for
    // the filter's life. No outer object; the filter modifies the data.
    explicit Tqz_DVheader(Tqz_SceneDetect* sceneDetector);
    ~Tqz_DVheader() override;

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    using TBCTransInPlaceFilter::Transform;
    HRESULT Transform(IMediaSample* sample) override;

    // Only the value 1 marks frames 16:9. Set from the main thread while the stream may run.
    void SetForceWide(std::uint8_t flag) { ForceWide.store(flag); }
    std::atomic<std::uint8_t> ForceWide{0};

    Tqz_SceneDetect* SceneDetector() const { return sceneDetector_.load(); }
    // Another detector (or none) for the next recording; held with a reference. Set while the
    // graph is stopped.
    void SetSceneDetector(Tqz_SceneDetect* sceneDetector);
    // The stamper upstream whose freezes move the frames' stamps back (or none): what it took off
    // is added again to find a frame's own time. It must hand its samples on the thread that brings
    // them here, so that its shift is the one of the frame at hand. Set while the graph is stopped;
    // the stamper must outlive the filter's runs.
    void SetStampShifter(const Tqz_TimeStamper* stamper) { shifter_.store(stamper); }

private:
    std::atomic<Tqz_SceneDetect*> sceneDetector_;
    std::atomic<const Tqz_TimeStamper*> shifter_{nullptr};
    Microsoft::WRL::ComPtr<IBaseFilter> detectorRef_;
    THeaderRingEntry heads_{};  // streaming thread only
};

}  // namespace filters
