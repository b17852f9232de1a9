// Registering the filters of a library the user dropped on the help panel: the file's headers are
// read first (a library for this processor that exports the registration function, or nothing is
// loaded), then the library is loaded with its own folder on the search path, its registration
// function called, and both the library and the search path given back.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

// What the headers of a file say about it as a filter library.
enum class TLibraryCheck {
    lcLibrary,         // a DLL for this program's processor exporting the function asked for
    lcUnreadable,      // missing or not readable
    lcNotLibrary,      // not a Windows module, or a module that is not a DLL
    lcOtherProcessor,  // a DLL built for another processor (it could not be loaded here)
    lcNoExport,        // a DLL without the function asked for
};

// Reads FileName's headers and export table (every offset checked against the file; nothing of the
// file runs) and answers whether it is a library exporting ExportName.
TLibraryCheck CheckFilterLibrary(const std::wstring& FileName, const char* ExportName);

// The outcome of one registration or unregistration.
struct TRegistrationOutcome {
    TLibraryCheck Check = TLibraryCheck::lcUnreadable;
    bool Loaded = false;     // the library loaded and its function was called
    HRESULT Result = E_FAIL;  // the function's answer
    bool RolledBack = false;  // a failed registration was undone through the library's unregistration
    bool Faulted = false;     // the library's code faulted (the library then stays loaded)
    bool Succeeded() const { return Check == TLibraryCheck::lcLibrary && Loaded && !Faulted && SUCCEEDED(Result); }
};

// Registers (Install) or unregisters the filters of the library FileName through its exported
// "DllRegisterServer" or "DllUnregisterServer". While the library is loaded, the process's
// "path" holds its folder too, so that the libraries it needs beside it are found; afterwards
// "path" is exactly what it was (absent when it was absent). A registration that fails is undone
// through "DllUnregisterServer" when the library offers it, so that no half of it stays behind. A
// fault inside the library's functions is caught: the registration has failed, and the library is
// not unloaded (unloading would run its code again).
TRegistrationOutcome RegisterFilterLibrary(const std::wstring& FileName, bool Install);

// The process's environment variable Name, whole whatever its length; Present false when unset.
std::wstring ReadEnvironmentVariable(const wchar_t* Name, bool& Present);

}  // namespace ui
