#include "filters/time_stamper.h"

#include <algorithm>

namespace filters {

const CLSID CLSID_qz_TimeStamper = {0xe5307fc4, 0x8823, 0x4f58, {0xa0, 0x1d, 0xd8, 0xc8, 0x63, 0xf8, 0xbb, 0xa8}};
const wchar_t* const TimeStamperFilterName = L"Marbrecq qz_Timestamper";

namespace {
HRESULT ignored = S_OK;
}

Tqz_TimeStamper::Tqz_TimeStamper()
    : TBCTransInPlaceFilter("Marbrecq qz_Timestamper", nullptr, CLSID_qz_TimeStamper, ignored, false)
{
}

HRESULT Tqz_TimeStamper::CheckInputType(const AM_MEDIA_TYPE*)
{
    return S_OK;
}

void Tqz_TimeStamper::TakeClock(REFERENCE_TIME start)
{
    std::lock_guard<std::mutex> guard(clockLock_);
    streamClock_ = Clock();
    streamStart_ = start;
}

REFERENCE_TIME Tqz_TimeStamper::StreamTimeLocked()
{
    REFERENCE_TIME now = 0;
    if (State() == State_Running && streamClock_ && SUCCEEDED(streamClock_->GetTime(&now))) {
        return now - streamStart_;
    }
    return pausedAt_;
}

REFERENCE_TIME Tqz_TimeStamper::StreamTime()
{
    std::lock_guard<std::mutex> guard(clockLock_);
    return StreamTimeLocked();
}

void Tqz_TimeStamper::SetFreeze(bool flag, REFERENCE_TIME streamTime)
{
    if (flag == freeze_.load()) {
        return;
    }
    if (IsStopped()) {
        streamTime = 0;
    }
    if (flag) {
        frozenAt_ = streamTime;
        freeze_.store(true);
        return;
    }
    // The shift is in place before the first sample passes again.
    frozenTime_.store(frozenTime_.load() + std::max<REFERENCE_TIME>(streamTime - frozenAt_, 0));
    freeze_.store(false);
}

HRESULT Tqz_TimeStamper::Pause()
{
    TBCAutoLock lock(*Lock());
    if (IsStopped()) {
        TakeClock(0);
    } else if (State() == State_Running) {
        std::lock_guard<std::mutex> guard(clockLock_);
        pausedAt_ = StreamTimeLocked();
    }
    return TBCTransInPlaceFilter::Pause();
}

HRESULT Tqz_TimeStamper::Run(REFERENCE_TIME tStart)
{
    TBCAutoLock lock(*Lock());
    TakeClock(tStart);
    return TBCTransInPlaceFilter::Run(tStart);
}

HRESULT Tqz_TimeStamper::Stop()
{
    HRESULT hr = TBCTransInPlaceFilter::Stop();
    sampleCounter_.store(0);
    // A new run is a new stream: a freeze still on counts from its start.
    frozenTime_.store(0);
    frozenAt_ = 0;
    std::lock_guard<std::mutex> guard(clockLock_);
    pausedAt_ = 0;
    return hr;
}

HRESULT Tqz_TimeStamper::Transform(IMediaSample* sample)
{
    if (freeze_.load()) {
        return S_FALSE;
    }
    REFERENCE_TIME start = stampStart_.load();
    REFERENCE_TIME stop = stampStop_.load();
    const HRESULT timed = sample->GetTime(&start, &stop);
    const REFERENCE_TIME shift = frozenTime_.load();
    if (shift != 0 && SUCCEEDED(timed)) {
        start -= shift;
        if (timed == S_OK) {
            stop -= shift;
            sample->SetTime(&start, &stop);
        } else {
            sample->SetTime(&start, nullptr);
        }
    }
    stampStart_.store(start);
    stampStop_.store(stop);

    const std::uint32_t counter = sampleCounter_.load() + 1;
    sampleCounter_.store(counter);
    LONGLONG mediaStart = counter;
    LONGLONG mediaStop = mediaStart + 1;
    sample->SetMediaTime(&mediaStart, &mediaStop);

    const int mode = mode_.load();
    if (mode == kClear) {
        stampStart_.store(0);
        stampStop_.store(0);
        sample->SetTime(nullptr, nullptr);
        sample->SetMediaTime(nullptr, nullptr);
    } else if (mode == kClock) {
        Microsoft::WRL::ComPtr<IReferenceClock> clock;
        REFERENCE_TIME streamStart = 0;
        {
            std::lock_guard<std::mutex> guard(clockLock_);
            clock = streamClock_;
            streamStart = streamStart_;
        }
        REFERENCE_TIME now = 0;
        // Without a clock there is no stream time to stamp with: the sample keeps its stamps.
        if (clock && SUCCEEDED(clock->GetTime(&now))) {
            start = now - streamStart + 200000 - shift;
            stop = start + 400000;
            stampStart_.store(start);
            stampStop_.store(stop);
            sample->SetTime(&start, &stop);
        }
    }
    return S_OK;
}

}  // namespace filters
