// Crossbar routing.
#include "dshow/crossbar.h"

#include <uuids.h>

#include "dshow/ds_helpers.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"

namespace dshow {

namespace {

// Video connectors are the codes below this one; audio connectors start here.
constexpr long kFirstAudioConnector = 0x1000;
// Deeper than any real cascade: a connection loop through crossbars ends here instead of
// recursing without end.
constexpr long kMaxDepth = 32;

// The filter's pins in enumeration order (inputs first for a crossbar).
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* Filter) {
    std::vector<ComPtr<IPin>> result;
    ComPtr<IEnumPins> pins;
    if (Filter == nullptr || FAILED(Filter->EnumPins(&pins)) || !pins) return result;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) result.push_back(pin);
    return result;
}

}  // namespace

std::wstring PhysicalConnectorName(long PhysicalType) {
    unsigned id = IDS_PHYSCONN_UNKNOWN;
    if (PhysicalType >= PhysConn_Video_Tuner && PhysicalType <= PhysConn_Video_SCART)
        id = IDS_PHYSCONN_VIDEO_TUNER + static_cast<unsigned>(PhysicalType - PhysConn_Video_Tuner);
    else if (PhysicalType >= PhysConn_Audio_Tuner && PhysicalType <= PhysConn_Audio_AudioDecoder)
        id = IDS_PHYSCONN_AUDIO_TUNER + static_cast<unsigned>(PhysicalType - PhysConn_Audio_Tuner);
    return settings::LoadProgramText(id);
}

TCrossbar::TCrossbar(IPin* StartPin) {
    if (StartPin == nullptr) return;
    TCrRouting working;
    BuildRoutingList(StartPin, &working, 0);
}

HRESULT TCrossbar::BuildRoutingList(IPin* StartPin, TCrRouting* Routing, long Depth) {
    ComPtr<IPin> upstream;
    if (FAILED(StartPin->ConnectedTo(&upstream)) || !upstream) return Depth == 0 ? E_FAIL : S_FALSE;

    PIN_INFO info = {};
    if (FAILED(upstream->QueryPinInfo(&info))) return S_OK;
    // QueryPinInfo gave a counted reference: taken over as is (MinGW's ComPtr::Attach would add
    // another one).
    ComPtr<IBaseFilter> filter;
    TakeOver(filter, info.pFilter);
    if (info.dir != PINDIR_OUTPUT || !filter) return S_OK;

    ComPtr<IAMCrossbar> crossbar;
    if (FAILED(filter.As(&crossbar)) || !crossbar) return Depth == 0 ? E_FAIL : S_FALSE;
    if (Depth >= kMaxDepth) return S_OK;

    long outputs = 0, inputs = 0;
    if (FAILED(crossbar->get_PinCounts(&outputs, &inputs))) return S_OK;
    const std::vector<ComPtr<IPin>> pins = PinsOf(filter.Get());
    long outputIndex = -1;
    for (size_t p = 0; p < pins.size(); ++p)
        if (pins[p].Get() == upstream.Get()) outputIndex = static_cast<long>(p) - inputs;
    if (outputIndex < 0 || outputIndex >= outputs) return S_OK;

    long audioOutput = -1, outputType = 0;
    crossbar->get_CrossbarPinInfo(FALSE, outputIndex, &audioOutput, &outputType);

    for (long i = 0; i < inputs; ++i) {
        long audioInput = -1, inputType = 0;
        if (FAILED(crossbar->get_CrossbarPinInfo(TRUE, i, &audioInput, &inputType))) continue;
        if (inputType >= kFirstAudioConnector || crossbar->CanRoute(outputIndex, i) != S_OK) continue;
        if (static_cast<size_t>(i) >= pins.size()) continue;

        TCrRouting next;
        next.RightRouting = Routing;
        Routing->LeftRouting = &next;
        Routing->VideoInputIndex = i;
        Routing->VideoOutputIndex = outputIndex;
        Routing->AudioInputIndex = audioInput;
        Routing->AudioOutputIndex = audioOutput;
        Routing->Crossbar = crossbar;
        Routing->VideoInputPhysicalType = inputType;
        Routing->VideoOutputPhysicalType = outputType;
        Routing->Depth = Depth;

        HRESULT hr = BuildRoutingList(pins[static_cast<size_t>(i)].Get(), &next, Depth + 1);
        Routing->LeftRouting = nullptr;
        // The chain ends at this crossbar's input: the current record is its farthest upstream.
        if (hr == S_FALSE) SaveRouting(Routing);
    }
    return S_OK;
}

void TCrossbar::SaveRouting(const TCrRouting* Routing) {
    TRouteArray chain;
    chain.reserve(static_cast<size_t>(Routing->Depth) + 1);
    for (const TCrRouting* r = Routing; r != nullptr; r = r->RightRouting) chain.push_back(*r);
    for (size_t j = 0; j < chain.size(); ++j) {
        chain[j].LeftRouting = j > 0 ? &chain[j - 1] : nullptr;
        chain[j].RightRouting = j + 1 < chain.size() ? &chain[j + 1] : nullptr;
    }
    chains_.push_back(std::move(chain));
}

HRESULT TCrossbar::GetInputCount(long& Count) const {
    Count = static_cast<long>(chains_.size());
    return S_OK;
}

HRESULT TCrossbar::GetInputType(long Index, long& PhysicalType) const {
    if (Index < 0 || Index >= static_cast<long>(chains_.size())) return E_FAIL;
    PhysicalType = chains_[static_cast<size_t>(Index)].front().VideoInputPhysicalType;
    return S_OK;
}

HRESULT TCrossbar::GetInputName(long Index, std::wstring& Name) const {
    long type = 0;
    HRESULT hr = GetInputType(Index, type);
    if (FAILED(hr)) return hr;
    Name = PhysicalConnectorName(type);
    return S_OK;
}

HRESULT TCrossbar::SetInputIndex(long Index) {
    HRESULT result = E_FAIL;
    if (Index < 0 || Index >= static_cast<long>(chains_.size())) return result;
    for (const TCrRouting& r : chains_[static_cast<size_t>(Index)]) {
        result = r.Crossbar->Route(r.VideoOutputIndex, r.VideoInputIndex);
        if (result == S_OK && r.AudioOutputIndex != -1 && r.AudioInputIndex != -1)
            result = r.Crossbar->Route(r.AudioOutputIndex, r.AudioInputIndex);
    }
    currentIndex_ = Index;
    return result;
}

}  // namespace dshow
