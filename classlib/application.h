// The class library's application and screen: TApplication (message loop with idle pass,
// synchronised calls, hints, exception handling, the hidden application window) and TScreen.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/custom_form.h"
#include "classlib/exceptions.h"
#include "classlib/objects.h"
#include "classlib/threads.h"

namespace classlib {

// ---- Screen ----------------------------------------------------------------------------------
class TScreen : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TScreen)
    explicit TScreen(TComponent* AOwner);
    ~TScreen() override;

    int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
    int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
    int PixelsPerInch() const { return ScreenPixelsPerInch(); }
    // The forms in creation order.
    int FormCount() const { return static_cast<int>(forms_.size()); }
    TCustomForm* Forms(int Index) const { return forms_.at(static_cast<size_t>(Index)); }
    int CustomFormCount() const { return FormCount(); }
    TCustomForm* CustomForms(int Index) const { return Forms(Index); }
    // The form whose window (or one of its child windows) is the active window, else nullptr.
    TCustomForm* ActiveForm() const;
    TCustomForm* ActiveCustomForm() const { return ActiveForm(); }
    // The font of hint windows (the system's status font).
    TFont* HintFont() { return &hintFont_; }
    // The cursor shown over the whole application (crDefault: each control's own).
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor Value);
    // The cursor table: the program's own cursors under their numbers.
    HCURSOR Cursors(TCursor Index) const { return CursorHandle(Index); }
    void SetCursors(TCursor Index, HCURSOR Handle) { SetCursorHandle(Index, Handle); }
    // A form's active control changed; another form became the active one.
    TNotifyEvent OnActiveControlChange;
    TNotifyEvent OnActiveFormChange;

private:
    friend class TCustomForm;
    void AddForm(TCustomForm* Form);
    void RemoveForm(TCustomForm* Form);
    std::vector<TCustomForm*> forms_;
    TFont hintFont_;
    TCursor cursor_ = crDefault;
};

// ---- Application -----------------------------------------------------------------------------
using TMessageEvent = std::function<void(MSG& Msg, bool& Handled)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;
// A main-window hook: answers true when it handled the message (Message.Result is the answer).
using TWindowHook = std::function<bool(TMessage& Message)>;
using TShowHintEvent = std::function<void(std::string& HintStr, bool& CanShow, THintInfo& HintInfo)>;
// A help request: answers whether help was given; CallHelp false keeps the system's help away.
using THelpEvent = std::function<bool(WORD Command, LONG_PTR Data, bool& CallHelp)>;
// A key the application may take as a shortcut before the forms see it.
using TShortCutEvent = std::function<void(MSG& Msg, bool& Handled)>;

// ---- Mouse -----------------------------------------------------------------------------------
// The mouse settings drags follow: whether a drag starts at once, else after the pointer moved
// DragThreshold pixels.
class TMouse {
public:
    bool DragImmediate() const { return dragImmediate_; }
    void SetDragImmediate(bool Value) { dragImmediate_ = Value; }
    int DragThreshold() const { return dragThreshold_; }
    void SetDragThreshold(int Value) { dragThreshold_ = Value; }

private:
    bool dragImmediate_ = true;
    int dragThreshold_ = 5;
};
TMouse* Mouse();

class TApplication : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TApplication)
    explicit TApplication(TComponent* AOwner);
    // Destroys the forms (last created first) and the application window.
    ~TApplication() override;

    // Makes the application window (Handle).
    void Initialize();
    // Creates a form of class T owned by the application; the first one becomes MainForm.
    // Reference is set before OnCreate runs. A form whose AfterConstruction fails is deleted and
    // Reference cleared before the exception goes on.
    template <typename T>
    void CreateForm(T*& Reference) {
        CheckMainThread("TApplication.CreateForm");
        T* form = new T(this);
        Reference = form;
        if (mainForm_ == nullptr) mainForm_ = form;
        try {
            form->AfterConstruction();
        } catch (...) {
            // A form that fails to be made (a form resource that cannot be read) is not kept.
            Reference = nullptr;
            if (mainForm_ == form) mainForm_ = nullptr;
            delete form;
            throw;
        }
    }
    // Shows the main form and runs the message loop until Terminate (or the main form closes).
    void Run();
    // Handles every queued message and the pending synchronised calls, then returns.
    void ProcessMessages();
    // Handles one message, or runs the idle pass and waits for the next one.
    void HandleMessage();
    // Ends the message loop (posts WM_QUIT).
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Destroys every form (the last created first) as at the program's end.
    void DestroyForms();

    TCustomForm* MainForm() const { return mainForm_; }
    void SetMainForm(TCustomForm* Form) { mainForm_ = Form; }
    // The hidden application window (made on first use): owner of the forms, holder of the
    // title, target of CM_ACTIONEXECUTE/CM_ACTIONUPDATE and of the thread wake-up.
    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    // ANSI title: the application window's text.
    std::string Title();
    void SetTitle(const std::string& Value);
    // The program file's path (ANSI).
    std::string ExeName() const;
    // The modeless dialog window whose dialog keys the loop handles (IsDialogMessage).
    HWND DialogHandle() const { return dialogHandle_; }
    void SetDialogHandle(HWND Value) { dialogHandle_ = Value; }

    // Hooks see every message of the application window first, in the order installed.
    void HookMainWindow(const void* Id, TWindowHook Hook);
    void UnhookMainWindow(const void* Id);

    // ---- hints
    // The hint of the control under the mouse (long part). Setting a different value runs
    // OnHint, or without handler executes a THintAction carrying it.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool Value);
    TColor HintColor() const { return hintColor_; }
    void SetHintColor(TColor Value) { hintColor_ = Value; }
    int HintPause() const { return hintPause_; }
    void SetHintPause(int Value) { hintPause_ = Value; }
    int HintShortPause() const { return hintShortPause_; }
    void SetHintShortPause(int Value) { hintShortPause_ = Value; }
    int HintHidePause() const { return hintHidePause_; }
    void SetHintHidePause(int Value) { hintHidePause_ = Value; }
    bool HintShortCuts() const { return hintShortCuts_; }
    void SetHintShortCuts(bool Value) { hintShortCuts_ = Value; }
    // Hides a shown hint and stops the hint timers.
    void CancelHint();
    // Shows the hint of the current hint control at CursorPos (what the hint timer does).
    void ActivateHint(POINT CursorPos);
    // Called by controls for every mouse message: starts or cancels the hint timer.
    void HintMouseMessage(TControl* Control, TMessage& Message);
    // The control whose hint is shown or pending, and the control under the mouse at the last
    // idle pass.
    TControl* HintControl() const { return hintControl_; }
    TControl* MouseControl() const { return mouseControl_; }
    THintWindow* HintWindow() const { return hintWindow_; }
    // The control whose non-empty hint is shown for Control: itself or its first parent with
    // a hint.
    static TControl* GetHintControl(TControl* Control);

    // ---- settings of the whole program
    // Run shows the main form only when this is set.
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool Value) { showMainForm_ = Value; }
    // Set: the locale's formats are read again when the system's settings change
    // (WM_WININICHANGE), before the main-window hooks hear of it.
    bool UpdateFormatSettings() const { return updateFormatSettings_; }
    void SetUpdateFormatSettings(bool Value) { updateFormatSettings_ = Value; }
    bool UpdateMetricSettings() const { return updateMetricSettings_; }
    void SetUpdateMetricSettings(bool Value) { updateMetricSettings_ = Value; }
    TBiDiMode BiDiMode() const { return biDiMode_; }
    void SetBiDiMode(TBiDiMode Value) { biDiMode_ = Value; }
    const std::string& BiDiKeyboard() const { return biDiKeyboard_; }
    void SetBiDiKeyboard(const std::string& Value) { biDiKeyboard_ = Value; }
    const std::string& NonBiDiKeyboard() const { return nonBiDiKeyboard_; }
    void SetNonBiDiKeyboard(const std::string& Value) { nonBiDiKeyboard_ = Value; }
    // The program's help file (empty: none); a form's own HelpFile is used while it is active.
    const std::wstring& HelpFile() const { return helpFile_; }
    void SetHelpFile(const std::wstring& Value) { helpFile_ = Value; }
    // The help file of the active form when it has one, else the program's.
    std::wstring CurrentHelpFile() const;
    // A help request: OnHelp first; when it leaves CallHelp set and a help file is known, the
    // system's help viewer shows the file (WinHelp). Answers the last answer given (false when
    // nobody answered).
    bool HelpCommand(WORD Command, LONG_PTR Data);
    // The help topic of a help context (HelpCommand with HELP_CONTEXT): what Help buttons ask.
    bool HelpContext(int Context) { return HelpCommand(HELP_CONTEXT, static_cast<LONG_PTR>(Context)); }
    // Minimises / restores the main form and runs OnMinimize / OnRestore.
    void Minimize();
    void Restore();
    THelpEvent OnHelp;
    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;
    TShortCutEvent OnShortCut;

    // ---- exceptions
    // Handles the exception being handled now (call inside a catch): OnException, or
    // ShowException when there is no handler.
    void HandleException(TObject* Sender);
    void HandleException(TObject* Sender, const std::exception_ptr& E);
    // Shows the message in a box (message-box seam) with the title; a "." is added when the
    // message does not end in one.
    void ShowException(const Exception& E);
    int MessageBox(const std::string& Text, const std::string& Caption, UINT Flags);

    // ---- actions
    // OnActionExecute / OnActionUpdate; answers whether the handler handled the action.
    bool ExecuteAction(TBasicAction* Action);
    bool UpdateAction(TBasicAction* Action);

    TMessageEvent OnMessage;
    TIdleEvent OnIdle;
    // The program becomes the active one / stops being it (WM_ACTIVATEAPP); a handler may replace
    // either event while it runs.
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnHint;
    TExceptionEvent OnException;
    TShowHintEvent OnShowHint;
    TActionEvent OnActionExecute;
    TActionEvent OnActionUpdate;

    // The application window's message handling (after the hooks).
    void WndProc(TMessage& Message);
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    static LRESULT CALLBACK AppWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    bool ProcessMessage(MSG& Msg);
    void Idle(const MSG& Msg);
    bool IsHintMsg(const MSG& Msg);
    bool IsDlgMsg(MSG& Msg);
    bool IsKeyMsg(MSG& Msg);
    bool IsDialogKey(const MSG& Msg, TCustomForm* Form);
    bool IsFormShortCut(TCustomForm* Form, TShortCut ShortCut);
    bool IsMDIMsg(MSG& Msg);
    void DoActionIdle();
    TControl* DoMouseIdle();
    void StartHintTimer(int Value, UINT_PTR Id);
    void StopHintTimer();
    void HintTimerExpired(UINT_PTR Id);
    bool DispatchAction(UINT Msg, TBasicAction* Action);

    HWND handle_ = nullptr;
    bool terminated_ = false;
    TCustomForm* mainForm_ = nullptr;
    std::string title_;
    HWND dialogHandle_ = nullptr;
    struct Hook {
        const void* id;
        TWindowHook hook;
    };
    std::vector<Hook> hooks_;

    std::string hint_;
    bool showHint_ = true;
    TColor hintColor_ = clInfoBk;
    int hintPause_ = 500;
    int hintShortPause_ = 50;
    int hintHidePause_ = 2500;
    bool hintShortCuts_ = true;
    std::wstring helpFile_;
    bool hintActive_ = false;
    TControl* hintControl_ = nullptr;
    TControl* mouseControl_ = nullptr;
    RECT hintCursorRect_{};
    THintWindow* hintWindow_ = nullptr;
    UINT_PTR hintTimer_ = 0;
    bool handlingException_ = false;
    bool showMainForm_ = true;
    bool updateFormatSettings_ = true;
    bool updateMetricSettings_ = true;
    TBiDiMode biDiMode_ = TBiDiMode::bdLeftToRight;
    std::string biDiKeyboard_;
    std::string nonBiDiKeyboard_;
};

// The application object and the screen of this program (made on first use).
TApplication* Application();
TScreen* Screen();
// Destroys the forms, the application object and the screen (at the program's end).
void DoneApplication();
// Whether the application object / the screen exist (without making them).
bool ApplicationExists();
bool ScreenExists();
// Tells the application that a control is going (it forgets it as hint or mouse control).
void ControlDestroyed(TControl* Control);
// The class of hint windows the application makes (nullptr: THintWindow).
extern THintWindowClass HintWindowClass;

}  // namespace classlib
