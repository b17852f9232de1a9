#include "platform/standins/test_crossbar.h"

#include <uuids.h>

#include <cstring>
#include <string>

#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Quillotrane Test Crossbar";
    entry.FilterClsid = CLSID_QuillTestCrossbar;
    entry.Category = kCrossbarCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self =
            filters::Templates().GetFactoryFromClassID(CLSID_QuillTestCrossbar);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TTestCrossbar(*self, controller);
    };
    templates.Add(std::move(entry));
});

// Physical types of the inputs by stage, and which inputs can reach an output.
constexpr long kInputTypes[2][kCrossbarInputs] = {
    {PhysConn_Video_Tuner, PhysConn_Video_Composite, PhysConn_Video_SVideo, PhysConn_Video_SerialDigital,
     PhysConn_Audio_Tuner, PhysConn_Audio_Line},
    {PhysConn_Video_Tuner, PhysConn_Video_Composite, PhysConn_Video_RGB, PhysConn_Video_SVideo,
     PhysConn_Audio_Tuner, PhysConn_Audio_Line},
};
constexpr long kUnroutableInput[2] = {3, 2};
constexpr long kInputRelated[kCrossbarInputs] = {4, 5, -1, -1, 0, 1};
constexpr long kOutputTypes[kCrossbarOutputs] = {PhysConn_Video_VideoDecoder, PhysConn_Audio_AudioDecoder};
constexpr long kOutputRelated[kCrossbarOutputs] = {1, 0};
constexpr long kInitialRouting[kCrossbarOutputs] = {0, 4};

}  // namespace

// Filter.

TTestCrossbar::TTestCrossbar(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller)
    : filters::TBCBaseFilter(factory, controller), crossbarItf_(*this), testItf_(*this)
{
    HRESULT hr = S_OK;
    for (long i = 0; i < kCrossbarInputs; ++i) {
        const bool audio = IsAudioInput(i);
        pins_[static_cast<size_t>(i)] = std::make_unique<TTestCrossbarPin>(
            this, hr, std::to_wstring(i) + (audio ? L": Audio In" : L": Video In"), PINDIR_INPUT, audio);
    }
    for (long o = 0; o < kCrossbarOutputs; ++o) {
        const bool audio = IsAudioOutput(o);
        pins_[static_cast<size_t>(kCrossbarInputs + o)] = std::make_unique<TTestCrossbarPin>(
            this, hr, std::to_wstring(o) + (audio ? L": Audio Out" : L": Video Out"), PINDIR_OUTPUT, audio);
    }
    for (long o = 0; o < kCrossbarOutputs; ++o) {
        routing_[static_cast<size_t>(o)] = kInitialRouting[o];
    }
}

TTestCrossbar::~TTestCrossbar() = default;

HRESULT TTestCrossbar::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IAMCrossbar) {
        return GetInterface(&crossbarItf_, obj);
    }
    if (iid == IID_IQuillTestCrossbar) {
        return GetInterface(&testItf_, obj);
    }
    return filters::TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
}

filters::TBCBasePin* TTestCrossbar::GetPin(int n)
{
    return n >= 0 && n < GetPinCount() ? pins_[static_cast<size_t>(n)].get() : nullptr;
}

HRESULT TTestCrossbar::PinCounts(long* outputs, long* inputs)
{
    if (outputs == nullptr || inputs == nullptr) {
        return E_POINTER;
    }
    *outputs = kCrossbarOutputs;
    *inputs = kCrossbarInputs;
    return S_OK;
}

HRESULT TTestCrossbar::CanRoute(long output, long input)
{
    if (output < 0 || output >= kCrossbarOutputs || input < 0 || input >= kCrossbarInputs) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*Lock());
    if (IsAudioOutput(output) != IsAudioInput(input) || input == kUnroutableInput[stage_]) {
        return S_FALSE;
    }
    return S_OK;
}

HRESULT TTestCrossbar::Route(long output, long input)
{
    if (output < 0 || output >= kCrossbarOutputs || input < -1 || input >= kCrossbarInputs) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*Lock());
    // -1 leaves the output unrouted.
    if (input != -1 && CanRoute(output, input) != S_OK) {
        return E_FAIL;
    }
    routing_[static_cast<size_t>(output)] = input;
    ++routeCalls_;
    return S_OK;
}

HRESULT TTestCrossbar::IsRoutedTo(long output, long* input)
{
    if (input == nullptr) {
        return E_POINTER;
    }
    if (output < 0 || output >= kCrossbarOutputs) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*Lock());
    *input = routing_[static_cast<size_t>(output)];
    return S_OK;
}

HRESULT TTestCrossbar::CrossbarPinInfo(BOOL isInput, long index, long* related, long* physicalType)
{
    if (related == nullptr || physicalType == nullptr) {
        return E_POINTER;
    }
    filters::TBCAutoLock lock(*Lock());
    if (isInput) {
        if (index < 0 || index >= kCrossbarInputs) {
            return E_INVALIDARG;
        }
        *related = kInputRelated[index];
        *physicalType = kInputTypes[stage_][index];
    } else {
        if (index < 0 || index >= kCrossbarOutputs) {
            return E_INVALIDARG;
        }
        *related = kOutputRelated[index];
        *physicalType = kOutputTypes[index];
    }
    return S_OK;
}

HRESULT TTestCrossbar::SetStage(long stage)
{
    if (stage != 0 && stage != 1) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*Lock());
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    stage_ = stage;
    for (long o = 0; o < kCrossbarOutputs; ++o) {
        routing_[static_cast<size_t>(o)] = kInitialRouting[o];
    }
    return S_OK;
}

HRESULT TTestCrossbar::GetRouteCalls(long* count)
{
    if (count == nullptr) {
        return E_POINTER;
    }
    filters::TBCAutoLock lock(*Lock());
    *count = routeCalls_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TTestCrossbar::CrossbarItf::get_PinCounts(long* outputs, long* inputs)
{
    return filters::ComGuard([&] { return o.PinCounts(outputs, inputs); });
}
HRESULT STDMETHODCALLTYPE TTestCrossbar::CrossbarItf::CanRoute(long output, long input)
{
    return filters::ComGuard([&] { return o.CanRoute(output, input); });
}
HRESULT STDMETHODCALLTYPE TTestCrossbar::CrossbarItf::Route(long output, long input)
{
    return filters::ComGuard([&] { return o.Route(output, input); });
}
HRESULT STDMETHODCALLTYPE TTestCrossbar::CrossbarItf::get_IsRoutedTo(long output, long* input)
{
    return filters::ComGuard([&] { return o.IsRoutedTo(output, input); });
}
HRESULT STDMETHODCALLTYPE TTestCrossbar::CrossbarItf::get_CrossbarPinInfo(BOOL isInput, long index, long* related,
                                                                          long* physicalType)
{
    return filters::ComGuard([&] { return o.CrossbarPinInfo(isInput, index, related, physicalType); });
}
HRESULT STDMETHODCALLTYPE TTestCrossbar::TestItf::SetStage(long stage)
{
    return filters::ComGuard([&] { return o.SetStage(stage); });
}
HRESULT STDMETHODCALLTYPE TTestCrossbar::TestItf::GetRouteCalls(long* count)
{
    return filters::ComGuard([&] { return o.GetRouteCalls(count); });
}

// Pins.

TTestCrossbarPin::TTestCrossbarPin(TTestCrossbar* filter, HRESULT& hr, std::wstring name, PIN_DIRECTION dir,
                                   bool audio)
    : filters::TBCBasePin("Test crossbar pin", filter, filter->Lock(), hr, std::move(name), dir),
      ksItf_(*this),
      audio_(audio)
{
}

HRESULT TTestCrossbarPin::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IKsPropertySet) {
        return GetInterface(&ksItf_, obj);
    }
    return filters::TBCBasePin::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TTestCrossbarPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    return mediaType->majortype == (audio_ ? MEDIATYPE_AnalogAudio : MEDIATYPE_AnalogVideo) ? S_OK : S_FALSE;
}

HRESULT TTestCrossbarPin::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    filters::InitMediaType(*mediaType);
    mediaType->majortype = audio_ ? MEDIATYPE_AnalogAudio : MEDIATYPE_AnalogVideo;
    mediaType->subtype = GUID_NULL;
    mediaType->formattype = FORMAT_None;
    return S_OK;
}

HRESULT TTestCrossbarPin::BeginFlush()
{
    return Direction() == PINDIR_INPUT ? S_OK : E_UNEXPECTED;
}

HRESULT TTestCrossbarPin::EndFlush()
{
    return Direction() == PINDIR_INPUT ? S_OK : E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE TTestCrossbarPin::KsItf::Set(REFGUID set, DWORD, void*, DWORD, void*, DWORD)
{
    return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;  // read-only
}

HRESULT STDMETHODCALLTYPE TTestCrossbarPin::KsItf::Get(REFGUID set, DWORD id, void*, DWORD, void* data,
                                                       DWORD dataLength, DWORD* returned)
{
    if (set != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY || o.IsAudio()) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (data == nullptr) {
        return E_POINTER;
    }
    if (dataLength < sizeof(GUID)) {
        return E_UNEXPECTED;
    }
    std::memcpy(data, &PIN_CATEGORY_ANALOGVIDEOIN, sizeof(GUID));
    if (returned != nullptr) {
        *returned = sizeof(GUID);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TTestCrossbarPin::KsItf::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY || o.IsAudio()) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (support != nullptr) {
        *support = KSPROPERTY_SUPPORT_GET;
    }
    return S_OK;
}

}  // namespace standins
