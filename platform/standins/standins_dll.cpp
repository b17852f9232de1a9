#include "platform/standins/standins_dll.h"

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace standins {

namespace {

std::vector<std::function<bool(bool)>>& RegisterHooks()
{
    static std::vector<std::function<bool(bool)>> hooks;
    return hooks;
}

}  // namespace

TStandinRegistrar::TStandinRegistrar(const std::function<void(filters::TBCFilterTemplate&)>& Add,
                                     std::function<bool(bool doRegister)> OnRegister) {
    Add(filters::Templates());
    if (OnRegister) RegisterHooks().push_back(std::move(OnRegister));
}

namespace {

// Registers or unregisters every template: the server keys, then the filter mapper's entry in the
// template's category (devices appear in their input category this way).
HRESULT RegisterAll(bool doRegister) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT result = S_OK;
    {
        ComPtr<IFilterMapper2> mapper;
        HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                      reinterpret_cast<void**>(mapper.GetAddressOf()));
        if (FAILED(hr)) result = hr;
        if (!doRegister) {
            for (const auto& hook : RegisterHooks()) hook(false);
        }
        for (const auto& entry : filters::Templates().Entries()) {
            // A class without a category (the capture graph builder) is a plain COM server.
            const bool filter = entry->Category != GUID_NULL;
            if (doRegister) {
                if (!filters::RegisterServerEntries(*entry, true)) result = E_FAIL;
                if (filter && mapper && !filters::RegisterFilterWithMapper2(*entry, mapper.Get(), true)) result = E_FAIL;
            } else {
                if (filter && mapper) filters::RegisterFilterWithMapper2(*entry, mapper.Get(), false);
                filters::RegisterServerEntries(*entry, false);
            }
        }
        if (doRegister) {
            for (const auto& hook : RegisterHooks()) {
                if (!hook(true)) result = E_FAIL;
            }
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return result;
}

// Registration takes the stock class ids of the file writer, AVI mux, tee, converters, DV filters,
// sound renderer, ASF writer and capture graph builder, and unregistration deletes them: anywhere
// but in a Wine prefix that would break every DirectShow program, so only Wine's ntdll lets it run.
// A test makes the DLL believe it is on Windows with QUILL_STANDINS_NOT_WINE (it can only refuse).
bool UnderWine() {
    wchar_t flag[2];
    if (GetEnvironmentVariableW(L"QUILL_STANDINS_NOT_WINE", flag, 2) > 0) return false;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const HRESULT kNotUnderWine = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);

}  // namespace
}  // namespace standins

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** obj) {
    return filters::GetClassObjectFromTemplates(clsid, iid, obj);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return filters::CanUnloadNow(); }

HRESULT STDAPICALLTYPE DllRegisterServer() {
    return standins::UnderWine() ? standins::RegisterAll(true) : standins::kNotUnderWine;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return standins::UnderWine() ? standins::RegisterAll(false) : standins::kNotUnderWine;
}

}  // extern "C"
