// Wide registry access and the COM server check.
#include "unicode/wide_registry.h"

#include <objbase.h>

#include <vector>

#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace unicode {

std::wstring TUcRegistry::ReadString(const std::wstring& Name)
{
    if (!Win32PlatformIsUnicode()) return classlib::TRegistry::ReadString(Name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (CurrentKey() == nullptr ||
        RegQueryValueExW(CurrentKey(), Name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::wstring();
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseInvalidType(Name);
    if (size == 0) return std::wstring();
    if (size == 1) size = 2;
    // Room for an odd byte count plus one zero of our own, so that a value stored without a
    // terminator (or with an odd size) neither overflows nor runs on.
    const std::size_t chars = (static_cast<std::size_t>(size) + 1) / 2;
    std::vector<wchar_t> buffer(chars + 1, L'\0');
    DWORD got = static_cast<DWORD>(chars * sizeof(wchar_t));
    if (RegQueryValueExW(CurrentKey(), Name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
        ERROR_SUCCESS)
        RaiseGetDataFailed(Name);
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseInvalidType(Name);
    return std::wstring(buffer.data());
}

void TUcRegistry::WriteString(const std::wstring& Name, const std::wstring& Value)
{
    if (!Win32PlatformIsUnicode()) {
        classlib::TRegistry::WriteString(Name, Value);
        return;
    }
    PutDataW(Name, Value, REG_SZ);
}

void TUcRegistry::PutDataW(const std::wstring& Name, const std::wstring& Value, DWORD Type)
{
    CLASSLIB_ASSERT(Type == REG_SZ || Type == REG_EXPAND_SZ, L"TUcRegistry: string type expected");
    const DWORD bytes = static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t));
    if (CurrentKey() == nullptr ||
        RegSetValueExW(CurrentKey(), Name.c_str(), 0, Type, reinterpret_cast<const BYTE*>(Value.c_str()), bytes) !=
            ERROR_SUCCESS)
        RaiseSetDataFailed(Name);
}

namespace {

std::wstring ReadServerPath(TUcRegistry& reg, const std::wstring& classKey, const wchar_t* subKey)
{
    if (!reg.OpenKeyReadOnly(classKey + L"\\" + subKey)) return std::wstring();
    std::wstring path = reg.ReadString(L"");
    reg.CloseKey();
    return path;
}

}  // namespace

bool IsComServerRegistered(const CLSID& ClassId)
{
    LPOLESTR progId = nullptr;
    if (FAILED(ProgIDFromCLSID(ClassId, &progId))) return false;
    CoTaskMemFree(progId);

    wchar_t guid[40] = {};
    if (StringFromGUID2(ClassId, guid, 40) == 0) return false;
    try {
        TUcRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        const std::wstring classKey = classlib::Format(L"\\SOFTWARE\\Classes\\CLSID\\%s", {std::wstring(guid)});
        if (!reg.OpenKeyReadOnly(classKey)) return false;
        reg.CloseKey();
        std::wstring path = ReadServerPath(reg, classKey, L"InProcServer32");
        if (path.empty()) path = ReadServerPath(reg, classKey, L"InProcServer");
        return !path.empty() && WideFileExists(path);
    } catch (const classlib::Exception&) {
        // A server path of the wrong type or an unreadable value: not a usable registration.
        return false;
    }
}

}  // namespace unicode
