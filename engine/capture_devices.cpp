// The capture device model and the device list.
#include "engine/capture_devices.h"

#include <dshow.h>

#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/device_classes.h"
#include "engine/dv_device.h"
#include "engine/graph_pins.h"
#include "engine/sound_device.h"
#include "engine/sound_preview.h"
#include "engine/video_device.h"
#include "engine/video_preview.h"

namespace engine {

ComPtr<IPin> VideoEndPin;
dshow::TFilter* VideoEndFilter = nullptr;
dshow::TFilter* AudioEndFilter = nullptr;

// --- TCaptureDevice ----------------------------------------------------------------------

TCaptureDevice::TCaptureDevice(const std::wstring& AFriendlyName, int ANumber, const std::wstring& BaseName)
    : FriendlyName(AFriendlyName), Number(ANumber) {
    DisplayName = ANumber >= 2 ? BaseName + L" #" + std::to_wstring(ANumber) : BaseName;
}

ComPtr<IMoniker> TCaptureDevice::Moniker() const {
    if (SourceFilter != nullptr)
        if (ComPtr<IMoniker> stored = SourceFilter->BaseFilter()->GetMoniker()) return stored;
    return ListedMoniker;
}

bool TCaptureDevice::IsAlive() {
    try {
        Tdm* module = dm();
        ComPtr<IBaseFilter> filter = SourceFilter != nullptr ? SourceFilter->GetFilter() : nullptr;
        // In the capture graph (joined, or put there by a plug-in): a device in use may refuse to be
        // bound a second time.
        if (module != nullptr && filter &&
            (SourceFilter->FilterGraph() == module->fg || GraphHolds(module->Graph().Get(), filter.Get())))
            return FindPin(module->CaptureBuilder.Get(), filter.Get(), PINDIR_OUTPUT, nullptr, nullptr, false, 0) !=
                   nullptr;
        ComPtr<IMoniker> moniker = Moniker();
        ComPtr<IBaseFilter> bound;
        return moniker && SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                          reinterpret_cast<void**>(bound.GetAddressOf()))) &&
               bound;
    } catch (...) {
        return false;
    }
}

// --- the device data module ---------------------------------------------------------------

TDeviceDataModule::TDeviceDataModule() : classlib::TComponent(nullptr) {
    fg = new dshow::TFilterGraph(this);
    fg->SetName(L"fg");
    fg->SetMode(dshow::gmCapture);
    fg->SetLinearVolume(true);
}

dshow::TFilter* TDeviceDataModule::Filter(const std::wstring& Name, const std::wstring& DisplayName) {
    return MakeFilterComponent(this, Name, DisplayName);
}

void TDeviceDataModule::Probe(std::initializer_list<dshow::TFilter*> Members,
                              const std::function<void(ICaptureGraphBuilder2*, IBaseFilter*)>& Count) {
    struct Cleanup {
        TDeviceDataModule& m;
        std::initializer_list<dshow::TFilter*> members;
        ~Cleanup() {
            for (dshow::TFilter* member : members) {
                try {
                    member->SetFilterGraph(nullptr);
                } catch (...) {
                }
            }
            try {
                m.fg->ClearGraph();
                m.fg->SetActive(false);
            } catch (...) {
            }
        }
    } cleanup{*this, Members};
    fg->SetActive(true);
    for (dshow::TFilter* member : Members) member->SetFilterGraph(fg);
    auto builder = fg->As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2);
    ComPtr<IBaseFilter> source = (*Members.begin())->GetFilter();
    if (builder && source) Count(builder.Get(), source.Get());
}

ComPtr<IPin> BuildSoundTee(IBaseFilter* From, int Stream, dshow::TFilter* Tee) {
    Tdm* module = dm();
    if (module == nullptr || From == nullptr || Stream < 1) return nullptr;
    ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
    ComPtr<IPin> pin = FindPin(builder, From, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, false, Stream - 1);
    if (!pin) return nullptr;
    Tee->SetFilterGraph(module->fg);
    AudioEndFilter = Tee;
    ComPtr<IBaseFilter> tee = Tee->GetFilter();
    if (!tee || FAILED(ConnectToFreeInput(builder, module->Graph().Get(), pin.Get(), tee.Get()))) return nullptr;
    return FindPin(builder, tee.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, true, 0);
}

void KillSoundTee(dshow::TFilter* Tee) {
    try {
        Tee->SetFilterGraph(nullptr);
        if (Tdm* module = dm()) module->RemoveOwnFilter(module->ControlPreviewAudioFilter.Get());
    } catch (...) {
    }
    AudioEndFilter = nullptr;
}

std::wstring MonikerFriendlyName(IMoniker* Moniker) {
    ComPtr<IPropertyBag> bag;
    if (Moniker == nullptr || FAILED(Moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                            reinterpret_cast<void**>(bag.GetAddressOf()))))
        return {};
    VARIANT value;
    VariantInit(&value);
    std::wstring name;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal != nullptr)
        name.assign(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return name.substr(0, dshow::kFriendlyNameMax);
}

// --- TCaptureDeviceList ---------------------------------------------------------------------

void ReleaseCurrentSources(TCaptureDevice* Device) {
    Tdm* module = dm();
    if (module == nullptr) return;
    if (module->CurrentVideoSource != nullptr && module->CurrentVideoSource->Device == Device)
        module->CurrentVideoSource->KillGraph(true);
    if (module->CurrentAudioSource != nullptr && module->CurrentAudioSource->Device == Device)
        module->CurrentAudioSource->KillGraph(true);
}

TCaptureDeviceList::~TCaptureDeviceList() {
    for (auto* store : {&devices_, &retired_}) {
        for (auto& device : *store) {
            try {
                ReleaseCurrentSources(device.get());
            } catch (...) {
            }
        }
    }
}

TCaptureDevice* TCaptureDeviceList::Get(int Index) const {
    return Index < 0 || Index >= Count() ? nullptr : devices_[static_cast<size_t>(Index)].get();
}

int TCaptureDeviceList::IndexOfMoniker(IMoniker* Moniker) const {
    if (Moniker == nullptr) return -1;
    for (int i = 0; i < Count(); ++i) {
        // Each device is asked on its own: one that cannot answer answers no, and the search goes on.
        try {
            ComPtr<IMoniker> stored = devices_[static_cast<size_t>(i)]->Moniker();
            if (stored && SameMoniker(stored.Get(), Moniker)) return i;
        } catch (...) {
        }
    }
    return -1;
}

int TCaptureDeviceList::NextNumber(const std::wstring& FriendlyName) const {
    for (int n = 1;; ++n) {
        bool taken = false;
        for (const auto& device : devices_)
            if (device->FriendlyName == FriendlyName && device->Number == n) taken = true;
        if (!taken) return n;
    }
}

TCaptureDevice* TCaptureDeviceList::Append(std::unique_ptr<TCaptureDevice> Device) {
    devices_.push_back(std::move(Device));
    return devices_.back().get();
}

bool TCaptureDeviceList::Refresh(const GUID& Category) {
    // A refresh run from a message loop inside another refresh (a device-lost event during a probe)
    // would change the list under the outer pass: the outer pass finishes the work.
    if (refreshDepth_ > 0) return false;
    struct Depth {
        int& d;
        explicit Depth(int& v) : d(v) { ++d; }
        ~Depth() { --d; }
    } depth(refreshDepth_);
    try {
        for (auto& device : devices_) device->Present = 0;
        for (const ComPtr<IMoniker>& moniker : CategoryMonikers(Category)) {
            const int index = IndexOfMoniker(moniker.Get());
            if (index >= 0) {
                TCaptureDevice* known = Get(index);
                if (known->IsAlive()) known->Present = 1;
                continue;
            }
            const std::wstring name = MonikerFriendlyName(moniker.Get());
            const int number = NextNumber(name);
            if (plugins_ != nullptr) {
                if (std::unique_ptr<TCaptureDevice> device = plugins_->CreateDevice(name, number)) {
                    if (device->Loaded) {
                        // A plug-in's source filter may name no moniker: the device is found again
                        // by this one, and keeps its number and its preview.
                        device->ListedMoniker = moniker;
                        device->Present = 1;
                        Append(std::move(device));
                    } else {
                        plugins_->Refused(name);
                    }
                    continue;
                }
            }
            std::unique_ptr<TCaptureDevice> device;
            switch (ClassifyDevice(moniker.Get())) {
            case kClassDV: device = std::make_unique<TDVCaptureDevice>(moniker.Get(), number, name); break;
            case kClassVideo: device = std::make_unique<TVideoCaptureDevice>(moniker.Get(), number, name); break;
            case kClassSound: device = std::make_unique<TAudioCaptureDevice>(moniker.Get(), number, name); break;
            default: break;
            }
            if (device) {
                device->ListedMoniker = moniker;
                device->Present = 1;
                Append(std::move(device));
            }
        }
        for (int i = Count() - 1; i >= 0; --i) {
            TCaptureDevice* device = Get(i);
            if (device->Present != 0) continue;
            ReleaseCurrentSources(device);
            retired_.push_back(std::move(devices_[static_cast<size_t>(i)]));
            devices_.erase(devices_.begin() + i);
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace engine
