// Filter selection, disk space, beeps and the DirectX version: point a filter component at a
// device of a category, list the audio compressors, measure the disk of a folder, play the
// program's two beeps, show a FourCC as text and read the installed DirectX version.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace unicode {
class TWideStrings;
}

namespace dshow {

class TFilter;
class TSysDevEnum;

// Both detach Filter from its graph first (the caller sets it again) and answer whether a device
// was found; the stored moniker is left as it was when none was.
bool SelectFilterByCLSID(const GUID& Category, const GUID& ClassID, TFilter* Filter);
// The last of several devices of that name, compared without case.
bool SelectFilterByName(const GUID& Category, const std::wstring& Name, TFilter* Filter);
// The same from a snapshot already taken (a list just filled from it), without enumerating again.
bool SelectFilterByName(const TSysDevEnum& Devices, const std::wstring& Name, TFilter* Filter);
// The names of the audio compressors in enumeration order; False when that failed.
bool FillFilterNames(unicode::TWideStrings* List);
// The same for the video compressors (the settings panel's DivX list).
bool FillVideoCompressorNames(unicode::TWideStrings* List);
// The names of a snapshot in its order (List cleared first).
void FillSnapshotNames(const TSysDevEnum& Devices, unicode::TWideStrings* List);

// Whole mebibytes of the volume holding Path; 0 when the volume cannot be measured.
std::int32_t DiskTotalMB(const std::wstring& Path);
std::int32_t DiskUsedMB(const std::wstring& Path);
std::int32_t DiskFreeMB(const std::wstring& Path);

// Play the program's WAVE resources named "beep0" and "beep1" and return when they finished;
// a missing sound device is ignored (false tells that nothing played).
bool PlayBeep0();
bool PlayBeep1();

// The four bytes from the lowest as characters, or "" when one is below 32.
std::wstring FourCCToString(DWORD Value);

// "9.0c" from the Version value "4.09.00.0904" under HKLM\Software\Microsoft\DirectX; "Error"
// when the key or value is missing or not of that shape.
std::wstring GetDirectXVersion();
// The number before the first "." of GetDirectXVersion, 0 when there is none.
int GetDirectXMajor();

}  // namespace dshow
