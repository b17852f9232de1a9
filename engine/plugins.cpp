// Capture plug-ins: the list, the export callers and the plug-in device.
#include "engine/plugins.h"

#include <dshow.h>

#include <cstdint>
#include <cstring>
#include <cstdio>

#include "classlib/message_box.h"
#include "engine/capture_data_module.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "filters/superposer.h"
#include "settings/settings_catalogue.h"

namespace engine {

namespace {

// --- the fault guard ---------------------------------------------------------------------
// A hardware fault inside a plug-in's code is caught by a vectored handler, which jumps back to the
// guard that made the call. C++ has no way to catch such a fault; this keeps a broken plug-in from
// taking the program with it. Only the guarded call's own frames are left behind: the plug-in's, and
// a trampoline without objects to destroy.

thread_local std::intptr_t* t_jump = nullptr;
thread_local DWORD t_faultCode = 0;
thread_local void* t_faultAddress = nullptr;

LONG CALLBACK PluginFaultHandler(EXCEPTION_POINTERS* Info) {
    std::intptr_t* jump = t_jump;
    if (jump == nullptr || Info == nullptr || Info->ExceptionRecord == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    switch (Info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_IN_PAGE_ERROR: break;
    default: return EXCEPTION_CONTINUE_SEARCH;
    }
    t_faultCode = Info->ExceptionRecord->ExceptionCode;
    t_faultAddress = Info->ExceptionRecord->ExceptionAddress;
    t_jump = nullptr;
    __builtin_longjmp(jump, 1);
}

#if defined(__i386__)
// The head of the thread's chain of exception handler records (fs:[0] on 32-bit x86).
void* ExceptionChain() {
    void* head = nullptr;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void SetExceptionChain(void* Head) { __asm__ volatile("movl %0, %%fs:0" : : "r"(Head) : "memory"); }
#endif

}  // namespace

__attribute__((noinline)) bool RunGuarded(void (*Fn)(void*), void* Context) {
    static PVOID handler = AddVectoredExceptionHandler(1, PluginFaultHandler);
    (void)handler;
    std::intptr_t buffer[5];
    std::intptr_t* volatile previous = t_jump;
#if defined(__i386__)
    // 32-bit frames register exception handlers in a chain on the stack: the part of the stack
    // left behind must leave the chain too.
    void* volatile chain = ExceptionChain();
#endif
    if (__builtin_setjmp(buffer) != 0) {
#if defined(__i386__)
        SetExceptionChain(chain);
#endif
        t_jump = previous;
        return false;
    }
    t_jump = buffer;
    Fn(Context);
    t_jump = previous;
    return true;
}

namespace {

// Runs Body (which must hold nothing with a destructor across the plug-in's code); false on a fault.
template <typename F>
bool Guarded(F& Body) {
    return RunGuarded([](void* body) { (*static_cast<F*>(body))(); }, &Body);
}

std::wstring FaultText(const char* Where) {
    const wchar_t* what = L"a fault";
    switch (t_faultCode) {
    case EXCEPTION_ACCESS_VIOLATION: what = L"an access violation"; break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: what = L"an illegal instruction"; break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW: what = L"a division fault"; break;
    default: break;
    }
    char address[32];
    std::snprintf(address, sizeof(address), "%p", t_faultAddress);
    return std::wstring(Where, Where + std::strlen(Where)) + L" caused " + what + L" at " +
           std::wstring(address, address + std::strlen(address));
}

[[noreturn]] void Fail(const char* Export, const std::wstring& What) {
    throw EPluginError(std::wstring(Export, Export + std::strlen(Export)) + L" " + What);
}

// Calls export Name of Module as Fn with Args; false when it is missing; raises on a fault.
template <typename Fn, typename... A>
bool CallExport(HMODULE Module, const char* Name, A... Args) {
    if (Module == nullptr) return false;
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
    if (fn == nullptr) return false;
    auto body = [&] { fn(Args...); };
    if (!Guarded(body)) throw EPluginFault(FaultText(Name));
    return true;
}

// The interface Iid of an object a plug-in handed over, or a raised error when the object cannot
// be asked (a wild pointer) or does not have it.
template <typename I>
ComPtr<I> CheckedInterface(IUnknown* Object, REFIID Iid, const char* Export, const wchar_t* What) {
    I* found = nullptr;
    HRESULT hr = E_FAIL;
    auto body = [&] { hr = Object->QueryInterface(Iid, reinterpret_cast<void**>(&found)); };
    if (!Guarded(body)) Fail(Export, std::wstring(L"gave ") + What + L" that cannot be used");
    if (FAILED(hr) || found == nullptr) Fail(Export, std::wstring(L"gave ") + What + L" without its interface");
    ComPtr<I> result;
    *result.GetAddressOf() = found;  // the reference QueryInterface gave
    return result;
}

// Releases the reference a plug-in handed over in an out slot.
void ReleaseHandedOver(IUnknown* Object, const char* Export) {
    if (Object == nullptr) return;
    auto body = [&] { Object->Release(); };
    if (!Guarded(body)) Fail(Export, L"gave an object that cannot be released");
}

// A copy of the record a plug-in wrote, checked.
QuillPiFilter ReadRecord(const QuillPiFilter* Record, const char* Export) {
    QuillPiFilter copy{};
    auto body = [&] { std::memcpy(&copy, Record, sizeof(copy)); };
    if (!Guarded(body)) Fail(Export, L"wrote a filter record that cannot be read");
    if (copy.cbSize < sizeof(QuillPiFilter)) Fail(Export, L"wrote a filter record of an unknown size");
    return copy;
}

// A native format byte: 0..12, anything else none.
std::uint8_t NativeFormat(std::uint32_t Slot) {
    const std::uint8_t value = static_cast<std::uint8_t>(Slot & 0xFF);
    return value <= 12 ? value : 0;
}

// The capture graph as the plug-ins see it, filled for one call.
struct TGraphRecord {
    QuillPiGraph record{};
    QuillPiGraph* variable = &record;
    ComPtr<IGraphBuilder> graph;
    TGraphRecord() {
        record.cbSize = sizeof(record);
        if (Tdm* module = dm()) {
            graph = Query<IGraphBuilder>(module->Graph().Get(), IID_IGraphBuilder);
            record.Graph = graph.Get();
            record.CaptureBuilder = module->CaptureBuilder.Get();
        }
    }
    QuillPiGraph* const* Address() const { return &variable; }
};

std::string ToAnsi(const std::wstring& Text) {
    if (Text.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, Text.c_str(), static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, Text.c_str(), static_cast<int>(Text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const std::string& Text) {
    if (Text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, Text.c_str(), static_cast<int>(Text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, Text.c_str(), static_cast<int>(Text.size()), out.data(), n);
    return out;
}

}  // namespace

// --- the export callers ----------------------------------------------------------------------

std::wstring GetPluginString(HMODULE Module, const char* ExportName, std::string* Raw) {
    std::vector<char> buffer(QUILL_PI_TEXT_SIZE, '\0');
    CallExport<pi_drivername_t>(Module, ExportName, buffer.data(), static_cast<std::int32_t>(buffer.size()));
    const size_t length = strnlen(buffer.data(), buffer.size());
    std::string text(buffer.data(), length < 255 ? length : 255);
    if (Raw != nullptr) *Raw = text;
    return FromAnsi(text);
}

int GetPluginInteger(void** Instance, HMODULE Module, const char* ExportName) {
    std::int32_t count = 0;
    CallExport<pi_nbfluxvideo_t>(Module, ExportName, Instance, &count);
    if (count < 0 || count > QUILL_PI_MAX_STREAMS)
        Fail(ExportName, L"answered " + std::to_wstring(count) + L" streams");
    return count;
}

bool GetPluginPointer(void** Instance, HMODULE Module, const char* ExportName, QuillPiFilter& Record) {
    const QuillPiFilter* written = nullptr;
    if (!CallExport<pi_sourcefilter_t>(Module, ExportName, Instance, &written) || written == nullptr) return false;
    Record = ReadRecord(written, ExportName);
    return true;
}

void CallPiCreate(HMODULE Module, void** Instance) { CallExport<pi_create_t>(Module, "pi_create", Instance); }

// --- the list ----------------------------------------------------------------------------------

TpluginData* TpluginList::Get(int Index) const {
    return Index < 0 || Index >= Count() ? nullptr : items_[static_cast<size_t>(Index)].get();
}

int TpluginList::IndexOf(const std::wstring& Name) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)]->DriverName == Name) return i;
    return -1;
}

TpluginData* TpluginList::Add(std::unique_ptr<TpluginData> Entry) {
    items_.push_back(std::move(Entry));
    return items_.back().get();
}

std::unique_ptr<TCaptureDevice> TpluginList::CreateDevice(const std::wstring& FriendlyName, int Number) {
    TpluginData* entry = Get(IndexOf(FriendlyName));
    if (entry == nullptr) return nullptr;
    auto device = std::make_unique<TPlugInCaptureDevice>(FriendlyName, Number, entry->DllPath);
    if (!device->Loaded) entry->Problem = device->Problem();
    return device;
}

void TpluginList::Refused(const std::wstring& FriendlyName) {
    if (TpluginData* entry = Get(IndexOf(FriendlyName))) entry->Enabled = false;
}

void LoadPluginList(TpluginList& List, const std::wstring& Folder) {
    List.Clear();
    std::wstring folder = Folder;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*.pcf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::wstring path = folder + found.cFileName;
        HMODULE module = LoadLibraryW(path.c_str());
        if (module == nullptr) continue;
        auto entry = std::make_unique<TpluginData>(L"", path);
        bool faulted = false;
        try {
            entry->DriverName = GetPluginString(module, "pi_drivername");
        } catch (const EPluginError& error) {
            // Its code is not trusted to unload cleanly any more; it drives nothing.
            entry->Problem = error.Message();
            entry->Enabled = false;
            faulted = true;
        }
        List.Add(std::move(entry));
        if (!faulted) FreeLibrary(module);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void LoadPluginList(TpluginList& List) {
    LoadPluginList(List, settings::ParamPluginsDir != nullptr ? settings::ParamPluginsDir->Value() : std::wstring());
}

// --- the plug-in device --------------------------------------------------------------------

TPlugInCaptureDevice::TPlugInCaptureDevice(const std::wstring& AFriendlyName, int ANumber, const std::wstring& DllPath)
    : TCaptureDevice(L"", 0, L""), dllPath_(DllPath), parts_(std::make_unique<classlib::TComponent>(nullptr)) {
    source_ = MakeFilterComponent(parts_.get(), L"pi_source", L"");
    graphSource_ = MakeFilterComponent(parts_.get(), L"pi_sourcegraph", L"");
    videoEnd_ = MakeFilterComponent(parts_.get(), L"pi_videoend", L"");
    audioEnd_ = MakeFilterComponent(parts_.get(), L"pi_audioend", L"");
    module_ = LoadLibraryW(DllPath.c_str());
    if (module_ == nullptr) {
        problem_ = L"the plug-in library cannot be loaded";
        return;
    }
    try {
        std::string name;
        GetPluginString(module_, "pi_drivername", &name);
        if (name != ToAnsi(AFriendlyName).substr(0, 255)) {
            problem_ = L"pi_drivername names another device";
            return;
        }
        const std::wstring display = GetPluginString(module_, "pi_friendlyname");
        FriendlyName = AFriendlyName;
        Number = ANumber;
        DisplayName = ANumber >= 2 ? display + L" #" + std::to_wstring(ANumber) : display;
        CallPiCreate(module_, &instance_);
        if (instance_ == nullptr) {
            problem_ = L"pi_create refused the device";
            return;
        }
        QuillPiFilter record{};
        if (GetPluginPointer(&instance_, module_, "pi_sourcefilter", record)) SourceFilter = Take(source_, &record, "pi_sourcefilter");
        VideoCount = GetPluginInteger(&instance_, module_, "pi_nbfluxvideo");
        AudioCount = GetPluginInteger(&instance_, module_, "pi_nbfluxaudio");
        Loaded = true;
        Kind = kKindPlugIn;
    } catch (const EPluginError& error) {
        problem_ = error.Message();
        faulted_ = dynamic_cast<const EPluginFault*>(&error) != nullptr;
        SourceFilter = nullptr;
        VideoCount = 0;
        AudioCount = 0;
    } catch (...) {
        problem_ = L"the plug-in could not be set up";
    }
}

TPlugInCaptureDevice::~TPlugInCaptureDevice() {
    try {
        ReleaseCurrentSources(this);
    } catch (...) {
    }
    // Everything of the plug-in's that the host holds goes before its code does.
    if (Mine(VideoEndFilter)) VideoEndFilter = nullptr;
    if (Mine(AudioEndFilter)) AudioEndFilter = nullptr;
    if (videoPin_ != nullptr && VideoEndPin.Get() == videoPin_) VideoEndPin.Reset();
    SourceFilter = nullptr;
    // After a fault even releasing the plug-in's objects runs its code: they are left alone.
    if (faulted_)
        static_cast<void>(parts_.release());
    else
        parts_.reset();
    try {
        CallTeardown<pi_destroy_t>("pi_destroy", &instance_);
    } catch (...) {
    }
    if (module_ != nullptr && !faulted_) FreeLibrary(module_);
}

template <typename Fn, typename... A>
bool TPlugInCaptureDevice::Call(const char* Name, A... Args) {
    return Invoke<Fn>(Loaded && !stopped_, Name, Args...);
}

template <typename Fn, typename... A>
bool TPlugInCaptureDevice::CallTeardown(const char* Name, A... Args) {
    return Invoke<Fn>(instance_ != nullptr, Name, Args...);
}

template <typename Fn, typename... A>
bool TPlugInCaptureDevice::Invoke(bool Allowed, const char* Name, A... Args) {
    if (!Allowed || faulted_) return false;
    try {
        return CallExport<Fn>(module_, Name, Args...);
    } catch (const EPluginFault&) {
        faulted_ = true;
        throw;
    }
}

void TPlugInCaptureDevice::Stop(const EPluginError& Error) {
    if (stopped_) return;
    stopped_ = true;
    problem_ = Error.Message();
    IEngineHost* host = EngineHost();
    classlib::ShowMessageBox(host != nullptr ? host->MainWindowHandle() : nullptr,
                             L"The capture plug-in " + dllPath_ + L" stopped working (" + problem_ +
                                 L"). The device " + DisplayName + L" cannot be used until the program starts again.",
                             L"Quillotrane", MB_OK | MB_ICONERROR);
}

dshow::TFilter* TPlugInCaptureDevice::Take(dshow::TFilter* Component, const QuillPiFilter* Record, const char* Export) {
    Component->HoldFilter(nullptr);
    Component->BaseFilter()->SetMoniker(nullptr);
    if (Record == nullptr) return nullptr;
    if (Record->Filter != nullptr)
        Component->HoldFilter(CheckedInterface<IBaseFilter>(Record->Filter, IID_IBaseFilter, Export, L"a filter"));
    if (Record->Moniker != nullptr)
        Component->BaseFilter()->SetMoniker(CheckedInterface<IMoniker>(Record->Moniker, IID_IMoniker, Export, L"a moniker").Get());
    return Component;
}

bool TPlugInCaptureDevice::Mine(const dshow::TFilter* Filter) const {
    return Filter != nullptr && (Filter == source_ || Filter == graphSource_ || Filter == videoEnd_ || Filter == audioEnd_);
}

bool TPlugInCaptureDevice::Attempt(const std::function<bool()>& Body) {
    try {
        return Body();
    } catch (const EPluginError& error) {
        Stop(error);
    } catch (...) {
    }
    return false;
}

ComPtr<IPin> TPlugInCaptureDevice::TakePin(IPin* Pin, const char* Export) {
    if (Pin == nullptr) return nullptr;
    ComPtr<IPin> checked = CheckedInterface<IPin>(Pin, IID_IPin, Export, L"an end pin");
    ReleaseHandedOver(Pin, Export);
    return checked;
}

dshow::TFilter* TPlugInCaptureDevice::TakeRecord(dshow::TFilter* Component, const QuillPiFilter* Written,
                                                 const char* Export) {
    if (Written == nullptr) return Take(Component, nullptr, Export);
    const QuillPiFilter record = ReadRecord(Written, Export);
    return Take(Component, &record, Export);
}

void TPlugInCaptureDevice::RemoveHeld(dshow::TFilter* Component) {
    try {
        if (Tdm* module = dm()) module->RemoveOwnFilter(Component->GetFilter().Get());
    } catch (...) {
    }
}

template <typename Fn>
void TPlugInCaptureDevice::KillBranch(const char* Export) {
    Attempt([&] {
        IUnknown* pin = nullptr;
        TGraphRecord graph;
        if (CallTeardown<Fn>(Export, &instance_, &pin, graph.Address())) ReleaseHandedOver(pin, Export);
        return true;
    });
}

void TPlugInCaptureDevice::SetVideoGraph(int Stream) {
    VideoEndPin.Reset();
    videoPin_ = nullptr;
    FirstNativeFormat = 0;
    SecondNativeFormat = 0;
    Attempt([&] {
        const char* name = "pi_setvideograph";
        Tdm* module = dm();
        filters::Tqz_Superposer* overlay = module != nullptr ? module->Superposer : nullptr;
        IPin* pin = nullptr;
        const QuillPiFilter* end = nullptr;
        std::uint32_t second = 0;
        std::uint32_t first = 0;
        std::uint8_t inverted = overlay != nullptr && overlay->SourceInverted() ? 1 : 0;
        TGraphRecord graph;
        if (!Call<pi_setvideograph_t>(name, &instance_, static_cast<std::int32_t>(Stream), &pin, graph.Address(),
                                      &inverted, &end, &second, &first))
            return false;
        ComPtr<IPin> checked = TakePin(pin, name);
        VideoEndFilter = TakeRecord(videoEnd_, end, name);
        SecondNativeFormat = NativeFormat(second);
        FirstNativeFormat = NativeFormat(first);
        if (overlay != nullptr) overlay->SetSourceInverted(inverted != 0);
        videoPin_ = checked.Get();
        VideoEndPin = checked;
        return true;
    });
}

ComPtr<IPin> TPlugInCaptureDevice::SetAudioGraph(int Stream) {
    ComPtr<IPin> result;
    Attempt([&] {
        const char* name = "pi_setaudiograph";
        IPin* pin = nullptr;
        const QuillPiFilter* end = nullptr;
        TGraphRecord graph;
        if (!Call<pi_setaudiograph_t>(name, &instance_, static_cast<std::int32_t>(Stream), &pin, graph.Address(), &end))
            return false;
        ComPtr<IPin> checked = TakePin(pin, name);
        AudioEndFilter = TakeRecord(audioEnd_, end, name);
        result = checked;
        return true;
    });
    return result;
}

void TPlugInCaptureDevice::KillVideoGraph() {
    KillBranch<pi_killvideograph_t>("pi_killvideograph");
    if (faulted_) RemoveHeld(videoEnd_);
    if (VideoEndPin.Get() == videoPin_) VideoEndPin.Reset();
    videoPin_ = nullptr;
    videoEnd_->HoldFilter(nullptr);
    VideoEndFilter = nullptr;
}

void TPlugInCaptureDevice::KillAudioGraph() {
    KillBranch<pi_killaudiograph_t>("pi_killaudiograph");
    if (faulted_) RemoveHeld(audioEnd_);
    audioEnd_->HoldFilter(nullptr);
    AudioEndFilter = nullptr;
}

dshow::TFilter* TPlugInCaptureDevice::SetSourceGraph() {
    dshow::TFilter* result = nullptr;
    Attempt([&] {
        const char* name = "pi_setsourcegraph";
        const QuillPiFilter* written = nullptr;
        TGraphRecord graph;
        if (!Call<pi_setsourcegraph_t>(name, &instance_, &written, graph.Address()) || written == nullptr) return false;
        result = TakeRecord(graphSource_, written, name);
        return true;
    });
    return result;
}

void TPlugInCaptureDevice::KillSourceGraph() {
    Attempt([&] {
        TGraphRecord graph;
        return CallTeardown<pi_killsourcegraph_t>("pi_killsourcegraph", &instance_, graph.Address());
    });
    if (faulted_) RemoveHeld(graphSource_);
    graphSource_->HoldFilter(nullptr);
}

bool TPlugInCaptureDevice::BuildMuxGraph(const std::wstring& FileName) {
    return Attempt([&] {
        TGraphRecord graph;
        return Call<pi_buildmuxgraph_t>("pi_buildmuxgraph", &instance_, graph.Address(), FileName.c_str());
    });
}

bool TPlugInCaptureDevice::KillMuxGraph() {
    return Attempt([&] {
        TGraphRecord graph;
        return CallTeardown<pi_killmuxgraph_t>("pi_killmuxgraph", &instance_, graph.Address());
    });
}

}  // namespace engine
