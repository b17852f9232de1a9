// Visual themes for the Hover widgets.
#include "widgets/hover/hx_themes.h"

#include "classlib/gdi_handles.h"

namespace hover {

void DrawThemedBackground(classlib::TControl* Control, classlib::TCanvas* Canvas, const RECT& Rect,
                          classlib::TColor Color, bool NeedsParentBackground) {
    classlib::TWinControl* parent = Control->Parent();
    bool useParent = !Control->HasState(classlib::csDesigning) && parent != nullptr && ThemesEnabled() &&
                     (Color == parent->Color() || classlib::ColorToRGB(Color) == classlib::ColorToRGB(parent->Color()));
    if (useParent && NeedsParentBackground) useParent = Control->HasControlStyle(classlib::csParentBackground);
    if (useParent) {
        auto* windowed = dynamic_cast<classlib::TWinControl*>(Control);
        // A double-buffered control paints into an off-screen bitmap, which the theme engine
        // cannot place within the parent: the parent erases into it instead.
        const bool doubleBuffered = GetObjectType(Canvas->Handle()) == OBJ_MEMDC;
        if (windowed != nullptr && windowed->HandleAllocated() && !doubleBuffered) {
            classlib::DrawParentBackground(windowed->WindowHandle(), Canvas->Handle(), Rect);
        } else {
            PerformEraseBackground(Control, Canvas->Handle(), POINT{Control->Left(), Control->Top()}, Rect);
        }
        return;
    }
    classlib::TColor old = Canvas->Brush()->Color();
    Canvas->Brush()->SetColor(Color);
    Canvas->FillRect(Rect);
    Canvas->Brush()->SetColor(old);
}

void PerformEraseBackground(classlib::TControl* Control, HDC DC, POINT Offset, const RECT& Rect) {
    classlib::TWinControl* parent = Control->Parent();
    if (parent == nullptr) return;
    // The library places a windowless control by its viewport origin and a windowed one has its
    // own DC, so in both cases the parent's coordinates start Offset before the control's: the
    // window origin moves by Offset. A control at x = 0 or y = 0 still needs the other shift.
    POINT oldOrg{};
    GetWindowOrgEx(DC, &oldOrg);
    const bool shift = Offset.x != 0 || Offset.y != 0;
    if (shift) SetWindowOrgEx(DC, oldOrg.x + Offset.x, oldOrg.y + Offset.y, nullptr);
    const bool clip = !EqualRect(&Rect, &EmptyRectMarker);
    classlib::TOwnedRegion saved(CreateRectRgn(0, 0, 0, 0));
    int had = 0;
    if (clip) {
        had = GetClipRgn(DC, saved.Get());
        // Rect is in the control's coordinates: in device units it starts where the control does.
        POINT corners[2] = {{Rect.left, Rect.top}, {Rect.right, Rect.bottom}};
        if (shift) {
            for (POINT& p : corners) {
                p.x += Offset.x;
                p.y += Offset.y;
            }
        }
        LPtoDP(DC, corners, 2);
        classlib::TOwnedRegion r(CreateRectRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y));
        ExtSelectClipRgn(DC, r.Get(), RGN_AND);
    }
    parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), reinterpret_cast<LPARAM>(DC));
    if (shift) SetWindowOrgEx(DC, oldOrg.x, oldOrg.y, nullptr);
    if (clip) SelectClipRgn(DC, had == 1 ? saved.Get() : nullptr);
}

}  // namespace hover
