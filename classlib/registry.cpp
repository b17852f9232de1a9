// The class library's registry object.
#include "classlib/registry.h"

#include <cstring>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

namespace {

constexpr REGSAM kViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

TRegDataType DataTypeOf(DWORD type)
{
    switch (type) {
    case REG_SZ: return TRegDataType::rdString;
    case REG_EXPAND_SZ: return TRegDataType::rdExpandString;
    case REG_DWORD: return TRegDataType::rdInteger;
    case REG_BINARY: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

// Deletes every sub-key of Key (an open handle) and then Name below Parent.
bool DeleteTree(HKEY parent, const std::wstring& name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return false;
    DWORD maxLen = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxLen, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    std::vector<wchar_t> buffer(maxLen + 2);
    // Always the first sub-key: the list shrinks as they go. A sub-key that cannot be deleted
    // stops the walk instead of looping on it.
    for (;;) {
        DWORD len = static_cast<DWORD>(buffer.size());
        if (RegEnumKeyExW(key, 0, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (!DeleteTree(key, std::wstring(buffer.data(), len), view)) break;
    }
    RegCloseKey(key);
    return RegDeleteKeyExW(parent, name.c_str(), view, 0) == ERROR_SUCCESS;
}

std::vector<std::wstring> EnumNames(HKEY key, bool subKeys)
{
    std::vector<std::wstring> names;
    if (key == nullptr) return names;
    DWORD count = 0;
    DWORD maxLen = 0;
    LONG rc = subKeys ? RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &maxLen, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr)
                      : RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxLen,
                                         nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return names;
    std::vector<wchar_t> buffer(maxLen + 2);
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = static_cast<DWORD>(buffer.size());
        rc = subKeys ? RegEnumKeyExW(key, i, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr)
                     : RegEnumValueW(key, i, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), len);
    }
    return names;
}

}  // namespace

TRegistry::TRegistry() = default;

TRegistry::TRegistry(REGSAM AAccess) : access_(AAccess) {}

TRegistry::~TRegistry()
{
    CloseKey();
}

void TRegistry::SetRootKey(HKEY Value)
{
    if (Value == rootKey_) return;
    CloseKey();
    rootKey_ = Value;
}

bool TRegistry::IsRelative(const std::wstring& Key)
{
    return Key.empty() || Key[0] != L'\\';
}

std::wstring TRegistry::StripPath(const std::wstring& Key)
{
    // The system's key functions refuse a leading backslash, so "\Software\..." is passed as
    // "Software\..."; a trailing one names the same key.
    std::size_t first = 0;
    while (first < Key.size() && Key[first] == L'\\') ++first;
    std::size_t last = Key.size();
    while (last > first && Key[last - 1] == L'\\') --last;
    return Key.substr(first, last - first);
}

HKEY TRegistry::GetBaseKey(bool Relative) const
{
    return (currentKey_ == nullptr || !Relative) ? rootKey_ : currentKey_;
}

void TRegistry::ChangeKey(HKEY Value, const std::wstring& Path)
{
    CloseKey();
    currentKey_ = Value;
    currentPath_ = Path;
}

HKEY TRegistry::OpenSubKey(const std::wstring& Key, REGSAM Sam, bool Create, std::wstring* FullPath)
{
    const bool relative = IsRelative(Key);
    const std::wstring path = StripPath(Key);
    HKEY result = nullptr;
    LONG rc;
    if (Create && !path.empty())
        rc = RegCreateKeyExW(GetBaseKey(relative), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Sam, nullptr,
                             &result, nullptr);
    else
        rc = RegOpenKeyExW(GetBaseKey(relative), path.c_str(), 0, Sam, &result);
    if (rc != ERROR_SUCCESS) return nullptr;
    if (FullPath) {
        if (relative && currentKey_ != nullptr && !currentPath_.empty())
            *FullPath = path.empty() ? currentPath_ : currentPath_ + L"\\" + path;
        else
            *FullPath = path;
    }
    return result;
}

bool TRegistry::OpenKey(const std::wstring& Key, bool CanCreate)
{
    std::wstring path;
    HKEY key = OpenSubKey(Key, access_, CanCreate, &path);
    if (key == nullptr) return false;
    ChangeKey(key, path);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::wstring& Key)
{
    // Keys that refuse reading as a whole may still allow the query of their values.
    const REGSAM view = access_ & kViewFlags;
    for (REGSAM sam : {REGSAM(KEY_READ), REGSAM(KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS), REGSAM(KEY_QUERY_VALUE)}) {
        std::wstring path;
        HKEY key = OpenSubKey(Key, sam | view, false, &path);
        if (key != nullptr) {
            ChangeKey(key, path);
            return true;
        }
    }
    return false;
}

void TRegistry::CloseKey()
{
    if (currentKey_ != nullptr) {
        RegCloseKey(currentKey_);
        currentKey_ = nullptr;
    }
    currentPath_.clear();
}

bool TRegistry::CreateKey(const std::wstring& Key)
{
    if (StripPath(Key).empty()) return false;
    HKEY key = OpenSubKey(Key, access_, true, nullptr);
    if (key == nullptr) return false;
    RegCloseKey(key);
    return true;
}

bool TRegistry::DeleteKey(const std::wstring& Key)
{
    const std::wstring path = StripPath(Key);
    // An empty path would name the root or the current key itself: refused.
    if (path.empty()) return false;
    return DeleteTree(GetBaseKey(IsRelative(Key)), path, access_ & kViewFlags);
}

bool TRegistry::KeyExists(const std::wstring& Key)
{
    const std::wstring path = StripPath(Key);
    HKEY key = nullptr;
    const LONG rc =
        RegOpenKeyExW(GetBaseKey(IsRelative(Key)), path.c_str(), 0, KEY_QUERY_VALUE | (access_ & kViewFlags), &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    // A key that refuses the query still exists.
    return rc == ERROR_SUCCESS || rc == ERROR_ACCESS_DENIED;
}

bool TRegistry::ValueExists(const std::wstring& Name)
{
    TRegDataInfo info;
    return GetDataInfo(Name, info);
}

bool TRegistry::DeleteValue(const std::wstring& Name)
{
    return currentKey_ != nullptr && RegDeleteValueW(currentKey_, Name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::HasSubKeys()
{
    DWORD count = 0;
    return currentKey_ != nullptr &&
           RegQueryInfoKeyW(currentKey_, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           count > 0;
}

std::vector<std::wstring> TRegistry::GetKeyNames()
{
    return EnumNames(currentKey_, true);
}

std::vector<std::wstring> TRegistry::GetValueNames()
{
    return EnumNames(currentKey_, false);
}

bool TRegistry::GetDataInfo(const std::wstring& Name, TRegDataInfo& Info)
{
    Info = TRegDataInfo{};
    if (currentKey_ == nullptr) return false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(currentKey_, Name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    Info.RegData = DataTypeOf(type);
    Info.DataSize = static_cast<std::int32_t>(size);
    return true;
}

TRegDataType TRegistry::GetDataType(const std::wstring& Name)
{
    TRegDataInfo info;
    GetDataInfo(Name, info);
    return info.RegData;
}

std::int32_t TRegistry::GetDataSize(const std::wstring& Name)
{
    TRegDataInfo info;
    return GetDataInfo(Name, info) ? info.DataSize : -1;
}

void TRegistry::RaiseInvalidType(const std::wstring& Name)
{
    throw ERegistryException(Format(L"Invalid data type for '%s'", {Name}));
}

void TRegistry::RaiseGetDataFailed(const std::wstring& Name)
{
    throw ERegistryException(Format(L"Failed to get data for '%s'", {Name}));
}

void TRegistry::RaiseSetDataFailed(const std::wstring& Name)
{
    throw ERegistryException(Format(L"Failed to set data for '%s'", {Name}));
}

void TRegistry::QueryFixed(const std::wstring& Name, DWORD WantedType, void* Buffer, DWORD Size)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (currentKey_ == nullptr ||
        RegQueryValueExW(currentKey_, Name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        RaiseGetDataFailed(Name);
    if (type != WantedType || size != Size) RaiseInvalidType(Name);
    DWORD got = Size;
    if (RegQueryValueExW(currentKey_, Name.c_str(), nullptr, &type, static_cast<BYTE*>(Buffer), &got) != ERROR_SUCCESS)
        RaiseGetDataFailed(Name);
    if (type != WantedType || got != Size) RaiseInvalidType(Name);
}

void TRegistry::PutData(const std::wstring& Name, DWORD Type, const void* Buffer, DWORD Size)
{
    if (currentKey_ == nullptr ||
        RegSetValueExW(currentKey_, Name.c_str(), 0, Type, static_cast<const BYTE*>(Buffer), Size) != ERROR_SUCCESS)
        RaiseSetDataFailed(Name);
}

std::int32_t TRegistry::ReadInteger(const std::wstring& Name)
{
    std::int32_t value = 0;
    QueryFixed(Name, REG_DWORD, &value, sizeof(value));
    return value;
}

void TRegistry::WriteInteger(const std::wstring& Name, std::int32_t Value)
{
    PutData(Name, REG_DWORD, &Value, sizeof(Value));
}

bool TRegistry::ReadBool(const std::wstring& Name)
{
    return ReadInteger(Name) != 0;
}

void TRegistry::WriteBool(const std::wstring& Name, bool Value)
{
    WriteInteger(Name, Value ? 1 : 0);
}

double TRegistry::ReadFloat(const std::wstring& Name)
{
    double value = 0.0;
    QueryFixed(Name, REG_BINARY, &value, sizeof(value));
    return value;
}

void TRegistry::WriteFloat(const std::wstring& Name, double Value)
{
    PutData(Name, REG_BINARY, &Value, sizeof(Value));
}

std::int32_t TRegistry::ReadBinaryData(const std::wstring& Name, void* Buffer, std::int32_t BufSize)
{
    TRegDataInfo info;
    if (!GetDataInfo(Name, info)) return 0;
    const bool binary = info.RegData == TRegDataType::rdBinary || info.RegData == TRegDataType::rdUnknown;
    if (!binary || BufSize < 0 || info.DataSize > BufSize) RaiseInvalidType(Name);
    DWORD type = REG_NONE;
    DWORD got = static_cast<DWORD>(BufSize);
    if (RegQueryValueExW(currentKey_, Name.c_str(), nullptr, &type, static_cast<BYTE*>(Buffer), &got) != ERROR_SUCCESS)
        RaiseGetDataFailed(Name);
    return static_cast<std::int32_t>(got);
}

void TRegistry::WriteBinaryData(const std::wstring& Name, const void* Buffer, std::int32_t BufSize)
{
    if (BufSize < 0) RaiseSetDataFailed(Name);
    PutData(Name, REG_BINARY, Buffer, static_cast<DWORD>(BufSize));
}

std::wstring TRegistry::ReadString(const std::wstring& Name)
{
    const std::string name = WideToAnsi(Name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (currentKey_ == nullptr ||
        RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::wstring();
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseInvalidType(Name);
    if (size == 0) return std::wstring();
    // One byte more than the value holds, so that text stored without a terminator ends.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
        ERROR_SUCCESS)
        RaiseGetDataFailed(Name);
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseInvalidType(Name);
    return AnsiToWide(std::string(buffer.data(), std::strlen(buffer.data())));
}

void TRegistry::WriteString(const std::wstring& Name, const std::wstring& Value)
{
    const std::string name = WideToAnsi(Name);
    const std::string value = WideToAnsi(Value);
    if (currentKey_ == nullptr ||
        RegSetValueExA(currentKey_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        RaiseSetDataFailed(Name);
}

}  // namespace classlib
