// The wide application object, the main thread's message hook, the wide form and frame.
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_rich_edit.h"

#include <typeinfo>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/format.h"
#include "classlib/stream_classes.h"
#include "classlib/mdi.h"
#include "classlib/menus.h"
#include "classlib/threads.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::TMessage;
using classlib::WideToAnsi;

namespace {

TUcApplication* gUcApplication = nullptr;
HHOOK gMessageHook = nullptr;

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

// The wide classes a form resource may hold: their published wide texts (in the place of the
// class library's ANSI ones) and their stream factories.
template <typename T>
std::vector<classlib::TPropInfo> WideTexts(const wchar_t* TextName) {
    using classlib::TPersistent;
    auto self = [](TPersistent* i) { return static_cast<T*>(i); };
    return {classlib::WideTextProp(
                TextName, [self](TPersistent* i) { return UcControl_GetText(self(i)); },
                [self](TPersistent* i, const std::wstring& v) { UcControl_SetText(self(i), v); },
                [self](TPersistent* i) {
                    // A class with a stored-test of its own (the bit button's by kind) asks it.
                    if constexpr (requires(T* c) { c->IsCaptionStored(); })
                        return self(i)->IsCaptionStored();
                    else
                        return UcControl_IsCaptionStored(self(i));
                }),
            classlib::WideTextProp(
                L"Hint", [self](TPersistent* i) { return UcControl_GetHint(self(i)); },
                [self](TPersistent* i, const std::wstring& v) { UcControl_SetHint(self(i), v); },
                [self](TPersistent* i) { return UcControl_IsHintStored(self(i)); })};
}

template <typename T>
void RegisterWideFactory(const wchar_t* Name) {
    classlib::RegisterComponentClass(Name, [](classlib::TComponent* Owner) -> classlib::TComponent* { return new T(Owner); });
}

void RegisterWideFormProperties() {
    using classlib::RegisterPublishedProperties;
    using classlib::TPersistent;
    RegisterPublishedProperties(L"TUcForm", L"TForm", WideTexts<TUcForm>(L"Caption"));
    auto frame = [](TPersistent* i) { return static_cast<TUcCustomFrame*>(i); };
    RegisterPublishedProperties(
        L"TUcCustomFrame", L"TCustomFrame",
        {classlib::WideTextProp(L"Hint", [frame](TPersistent* i) { return frame(i)->Hint(); },
                                [frame](TPersistent* i, const std::wstring& v) { frame(i)->SetHint(v); },
                                [frame](TPersistent* i) { return frame(i)->IsHintStored(); })});
    RegisterPublishedProperties(L"TUcFrame", L"TUcCustomFrame", {});
    RegisterPublishedProperties(L"TUcButton", L"TButton", WideTexts<TUcButton>(L"Caption"));
    RegisterPublishedProperties(L"TUcBitBtn", L"TBitBtn", WideTexts<TUcBitBtn>(L"Caption"));
    RegisterPublishedProperties(L"TUcCustomLabel", L"TCustomLabel", WideTexts<TUcCustomLabel>(L"Caption"));
    RegisterPublishedProperties(L"TUcLabel", L"TUcCustomLabel", {});
    RegisterPublishedProperties(L"TUcCustomEdit", L"TCustomEdit", WideTexts<TUcCustomEdit>(L"Text"));
    RegisterPublishedProperties(L"TUcEdit", L"TUcCustomEdit", {});
    auto action = [](TPersistent* i) { return static_cast<TUcAction*>(i); };
    RegisterPublishedProperties(
        L"TUcAction", L"TAction",
        {classlib::WideTextProp(L"Caption", [action](TPersistent* i) { return action(i)->Caption(); },
                                [action](TPersistent* i, const std::wstring& v) { action(i)->SetCaption(v); }),
         classlib::WideTextProp(L"Hint", [action](TPersistent* i) { return action(i)->Hint(); },
                                [action](TPersistent* i, const std::wstring& v) { action(i)->SetHint(v); })});
    RegisterWideFactory<TUcButton>(L"TUcButton");
    RegisterWideFactory<TUcBitBtn>(L"TUcBitBtn");
    RegisterWideFactory<TUcLabel>(L"TUcLabel");
    RegisterWideFactory<TUcEdit>(L"TUcEdit");
    RegisterWideFactory<TUcAction>(L"TUcAction");
}

}  // namespace

LRESULT CALLBACK UcGetMessageHook(int Code, WPARAM WParam, LPARAM LParam);

// ---- Wide application ------------------------------------------------------------------------

TUcApplication* UcApplication() { return gUcApplication; }

TUcApplication::TUcApplication(classlib::TComponent* AOwner) : classlib::TComponent(AOwner) {
    classlib::Application()->HookMainWindow(this, [this](TMessage& m) { return MainWindowHook(m); });
}

TUcApplication::~TUcApplication() {
    delete idleEventControl_;  // its destructor clears the field
    idleEventControl_ = nullptr;
    if (classlib::ApplicationExists()) classlib::Application()->UnhookMainWindow(this);
    if (gUcApplication == this) gUcApplication = nullptr;
}

std::wstring TUcApplication::Hint() {
    return unicode::GetSyncedWideString(hint_, classlib::Application()->Hint());
}

void TUcApplication::SetHint(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, hint_, classlib::Application()->Hint(),
                                 [](const std::string& s) { classlib::Application()->SetHint(s); });
}

std::wstring TUcApplication::Title() {
    classlib::TApplication* app = classlib::Application();
    if (app->HandleAllocated() && IsUnicodePlatform()) {
        HWND h = app->Handle();
        LRESULT len = DefWindowProcW(h, WM_GETTEXTLENGTH, 0, 0);
        if (len <= 0) return std::wstring();
        std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
        LRESULT n = DefWindowProcW(h, WM_GETTEXT, static_cast<WPARAM>(len + 1), reinterpret_cast<LPARAM>(buf.data()));
        // By the count the window answers (never past what it said it holds).
        buf.resize(static_cast<size_t>(n < 0 ? 0 : (n > len ? len : n)));
        return buf;
    }
    return unicode::GetSyncedWideString(pendingTitle_, app->Title());
}

void TUcApplication::SetTitle(const std::wstring& Value) {
    classlib::CheckMainThread("TUcApplication.SetTitle");
    classlib::TApplication* app = classlib::Application();
    if (!app->HandleAllocated() || !IsUnicodePlatform()) {
        unicode::SetSyncedWideString(Value, pendingTitle_, app->Title(),
                                     [app](const std::string& s) { app->SetTitle(s); });
        return;
    }
    if (Title() != Value || !pendingTitle_.empty()) {
        DefWindowProcW(app->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Value.c_str()));
        pendingTitle_.clear();
    }
}

std::wstring TUcApplication::ExeName() const { return unicode::WideParamStr(0); }

void TUcApplication::RefreshHintFromMouseControl() {
    classlib::TControl* control = classlib::Application()->MouseControl();
    SetHint(WideGetLongHint(UcControl_GetShownHint(control)));
}

bool TUcApplication::MainWindowHook(TMessage& Message) {
    switch (Message.Msg) {
        case WM_CREATE:
            if (!pendingTitle_.empty()) {
                std::wstring title = pendingTitle_;
                SetTitle(title);
                pendingTitle_.clear();
            }
            return false;
        case classlib::CM_ACTIONEXECUTE: {
            auto* action = reinterpret_cast<classlib::TBasicAction*>(Message.LParam);
            // Exactly the class library's hint action (not a descendant such as ours).
            if (action == nullptr || typeid(*action) != typeid(classlib::THintAction)) return false;
            std::wstring wideHint = Hint();
            if (static_cast<classlib::THintAction*>(action)->Hint() != WideToAnsi(wideHint)) return false;
            Message.Result = 1;
            TUcHintAction wide(nullptr);
            wide.SetHint(wideHint);
            wide.Execute();
            return true;
        }
        default:
            return false;
    }
}

void TUcApplication::CheckMainForm() {
    if (mainFormChecked_) return;
    classlib::TCustomForm* main = classlib::Application()->MainForm();
    if (main == nullptr) return;
    if (dynamic_cast<TUcForm*>(main) == nullptr && idleEventControl_ == nullptr) new TUcAppIdleEventControl(main);
    mainFormChecked_ = true;
    // A later main form (after this one is gone) is examined again.
    checkedMainForm_ = main;
    main->FreeNotification(this);
}

void TUcApplication::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TComponent::Notification(AComponent, Operation);
    if (Operation == classlib::TOperation::opRemove && AComponent != nullptr &&
        AComponent == static_cast<classlib::TComponent*>(checkedMainForm_)) {
        checkedMainForm_ = nullptr;
        mainFormChecked_ = false;
    }
}

// The main thread's message hook: a character above 255 for a Unicode window is dispatched
// wide here, because the class library's ANSI message loop would turn it into "?".
LRESULT CALLBACK UcGetMessageHook(int Code, WPARAM WParam, LPARAM LParam) {
    try {
        if (Code >= 0 && WParam == PM_REMOVE && gUcApplication != nullptr && LParam != 0) {
            MSG* msg = reinterpret_cast<MSG*>(LParam);
            gUcApplication->CheckMainForm();
            if (msg->message == WM_CHAR && msg->wParam > 255 && msg->hwnd != nullptr && IsWindowUnicode(msg->hwnd)) {
                classlib::TApplication* app = classlib::Application();
                HWND dialog = app->DialogHandle();
                if (dialog == nullptr || IsWindowUnicode(dialog)) {
                    bool handled = false;
                    if (app->OnMessage) app->OnMessage(*msg, handled);
                    classlib::THintWindow* hint = app->HintWindow();
                    if (hint != nullptr && hint->HandleAllocated() && IsWindowVisible(hint->WindowHandle()))
                        app->CancelHint();
                    bool dialogMessage = false;
                    if (!handled && dialog != nullptr)
                        dialogMessage = (IsWindowUnicode(dialog) ? IsDialogMessageW(dialog, msg)
                                                                 : IsDialogMessageA(dialog, msg)) != 0;
                    if (!handled && !dialogMessage) DispatchMessageW(msg);
                    msg->message = WM_NULL;
                }
            }
        }
    } catch (...) {
        // Nothing crosses the hook: the application reports it.
        classlib::HandleWindowProcException(std::current_exception());
    }
    return CallNextHookEx(gMessageHook, Code, WParam, LParam);
}

void InitializeWideControls() {
    InitializeWideControlCore();
    static bool registered = false;
    if (!registered) {
        RegisterWideFormProperties();
        registered = true;
    }
    if (gUcApplication == nullptr) gUcApplication = new TUcApplication(nullptr);
    UcPopupList();
    if (IsUnicodePlatform() && gMessageHook == nullptr) {
        gMessageHook = SetWindowsHookExW(WH_GETMESSAGE, &UcGetMessageHook, nullptr, GetCurrentThreadId());
        if (gMessageHook == nullptr) classlib::RaiseLastOSError();
    }
}

void FinalizeWideControls() {
    if (gMessageHook != nullptr) {
        // At the program's end a refusal changes nothing: it is not raised.
        UnhookWindowsHookEx(gMessageHook);
        gMessageHook = nullptr;
    }
    FinalizeWideMenus();
    FinalizeWideRichEdit();
    delete gUcApplication;
    gUcApplication = nullptr;
    FinalizeWideControlCore();
}

bool WideMessageHookInstalled() { return gMessageHook != nullptr; }

// ---- Wide form -------------------------------------------------------------------------------

TUcForm::TUcForm(classlib::TComponent* AOwner, TUcFormSource Source) : classlib::TForm(AOwner), source_(Source) {}

void TUcForm::AfterConstruction() {
    if (source_ == TUcFormSource::FromResource && ClassName() != L"TUcForm" && !HasState(classlib::csDesigning)) {
        IncludeFormState(classlib::fsCreating);
        try {
            if (!classlib::InitInheritedComponent(this, L"TUcForm"))
                throw classlib::EResNotFound(classlib::Format(L"Resource %s not found", {ClassName()}));
        } catch (...) {
            ExcludeFormState(classlib::fsCreating);
            throw;
        }
        ExcludeFormState(classlib::fsCreating);
        if (OldCreateOrder()) DoCreate();
    }
    classlib::TForm::AfterConstruction();
}

void TUcForm::DefineProperties(classlib::TFiler* Filer) {
    classlib::TForm::DefineProperties(Filer);
    unicode::UcPersistent_DefineWideProperties(Filer, this);
}

void TUcForm::CreateWindowHandle(const classlib::TCreateParams& Params) {
    if (!IsUnicodePlatform()) {
        classlib::TForm::CreateWindowHandle(Params);
        return;
    }
    if (FormStyle() == classlib::TFormStyle::fsMDIChild && !HasState(classlib::csDesigning)) {
        HWND client = classlib::MDIClientOfMainForm();
        if (client == nullptr)
            throw classlib::EInvalidOperation(L"Cannot create form. No MDI forms are currently active");
        std::wstring className = RegisterUnicodeClass(Params);
        SetDefWndProc(&DefMDIChildProcW);
        // No title: the trap carries the wide caption into the window.
        HWND window = CreateMDIWindowW(className.c_str(), nullptr, Params.Style, Params.X, Params.Y, Params.Width,
                                       Params.Height, client, Params.WindowClass.hInstance,
                                       reinterpret_cast<LPARAM>(Params.Param));
        if (window == nullptr) classlib::RaiseLastOSError();
        SetWindowHandle(window);
        IncludeFormState(classlib::fsCreatedMDIChild);
        SubClassUnicodeControl(this, Params.Caption);
    } else {
        classlib::TCreateParams params = Params;
        params.ExStyle &= ~static_cast<DWORD>(WS_EX_LAYERED);
        CreateUnicodeHandle(this, params, std::wstring());
        ExcludeFormState(classlib::fsCreatedMDIChild);
    }
    // Re-applies the layered attributes to the new window.
    if (AlphaBlend()) {
        SetAlphaBlend(false);
        SetAlphaBlend(true);
    } else if (TransparentColor()) {
        SetTransparentColor(false);
        SetTransparentColor(true);
    }
}

void TUcForm::DestroyWindowHandle() {
    if (IsUnicodePlatform() && HandleAllocated()) {
        using UninitializeFlatSBProc = BOOL(WINAPI*)(HWND);
        HMODULE comctl = GetModuleHandleA("comctl32.dll");
        auto proc = comctl != nullptr
                        ? reinterpret_cast<UninitializeFlatSBProc>(
                              reinterpret_cast<void*>(GetProcAddress(comctl, "UninitializeFlatSB")))
                        : nullptr;
        if (proc != nullptr) proc(WindowHandle());
    }
    classlib::TForm::DestroyWindowHandle();
}

void TUcForm::UpdateActions() {
    classlib::TForm::UpdateActions();
    if (gUcApplication != nullptr) gUcApplication->RefreshHintFromMouseControl();
}

void TUcForm::DefaultHandler(TMessage& Message) {
    HWND client = ClientHandle();
    if (client != nullptr && IsUnicodePlatform() && HandleAllocated()) {
        if (Message.Msg == WM_SIZE)
            Message.Result = DefWindowProcW(WindowHandle(), Message.Msg, Message.WParam, Message.LParam);
        else
            Message.Result = DefFrameProcW(WindowHandle(), client, Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    classlib::TForm::DefaultHandler(Message);
}

void TUcForm::WMMenuSelect(TMessage& Message) {
    // A menu bar of the class library is asked through the wide menus' adapter.
    TUcFormMenu barMenu(Menu());
    IUcFormMenu* mainMenu = mainMenu_ != nullptr ? mainMenu_ : Menu() != nullptr ? &barMenu : nullptr;
    if (mainMenu == nullptr || gUcApplication == nullptr) return;
    UINT item = LOWORD(Message.WParam);
    UINT flags = HIWORD(Message.WParam);
    auto menu = reinterpret_cast<HMENU>(Message.LParam);
    std::wstring hint;
    bool found = false;
    if (!(flags == 0xFFFF && item == 0)) {
        if ((flags & MF_POPUP) != 0) {
            HMENU sub = menu != nullptr ? GetSubMenu(menu, static_cast<int>(item)) : nullptr;
            found = sub != nullptr && mainMenu->FindItemHint(sub, 0, hint);
        } else {
            found = mainMenu->FindItemHint(nullptr, item, hint);
        }
    }
    gUcApplication->SetHint(found ? WideGetLongHint(hint) : std::wstring());
}

void TUcForm::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_MENUSELECT:
            classlib::TForm::Dispatch(Message);
            WMMenuSelect(Message);
            return;
        case classlib::CM_BIDIMODECHANGED:
            classlib::TForm::Dispatch(Message);
            for (int i = 0; i < ComponentCount(); ++i)
                if (auto* menu = dynamic_cast<IUcFormMenu*>(Components(i)))
                    menu->FixRightToLeft();
                else if (auto* libraryMenu = dynamic_cast<classlib::TMenu*>(Components(i)))
                    FixMenuBiDiProblem(libraryMenu);
            return;
        case WM_WINDOWPOSCHANGING:
            classlib::TForm::Dispatch(Message);
            if (mainMenu_ != nullptr) mainMenu_->FixRightToLeft();
            else if (Menu() != nullptr) FixMenuBiDiProblem(Menu());
            return;
        default:
            classlib::TForm::Dispatch(Message);
    }
}

void TUcForm::ActionChange(classlib::TObject* Sender, bool CheckDefaults) {
    UcControl_BeforeInherited_ActionChange(this, Sender, CheckDefaults);
    classlib::TForm::ActionChange(Sender, CheckDefaults);
}

classlib::TControlActionLinkClass TUcForm::GetActionLinkClass() const {
    return UcControl_GetActionLinkClass(const_cast<TUcForm*>(this), classlib::TForm::GetActionLinkClass());
}

// ---- Wide frame ------------------------------------------------------------------------------

TUcCustomFrame::TUcCustomFrame(classlib::TComponent* AOwner) : classlib::TCustomFrame(AOwner) {}

void TUcCustomFrame::DefineProperties(classlib::TFiler* Filer) {
    classlib::TCustomFrame::DefineProperties(Filer);
    unicode::UcPersistent_DefineWideProperties(Filer, this);
}

void TUcCustomFrame::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, std::wstring());
}

void TUcCustomFrame::ActionChange(classlib::TObject* Sender, bool CheckDefaults) {
    UcControl_BeforeInherited_ActionChange(this, Sender, CheckDefaults);
    classlib::TCustomFrame::ActionChange(Sender, CheckDefaults);
}

classlib::TControlActionLinkClass TUcCustomFrame::GetActionLinkClass() const {
    return UcControl_GetActionLinkClass(const_cast<TUcCustomFrame*>(this),
                                        classlib::TCustomFrame::GetActionLinkClass());
}

// ---- Idle-event control ----------------------------------------------------------------------

TUcAppIdleEventControl::TUcAppIdleEventControl(classlib::TComponent* AOwner) : classlib::TControl(AOwner) {
    SetParentFont(false);
    if (classlib::Application()->MainForm() != nullptr) SetParent(classlib::Application()->MainForm());
    SetVisible(true);
    auto* action = new TUcAction(this);
    auto refresh = [](classlib::TObject*) {
        if (gUcApplication != nullptr) gUcApplication->RefreshHintFromMouseControl();
    };
    action->OnExecute = refresh;
    action->OnUpdate = refresh;
    SetAction(action);
    if (gUcApplication != nullptr) gUcApplication->idleEventControl_ = this;
}

TUcAppIdleEventControl::~TUcAppIdleEventControl() {
    if (gUcApplication != nullptr && gUcApplication->idleEventControl_ == this)
        gUcApplication->idleEventControl_ = nullptr;
}

}  // namespace widgets
