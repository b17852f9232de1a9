// The widget kit's start-up and end: its hand and drag cursors in the screen's cursor table, the
// system's rich-edit library (so rich-text windows can be made) with the rich-text clipboard
// formats, and the four-digit-year flag of the date routines.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/control.h"

namespace widgets::kit {

constexpr classlib::TCursor crKitHand = 14000;
constexpr classlib::TCursor crKitDrag = 14001;

// What loading the rich-edit library left: the library (nullptr when none could be loaded), its
// version (1: none or the version-1 library, 2: the version-2 library, 3: that library on
// Windows NT 5 or later) and the four registered clipboard formats.
struct TRichEditState {
    HMODULE Library = nullptr;
    int Version = 1;
    UINT CFEmbeddedObject = 0;
    UINT CFLinkSource = 0;
    UINT CFRtf = 0;
    UINT CFRtfNoObjects = 0;
};

// Runs once before the first form: cursors, rich edit, four-digit year. Idempotent.
void InitializeKit();
// After the last form: frees the rich-edit library and takes the cursors out of the table.
void FinalizeKit();

const TRichEditState& RichEditState();
int RichEditVersion();
// Loads the version-2 library, else the version-1 one, without the system's "cannot open"
// box, and registers the clipboard formats (InitializeKit passes RICHED20.DLL and RICHED32.DLL).
TRichEditState LoadRichEditLibrary(const std::wstring& Version2Library, const std::wstring& Version1Library);

}  // namespace widgets::kit
