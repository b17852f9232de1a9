// The main window's action table: the 55 commands in list order with their kinds, categories,
// shortcuts, command-line switches, script tokens, captions, hints, images and the states of the
// toggles. Lookups by switch or token take the first action in this order.
#pragma once

#include <cstddef>

#include "classlib/actions.h"

namespace ui {

struct TActionDef {
    const wchar_t* Name;
    bool Toggle;
    // The category as the form gives it (the interface texts may replace it).
    const wchar_t* Category;
    classlib::TShortCut ShortCut;
    // Set when the main form is created rather than by the form.
    bool ShortCutAtCreation;
    // The form's secondary shortcut ("" for none).
    const char* SecondaryShortCut;
    const wchar_t* Switch;
    const wchar_t* Token;
    const wchar_t* Caption;
    int ImageIndex;
    bool AutoCheck;
    const wchar_t* Hint;
};

struct TToggleDef {
    const wchar_t* Name;
    bool Checked;
    const wchar_t* FalseCaption;
    const wchar_t* TrueCaption;
    const wchar_t* FalseHint;
    const wchar_t* TrueHint;
    int FalseImage;
    int TrueImage;
};

constexpr std::size_t kActionCount = 55;
constexpr std::size_t kToggleCount = 9;
extern const TActionDef kActionTable[kActionCount];
extern const TToggleDef kToggleTable[kToggleCount];

// The entry of Name, nullptr when none.
const TActionDef* FindActionDef(const wchar_t* Name);
const TToggleDef* FindToggleDef(const wchar_t* Name);

}  // namespace ui
