// The class library's control base: the library's own messages, class references, control states
// and styles, hint information and TControl (bounds, texts, hints, actions, the WindowProc chain).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/graphics.h"
#include "classlib/hidden_window.h"
#include "classlib/objects.h"

namespace classlib {

class TControl;
class TWinControl;
class TBasicAction;
class TControlActionLink;
class TPopupMenu;

// ---- Messages of the library (never sent to windows of other programs) -----------------------
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0x00;
constexpr UINT CM_DEACTIVATE = CM_BASE + 0x01;
constexpr UINT CM_GOTFOCUS = CM_BASE + 0x02;
constexpr UINT CM_LOSTFOCUS = CM_BASE + 0x03;
constexpr UINT CM_CANCELMODE = CM_BASE + 0x04;
constexpr UINT CM_DIALOGKEY = CM_BASE + 0x05;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 0x06;   // WParam: character; answer 1 when used as accelerator
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 0x07;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 0x08;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 0x09;
constexpr UINT CM_HITTEST = CM_BASE + 0x0A;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 0x0B;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 0x0C;
constexpr UINT CM_COLORCHANGED = CM_BASE + 0x0D;
constexpr UINT CM_FONTCHANGED = CM_BASE + 0x0E;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 0x0F;
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 0x10;
constexpr UINT CM_PARENTCTL3DCHANGED = CM_BASE + 0x11;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 0x12;     // both parameters 0
constexpr UINT CM_MOUSEENTER = CM_BASE + 0x13;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 0x14;
constexpr UINT CM_MENUCHANGED = CM_BASE + 0x15;
constexpr UINT CM_APPKEYDOWN = CM_BASE + 0x16;
constexpr UINT CM_APPSYSCOMMAND = CM_BASE + 0x17;
constexpr UINT CM_BUTTONPRESSED = CM_BASE + 0x18;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 0x19;
constexpr UINT CM_ENTER = CM_BASE + 0x1A;
constexpr UINT CM_EXIT = CM_BASE + 0x1B;
constexpr UINT CM_ICONCHANGED = CM_BASE + 0x1D;
constexpr UINT CM_WANTSPECIALKEY = CM_BASE + 0x1E;
constexpr UINT CM_RELEASE = CM_BASE + 0x21;          // posted to a form: delete it
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 0x22;
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 0x23;
constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 0x24;
constexpr UINT CM_TABSTOPCHANGED = CM_BASE + 0x28;
constexpr UINT CM_CONTROLLISTCHANGE = CM_BASE + 0x2C;
constexpr UINT CM_CHILDKEY = CM_BASE + 0x2E;
constexpr UINT CM_HINTSHOW = CM_BASE + 0x30;         // LParam: THintInfo*; answer non-zero to refuse
constexpr UINT CM_DIALOGHANDLE = CM_BASE + 0x31;
constexpr UINT CM_RECREATEWND = CM_BASE + 0x33;
constexpr UINT CM_INVALIDATE = CM_BASE + 0x34;
constexpr UINT CM_CONTROLCHANGE = CM_BASE + 0x36;
constexpr UINT CM_CHANGED = CM_BASE + 0x37;
constexpr UINT CM_BORDERCHANGED = CM_BASE + 0x3B;
constexpr UINT CM_BIDIMODECHANGED = CM_BASE + 0x3C;
constexpr UINT CM_PARENTBIDIMODECHANGED = CM_BASE + 0x3D;
constexpr UINT CM_ACTIONUPDATE = CM_BASE + 0x3F;     // LParam: TBasicAction*; answer 1 when handled
constexpr UINT CM_ACTIONEXECUTE = CM_BASE + 0x40;    // LParam: TBasicAction*; answer 1 when handled
constexpr UINT CM_HINTSHOWPAUSE = CM_BASE + 0x41;

// Notifications a parent window receives (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM, ...)
// are reflected to the child control they concern as CN_BASE + the message.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_CHARTOITEM = CN_BASE + WM_CHARTOITEM;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_COMPAREITEM = CN_BASE + WM_COMPAREITEM;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLORDLG = CN_BASE + WM_CTLCOLORDLG;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORMSGBOX = CN_BASE + WM_CTLCOLORMSGBOX;
constexpr UINT CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_DELETEITEM = CN_BASE + WM_DELETEITEM;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_PARENTNOTIFY = CN_BASE + WM_PARENTNOTIFY;
constexpr UINT CN_VKEYTOITEM = CN_BASE + WM_VKEYTOITEM;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;

// ---- Class references ------------------------------------------------------------------------
// A class reference of the library: a name, the parent class reference and a factory, so that
// code can ask "exactly this class" (pointer equality), "descends from" (InheritsFrom) and make
// an instance. Each class that can be chosen at run time has one static instance.
template <typename Base, typename... Args>
class TClassRef {
public:
    using Factory = Base* (*)(Args...);
    TClassRef(const wchar_t* Name, const TClassRef* Parent, Factory Create)
        : name_(Name), parent_(Parent), create_(Create) {}
    TClassRef(const TClassRef&) = delete;
    TClassRef& operator=(const TClassRef&) = delete;
    const std::wstring& ClassName() const { return name_; }
    const TClassRef* ClassParent() const { return parent_; }
    // True when this class is Other or descends from it.
    bool InheritsFrom(const TClassRef* Other) const {
        for (const TClassRef* c = this; c != nullptr; c = c->parent_)
            if (c == Other) return true;
        return false;
    }
    Base* Create(Args... args) const { return create_(args...); }

private:
    std::wstring name_;
    const TClassRef* parent_;
    Factory create_;
};

// ---- Control states and styles ---------------------------------------------------------------
enum TControlStateFlag : std::uint32_t {
    csLButtonDown = 1u << 0,
    csClicked = 1u << 1,
    csPalette = 1u << 2,
    csReadingState = 1u << 3,
    csAlignmentNeeded = 1u << 4,
    csFocusing = 1u << 5,
    csCreating = 1u << 6,
    csPaintCopy = 1u << 7,
    csCustomPaint = 1u << 8,
    csDestroyingHandle = 1u << 9,
    csDocking = 1u << 10,
    csRecreating = 1u << 11,
};

enum TControlStyleFlag : std::uint32_t {
    csAcceptsControls = 1u << 0,
    csCaptureMouse = 1u << 1,
    csDesignInteractive = 1u << 2,
    csClickEvents = 1u << 3,
    csFramed = 1u << 4,
    csSetCaption = 1u << 5,
    csOpaque = 1u << 6,
    csDoubleClicks = 1u << 7,
    csFixedWidth = 1u << 8,
    csFixedHeight = 1u << 9,
    csNoDesignVisible = 1u << 10,
    csReplicatable = 1u << 11,
    csNoStdEvents = 1u << 12,
    csDisplayDragImage = 1u << 13,
    csReflector = 1u << 14,
    csActionClient = 1u << 15,
    csMenuEvents = 1u << 16,
    csParentBackground = 1u << 17,
};

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Shift state of mouse and key events (a bit set).
enum TShiftStateFlag : std::uint32_t {
    ssShift = 1u << 0, ssAlt = 1u << 1, ssCtrl = 1u << 2, ssLeft = 1u << 3, ssRight = 1u << 4,
    ssMiddle = 1u << 5, ssDouble = 1u << 6,
};
using TShiftState = std::uint32_t;
TShiftState KeysToShiftState(WPARAM Keys);
TShiftState KeyDataToShiftState(LPARAM KeyData);

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crHandPoint = -21;
// The system cursor shown for a cursor of the library: one the program registered under that
// number, else the system's own.
HCURSOR CursorHandle(TCursor Cursor);
// Registers a cursor under a number of the program's own (nullptr takes it out again); the
// caller keeps the handle alive while it is registered.
void SetCursorHandle(TCursor Cursor, HCURSOR Handle);
// The system's shared arrow cursor, loaded once: a shared cursor stays the same for the whole run,
// and each load costs a trip to the window server, once per window made.
HCURSOR ArrowCursor();

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// The control action link classes a control may ask for (GetActionLinkClass).
using TControlActionLinkClassRef = TClassRef<TControlActionLink, TControl*>;
using TControlActionLinkClass = const TControlActionLinkClassRef*;

// ---- Hint information (CM_HINTSHOW) ----------------------------------------------------------
class THintWindow;
using THintWindowClassRef = TClassRef<THintWindow, TComponent*>;
using THintWindowClass = const THintWindowClassRef*;

// Passed by address in CM_HINTSHOW's LParam; the control may change any field before the hint
// window is made from HintWindowClass and shown with HintStr and HintData.
struct THintInfo {
    TControl* HintControl = nullptr;
    THintWindowClass HintWindowClass = nullptr;
    POINT HintPos{};        // screen position of the hint window
    int HintMaxWidth = 0;
    TColor HintColor = clInfoBk;
    RECT CursorRect{};      // the hint stays while the cursor is inside (client coordinates)
    POINT CursorPos{};      // client coordinates
    int ReshowTimeout = 0;
    int HideTimeout = 0;
    std::string HintStr;    // ANSI
    void* HintData = nullptr;
};

// The part of a hint before / after the first "|" (the whole hint without one).
std::string GetShortHint(const std::string& Hint);
std::string GetLongHint(const std::string& Hint);

// ---- Size constraints ------------------------------------------------------------------------
// The smallest and largest size a control may take; 0 means no limit. A minimum set above the
// maximum raises the maximum, a maximum set below the minimum lowers the minimum. Assign copies
// all four; OnChange runs after every change.
class TSizeConstraints : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TSizeConstraints)
    int MinWidth() const { return minWidth_; }
    int MinHeight() const { return minHeight_; }
    int MaxWidth() const { return maxWidth_; }
    int MaxHeight() const { return maxHeight_; }
    void SetMinWidth(int Value);
    void SetMinHeight(int Value);
    void SetMaxWidth(int Value);
    void SetMaxHeight(int Value);
    void Assign(TPersistent* Source) override;
    TNotifyEvent OnChange;

private:
    void Changed();
    void SetLimit(int& Limit, int Value, int& Min, int& Max);
    int minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
};

using TConstrainedResizeEvent =
    std::function<void(TObject* Sender, int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight)>;

// ---- TControl --------------------------------------------------------------------------------
// Every control: bounds relative to its parent's client area, ANSI Caption/Text and Hint, an
// optional action, and the message path
//   Perform / window -> WindowProc (replaceable method chain) -> WndProc -> Dispatch -> DefaultHandler.
// Non-windowed controls keep their text themselves (DefaultHandler answers WM_GETTEXT, ...).
// A control takes part in component streams as the child of its parent (a form resource sets
// its Parent once its properties are read).
class TControl : public TComponent, public IStreamChild {
public:
    CLASSLIB_CLASS_NAME(TControl)
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;

    // ---- parent and bounds
    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* AParent);
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
    void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
    void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
    void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
    // Sizes pass the constraints first (ConstrainedResize may change them for this call).
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    TSizeConstraints* Constraints() const { return constraints_.get(); }
    void SetConstraints(TSizeConstraints* Value) { constraints_->Assign(Value); }
    RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
    virtual RECT ClientRect();
    int ClientWidth() { RECT r = ClientRect(); return r.right - r.left; }
    int ClientHeight() { RECT r = ClientRect(); return r.bottom - r.top; }
    void SetClientWidth(int Value);
    void SetClientHeight(int Value);
    virtual POINT ClientOrigin();
    POINT ClientToScreen(POINT Point);
    POINT ScreenToClient(POINT Point);
    TAlign Align() const { return align_; }
    void SetAlign(TAlign Value);

    // ---- visibility and state
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool Value);
    void Show();
    void Hide() { SetVisible(false); }
    // Visible and every parent showing (a top-level window: visible).
    virtual bool Showing() const;
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool Value);
    std::uint32_t ControlState() const { return controlState_; }
    void SetControlState(std::uint32_t Value) { controlState_ = Value; }
    bool HasControlState(std::uint32_t Flag) const { return (controlState_ & Flag) != 0; }
    std::uint32_t ControlStyle() const { return controlStyle_; }
    void SetControlStyle(std::uint32_t Value) { controlStyle_ = Value; }
    bool HasControlStyle(std::uint32_t Flag) const { return (controlStyle_ & Flag) != 0; }

    // ---- texts (ANSI, runtime code page)
    // The text goes through WM_GETTEXT / WM_SETTEXT (Perform), so a replaced WindowProc sees it.
    // Setting a different text performs WM_SETTEXT and then CM_TEXTCHANGED; the same text nothing.
    std::string Caption() { return GetText(); }
    void SetCaption(const std::string& Value) { SetText(Value); }
    std::string Text() { return GetText(); }
    void SetText(const std::string& Value);
    std::string GetText();
    int GetTextLen();
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value) { hint_ = Value; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool Value);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool Value);
    // Changing Name also changes the text when csSetCaption is set and the text was the old name.
    void SetName(const std::wstring& NewName) override;

    // ---- appearance
    TFont* Font() const { return font_.get(); }
    void SetFont(TFont* Value) { font_->Assign(Value); }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool Value);
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool Value);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor Value) { cursor_ = Value; }
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int Value) { helpContext_ = Value; }
    // Reading order: this library lays out left to right only; the flags are passed through.
    TBiDiMode BiDiMode() const { return biDiMode_; }
    void SetBiDiMode(TBiDiMode Value);
    bool UseRightToLeftReading() const;
    bool UseRightToLeftAlignment() const;
    // Adds DT_RTLREADING to DrawText flags when the control reads right to left.
    UINT DrawTextBiDiModeFlagsReadingOnly() const;
    UINT DrawTextBiDiModeFlags(UINT Flags) const;

    // The menu shown for the control's context-menu request (right click, the menu key); not
    // owned. Without one the request goes to the parent.
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* Value);

    // ---- actions
    // ---- docking (docking.cpp)
    // The dock site the control is docked in (nullptr: none).
    TWinControl* HostDockSite() const { return hostDockSite_; }
    // Docks the control into NewDockSite, which decides where it goes (CM_DOCKCLIENT; a page
    // control makes a sheet for it), once its present site let it go (CM_UNDOCKCLIENT);
    // nullptr undocks it (a form becomes a window of its own again). Answers whether it moved.
    bool ManualDock(TWinControl* NewDockSite, TControl* DropControl = nullptr, TAlign ControlSide = TAlign::alNone);
    // Joins NewDockSite (its DoAddDockClient places the control in ARect, site coordinates) and
    // leaves the previous site (DoRemoveDockClient).
    virtual void Dock(TWinControl* NewDockSite, const RECT& ARect);

    TBasicAction* Action() const;
    void SetAction(TBasicAction* Value);
    TControlActionLink* ActionLink() const { return actionLink_.get(); }
    // Calls the action link's Update (the idle pass does this for visible controls).
    virtual void InitiateAction();

    // ---- messages
    // The WindowProc chain: replace it with SetWindowProc(Method, Id) and call the previous
    // method from the new one to pass messages on. Id identifies the method (the control itself
    // for its own WndProc; whatever the installer passes otherwise, nullptr for none).
    const TWndMethod& WindowProc() const { return windowProc_; }
    const void* WindowProcId() const { return windowProcId_; }
    void SetWindowProc(TWndMethod Method, const void* Id = nullptr);
    bool WindowProcIsWndProc() const { return windowProcId_ == this; }
    // The control's own method, reachable by a replaced WindowProc: WndProc(Message).
    TWndMethod OwnWndProc();
    LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
    virtual void WndProc(TMessage& Message);
    // The message handlers: handles the messages the class knows and passes every other one to
    // the base class's Dispatch; the chain ends in DefaultHandler.
    virtual void Dispatch(TMessage& Message);
    virtual void DefaultHandler(TMessage& Message);

    // ---- painting
    virtual void Invalidate();
    virtual void Update();
    void Repaint();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();

    // ---- events
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    // Asked for the limits before every change of size (after Constraints gave theirs).
    TConstrainedResizeEvent OnConstrainedResize;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    // Runs the action when the control has one and no OnClick of its own, else OnClick.
    virtual void Click();
    virtual void DblClick();

    // The library's class reference of the control action link (answered by GetActionLinkClass).
    virtual TControlActionLinkClass GetActionLinkClass() const;
    // Takes the action's properties; with CheckDefaults only into properties still at their
    // default (empty caption or the control's name, empty hint, enabled, visible, ...).
    virtual void ActionChange(TObject* Sender, bool CheckDefaults);
    // A target-aware action (a status bar taking a hint action, ...) asks the control: answers
    // whether the action handled it (HandlesTarget, then ExecuteTarget / UpdateTarget).
    virtual bool ExecuteAction(TBasicAction* Action);
    virtual bool UpdateAction(TBasicAction* Action);
    // Drops the action when it is deleted.
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    virtual void Resize();
    // Gives the limits of a new size: by default OnConstrainedResize's word on them.
    virtual void ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight);
    // Brings a new size within the constraints (ConstrainedResize runs first).
    void DoConstrainedResize(int& NewWidth, int& NewHeight);
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    // Called by SetParent and by the parent when its font/colour/show-hint changes.
    virtual void VisibleChanging() {}
    // The part of the parent's client area this control covers was changed: repaint it.
    void InvalidateControl(bool IsVisible, bool IsOpaque);
    virtual void RequestAlign();
    // Bounds as the parent's alignment sets them (no re-alignment loop).
    void UpdateBoundsFields(int ALeft, int ATop, int AWidth, int AHeight);
    void DoActionChange(TObject* Sender);
    template <typename ClientT, typename LinkT>
    friend void SetClientAction(ClientT* Client, std::unique_ptr<LinkT>& Link, TBasicAction* Value);
    void SetTextField(const std::string& Value) { text_ = Value; }
    // Sets the visibility flag alone (a form starts hidden without showing anything).
    void InitVisible(bool Value) { visible_ = Value; }
    const std::string& TextField() const { return text_; }
    void FontChanged(TObject* Sender);

private:
    friend class TWinControl;
    void HandleMouseMessage(TMessage& Message);
    // Tells the dock site a message the docked control handled (CM_DOCKNOTIFICATION).
    void SendDockNotification(UINT Msg, WPARAM WParam, LPARAM LParam);

    TWinControl* hostDockSite_ = nullptr;
    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TAlign align_ = TAlign::alNone;
    bool visible_ = true;
    bool enabled_ = true;
    std::uint32_t controlState_ = 0;
    std::uint32_t controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    std::string text_;
    std::string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    std::unique_ptr<TFont> font_;
    std::unique_ptr<TSizeConstraints> constraints_;
    bool parentFont_ = true;
    TColor color_ = clWindow;
    bool parentColor_ = true;
    TCursor cursor_ = crDefault;
    int helpContext_ = 0;
    TBiDiMode biDiMode_ = TBiDiMode::bdLeftToRight;
    std::unique_ptr<TControlActionLink> actionLink_;
    TPopupMenu* popupMenu_ = nullptr;
    TWndMethod windowProc_;
    const void* windowProcId_ = nullptr;
};

}  // namespace classlib
