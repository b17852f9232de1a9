#include "platform/standins/stream_control.h"

#include <limits>

namespace standins {

TStreamControl::TVerdict TStreamControl::FrameAt(REFERENCE_TIME start)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!flowing_ && startAt_ != kNever && start >= startAt_) {
        flowing_ = true;
        startAt_ = kNever;
    }
    if (!flowing_) {
        return TVerdict::Skip;
    }
    if (stopAt_ != kNever && start >= stopAt_) {
        flowing_ = false;
        stopAt_ = kNever;
        return sendExtra_ ? TVerdict::TakeLast : TVerdict::StopHere;
    }
    return TVerdict::Take;
}

DWORD TStreamControl::StopCookie() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return stopCookie_;
}

void TStreamControl::Reset()
{
    std::lock_guard<std::mutex> guard(lock_);
    startAt_ = kNever;
    stopAt_ = kNever;
    sendExtra_ = false;
    flowing_ = true;
}

HRESULT TStreamControl::StartAt(const REFERENCE_TIME* time, DWORD cookie)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (time != nullptr && *time == kNever) {
        startAt_ = kNever;
        return S_OK;
    }
    startCookie_ = cookie;
    if (time == nullptr) {
        flowing_ = true;
        startAt_ = kNever;
        return S_OK;
    }
    // Frames before the start are skipped: a stream that flows now waits for it.
    flowing_ = false;
    startAt_ = *time;
    return S_OK;
}

HRESULT TStreamControl::StopAt(const REFERENCE_TIME* time, BOOL sendExtra, DWORD cookie)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (time != nullptr && *time == kNever) {
        stopAt_ = kNever;
        return S_OK;
    }
    stopCookie_ = cookie;
    sendExtra_ = sendExtra != FALSE;
    // Now: at the next frame, whatever its time.
    stopAt_ = time == nullptr ? std::numeric_limits<REFERENCE_TIME>::min() : *time;
    return S_OK;
}

HRESULT TStreamControl::GetInfo(AM_STREAM_INFO* info) const
{
    if (info == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(lock_);
    *info = AM_STREAM_INFO{};
    info->tStart = startAt_;
    info->tStop = stopAt_;
    info->dwStartCookie = startCookie_;
    info->dwStopCookie = stopCookie_;
    if (startAt_ != kNever) info->dwFlags |= AM_STREAM_INFO_START_DEFINED;
    if (stopAt_ != kNever) info->dwFlags |= AM_STREAM_INFO_STOP_DEFINED;
    if (!flowing_) info->dwFlags |= AM_STREAM_INFO_DISCARDING;
    if (stopAt_ != kNever && sendExtra_) info->dwFlags |= AM_STREAM_INFO_STOP_SEND_EXTRA;
    return S_OK;
}

}  // namespace standins
