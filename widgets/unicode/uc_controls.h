// The wide control core: wide texts and hints of any control of the class library, Unicode
// window classes with the trap that keeps a control's window, characters and hints wide under
// the ANSI class library, the parking of characters above 255 in character messages, and the
// wide hint window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "classlib/controls.h"
#include "classlib/list_controls.h"
#include "classlib/exceptions.h"
#include "unicode/wide_properties.h"

namespace widgets {

// ---- Start-up and end ------------------------------------------------------------------------
// Creates the companion list and the pending-trap list and registers the window and control
// atoms under the class library's names (raising the platform error when an atom cannot be
// registered). Idempotent; every operation that needs it calls it on first use.
void InitializeWideControlCore();
// Deletes the atoms and both lists; traps of windows still alive then only forget their window
// when it is destroyed. Idempotent; InitializeWideControlCore may run again afterwards.
void FinalizeWideControlCore();
bool WideControlCoreFinalized();

// ---- Wide texts and hints --------------------------------------------------------------------
std::wstring UcControl_GetText(classlib::TControl* Control);
void UcControl_SetText(classlib::TControl* Control, const std::wstring& Text);
std::wstring UcControl_GetHint(classlib::TControl* Control);
void UcControl_SetHint(classlib::TControl* Control, const std::wstring& Hint);
// True when the control has no action link or the link reports the caption (hint) not linked.
bool UcControl_IsCaptionStored(classlib::TControl* Control);
bool UcControl_IsHintStored(classlib::TControl* Control);
// The first non-empty wide hint of the control and its parents (the hint shown for it).
std::wstring UcControl_GetShownHint(classlib::TControl* Control);

// The part of a wide hint before / after the first "|" (the whole hint without one).
std::wstring WideGetShortHint(const std::wstring& Hint);
std::wstring WideGetLongHint(const std::wstring& Hint);

// The companion of a control without a Unicode window: its wide text and wide hint.
class TWideControlHelper : public unicode::TWideComponentHelper {
public:
    CLASSLIB_CLASS_NAME(TWideControlHelper)
    TWideControlHelper(classlib::TControl* AControl, unicode::TWideComponentHelperList* List);
    classlib::TControl* Control() const { return control_; }
    std::wstring WideCaption;
    std::wstring WideHint;

private:
    classlib::TControl* control_;
};
// The companion of the control, or nullptr / made when missing.
TWideControlHelper* FindWideControlHelper(classlib::TControl* Control);
TWideControlHelper* WideControlHelper(classlib::TControl* Control);

// ---- Unicode windows -------------------------------------------------------------------------
// Creates the control's window from the Unicode class "<ANSI class>.UnicodeClass" (the default
// procedure taken from the system class SubClass when it names one) and attaches a trap; on an
// ANSI-only platform the class library's ANSI window. Raises the platform error on failure.
void CreateUnicodeHandle(classlib::TWinControl* Control, const classlib::TCreateParams& Params,
                         const std::wstring& SubClass);
// Registers the Unicode class for Params (re-registers it when another procedure holds the
// name) and answers its wide name.
std::wstring RegisterUnicodeClass(const classlib::TCreateParams& Params);
// Attaches a trap to the control's freshly created Unicode window and carries a wide text kept
// while it had no window (else Caption widened) into it. A window that is not Unicode raises
// EUcInternalError.
void SubClassUnicodeControl(classlib::TWinControl* Control, const std::string& Caption);
// The control whose Unicode window is being created (nullptr outside the create call).
classlib::TWinControl* WindowBeingCreated();

// The trap of one Unicode window: sits between the window and the control's main window
// procedure (Win32 procedure), in front of the control's WindowProc chain, and between the
// control and the window's default procedure. Found by window or by control.
class TWinControlTrap : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TWinControlTrap)
    explicit TWinControlTrap(classlib::TWinControl* AControl);
    ~TWinControlTrap() override;

    classlib::TWinControl* Control() const { return control_; }
    HWND Handle() const { return handle_; }
    // Whether the control's WindowProc chain holds this trap's hook.
    bool IsInSubclassChain();
    // Binds the trap to a new window of its control (first message of the window).
    void AttachFirstMessage(HWND Window);
    void Subclass(HWND Window);

    static LRESULT CALLBACK Win32Proc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    static LRESULT CALLBACK DefaultProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    static TWinControlTrap* FindByWindow(HWND Window);
    static TWinControlTrap* FindByControl(const classlib::TWinControl* Control);

    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

private:
    void HookWindowProc(classlib::TMessage& Message);
    LRESULT Win32(UINT Msg, WPARAM WParam, LPARAM LParam);
    LRESULT Default(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    void Detach();
    void ForgetWindow();

    classlib::TWinControl* control_;
    HWND handle_ = nullptr;
    WNDPROC prevWin32Proc_ = nullptr;
    WNDPROC prevDefProc_ = nullptr;
    classlib::TWndMethod prevWindowProc_;
    const void* prevWindowProcId_ = nullptr;
    UINT lastWin32Msg_ = 0;
    int nesting_ = 0;
    bool freeWhenUnnested_ = false;
    bool testing_ = false;
    bool found_ = false;
};

// ---- Character messages ----------------------------------------------------------------------
// A WM_CHAR carries its character in the low 16 bits of WParam; a character above 255 is parked
// in the upper word with 255 as the char code while ANSI code handles the message.
void MakeWMCharMsgSafeForAnsi(classlib::TMessage& Message);
void RestoreWMCharMsg(classlib::TMessage& Message);
wchar_t GetWideCharFromWMCharMsg(const classlib::TMessage& Message);
void SetWideCharForWMCharMsg(classlib::TMessage& Message, wchar_t Ch);

// ---- Wide list controls ----------------------------------------------------------------------
// A list control with wide items.
class IWideCustomListControl {
public:
    virtual ~IWideCustomListControl() = default;
    virtual void AddItem(const std::wstring& Item, classlib::TObject* AObject) = 0;
};
// Adds through the wide interface when the control has it, else the ANSI form through AnsiAdd.
void WideListControl_AddItem(classlib::TControl* Control, const std::wstring& Item, classlib::TObject* AObject,
                             const std::function<void(const std::string&, classlib::TObject*)>& AnsiAdd);
// The same into a list control, whose own AddItem takes the ANSI form (what CopySelection does).
void WideListControl_AddItem(classlib::TCustomListControl* Destination, const std::wstring& Item,
                             classlib::TObject* AObject);

// ---- Wide hints ------------------------------------------------------------------------------
// The wide-hint step of CM_HINTSHOW (LParam: THintInfo*): swaps the plain hint window class for
// TUcCustomHintWindow, marks the hint information and puts the ANSI short hint in it.
void ProcessCMHintShowMsg(classlib::TControl* Control, classlib::TMessage& Message);

// The hint window that shows wide hints.
class TUcCustomHintWindow : public classlib::THintWindow {
public:
    CLASSLIB_CLASS_NAME(TUcCustomHintWindow)
    explicit TUcCustomHintWindow(classlib::TComponent* AOwner);
    static const classlib::THintWindowClassRef& ClassRef();
    classlib::THintWindowClass ClassType() const override { return &ClassRef(); }

    std::wstring Caption() { return UcControl_GetText(this); }
    void SetCaption(const std::wstring& Value) { UcControl_SetText(this, Value); }

    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void ActivateHint(RECT Rect, const std::string& AHint) override;
    void ActivateHintData(RECT Rect, const std::string& AHint, void* AData) override;
    RECT CalcHintRect(int MaxWidth, const std::string& AHint, void* AData) override;
    void Dispatch(classlib::TMessage& Message) override;
    // The wide text of marked hint data (empty when the data is not marked).
    static std::wstring WideHintOfData(const std::string& AHint, void* AData);

protected:
    void Paint() override;

private:
    bool activating_ = false;
    bool blockPaint_ = false;
};

}  // namespace widgets
