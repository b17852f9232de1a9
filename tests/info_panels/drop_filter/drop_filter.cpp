// A filter library built by the tests to be dropped on the help panel. Its registration puts one
// filter under a category of the tests' own (so that no other test or program lists it) and its
// server key; its unregistration takes both away. Its filter's name comes from drop_helper.dll,
// which it imports: the library loads only when that one is found beside it. Its behaviour follows
// its file name:
//   failing*  registers, then answers a failure (the panel must undo it)
//   faulting* faults in both functions
// Built with QUILL_DROP_FILTER_NO_EXPORTS it has no registration functions at all.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cwchar>
#include <string>

#include "drop_filter_ids.h"

extern "C" __declspec(dllimport) const wchar_t* QuillDropHelperName(void);

namespace {

HMODULE gModule = nullptr;

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(gModule, path, MAX_PATH);
    return path;
}

bool Named(const wchar_t* Prefix) {
    std::wstring name = ModulePath();
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name = name.substr(slash + 1);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
    return wcsncmp(name.c_str(), Prefix, wcslen(Prefix)) == 0;
}

std::wstring ClassKey() {
    wchar_t guid[64] = {};
    StringFromGUID2(quill_test::kDropFilterClsid, guid, 64);
    return std::wstring(L"CLSID\\") + guid;
}

[[maybe_unused]] HRESULT Register(bool Install) {
    if (Named(L"faulting")) {
        // A pointer the compiler cannot see through: a real access violation at run time.
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT result = S_OK;
    {
        Microsoft::WRL::ComPtr<IFilterMapper2> mapper;
        result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(mapper.GetAddressOf()));
        if (SUCCEEDED(result) && Install) {
            const std::wstring server = ClassKey() + L"\\InprocServer32";
            const std::wstring path = ModulePath();
            RegSetKeyValueW(HKEY_CLASSES_ROOT, server.c_str(), nullptr, REG_SZ, path.c_str(),
                            static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
            REGFILTER2 filter{};
            filter.dwVersion = 1;
            filter.dwMerit = MERIT_DO_NOT_USE;
            filter.cPins = 0;
            result = mapper->RegisterFilter(quill_test::kDropFilterClsid, QuillDropHelperName(), nullptr,
                                            &quill_test::kDropFilterCategory, nullptr, &filter);
            if (SUCCEEDED(result) && Named(L"failing")) result = E_FAIL;
        } else if (SUCCEEDED(result)) {
            mapper->UnregisterFilter(&quill_test::kDropFilterCategory, nullptr, quill_test::kDropFilterClsid);
            RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return result;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
    if (Reason == DLL_PROCESS_ATTACH) gModule = Instance;
    return TRUE;
}

#ifndef QUILL_DROP_FILTER_NO_EXPORTS
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() { return Register(true); }
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() { return Register(false); }
#else
extern "C" __declspec(dllexport) const wchar_t* QuillDropName() { return QuillDropHelperName(); }
#endif
