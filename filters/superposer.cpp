#include "filters/superposer.h"

#include "dshow/ds_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <dvdmedia.h>

using Microsoft::WRL::ComPtr;

namespace filters {

const CLSID CLSID_qz_Superposer = {0xe97f14a9, 0x9eb5, 0x486f, {0x82, 0x35, 0xb2, 0x9f, 0x93, 0x98, 0x34, 0x33}};
const wchar_t kSuperposerFilterName[] = L"Marbrecq qz_Superposer";

namespace {

constexpr double kTwoSeconds = 2.0 / 86400.0;
constexpr int kMaxDimension = 16384;  // larger frames are refused rather than overflow a size

// The bitmap header of a video format block (VIDEOINFOHEADER or VIDEOINFOHEADER2), or nullptr.
const BITMAPINFOHEADER* HeaderOf(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr || mt->pbFormat == nullptr) {
        return nullptr;
    }
    if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        return &reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    }
    if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->bmiHeader;
    }
    return nullptr;
}

bool UsableHeader(const BITMAPINFOHEADER* h)
{
    return h != nullptr && h->biWidth > 0 && h->biWidth <= kMaxDimension && h->biHeight != 0 &&
           h->biHeight >= -kMaxDimension && h->biHeight <= kMaxDimension &&
           h->biBitCount == 24 && h->biCompression == BI_RGB;
}

bool IsRgb24Video(const AM_MEDIA_TYPE* mt)
{
    return mt != nullptr && mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_RGB24;
}

}  // namespace

Tqz_Superposer::Tqz_Superposer(Tqz_SceneDetect* detector)
    : TBCTransformFilter("Marbrecq qz_Superposer", nullptr, CLSID_qz_Superposer)
{
    SetSceneDetector(detector);
}

Tqz_Superposer::~Tqz_Superposer() = default;

void Tqz_Superposer::SetSceneDetector(Tqz_SceneDetect* detector)
{
    ComPtr<IBaseFilter> hold;
    if (detector != nullptr) {
        hold = detector->BaseFilterInterface();
    }
    detector_.store(detector);
    detectorHold_ = hold;
}

void Tqz_Superposer::SetIncrustRec(const settings::TincrustRec& rec)
{
    // A record from anywhere is drawn within the ranges the overlay panel offers: the outline
    // costs (2r + 1)² draws of each line, and a glyph its size squared.
    const settings::TincrustRec drawn = settings::DrawableIncrustRec(rec);
    std::lock_guard<std::mutex> lock(canvas_);
    composer_.SetRecord(drawn);
}

void Tqz_Superposer::SetDisplayMode(std::uint8_t mode, std::uint32_t seconds)
{
    displayMode_.store(mode);
    displaySeconds_.store(seconds);
    const LONGLONG frameTime = HostFrameTime();
    if (frameTime > 0) {
        // Rounded to the nearest, halves to the even neighbour.
        const double frames = std::nearbyint(static_cast<double>(seconds) * 10000000.0 / static_cast<double>(frameTime));
        displayFrames_.store(static_cast<std::int32_t>(std::min(frames, 2147483647.0)));
    }
    if (mode == 0) {
        RestartCountdown();
    }
}

void Tqz_Superposer::SetOverlayEnabled(bool flag)
{
    overlayEnabled_.store(flag);
    RestartCountdown();
}

void Tqz_Superposer::SetVerticalFlip(bool flag) { verticalFlip_.store(flag); }

void Tqz_Superposer::SetHorizontalFlip(bool flag) { horizontalFlip_.store(flag); }

void Tqz_Superposer::SetSourceInverted(bool flag) { sourceInverted_.store(flag); }

void Tqz_Superposer::StopExtraction() { extractionActive_.store(false, std::memory_order_release); }

void Tqz_Superposer::RequestGrab() { grabsAsked_.fetch_add(1); }

void Tqz_Superposer::ReleaseSlot(int slot)
{
    if (slot >= 0 && slot < kSuperposerSlots) {
        slotBusy_[static_cast<size_t>(slot)].store(false, std::memory_order_release);
    }
}

bool Tqz_Superposer::SlotBusy(int slot) const
{
    return slot >= 0 && slot < kSuperposerSlots && slotBusy_[static_cast<size_t>(slot)].load(std::memory_order_acquire);
}

void Tqz_Superposer::StartExtraction(std::uint32_t interval)
{
    extractionInterval_.store(static_cast<std::int64_t>(interval));
    nextDue_.store(0);
    extractionActive_.store(true);
}

settings::TincrustRec Tqz_Superposer::IncrustRec()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return composer_.Record();
}

std::pair<std::wstring, std::wstring> Tqz_Superposer::Lines()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return {composer_.Line1(), composer_.Line2()};
}

int Tqz_Superposer::XPos()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return composer_.XPos();
}

int Tqz_Superposer::YPos()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return composer_.YPos();
}

int Tqz_Superposer::FontHeight()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return composer_.FontHeight();
}

int Tqz_Superposer::QuickLines()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return composer_.QuickLines();
}

// Media types and buffers.

HRESULT Tqz_Superposer::CheckInputType(const AM_MEDIA_TYPE* mediaType)
{
    if (!IsRgb24Video(mediaType)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // A format block without a usable 24-bit picture header would make every frame's size wrong.
    return UsableHeader(HeaderOf(mediaType)) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tqz_Superposer::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out)
{
    if (in == nullptr || out == nullptr || in->majortype != out->majortype || in->subtype != out->subtype) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Tqz_Superposer::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    GetPin(0);  // the pins exist from here on
    if (InputPin() == nullptr || !InputPin()->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    dshow::FreeMediaType(*mediaType);
    dshow::CopyMediaType(mediaType, &InputPin()->CurrentMediaType());
    mediaType->majortype = MEDIATYPE_Video;
    mediaType->subtype = MEDIASUBTYPE_RGB24;
    auto* header = const_cast<BITMAPINFOHEADER*>(HeaderOf(mediaType));
    if (header == nullptr) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // The output is always written bottom-up with rows padded to 4 bytes.
    header->biHeight = std::abs(header->biHeight);
    header->biBitCount = 24;
    header->biSizeImage = static_cast<DWORD>(Rgb24Stride(header->biWidth) * header->biHeight);
    mediaType->lSampleSize = header->biSizeImage;
    mediaType->bFixedSizeSamples = TRUE;
    return S_OK;
}

HRESULT Tqz_Superposer::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    if (alloc == nullptr || properties == nullptr) {
        return E_POINTER;
    }
    GetPin(0);
    if (InputPin() == nullptr || !InputPin()->IsConnected() || InputPin()->Allocator() == nullptr) {
        return E_UNEXPECTED;
    }
    ALLOCATOR_PROPERTIES inProps{};
    HRESULT hr = InputPin()->Allocator()->GetProperties(&inProps);
    if (FAILED(hr)) {
        return hr;
    }
    // Never below the output picture, whatever the upstream allocator holds.
    long needed = 1;
    if (const BITMAPINFOHEADER* h = HeaderOf(&InputPin()->CurrentMediaType()); UsableHeader(h)) {
        needed = Rgb24Stride(h->biWidth) * std::abs(h->biHeight);
    }
    properties->cBuffers = std::max(1L, inProps.cBuffers);
    properties->cbBuffer = std::max({1L, inProps.cbBuffer, needed});
    properties->cbAlign = std::max(1L, inProps.cbAlign);
    properties->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual{};
    hr = alloc->SetProperties(properties, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    if (actual.cBuffers < properties->cBuffers || actual.cbBuffer < properties->cbBuffer ||
        actual.cbAlign < properties->cbAlign) {
        return E_FAIL;
    }
    return S_OK;
}

bool Tqz_Superposer::SetupFrame(const BITMAPINFOHEADER& header)
{
    if (!UsableHeader(&header)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(canvas_);
    layout_.width = header.biWidth;
    layout_.height = std::abs(header.biHeight);
    layout_.topDown = header.biHeight < 0;
    return composer_.SetFrameSize(layout_.width, layout_.height);
}

HRESULT Tqz_Superposer::StartStreaming()
{
    RestartCountdown();
    GetPin(0);
    const BITMAPINFOHEADER* header = InputPin() != nullptr ? HeaderOf(&InputPin()->CurrentMediaType()) : nullptr;
    if (header == nullptr) {
        return S_FALSE;
    }
    if (!SetupFrame(*header)) {
        return E_OUTOFMEMORY;
    }
    nextDue_.store(0);
    return TBCTransformFilter::StartStreaming();
}

// Frames.

bool Tqz_Superposer::LoadInput(const BYTE* in, long inLength, bool turned, bool mirrored)
{
    return composer_.LoadFrame(in, inLength, layout_, turned, mirrored);
}

void Tqz_Superposer::DecreaseCountdown()
{
    std::int32_t value = countdown_.load();
    // A restart by the main thread between the load and the store wins.
    while (value > 0 && !countdown_.compare_exchange_weak(value, value - 1)) {
    }
}

bool Tqz_Superposer::TakePicture(const BYTE* in, long inLength, const TPictureView* composed)
{
    std::int32_t slot = slotIndex_.load() + 1;
    if (slot >= kSuperposerSlots) {
        slot = 0;
    }
    slotIndex_.store(slot);
    if (slotBusy_[static_cast<size_t>(slot)].load(std::memory_order_acquire)) {
        return false;  // the main window still holds that picture: this one is lost
    }
    {
        std::lock_guard<std::mutex> lock(canvas_);
        if (!HostOverlayPreference()) {
            // The work picture does not hold this frame yet: copy it as it leaves the filter, upright
            // (the output is the input, turned when the source delivers upside down).
            if (!LoadInput(in, inLength, sourceInverted_.load(), false) ||
                !slots_[static_cast<size_t>(slot)].Assign(composer_.Work())) {
                return false;
            }
        } else if (composed == nullptr || !slots_[static_cast<size_t>(slot)].Assign(*composed)) {
            return false;  // a frame that could not be composed gives no picture
        }
    }
    slotBusy_[static_cast<size_t>(slot)].store(true, std::memory_order_release);
    PostToMainWindow(kWMFrameGrabbed, 0, slot);
    return true;
}

void Tqz_Superposer::Extract(const BYTE* in, long inLength, bool hasTime, REFERENCE_TIME start,
                             const TPictureView* composed)
{
    const std::uint32_t asked = grabsAsked_.load();
    if (extractionActive_.load(std::memory_order_acquire)) {
        const std::int64_t t = (hasTime ? start : 0) / 1000;
        const std::int64_t interval = extractionInterval_.load();
        std::int64_t due = nextDue_.load();
        if (due <= t) {
            due += interval;
            if (due <= t) {
                due = t + interval;  // after a pause: one picture, then the schedule starts again
            }
            nextDue_.store(due);
            if (TakePicture(in, inLength, composed)) {
                grabsServed_.store(asked);
            }
        } else {
            const std::int32_t s = static_cast<std::int32_t>((due - t) / 10000);
            if (s != secondsLeft_.load()) {
                secondsLeft_.store(s);
                PostToMainWindow(kWMIntervalometerCount, static_cast<WPARAM>(s), 0);
            }
        }
    }
    if (asked != grabsServed_.load()) {
        // Served once the picture's slot is busy (or it could not be taken), not before.
        TakePicture(in, inLength, composed);
        grabsServed_.store(asked);
    }
}

HRESULT Tqz_Superposer::ProcessFrame(const BYTE* in, long inLength, bool hasTime, REFERENCE_TIME start, BYTE* out,
                                     long outSize, long& outLength)
{
    outLength = 0;
    HRESULT result = S_OK;
    const long imageSize = layout_.ImageSize();
    TPictureView composedView;
    const TPictureView* composed = nullptr;  // where this frame's composed picture lies
    if (!HostOverlayPreference()) {
        // A plain copy, turned upside down on the way when the source delivers so (or when the
        // input is top-down: the output is always bottom-up). Padded rows, never past either buffer.
        const long stride = layout_.Stride();
        const long size = std::min(inLength, outSize);
        if (sourceInverted_.load() != layout_.topDown) {
            if (size >= imageSize) {
                for (int i = 0; i < layout_.height; ++i) {
                    std::memcpy(out + static_cast<size_t>(layout_.height - 1 - i) * static_cast<size_t>(stride),
                                in + static_cast<size_t>(i) * static_cast<size_t>(stride), static_cast<size_t>(stride));
                }
                outLength = imageSize;
            } else {
                result = S_FALSE;
            }
        } else if (size > 0) {
            std::memcpy(out, in, static_cast<size_t>(size));
            outLength = size;
        }
    } else {
        std::lock_guard<std::mutex> lock(canvas_);
        // Composed straight into the output buffer, so that the frame is copied once; into the work
        // picture only when the buffer is too small to deliver it anyway.
        const bool intoOutput = outSize >= imageSize;
        const TPictureView target =
            intoOutput ? BottomUpView(out, layout_.width, layout_.height) : composer_.Work().View();
        const bool turned = verticalFlip_.load() != sourceInverted_.load();
        if (!composer_.LoadFrame(in, inLength, layout_, turned, horizontalFlip_.load(), target)) {
            result = S_FALSE;
        } else {
            const std::uint8_t what = composer_.Record().WhatIncrust;
            prevRefDate_ = refDate_;
            refDate_ = 0;
            if (what == 3) {
                refDate_ = DateTimeNow();
            }
            TDVInfoRec entry{};
            bool haveEntry = false;
            if (Tqz_SceneDetect* detector = detector_.load()) {
                prevTapeDate_ = shownTapeDate_;
                const int index = detector->LookupRing(hasTime ? start : 0);
                haveEntry = detector->ReadInfo(index, entry);
                shownTapeDate_ = entry.Date;
                if (what == 0) {
                    refDate_ = entry.Date;
                }
            }
            bool draw = overlayEnabled_.load();
            const std::uint8_t mode = displayMode_.load();
            if (draw && mode != 0) {
                DecreaseCountdown();
                if (mode == 2 && shownTapeDate_ > 0 &&
                    (shownTapeDate_ - prevTapeDate_ > kTwoSeconds || shownTapeDate_ < prevTapeDate_)) {
                    RestartCountdown();
                } else if (mode == 3 && refDate_ > 0 &&
                           (DayOfMonth(refDate_) != DayOfMonth(prevRefDate_) || std::fabs(refDate_ - prevRefDate_) > 1.0)) {
                    RestartCountdown();
                }
                draw = countdown_.load() > 0;
            }
            if (draw) {
                composer_.ComposeLines(haveEntry ? &entry : nullptr);
                composer_.DrawLines(target);
            }
            composedView = target;
            composed = &composedView;
            if (intoOutput) {
                outLength = imageSize;
            } else {
                result = S_FALSE;  // a garbage frame is not delivered
            }
        }
    }
    Extract(in, inLength, hasTime, start, composed);
    return result;
}

HRESULT Tqz_Superposer::Transform(IMediaSample* in, IMediaSample* out)
{
    REFERENCE_TIME start = 0, stop = 0;
    const bool hasTime = in->GetTime(&start, &stop) == S_OK;
    if (hasTime) {
        out->SetTime(&start, &stop);
    }
    LONGLONG mediaStart = 0, mediaStop = 0;
    if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) {
        out->SetMediaTime(&mediaStart, &mediaStop);
    }
    out->SetSyncPoint(in->IsSyncPoint() == S_OK ? TRUE : FALSE);
    out->SetPreroll(in->IsPreroll() == S_OK ? TRUE : FALSE);
    out->SetDiscontinuity(in->IsDiscontinuity() == S_OK ? TRUE : FALSE);
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    if (FAILED(in->GetPointer(&from)) || FAILED(out->GetPointer(&to)) || from == nullptr || to == nullptr) {
        return E_UNEXPECTED;
    }
    const long inLength = std::min(in->GetActualDataLength(), in->GetSize());
    long outLength = 0;
    const HRESULT hr = ProcessFrame(from, inLength, hasTime, start, to, out->GetSize(), outLength);
    out->SetActualDataLength(outLength);
    return hr;
}

}  // namespace filters
