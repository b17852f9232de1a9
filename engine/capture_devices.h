// The capture device model: a device (a DV camcorder, a capture card or webcam, a sound input, or
// one driven by a capture plug-in) puts its own filters into the capture graph through eight
// operations and leaves the ends of its branches in three globals; the device list re-enumerates
// one device category and keeps its devices alive across re-enumerations. Main thread only.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "classlib/objects.h"
#include "dshow/ds_components.h"

namespace filters {
class Tqz_SceneDetect;
}

namespace engine {

using Microsoft::WRL::ComPtr;

// Device kinds.
constexpr std::uint8_t kKindProbing = 0;
constexpr std::uint8_t kKindDV = 1;
constexpr std::uint8_t kKindPlugIn = 2;
constexpr std::uint8_t kKindVideo = 3;
constexpr std::uint8_t kKindSound = 4;

// The ends of the last branches a device built: the pin where the video preview continues, the
// tee carrying the device's native video and the tee carrying its native sound. The tees are
// components of a device's data module (devices are never freed while the program runs).
extern ComPtr<IPin> VideoEndPin;
extern dshow::TFilter* VideoEndFilter;
extern dshow::TFilter* AudioEndFilter;

class TCaptureDevice : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TCaptureDevice)
    // DisplayName := BaseName, followed by " #" and Number from the second device of a name on;
    // clears the stream counts. The end filters stay: they are the current sources' (a device made
    // by a refresh has built nothing), and the next recording taps them.
    TCaptureDevice(const std::wstring& FriendlyName, int Number, const std::wstring& BaseName);
    ~TCaptureDevice() override = default;

    std::wstring DisplayName;
    std::wstring FriendlyName;
    int Number = 0;
    int VideoCount = 0;
    int AudioCount = 0;
    // The source filter component (the device's, or what its source part answered).
    dshow::TFilter* SourceFilter = nullptr;
    bool Loaded = false;
    std::uint8_t FirstNativeFormat = 0;
    std::uint8_t SecondNativeFormat = 0;
    std::uint8_t Kind = kKindProbing;
    int Present = 0;
    // The system device moniker under which the device list found the device.
    ComPtr<IMoniker> ListedMoniker;
    // The moniker that names the device: its source filter's stored one, else the listed one (a
    // plug-in's source filter may name none); nullptr when neither is there.
    ComPtr<IMoniker> Moniker() const;

    // The eight graph operations. They never raise: failure shows as an empty end pin or false.
    virtual void SetVideoGraph(int Stream) = 0;
    // The pin where the sound branch of Stream ends, nullptr on failure.
    virtual ComPtr<IPin> SetAudioGraph(int Stream) = 0;
    virtual void KillVideoGraph() = 0;
    virtual void KillAudioGraph() = 0;
    virtual dshow::TFilter* SetSourceGraph() = 0;
    virtual void KillSourceGraph() = 0;
    virtual bool BuildMuxGraph(const std::wstring& FileName) = 0;
    virtual bool KillMuxGraph() = 0;

    // The scene detector of a DV device, nullptr for the others.
    virtual filters::Tqz_SceneDetect* SceneDetector() { return nullptr; }
    // Whether a device found again still answers: through the capture graph when its source is
    // there, else by binding its moniker.
    bool IsAlive();
};

// The seam through which capture plug-ins claim devices before they are classified.
class IPluginDevices {
public:
    // The device the plug-in that drives FriendlyName makes, with Loaded telling whether the plug-in
    // accepted it; nullptr when no plug-in drives that name.
    virtual std::unique_ptr<TCaptureDevice> CreateDevice(const std::wstring& FriendlyName, int Number) = 0;
    // The plug-in refused its device (the device was not Loaded).
    virtual void Refused(const std::wstring& FriendlyName) = 0;

protected:
    ~IPluginDevices() = default;
};

class TCaptureDeviceList : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TCaptureDeviceList)
    TCaptureDeviceList() = default;
    // Tears down the current sources that use a device of the list, then frees every device.
    ~TCaptureDeviceList() override;
    TCaptureDeviceList(const TCaptureDeviceList&) = delete;
    TCaptureDeviceList& operator=(const TCaptureDeviceList&) = delete;

    int Count() const { return static_cast<int>(devices_.size()); }
    // nullptr outside 0..Count-1.
    TCaptureDevice* Get(int Index) const;
    // The first device whose moniker (Moniker()) names Moniker; -1 when none. A device that cannot
    // answer is passed over, not taken as the end of the search.
    int IndexOfMoniker(IMoniker* Moniker) const;
    // The smallest n from 1 such that no device has FriendlyName (exact) and Number n.
    int NextNumber(const std::wstring& FriendlyName) const;
    // Re-enumerates Category: keeps the devices still present, adds the new ones (plug-in devices
    // first, else by classification), and takes the vanished ones out after tearing down a current
    // source of theirs. False when the pass failed.
    bool Refresh(const GUID& Category);
    // Adds a device made elsewhere (plug-in devices, tests).
    TCaptureDevice* Append(std::unique_ptr<TCaptureDevice> Device);

    void SetPlugins(IPluginDevices* Plugins) { plugins_ = Plugins; }

private:
    std::vector<std::unique_ptr<TCaptureDevice>> devices_;
    // Devices that left the list: sources made on them may still refer to them, and a caller up
    // the stack may still be using them, so they live as long as the list.
    std::vector<std::unique_ptr<TCaptureDevice>> retired_;
    IPluginDevices* plugins_ = nullptr;
    int refreshDepth_ = 0;
};

// The data module a device keeps its filter components in, with a private graph used once to
// count the device's streams.
class TDeviceDataModule : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TDeviceDataModule)
    TDeviceDataModule();
    dshow::TFilter* Filter(const std::wstring& Name, const std::wstring& DisplayName);

    dshow::TFilterGraph* fg = nullptr;

    // Activates the private graph, lets Members join it, hands the graph's capture builder and the
    // first member's filter to Count, then empties and deactivates the graph again (also on failure).
    void Probe(std::initializer_list<dshow::TFilter*> Members,
               const std::function<void(ICaptureGraphBuilder2* Builder, IBaseFilter* Source)>& Count);
};

// The sound branch every kind of device builds alike: stream Stream's sound pin of From (1-based)
// into Tee's input; answers Tee's first free sound output, nullptr on failure. AudioEndFilter := Tee
// once Tee is in the graph.
ComPtr<IPin> BuildSoundTee(IBaseFilter* From, int Stream, dshow::TFilter* Tee);
// Takes Tee out and removes the sound preview's control stamper; AudioEndFilter := none.
void KillSoundTee(dshow::TFilter* Tee);

// Tears down the current video and sound sources that use Device (their preview branches, with the
// device's source part).
void ReleaseCurrentSources(TCaptureDevice* Device);

// The friendly name in a device moniker's property bag, cut to 255 characters; empty when none.
std::wstring MonikerFriendlyName(IMoniker* Moniker);

}  // namespace engine
