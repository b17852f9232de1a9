// Wide registry access: the class library's registry object with string values read and written
// as wide text, and the check that an in-process COM server is installed.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/registry.h"

namespace unicode {

class TUcRegistry : public classlib::TRegistry {
public:
    CLASSLIB_CLASS_NAME(TUcRegistry)
    using classlib::TRegistry::TRegistry;

    // REG_SZ or REG_EXPAND_SZ (environment variables left as they are), up to the first zero; a
    // missing value reads as the empty string; any other type raises "Invalid data type for '%s'".
    std::wstring ReadString(const std::wstring& Name) override;
    // REG_SZ with its terminator; raises "Failed to set data for '%s'".
    void WriteString(const std::wstring& Name, const std::wstring& Value) override;

protected:
    // The wide write; Type must be REG_SZ or REG_EXPAND_SZ.
    void PutDataW(const std::wstring& Name, const std::wstring& Value, DWORD Type);
};

// True when the class has a programmatic identifier and an in-process server path (InProcServer32,
// else InProcServer) under HKEY_LOCAL_MACHINE that names an existing file. Never raises.
bool IsComServerRegistered(const CLSID& ClassId);

}  // namespace unicode
