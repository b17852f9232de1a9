// Capture sources: one selectable video or sound stream of a device (its device, 1-based stream
// index and shown name), the format of the current sources' native streams, the source lists
// with their unique names, and the crossbar moniker list. Main thread only.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/objects.h"

namespace filters {
class Tqz_SceneDetect;
}

namespace engine {

using Microsoft::WRL::ComPtr;

class TCaptureDevice;
class TCaptureDeviceList;
class ICamWindow;
class TVideoSource;
class TAudioSource;

// The native streams of the current sources, written by the preview branches and read by the
// recording builders and the main window.
struct TNativeFormat {
    long SourceHeight = 0;
    long SourceWidth = 0;
    long SourceAspectX = 0;
    long SourceAspectY = 0;
    std::string SourceFourCC;  // the four-character code, or "MPEG1" / "MPEG2"
    bool SourceCompressed = false;
    long SourceFrameTime = 0;  // 100-ns units
    double SourceFps = 0.0;
    long SoundRate = 0;
    long SoundBits = 0;
    long SoundChannels = 0;
};
extern TNativeFormat Native;

// What a video and a sound source share.
class TavFlux : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TavFlux)
    TavFlux(TCaptureDevice* ADevice, int AIndex);
    // The shown name of Device's stream Index of one kind: the device's name, Suffix after it when
    // the device also has streams of the other kind, and Separator and the number from the second
    // stream on (the suffix then dropped).
    static std::wstring StreamName(const TCaptureDevice* Device, int Index, bool OtherKind, const wchar_t* Suffix,
                                   const wchar_t* Separator);

    bool HasTransport = false;
    ICamWindow* CamWindow = nullptr;
    bool IsVcr = false;
    bool IsCamera = false;
    filters::Tqz_SceneDetect* SceneFilter = nullptr;
    TCaptureDevice* Device = nullptr;
    int Index = 0;
    std::wstring Name;
    bool Active = false;

protected:
    // Takes Device's stream Index (1..Count) with its name; out of range, the source stays empty.
    void Take(TCaptureDevice* ADevice, int AIndex, int Count, const std::wstring& AName);
    // The tape transport and device type of the device's source filter (steps shared by both
    // preview branches): binds a camcorder window (Shared when a source of the same device
    // already has one) and reads the device type.
    void BindTransport(ICamWindow* Shared);
    // Lets the camcorder window go: stops the tape when asked, empties the window's transport,
    // hides it and tells the main window.
    void ReleaseCamWindow();
    // Whether Other (the current source of the other kind) uses this source's device.
    bool SharesDevice(const TavFlux* Other) const { return Other != nullptr && Other->Device == Device; }
    // Takes the device's source part out, and with WithWindow lets the camcorder window go, unless
    // Other still uses the device.
    void ReleaseDevice(const TavFlux* Other, bool WithWindow);
    // The device's source filter as IBaseFilter.
    ComPtr<IBaseFilter> SourceBaseFilter() const;
};

// A list of sources that owns them. Names are unique in a list: a source whose name another source
// already has gets " (2)", " (3)", ... after it, so that a stored choice picks one stream only.
template <typename T>
class TSourceList : public classlib::TObject {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // nullptr outside 0..Count-1.
    T* Get(int Index) const {
        return Index < 0 || Index >= Count() ? nullptr : items_[static_cast<size_t>(Index)].get();
    }
    // The first source named Name, nullptr when none.
    T* Find(const std::wstring& Name) const {
        for (const auto& item : items_)
            if (item->Name == Name) return item.get();
        return nullptr;
    }
    int IndexOf(const T* Source) const {
        for (int i = 0; i < Count(); ++i)
            if (items_[static_cast<size_t>(i)].get() == Source) return i;
        return -1;
    }
    T* Add(std::unique_ptr<T> Source) {
        const std::wstring base = Source->Name;
        for (int n = 2; Find(Source->Name) != nullptr; ++n) Source->Name = base + L" (" + std::to_wstring(n) + L")";
        items_.push_back(std::move(Source));
        return items_.back().get();
    }
    // Takes every source out of the list. They are kept until the list goes: the current sources,
    // and callers up the stack, may still hold them.
    void Clear() {
        for (auto& item : items_) retired_.push_back(std::move(item));
        items_.clear();
    }
    // The source of Device's stream Index, taken back from the list or from those cleared before;
    // nullptr when the list never had one.
    std::unique_ptr<T> Reclaim(TCaptureDevice* Device, int Index) {
        for (auto* store : {&items_, &retired_}) {
            for (auto it = store->begin(); it != store->end(); ++it) {
                if ((*it)->Device == Device && (*it)->Index == Index) {
                    std::unique_ptr<T> found = std::move(*it);
                    store->erase(it);
                    return found;
                }
            }
        }
        return nullptr;
    }

private:
    std::vector<std::unique_ptr<T>> items_;
    std::vector<std::unique_ptr<T>> retired_;
};

using TvideoSourcesList = TSourceList<TVideoSource>;
using TAudioSourcesList = TSourceList<TAudioSource>;

// Rebuilds both lists from the devices of the two device lists, in device order: one video source
// per video stream, one sound source per sound stream, for each device Admit accepts (asked once
// per device, in that order; every device without it). A source already made for a device's
// stream is kept (the current sources stay valid); its name is made again.
void FillSourceLists(const TCaptureDeviceList& VideoDevices, const TCaptureDeviceList& AudioDevices,
                     TvideoSourcesList& Video, TAudioSourcesList& Audio,
                     const std::function<bool(const TCaptureDevice& Device)>& Admit = nullptr);

// A list of device monikers.
class TMonikerList : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TMonikerList)
    int Count() const { return static_cast<int>(items_.size()); }
    // nullptr outside 0..Count-1.
    ComPtr<IMoniker> GetMoniker(int Index) const;
    void Add(IMoniker* Moniker);
    void Clear() { items_.clear(); }
    // Empties the list, then adds every crossbar of the system in enumeration order.
    void FillCrossbars();

private:
    std::vector<ComPtr<IMoniker>> items_;
};

// The crossbar monikers the video devices try in front of an analogue input (kept by the main
// window; filled at each enumeration).
TMonikerList& Crossbars();

}  // namespace engine
