// Device classification and the decoder search.
#include "engine/device_classes.h"

#include <dshow.h>

#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"

namespace engine {

ComPtr<IEnumMoniker> DecoderEnum;

std::uint8_t ClassifyDevice(IMoniker* Moniker) {
    Tdm* module = dm();
    if (module == nullptr) return kClassNone;
    dshow::TFilter* probe = module->test;
    std::uint8_t result = kClassNone;
    try {
        probe->SetFilterGraph(nullptr);
        probe->BaseFilter()->SetMoniker(Moniker);
        probe->SetFilterGraph(module->fg);
        ComPtr<IBaseFilter> filter = probe->GetFilter();
        ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
        ComPtr<ICaptureGraphBuilder2> own;
        if (builder == nullptr) {
            own = module->fg->As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2);
            builder = own.Get();
        }
        auto has = [&](const GUID* category, const GUID* type) {
            return FindPin(builder, filter.Get(), PINDIR_OUTPUT, category, type, false, 0) != nullptr;
        };
        if (!filter) {
            result = kClassNone;
        } else if (has(nullptr, &MEDIATYPE_Interleaved)) {
            result = kClassDV;
        } else if (has(nullptr, &MEDIATYPE_Stream)) {
            result = kClassStream;
        } else if (has(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video) || has(nullptr, &MEDIATYPE_Video)) {
            result = kClassVideo;
        } else if (has(nullptr, &MEDIATYPE_Audio)) {
            result = kClassSound;
        }
    } catch (...) {
    }
    try {
        probe->SetFilterGraph(nullptr);
    } catch (...) {
    }
    return result;
}

ComPtr<IEnumMoniker> MatchingFilters(const GUID (&Input)[2], const GUID (&Output)[2]) {
    ComPtr<IFilterMapper2> mapper;
    if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                reinterpret_cast<void**>(mapper.GetAddressOf()))))
        return nullptr;
    ComPtr<IEnumMoniker> found;
    if (FAILED(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, TRUE, 0, TRUE, 1, Input, nullptr, nullptr, FALSE,
                                           TRUE, 1, Output, nullptr, nullptr)) ||
        !found)
        return nullptr;
    found->Reset();
    return found;
}

bool NextCandidate(IEnumMoniker* Candidates, dshow::TFilter* Component) {
    ComPtr<IMoniker> next;
    if (Candidates == nullptr || Candidates->Next(1, next.GetAddressOf(), nullptr) != S_OK || !next) return false;
    Component->SetFilterGraph(nullptr);
    Component->BaseFilter()->SetMoniker(next.Get());
    return true;
}

bool FindVideoDecoders(const AM_MEDIA_TYPE& MediaType) {
    DecoderEnum.Reset();
    try {
        const GUID input[2] = {MediaType.majortype, MediaType.subtype};
        const GUID output[2] = {MEDIATYPE_Video, GUID_NULL};
        DecoderEnum = MatchingFilters(input, output);
        return DecoderEnum != nullptr;
    } catch (...) {
        return DecoderEnum != nullptr;
    }
}

}  // namespace engine
