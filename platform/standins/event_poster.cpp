#include "platform/standins/event_poster.h"

#include <uuids.h>

#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Quillotrane Event Poster";
    entry.FilterClsid = CLSID_QuillEventPoster;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self =
            filters::Templates().GetFactoryFromClassID(CLSID_QuillEventPoster);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TEventPoster(*self, controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace

TEventPoster::TEventPoster(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller)
    : filters::TBCBaseFilter(factory, controller), posterItf_(*this), flagsItf_(*this)
{
}

HRESULT TEventPoster::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IQuillEventPoster) {
        return GetInterface(&posterItf_, obj);
    }
    if (iid == IID_IAMFilterMiscFlags) {
        return GetInterface(&flagsItf_, obj);
    }
    return filters::TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TEventPoster::RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    if (Sink() == nullptr) {
        return VFW_E_NOT_IN_GRAPH;
    }
    return NotifyEvent(code, param1, param2);
}

HRESULT TEventPoster::RaiseDeviceLost(BOOL available)
{
    // The identity IUnknown: the aggregating owner's when there is one.
    IUnknown* identity = GetOwner() ? GetOwner().Get() : InnerUnknown();
    return RaiseEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(identity), available ? 1 : 0);
}

HRESULT STDMETHODCALLTYPE TEventPoster::PosterItf::RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    return filters::ComGuard([&] { return o.RaiseEvent(code, param1, param2); });
}

HRESULT STDMETHODCALLTYPE TEventPoster::PosterItf::RaiseDeviceLost(BOOL available)
{
    return filters::ComGuard([&] { return o.RaiseDeviceLost(available); });
}

}  // namespace standins
