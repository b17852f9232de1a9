// What the control base and the windowed control share inside the class library: the mouse capture
// of graphic controls and the decoding of mouse messages. Not for other layers.
#pragma once

#include <windows.h>
#include <windowsx.h>

namespace classlib {

class TControl;
class TWinControl;

namespace detail {

// The graphic control that holds the mouse (its parent window has the system capture).
extern TControl* gCaptureControl;

inline bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST; }

inline POINT PointOf(LPARAM l) { return POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}; }

// The control a window is bound to (BindControlWindow), else the one its control property names;
// nullptr when the library's atoms are gone.
TWinControl* BoundControl(HWND Window);

}  // namespace detail
}  // namespace classlib
