// A capture plug-in built by the tests against the published interface alone. It drives a device of
// the video input category named after its own file, puts the device's filter and an infinite pin
// tee into the graph, and writes a native AVI through the capture graph builder. Every call is
// appended to the file named by the environment variable QUILL_TEST_PLUGIN_LOG. Its behaviour
// follows its file name:
//   good*        drives "Quillotrane Plugin Camera", shown as "Plugin Camera"
//   badformats*  drives "Quillotrane Plugin Bad Formats" and gives native formats 200 and 13
//   garbage*     drives "Quillotrane Plugin Garbage" and writes a wild record pointer
//   faulty*      drives "Quillotrane Plugin Faulty" and faults in pi_setvideograph
//   crashcreate* drives "Quillotrane Plugin Crash Create" and faults in pi_create
//   nomoniker*   drives "Quillotrane Plugin No Moniker" and names no moniker in its source records
//   badrecord*   drives "Quillotrane Plugin Bad Record": builds its video branch, then hands over a
//                record of a wrong size for the tee
// Built with QUILL_TEST_PLUGIN_SPARSE it exports only the name, creation and count exports, and
// drives "Quillotrane Plugin Sparse".
#include <windows.h>
#include <dshow.h>

#include <string>

#include "engine/capture_plugin.h"

namespace {

HMODULE g_module = nullptr;

const CLSID kInfTee = {0xF8388A40, 0xD5BB, 0x11D0, {0xBE, 0x5A, 0x00, 0x80, 0xC7, 0x06, 0x56, 0x8E}};

std::wstring Stem() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    std::wstring name = path;
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name = name.substr(slash + 1);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
    return name;
}

[[maybe_unused]] bool Is(const wchar_t* Prefix) { return Stem().rfind(Prefix, 0) == 0; }

const char* DriverName() {
#ifdef QUILL_TEST_PLUGIN_SPARSE
    return "Quillotrane Plugin Sparse";
#else
    if (Is(L"badformats")) return "Quillotrane Plugin Bad Formats";
    if (Is(L"garbage")) return "Quillotrane Plugin Garbage";
    if (Is(L"faulty")) return "Quillotrane Plugin Faulty";
    if (Is(L"crashcreate")) return "Quillotrane Plugin Crash Create";
    if (Is(L"nomoniker")) return "Quillotrane Plugin No Moniker";
    if (Is(L"badrecord")) return "Quillotrane Plugin Bad Record";
    return "Quillotrane Plugin Camera";
#endif
}

void Note(const std::wstring& Line) {
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QUILL_TEST_PLUGIN_LOG", path, MAX_PATH) == 0) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::wstring text = Stem() + L" " + Line + L"\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

template <typename T>
void Drop(T*& Object) {
    if (Object != nullptr) Object->Release();
    Object = nullptr;
}

struct Instance {
    IMoniker* moniker = nullptr;
    IBaseFilter* source = nullptr;
    IBaseFilter* tee = nullptr;
    IBaseFilter* mux = nullptr;
    IFileSinkFilter* sink = nullptr;
    QuillPiFilter sourceRecord{};
    QuillPiFilter graphRecord{};
    QuillPiFilter teeRecord{};
};

Instance* Of(void** InstanceSlot) { return InstanceSlot != nullptr ? static_cast<Instance*>(*InstanceSlot) : nullptr; }

// The moniker the source records name: none for the plug-in that keeps it to itself.
IMoniker* SourceMoniker(const Instance* Of) {
#ifndef QUILL_TEST_PLUGIN_SPARSE
    if (Is(L"nomoniker")) return nullptr;
#endif
    return Of->moniker;
}

// The moniker of the video input device named DriverName().
IMoniker* FindDevice() {
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return nullptr;
    IEnumMoniker* list = nullptr;
    IMoniker* found = nullptr;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0) == S_OK && list != nullptr) {
        IMoniker* moniker = nullptr;
        while (found == nullptr && list->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                VARIANT name;
                VariantInit(&name);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
                    char text[256] = {};
                    WideCharToMultiByte(CP_ACP, 0, name.bstrVal, -1, text, sizeof(text), nullptr, nullptr);
                    if (std::string(text) == DriverName()) {
                        found = moniker;
                        found->AddRef();
                    }
                }
                VariantClear(&name);
                bag->Release();
            }
            moniker->Release();
        }
        list->Release();
    }
    devices->Release();
    return found;
}

// The first pin of Filter of that direction (unconnected when Free).
[[maybe_unused]] IPin* PinOf(IBaseFilter* Filter, PIN_DIRECTION Direction, bool Free) {
    IEnumPins* pins = nullptr;
    IPin* result = nullptr;
    if (Filter == nullptr || FAILED(Filter->EnumPins(&pins))) return nullptr;
    IPin* pin = nullptr;
    while (result == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        IPin* peer = nullptr;
        const bool connected = SUCCEEDED(pin->ConnectedTo(&peer)) && peer != nullptr;
        if (peer != nullptr) peer->Release();
        if (direction == Direction && (!Free || !connected)) {
            result = pin;
        } else {
            pin->Release();
        }
    }
    pins->Release();
    return result;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE Module, DWORD Reason, LPVOID) {
    if (Reason == DLL_PROCESS_ATTACH) g_module = Module;
    return TRUE;
}

#define EXPORT extern "C" __declspec(dllexport) void QUILL_PI_CALL

EXPORT pi_drivername(char* Buffer, int32_t Size) {
    Note(L"pi_drivername " + std::to_wstring(Size));
    lstrcpynA(Buffer, DriverName(), Size);
}

EXPORT pi_friendlyname(char* Buffer, int32_t Size) {
    Note(L"pi_friendlyname");
    const std::string name = std::string(DriverName()).substr(strlen("Quillotrane "));
    lstrcpynA(Buffer, name.c_str(), Size);
}

EXPORT pi_create(void** InstanceValue) {
    Note(L"pi_create");
#ifndef QUILL_TEST_PLUGIN_SPARSE
    if (Is(L"crashcreate")) *static_cast<volatile int*>(nullptr) = 1;
#endif
    auto* instance = new Instance;
    instance->moniker = FindDevice();
    *InstanceValue = instance;
}

EXPORT pi_destroy(void** InstanceSlot) {
    Note(L"pi_destroy");
    Instance* instance = Of(InstanceSlot);
    if (instance == nullptr) return;
    Drop(instance->sink);
    Drop(instance->mux);
    Drop(instance->tee);
    Drop(instance->source);
    Drop(instance->moniker);
    delete instance;
}

EXPORT pi_sourcefilter(void** InstanceSlot, const QuillPiFilter** Filter) {
    Note(L"pi_sourcefilter");
    Instance* instance = Of(InstanceSlot);
#ifndef QUILL_TEST_PLUGIN_SPARSE
    if (Is(L"garbage")) {
        *Filter = reinterpret_cast<const QuillPiFilter*>(static_cast<uintptr_t>(0x10));
        return;
    }
#endif
    instance->sourceRecord = {sizeof(QuillPiFilter), nullptr, SourceMoniker(instance)};
    *Filter = &instance->sourceRecord;
}

EXPORT pi_nbfluxvideo(void**, int32_t* Count) {
    Note(L"pi_nbfluxvideo");
    *Count = 1;
}

EXPORT pi_nbfluxaudio(void**, int32_t* Count) {
    Note(L"pi_nbfluxaudio");
    *Count = 0;
}

#ifndef QUILL_TEST_PLUGIN_SPARSE

EXPORT pi_setsourcegraph(void** InstanceSlot, const QuillPiFilter** Source, QuillPiGraph* const* Graph) {
    Note(L"pi_setsourcegraph");
    Instance* instance = Of(InstanceSlot);
    IGraphBuilder* graph = (*Graph)->Graph;
    if (instance->source == nullptr && instance->moniker != nullptr)
        instance->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&instance->source));
    if (instance->source == nullptr || FAILED(graph->AddFilter(instance->source, L"pi_source"))) return;
    instance->graphRecord = {sizeof(QuillPiFilter), instance->source, SourceMoniker(instance)};
    *Source = &instance->graphRecord;
}

EXPORT pi_killsourcegraph(void** InstanceSlot, QuillPiGraph* const* Graph) {
    Note(L"pi_killsourcegraph");
    Instance* instance = Of(InstanceSlot);
    if (instance->source != nullptr) (*Graph)->Graph->RemoveFilter(instance->source);
    Drop(instance->source);
}

EXPORT pi_setvideograph(void** InstanceSlot, int32_t Stream, IPin** VideoEndPin, QuillPiGraph* const* Graph,
                        uint8_t* SourceInverted, const QuillPiFilter** VideoEndFilter, uint32_t* SecondNativeFormat,
                        uint32_t* FirstNativeFormat) {
    Note(L"pi_setvideograph " + std::to_wstring(Stream));
    if (Is(L"faulty")) *static_cast<volatile int*>(nullptr) = Stream;
    Instance* instance = Of(InstanceSlot);
    IGraphBuilder* graph = (*Graph)->Graph;
    if (instance->source == nullptr) return;
    if (FAILED(CoCreateInstance(kInfTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&instance->tee))) ||
        FAILED(graph->AddFilter(instance->tee, L"pi_tee")))
        return;
    IPin* capture = PinOf(instance->source, PINDIR_OUTPUT, true);
    IPin* teeIn = PinOf(instance->tee, PINDIR_INPUT, true);
    const HRESULT hr = capture != nullptr && teeIn != nullptr ? graph->ConnectDirect(capture, teeIn, nullptr) : E_FAIL;
    Drop(capture);
    Drop(teeIn);
    if (FAILED(hr)) return;
    *VideoEndPin = PinOf(instance->tee, PINDIR_OUTPUT, true);  // the reference goes to the host
    instance->teeRecord = {Is(L"badrecord") ? 4u : static_cast<uint32_t>(sizeof(QuillPiFilter)), instance->tee, nullptr};
    *VideoEndFilter = &instance->teeRecord;
    *SourceInverted = 0;
    const bool bad = Is(L"badformats");
    *FirstNativeFormat = bad ? 200 : 5;
    *SecondNativeFormat = bad ? 13 : 1;
}

EXPORT pi_killvideograph(void** InstanceSlot, IUnknown** Pin, QuillPiGraph* const* Graph) {
    Note(L"pi_killvideograph");
    Instance* instance = Of(InstanceSlot);
    *Pin = nullptr;
    if (instance->tee != nullptr) (*Graph)->Graph->RemoveFilter(instance->tee);
    Drop(instance->tee);
}

EXPORT pi_setaudiograph(void**, int32_t Stream, IPin**, QuillPiGraph* const*, const QuillPiFilter**) {
    Note(L"pi_setaudiograph " + std::to_wstring(Stream));
}

EXPORT pi_killaudiograph(void**, IUnknown**, QuillPiGraph* const*) { Note(L"pi_killaudiograph"); }

EXPORT pi_buildmuxgraph(void** InstanceSlot, QuillPiGraph* const* Graph, const wchar_t* FileName) {
    Note(std::wstring(L"pi_buildmuxgraph ") + FileName);
    Instance* instance = Of(InstanceSlot);
    ICaptureGraphBuilder2* builder = (*Graph)->CaptureBuilder;
    if (builder == nullptr || instance->tee == nullptr ||
        FAILED(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, FileName, &instance->mux, &instance->sink)))
        return;
    IPin* out = PinOf(instance->tee, PINDIR_OUTPUT, true);
    IPin* in = PinOf(instance->mux, PINDIR_INPUT, true);
    if (out != nullptr && in != nullptr) (*Graph)->Graph->ConnectDirect(out, in, nullptr);
    Drop(out);
    Drop(in);
}

EXPORT pi_killmuxgraph(void** InstanceSlot, QuillPiGraph* const* Graph) {
    Note(L"pi_killmuxgraph");
    Instance* instance = Of(InstanceSlot);
    IBaseFilter* writer = nullptr;
    if (instance->sink != nullptr &&
        SUCCEEDED(instance->sink->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&writer)))) {
        (*Graph)->Graph->RemoveFilter(writer);
        writer->Release();
    }
    if (instance->mux != nullptr) (*Graph)->Graph->RemoveFilter(instance->mux);
    Drop(instance->sink);
    Drop(instance->mux);
}

#endif
