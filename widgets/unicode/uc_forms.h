// The wide application object (wide title, hint and program path, the message hook that brings
// typed characters above 255 to Unicode windows intact) and the wide form and frame that the
// program's windows and panels derive from.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/forms.h"
#include "widgets/unicode/uc_controls.h"

namespace widgets {

class TUcAppIdleEventControl;

// What a wide form needs of a menu (the menus module implements it): the wide hint of an item
// and the right-to-left fix. A form's main menu is given with TUcForm::SetMainMenu; every
// component of a form that implements this interface gets the right-to-left fix when the
// form's reading order changes.
class IUcFormMenu {
public:
    virtual ~IUcFormMenu() = default;
    // The menu's handle (nullptr when it has none yet).
    virtual HMENU MenuHandle() = 0;
    // The wide hint of the item that is the popup SubMenu (when not nullptr) or that has the
    // command identifier Command; false when no item matches.
    virtual bool FindItemHint(HMENU SubMenu, UINT Command, std::wstring& WideHint) = 0;
    // Re-applies the right-to-left layout of the menu after its window changed.
    virtual void FixRightToLeft() = 0;
};

// ---- Wide application ------------------------------------------------------------------------
// One instance (UcApplication()), made by InitializeWideControls and destroyed by
// FinalizeWideControls. It hooks the class library's application window.
class TUcApplication : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TUcApplication)
    explicit TUcApplication(classlib::TComponent* AOwner);
    ~TUcApplication() override;

    // The wide copy of the application's ANSI Hint (replaced by the ANSI hint widened when that
    // was changed behind it). Setting it sets the ANSI Hint (which fires the application's
    // OnHint or hint action) when its ANSI form changes.
    std::wstring Hint();
    void SetHint(const std::wstring& Value);
    // The application window's wide text; kept pending while that window does not exist.
    std::wstring Title();
    void SetTitle(const std::wstring& Value);
    // The program file's full path (wide command-line argument 0).
    std::wstring ExeName() const;

    // The idle-event control made under a main form that is not a TUcForm (nullptr otherwise).
    TUcAppIdleEventControl* IdleEventControl() const { return idleEventControl_; }
    // Whether the main form was examined by the message hook.
    bool MainFormChecked() const { return mainFormChecked_; }

    // Sets the wide application hint to the long part of the wide hint of the control under
    // the mouse (the application's hint control and its parents).
    void RefreshHintFromMouseControl();

    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

private:
    friend class TUcAppIdleEventControl;
    friend LRESULT CALLBACK UcGetMessageHook(int Code, WPARAM WParam, LPARAM LParam);
    bool MainWindowHook(classlib::TMessage& Message);
    void CheckMainForm();

    bool mainFormChecked_ = false;
    classlib::TCustomForm* checkedMainForm_ = nullptr;
    std::wstring hint_;
    TUcAppIdleEventControl* idleEventControl_ = nullptr;
    std::wstring pendingTitle_;
};

// The wide application object (nullptr before InitializeWideControls and after
// FinalizeWideControls).
TUcApplication* UcApplication();

// Start-up and end of the wide controls, called by the program's main once, after the class
// library's application exists and before the first wide window is made: the wide control core
// (companion and pending-trap lists, control atoms), the wide application object and, on the NT
// platform, the main thread's message hook. Initialize raises the platform error when the hook
// cannot be installed. Both are idempotent.
void InitializeWideControls();
void FinalizeWideControls();
// Whether the main thread's message hook is installed.
bool WideMessageHookInstalled();

// ---- Wide form -------------------------------------------------------------------------------
// How a wide form is made: built in code (CreateNew, the program's own forms) or read from the
// form resources of its class (Create).
enum class TUcFormSource { CreateNew, FromResource };

// A form with a Unicode window and wide Caption and Hint. Built in code like every form of the
// class library: construct, add components, then AfterConstruction (NewForm / CreateForm). A form
// made FromResource reads, in AfterConstruction, the RCDATA resources named after its class and its
// registered ancestors down to TUcForm (RegisterPublishedProperties gives the ancestors), then runs
// OnCreate; without any it raises EResNotFound "Resource %s not found" with its class name (and
// NewForm / CreateForm delete it).
class TUcForm : public classlib::TForm {
public:
    CLASSLIB_CLASS_NAME(TUcForm)
    explicit TUcForm(classlib::TComponent* AOwner, TUcFormSource Source = TUcFormSource::CreateNew);
    TUcFormSource Source() const { return source_; }
    void AfterConstruction() override;

    std::wstring Caption() { return UcControl_GetText(this); }
    void SetCaption(const std::wstring& Value) { UcControl_SetText(this, Value); }
    std::wstring Hint() { return UcControl_GetHint(this); }
    void SetHint(const std::wstring& Value) { UcControl_SetHint(this, Value); }
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    bool IsHintStored() { return UcControl_IsHintStored(this); }

    // The main menu whose item hints become the application hint while the menu is open
    // (WM_MENUSELECT); not owned. nullptr: none.
    IUcFormMenu* MainMenu() const { return mainMenu_; }
    void SetMainMenu(IUcFormMenu* Value) { mainMenu_ = Value; }

    void DefineProperties(classlib::TFiler* Filer) override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void DestroyWindowHandle() override;
    void UpdateActions() override;
    void DefaultHandler(classlib::TMessage& Message) override;
    void Dispatch(classlib::TMessage& Message) override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;

private:
    void WMMenuSelect(classlib::TMessage& Message);
    IUcFormMenu* mainMenu_ = nullptr;
    TUcFormSource source_;
};

// ---- Wide frame ------------------------------------------------------------------------------
class TUcCustomFrame : public classlib::TCustomFrame {
public:
    CLASSLIB_CLASS_NAME(TUcCustomFrame)
    explicit TUcCustomFrame(classlib::TComponent* AOwner);

    std::wstring Hint() { return UcControl_GetHint(this); }
    void SetHint(const std::wstring& Value) { UcControl_SetHint(this, Value); }
    bool IsHintStored() { return UcControl_IsHintStored(this); }

    void DefineProperties(classlib::TFiler* Filer) override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;
};

class TUcFrame : public TUcCustomFrame {
public:
    CLASSLIB_CLASS_NAME(TUcFrame)
    explicit TUcFrame(classlib::TComponent* AOwner) : TUcCustomFrame(AOwner) {}
};

// ---- Idle-event control ----------------------------------------------------------------------
// A control with no size of its own, placed on a main form that is not a TUcForm: its action's
// OnExecute and OnUpdate refresh the wide application hint, so the idle pass (which updates the
// actions of visible controls) keeps the wide hint current under an ANSI main form too.
class TUcAppIdleEventControl : public classlib::TControl {
public:
    CLASSLIB_CLASS_NAME(TUcAppIdleEventControl)
    explicit TUcAppIdleEventControl(classlib::TComponent* AOwner);
    ~TUcAppIdleEventControl() override;
};

}  // namespace widgets
