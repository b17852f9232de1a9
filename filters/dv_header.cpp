#include "filters/dv_header.h"

#include <cstring>
#include <span>

namespace filters {

// {60FF9D56-EC15-4F17-A2AB-9DA99CD9D0DC}
const CLSID CLSID_qz_DVheader = {0x60ff9d56, 0xec15, 0x4f17, {0xa2, 0xab, 0x9d, 0xa9, 0x9c, 0xd9, 0xd0, 0xdc}};
const char kDVHeaderName[] = "Marbrecq qz_DVHeader";

namespace {
HRESULT g_unusedHr = S_OK;
}

Tqz_DVheader::Tqz_DVheader(Tqz_SceneDetect* sceneDetector)
    : TBCTransInPlaceFilter(kDVHeaderName, nullptr, CLSID_qz_DVheader, g_unusedHr, true),
      sceneDetector_(sceneDetector)
{
    if (sceneDetector != nullptr) {
        detectorRef_ = sceneDetector->BaseFilterInterface();
    }
}

Tqz_DVheader::~Tqz_DVheader() = default;

void Tqz_DVheader::SetSceneDetector(Tqz_SceneDetect* sceneDetector)
{
    Microsoft::WRL::ComPtr<IBaseFilter> held;
    if (sceneDetector != nullptr) {
        held = sceneDetector->BaseFilterInterface();
    }
    sceneDetector_.store(sceneDetector);
    detectorRef_ = held;
}

HRESULT Tqz_DVheader::CheckInputType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    if (mediaType->majortype == MEDIATYPE_Interleaved ||
        (mediaType->majortype == MEDIATYPE_Video && mediaType->subtype == MEDIASUBTYPE_dvsd)) {
        return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tqz_DVheader::Transform(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (sample == nullptr || FAILED(sample->GetPointer(&data)) || data == nullptr) {
        return S_OK;
    }
    long length = sample->GetActualDataLength();
    const long size = sample->GetSize();
    if (length > size) {
        length = size;
    }
    // Sequences 0..9 must lie in the sample: a shorter sample passes unchanged.
    if (length < static_cast<long>(kDVFrameBytes525)) {
        return S_OK;
    }
    const std::span<std::uint8_t> frame(data, static_cast<std::size_t>(length));

    // The saved heads go back only into a frame of the same DV system: 625/50 heads (their DSF
    // byte included) in a 525/60 frame, or the reverse, or an entry never filled, would corrupt it.
    bool restore = false;
    if (Tqz_SceneDetect* detector = sceneDetector_.load()) {
        // The heads of this very frame, by the time the detector saw it at: the overlay's last
        // frame runs ahead of a re-encoder that lags behind it, and its heads would give this frame
        // a later frame's timecode. An untimed frame can only take the overlay's.
        REFERENCE_TIME start = 0, stop = 0;
        int index = detector->RingReadIndex.load(std::memory_order_acquire);
        if (SUCCEEDED(sample->GetTime(&start, &stop))) {
            const Tqz_TimeStamper* shifter = shifter_.load();
            index = detector->FindRing(start + (shifter != nullptr ? shifter->FrozenTime() : 0));
        }
        if (detector->ReadHeads(index, heads_)) {
            const std::uint8_t saved = DVGetSystem(std::span<const std::uint8_t>(heads_.Heads[0], kRingHeadBytes));
            restore = saved != kDVSystemUnknown && saved == DVGetSystem(frame);
        }
    }
    const bool forceWide = ForceWide.load() == 1;
    for (int k = 0; k < kRingHeadCount; ++k) {
        if (restore) {
            std::memcpy(data + static_cast<std::size_t>(k) * kDVSequenceBytes, heads_.Heads[k], kRingHeadBytes);
        }
        if (forceWide) {
            DVForceWide(frame, k);
        }
    }
    return S_OK;
}

}  // namespace filters
