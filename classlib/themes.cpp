// Visual themes.
#include "classlib/themes.h"

#include <uxtheme.h>

namespace classlib {

namespace {
std::optional<bool> gThemesForTesting;
}

bool ThemesEnabled() {
    if (gThemesForTesting) return *gThemesForTesting;
    return IsAppThemed() && IsThemeActive();
}

void SetThemesEnabledForTesting(std::optional<bool> Value) { gThemesForTesting = Value; }

bool DrawParentBackground(HWND Window, HDC DC, const RECT& Rect) {
    if (Window == nullptr || GetParent(Window) == nullptr) return false;
    RECT r = Rect;
    return SUCCEEDED(DrawThemeParentBackground(Window, DC, &r));
}

}  // namespace classlib
