// The Windows Media profile manager, made by the system's wmvcore.dll: taken from the system folder
// only, never from a copy that lies beside the program or in the current folder.
#pragma once

#include <windows.h>
#include <wmsdkidl.h>
#include <wrl/client.h>

namespace dshow {

// Makes a new profile manager into Manager; false (Manager empty) when the system has none. The
// library stays loaded for the process's life: the managers and profiles it makes live in it.
bool CreateWmProfileManager(Microsoft::WRL::ComPtr<IWMProfileManager>& Manager);

}  // namespace dshow
