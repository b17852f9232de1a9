// The class library's windowed control: TWinControl (ANSI windows with creation parameters,
// handle lifetime and re-creation, children, focus and keys) and the window binding of controls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/control.h"

namespace classlib {

// ---- TWinControl -----------------------------------------------------------------------------
// The parameters a windowed control is created with (CreateParams fills them, CreateWnd
// registers WindowClass under WinClassName and CreateWindowHandle makes the window).
struct TCreateParams {
    std::string Caption;        // ANSI window text
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    void* Param = nullptr;
    WNDCLASSA WindowClass{};    // lpszClassName is set from WinClassName when registered
    std::string WinClassName;   // ANSI; the control's class name by default
};

// The control whose window is being created (set by CreateWnd around CreateWindowHandle; the
// first message to the window, in InitWndProc, binds the window to it and clears it).
extern TWinControl* CreationControl;
// The window procedure every class of the library is registered with: binds the window to
// CreationControl, sets the window's procedure to TWinControl::StdWndProc, stores the window and
// control properties, and passes the message on.
LRESULT CALLBACK InitWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
// The atoms under which every window of a control keeps a property pointing to its control:
// "Vortel%.8X" (process id) and "ControlOfs%.8X%.8X" (module instance, thread id). Registered
// by InitControlAtoms (idempotent, called on first window creation); a layer that re-registers
// the same names may store its atoms here.
extern ATOM WindowAtom;
extern ATOM ControlAtom;
extern std::string WindowAtomString;
extern std::string ControlAtomString;
void InitControlAtoms();
// The control of a window of this process made by the library (nullptr for any other window).
TWinControl* FindControl(HWND Window);
// Binds a window to its control: the two properties above, and a table of the library's own that
// the window procedure and FindControl read first (a property read is a call into the system, one
// per message). Unbind takes both away. Any thread.
void BindControlWindow(HWND Window, TWinControl* Control);
void UnbindControlWindow(HWND Window);
// The control at a screen point (a graphic control inside a window when there is one).
TControl* FindDragTarget(POINT Pos, bool AllowDisabled);
// The module instance windows and classes of the library are registered with.
HINSTANCE LibraryInstance();

// The base's table of message handlers that a layer above may wrap (today WM_PRINTCLIENT alone):
// Find answers the entry of a message (nullptr when the base has none); Replace puts Handler in
// the entry's place and answers the previous one (nullptr, changing nothing, for a message
// without entry). Main thread only.
using TWinControlMessageHandler = void (*)(TWinControl* Control, TMessage& Message);
TWinControlMessageHandler FindWinControlHandler(UINT Msg);
TWinControlMessageHandler ReplaceWinControlHandler(UINT Msg, TWinControlMessageHandler Handler);

class TWinControl : public TControl, public IStreamParent {
public:
    CLASSLIB_CLASS_NAME(TWinControl)
    explicit TWinControl(TComponent* AOwner);
    // Streams the child controls that Root owns, in child order.
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
    // Destroys the window, then every child control (the last one first).
    ~TWinControl() override;

    // ---- handle
    // The window, created (with the parent's) on first use.
    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded();
    // The raw handle field; layers that create the window themselves set it.
    HWND WindowHandle() const { return handle_; }
    void SetWindowHandle(HWND Value) { handle_ = Value; }
    // The owner window of a control without parent (a top-level window).
    HWND ParentWindow() const { return parentWindow_; }
    void SetParentWindow(HWND Value);
    // The procedure DefaultHandler passes unhandled messages to (CallWindowProcA).
    WNDPROC DefWndProc() const { return defWndProc_; }
    void SetDefWndProc(WNDPROC Value) { defWndProc_ = Value; }
    // Runs WindowProc, catching every exception and handing it to the application's
    // exception handling: nothing crosses the window procedure.
    void MainWndProc(TMessage& Message);
    // The Win32 procedure of every window bound to a control: finds the control by its window
    // property and calls its MainWndProc.
    static LRESULT CALLBACK StdWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    // The window procedure that calls this control's MainWndProc (StdWndProc for every control).
    WNDPROC ObjectInstance() const { return &StdWndProc; }

    // Destroys and re-creates the window keeping caption, bounds, visibility and children.
    void RecreateWnd();
    // Creates the window (and the children's) when it does not exist.
    virtual void CreateHandle();
    // Destroys the children's windows and then its own, keeping their state.
    void DestroyHandle();

    // ---- children
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int Index) const;
    void InsertControl(TControl* AControl);
    void RemoveControl(TControl* AControl);
    bool ContainsControl(TControl* Control) const;
    // The child at a client point (graphic controls too), visible and (unless AllowDisabled)
    // enabled, topmost first.
    TControl* ControlAtPos(POINT Pos, bool AllowDisabled, bool AllowWinControls = false);
    void Broadcast(TMessage& Message);
    void NotifyControls(UINT Msg);
    void AlignControls();
    void DisableAlign() { ++alignDisabled_; }
    void EnableAlign();

    // ---- docking (docking.cpp)
    // Whether controls may be docked here by the user (docking from code needs no such leave).
    bool DockSite() const { return dockSite_; }
    void SetDockSite(bool Value) { dockSite_ = Value; }
    int DockClientCount() const { return static_cast<int>(dockClients_.size()); }
    TControl* DockClients(int Index) const { return dockClients_.at(static_cast<size_t>(Index)); }

    // ---- focus and keys (win_control_keys.cpp)
    virtual bool CanFocus();
    bool Focused() const;
    virtual void SetFocus();
    // Focuses the first child that can take the focus (tab order = child order).
    void SelectFirst();
    // The windowed controls inside this one in tab order: each child in child order, followed
    // by its own list.
    void GetTabOrderList(std::vector<TWinControl*>& List) const;
    // The control after (or before) Current in this one's tab order, going round: one that can
    // take the focus and, with CheckTabStop, is a tab stop; nullptr when there is none. A
    // Current outside the list starts from the end (or the start).
    TWinControl* FindNextControl(TWinControl* Current, bool GoForward, bool CheckTabStop);
    // Focuses FindNextControl's answer; false when there was none.
    bool SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop);
    // Hidden or disabled, the control gives up the keyboard to its form (DefocusControl): keys
    // typed afterwards reach no control the user cannot see or use.
    void RemoveFocus();
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool Value) { tabStop_ = Value; }
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool Value);
    bool ParentBackground() const { return HasStyle(csParentBackground); }
    void SetParentBackground(bool Value);
    TBrush* Brush() { return &brush_; }
    // Offers a WM_CHAR to KeyPress/OnKeyPress; answers true when the key was consumed (set to 0).
    bool DoKeyPress(TMessage& Message);
    bool DoKeyDown(TMessage& Message);
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    bool Showing() const override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    RECT ClientRect() override;
    POINT ClientOrigin() override;
    void SetVisible(bool Value) override;
    void SetEnabled(bool Value) override;
    void Invalidate() override;
    void Update() override;
    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;
    void DefaultHandler(TMessage& Message) override;
    TControlActionLinkClass GetActionLinkClass() const override;

    // ---- creation (overridden by descendants, and by the wide layer above)
    virtual void CreateParams(TCreateParams& Params);
    // Copies the system class ClassName (an "EDIT", "BUTTON", ...) into Params.WindowClass so
    // that the control's default procedure becomes that class's procedure.
    void CreateSubClass(TCreateParams& Params, const char* ClassName);
    virtual void CreateWindowHandle(const TCreateParams& Params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    virtual void DestroyWindowHandle();

protected:
    virtual void KeyPress(char& Key);
    virtual void KeyDown(WORD& Key, TShiftState Shift);
    virtual void KeyUp(WORD& Key, TShiftState Shift);
    virtual void DoEnter();
    virtual void DoExit();
    // WM_PAINT: the window's own painting, then the graphic children in their bounds.
    void PaintHandler(TMessage& Message);
    virtual void PaintWindow(HDC DC);
    void PaintControls(HDC DC, TControl* First);
    // Reads the window's bounds back into Left/Top/Width/Height (not while minimised).
    virtual void UpdateBounds();
    bool HasStyle(std::uint32_t Flag) const { return (ControlStyle() & Flag) != 0; }
    // Called when the showing state changed (top-level windows and children alike).
    virtual void ShowingChanged();
    virtual void SetZOrder(bool TopMost);
    // A control docks here (CM_DOCKCLIENT, Dock): by default it becomes a child in ARect (an empty
    // rectangle keeps its size). A page control puts it on the sheet it made for it.
    virtual void DoAddDockClient(TControl* Client, const RECT& ARect);
    // A docked control left (it has its new parent already).
    virtual void DoRemoveDockClient(TControl* Client) { (void)Client; }
    // Told after AlignControls of the client rectangle its aligned children left (the whole
    // client rectangle when none is aligned); an MDI frame puts its client window there.
    virtual void AlignClientArea(const RECT& Remainder) { (void)Remainder; }

private:
    friend class TControl;
    friend LRESULT CALLBACK InitWndProc(HWND, UINT, WPARAM, LPARAM);
    void DoControlMsg(HWND ControlHandle, TMessage& Message, UINT Reflected);
    // The dock site's part (docking.cpp): CM_DOCKCLIENT docks the control it names,
    // CM_UNDOCKCLIENT lets the client go; a site that goes leaves its clients undocked.
    void DockSiteMessage(TMessage& Message);
    void ReleaseDockClients();
    // The focus and key messages of the window (win_control_keys.cpp).
    void FocusKeyMessage(TMessage& Message);
    void UpdateShowing();

    HWND handle_ = nullptr;
    // A place in the z-order asked for before the window existed: 0 none, 1 top, 2 bottom.
    std::uint8_t pendingZOrder_ = 0;
    HWND parentWindow_ = nullptr;
    std::vector<TControl*> dockClients_;  // not owned: they leave when they go
    bool dockSite_ = false;
    WNDPROC defWndProc_ = nullptr;
    std::vector<TControl*> controls_;
    int alignDisabled_ = 0;
    bool tabStop_ = false;
    bool ctl3D_ = true;
    TBrush brush_;
};

}  // namespace classlib
