// The screen and the application object of the class library.
#include "classlib/application.h"

#include <windowsx.h>

#include <algorithm>
#include <atomic>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/hidden_window.h"
#include "classlib/menus.h"
#include "classlib/message_box.h"
#include "classlib/threads.h"

namespace classlib {

THintWindowClass HintWindowClass = nullptr;

namespace {

TApplication* gApplication = nullptr;
TScreen* gScreen = nullptr;
// The application window as seen by worker threads that wake the main thread.
std::atomic<HWND> gWakeWindow{nullptr};

constexpr UINT_PTR kHintShowTimer = 1;
constexpr UINT_PTR kHintHideTimer = 2;
const char kAppClassName[] = "TApplication";

// The hint of a control: its own or its first parent's that has one.
std::string GetHint(TControl* Control) {
    for (TControl* c = Control; c != nullptr; c = c->Parent())
        if (!c->Hint().empty()) return c->Hint();
    return std::string();
}

}  // namespace

TApplication* Application() {
    if (gApplication == nullptr) gApplication = new TApplication(nullptr);
    return gApplication;
}

TScreen* Screen() {
    if (gScreen == nullptr) gScreen = new TScreen(nullptr);
    return gScreen;
}

bool ApplicationExists() { return gApplication != nullptr; }

TMouse* Mouse() {
    static TMouse mouse;
    return &mouse;
}
bool ScreenExists() { return gScreen != nullptr; }

void DoneApplication() {
    if (gApplication != nullptr) {
        TApplication* app = gApplication;
        app->DestroyForms();
        gApplication = nullptr;
        delete app;
    }
    delete gScreen;
    gScreen = nullptr;
}

void ControlDestroyed(TControl* Control) {
    if (gApplication != nullptr) gApplication->Notification(Control, TOperation::opRemove);
}

// ---- TScreen ---------------------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        hintFont_.AssignLogFont(metrics.lfStatusFont);
    hintFont_.SetColor(clInfoText);
}

TScreen::~TScreen() = default;

void TScreen::AddForm(TCustomForm* Form) { forms_.push_back(Form); }

void TScreen::RemoveForm(TCustomForm* Form) { forms_.erase(std::remove(forms_.begin(), forms_.end(), Form), forms_.end()); }

TCustomForm* TScreen::ActiveForm() const {
    HWND active = GetActiveWindow();
    if (active == nullptr) return nullptr;
    for (TCustomForm* f : forms_)
        if (f->HandleAllocated() && (f->WindowHandle() == active || IsChild(f->WindowHandle(), active))) return f;
    return nullptr;
}

void TScreen::SetCursor(TCursor Value) {
    cursor_ = Value;
    ::SetCursor(CursorHandle(Value));
}

// ---- TApplication ----------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
    // The default title: the program file's name without its extension.
    std::string exe = ExeName();
    size_t slash = exe.find_last_of("\\/");
    std::string base = slash == std::string::npos ? exe : exe.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    title_ = dot == std::string::npos ? base : base.substr(0, dot);
    SetWindowProcExceptionHandler([](const std::exception_ptr& e) {
        if (gApplication != nullptr) gApplication->HandleException(nullptr, e);
    });
    // A worker queueing a synchronised call wakes loops the library does not own (system
    // message boxes, menus): the null message reaches the application window, which serves it.
    SetWakeMainThread([] {
        HWND w = gWakeWindow.load();
        if (w != nullptr) PostMessageA(w, WM_NULL, 0, 0);
    });
}

TApplication::~TApplication() {
    DestroyForms();
    CancelHint();
    delete hintWindow_;
    hintWindow_ = nullptr;
    SetWakeMainThread(nullptr);
    SetWindowProcExceptionHandler(nullptr);
    gWakeWindow.store(nullptr);
    if (handle_ != nullptr) DestroyWindow(handle_);
    handle_ = nullptr;
    if (gApplication == this) gApplication = nullptr;
}

void TApplication::Initialize() { Handle(); }

HWND TApplication::Handle() {
    if (handle_ != nullptr) return handle_;
    WNDCLASSA existing{};
    if (!GetClassInfoA(LibraryInstance(), kAppClassName, &existing)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &AppWndProc;
        wc.hInstance = LibraryInstance();
        wc.hCursor = ArrowCursor();
        wc.lpszClassName = kAppClassName;
        if (RegisterClassA(&wc) == 0) RaiseLastOSError();
    }
    // The window binds itself to the application at its first message (AppWndProc), so that
    // hooks already see Handle() while it is being created.
    HWND h = CreateWindowExA(0, kAppClassName, title_.c_str(),
                             WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                             GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                             nullptr, LibraryInstance(), nullptr);
    if (h == nullptr) RaiseLastOSError();
    handle_ = h;
    gWakeWindow.store(h);
    return handle_;
}

LRESULT CALLBACK TApplication::AppWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TApplication* app = gApplication;
    if (app == nullptr || (app->handle_ != nullptr && app->handle_ != Window))
        return DefWindowProcA(Window, Msg, WParam, LParam);
    if (app->handle_ == nullptr) app->handle_ = Window;
    TMessage m{Msg, WParam, LParam, 0};
    try {
        app->WndProc(m);
    } catch (...) {
        try {
            app->HandleException(app);
        } catch (...) {
        }
    }
    return m.Result;
}

void TApplication::WndProc(TMessage& Message) {
    // The hooks below already see the new formats.
    if (Message.Msg == WM_WININICHANGE && updateFormatSettings_) LoadFormatSettingsFromLocale();
    for (const Hook& h : std::vector<Hook>(hooks_))
        if (h.hook(Message)) return;
    switch (Message.Msg) {
        case WM_NULL:
            CheckSynchronize();
            return;
        case WM_CLOSE:
            if (mainForm_ != nullptr) mainForm_->Close();
            return;
        case WM_QUERYENDSESSION:
            Message.Result = 1;
            return;
        case WM_TIMER:
            if (Message.WParam == kHintShowTimer || Message.WParam == kHintHideTimer) {
                HintTimerExpired(Message.WParam);
                return;
            }
            break;
        case WM_ACTIVATEAPP:
            if (Message.WParam == 0) CancelHint();
            {
                // A copy: the handler may replace the event it runs from.
                TNotifyEvent handler = Message.WParam != 0 ? OnActivate : OnDeactivate;
                if (handler) handler(this);
            }
            break;
        case CM_ACTIONEXECUTE:
        case CM_ACTIONUPDATE:
            Message.Result = DispatchAction(Message.Msg, reinterpret_cast<TBasicAction*>(Message.LParam)) ? 1 : 0;
            return;
        case WM_NCDESTROY:
            Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
            handle_ = nullptr;
            gWakeWindow.store(nullptr);
            return;
        default:
            break;
    }
    Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
}

void TApplication::HookMainWindow(const void* Id, TWindowHook Hook) {
    hooks_.push_back(TApplication::Hook{Id, std::move(Hook)});
}

void TApplication::UnhookMainWindow(const void* Id) {
    hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [&](const Hook& h) { return h.id == Id; }),
                 hooks_.end());
}

std::string TApplication::Title() {
    if (handle_ == nullptr) return title_;
    int len = GetWindowTextLengthA(handle_);
    std::string buf(static_cast<size_t>(std::max(len, 0)) + 1, '\0');
    int n = GetWindowTextA(handle_, buf.data(), len + 1);
    buf.resize(static_cast<size_t>(std::clamp(n, 0, std::max(len, 0))));
    return buf;
}

void TApplication::SetTitle(const std::string& Value) {
    CheckMainThread("TApplication.SetTitle");
    title_ = Value;
    if (handle_ != nullptr && Title() != Value) SetWindowTextA(handle_, Value.c_str());
}

std::string TApplication::ExeName() const {
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::string();
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

void TApplication::Run() {
    CheckMainThread("TApplication.Run");
    terminated_ = false;
    if (mainForm_ == nullptr) return;
    // The main form stands for the program on the task bar: the application window is never
    // shown. A window manager gives the keyboard only to such windows of their own (openbox
    // neither focuses an owned window left off the task bar when it appears nor falls back to it
    // when a question above it closes), so without it the keys would reach nothing until a click.
    // A form made before it became the main one gets it here, before it first appears.
    if (mainForm_->HandleAllocated() && mainForm_->Parent() == nullptr) {
        const HWND main = mainForm_->WindowHandle();
        const LONG_PTR exStyle = GetWindowLongPtrA(main, GWL_EXSTYLE);
        if ((exStyle & WS_EX_APPWINDOW) == 0) SetWindowLongPtrA(main, GWL_EXSTYLE, exStyle | WS_EX_APPWINDOW);
    }
    if (showMainForm_) mainForm_->Show();
    while (!terminated_) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::Terminate() {
    CheckMainThread("TApplication.Terminate");
    terminated_ = true;
    PostQuitMessage(0);
}

void TApplication::DestroyForms() {
    // The last created first (the owner's order), each told before its derived parts go.
    while (ComponentCount() > 0) {
        TComponent* c = Components(ComponentCount() - 1);
        if (auto* f = dynamic_cast<TCustomForm*>(c)) f->BeforeDestruction();
        delete c;
    }
}

void TApplication::ProcessMessages() {
    CheckMainThread("TApplication.ProcessMessages");
    MSG msg;
    while (ProcessMessage(msg)) {
    }
    CheckSynchronize();
}

void TApplication::HandleMessage() {
    CheckMainThread("TApplication.HandleMessage");
    MSG msg;
    if (!ProcessMessage(msg)) Idle(msg);
}

bool TApplication::ProcessMessage(MSG& Msg) {
    if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (Msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    bool handled = false;
    if (OnMessage) OnMessage(Msg, handled);
    if (!IsHintMsg(Msg) && !handled && !IsMDIMsg(Msg) && !IsKeyMsg(Msg) && !IsDlgMsg(Msg)) {
        TranslateMessage(&Msg);
        DispatchMessageA(&Msg);
    }
    return true;
}

bool TApplication::IsHintMsg(const MSG& Msg) {
    if (hintWindow_ != nullptr && hintWindow_->IsHintMsg(Msg)) CancelHint();
    return false;
}

// The MDI frame's own keys (Ctrl+F4, Ctrl+F6) while one of its children is active.
bool TApplication::IsMDIMsg(MSG& Msg) {
    if (mainForm_ == nullptr || mainForm_->FormStyle() != TFormStyle::fsMDIForm) return false;
    HWND client = mainForm_->ClientHandle();
    return client != nullptr && mainForm_->ActiveMDIChild() != nullptr && TranslateMDISysAccel(client, &Msg) != 0;
}

bool TApplication::IsDlgMsg(MSG& Msg) {
    return dialogHandle_ != nullptr && IsDialogMessageA(dialogHandle_, &Msg) != 0;
}

bool TApplication::IsKeyMsg(MSG& Msg) {
    if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN) return false;
    TWinControl* control = nullptr;
    for (HWND w = Msg.hwnd; w != nullptr && control == nullptr; w = GetParent(w)) control = FindControl(w);
    TCustomForm* form = GetParentForm(control);
    if (form == nullptr || !form->Enabled()) return false;
    if (OnShortCut) {
        bool handled = false;
        OnShortCut(Msg, handled);
        if (handled) return true;
    }
    TShortCut sc = ShortCut(static_cast<WORD>(Msg.wParam), KeyDataToShiftState(Msg.lParam));
    if (sc == scNone) return false;
    if (IsFormShortCut(form, sc) || IsDialogKey(Msg, form)) return true;
    // The main form's shortcuts work from the program's other windows too (a tool window, the
    // shortcuts' list), unless a modal form has it disabled, or the key is a character that the
    // window with the focus types, or the space bar that the focused button, check box or radio
    // button presses.
    TCustomForm* main = mainForm_;
    if (main == nullptr || main == form || !main->HandleAllocated() || !IsWindowEnabled(main->WindowHandle()))
        return false;
    const bool character = (sc & (scCtrl | scAlt)) == 0 && MapVirtualKeyA(static_cast<UINT>(Msg.wParam), MAPVK_VK_TO_CHAR) != 0;
    if (character) {
        DWORD takes = DLGC_WANTCHARS;
        if (Msg.wParam == VK_SPACE) takes |= DLGC_BUTTON | DLGC_RADIOBUTTON;
        if ((SendMessageA(Msg.hwnd, WM_GETDLGCODE, 0, 0) & takes) != 0) return false;
    }
    return IsFormShortCut(main, sc);
}

// The shortcuts of Form's menu bar, then those of its action lists.
bool TApplication::IsFormShortCut(TCustomForm* Form, TShortCut ShortCut) {
    if (Form->Menu() != nullptr && Form->Menu()->IsShortCut(ShortCut)) return true;
    for (int i = 0; i < Form->ComponentCount(); ++i)
        if (auto* list = dynamic_cast<TCustomActionList*>(Form->Components(i)); list != nullptr && list->IsShortCut(ShortCut))
            return true;
    return false;
}

// Tab and Shift+Tab in a window that does not ask for tabs go to its form, which moves the focus;
// Return and Escape in a window that does not ask for them go to the form too, whose default or
// focused button and cancel button answer them. A key the form takes goes no further, so no tab
// or line break reaches the window.
bool TApplication::IsDialogKey(const MSG& Msg, TCustomForm* Form) {
    if (Msg.message != WM_KEYDOWN) return false;
    DWORD wants = 0;
    switch (Msg.wParam) {
        case VK_TAB: wants = DLGC_WANTTAB; break;
        case VK_RETURN:
        case VK_ESCAPE: wants = DLGC_WANTALLKEYS | DLGC_WANTMESSAGE; break;
        default: return false;
    }
    // Asked without the message: given one, the system's edit takes itself to be in a dialog and
    // stops typing tabs and line breaks itself.
    if ((SendMessageA(Msg.hwnd, WM_GETDLGCODE, 0, 0) & wants) != 0) return false;
    return Form->Perform(CM_DIALOGKEY, Msg.wParam, Msg.lParam) != 0;
}

void TApplication::Idle(const MSG&) {
    TControl* control = DoMouseIdle();
    if (showHint_ && mouseControl_ == nullptr) CancelHint();
    bool done = true;
    try {
        SetHint(GetLongHint(GetHint(control)));
        if (OnIdle) OnIdle(this, done);
        if (done) DoActionIdle();
    } catch (...) {
        HandleException(this);
    }
    if (GetCurrentThreadId() == MainThreadID() && CheckSynchronize()) done = false;
    // An idle handler whose own message loop took the quit (the program ended from inside it) has
    // nothing left to wait for: the run ends now, not at the next input.
    if (done && !terminated_) {
        HANDLE event = SyncEvent();
        if (event != nullptr)
            MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        else
            WaitMessage();
    }
}

TControl* TApplication::DoMouseIdle() {
    POINT p;
    TControl* result = GetCursorPos(&p) ? FindDragTarget(p, true) : nullptr;
    if (mouseControl_ != result) {
        TControl* previous = mouseControl_;
        mouseControl_ = result;
        if (previous != nullptr) previous->Perform(CM_MOUSELEAVE, 0, 0);
        if (result != nullptr && mouseControl_ == result) result->Perform(CM_MOUSEENTER, 0, 0);
    }
    return mouseControl_;
}

void TApplication::DoActionIdle() {
    if (!ScreenExists()) return;
    for (int i = 0; i < Screen()->CustomFormCount(); ++i) {
        TCustomForm* f = Screen()->CustomForms(i);
        if (f->HandleAllocated() && IsWindowVisible(f->WindowHandle()) && IsWindowEnabled(f->WindowHandle()))
            f->UpdateActions();
    }
}

void TApplication::SetHint(const std::string& Value) {
    if (hint_ == Value) return;
    hint_ = Value;
    if (OnHint) {
        OnHint(this);
        return;
    }
    // Nobody listens: a hint action carries the text to whoever shows hints (a status bar).
    THintAction action(nullptr);
    action.SetHint(Value);
    action.Execute();
}

void TApplication::SetShowHint(bool Value) {
    if (showHint_ == Value) return;
    showHint_ = Value;
    if (!Value) CancelHint();
}

TControl* TApplication::GetHintControl(TControl* Control) {
    TControl* c = Control;
    while (c != nullptr && !c->ShowHint()) c = c->Parent();
    if (c != nullptr && c->HasState(csDesigning)) return nullptr;
    return c;
}

void TApplication::HintMouseMessage(TControl* Control, TMessage& Message) {
    (void)Control;
    if (!showHint_) return;
    POINT cursor;
    if (!GetCursorPos(&cursor)) return;
    TControl* newHint = GetHintControl(FindDragTarget(cursor, true));
    if (newHint == nullptr || GetHint(newHint).empty()) {
        CancelHint();
        return;
    }
    switch (Message.Msg) {
        case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK:
            CancelHint();
            return;
        default:
            break;
    }
    POINT inside = newHint->ScreenToClient(cursor);
    if (newHint != hintControl_ || !PtInRect(&hintCursorRect_, inside)) {
        int pause = hintActive_ ? hintShortPause_ : hintPause_;
        if (hintWindow_ != nullptr && hintWindow_->HandleAllocated()) hintWindow_->ReleaseHandle();
        hintControl_ = newHint;
        hintCursorRect_ = newHint->ClientRect();
        StartHintTimer(pause, kHintShowTimer);
    }
}

void TApplication::StartHintTimer(int Value, UINT_PTR Id) {
    StopHintTimer();
    hintTimer_ = SetTimer(Handle(), Id, static_cast<UINT>(std::max(Value, 1)), nullptr);
    if (hintTimer_ == 0) CancelHint();
}

void TApplication::StopHintTimer() {
    if (hintTimer_ != 0 && handle_ != nullptr) KillTimer(handle_, hintTimer_);
    hintTimer_ = 0;
}

void TApplication::HintTimerExpired(UINT_PTR Id) {
    StopHintTimer();
    if (Id == kHintShowTimer) {
        POINT p;
        if (GetCursorPos(&p)) ActivateHint(p);
    } else {
        CancelHint();
    }
}

void TApplication::ActivateHint(POINT CursorPos) {
    if (hintControl_ == nullptr) return;
    THintInfo info;
    info.HintControl = hintControl_;
    info.HintWindowClass = HintWindowClass != nullptr ? HintWindowClass : &THintWindow::ClassRef();
    info.HintPos = POINT{CursorPos.x, CursorPos.y + GetSystemMetrics(SM_CYCURSOR) * 3 / 4};
    info.HintMaxWidth = Screen()->Width();
    info.HintColor = hintColor_;
    info.CursorRect = hintControl_->ClientRect();
    info.CursorPos = hintControl_->ScreenToClient(CursorPos);
    info.HideTimeout = hintHidePause_;
    info.HintStr = GetShortHint(GetHint(hintControl_));
    info.HintData = nullptr;
    bool canShow = hintControl_->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)) == 0;
    if (canShow && OnShowHint) OnShowHint(info.HintStr, canShow, info);
    hintActive_ = canShow && !info.HintStr.empty();
    if (!hintActive_) {
        if (hintWindow_ != nullptr && hintWindow_->HandleAllocated()) hintWindow_->ReleaseHandle();
        return;
    }
    if (hintWindow_ == nullptr || hintWindow_->ClassType() != info.HintWindowClass) {
        delete hintWindow_;
        hintWindow_ = nullptr;
        hintWindow_ = info.HintWindowClass->Create(nullptr);
    }
    RECT r = hintWindow_->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
    OffsetRect(&r, info.HintPos.x, info.HintPos.y);
    hintWindow_->SetColor(info.HintColor);
    hintWindow_->ActivateHintData(r, info.HintStr, info.HintData);
    hintCursorRect_ = info.CursorRect;
    if (info.HideTimeout > 0) StartHintTimer(info.HideTimeout, kHintHideTimer);
}

void TApplication::CancelHint() {
    StopHintTimer();
    if (hintWindow_ != nullptr && hintWindow_->HandleAllocated()) hintWindow_->ReleaseHandle();
    hintActive_ = false;
    hintControl_ = nullptr;
}

void TApplication::HandleException(TObject* Sender) { HandleException(Sender, std::current_exception()); }

void TApplication::HandleException(TObject* Sender, const std::exception_ptr& E) {
    if (!E) return;
    if (GetCapture() != nullptr) SendMessageA(GetCapture(), WM_CANCELMODE, 0, 0);
    auto report = [&](const Exception& ex) {
        if (OnException)
            OnException(Sender, ex);
        else
            ShowException(ex);
    };
    try {
        std::rethrow_exception(E);
    } catch (const EAbort&) {
        // Silent by design.
    } catch (const Exception& ex) {
        report(ex);
    } catch (const std::exception& ex) {
        report(Exception(AnsiToWide(ex.what(), CP_UTF8)));
    } catch (...) {
        report(Exception(L"Unknown exception"));
    }
}

void TApplication::ShowException(const Exception& E) {
    std::wstring msg = E.Message();
    if (!msg.empty() && msg.back() != L'.' && msg.back() != L'!' && msg.back() != L'?') msg += L'.';
    HWND owner = GetActiveWindow();
    ShowMessageBox(owner, msg, AnsiToWide(Title()), MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, UINT Flags) {
    CheckMainThread("TApplication.MessageBox");
    return ShowMessageBox(GetActiveWindow(), AnsiToWide(Text), AnsiToWide(Caption), Flags);
}

std::wstring TApplication::CurrentHelpFile() const {
    TCustomForm* form = ScreenExists() ? Screen()->ActiveForm() : nullptr;
    if (form != nullptr && !form->HelpFile().empty()) return form->HelpFile();
    return helpFile_;
}

bool TApplication::HelpCommand(WORD Command, LONG_PTR Data) {
    bool callHelp = true;
    bool result = false;
    if (OnHelp) {
        THelpEvent handler = OnHelp;  // a handler may replace the event
        result = handler(Command, Data, callHelp);
    }
    if (callHelp) {
        std::wstring file = CurrentHelpFile();
        if (!file.empty()) result = WinHelpW(Handle(), file.c_str(), Command, static_cast<ULONG_PTR>(Data)) != FALSE;
    }
    return result;
}

void TApplication::Minimize() {
    if (mainForm_ != nullptr && mainForm_->HandleAllocated()) ShowWindow(mainForm_->WindowHandle(), SW_MINIMIZE);
    if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
    if (mainForm_ != nullptr && mainForm_->HandleAllocated()) ShowWindow(mainForm_->WindowHandle(), SW_RESTORE);
    if (OnRestore) OnRestore(this);
}

bool TApplication::ExecuteAction(TBasicAction* Action) {
    bool handled = false;
    if (OnActionExecute) OnActionExecute(Action, handled);
    return handled;
}

bool TApplication::UpdateAction(TBasicAction* Action) {
    bool handled = false;
    if (OnActionUpdate) OnActionUpdate(Action, handled);
    return handled;
}

bool TApplication::DispatchAction(UINT Msg, TBasicAction* Action) {
    TCustomForm* form = ScreenExists() ? Screen()->ActiveForm() : nullptr;
    if (form != nullptr && form->Perform(Msg, 0, reinterpret_cast<LPARAM>(Action)) == 1) return true;
    return mainForm_ != nullptr && mainForm_ != form &&
           mainForm_->Perform(Msg, 0, reinterpret_cast<LPARAM>(Action)) == 1;
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || AComponent == nullptr) return;
    if (AComponent == static_cast<TComponent*>(mainForm_)) mainForm_ = nullptr;
    if (AComponent == static_cast<TComponent*>(hintControl_)) CancelHint();
    if (AComponent == static_cast<TComponent*>(mouseControl_)) mouseControl_ = nullptr;
    if (AComponent == static_cast<TComponent*>(hintWindow_)) hintWindow_ = nullptr;
}

}  // namespace classlib
