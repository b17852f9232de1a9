// The event poster, a test double: a filter without pins that tests add to a graph and ask, through
// IQuillEventPoster, to raise graph events through the graph's IMediaEventSink as a device would.
#pragma once

#include "filters/base_filter.h"

namespace standins {

using filters::ComGuard;  // for QUILL_DELEGATING_UNKNOWN outside namespace filters

// {828B0949-F3BC-4D86-B11D-C57FC2EED5E9}
inline const CLSID CLSID_QuillEventPoster = {0x828b0949, 0xf3bc, 0x4d86, {0xb1, 0x1d, 0xc5, 0x7f, 0xc2, 0xee, 0xd5, 0xe9}};
inline const wchar_t kEventPosterName[] = L"Quillotrane Event Poster";

// {33340F06-ABA9-4D5E-B835-9B4A5B9DCCFB}
inline const IID IID_IQuillEventPoster = {0x33340f06, 0xaba9, 0x4d5e, {0xb8, 0x35, 0x9b, 0x4a, 0x5b, 0x9d, 0xcc, 0xfb}};

// Callable from any thread. Both answer VFW_E_NOT_IN_GRAPH outside a graph, else the sink's result.
struct IQuillEventPoster : public IUnknown {
    // Raises Code with its parameters as given (EC_COMPLETE carries the poster's IBaseFilter as its
    // second parameter, as a renderer's does).
    virtual HRESULT STDMETHODCALLTYPE RaiseEvent(long Code, LONG_PTR Param1, LONG_PTR Param2) = 0;
    // EC_DEVICE_LOST naming the poster (its IUnknown, not counted) as the device: removed when
    // Available is FALSE, back again when TRUE.
    virtual HRESULT STDMETHODCALLTYPE RaiseDeviceLost(BOOL Available) = 0;
};

// The poster also reports itself a renderer (IAMFilterMiscFlags), so a running graph counts its
// EC_COMPLETE among its renderers' before it passes the event on.
class TEventPoster : public filters::TBCBaseFilter {
public:
    TEventPoster(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller);

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    int GetPinCount() override { return 0; }
    filters::TBCBasePin* GetPin(int) override { return nullptr; }

    HRESULT RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2);
    HRESULT RaiseDeviceLost(BOOL available);

private:
    struct PosterItf : IQuillEventPoster {
        explicit PosterItf(TEventPoster& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2) override;
        HRESULT STDMETHODCALLTYPE RaiseDeviceLost(BOOL available) override;
        TEventPoster& o;
    };
    struct FlagsItf : IAMFilterMiscFlags {
        explicit FlagsItf(TEventPoster& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
        TEventPoster& o;
    };
    PosterItf posterItf_;
    FlagsItf flagsItf_;
};

}  // namespace standins

__CRT_UUID_DECL(standins::IQuillEventPoster, 0x33340f06, 0xaba9, 0x4d5e, 0xb8, 0x35, 0x9b, 0x4a, 0x5b, 0x9d, 0xcc, 0xfb)
