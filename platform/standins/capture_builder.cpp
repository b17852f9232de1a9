#include "platform/standins/capture_builder.h"

#include <windows.h>
#include <dshow.h>
#include <uuids.h>
#include <wrl/client.h>

#include "filters/base_com.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

// The object of a class id as interface T.
template <typename T>
HRESULT Make(REFCLSID clsid, ComPtr<T>& out)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T),
                            reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION dir)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.GetAddressOf()))) {
        return nullptr;
    }
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d{};
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir) {
            return pin;
        }
    }
    return nullptr;
}

class TCaptureBuilder : public filters::TBCUnknown {
public:
    TCaptureBuilder(IUnknown* controller, HRESULT& hr) : TBCUnknown("Capture graph builder", controller)
    {
        // Wine's own builder, straight from its DLL: through the registry it would be this class.
        qcap_ = LoadLibraryW(L"qcap.dll");
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        auto get = qcap_ == nullptr ? nullptr
                                    : reinterpret_cast<GetClassObject>(
                                          reinterpret_cast<void*>(GetProcAddress(qcap_, "DllGetClassObject")));
        if (get == nullptr) {
            hr = REGDB_E_CLASSNOTREG;
            return;
        }
        ComPtr<IClassFactory> factory;
        hr = get(CLSID_CaptureGraphBuilder2, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
        if (SUCCEEDED(hr)) {
            hr = factory->CreateInstance(nullptr, IID_ICaptureGraphBuilder2,
                                         reinterpret_cast<void**>(inner_.GetAddressOf()));
        }
    }

    ~TCaptureBuilder() override
    {
        inner_.Reset();
        if (qcap_ != nullptr) {
            FreeLibrary(qcap_);
        }
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_ICaptureGraphBuilder2) {
            return GetInterface(&builderItf_, obj);
        }
        return TBCUnknown::NonDelegatingQueryInterface(iid, obj);
    }

private:
    HRESULT Graph(ComPtr<IGraphBuilder>& graph)
    {
        if (SUCCEEDED(inner_->GetFiltergraph(graph.ReleaseAndGetAddressOf())) && graph) {
            return S_OK;
        }
        // As documented for the stock builder: without a graph it makes one.
        HRESULT hr = Make(CLSID_FilterGraph, graph);
        return FAILED(hr) ? hr : inner_->SetFiltergraph(graph.Get());
    }

    HRESULT AviOutput(IGraphBuilder* graph, LPCOLESTR file, ComPtr<IBaseFilter>& mux, ComPtr<IFileSinkFilter>& sink)
    {
        ComPtr<IBaseFilter> writer;
        HRESULT hr = Make(CLSID_AviDest, mux);
        if (SUCCEEDED(hr)) {
            hr = Make(CLSID_FileWriter, writer);
        }
        if (SUCCEEDED(hr)) {
            hr = writer.As(&sink);
        }
        if (SUCCEEDED(hr)) {
            hr = sink->SetFileName(file, nullptr);
        }
        if (FAILED(hr)) {
            return hr;
        }
        hr = graph->AddFilter(mux.Get(), kOutputMuxName);
        if (FAILED(hr)) {
            return hr;
        }
        hr = graph->AddFilter(writer.Get(), kOutputWriterName);
        if (SUCCEEDED(hr)) {
            ComPtr<IPin> out = FirstPin(mux.Get(), PINDIR_OUTPUT);
            ComPtr<IPin> in = FirstPin(writer.Get(), PINDIR_INPUT);
            hr = out && in ? graph->ConnectDirect(out.Get(), in.Get(), nullptr) : VFW_E_NO_ACCEPTABLE_TYPES;
            if (FAILED(hr)) {
                graph->RemoveFilter(writer.Get());
            }
        }
        if (FAILED(hr)) {
            graph->RemoveFilter(mux.Get());
        }
        return hr;
    }

    HRESULT AsfOutput(IGraphBuilder* graph, LPCOLESTR file, ComPtr<IBaseFilter>& writer,
                      ComPtr<IFileSinkFilter>& sink)
    {
        HRESULT hr = Make(CLSID_WMAsfWriter, writer);
        if (SUCCEEDED(hr)) {
            hr = writer.As(&sink);
        }
        if (SUCCEEDED(hr)) {
            hr = sink->SetFileName(file, nullptr);
        }
        if (SUCCEEDED(hr)) {
            hr = graph->AddFilter(writer.Get(), kOutputMuxName);
        }
        return hr;
    }

    HRESULT SetOutputFileName(const GUID* type, LPCOLESTR file, IBaseFilter** filter, IFileSinkFilter** sinkOut)
    {
        if (type == nullptr || file == nullptr || filter == nullptr) {
            return E_POINTER;
        }
        *filter = nullptr;
        if (sinkOut != nullptr) {
            *sinkOut = nullptr;
        }
        if (*type != MEDIASUBTYPE_Avi && *type != MEDIASUBTYPE_Asf) {
            return inner_->SetOutputFileName(type, file, filter, sinkOut);
        }
        ComPtr<IGraphBuilder> graph;
        HRESULT hr = Graph(graph);
        if (FAILED(hr)) {
            return hr;
        }
        ComPtr<IBaseFilter> made;
        ComPtr<IFileSinkFilter> sink;
        hr = *type == MEDIASUBTYPE_Avi ? AviOutput(graph.Get(), file, made, sink)
                                       : AsfOutput(graph.Get(), file, made, sink);
        if (FAILED(hr)) {
            return hr;
        }
        *filter = made.Detach();
        if (sinkOut != nullptr) {
            *sinkOut = sink.Detach();
        }
        return S_OK;
    }

    struct BuilderItf : ICaptureGraphBuilder2 {
        explicit BuilderItf(TCaptureBuilder& b) : o(b) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* graph) override
        {
            return o.inner_->SetFiltergraph(graph);
        }
        HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** graph) override
        {
            return o.inner_->GetFiltergraph(graph);
        }
        HRESULT STDMETHODCALLTYPE SetOutputFileName(const GUID* type, LPCOLESTR file, IBaseFilter** filter,
                                                    IFileSinkFilter** sink) override
        {
            return ComGuard([&] { return o.SetOutputFileName(type, file, filter, sink); });
        }
        HRESULT STDMETHODCALLTYPE FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter,
                                                REFIID iid, void** obj) override
        {
            return o.inner_->FindInterface(category, type, filter, iid, obj);
        }
        HRESULT STDMETHODCALLTYPE RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                               IBaseFilter* intermediate, IBaseFilter* sink) override
        {
            return o.inner_->RenderStream(category, type, source, intermediate, sink);
        }
        HRESULT STDMETHODCALLTYPE ControlStream(const GUID* category, const GUID* type, IBaseFilter* filter,
                                                REFERENCE_TIME* start, REFERENCE_TIME* stop, WORD startCookie,
                                                WORD stopCookie) override
        {
            return o.inner_->ControlStream(category, type, filter, start, stop, startCookie, stopCookie);
        }
        HRESULT STDMETHODCALLTYPE AllocCapFile(LPCOLESTR file, DWORDLONG size) override
        {
            return o.inner_->AllocCapFile(file, size);
        }
        HRESULT STDMETHODCALLTYPE CopyCaptureFile(LPOLESTR oldFile, LPOLESTR newFile, int allowEscAbort,
                                                  IAMCopyCaptureFileProgress* callback) override
        {
            return o.inner_->CopyCaptureFile(oldFile, newFile, allowEscAbort, callback);
        }
        HRESULT STDMETHODCALLTYPE FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category, const GUID* type,
                                          BOOL unconnected, int index, IPin** pin) override
        {
            return o.inner_->FindPin(source, dir, category, type, unconnected, index, pin);
        }
        TCaptureBuilder& o;
    };

    BuilderItf builderItf_{*this};
    HMODULE qcap_ = nullptr;
    ComPtr<ICaptureGraphBuilder2> inner_;
};

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Capture Graph Builder 2";
    entry.FilterClsid = CLSID_CaptureGraphBuilder2;
    // Not a filter: no category, so the filter mapper does not list it.
    entry.Category = GUID_NULL;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        return new TCaptureBuilder(controller, hr);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
