// Visual themes for the Hover widgets: whether they are on, and a control's background taken
// from its parent where the theme rules want it (else filled with the control's colour).
#pragma once

#include <windows.h>

#include "classlib/controls.h"
#include "classlib/themes.h"

namespace hover {

// The class library's one answer on themes, and its seam for tests.
using classlib::SetThemesEnabledForTesting;
using classlib::ThemesEnabled;

// The rectangle marker meaning "no clip rectangle".
inline constexpr RECT EmptyRectMarker{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};

// Fills Rect on Canvas with Color, or lets the parent paint it when the control is not designing,
// has a parent, themes are on, Color matches the parent's colour and (with NeedsParentBackground)
// the control asks for its parent's background: the theme engine draws it for a windowed control
// painting on its window, the parent erases it for a windowless one or a double-buffered one (a
// control painting into an off-screen bitmap).
void DrawThemedBackground(classlib::TControl* Control, classlib::TCanvas* Canvas, const RECT& Rect,
                          classlib::TColor Color, bool NeedsParentBackground = true);
// Has the parent erase its background into DC behind the control: the origin is shifted by
// Offset (the control's place in its parent) and the clip limited to Rect (unless Rect is
// EmptyRectMarker); both are put back afterwards.
void PerformEraseBackground(classlib::TControl* Control, HDC DC, POINT Offset, const RECT& Rect = EmptyRectMarker);

}  // namespace hover
