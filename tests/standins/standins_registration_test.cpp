// The stand-in DLL registers and unregisters itself only under Wine: made to believe it runs on
// Windows it answers a failure, its unregistration leaves the prefix's stock classes naming it, and
// its registration writes nothing (this process's classes root sent to a scratch key shows it; under
// Wine the same call writes there, so the check could see a write).
#include <windows.h>
#include <dshow.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <string>

#include "first_standins_support.h"

using namespace first_standins;

namespace {

// {083863F1-70DE-11d0-BD40-00A0C911CE86}: the filter mapper's key of the filters of a category.
const GUID kLegacyFilterCategory = CLSID_LegacyAmFilterCategory;

std::wstring GuidText(REFGUID Guid) {
    wchar_t text[40] = {};
    StringFromGUID2(Guid, text, 40);
    return text;
}

// The default value of HKEY_CLASSES_ROOT\Key, or "<missing>".
std::wstring ClassesValue(const std::wstring& Key) {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, Key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

std::wstring ServerOf(REFCLSID Clsid) { return ClassesValue(L"CLSID\\" + GuidText(Clsid) + L"\\InprocServer32"); }

bool ListedInCategory(REFGUID Category, REFCLSID Clsid) {
    HKEY key = nullptr;
    const std::wstring path = L"CLSID\\" + GuidText(Category) + L"\\Instance\\" + GuidText(Clsid);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring Lower(std::wstring Text) {
    CharLowerBuffW(Text.data(), static_cast<DWORD>(Text.size()));
    return Text;
}

// The DLL believes it is not under Wine while this lives.
class NotUnderWine {
public:
    NotUnderWine() { SetEnvironmentVariableW(L"QUILL_STANDINS_NOT_WINE", L"1"); }
    ~NotUnderWine() { SetEnvironmentVariableW(L"QUILL_STANDINS_NOT_WINE", nullptr); }
};

// This process's HKEY_CLASSES_ROOT is an empty scratch key of the current user while this lives.
class ScratchClassesRoot {
public:
    ScratchClassesRoot() {
        path_ = L"Software\\Quillotrane tests\\Classes " + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) ==
            ERROR_SUCCESS)
            overridden_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, key_) == ERROR_SUCCESS;
    }
    ~ScratchClassesRoot() {
        if (overridden_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    bool Ready() const { return overridden_; }
    // Keys written under the scratch root.
    DWORD Keys() const {
        DWORD keys = 0;
        RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
        return keys;
    }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
    bool overridden_ = false;
};

using RegistrationFn = HRESULT(STDAPICALLTYPE*)();

TEST(StandinsRegistration, OutsideWineTheDllAnswersAFailureAndWritesNothing) {
    ComScope com;
    // The tee binds from the prefix's registration: that loads the stand-in DLL into this process.
    ComPtr<IBaseFilter> tee;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_InfTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                              reinterpret_cast<void**>(tee.GetAddressOf())));
    HMODULE dll = GetModuleHandleW(L"quill_standins.dll");
    ASSERT_NE(nullptr, dll);
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(dll, path, MAX_PATH), 0u);
    const std::wstring dllPath = Lower(path);
    auto doRegister = reinterpret_cast<RegistrationFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    auto doUnregister =
        reinterpret_cast<RegistrationFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
    ASSERT_TRUE(doRegister != nullptr && doUnregister != nullptr);

    // The stock classes it takes in the prefix: the file writer, the AVI mux, the tee, the ASF writer,
    // the capture graph builder.
    const CLSID stock[] = {CLSID_FileWriter, CLSID_AviDest, CLSID_InfTee, CLSID_WMAsfWriter, CLSID_CaptureGraphBuilder2};
    for (const CLSID& clsid : stock) EXPECT_EQ(dllPath, Lower(ServerOf(clsid))) << "before: " << GuidText(clsid).c_str();
    ASSERT_TRUE(ListedInCategory(kLegacyFilterCategory, CLSID_AviDest));

    {
        NotUnderWine pretend;
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), doUnregister());
        for (const CLSID& clsid : stock)
            EXPECT_EQ(dllPath, Lower(ServerOf(clsid))) << "unregistration removed " << GuidText(clsid).c_str();
        EXPECT_TRUE(ListedInCategory(kLegacyFilterCategory, CLSID_AviDest)) << "unregistration unlisted the AVI mux";

        ScratchClassesRoot scratch;
        ASSERT_TRUE(scratch.Ready()) << "the classes root cannot be sent to a scratch key";
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), doRegister());
        EXPECT_EQ(0u, scratch.Keys()) << "the refused registration wrote keys";
    }

    // Under Wine the same registration writes its classes into the scratch root.
    ScratchClassesRoot scratch;
    ASSERT_TRUE(scratch.Ready());
    doRegister();
    EXPECT_GT(scratch.Keys(), 0u) << "a registration's writes would not be seen";
}

}  // namespace
