// The wide control core: wide texts and hints, Unicode windows with their traps, character
// parking and the wide hint window.
#include "widgets/unicode/uc_controls.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "classlib/actions.h"
#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/measured_text.h"
#include "classlib/threads.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_menus.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::TControl;
using classlib::TMessage;
using classlib::TWinControl;
using classlib::WideToAnsi;

namespace {

// All of this runs on the main thread only (as the class library's window core does).
unicode::TWideComponentHelperList* gHelperList = nullptr;
std::vector<TWinControlTrap*> gPendingTraps;     // not owned
std::vector<TWinControlTrap*> gAllTraps;         // not owned: every live trap
std::unordered_map<HWND, TWinControlTrap*> gTrapByWindow;
TWinControl* gWindowBeingCreated = nullptr;
bool gInitialized = false;
bool gFinalized = false;
ATOM gWindowAtom = 0;
ATOM gControlAtom = 0;
std::string gWindowAtomName;
std::string gControlAtomName;

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

TWinControlTrap* TakePendingTrap(const TWinControl* Control) {
    for (auto it = gPendingTraps.rbegin(); it != gPendingTraps.rend(); ++it) {
        if ((*it)->Control() == Control) {
            TWinControlTrap* trap = *it;
            gPendingTraps.erase(std::next(it).base());
            return trap;
        }
    }
    return nullptr;
}

void AddPending(TWinControlTrap* Trap) {
    if (std::find(gPendingTraps.begin(), gPendingTraps.end(), Trap) == gPendingTraps.end())
        gPendingTraps.push_back(Trap);
}

void RemovePending(TWinControlTrap* Trap) {
    gPendingTraps.erase(std::remove(gPendingTraps.begin(), gPendingTraps.end(), Trap), gPendingTraps.end());
}

// The window's own text, by the count the window answers.
std::wstring WindowTextW(HWND Window) {
    int len = GetWindowTextLengthW(Window);
    if (len <= 0) return std::wstring();
    std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
    int n = GetWindowTextW(Window, buf.data(), len + 1);
    buf.resize(static_cast<size_t>(std::clamp(n, 0, len)));
    return buf;
}

// The first message of every window of a Unicode class: binds the window to the control being
// created and hands it to the control's main window procedure.
LRESULT CALLBACK UcInitWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControl* control = classlib::CreationControl != nullptr ? classlib::CreationControl : gWindowBeingCreated;
    if (control == nullptr) return DefWindowProcW(Window, Msg, WParam, LParam);
    try {
        classlib::CreationControl = nullptr;
        control->SetWindowHandle(Window);
        TWinControlTrap* trap = TakePendingTrap(control);
        if (trap == nullptr) trap = new TWinControlTrap(control);
        AddPending(trap);
        trap->AttachFirstMessage(Window);
        SetWindowLongPtrW(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::StdWndProc));
        if ((GetWindowLongPtrW(Window, GWL_STYLE) & WS_CHILD) != 0 && GetWindowLongPtrW(Window, GWLP_ID) == 0)
            SetWindowLongPtrW(Window, GWLP_ID, reinterpret_cast<LONG_PTR>(Window));
        classlib::BindControlWindow(Window, control);
    } catch (...) {
        classlib::HandleWindowProcException(std::current_exception());
        return DefWindowProcW(Window, Msg, WParam, LParam);
    }
    return CallWindowProcW(&TWinControl::StdWndProc, Window, Msg, WParam, LParam);
}

}  // namespace

// ---- Start-up and end ------------------------------------------------------------------------

void InitializeWideControlCore() {
    if (gInitialized) return;
    unicode::InitializeWidePlatform();
    // The class library's own atoms first, then our reference to the same names.
    classlib::InitControlAtoms();
    gWindowAtomName = classlib::WindowAtomString;
    gControlAtomName = classlib::ControlAtomString;
    gWindowAtom = GlobalAddAtomA(gWindowAtomName.c_str());
    if (gWindowAtom == 0) classlib::RaiseLastOSError();
    gControlAtom = GlobalAddAtomA(gControlAtomName.c_str());
    if (gControlAtom == 0) {
        DWORD error = GetLastError();
        GlobalDeleteAtom(gWindowAtom);
        gWindowAtom = 0;
        classlib::RaiseLastOSError(error);
    }
    classlib::ControlAtom = gControlAtom;
    gHelperList = new unicode::TWideComponentHelperList();
    gPendingTraps.clear();
    gFinalized = false;
    gInitialized = true;
}

void FinalizeWideControlCore() {
    if (!gInitialized) return;
    if (gWindowAtom != 0) GlobalDeleteAtom(gWindowAtom);
    if (gControlAtom != 0) GlobalDeleteAtom(gControlAtom);
    gWindowAtom = gControlAtom = 0;
    delete gHelperList;
    gHelperList = nullptr;
    gPendingTraps.clear();
    gFinalized = true;
    gInitialized = false;
    gWindowAtomName.clear();
    gControlAtomName.clear();
}

bool WideControlCoreFinalized() { return gFinalized; }

// ---- Companions ------------------------------------------------------------------------------

TWideControlHelper::TWideControlHelper(TControl* AControl, unicode::TWideComponentHelperList* List)
    : unicode::TWideComponentHelper(AControl, List), control_(AControl) {}

TWideControlHelper* FindWideControlHelper(TControl* Control) {
    if (gHelperList == nullptr || Control == nullptr) return nullptr;
    return dynamic_cast<TWideControlHelper*>(unicode::FindWideComponentHelper(gHelperList, Control));
}

TWideControlHelper* WideControlHelper(TControl* Control) {
    InitializeWideControlCore();
    TWideControlHelper* helper = FindWideControlHelper(Control);
    if (helper == nullptr) helper = new TWideControlHelper(Control, gHelperList);
    return helper;
}

// ---- Wide texts and hints --------------------------------------------------------------------

std::wstring UcControl_GetText(TControl* Control) {
    if (!IsUnicodePlatform()) return AnsiToWide(Control->Text());
    auto* win = dynamic_cast<TWinControl*>(Control);
    if (win == nullptr) {
        if (TWideControlHelper* helper = FindWideControlHelper(Control))
            return unicode::GetSyncedWideString(helper->WideCaption, Control->Text());
        return AnsiToWide(Control->Text());
    }
    if (win->HandleAllocated()) {
        if (!IsWindowUnicode(win->WindowHandle())) return AnsiToWide(Control->Text());
        return WindowTextW(win->WindowHandle());
    }
    // Kept in step with the ANSI text, so that a change made by ANSI code while there is no
    // window is not undone by the companion's older copy.
    if (TWideControlHelper* helper = FindWideControlHelper(Control))
        return unicode::GetSyncedWideString(helper->WideCaption, Control->Text());
    return AnsiToWide(Control->Text());
}

void UcControl_SetText(TControl* Control, const std::wstring& Text) {
    classlib::CheckMainThread("TUcControl.SetText");
    auto* win = dynamic_cast<TWinControl*>(Control);
    if (!IsUnicodePlatform() || (win != nullptr && win->HandleAllocated() && !IsWindowUnicode(win->WindowHandle()))) {
        Control->SetText(WideToAnsi(Text));
        return;
    }
    if (win == nullptr) {
        TWideControlHelper* helper = WideControlHelper(Control);
        unicode::SetSyncedWideString(Text, helper->WideCaption, Control->Text(),
                                     [Control](const std::string& s) { Control->SetText(s); });
        return;
    }
    if (!win->HandleAllocated()) {
        TWideControlHelper* helper = WideControlHelper(Control);
        helper->WideCaption = Text;
        Control->SetText(WideToAnsi(Text));
        return;
    }
    if (UcControl_GetText(Control) == Text) return;
    unicode::Uc_SetWindowTextW(win->WindowHandle(), Text.c_str());
    Control->Perform(classlib::CM_TEXTCHANGED, 0, 0);
}

std::wstring UcControl_GetHint(TControl* Control) {
    if (IsUnicodePlatform())
        if (TWideControlHelper* helper = FindWideControlHelper(Control))
            return unicode::GetSyncedWideString(helper->WideHint, Control->Hint());
    return AnsiToWide(Control->Hint());
}

void UcControl_SetHint(TControl* Control, const std::wstring& Hint) {
    if (!IsUnicodePlatform()) {
        Control->SetHint(WideToAnsi(Hint));
        return;
    }
    TWideControlHelper* helper = WideControlHelper(Control);
    unicode::SetSyncedWideString(Hint, helper->WideHint, Control->Hint(),
                                 [Control](const std::string& s) { Control->SetHint(s); });
}

bool UcControl_IsCaptionStored(TControl* Control) {
    classlib::TControlActionLink* link = Control->ActionLink();
    return link == nullptr || !link->IsCaptionLinked();
}

bool UcControl_IsHintStored(TControl* Control) {
    classlib::TControlActionLink* link = Control->ActionLink();
    return link == nullptr || !link->IsHintLinked();
}

std::wstring UcControl_GetShownHint(TControl* Control) {
    for (TControl* c = Control; c != nullptr; c = c->Parent()) {
        std::wstring hint = UcControl_GetHint(c);
        if (!hint.empty()) return hint;
    }
    return std::wstring();
}

std::wstring WideGetShortHint(const std::wstring& Hint) {
    size_t bar = Hint.find(L'|');
    return bar == std::wstring::npos ? Hint : Hint.substr(0, bar);
}

std::wstring WideGetLongHint(const std::wstring& Hint) {
    size_t bar = Hint.find(L'|');
    return bar == std::wstring::npos ? Hint : Hint.substr(bar + 1);
}

// ---- Unicode windows -------------------------------------------------------------------------

TWinControl* WindowBeingCreated() { return gWindowBeingCreated; }

std::wstring RegisterUnicodeClass(const classlib::TCreateParams& Params) {
    InitializeWideControlCore();
    std::wstring name = AnsiToWide(Params.WinClassName) + L".UnicodeClass";
    HINSTANCE instance = Params.WindowClass.hInstance != nullptr ? Params.WindowClass.hInstance
                                                                   : classlib::LibraryInstance();
    WNDCLASSW existing{};
    if (GetClassInfoW(instance, name.c_str(), &existing)) {
        if (existing.lpfnWndProc == &UcInitWndProc) return name;
        if (!UnregisterClassW(name.c_str(), instance)) classlib::RaiseLastOSError();
    }
    const WNDCLASSA& a = Params.WindowClass;
    WNDCLASSW wc{};
    wc.style = a.style;
    wc.cbClsExtra = a.cbClsExtra;
    wc.cbWndExtra = a.cbWndExtra;
    wc.hInstance = instance;
    wc.hIcon = a.hIcon;
    wc.hCursor = a.hCursor;
    wc.hbrBackground = a.hbrBackground;
    wc.lpfnWndProc = &UcInitWndProc;
    std::wstring menuName;
    if (a.lpszMenuName != nullptr && !unicode::Uc_Is_IntResource(a.lpszMenuName)) {
        menuName = AnsiToWide(a.lpszMenuName);
        wc.lpszMenuName = menuName.c_str();
    } else {
        wc.lpszMenuName = reinterpret_cast<LPCWSTR>(a.lpszMenuName);
    }
    wc.lpszClassName = name.c_str();
    if (RegisterClassW(&wc) == 0) classlib::RaiseLastOSError();
    return name;
}

void CreateUnicodeHandle(TWinControl* Control, const classlib::TCreateParams& Params, const std::wstring& SubClass) {
    if (!IsUnicodePlatform()) {
        Control->TWinControl::CreateWindowHandle(Params);
        return;
    }
    InitializeWideControlCore();
    WNDPROC defProc = &DefWindowProcW;
    WNDCLASSW system{};
    if (!SubClass.empty() && GetClassInfoW(nullptr, SubClass.c_str(), &system) && system.lpfnWndProc != nullptr)
        defProc = system.lpfnWndProc;
    Control->SetDefWndProc(defProc);
    std::wstring className = RegisterUnicodeClass(Params);
    HINSTANCE instance = Params.WindowClass.hInstance != nullptr ? Params.WindowClass.hInstance
                                                                   : classlib::LibraryInstance();
    gWindowBeingCreated = Control;
    HWND window = CreateWindowExW(Params.ExStyle, className.c_str(), nullptr, Params.Style, Params.X, Params.Y,
                                  Params.Width, Params.Height, Params.WndParent, nullptr, instance, Params.Param);
    DWORD error = GetLastError();
    gWindowBeingCreated = nullptr;
    if (window == nullptr) {
        // A trap the first message made stays pending for the next attempt.
        classlib::RaiseLastOSError(error);
    }
    Control->SetWindowHandle(window);
    SubClassUnicodeControl(Control, Params.Caption);
}

void SubClassUnicodeControl(TWinControl* Control, const std::string& Caption) {
    HWND window = Control->WindowHandle();
    if (window == nullptr || !IsWindowUnicode(window))
        throw unicode::EUcInternalError(L"Internal Error: SubClassUnicodeControl.Control is not Unicode.");
    TWinControlTrap* trap = TakePendingTrap(Control);
    if (trap == nullptr) trap = new TWinControlTrap(Control);
    trap->Subclass(window);
    std::wstring text;
    if (TWideControlHelper* helper = FindWideControlHelper(Control))
        text = unicode::GetSyncedWideString(helper->WideCaption, Caption);
    else
        text = AnsiToWide(Caption);
    UcControl_SetText(Control, text);
}

// ---- The trap --------------------------------------------------------------------------------

TWinControlTrap::TWinControlTrap(TWinControl* AControl) : classlib::TComponent(nullptr), control_(AControl) {
    gAllTraps.push_back(this);
    control_->FreeNotification(this);
}

TWinControlTrap::~TWinControlTrap() {
    if (handle_ != nullptr) {
        // Still bound to a live window: give it back its own procedure.
        if (IsWindow(handle_) &&
            GetWindowLongPtrW(handle_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TWinControlTrap::Win32Proc))
            SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prevWin32Proc_));
        gTrapByWindow.erase(handle_);
    }
    RemovePending(this);
    gAllTraps.erase(std::remove(gAllTraps.begin(), gAllTraps.end(), this), gAllTraps.end());
}

TWinControlTrap* TWinControlTrap::FindByWindow(HWND Window) {
    auto it = gTrapByWindow.find(Window);
    return it == gTrapByWindow.end() ? nullptr : it->second;
}

TWinControlTrap* TWinControlTrap::FindByControl(const TWinControl* Control) {
    for (TWinControlTrap* t : gAllTraps)
        if (t->control_ == Control) return t;
    return nullptr;
}

void TWinControlTrap::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TComponent::Notification(AComponent, Operation);
    if (Operation != classlib::TOperation::opRemove || AComponent != control_) return;
    RemovePending(this);
    if (nesting_ > 0)
        freeWhenUnnested_ = true;
    else
        delete this;
}

void TWinControlTrap::AttachFirstMessage(HWND Window) {
    handle_ = Window;
    gTrapByWindow[Window] = this;
    // The default procedure answers for the window from its first message on, so that the
    // messages of its creation reach the wide default procedure with their wide parameters.
    if (control_->DefWndProc() != &TWinControlTrap::DefaultProc) {
        prevDefProc_ = control_->DefWndProc();
        control_->SetDefWndProc(&TWinControlTrap::DefaultProc);
    }
}

bool TWinControlTrap::IsInSubclassChain() {
    if (control_->WindowProcIsWndProc()) return false;
    if (control_->WindowProcId() == this) return true;
    testing_ = true;
    found_ = false;
    TMessage probe{};
    classlib::TWndMethod method = control_->WindowProc();
    method(probe);
    testing_ = false;
    return found_;
}

void TWinControlTrap::Subclass(HWND Window) {
    if (handle_ != Window) {
        if (handle_ != nullptr) gTrapByWindow.erase(handle_);
        handle_ = Window;
    }
    gTrapByWindow[Window] = this;
    prevWin32Proc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(Window, GWLP_WNDPROC));
    if (control_->DefWndProc() != &TWinControlTrap::DefaultProc) prevDefProc_ = control_->DefWndProc();
    if (prevDefProc_ == nullptr) prevDefProc_ = &DefWindowProcW;
    SetWindowLongPtrW(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControlTrap::Win32Proc));
    control_->SetDefWndProc(&TWinControlTrap::DefaultProc);
    if (!IsInSubclassChain()) {
        prevWindowProc_ = control_->WindowProc();
        prevWindowProcId_ = control_->WindowProcId();
        control_->SetWindowProc([this](TMessage& m) { HookWindowProc(m); }, this);
    }
}

LRESULT CALLBACK TWinControlTrap::Win32Proc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControlTrap* trap = FindByWindow(Window);
    if (trap == nullptr) return DefWindowProcW(Window, Msg, WParam, LParam);
    if (gFinalized) {
        // After the end of the wide controls only the window handle is forgotten.
        if (Msg == WM_DESTROY && trap->control_ != nullptr) trap->control_->SetWindowHandle(nullptr);
        return CallWindowProcW(trap->prevWin32Proc_, Window, Msg, WParam, LParam);
    }
    return trap->Win32(Msg, WParam, LParam);
}

LRESULT TWinControlTrap::Win32(UINT Msg, WPARAM WParam, LPARAM LParam) {
    ++nesting_;
    lastWin32Msg_ = Msg;
    HWND window = handle_;
    WNDPROC proc = prevWin32Proc_;
    LRESULT result = CallWindowProcW(proc, window, Msg, WParam, LParam);
    --nesting_;
    if (nesting_ == 0 && freeWhenUnnested_) delete this;
    return result;
}

void TWinControlTrap::HookWindowProc(TMessage& Message) {
    if (testing_ && Message.Msg == 0) found_ = true;
    if (!control_->HandleAllocated()) {
        control_->WndProc(Message);
        return;
    }
    bool throughWindow = lastWin32Msg_ != 0;
    lastWin32Msg_ = 0;
    switch (Message.Msg) {
        case classlib::CM_HINTSHOW:
            ProcessCMHintShowMsg(control_, Message);
            break;
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
            if (!throughWindow) {
                // Performed by ANSI code: the system converts the text to and from ANSI.
                Message.Result = SendMessageA(control_->WindowHandle(), Message.Msg, Message.WParam, Message.LParam);
                return;
            }
            break;
        case WM_CHAR:
            MakeWMCharMsgSafeForAnsi(Message);
            break;
        default:
            break;
    }
    classlib::TWndMethod previous = prevWindowProc_;
    if (previous)
        previous(Message);
    else
        control_->WndProc(Message);
}

LRESULT CALLBACK TWinControlTrap::DefaultProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControlTrap* trap = FindByWindow(Window);
    if (trap == nullptr) return DefWindowProcW(Window, Msg, WParam, LParam);
    return trap->Default(Window, Msg, WParam, LParam);
}

LRESULT TWinControlTrap::Default(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    WNDPROC previous = prevDefProc_ != nullptr ? prevDefProc_ : &DefWindowProcW;
    switch (Msg) {
        case WM_NOTIFYFORMAT: {
            HWND asking = reinterpret_cast<HWND>(WParam);
            bool wide = IsUnicodePlatform() &&
                        (IsWindowUnicode(asking) ||
                         (gWindowBeingCreated != nullptr && gWindowBeingCreated->WindowHandle() == asking));
            return wide ? NFR_UNICODE : NFR_ANSI;
        }
        case WM_CHAR: {
            TMessage m{Msg, WParam, LParam, 0};
            RestoreWMCharMsg(m);
            WParam = m.WParam;
            break;
        }
        case WM_IME_CHAR:
            if (!unicode::Win32PlatformIsXP()) return SendMessageW(Window, WM_CHAR, WParam, LParam);
            break;
        case WM_DESTROY:
            Detach();
            break;
        default:
            break;
    }
    return CallWindowProcW(previous, Window, Msg, WParam, LParam);
}

void TWinControlTrap::Detach() {
    bool destroying = control_->HasState(classlib::csDestroying);
    if (!destroying && handle_ != nullptr && gHelperList != nullptr) {
        // Kept for the next window of the control (re-creation).
        std::wstring text = WindowTextW(handle_);
        WideControlHelper(control_)->WideCaption = text;
    }
    if (control_->WindowProcId() == this) control_->SetWindowProc(prevWindowProc_, prevWindowProcId_);
    prevWindowProc_ = nullptr;
    prevWindowProcId_ = nullptr;
    if (control_->DefWndProc() == &TWinControlTrap::DefaultProc) control_->SetDefWndProc(prevDefProc_);
    if (handle_ != nullptr) {
        if (GetWindowLongPtrW(handle_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TWinControlTrap::Win32Proc))
            SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prevWin32Proc_));
        gTrapByWindow.erase(handle_);
        handle_ = nullptr;
    }
    if (!destroying) AddPending(this);
}

// ---- Character messages ----------------------------------------------------------------------

void MakeWMCharMsgSafeForAnsi(TMessage& Message) {
    if (Message.Msg != WM_CHAR) return;
    // A message whose upper word is in use is already parked (or not ours): left as it is.
    if (HIWORD(Message.WParam) != 0) return;
    WORD code = LOWORD(Message.WParam);
    if (code > 255) Message.WParam = (static_cast<WPARAM>(code) << 16) | 255u;
}

void RestoreWMCharMsg(TMessage& Message) {
    if (Message.Msg != WM_CHAR) return;
    if (LOWORD(Message.WParam) == 255 && HIWORD(Message.WParam) != 0)
        Message.WParam = HIWORD(Message.WParam);
}

wchar_t GetWideCharFromWMCharMsg(const TMessage& Message) {
    if (LOWORD(Message.WParam) == 255 && HIWORD(Message.WParam) != 0) return static_cast<wchar_t>(HIWORD(Message.WParam));
    return static_cast<wchar_t>(LOWORD(Message.WParam));
}

void SetWideCharForWMCharMsg(TMessage& Message, wchar_t Ch) {
    Message.WParam = static_cast<WPARAM>(static_cast<WORD>(Ch));
    MakeWMCharMsgSafeForAnsi(Message);
}

// ---- Wide list controls ----------------------------------------------------------------------

void WideListControl_AddItem(TControl* Control, const std::wstring& Item, classlib::TObject* AObject,
                             const std::function<void(const std::string&, classlib::TObject*)>& AnsiAdd) {
    if (auto* wide = dynamic_cast<IWideCustomListControl*>(Control)) {
        wide->AddItem(Item, AObject);
        return;
    }
    if (AnsiAdd) AnsiAdd(WideToAnsi(Item), AObject);
}

void WideListControl_AddItem(classlib::TCustomListControl* Destination, const std::wstring& Item,
                             classlib::TObject* AObject) {
    if (Destination == nullptr) return;
    WideListControl_AddItem(Destination, Item, AObject,
                            [Destination](const std::string& s, classlib::TObject* o) { Destination->AddItem(s, o); });
}

// ---- Wide hints ------------------------------------------------------------------------------

void ProcessCMHintShowMsg(TControl* Control, TMessage& Message) {
    if (!IsUnicodePlatform()) return;
    auto* info = reinterpret_cast<classlib::THintInfo*>(Message.LParam);
    if (info == nullptr) return;
    if (info->HintWindowClass == nullptr || info->HintWindowClass == &classlib::THintWindow::ClassRef())
        info->HintWindowClass = &TUcCustomHintWindow::ClassRef();
    else if (!info->HintWindowClass->InheritsFrom(&TUcCustomHintWindow::ClassRef()))
        return;
    info->HintData = info;
    info->HintStr = WideToAnsi(WideGetShortHint(UcControl_GetShownHint(Control)));
}

const classlib::THintWindowClassRef& TUcCustomHintWindow::ClassRef() {
    static const classlib::THintWindowClassRef ref(
        L"TUcCustomHintWindow", &classlib::THintWindow::ClassRef(),
        [](classlib::TComponent* owner) -> classlib::THintWindow* { return new TUcCustomHintWindow(owner); });
    return ref;
}

TUcCustomHintWindow::TUcCustomHintWindow(classlib::TComponent* AOwner) : classlib::THintWindow(AOwner) {}

namespace {

classlib::THintInfo* MarkedHintInfo(void* AData) {
    auto* info = static_cast<classlib::THintInfo*>(AData);
    if (info == nullptr || info->HintData != AData || info->HintWindowClass == nullptr ||
        !info->HintWindowClass->InheritsFrom(&TUcCustomHintWindow::ClassRef()))
        return nullptr;
    return info;
}

}  // namespace

std::wstring TUcCustomHintWindow::WideHintOfData(const std::string& AHint, void* AData) {
    classlib::THintInfo* info = MarkedHintInfo(AData);
    std::wstring result = AnsiToWide(AHint);
    if (info == nullptr || AHint.empty() || info->HintControl == nullptr) return result;
    std::wstring shortHint = WideGetShortHint(UcControl_GetShownHint(info->HintControl));
    if (WideToAnsi(shortHint) == AHint) return shortHint;
    if (classlib::ApplicationExists() && classlib::Application()->HintShortCuts()) {
        auto* action = dynamic_cast<classlib::TCustomAction*>(info->HintControl->Action());
        if (action != nullptr && action->ShortCut() != classlib::scNone) {
            std::string shortcut = classlib::ShortCutToText(action->ShortCut());
            std::wstring ansiForm = classlib::Format(L"%s (%s)", {AnsiToWide(WideToAnsi(shortHint)), AnsiToWide(shortcut)});
            if (WideToAnsi(ansiForm) == AHint)
                return classlib::Format(L"%s (%s)", {shortHint, WideShortCutToText(action->ShortCut())});
        }
    }
    return result;
}

void TUcCustomHintWindow::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, std::wstring());
}

void TUcCustomHintWindow::ActivateHint(RECT Rect, const std::string& AHint) {
    bool was = activating_;
    activating_ = true;
    try {
        classlib::THintWindow::ActivateHint(Rect, AHint);
    } catch (...) {
        activating_ = was;
        throw;
    }
    activating_ = was;
}

void TUcCustomHintWindow::ActivateHintData(RECT Rect, const std::string& AHint, void* AData) {
    if (!IsUnicodePlatform() || MarkedHintInfo(AData) == nullptr) {
        classlib::THintWindow::ActivateHintData(Rect, AHint, AData);
        return;
    }
    activating_ = true;
    blockPaint_ = true;
    try {
        SetCaption(WideHintOfData(AHint, AData));
        classlib::THintWindow::ActivateHintData(Rect, AHint, AData);
    } catch (...) {
        activating_ = blockPaint_ = false;
        throw;
    }
    activating_ = blockPaint_ = false;
    Invalidate();
}

RECT TUcCustomHintWindow::CalcHintRect(int MaxWidth, const std::string& AHint, void* AData) {
    classlib::THintInfo* info = MarkedHintInfo(AData);
    if (info == nullptr) return classlib::THintWindow::CalcHintRect(MaxWidth, AHint, AData);
    classlib::TWindowDC screen(nullptr);
    classlib::TSelectedObject font(screen.Get(), Font()->Handle());
    return HintRectOfLines(
        classlib::LinesExtent(screen.Get(), classlib::WrappedLines(screen.Get(), WideHintOfData(AHint, AData), MaxWidth)));
}

void TUcCustomHintWindow::Dispatch(TMessage& Message) {
    if (Message.Msg == classlib::CM_TEXTCHANGED && !activating_) {
        classlib::TWindowDC screen(nullptr);
        classlib::TSelectedObject font(screen.Get(), Font()->Handle());
        const RECT r = HintRectOfLines(classlib::LinesExtent(screen.Get(), classlib::WrappedLines(screen.Get(), Caption(), 0)));
        SetWidth(r.right);
        SetHeight(r.bottom);
    }
    classlib::THintWindow::Dispatch(Message);
}

void TUcCustomHintWindow::Paint() {
    if (blockPaint_) return;
    if (!IsUnicodePlatform()) {
        classlib::THintWindow::Paint();
        return;
    }
    const RECT r = ClientRect();
    HDC dc = Canvas()->Handle();
    classlib::TSavedDC saved(dc);
    SelectObject(dc, Font()->Handle());
    SetTextColor(dc, classlib::ColorToRGB(classlib::Screen()->HintFont()->Color()));
    SetBkMode(dc, TRANSPARENT);
    // Laid out as CalcHintRect measured it, so that the text ends within the window.
    classlib::DrawLines(dc, 2, 2, classlib::WrappedLines(dc, Caption(), r.right - 4),
                        HintTextOptions(DrawTextBiDiModeFlagsReadingOnly()));
}

}  // namespace widgets
