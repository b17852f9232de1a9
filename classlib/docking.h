// Docking of controls in code: a control (a form) docked into a dock site (a page control makes a
// tab sheet for it) and undocked again, with the messages that tell the sites. The members are
// TControl's and TWinControl's (ManualDock, Dock, HostDockSite, DockClients, DoAddDockClient).
#pragma once

#include <windows.h>

#include "classlib/control.h"

namespace classlib {

// To a dock site: dock the control of the dock object (WParam: TDockObject*); Result 0.
constexpr UINT CM_DOCKCLIENT = CM_BASE + 0x38;
// To the site a control leaves (WParam: the new site or nullptr, LParam: the control); Result 0
// lets it go.
constexpr UINT CM_UNDOCKCLIENT = CM_BASE + 0x39;
// To the site of a docked control after the control handled WM_SETTEXT or CM_VISIBLECHANGED
// (WParam: the control, LParam: TDockNotifyRec*).
constexpr UINT CM_DOCKNOTIFICATION = CM_BASE + 0x43;

// What is being docked, where: the control, its rectangle in the site's client area, the side of
// DropOnControl it goes to.
struct TDockObject {
    TControl* Control = nullptr;
    RECT DockRect{};
    TAlign DropAlign = TAlign::alNone;
    TControl* DropOnControl = nullptr;
};

// The message a docked control handled, as its site hears of it.
struct TDockNotifyRec {
    UINT ClientMsg = 0;
    WPARAM MsgWParam = 0;
    LPARAM MsgLParam = 0;
    LRESULT Result = 0;
};

}  // namespace classlib
