// The test crossbar, a test double listed in the crossbar category: analogue video and audio pins
// with their pin categories, IAMCrossbar over a fixed routing table, and a stage setting so that
// two of them make a cascade (a tuner-side crossbar feeding a decoder crossbar).
#pragma once

#include "filters/base_pin.h"

#include <array>
#include <memory>

namespace standins {

using filters::ComGuard;  // for QUILL_DELEGATING_UNKNOWN outside namespace filters

// {CF277EA3-3DA1-40BF-816E-A925795B1ABB}
inline const CLSID CLSID_QuillTestCrossbar = {0xcf277ea3, 0x3da1, 0x40bf, {0x81, 0x6e, 0xa9, 0x25, 0x79, 0x5b, 0x1a, 0xbb}};
inline const wchar_t kTestCrossbarName[] = L"Quillotrane Test Crossbar";
// AM_KSCATEGORY_CROSSBAR, the category it is listed in (MinGW declares it only in ksuuids.h,
// which cannot be included after dshow.h).
inline const GUID kCrossbarCategory = {0xa799a801, 0xa46d, 0x11d0, {0xa1, 0x8c, 0x00, 0xa0, 0x24, 0x01, 0xdc, 0xd4}};

// {91A98C45-10DB-4872-827D-6203F1FA5515}
inline const IID IID_IQuillTestCrossbar = {0x91a98c45, 0x10db, 0x4872, {0x82, 0x7d, 0x62, 0x03, 0xf1, 0xfa, 0x55, 0x15}};

// The pins, in enumeration order: six inputs (0-3 video, 4-5 audio), then two outputs (0 video,
// 1 audio). Physical types by stage (the outputs are Video Decoder and Audio Decoder in both):
//   stage 0, the crossbar feeding the capture pin: Tuner, Composite, SVideo, SerialDigital,
//     Audio Tuner, Audio Line;
//   stage 1, the crossbar upstream of it: Tuner, Composite, RGB, SVideo, Audio Tuner, Audio Line.
// Input 3 of stage 0 and input 2 of stage 1 cannot be routed (CanRoute answers S_FALSE). Related
// pins: video inputs 0 and 1 with audio inputs 4 and 5, the video output with the audio output.
// A new crossbar is stage 0, routed from inputs 0 and 4.
struct IQuillTestCrossbar : public IUnknown {
    // 0 or 1 (E_INVALIDARG otherwise); VFW_E_NOT_STOPPED unless stopped. Routing returns to its start.
    virtual HRESULT STDMETHODCALLTYPE SetStage(long Stage) = 0;
    // Successful Route calls since creation.
    virtual HRESULT STDMETHODCALLTYPE GetRouteCalls(long* Count) = 0;
};

constexpr long kCrossbarInputs = 6;
constexpr long kCrossbarOutputs = 2;

class TTestCrossbarPin;

class TTestCrossbar : public filters::TBCBaseFilter {
public:
    TTestCrossbar(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller);
    ~TTestCrossbar() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    int GetPinCount() override { return static_cast<int>(kCrossbarInputs + kCrossbarOutputs); }
    filters::TBCBasePin* GetPin(int n) override;

    // IAMCrossbar.
    HRESULT PinCounts(long* outputs, long* inputs);
    HRESULT CanRoute(long output, long input);
    HRESULT Route(long output, long input);
    HRESULT IsRoutedTo(long output, long* input);
    HRESULT CrossbarPinInfo(BOOL isInput, long index, long* related, long* physicalType);
    // IQuillTestCrossbar.
    HRESULT SetStage(long stage);
    HRESULT GetRouteCalls(long* count);

private:
    struct CrossbarItf : IAMCrossbar {
        explicit CrossbarItf(TTestCrossbar& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE get_PinCounts(long* outputs, long* inputs) override;
        HRESULT STDMETHODCALLTYPE CanRoute(long output, long input) override;
        HRESULT STDMETHODCALLTYPE Route(long output, long input) override;
        HRESULT STDMETHODCALLTYPE get_IsRoutedTo(long output, long* input) override;
        HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL isInput, long index, long* related,
                                                      long* physicalType) override;
        TTestCrossbar& o;
    };
    struct TestItf : IQuillTestCrossbar {
        explicit TestItf(TTestCrossbar& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetStage(long stage) override;
        HRESULT STDMETHODCALLTYPE GetRouteCalls(long* count) override;
        TTestCrossbar& o;
    };
    bool IsAudioInput(long input) const { return input >= 4; }
    bool IsAudioOutput(long output) const { return output == 1; }

    CrossbarItf crossbarItf_;
    TestItf testItf_;
    std::array<std::unique_ptr<TTestCrossbarPin>, kCrossbarInputs + kCrossbarOutputs> pins_;
    long stage_ = 0;
    std::array<long, kCrossbarOutputs> routing_{};
    long routeCalls_ = 0;
};

// An analogue pin: it connects to analogue pins of its own kind and carries no samples.
class TTestCrossbarPin : public filters::TBCBasePin {
public:
    TTestCrossbarPin(TTestCrossbar* filter, HRESULT& hr, std::wstring name, PIN_DIRECTION dir, bool audio);

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    bool IsAudio() const { return audio_; }

private:
    // The pin category: analogue video in for the video pins; the audio pins have none.
    struct KsItf : IKsPropertySet {
        explicit KsItf(TTestCrossbarPin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceLength, void* data,
                                      DWORD dataLength) override;
        HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceLength, void* data,
                                      DWORD dataLength, DWORD* returned) override;
        HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;
        TTestCrossbarPin& o;
    };
    KsItf ksItf_;
    bool audio_;
};

}  // namespace standins

__CRT_UUID_DECL(standins::IQuillTestCrossbar, 0x91a98c45, 0x10db, 0x4872, 0x82, 0x7d, 0x62, 0x03, 0xf1, 0xfa, 0x55, 0x15)
