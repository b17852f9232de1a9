#include "filters/scene_detector.h"

#include <cmath>
#include <cstdlib>
#include <span>

namespace filters {

// {E87CC8D6-571D-4927-AC63-AEE089DF6B39}
const CLSID CLSID_qz_SceneDetect = {0xe87cc8d6, 0x571d, 0x4927, {0xac, 0x63, 0xae, 0xe0, 0x89, 0xdf, 0x6b, 0x39}};
const char kSceneDetectName[] = "Marbrecq qz_SceneDetect";

namespace {

HRESULT g_unusedHr = S_OK;

}  // namespace

Tqz_SceneDetect::Tqz_SceneDetect()
    : TBCTransInPlaceFilter(kSceneDetectName, nullptr, CLSID_qz_SceneDetect, g_unusedHr, false)
{
    ResetState();
    SceneStart = TDVInfoRec{};
    SceneStart.System = 0;
    SceneStart.AudioRate = 0;
    SceneStart.AudioBits = 0;
}

void Tqz_SceneDetect::ResetState()
{
    RingWriteIndex.store(0);
    RingReadIndex.store(0);
    SceneStart.FrameNumber = 0;
    SceneStart.DateValid = false;
    SceneStart.TimecodeValid = false;
    SceneStart.StreamValid = false;
    FirstFrame = true;
    Current.FrameNumber = 0;
    Current.DateValid = true;
    Current.Wide = false;
    LastDate = 0.0;
    DateRefSet = false;
}

HRESULT Tqz_SceneDetect::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    // The detector's own interface table lists neither IPersist nor the toolkit's filter interface.
    if (iid == IID_IPersist) {
        if (obj == nullptr) {
            return E_POINTER;
        }
        *obj = nullptr;
        return E_NOINTERFACE;
    }
    return TBCTransInPlaceFilter::NonDelegatingQueryInterface(iid, obj);
}

HRESULT Tqz_SceneDetect::CheckInputType(const AM_MEDIA_TYPE* mediaType)
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

HRESULT Tqz_SceneDetect::StartStreaming()
{
    return S_OK;
}

void Tqz_SceneDetect::SceneChange()
{
    if (const TSceneCallback callback = sceneCallback_.load()) {
        try {
            callback(SceneStart, Current);
        } catch (...) {
            // the callback's failure is its own; the stream goes on
        }
    }
    SceneStart = Current;
}

HRESULT Tqz_SceneDetect::Transform(IMediaSample* sample)
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
    // A sample shorter than the smallest DV frame is no frame: it passes without being counted.
    if (length < static_cast<long>(kDVFrameBytes525)) {
        return S_OK;
    }
    const std::span<const std::uint8_t> frame(data, static_cast<std::size_t>(length));

    Previous = Current;
    Current.Filled = true;
    LONGLONG mediaStart = Current.FrameNumber;
    LONGLONG mediaStop = mediaStart + 1;
    sample->SetMediaTime(&mediaStart, &mediaStop);

    // Undated frames leave Date at 0 and DateValid false; every later step still runs for them.
    DVFillInfoRec(Current, frame);

    if (Current.Wide != Previous.Wide) {
        PostToMainWindow(kWMDVRatioChanged, 1, Current.Wide ? 1 : 0);
    }

    if (!Current.DateValid && Previous.DateValid) {
        if (Current.FrameNumber != 0) {
            SceneChange();  // the dates disappeared
        }
    } else if (!Previous.DateValid && Current.DateValid) {
        const std::int64_t since =
            static_cast<std::int64_t>(Current.FrameNumber) - static_cast<std::int64_t>(SceneStart.FrameNumber);
        if (std::llabs(since) > SceneMinFrames) {
            SceneChange();  // the dates came back after more than a short gap
        }
        LastDate = Current.Date;
    } else if (Previous.DateValid && Current.DateValid) {
        // Dates have seconds resolution: compare whole seconds so that a step of exactly the limit
        // never counts by a rounding error.
        if (DateRefSet && std::llround(std::fabs(Current.Date - LastDate) * 86400.0) >
                              std::llround(DateJumpLimit * 86400.0)) {
            SceneChange();
        }
        LastDate = Current.Date;
        DateRefSet = true;
    }

    ++Current.FrameNumber;

    // Fill the next entry of both rings, then publish its index: a reader that follows the index
    // always finds a whole entry.
    int next = RingWriteIndex.load(std::memory_order_relaxed) + 1;
    if (next >= kSceneRingSize) {
        next = 0;
    }
    for (int k = 0; k < kRingHeadCount; ++k) {
        std::memcpy(pending_.Heads[k], data + static_cast<std::size_t>(k) * kDVSequenceBytes, kRingHeadBytes);
    }
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    pending_.StartTime = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : 0;
    infoRing_[next].Write(Current);
    headerRing_[next].Write(pending_);
    RingWriteIndex.store(next, std::memory_order_release);

    if (FirstFrame) {
        SceneStart = Current;
        FirstFrame = false;
    }
    return S_OK;
}

HRESULT Tqz_SceneDetect::Stop()
{
    TBCAutoLock lock(FilterLock());
    // The base Stop waits for a Transform in progress and refuses later samples, so the last scene
    // is reported after the streaming thread is done with the detector's state.
    const HRESULT hr = TBCTransInPlaceFilter::Stop();
    if (const TSceneCallback callback = sceneCallback_.load()) {
        try {
            callback(SceneStart, Current);
        } catch (...) {
            // swallowed: Stop answers the base Stop's result
        }
    }
    ResetState();
    return hr;
}

bool Tqz_SceneDetect::ReadInfo(int index, TDVInfoRec& info) const
{
    if (index < 0 || index >= kSceneRingSize) {
        return false;
    }
    infoRing_[index].Read(info);
    return true;
}

bool Tqz_SceneDetect::ReadHeads(int index, THeaderRingEntry& entry) const
{
    if (index < 0 || index >= kSceneRingSize) {
        return false;
    }
    headerRing_[index].Read(entry);
    return true;
}

bool Tqz_SceneDetect::ReadStartTime(int index, std::int64_t& startTime) const
{
    if (index < 0 || index >= kSceneRingSize) {
        return false;
    }
    headerRing_[index].ReadBytes(offsetof(THeaderRingEntry, StartTime), sizeof(startTime), &startTime);
    return true;
}

int Tqz_SceneDetect::FindRing(std::int64_t sampleStart) const
{
    int index = RingWriteIndex.load(std::memory_order_acquire) + 1;
    for (int step = 0; step < kSceneRingSize; ++step) {
        --index;
        if (index < 0) {
            index = kSceneRingSize - 1;
        }
        std::int64_t start = 0;
        ReadStartTime(index, start);
        if (start <= sampleStart) {
            return index;
        }
    }
    return -1;
}

int Tqz_SceneDetect::LookupRing(std::int64_t sampleStart)
{
    int index = FindRing(sampleStart);
    if (index < 0) {
        // No entry qualifies: the search stands on the oldest, the one after the newest.
        index = RingWriteIndex.load(std::memory_order_acquire) + 1;
        if (index >= kSceneRingSize) {
            index = 0;
        }
    }
    RingReadIndex.store(index, std::memory_order_release);
    return index;
}

}  // namespace filters
