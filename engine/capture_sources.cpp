// Capture sources, the source lists and the crossbar moniker list.
#include "engine/capture_sources.h"

#include <dshow.h>
#include <edevdefs.h>

#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"

namespace engine {

TNativeFormat Native;

namespace {
// Device types (ED_DEVCAP_DEVICE_TYPE answers); MinGW's edevdefs.h lacks the camera's.
constexpr long kDeviceTypeCamera = 0x1384;  // ED_DEVTYPE_CAMERA
constexpr long kDeviceTypeVcr = 0x1008;     // ED_DEVTYPE_VCR
// AM_KSCATEGORY_CROSSBAR (MinGW declares it only in ksuuids.h, which clashes with dshow.h).
const GUID kCrossbarCategory = {0xa799a801, 0xa46d, 0x11d0, {0xa1, 0x8c, 0x00, 0xa0, 0x24, 0x01, 0xdc, 0xd4}};
}  // namespace

TavFlux::TavFlux(TCaptureDevice* ADevice, int AIndex) : Device(ADevice), Index(AIndex) {}

std::wstring TavFlux::StreamName(const TCaptureDevice* ADevice, int AIndex, bool OtherKind, const wchar_t* Suffix,
                                 const wchar_t* Separator) {
    if (AIndex > 1) return ADevice->DisplayName + Separator + std::to_wstring(AIndex);
    return OtherKind ? ADevice->DisplayName + Suffix : ADevice->DisplayName;
}

void TavFlux::Take(TCaptureDevice* ADevice, int AIndex, int Count, const std::wstring& AName) {
    if (ADevice == nullptr || AIndex < 1 || AIndex > Count) return;
    Device = ADevice;
    Index = AIndex;
    Name = AName;
    SceneFilter = ADevice->Kind == kKindDV ? ADevice->SceneDetector() : nullptr;
}

ComPtr<IBaseFilter> TavFlux::SourceBaseFilter() const {
    if (Device == nullptr || Device->SourceFilter == nullptr) return nullptr;
    return Device->SourceFilter->As<IBaseFilter>(IID_IBaseFilter);
}

void TavFlux::BindTransport(ICamWindow* Shared) {
    ComPtr<IBaseFilter> filter = SourceBaseFilter();
    ComPtr<IAMExtTransport> transport = Query<IAMExtTransport>(filter.Get(), IID_IAMExtTransport);
    HasTransport = transport != nullptr;
    if (HasTransport) {
        IEngineHost* host = EngineHost();
        ICamWindow* window = Shared;
        if (window == nullptr && host != nullptr) {
            ICamWindow* first = host->CamWindow(0);
            window = first != nullptr && first->Transport() == nullptr ? first : host->CamWindow(1);
        }
        CamWindow = window;
        if (window != nullptr) {
            window->SetCaption(Device->DisplayName);
            window->SetVisible(window->ShowFlag());
            window->SetTransport(transport.Get());
            window->SetHasTransport(true);
            ComPtr<IAMTimecodeReader> reader = Query<IAMTimecodeReader>(filter.Get(), IID_IAMTimecodeReader);
            window->SetTimecodeReader(reader.Get());
            window->SetHasTimecode(reader != nullptr);
        }
    }
    IsVcr = false;
    IsCamera = false;
    if (ComPtr<IAMExtDevice> device = Query<IAMExtDevice>(filter.Get(), IID_IAMExtDevice)) {
        long type = 0;
        if (SUCCEEDED(device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr))) {
            IsCamera = type == kDeviceTypeCamera;
            IsVcr = type == kDeviceTypeVcr;
        }
    }
}

void TavFlux::ReleaseCamWindow() {
    ICamWindow* window = CamWindow;
    CamWindow = nullptr;
    HasTransport = false;
    if (window == nullptr) return;
    if (window->StopOnLeave()) window->TransportStop();
    window->SetTransport(nullptr);
    window->SetHasTransport(false);
    window->SetTimecodeReader(nullptr);
    window->SetHasTimecode(false);
    window->SetVisible(false);
    if (IEngineHost* host = EngineHost()) host->ForgetCamForm(window);
}

namespace {

// The sources of one kind for Device's Count streams, kept from the list's earlier ones where it had them.
template <typename T>
void AddStreams(TSourceList<T>& List, TCaptureDevice* Device, int Count) {
    for (int i = 1; i <= Count; ++i) {
        std::unique_ptr<T> source = List.Reclaim(Device, i);
        if (source)
            source->Name = T(Device, i).Name;
        else
            source = std::make_unique<T>(Device, i);
        List.Add(std::move(source));
    }
}

}  // namespace

void TavFlux::ReleaseDevice(const TavFlux* Other, bool WithWindow) {
    if (SharesDevice(Other)) return;
    Device->KillSourceGraph();
    if (WithWindow) ReleaseCamWindow();
}

void FillSourceLists(const TCaptureDeviceList& VideoDevices, const TCaptureDeviceList& AudioDevices,
                     TvideoSourcesList& Video, TAudioSourcesList& Audio,
                     const std::function<bool(const TCaptureDevice& Device)>& Admit) {
    Video.Clear();
    Audio.Clear();
    for (const TCaptureDeviceList* list : {&VideoDevices, &AudioDevices}) {
        for (int d = 0; d < list->Count(); ++d) {
            TCaptureDevice* device = list->Get(d);
            if (device == nullptr || (Admit && !Admit(*device))) continue;
            AddStreams(Video, device, device->VideoCount);
            AddStreams(Audio, device, device->AudioCount);
        }
    }
}

ComPtr<IMoniker> TMonikerList::GetMoniker(int Index) const {
    return Index < 0 || Index >= Count() ? nullptr : items_[static_cast<size_t>(Index)];
}

void TMonikerList::Add(IMoniker* Moniker) { items_.emplace_back(Moniker); }

void TMonikerList::FillCrossbars() {
    items_.clear();
    for (const ComPtr<IMoniker>& moniker : CategoryMonikers(kCrossbarCategory)) items_.push_back(moniker);
}

TMonikerList& Crossbars() {
    static TMonikerList* list = new TMonikerList;  // kept to the end: its monikers outlive COM's use
    return *list;
}

}  // namespace engine
