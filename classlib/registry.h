// The class library's registry object: one open key below a root key, with typed reads and writes
// of its values. Strings go through the ANSI registry functions, as the rest of the library is
// ANSI-based; the wide layer (unicode::TUcRegistry) overrides them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/objects.h"

namespace classlib {

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
    TRegDataType RegData = TRegDataType::rdUnknown;
    std::int32_t DataSize = 0;
};

class TRegistry : public TObject {
public:
    CLASSLIB_CLASS_NAME(TRegistry)
    // Root HKEY_CURRENT_USER, access KEY_ALL_ACCESS, no key open.
    TRegistry();
    explicit TRegistry(REGSAM AAccess);
    ~TRegistry() override;  // closes the current key
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return rootKey_; }
    // Changing the root closes the current key.
    void SetRootKey(HKEY Value);
    REGSAM Access() const { return access_; }
    void SetAccess(REGSAM Value) { access_ = Value; }
    HKEY CurrentKey() const { return currentKey_; }
    // Path of the current key below the root, without leading or trailing backslash.
    const std::wstring& CurrentPath() const { return currentPath_; }

    // Key paths: a leading backslash means "from the root key", anything else is relative to the
    // current key (to the root when none is open). Trailing backslashes are ignored.
    bool OpenKey(const std::wstring& Key, bool CanCreate);
    bool OpenKeyReadOnly(const std::wstring& Key);
    void CloseKey();
    // Creates the key (and missing parents) without making it current.
    bool CreateKey(const std::wstring& Key);
    // Deletes the key with everything below it.
    bool DeleteKey(const std::wstring& Key);
    bool KeyExists(const std::wstring& Key);

    // Values of the current key.
    bool ValueExists(const std::wstring& Name);
    bool DeleteValue(const std::wstring& Name);
    bool HasSubKeys();
    std::vector<std::wstring> GetKeyNames();
    std::vector<std::wstring> GetValueNames();
    bool GetDataInfo(const std::wstring& Name, TRegDataInfo& Info);
    TRegDataType GetDataType(const std::wstring& Name);  // rdUnknown when missing
    std::int32_t GetDataSize(const std::wstring& Name);  // -1 when missing

    // Reads raise ERegistryException: "Failed to get data for '%s'" when the value is missing or
    // unreadable, "Invalid data type for '%s'" when its type or size does not fit.
    // Writes raise "Failed to set data for '%s'".
    std::int32_t ReadInteger(const std::wstring& Name);  // REG_DWORD of 4 bytes
    void WriteInteger(const std::wstring& Name, std::int32_t Value);
    bool ReadBool(const std::wstring& Name);  // REG_DWORD, non-zero is true
    void WriteBool(const std::wstring& Name, bool Value);  // REG_DWORD 0 or 1
    double ReadFloat(const std::wstring& Name);  // REG_BINARY of exactly 8 bytes
    void WriteFloat(const std::wstring& Name, double Value);
    // Binary (or unknown-typed) data up to BufSize bytes; answers the bytes read, 0 when missing.
    std::int32_t ReadBinaryData(const std::wstring& Name, void* Buffer, std::int32_t BufSize);
    void WriteBinaryData(const std::wstring& Name, const void* Buffer, std::int32_t BufSize);

    // REG_SZ or REG_EXPAND_SZ (not expanded), up to the first zero; a missing value reads as empty.
    virtual std::wstring ReadString(const std::wstring& Name);
    // REG_SZ with its terminator.
    virtual void WriteString(const std::wstring& Name, const std::wstring& Value);

protected:
    // The key that a path starts from: the root for an absolute path or when no key is open.
    HKEY GetBaseKey(bool Relative) const;
    // Splits a path into (relative?, path without the leading and trailing backslashes).
    static bool IsRelative(const std::wstring& Key);
    static std::wstring StripPath(const std::wstring& Key);
    // Makes Value the current key (closing the previous one) with the given path.
    void ChangeKey(HKEY Value, const std::wstring& Path);
    [[noreturn]] static void RaiseInvalidType(const std::wstring& Name);
    [[noreturn]] static void RaiseGetDataFailed(const std::wstring& Name);
    [[noreturn]] static void RaiseSetDataFailed(const std::wstring& Name);

private:
    HKEY OpenSubKey(const std::wstring& Key, REGSAM Sam, bool Create, std::wstring* FullPath);
    void QueryFixed(const std::wstring& Name, DWORD WantedType, void* Buffer, DWORD Size);
    void PutData(const std::wstring& Name, DWORD Type, const void* Buffer, DWORD Size);

    HKEY rootKey_ = HKEY_CURRENT_USER;
    HKEY currentKey_ = nullptr;
    std::wstring currentPath_;
    REGSAM access_ = KEY_ALL_ACCESS;
};

}  // namespace classlib
