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

// ---- Forms -----------------------------------------------------------------------------------
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TPosition {
    poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
    poMainFormCenter, poOwnerFormCenter
};
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
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
    // Deletes the form once the messages now queued have been handled (posts CM_RELEASE).
    void Release();
    // Shows the form modally and runs a message loop (serving synchronised calls and timers)
    // until ModalResult is not mrNone; answers it. The other windows of the thread are disabled
    // meanwhile. Raises EInvalidOperation "Cannot make a visible window modal" for a visible
    // form (or a disabled one, or one already modal).
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
    // fsMDIChild and fsMDIForm are not built (no MDI window in this library): they raise
    // EInvalidOperation.
    void SetFormStyle(TFormStyle Value);
    // MDI client window (none in this library).
    HWND ClientHandle() const { return nullptr; }
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

    void SetVisible(bool Value) override;
    void CreateParams(TCreateParams& Params) override;
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

private:
    void CloseModal();
    void ApplyPosition();
    void ApplyLayered();
    TModalResult modalResult_ = mrNone;
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
};

class TForm : public TCustomForm {
public:
    CLASSLIB_CLASS_NAME(TForm)
    explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// Creates a form of class T (constructor arguments after the owner), then runs its
// AfterConstruction (OnCreate).
template <typename T, typename... Args>
T* NewForm(TComponent* AOwner, Args&&... args) {
    T* form = new T(AOwner, std::forward<Args>(args)...);
    form->AfterConstruction();
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
