// Visual themes: whether the system's theme engine draws the controls, one answer for every
// control that asks, and the parent's background drawn behind a control that shows it.
#pragma once

#include <windows.h>

#include <optional>

namespace classlib {

// True when the application is themed and a theme is active (Wine's default prefix has one).
bool ThemesEnabled();
// Tests set a fixed answer (std::nullopt: ask the system again).
void SetThemesEnabledForTesting(std::optional<bool> Value);

// Draws into DC the part of Window's parent that lies behind Rect (in Window's client pixels), as
// the theme engine does for a control with a see-through background; false when it could not.
bool DrawParentBackground(HWND Window, HDC DC, const RECT& Rect);

}  // namespace classlib
