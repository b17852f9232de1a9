// The capture graph builder's output file: for AVI a multiplexer connected to a file writer that
// has the name, with the pin order the recording builders count on; for ASF whatever is registered
// as the Windows Media writer, or the creation error with the graph left as it was; the other
// methods still Wine's.
#include "recording_support.h"

#include "filters/base_pin.h"
#include "tests/common/hidden_class.h"

namespace recording_test {
namespace {

int FilterCount(IFilterGraph* graph)
{
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.GetAddressOf());
    int n = 0;
    ComPtr<IBaseFilter> f;
    while (e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ++n;
    }
    return n;
}

std::wstring PinName(IPin* pin)
{
    PIN_INFO info{};
    pin->QueryPinInfo(&info);
    if (info.pFilter != nullptr) {
        info.pFilter->Release();
    }
    return info.achName;
}

TEST_F(Recording, TheAviOutputIsAMultiplexerFeedingAFileWriterThatHasTheName)
{
    AviOutput(L"clip.avi");
    CLSID clsid{};
    ASSERT_EQ(S_OK, mux->GetClassID(&clsid));
    EXPECT_EQ(CLSID_AviDest, clsid);
    ComPtr<IBaseFilter> byName;
    ASSERT_EQ(S_OK, graph->FindFilterByName(standins::kOutputMuxName, byName.GetAddressOf()));
    EXPECT_EQ(mux.Get(), byName.Get());
    ComPtr<IBaseFilter> writer;
    ASSERT_EQ(S_OK, graph->FindFilterByName(standins::kOutputWriterName, writer.GetAddressOf()));
    EXPECT_EQ(S_OK, writer->GetClassID(&clsid));
    EXPECT_EQ(CLSID_FileWriter, clsid);
    LPOLESTR name = nullptr;
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(S_OK, sink->GetCurFile(&name, &mt));
    EXPECT_EQ(path.wstring(), name);
    CoTaskMemFree(name);

    // Output at 0, connected to the writer; the first input at 1.
    ComPtr<IPin> out = PinIndex(mux.Get(), 0), peer;
    PIN_DIRECTION dir{};
    ASSERT_TRUE(out);
    out->QueryDirection(&dir);
    EXPECT_EQ(PINDIR_OUTPUT, dir);
    ASSERT_EQ(S_OK, out->ConnectedTo(peer.GetAddressOf()));
    EXPECT_EQ(PinAt(writer.Get(), PINDIR_INPUT).Get(), peer.Get());
    ComPtr<IPin> first = PinIndex(mux.Get(), 1);
    ASSERT_TRUE(first);
    first->QueryDirection(&dir);
    EXPECT_EQ(PINDIR_INPUT, dir);
    EXPECT_FALSE(PinIndex(mux.Get(), 2)) << "one free input only";

    // Each connection brings a new free input, last in the list.
    auto camera = Camera();
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(camera.Get(), PINDIR_OUTPUT).Get(), first.Get(), nullptr));
    ComPtr<IPin> second = LastPin(mux.Get());
    EXPECT_EQ(second.Get(), PinIndex(mux.Get(), 2).Get());
    EXPECT_EQ(L"Input 02", PinName(second.Get()));
    auto microphone = Microphone();
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(microphone.Get(), PINDIR_OUTPUT).Get(), second.Get(), nullptr));
    EXPECT_TRUE(PinIndex(mux.Get(), 3));
    // A disconnected input goes again: one free input is kept, never two.
    ASSERT_EQ(S_OK, graph->Disconnect(second.Get()));
    EXPECT_FALSE(PinIndex(mux.Get(), 3));

    // What the builder does not answer itself is still Wine's.
    ComPtr<IGraphBuilder> same;
    ASSERT_EQ(S_OK, builder->GetFiltergraph(same.GetAddressOf()));
    EXPECT_EQ(graph.Get(), same.Get());
    ComPtr<IPin> capture;
    EXPECT_EQ(S_OK, builder->FindPin(camera.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0,
                                     capture.GetAddressOf()));
}

TEST_F(Recording, WrongArgumentsAndOtherTypesAddNothing)
{
    const int before = FilterCount(graph.Get());
    ComPtr<IBaseFilter> filter;
    ComPtr<IFileSinkFilter> fileSink;
    EXPECT_EQ(E_POINTER, builder->SetOutputFileName(nullptr, L"x.avi", filter.GetAddressOf(), nullptr));
    EXPECT_EQ(E_POINTER, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, nullptr, filter.GetAddressOf(), nullptr));
    EXPECT_EQ(E_POINTER, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"x.avi", nullptr, nullptr));
    EXPECT_FALSE(SUCCEEDED(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"", filter.GetAddressOf(),
                                                      fileSink.GetAddressOf())));
    EXPECT_FALSE(SUCCEEDED(builder->SetOutputFileName(&MEDIASUBTYPE_WAVE, L"x.wav", filter.GetAddressOf(),
                                                      fileSink.GetAddressOf())));
    EXPECT_FALSE(filter);
    EXPECT_FALSE(fileSink);
    EXPECT_EQ(before, FilterCount(graph.Get()));
}

TEST_F(Recording, AMultiplexerWithNoStreamToWriteThroughRefusesToStart)
{
    auto camera = Camera();
    auto muxer = AddStock(CLSID_AviDest, L"AVI Mux");
    auto null = AddStock(CLSID_NullRenderer, L"Null");  // takes the bytes, offers no IStream
    ASSERT_EQ(S_OK, Link(muxer.Get(), null.Get()));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(camera.Get(), PINDIR_OUTPUT).Get(), PinIndex(muxer.Get(), 1).Get(), nullptr));
    // Wine's graph does not pass a failed Pause of a filter that is no renderer on from Run: the
    // multiplexer says why through the graph's events as well.
    const HRESULT run = control->Run();
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (code != EC_ERRORABORT && events->GetEvent(&code, &p1, &p2, 5000) == S_OK) {
        events->FreeEventParams(code, p1, p2);
    }
    const bool reported = code == EC_ERRORABORT && static_cast<HRESULT>(p1) == E_NOINTERFACE;
    EXPECT_TRUE(run == E_NOINTERFACE || reported) << std::hex << run << " " << code << " " << p1;
    control->Stop();
}

TEST_F(Recording, AnAsfOutputWithNoWriterRegisteredAnswersWhyAndAddsNothing)
{
    // The prefix's stand-in writer hidden, as on a system without one.
    quill_test::THiddenClass hidden(CLSID_WMAsfWriter);
    ASSERT_TRUE(hidden.Hidden());
    const int before = FilterCount(graph.Get());
    ComPtr<IBaseFilter> filter;
    ComPtr<IFileSinkFilter> fileSink;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, builder->SetOutputFileName(&MEDIASUBTYPE_Asf, (dir / L"clip.wmv").c_str(),
                                                              filter.GetAddressOf(), fileSink.GetAddressOf()));
    EXPECT_FALSE(filter);
    EXPECT_FALSE(fileSink);
    EXPECT_EQ(before, FilterCount(graph.Get()));
}

// A Windows Media writer for this process only: a filter that takes a file name.
class TestAsfWriter : public filters::TBCBaseFilter {
public:
    TestAsfWriter() : TBCBaseFilter("Test ASF writer", nullptr, std::make_unique<filters::TBCCritSec>(), CLSID_WMAsfWriter) {}
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IFileSinkFilter) {
            return GetInterface(&sinkItf_, obj);
        }
        return TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
    }
    int GetPinCount() override { return 0; }
    filters::TBCBasePin* GetPin(int) override { return nullptr; }
    std::wstring FileName;

private:
    struct SinkItf : IFileSinkFilter {
        explicit SinkItf(TestAsfWriter& w) : o(w) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) override
        {
            o.FileName = name;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE*) override
        {
            return filters::AMGetWideString(o.FileName, name);
        }
        TestAsfWriter& o;
    };
    SinkItf sinkItf_{*this};
};

class AsfWriterFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
        return *obj != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** obj) override
    {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        Made = new TestAsfWriter;
        ComPtr<IBaseFilter> filter(Made->BaseFilterInterface());
        return filter->QueryInterface(iid, obj);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    TestAsfWriter* Made = nullptr;
};

TEST_F(Recording, AnAsfOutputIsTheRegisteredWriterAsFilterAndSink)
{
    static AsfWriterFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_WMAsfWriter, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    const std::wstring file = (dir / L"clip.wmv").wstring();
    HRESULT hr = builder->SetOutputFileName(&MEDIASUBTYPE_Asf, file.c_str(), mux.GetAddressOf(), sink.GetAddressOf());
    CoRevokeClassObject(cookie);
    ASSERT_EQ(S_OK, hr);
    ASSERT_TRUE(factory.Made != nullptr);
    EXPECT_EQ(factory.Made->BaseFilterInterface(), mux.Get());
    ComPtr<IFileSinkFilter> own;
    ASSERT_EQ(S_OK, mux.As(&own));
    EXPECT_EQ(own.Get(), sink.Get()) << "the writer is its own sink";
    EXPECT_EQ(file, factory.Made->FileName);
    ComPtr<IBaseFilter> byName;
    ASSERT_EQ(S_OK, graph->FindFilterByName(standins::kOutputMuxName, byName.GetAddressOf()));
    EXPECT_EQ(mux.Get(), byName.Get());
}

}  // namespace
}  // namespace recording_test
