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

bool FindVideoDecoders(const AM_MEDIA_TYPE& MediaType) {
    DecoderEnum.Reset();
    try {
        ComPtr<IFilterMapper2> mapper;
        if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                    reinterpret_cast<void**>(mapper.GetAddressOf()))))
            return false;
        const GUID input[2] = {MediaType.majortype, MediaType.subtype};
        const GUID output[2] = {MEDIATYPE_Video, GUID_NULL};
        ComPtr<IEnumMoniker> found;
        if (FAILED(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, TRUE, 0, TRUE, 1, input, nullptr, nullptr,
                                               FALSE, TRUE, 1, output, nullptr, nullptr)) ||
            !found)
            return false;
        found->Reset();
        DecoderEnum = found;
        return true;
    } catch (...) {
        return DecoderEnum != nullptr;
    }
}

}  // namespace engine
