// Capture plug-ins: the list of plug-in DLLs (".pcf") found in the plug-in folder, the callers of
// their exports (each guarded against the plug-in's faults and nonsense answers), and the device a
// plug-in drives, whose eight graph operations are the plug-in's exports. The binary interface
// itself is in capture_plugin.h. Main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/objects.h"
#include "engine/capture_devices.h"
#include "engine/capture_plugin.h"

namespace engine {

// A plug-in that faulted in an export or answered what cannot be used; the text says which export
// and what went wrong.
class EPluginError : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};
// The plug-in's own code faulted (its state, and so its objects, are not to be trusted).
class EPluginFault : public EPluginError {
public:
    using EPluginError::EPluginError;
};

class TpluginData : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TpluginData)
    TpluginData(std::wstring ADriverName, std::wstring ADllPath)
        : DriverName(std::move(ADriverName)), DllPath(std::move(ADllPath)) {}
    std::wstring DriverName;  // the friendly name of the device it drives (at most 255 characters)
    std::wstring DllPath;     // folder + file name
    bool Enabled = true;      // cleared when the plug-in refused its device
    std::wstring Problem;     // why it was refused or stopped, empty when there was no fault
};

// The plug-ins found; the device lists ask it for the device of a friendly name it drives.
class TpluginList : public classlib::TObject, public IPluginDevices {
public:
    CLASSLIB_CLASS_NAME(TpluginList)
    int Count() const { return static_cast<int>(items_.size()); }
    // nullptr outside 0..Count-1.
    TpluginData* Get(int Index) const;
    // The first entry whose DriverName is Name (exact, case-sensitive; Enabled not consulted); -1.
    int IndexOf(const std::wstring& Name) const;
    TpluginData* Add(std::unique_ptr<TpluginData> Entry);
    void Clear() { items_.clear(); }

    std::unique_ptr<TCaptureDevice> CreateDevice(const std::wstring& FriendlyName, int Number) override;
    void Refused(const std::wstring& FriendlyName) override;

private:
    std::vector<std::unique_ptr<TpluginData>> items_;
};

// Rebuilds List from the ".pcf" files of Folder (a trailing backslash is added when missing); each
// DLL is loaded for the time of its "pi_drivername" call. A file that does not load is skipped.
void LoadPluginList(TpluginList& List, const std::wstring& Folder);
// The same with the "Plugins Dir" setting.
void LoadPluginList(TpluginList& List);

// Runs Fn(Context) with a hardware fault inside it (an access violation, an illegal instruction, a
// division fault) caught; false when it faulted. What the faulting code held stays held: for calls
// into libraries the program does not vouch for, whose frames hold nothing with a destructor.
bool RunGuarded(void (*Fn)(void*), void* Context);

// The export callers. A missing export answers its default; a fault or an answer that cannot be
// used raises EPluginError.
// A text export ("pi_drivername", "pi_friendlyname"): at most 255 characters, widened from the
// system code page. Raw receives the bytes before widening when given.
std::wstring GetPluginString(HMODULE Module, const char* ExportName, std::string* Raw = nullptr);
// A count export ("pi_nbfluxvideo", "pi_nbfluxaudio"): 0..QUILL_PI_MAX_STREAMS, 0 when missing.
int GetPluginInteger(void** Instance, HMODULE Module, const char* ExportName);
// "pi_sourcefilter": the record the plug-in wrote, copied; false when missing or none written.
bool GetPluginPointer(void** Instance, HMODULE Module, const char* ExportName, QuillPiFilter& Record);
// "pi_create": the instance the plug-in wrote into *Instance (nullptr: refused or missing).
void CallPiCreate(HMODULE Module, void** Instance);

class TPlugInCaptureDevice : public TCaptureDevice {
public:
    CLASSLIB_CLASS_NAME(TPlugInCaptureDevice)
    // Loads DllPath; Loaded only when the plug-in names FriendlyName, gives an instance and sane
    // stream counts. Never raises: what went wrong is in Problem().
    TPlugInCaptureDevice(const std::wstring& FriendlyName, int Number, const std::wstring& DllPath);
    // Tears down a current source of this device, lets go of the plug-in's objects, then
    // "pi_destroy" for an instance it gave (also when it was refused or stopped) and the DLL; a
    // plug-in whose code faulted is not called and its DLL is kept: its objects may still be in use.
    ~TPlugInCaptureDevice() override;

    void SetVideoGraph(int Stream) override;
    ComPtr<IPin> SetAudioGraph(int Stream) override;
    void KillVideoGraph() override;
    void KillAudioGraph() override;
    dshow::TFilter* SetSourceGraph() override;
    void KillSourceGraph() override;
    // True when the plug-in's export was called (and did not fault).
    bool BuildMuxGraph(const std::wstring& FileName) override;
    bool KillMuxGraph() override;

    HMODULE Module() const { return module_; }
    void* Instance() const { return instance_; }
    const std::wstring& DllPath() const { return dllPath_; }
    // Why the plug-in was refused or stopped; empty while all is well.
    const std::wstring& Problem() const { return problem_; }
    // The plug-in faulted or answered nonsense after it was loaded: nothing is built with it any
    // more. What it built is still taken down through its exports, unless its code faulted: then
    // the filters it handed over leave the graph without it.
    bool Stopped() const { return stopped_; }

private:
    // Calls a building export Name with Args when it is there and the plug-in is loaded and not
    // stopped; false otherwise.
    template <typename Fn, typename... A>
    bool Call(const char* Name, A... Args);
    // Calls a tearing-down export while there is an instance whose code has not faulted.
    template <typename Fn, typename... A>
    bool CallTeardown(const char* Name, A... Args);
    template <typename Fn, typename... A>
    bool Invoke(bool Allowed, const char* Name, A... Args);
    // Takes the filter Component holds out of the capture graph (a plug-in that cannot be asked).
    void RemoveHeld(dshow::TFilter* Component);
    // A plug-in in use failed: recorded, told to the user once, not called again.
    void Stop(const EPluginError& Error);
    // Runs one slot's work: a plug-in error stops the plug-in and answers false, as does anything else.
    bool Attempt(const std::function<bool()>& Body);
    // The end pin the plug-in handed over, checked, as the host's reference; nullptr for none.
    ComPtr<IPin> TakePin(IPin* Pin, const char* Export);
    // Take of the record the plug-in wrote (copied and checked first); nullptr Written empties.
    dshow::TFilter* TakeRecord(dshow::TFilter* Component, const QuillPiFilter* Written, const char* Export);
    // A "kill" export with its out pin, which the host releases.
    template <typename Fn>
    void KillBranch(const char* Export);
    // Copies Record into Component (its filter held, its moniker stored); nullptr Record empties it.
    // Answers Component, or nullptr when there was no record.
    dshow::TFilter* Take(dshow::TFilter* Component, const QuillPiFilter* Record, const char* Export);
    bool Mine(const dshow::TFilter* Filter) const;

    std::wstring dllPath_;
    HMODULE module_ = nullptr;
    void* instance_ = nullptr;
    std::wstring problem_;
    bool stopped_ = false;
    bool faulted_ = false;
    // The components standing for the plug-in's filters, owned by one holder.
    std::unique_ptr<classlib::TComponent> parts_;
    dshow::TFilter* source_ = nullptr;
    dshow::TFilter* graphSource_ = nullptr;
    dshow::TFilter* videoEnd_ = nullptr;
    dshow::TFilter* audioEnd_ = nullptr;
    IPin* videoPin_ = nullptr;  // identity of the end pin the plug-in gave, never dereferenced
};

}  // namespace engine
