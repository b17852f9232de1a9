// The Windows Media profile manager, made by the system's wmvcore.dll: loaded by its full path in the
// system folder, never a copy beside the program, in the current folder or already in the process.
#pragma once

#include <windows.h>
#include <wmsdkidl.h>
#include <wrl/client.h>

namespace dshow {

// Makes a new profile manager into Manager; false (Manager empty) when the system has none. The
// library stays loaded for the process's life: the managers and profiles it makes live in it.
bool CreateWmProfileManager(Microsoft::WRL::ComPtr<IWMProfileManager>& Manager);

}  // namespace dshow
