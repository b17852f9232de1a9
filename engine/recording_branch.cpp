// The recording builders' shared steps.
#include "engine/recording_branch.h"

#include <cstring>

#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"

namespace engine {

void TRecordingBranch::SetOutputFile(const GUID& Subtype, const std::wstring& FileName) {
    module_.MuxFilter.Reset();
    module_.FileSink.Reset();
    if (!module_.CaptureBuilder) throw ERecordingBuildError(L"no capture graph builder");
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    const HRESULT hr =
        module_.CaptureBuilder->SetOutputFileName(&Subtype, FileName.c_str(), mux.GetAddressOf(), sink.GetAddressOf());
    // Kept even on failure: whatever the call left in the graph is then removed with the branch.
    module_.MuxFilter = mux;
    module_.FileSink = sink;
    if (FAILED(hr) || !mux) throw ERecordingBuildError(L"the output file cannot be made: " + FileName);
    WriteOver(sink.Get());
}

ComPtr<IBaseFilter> TRecordingBranch::Join(dshow::TFilter* Component) {
    Component->SetFilterGraph(module_.fg);
    ComPtr<IBaseFilter> filter = Component->GetFilter();
    if (!filter) throw ERecordingBuildError(L"no filter for " + Component->Name());
    return filter;
}

void TRecordingBranch::Add(IBaseFilter* Filter, const wchar_t* Name) {
    if (FAILED(module_.AddOwnFilter(Filter, Name))) throw ERecordingBuildError(std::wstring(Name) + L" not added");
}

dshow::TPinList& TRecordingBranch::List(IBaseFilter* Filter) {
    if (Filter == nullptr) throw ERecordingBuildError(L"no filter");
    for (std::size_t i = 0; i < listed_.size(); ++i)
        if (listed_[i].Get() == Filter) return *lists_[i];
    listed_.emplace_back(Filter);
    lists_.push_back(std::make_unique<dshow::TPinList>(Filter));
    return *lists_.back();
}

IPin* TRecordingBranch::Pin(IBaseFilter* Filter, int Index) { return List(Filter).GetPin(Index); }

IPin* TRecordingBranch::LastPin(IBaseFilter* Filter) {
    dshow::TPinList& list = List(Filter);
    return list.GetPin(list.Count() - 1);
}

void TRecordingBranch::Refresh(IBaseFilter* Filter) { List(Filter).Update(); }

void TRecordingBranch::Link(IPin* Output, IPin* Input, const wchar_t* What) {
    ComPtr<IFilterGraph> graph = module_.Graph();
    if (!graph || FAILED(ConnectOwnType(graph.Get(), Output, Input)))
        throw ERecordingBuildError(std::wstring(L"no connection: ") + What);
}

void SetSoundFormat(Tdm& Module) {
    if (Module.SetAudioCaptureFormat(false)) return;
    throw ERecordingBuildError(L"the sound format " + SoundFormatText(Module.CaptureSoundFormat()) + L" is refused");
}

void WriteOver(IUnknown* Sink) {
    ComPtr<IFileSinkFilter2> sink = Query<IFileSinkFilter2>(Sink, IID_IFileSinkFilter2);
    if (sink && FAILED(sink->SetMode(AM_FILE_OVERWRITE)))
        throw ERecordingBuildError(L"the file writer cannot write over an existing file");
}

bool CanMake(dshow::TFilter* Component) {
    try {
        return Component != nullptr && Component->BaseFilter()->CreateFilter() != nullptr;
    } catch (...) {
        return false;
    }
}

namespace {
std::wstring g_lastError;
}

const std::wstring& LastRecordingBuildError() { return g_lastError; }

bool RunRecordingBuild(Tdm& Module, const std::function<bool(TRecordingBranch&)>& Build) {
    bool built = false;
    g_lastError.clear();
    try {
        TRecordingBranch branch(Module);
        built = Build(branch);
    } catch (const classlib::Exception& e) {
        g_lastError = e.Message();
    } catch (const std::exception& e) {
        g_lastError = std::wstring(e.what(), e.what() + std::strlen(e.what()));
    } catch (...) {
        g_lastError = L"unexpected failure";
    }
    if (built) return true;
    try {
        // A branch left half made would hold the file open and be found again at the next start.
        if (Module.DVHalfSize)
            Module.StopCaptureGraph();
        else
            Module.RemoveRecordingBranch();
    } catch (...) {
    }
    return false;
}

}  // namespace engine
