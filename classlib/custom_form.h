// The class library's forms and frames: TCustomForm (a top-level window built in code, shown
// normally or modally), TForm, TCustomFrame and TFrame, with the task-window helpers of modal loops.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/exceptions.h"
#include "classlib/objects.h"

namespace classlib {

class TCustomForm;
class TForm;
class TMainMenu;
class TMenuItem;

// ---- Forms -----------------------------------------------------------------------------------
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TPosition {
    poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
    poMainFormCenter, poOwnerFormCenter
};
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TTileMode { tbHorizontal, tbVertical };

// The MDI frame's window list numbers its children's menu entries from here (menu items of the
// library take identifiers below it).
constexpr UINT kFirstMDIChildId = 0xFF00;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

enum TBorderIconFlag : std::uint32_t { biSystemMenu = 1u << 0, biMinimize = 1u << 1, biMaximize = 1u << 2, biHelp = 1u << 3 };
using TBorderIcons = std::uint32_t;

enum TFormStateFlag : std::uint32_t {
    fsCreating = 1u << 0,
    fsVisible = 1u << 1,
    fsShowing = 1u << 2,
    fsModal = 1u << 3,
    fsCreatedMDIChild = 1u << 4,
    fsActivated = 1u << 5,
};

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window built in code. The constructor is CreateNew: it makes an empty form; the
// creating code adds its components and then calls AfterConstruction() (CreateForm and NewForm
// do), which runs OnCreate. Deleting a form runs BeforeDestruction() first when nobody did
// (OnDestroy; the application and the owner call it before deleting, so that OnDestroy still
// sees the whole derived form).
class TCustomForm : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomForm)
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    // Runs DoCreate (OnCreate) unless OldCreateOrder (then the creating code runs DoCreate).
    virtual void AfterConstruction();
    // Marks the form as being destroyed, takes it from the screen's list and runs OnDestroy;
    // runs once.
    void BeforeDestruction();

    void Show();
    void Hide() { SetVisible(false); }
    // Modal: sets ModalResult to mrCancel. Otherwise asks CloseQuery, runs OnClose with caHide
    // (caFree for ... nothing else here) and applies the action: the main form ends the
    // application, caHide hides, caMinimize minimises, caFree releases.
    void Close();
    // Shows the form as Show does, but leaves the keyboard with the window that has it: for a
    // window the program opens beside the user's work. (A desktop's window manager gives no
    // keyboard to an owned window left off the task bar; activated, Windows would hand the keys
    // to it while the desktop still sends them to the window the user works in.)
    void ShowInactive();
    // Deletes the form once the messages now queued have been handled (posts CM_RELEASE).
    void Release();
    // Shows the form modally and runs a message loop (serving synchronised calls and timers)
    // until ModalResult is not mrNone; answers it. The other windows of the thread are disabled
    // meanwhile. The form is owned by the window it asks for (the thread's active window, else the
    // main form), so that it stays above it; when it closes, that window is active again, before
    // the form goes, with the keyboard focus where it was. Raises EInvalidOperation "Cannot make a
    // visible window modal" for a visible form (or a disabled one, or one already modal).
    virtual TModalResult ShowModal();
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult Value) { modalResult_ = Value; }
    // OnCloseQuery's answer (true without handler).
    virtual bool CloseQuery();

    std::uint32_t FormState() const { return formState_; }
    bool HasFormState(std::uint32_t Flag) const { return (formState_ & Flag) != 0; }
    void IncludeFormState(std::uint32_t Flag) { formState_ |= Flag; }
    void ExcludeFormState(std::uint32_t Flag) { formState_ &= ~Flag; }
    bool Active() const { return active_; }

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle Value);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons Value);
    TFormStyle FormStyle() const { return formStyle_; }
    // fsMDIForm makes the form an MDI frame: an MDI client window (ClientHandle) fills the client
    // area its aligned controls leave, and fsMDIChild forms live in it (the application's main
    // form must be the frame when a child's window is made, else EInvalidOperation "Cannot create
    // form. No MDI forms are currently active"). A change of MDI style re-creates the window; a
    // frame that holds children raises EInvalidOperation "Cannot change the style of a form that
    // has MDI children".
    void SetFormStyle(TFormStyle Value);
    // The MDI client window of a frame (nullptr for other forms or before the window exists).
    HWND ClientHandle() const { return clientHandle_; }

    // ---- MDI frame (fsMDIForm; without a client window they answer nullptr / 0 and do nothing)
    TCustomForm* ActiveMDIChild() const;
    // The MDI children whose windows are in the client, in creation order.
    int MDIChildCount() const;
    TCustomForm* MDIChildren(int Index) const;
    void Cascade();
    // Side by side (tbVertical) or one above the other (tbHorizontal, the default).
    void Tile();
    void ArrangeIcons();
    // Activates the child after / before the active one.
    void Next();
    void Previous();
    TTileMode TileMode() const { return tileMode_; }
    void SetTileMode(TTileMode Value) { tileMode_ = Value; }
    // The item of the menu bar whose sub-menu lists the children (the client appends them, the
    // active one checked); nullptr: none. The item needs sub-items of its own to be a sub-menu.
    TMenuItem* WindowMenu() const { return windowMenu_; }
    void SetWindowMenu(TMenuItem* Value);
    // Hands the menu bar and the window menu to the client again (the menu calls it after it
    // rebuilt itself, which drops the list of children).
    void RefreshMDIMenu();
    TPosition Position() const { return position_; }
    void SetPosition(TPosition Value) { position_ = Value; }
    TWindowState WindowState() const { return windowState_; }
    void SetWindowState(TWindowState Value);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool Value) { keyPreview_ = Value; }
    bool OldCreateOrder() const { return oldCreateOrder_; }
    void SetOldCreateOrder(bool Value) { oldCreateOrder_ = Value; }
    bool AlphaBlend() const { return alphaBlend_; }
    void SetAlphaBlend(bool Value);
    BYTE AlphaBlendValue() const { return alphaBlendValue_; }
    void SetAlphaBlendValue(BYTE Value);
    bool TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(bool Value);
    TColor TransparentColorValue() const { return transparentColorValue_; }
    void SetTransparentColorValue(TColor Value);
    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* Control);
    // Control (hidden or disabled) gives up the keyboard: the active control in it is none any
    // more, and the keyboard focus in it goes to the form's own window, where the form's
    // shortcuts answer the keys (the system leaves the focus in a hidden window).
    void DefocusControl(TWinControl* Control);

    // The help file used while this form is active (empty: the program's, Application's HelpFile).
    const std::wstring& HelpFile() const { return helpFile_; }
    void SetHelpFile(const std::wstring& Value) { helpFile_ = Value; }

    // Updates the form's own action and those of every visible control on it (the idle pass).
    virtual void UpdateActions();

    // The menu bar (not owned; normally a component of the form). Its commands, pop-up
    // openings, owner-drawn items and shortcuts are served by the form; nullptr: none.
    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* Value);

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    // An MDI child cannot be hidden: EInvalidOperation "Cannot hide an MDI Child Form".
    void SetVisible(bool Value) override;
    void CreateParams(TCreateParams& Params) override;
    // An MDI child's window is made in the main form's MDI client (CreateMDIWindowA).
    void CreateWindowHandle(const TCreateParams& Params) override;
    // An MDI child's window is destroyed by its client (WM_MDIDESTROY).
    void DestroyWindowHandle() override;
    // An MDI frame's unhandled messages go to DefFrameProcA (WM_SIZE to the plain default: the
    // client follows the aligned controls instead).
    void DefaultHandler(TMessage& Message) override;
    void CreateWnd() override;
    // Takes the menu bar off the window first, so that it outlives the window.
    void DestroyWnd() override;
    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void SetFocus() override;

protected:
    virtual void DoCreate();
    virtual void DoDestroy();
    // Runs OnShow, before the window becomes visible (each time it is shown): the place for
    // work at the form's showing.
    virtual void DoShow();
    virtual void DoHide();
    virtual void Activate();
    virtual void Deactivate();
    virtual void DoClose(TCloseAction& Action);
    void AlignClientArea(const RECT& Remainder) override;

private:
    void CreateMDIClient();
    void MDIActivate(TMessage& Message);
    void CloseModal();
    // The window a modal showing asks for: Active when it is a shown top-level window of the
    // thread, else the main form's, else the application window.
    HWND ModalOwnerFor(HWND Active);
    // Makes Owner the owner of the form's window (now, or when it is made).
    void SetOwnerWindow(HWND Owner);
    // Shows the window, activated or not, after OnShow.
    void ShowForm(bool Activate);
    void ApplyPosition();
    void ApplyLayered();
    TModalResult modalResult_ = mrNone;
    HWND ownerWindow_ = nullptr;  // while modal: the window it asks for (nullptr: the application's)
    std::uint32_t formState_ = 0;
    bool active_ = false;
    bool destructionBegun_ = false;
    bool positioned_ = false;
    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
    TPosition position_ = TPosition::poDesigned;
    TWindowState windowState_ = TWindowState::wsNormal;
    bool keyPreview_ = false;
    bool oldCreateOrder_ = false;
    bool alphaBlend_ = false;
    BYTE alphaBlendValue_ = 255;
    bool transparentColor_ = false;
    TColor transparentColorValue_ = 0;
    TWinControl* activeControl_ = nullptr;
    TMainMenu* menu_ = nullptr;
    std::wstring helpFile_;
    HWND clientHandle_ = nullptr;
    TMenuItem* windowMenu_ = nullptr;
    TTileMode tileMode_ = TTileMode::tbHorizontal;
};

class TForm : public TCustomForm {
public:
    CLASSLIB_CLASS_NAME(TForm)
    explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// Creates a form of class T (constructor arguments after the owner), then runs its
// AfterConstruction (OnCreate); a form whose AfterConstruction fails is deleted.
template <typename T, typename... Args>
T* NewForm(TComponent* AOwner, Args&&... args) {
    T* form = new T(AOwner, std::forward<Args>(args)...);
    try {
        form->AfterConstruction();
    } catch (...) {
        delete form;  // nothing half-made is left with the owner
        throw;
    }
    return form;
}

// A panel of controls placed on a form (a child window).
class TCustomFrame : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomFrame)
    explicit TCustomFrame(TComponent* AOwner);
    void CreateParams(TCreateParams& Params) override;
};

class TFrame : public TCustomFrame {
public:
    CLASSLIB_CLASS_NAME(TFrame)
    explicit TFrame(TComponent* AOwner) : TCustomFrame(AOwner) {}
};

// The frame (or form) a control is placed on: the first parent that is a TCustomForm.
TCustomForm* GetParentForm(TControl* Control);

// Disables every enabled visible top-level window of the thread except ActiveWindow; answers a
// list that EnableTaskWindows takes to enable them again.
using TTaskWindowList = std::vector<HWND>;
TTaskWindowList DisableTaskWindows(HWND ActiveWindow);
void EnableTaskWindows(const TTaskWindowList& List);

}  // namespace classlib
