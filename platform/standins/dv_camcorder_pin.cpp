#include "platform/standins/dv_camcorder_pin.h"

#include <algorithm>

#include "platform/standins/dv_camcorder_picture.h"
#include "platform/standins/dv_frame.h"

using Microsoft::WRL::ComPtr;

namespace standins {

TDVCamcorderPin::TDVCamcorderPin(filters::TBCBaseFilter* filter, IDVCamcorderPinHost* camcorder, HRESULT& hr)
    : TBCBaseOutputPin("DV camcorder pin", filter, filter->Lock(), hr, L"DV A/V Out"), camcorder_(camcorder)
{
}

TDVCamcorderPin::~TDVCamcorderPin()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

HRESULT TDVCamcorderPin::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IKsPropertySet) return GetInterface(&propertySet_, obj);
    if (iid == IID_IAMStreamControl) {
        // The test's pin without stream control, as many capture pins are.
        if (TestRecordingSetting(kTestNoStreamControlValue).value_or(0) != 0) {
            *obj = nullptr;
            return E_NOINTERFACE;
        }
        return GetInterface(&streamControlItf_, obj);
    }
    return TBCBaseOutputPin::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TDVCamcorderPin::PropertySetItf::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                                             DWORD* returned)
{
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (returned != nullptr) *returned = sizeof(GUID);
    if (data == nullptr) return returned != nullptr ? S_OK : E_POINTER;
    if (size < sizeof(GUID)) return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

HRESULT TDVCamcorderPin::PropertySetItf::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

HRESULT TDVCamcorderPin::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr || !DVIsInterleavedType(*mt)) return VFW_E_TYPE_NOT_ACCEPTED;
    return DVTypeIsPal(*mt) == camcorder_->Pal() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDVCamcorderPin::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    const bool pal = camcorder_->Pal();
    DVMakeInterleavedType(*mt, pal, DVDefaultInfo(pal));
    return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TDVCamcorderPin::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    props->cBuffers = std::max<long>(props->cBuffers, 4);
    props->cbBuffer = std::max<long>(props->cbBuffer, static_cast<long>(DVFrameBytes(camcorder_->Pal())));
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < props->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TDVCamcorderPin::Active()
{
    HRESULT hr = TBCBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    // The pictures are coded before streaming starts, so that no live frame waits for the coder.
    DVCamcorderPrepare(camcorder_->Pal());
    losesEvery_ = TestRecordingSetting(kTestLostPicturesValue).value_or(0);
    tellsLosses_ = TestRecordingListKept(kTestPicturesLostValue);
    clock_ = TTestPictureClock::Read(DVFrameTime(camcorder_->Pal()));
    unstamped_ = TestRecordingSetting(kTestPicturesUnstampedValue).value_or(0) != 0;
    stopUntold_ = TestRecordingSetting(kTestStopUntoldValue).value_or(0) != 0;
    tellsTimes_ = TestRecordingListKept(kTestPictureTimesValue);
    stop_ = false;
    thread_ = std::thread([this] { Stream(); });
    return S_OK;
}

HRESULT TDVCamcorderPin::Inactive()
{
    stop_ = true;
    HRESULT hr = TBCBaseOutputPin::Inactive();  // frees the thread if it waits for a buffer
    if (thread_.joinable()) thread_.join();
    streamControl_.Reset();  // the next run flows
    return hr;
}

void TDVCamcorderPin::TellRunStart(REFERENCE_TIME late)
{
    if (!tellsTimes_) return;
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const auto system = static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    const std::int64_t entry[2] = {camcorder_->TapeTimecode(), system - late};
    AddToTestRecordingList(kTestPictureTimesValue, entry);
}

void TDVCamcorderPin::Stream()
{
    // No exception may leave the streaming thread.
    try {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const REFERENCE_TIME frameTime = DVFrameTime(camcorder_->Pal());
        const REFERENCE_TIME period = clock_.Interval();  // the frame time on the camcorder's own clock
        REFERENCE_TIME next = -1;
        std::int64_t taken = 0;  // frames of this stream, delivered or lost
        bool first = true;
        bool told = false;  // the run's first picture is in the test's list
        bool failed = false;
        while (!stop_) {
            REFERENCE_TIME now = 0;
            if (failed || Filter()->State() != State_Running || !camcorder_->ClockNow(now)) {
                next = -1;  // a live source delivers nothing while paused and restarts at the clock,
                first = true;  // a new timeline
                told = false;
                Sleep(5);
                continue;
            }
            if (next < 0) next = std::max<REFERENCE_TIME>(now, 0);
            // More than two frames late: those frames are lost, as on a real bus.
            if (now - next > 2 * period) {
                const LONG lost = static_cast<LONG>((now - next) / period);
                camcorder_->CountDropped(lost);
                camcorder_->PassFrames(lost, tellsLosses_);
                next += lost * period;
            }
            // Its stamp strays from the camcorder's clock; it goes out once both are due.
            const REFERENCE_TIME at = std::max<REFERENCE_TIME>(next + clock_.Jitter(taken), 0);
            const REFERENCE_TIME due = std::max(next, at);
            if (now < due) {
                Sleep(static_cast<DWORD>(std::min<REFERENCE_TIME>((due - now) / 10000 + 1, 10)));
                continue;
            }
            // Decided as the frame is due, by its stamp, before it is built: frames the stream
            // control discards are never taken, and its stop is told after the last frame that went out.
            // It acts on stamps alone: pictures without them always go out. The test's stop that is
            // never told sends no picture more either.
            TStreamControl::TVerdict verdict = unstamped_ ? TStreamControl::TVerdict::Take : streamControl_.FrameAt(at);
            if (stopUntold_ && verdict != TStreamControl::TVerdict::Take) verdict = TStreamControl::TVerdict::Skip;
            auto tellStopped = [&] {
                Filter()->NotifyEvent(EC_STREAM_CONTROL_STOPPED, reinterpret_cast<LONG_PTR>(PinInterface()),
                                      static_cast<LONG_PTR>(streamControl_.StopCookie()));
            };
            if (verdict == TStreamControl::TVerdict::Skip || verdict == TStreamControl::TVerdict::StopHere) {
                if (verdict == TStreamControl::TVerdict::StopHere) tellStopped();
                next = -1;
                first = true;  // what is held back is no picture lost: a new timeline follows
                told = false;
                Sleep(5);
                continue;
            }
            if (!told) TellRunStart(now - due);
            told = true;
            const bool last = verdict == TStreamControl::TVerdict::TakeLast;
            const long size = static_cast<long>(DVFrameBytes(camcorder_->Pal()));
            if (TestLosesPicture(taken++, losesEvery_)) {
                // Lost on the bus of a test's busy machine: the tape goes on past it.
                camcorder_->PassFrames(1, tellsLosses_);
                camcorder_->CountDropped(1);
                next += period;
                if (last) tellStopped();
                continue;
            }
            ComPtr<IMediaSample> sample;
            if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
                failed = true;
                continue;
            }
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            if (data == nullptr || sample->GetSize() < size) {
                failed = true;
                continue;
            }
            camcorder_->NextFrame(std::span<std::uint8_t>(data, static_cast<std::size_t>(size)));
            sample->SetActualDataLength(size);
            REFERENCE_TIME start = at, end = at + frameTime;
            sample->SetTime(unstamped_ ? nullptr : &start, unstamped_ ? nullptr : &end);
            sample->SetSyncPoint(TRUE);
            sample->SetDiscontinuity(first ? TRUE : FALSE);
            first = false;
            next += period;
            HRESULT hr = Deliver(sample.Get());
            if (hr == S_OK) {
                camcorder_->CountDelivered();
            } else if (FAILED(hr)) {
                failed = true;  // downstream refused: wait for the stop
            }
            if (last) tellStopped();
        }
        CoUninitialize();
    } catch (...) {
        Filter()->NotifyEvent(EC_ERRORABORT, E_UNEXPECTED, 0);
    }
}

}  // namespace standins
