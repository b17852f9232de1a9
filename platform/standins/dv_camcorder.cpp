#include "platform/standins/dv_camcorder.h"

#include <edevdefs.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

#include "filters/base_io_pins.h"
#include "platform/standins/dv_camcorder_picture.h"
#include "platform/standins/dv_camcorder_pin.h"
#include "platform/standins/dv_frame.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;

// Tape speeds in tenths of a frame per delivered frame.
LONG SpeedOfMode(LONG mode)
{
    switch (mode) {
    case ED_MODE_PLAY: return 10;
    case ED_MODE_FF: return 100;
    case ED_MODE_REW: return -100;
    case kDVModePlayFastestFwd: return 50;
    case kDVModePlaySlowestFwd: return 2;
    case kDVModePlayFastestRev: return -50;
    case kDVModePlaySlowestRev: return -2;
    default: return 0;  // stop, freeze
    }
}

bool IsRealDateTime(const TDVDateTime& d)
{
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.Year < 1940 || d.Year > 2039 || d.Month < 1 || d.Month > 12 || d.Day < 1) return false;
    const bool leap = (d.Year % 4 == 0 && d.Year % 100 != 0) || d.Year % 400 == 0;
    const int days = d.Month == 2 && !leap ? 28 : kDays[d.Month - 1];
    return d.Day <= days && d.Hour >= 0 && d.Hour < 24 && d.Minute >= 0 && d.Minute < 60 && d.Second >= 0 &&
           d.Second < 60;
}

// Start plus Seconds, through the system's calendar; none outside the span the date pack holds.
std::optional<TDVDateTime> AddSeconds(const TDVDateTime& start, std::int64_t seconds)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(start.Year);
    st.wMonth = static_cast<WORD>(start.Month);
    st.wDay = static_cast<WORD>(start.Day);
    st.wHour = static_cast<WORD>(start.Hour);
    st.wMinute = static_cast<WORD>(start.Minute);
    st.wSecond = static_cast<WORD>(start.Second);
    FILETIME ft{};
    if (!SystemTimeToFileTime(&st, &ft)) return std::nullopt;
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    u.QuadPart = static_cast<ULONGLONG>(static_cast<std::int64_t>(u.QuadPart) + seconds * kTicksPerSecond);
    ft.dwLowDateTime = u.LowPart;
    ft.dwHighDateTime = u.HighPart;
    if (!FileTimeToSystemTime(&ft, &st)) return std::nullopt;
    TDVDateTime out{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    if (!IsRealDateTime(out)) return std::nullopt;
    return out;
}

// The inverse of DVTimecodeOfCount; -1 for a timecode outside the system's range (dropped labels too).
std::int64_t CountOfTimecode(bool pal, int h, int m, int s, int f)
{
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || f < 0 || f >= (pal ? 25 : 30)) return -1;
    if (pal) return ((h * 60LL + m) * 60 + s) * 25 + f;
    if (s == 0 && f < 2 && m % 10 != 0) return -1;
    const std::int64_t minutes = h * 60LL + m;
    return minutes * 1800 + s * 30 + f - 2 * (minutes - minutes / 10);
}

DWORD ReadDword(HKEY key, const wchar_t* name, DWORD fallback)
{
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD)) {
        return fallback;
    }
    return value;
}

class TDVCamcorder : public filters::TBCBaseFilter, public IDVCamcorderPinHost {
public:
    TDVCamcorder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller, HRESULT& hr);

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    HRESULT GetState(DWORD ms, FILTER_STATE* state) override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // IDVCamcorderPinHost: what the pin asks of the tape and the clock.
    bool Pal() const override { return pal_.load(); }
    void NextFrame(std::span<std::uint8_t> frame) override;
    void PassFrames(LONG count, bool told) override;
    std::int64_t TapeTimecode() const override { return StartTimecode() + tapeTenths_.load() / 10; }
    bool ClockNow(REFERENCE_TIME& now) override;
    void CountDelivered() override { ++delivered_; }
    void CountDropped(LONG n) override { dropped_ += n; }

private:
    std::optional<TDVDateTime> DateOfFrame(std::int64_t frame) const;
    std::int64_t StartTimecode() const;
    // The tone and the tape move on by one frame.
    void MoveOn(bool pal);

    // The control interface.
    struct ControlItf : IQuillDVCamcorder {
        explicit ControlItf(TDVCamcorder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetSystem(BOOL pal) override;
        HRESULT STDMETHODCALLTYPE SetWide(BOOL wide) override;
        HRESULT STDMETHODCALLTYPE SetRecordingStart(int y, int mo, int d, int h, int mi, int s) override;
        HRESULT STDMETHODCALLTYPE SetDateJump(LONG atFrame, LONG seconds) override;
        HRESULT STDMETHODCALLTYPE SetUndated(LONG fromFrame, LONG count) override;
        HRESULT STDMETHODCALLTYPE SetStartTimecode(int h, int m, int s, int f) override;
        HRESULT STDMETHODCALLTYPE GetTapeFrame(LONG* frame) override;
        HRESULT STDMETHODCALLTYPE GetFramesDelivered(LONG* count) override;
        TDVCamcorder& o;
    };
    struct TransportItf : IAMExtTransport {
        explicit TransportItf(TDVCamcorder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetCapability(LONG, LONG*, double*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE put_MediaState(LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_MediaState(LONG* state) override;
        HRESULT STDMETHODCALLTYPE put_LocalControl(LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_LocalControl(LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetStatus(LONG item, LONG* value) override;
        HRESULT STDMETHODCALLTYPE GetTransportBasicParameters(LONG, LONG*, LPOLESTR*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetTransportBasicParameters(LONG, LONG, LPCOLESTR) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetTransportVideoParameters(LONG, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetTransportVideoParameters(LONG, LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetTransportAudioParameters(LONG, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetTransportAudioParameters(LONG, LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE put_Mode(LONG mode) override;
        HRESULT STDMETHODCALLTYPE get_Mode(LONG* mode) override;
        HRESULT STDMETHODCALLTYPE put_Rate(double) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_Rate(double*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetChase(LONG*, LONG*, HEVENT*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetChase(LONG, LONG, HEVENT) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetBump(LONG*, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetBump(LONG, LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_AntiClogControl(LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE put_AntiClogControl(LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetEditPropertySet(LONG, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetEditPropertySet(LONG*, LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetEditProperty(LONG, LONG, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetEditProperty(LONG, LONG, LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_EditStart(LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE put_EditStart(LONG) override { return E_NOTIMPL; }
        TDVCamcorder& o;
    };
    struct DeviceItf : IAMExtDevice {
        explicit DeviceItf(TDVCamcorder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetCapability(LONG capability, LONG* value, double* dblValue) override;
        HRESULT STDMETHODCALLTYPE get_ExternalDeviceID(LPOLESTR* data) override;
        HRESULT STDMETHODCALLTYPE get_ExternalDeviceVersion(LPOLESTR* data) override;
        HRESULT STDMETHODCALLTYPE put_DevicePower(LONG mode) override;
        HRESULT STDMETHODCALLTYPE get_DevicePower(LONG* mode) override;
        HRESULT STDMETHODCALLTYPE Calibrate(HEVENT, LONG, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE put_DevicePort(LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_DevicePort(LONG* port) override;
        TDVCamcorder& o;
    };
    struct TimecodeItf : IAMTimecodeReader {
        explicit TimecodeItf(TDVCamcorder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetTCRMode(LONG, LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetTCRMode(LONG, LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE put_VITCLine(LONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE get_VITCLine(LONG*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetTimecode(PTIMECODE_SAMPLE sample) override;
        TDVCamcorder& o;
    };
    struct DroppedItf : IAMDroppedFrames {
        explicit DroppedItf(TDVCamcorder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetNumDropped(LONG* number) override;
        HRESULT STDMETHODCALLTYPE GetNumNotDropped(LONG* number) override;
        HRESULT STDMETHODCALLTYPE GetDroppedInfo(LONG size, LONG* array, LONG* copied) override;
        HRESULT STDMETHODCALLTYPE GetAverageFrameSize(LONG* size) override;
        TDVCamcorder& o;
    };
    struct MiscFlagsItf : IAMFilterMiscFlags {
        explicit MiscFlagsItf(TDVCamcorder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }
        TDVCamcorder& o;
    };

    ControlItf control_{*this};
    TransportItf transport_{*this};
    DeviceItf device_{*this};
    TimecodeItf timecode_{*this};
    DroppedItf droppedItf_{*this};
    MiscFlagsItf miscFlags_{*this};
    std::unique_ptr<TDVCamcorderPin> pin_;

    // Settings: written by the control interface, read by the streaming thread for each frame.
    std::atomic<bool> pal_{true};
    std::atomic<bool> wide_{false};
    mutable std::mutex settingsLock_;  // guards the date and timecode settings below
    TDVDateTime start_{2023, 6, 14, 14, 30, 0};
    std::int64_t jumpFrame_ = -1;
    std::int64_t jumpSeconds_ = 0;
    std::int64_t undatedFrom_ = 0;
    std::int64_t undatedCount_ = 0;
    std::int64_t startTimecode_ = 0;  // frame count of tape frame 0's timecode

    std::atomic<LONG> mode_{ED_MODE_PLAY};
    std::atomic<LONG> deviceType_{kDVDeviceTypeVcr};
    std::atomic<LONG> power_{ED_POWER_ON};
    std::atomic<std::int64_t> tapeTenths_{0};   // tape position in tenths of a frame
    std::atomic<std::uint32_t> lastTimecode_{0};  // BCD hhmmssff of the last frame built
    std::atomic<bool> anyFrame_{false};
    std::atomic<LONG> delivered_{0};
    std::atomic<LONG> dropped_{0};
    std::int64_t audioSample_ = 0;  // streaming thread only: the tone's phase
    std::int64_t framesBuilt_ = 0;  // streaming thread only: the 525/60 audio pattern

    std::mutex clockLock_;  // the clock and start time the streaming thread reads (never under the filter lock)
    ComPtr<IReferenceClock> runClock_;
    REFERENCE_TIME runStart_ = 0;
    DWORD runTicks_ = 0;
};

// Filter.

TDVCamcorder::TDVCamcorder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller, HRESULT& hr)
    : TBCBaseFilter(entry, controller)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDVCamcorderKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        pal_ = ReadDword(key, L"NTSC", 0) != 1;
        wide_ = ReadDword(key, L"Wide", 0) == 1;
        const DWORD jumpFrame = ReadDword(key, L"DateJumpFrame", 0xFFFFFFFF);
        if (jumpFrame <= 0x7FFFFFFF) {
            jumpFrame_ = jumpFrame;
            jumpSeconds_ = static_cast<LONG>(ReadDword(key, L"DateJumpSeconds", 0));
        }
        const DWORD undatedFrom = ReadDword(key, L"UndatedFrom", 0);
        const DWORD undatedCount = ReadDword(key, L"UndatedCount", 0);
        if (undatedFrom <= 0x7FFFFFFF && undatedCount <= 0x7FFFFFFF) {
            undatedFrom_ = undatedFrom;
            undatedCount_ = undatedCount;
        }
        deviceType_ = static_cast<LONG>(ReadDword(key, L"DeviceType", kDVDeviceTypeVcr));
        RegCloseKey(key);
    }
    pin_ = std::make_unique<TDVCamcorderPin>(this, this, hr);
}

HRESULT TDVCamcorder::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IQuillDVCamcorder) return GetInterface(&control_, obj);
    if (iid == IID_IAMExtTransport) return GetInterface(&transport_, obj);
    if (iid == IID_IAMExtDevice) return GetInterface(&device_, obj);
    if (iid == IID_IAMTimecodeReader) return GetInterface(&timecode_, obj);
    if (iid == IID_IAMDroppedFrames) return GetInterface(&droppedItf_, obj);
    if (iid == IID_IAMFilterMiscFlags) return GetInterface(&miscFlags_, obj);
    return TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TDVCamcorder::GetState(DWORD ms, FILTER_STATE* state)
{
    HRESULT hr = TBCBaseFilter::GetState(ms, state);
    // A live source cannot cue data while paused.
    return SUCCEEDED(hr) && *state == State_Paused ? VFW_S_CANT_CUE : hr;
}

HRESULT TDVCamcorder::Run(REFERENCE_TIME tStart)
{
    {
        std::lock_guard<std::mutex> guard(clockLock_);
        runClock_ = Clock();
        runStart_ = tStart;
        runTicks_ = GetTickCount();
    }
    return TBCBaseFilter::Run(tStart);
}

bool TDVCamcorder::ClockNow(REFERENCE_TIME& now)
{
    std::lock_guard<std::mutex> guard(clockLock_);
    if (runClock_) {
        REFERENCE_TIME t = 0;
        if (FAILED(runClock_->GetTime(&t))) return false;
        now = t - runStart_;
        return true;
    }
    // Without a clock the graph runs as fast as it can; frames still follow the wall clock.
    now = static_cast<REFERENCE_TIME>(GetTickCount() - runTicks_) * 10000;
    return true;
}

std::optional<TDVDateTime> TDVCamcorder::DateOfFrame(std::int64_t frame) const
{
    std::lock_guard<std::mutex> guard(settingsLock_);
    if (undatedCount_ > 0 && frame >= undatedFrom_ && frame < undatedFrom_ + undatedCount_) return std::nullopt;
    const std::int64_t seconds = pal_.load() ? frame / 25 : frame * 1001 / 30000;
    return AddSeconds(start_, seconds + (jumpFrame_ >= 0 && frame >= jumpFrame_ ? jumpSeconds_ : 0));
}

std::int64_t TDVCamcorder::StartTimecode() const
{
    std::lock_guard<std::mutex> guard(settingsLock_);
    return startTimecode_;
}

void TDVCamcorder::PassFrames(LONG count, bool told)
{
    const bool pal = pal_.load();
    const std::int64_t startTc = StartTimecode();
    std::vector<std::int64_t> passed;
    for (LONG i = 0; i < count; ++i) {
        passed.push_back(startTc + tapeTenths_.load() / 10);
        MoveOn(pal);
    }
    if (told) AddToTestRecordingList(kTestPicturesLostValue, passed);
}

void TDVCamcorder::MoveOn(bool pal)
{
    audioSample_ = (audioSample_ + DVAudioSamplesPerFrame(pal, 48000, framesBuilt_++)) % 48000;
    // Rewinding stops at the tape's start.
    const LONG speed = SpeedOfMode(mode_.load());
    std::int64_t pos = tapeTenths_.load() + speed;
    if (pos <= 0 && speed < 0) {
        pos = 0;
        mode_ = ED_MODE_STOP;
    }
    tapeTenths_ = pos;
}

void TDVCamcorder::NextFrame(std::span<std::uint8_t> frame)
{
    const bool pal = pal_.load();
    const std::int64_t tape = tapeTenths_.load() / 10;
    TDVFrameSpec spec;
    spec.Pal = pal;
    spec.Wide = wide_.load();
    spec.RecDate = DateOfFrame(tape);
    spec.Timecode = DVTimecodeOfCount(pal, StartTimecode() + tape);
    spec.DropFrame = !pal;
    // A tone: 1 kHz on the left, 500 Hz on the right, continuous from frame to frame.
    const int samples = DVAudioSamplesPerFrame(pal, 48000, framesBuilt_);
    std::vector<std::int16_t> audio(static_cast<std::size_t>(samples) * 2);
    for (int n = 0; n < samples; ++n) {
        const double t = static_cast<double>(audioSample_ + n) / 48000.0;
        audio[2 * n] = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 1000 * t));
        audio[2 * n + 1] = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 500 * t));
    }
    spec.Audio = audio;
    DVBuildFrame(frame, spec);
    DVCamcorderCodeInto(frame, pal, tape);

    const auto& tc = *spec.Timecode;
    auto bcd = [](int v) { return static_cast<std::uint32_t>(((v / 10) << 4) | (v % 10)); };
    lastTimecode_ = (bcd(tc.Hours) << 24) | (bcd(tc.Minutes) << 16) | (bcd(tc.Seconds) << 8) | bcd(tc.Frames);
    anyFrame_ = true;
    MoveOn(pal);
}

// Control interface.

HRESULT TDVCamcorder::ControlItf::SetSystem(BOOL pal)
{
    filters::TBCAutoLock lock(*o.Lock());
    if (o.pin_->IsConnected() && (pal != FALSE) != o.pal_.load()) return VFW_E_ALREADY_CONNECTED;
    o.pal_ = pal != FALSE;
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::SetWide(BOOL wide)
{
    o.wide_ = wide != FALSE;
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::SetRecordingStart(int y, int mo, int d, int h, int mi, int s)
{
    const TDVDateTime start{y, mo, d, h, mi, s};
    if (!IsRealDateTime(start)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(o.settingsLock_);
    o.start_ = start;
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::SetDateJump(LONG atFrame, LONG seconds)
{
    std::lock_guard<std::mutex> guard(o.settingsLock_);
    o.jumpFrame_ = atFrame < 0 ? -1 : atFrame;
    o.jumpSeconds_ = seconds;
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::SetUndated(LONG fromFrame, LONG count)
{
    if (fromFrame < 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(o.settingsLock_);
    o.undatedFrom_ = fromFrame;
    o.undatedCount_ = count > 0 ? count : 0;
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::SetStartTimecode(int h, int m, int s, int f)
{
    const std::int64_t count = CountOfTimecode(o.pal_.load(), h, m, s, f);
    if (count < 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(o.settingsLock_);
    o.startTimecode_ = count;
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::GetTapeFrame(LONG* frame)
{
    if (frame == nullptr) return E_POINTER;
    *frame = static_cast<LONG>(o.tapeTenths_.load() / 10);
    return S_OK;
}

HRESULT TDVCamcorder::ControlItf::GetFramesDelivered(LONG* count)
{
    if (count == nullptr) return E_POINTER;
    *count = o.delivered_.load();
    return S_OK;
}

// Transport.

HRESULT TDVCamcorder::TransportItf::get_MediaState(LONG* state)
{
    if (state == nullptr) return E_POINTER;
    *state = ED_MEDIA_SPIN_UP;
    return S_OK;
}

HRESULT TDVCamcorder::TransportItf::GetStatus(LONG item, LONG* value)
{
    if (value == nullptr) return E_POINTER;
    switch (item) {
    case ED_MODE: *value = o.mode_.load(); return S_OK;
    case ED_MEDIA_PRESENT: *value = -1; return S_OK;  // OATRUE: a tape is in
    default: return E_NOTIMPL;
    }
}

HRESULT TDVCamcorder::TransportItf::put_Mode(LONG mode)
{
    switch (mode) {
    case ED_MODE_THAW:
        if (o.mode_.load() == ED_MODE_FREEZE) o.mode_ = ED_MODE_PLAY;
        return S_OK;
    case ED_MODE_PLAY:
    case ED_MODE_STOP:
    case ED_MODE_FREEZE:
    case ED_MODE_FF:
    case ED_MODE_REW:
    case kDVModePlayFastestFwd:
    case kDVModePlaySlowestFwd:
    case kDVModePlayFastestRev:
    case kDVModePlaySlowestRev:
        o.mode_ = mode;
        return S_OK;
    case ED_MODE_RECORD:
    case ED_MODE_RECORD_STROBE:
        return E_NOTIMPL;  // the tape is read-only
    default:
        return E_INVALIDARG;
    }
}

HRESULT TDVCamcorder::TransportItf::get_Mode(LONG* mode)
{
    if (mode == nullptr) return E_POINTER;
    *mode = o.mode_.load();
    return S_OK;
}

// External device.

HRESULT TDVCamcorder::DeviceItf::GetCapability(LONG capability, LONG* value, double* dblValue)
{
    if (value == nullptr) return E_POINTER;
    if (dblValue != nullptr) *dblValue = 0;
    switch (capability) {
    case ED_DEVCAP_DEVICE_TYPE: *value = o.deviceType_.load(); return S_OK;
    case ED_DEVCAP_TIMECODE_READ: *value = -1; return S_OK;  // OATRUE
    case ED_DEVCAP_CAN_RECORD: *value = 0; return S_OK;      // OAFALSE
    default: return E_NOTIMPL;
    }
}

HRESULT TDVCamcorder::DeviceItf::get_ExternalDeviceID(LPOLESTR* data)
{
    return filters::AMGetWideString(kDVCamcorderName, data);
}

HRESULT TDVCamcorder::DeviceItf::get_ExternalDeviceVersion(LPOLESTR* data)
{
    return filters::AMGetWideString(L"1.0", data);
}

HRESULT TDVCamcorder::DeviceItf::put_DevicePower(LONG mode)
{
    if (mode != ED_POWER_ON && mode != ED_POWER_OFF && mode != ED_POWER_STANDBY) return E_INVALIDARG;
    o.power_ = mode;
    return S_OK;
}

HRESULT TDVCamcorder::DeviceItf::get_DevicePower(LONG* mode)
{
    if (mode == nullptr) return E_POINTER;
    *mode = o.power_.load();
    return S_OK;
}

HRESULT TDVCamcorder::DeviceItf::get_DevicePort(LONG* port)
{
    if (port == nullptr) return E_POINTER;
    *port = DEV_PORT_1394;
    return S_OK;
}

// Timecode reader: the timecode of the last frame built, or of the tape position before the first.

HRESULT TDVCamcorder::TimecodeItf::GetTimecode(PTIMECODE_SAMPLE sample)
{
    if (sample == nullptr) return E_POINTER;
    std::uint32_t value = o.lastTimecode_.load();
    if (!o.anyFrame_.load()) {
        std::int64_t start = 0;
        {
            std::lock_guard<std::mutex> guard(o.settingsLock_);
            start = o.startTimecode_;
        }
        const auto tc = DVTimecodeOfCount(o.pal_.load(), start + o.tapeTenths_.load() / 10);
        auto bcd = [](int v) { return static_cast<std::uint32_t>(((v / 10) << 4) | (v % 10)); };
        value = (bcd(tc.Hours) << 24) | (bcd(tc.Minutes) << 16) | (bcd(tc.Seconds) << 8) | bcd(tc.Frames);
    }
    // No frame-rate code: callers read the BCD value only.
    sample->timecode.wFrameRate = 0;
    sample->timecode.wFrameFract = 0;
    sample->timecode.dwFrames = value;
    sample->qwTick = 0;
    sample->dwUser = 0;
    return S_OK;
}

// Dropped frames.

HRESULT TDVCamcorder::DroppedItf::GetNumDropped(LONG* number)
{
    if (number == nullptr) return E_POINTER;
    *number = o.dropped_.load();
    return S_OK;
}

HRESULT TDVCamcorder::DroppedItf::GetNumNotDropped(LONG* number)
{
    if (number == nullptr) return E_POINTER;
    *number = o.delivered_.load();
    return S_OK;
}

HRESULT TDVCamcorder::DroppedItf::GetDroppedInfo(LONG size, LONG* array, LONG* copied)
{
    if (array == nullptr || copied == nullptr) return E_POINTER;
    if (size <= 0) return E_INVALIDARG;
    *copied = 0;  // which frames were lost is not kept
    return S_OK;
}

HRESULT TDVCamcorder::DroppedItf::GetAverageFrameSize(LONG* size)
{
    if (size == nullptr) return E_POINTER;
    *size = static_cast<LONG>(DVFrameBytes(o.pal_.load()));
    return S_OK;
}

const REGPINTYPES kCamcorderPinTypes[] = {{&MEDIATYPE_Interleaved, &MEDIASUBTYPE_dvsd}};
const REGFILTERPINS kCamcorderPins[] = {
    {const_cast<LPWSTR>(L"DV A/V Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kCamcorderPinTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Quillotrane Test DV Camcorder";
    entry.FilterClsid = CLSID_QuillDVCamcorder;
    entry.Category = CLSID_VideoInputDeviceCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 1;
    entry.Pins = kCamcorderPins;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const auto* self = filters::Templates().GetFactoryFromClassID(CLSID_QuillDVCamcorder);
        return new TDVCamcorder(*self, controller, hr);
    };
    templates.Add(std::move(entry));
});

}  // namespace

}  // namespace standins
