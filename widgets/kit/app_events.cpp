#include "widgets/kit/app_events.h"

#include <algorithm>

#include "classlib/custom_controls.h"

namespace widgets::kit {

using namespace classlib;

namespace {

std::unique_ptr<TAppEventList>& ChainHolder() {
    static std::unique_ptr<TAppEventList> chain;
    return chain;
}

TAppEventList* Chain() { return TAppEventList::Instance(false); }

// The dispatchers are types of their own, so that the chain knows a slot still holds its
// dispatcher (and not a handler someone put there later) when it gives the slots back.
struct DActivate { void operator()(TObject* S) const { if (Chain()) Chain()->DoActivate(S); } };
struct DDeactivate { void operator()(TObject* S) const { if (Chain()) Chain()->DoDeactivate(S); } };
struct DException { void operator()(TObject* S, const Exception& E) const { if (Chain()) Chain()->DoException(S, E); } };
struct DIdle { void operator()(TObject* S, bool& Done) const { if (Chain()) Chain()->DoIdle(S, Done); } };
struct DHelp {
    bool operator()(WORD C, LONG_PTR D, bool& Call) const { return Chain() ? Chain()->DoHelp(C, D, Call) : false; }
};
struct DHint { void operator()(TObject* S) const { if (Chain()) Chain()->DoHint(S); } };
struct DMessage { void operator()(MSG& M, bool& H) const { if (Chain()) Chain()->DoMessage(M, H); } };
struct DMinimize { void operator()(TObject* S) const { if (Chain()) Chain()->DoMinimize(S); } };
struct DRestore { void operator()(TObject* S) const { if (Chain()) Chain()->DoRestore(S); } };
struct DShowHint {
    void operator()(std::string& H, bool& C, THintInfo& I) const { if (Chain()) Chain()->DoShowHint(H, C, I); }
};
struct DActionExecute { void operator()(TBasicAction* A, bool& H) const { if (Chain()) Chain()->DoActionExecute(A, H); } };
struct DActionUpdate { void operator()(TBasicAction* A, bool& H) const { if (Chain()) Chain()->DoActionUpdate(A, H); } };
struct DShortCut { void operator()(MSG& M, bool& H) const { if (Chain()) Chain()->DoShortCut(M, H); } };
struct DActiveControl { void operator()(TObject* S) const { if (Chain()) Chain()->DoActiveControlChange(S); } };
struct DActiveForm { void operator()(TObject* S) const { if (Chain()) Chain()->DoActiveFormChange(S); } };

// Puts Saved back into Slot while Slot still holds the chain's dispatcher D.
template <typename D, typename F>
void GiveBack(F& Slot, F& Saved) {
    if (Slot.template target<D>() != nullptr) Slot = std::move(Saved);
    Saved = nullptr;
}

}  // namespace

// ---- TAppEventList ---------------------------------------------------------------------------

TAppEventList* TAppEventList::Instance(bool Create) {
    auto& chain = ChainHolder();
    if (!chain && Create) chain = std::make_unique<TAppEventList>();
    return chain.get();
}

void TAppEventList::Add(TAppEvents* Events) {
    if (std::find(instances_.begin(), instances_.end(), Events) != instances_.end()) return;
    instances_.push_back(Events);
    if (instances_.size() == 1 && !Events->HasState(csDesigning)) Hook();
}

void TAppEventList::Remove(TAppEvents* Events) {
    auto it = std::find(instances_.begin(), instances_.end(), Events);
    if (it == instances_.end()) return;
    instances_.erase(it);
    if (instances_.empty() && hooked_) Unhook();
}

void TAppEventList::Hook() {
    if (!ApplicationExists()) return;
    TApplication* app = Application();
    saved_.Activate = std::exchange(app->OnActivate, DActivate{});
    saved_.Deactivate = std::exchange(app->OnDeactivate, DDeactivate{});
    saved_.Exception = std::exchange(app->OnException, DException{});
    saved_.Idle = std::exchange(app->OnIdle, DIdle{});
    saved_.Help = std::exchange(app->OnHelp, DHelp{});
    saved_.Hint = std::exchange(app->OnHint, DHint{});
    saved_.Message = std::exchange(app->OnMessage, DMessage{});
    saved_.Minimize = std::exchange(app->OnMinimize, DMinimize{});
    saved_.Restore = std::exchange(app->OnRestore, DRestore{});
    saved_.ShowHint = std::exchange(app->OnShowHint, DShowHint{});
    saved_.ActionExecute = std::exchange(app->OnActionExecute, DActionExecute{});
    saved_.ActionUpdate = std::exchange(app->OnActionUpdate, DActionUpdate{});
    saved_.ShortCut = std::exchange(app->OnShortCut, DShortCut{});
    screenHooked_ = ScreenExists();
    if (screenHooked_) {
        saved_.ActiveControlChange = std::exchange(Screen()->OnActiveControlChange, DActiveControl{});
        saved_.ActiveFormChange = std::exchange(Screen()->OnActiveFormChange, DActiveForm{});
    }
    hooked_ = true;
}

void TAppEventList::Unhook() {
    // The handlers that were there before the chain come back: nothing installed earlier is lost.
    hooked_ = false;
    if (ApplicationExists()) {
        TApplication* app = Application();
        GiveBack<DActivate>(app->OnActivate, saved_.Activate);
        GiveBack<DDeactivate>(app->OnDeactivate, saved_.Deactivate);
        GiveBack<DException>(app->OnException, saved_.Exception);
        GiveBack<DIdle>(app->OnIdle, saved_.Idle);
        GiveBack<DHelp>(app->OnHelp, saved_.Help);
        GiveBack<DHint>(app->OnHint, saved_.Hint);
        GiveBack<DMessage>(app->OnMessage, saved_.Message);
        GiveBack<DMinimize>(app->OnMinimize, saved_.Minimize);
        GiveBack<DRestore>(app->OnRestore, saved_.Restore);
        GiveBack<DShowHint>(app->OnShowHint, saved_.ShowHint);
        GiveBack<DActionExecute>(app->OnActionExecute, saved_.ActionExecute);
        GiveBack<DActionUpdate>(app->OnActionUpdate, saved_.ActionUpdate);
        GiveBack<DShortCut>(app->OnShortCut, saved_.ShortCut);
    }
    if (screenHooked_ && ScreenExists()) {
        GiveBack<DActiveControl>(Screen()->OnActiveControlChange, saved_.ActiveControlChange);
        GiveBack<DActiveForm>(Screen()->OnActiveFormChange, saved_.ActiveFormChange);
    }
    saved_ = TSaved{};
    screenHooked_ = false;
}

bool TAppEventList::Walk(const std::function<bool(TAppEvents*)>& Call) {
    // A snapshot: a handler may free components of the chain.
    std::vector<TAppEvents*> snapshot = instances_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        if (std::find(instances_.begin(), instances_.end(), *it) == instances_.end()) continue;
        if (!Call(*it)) return false;
    }
    return true;
}

namespace {

// Calls a copy of the handler: it may clear or replace itself while it runs.
template <typename F, typename... A>
bool CallIf(const F& Handler, A&&... Args) {
    if (!Handler) return false;
    F copy = Handler;
    copy(std::forward<A>(Args)...);
    return true;
}

}  // namespace

#define QUILL_CHAIN_NOTIFY(Name, Field)                                                   \
    void TAppEventList::Do##Name(TObject* Sender) {                                       \
        TNotifyEvent saved = saved_.Field;                                                \
        if (Walk([&](TAppEvents* e) {                                                     \
                CallIf(e->On##Name, Sender);                                              \
                return e->Chained();                                                      \
            }))                                                                           \
            CallIf(saved, Sender);                                                        \
    }

QUILL_CHAIN_NOTIFY(Activate, Activate)
QUILL_CHAIN_NOTIFY(Deactivate, Deactivate)
QUILL_CHAIN_NOTIFY(Hint, Hint)
QUILL_CHAIN_NOTIFY(Minimize, Minimize)
QUILL_CHAIN_NOTIFY(Restore, Restore)
QUILL_CHAIN_NOTIFY(ActiveControlChange, ActiveControlChange)
QUILL_CHAIN_NOTIFY(ActiveFormChange, ActiveFormChange)
#undef QUILL_CHAIN_NOTIFY

void TAppEventList::DoIdle(TObject* Sender, bool& Done) {
    TIdleEvent saved = saved_.Idle;
    if (Walk([&](TAppEvents* e) {
            CallIf(e->OnIdle, Sender, Done);
            return e->Chained();
        }))
        CallIf(saved, Sender, Done);
}

void TAppEventList::DoException(TObject* Sender, const Exception& E) {
    TExceptionEvent saved = saved_.Exception;
    bool called = false;
    bool full = Walk([&](TAppEvents* e) {
        called |= CallIf(e->OnException, Sender, E);
        return e->Chained();
    });
    if (full) called |= CallIf(saved, Sender, E);
    // Nobody took it: the standard display, as without the chain.
    if (!called && ApplicationExists()) Application()->ShowException(E);
}

bool TAppEventList::DoHelp(WORD Command, LONG_PTR Data, bool& CallHelp) {
    THelpEvent saved = saved_.Help;
    bool result = false;
    bool full = Walk([&](TAppEvents* e) {
        if (e->OnHelp) {
            THelpEvent copy = e->OnHelp;
            result = copy(Command, Data, CallHelp);
        }
        return e->Chained();
    });
    if (full && saved) result = saved(Command, Data, CallHelp);
    return result;
}

void TAppEventList::DoMessage(MSG& Msg, bool& Handled) {
    TMessageEvent saved = saved_.Message;
    if (Walk([&](TAppEvents* e) {
            CallIf(e->OnMessage, Msg, Handled);
            return e->Chained() && !Handled;
        }))
        CallIf(saved, Msg, Handled);
}

void TAppEventList::DoShowHint(std::string& HintStr, bool& CanShow, THintInfo& HintInfo) {
    TShowHintEvent saved = saved_.ShowHint;
    if (Walk([&](TAppEvents* e) {
            CallIf(e->OnShowHint, HintStr, CanShow, HintInfo);
            return e->Chained();
        }))
        CallIf(saved, HintStr, CanShow, HintInfo);
}

void TAppEventList::DoActionExecute(TBasicAction* Action, bool& Handled) {
    TActionEvent saved = saved_.ActionExecute;
    if (Walk([&](TAppEvents* e) {
            CallIf(e->OnActionExecute, Action, Handled);
            return e->Chained() && !Handled;
        }))
        CallIf(saved, Action, Handled);
}

void TAppEventList::DoActionUpdate(TBasicAction* Action, bool& Handled) {
    TActionEvent saved = saved_.ActionUpdate;
    if (Walk([&](TAppEvents* e) {
            CallIf(e->OnActionUpdate, Action, Handled);
            return e->Chained() && !Handled;
        }))
        CallIf(saved, Action, Handled);
}

void TAppEventList::DoShortCut(MSG& Msg, bool& Handled) {
    TShortCutEvent saved = saved_.ShortCut;
    if (Walk([&](TAppEvents* e) {
            CallIf(e->OnShortCut, Msg, Handled);
            return e->Chained() && !Handled;
        }))
        CallIf(saved, Msg, Handled);
}

// ---- TAppEvents ------------------------------------------------------------------------------

TAppEvents::TAppEvents(TComponent* AOwner) : TComponent(AOwner) {
    TAppEventList* chain = TAppEventList::Instance(true);
    if (Live()) Application()->HookMainWindow(this, [this](TMessage& Message) { return MainWindowHook(Message); });
    chain->Add(this);
}

TAppEvents::~TAppEvents() {
    if (ApplicationExists()) Application()->UnhookMainWindow(this);
    if (TAppEventList* chain = TAppEventList::Instance(false)) chain->Remove(this);
    canvas_.reset();
}

bool TAppEvents::MainWindowHook(TMessage& Message) {
    if (Message.Msg == WM_PAINT && OnPaintIcon && IsIconic(Application()->Handle())) {
        PaintIcon();
        return true;
    }
    if (Message.Msg == WM_WININICHANGE) SettingsChanged();
    return false;
}

void TAppEvents::PaintIcon() {
    HWND window = Application()->Handle();
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(window, &ps);
    canvas_ = std::make_unique<TControlCanvas>();
    try {
        canvas_->SetHandle(dc);
        canvas_->Brush()->SetColor(clBackground);
        if (ps.fErase) canvas_->FillRect(ps.rcPaint);
        CallIf(OnPaintIcon, this);
    } catch (...) {
        canvas_.reset();
        EndPaint(window, &ps);
        throw;
    }
    canvas_.reset();
    EndPaint(window, &ps);
}

void TAppEvents::SettingsChanged() { CallIf(OnSettingsChanged, this); }

// Settings: read live from the application outside design, stored otherwise.
#define QUILL_APP_SETTING(Type, Name, Field)                                        \
    Type TAppEvents::Name() const { return Live() ? Application()->Name() : Field; } \
    void TAppEvents::Set##Name(Type Value) {                                        \
        Field = Value;                                                              \
        if (Live()) Application()->Set##Name(Value);                                \
    }

QUILL_APP_SETTING(TColor, HintColor, hintColor_)
QUILL_APP_SETTING(int, HintPause, hintPause_)
QUILL_APP_SETTING(bool, ShowHint, showHint_)
QUILL_APP_SETTING(bool, UpdateFormatSettings, updateFormatSettings_)
QUILL_APP_SETTING(int, HintShortPause, hintShortPause_)
QUILL_APP_SETTING(int, HintHidePause, hintHidePause_)
QUILL_APP_SETTING(bool, ShowMainForm, showMainForm_)
QUILL_APP_SETTING(bool, UpdateMetricSettings, updateMetricSettings_)
QUILL_APP_SETTING(bool, HintShortCuts, hintShortCuts_)
QUILL_APP_SETTING(TBiDiMode, BiDiMode, biDiMode_)
#undef QUILL_APP_SETTING

const std::string& TAppEvents::BiDiKeyboard() const { return Live() ? Application()->BiDiKeyboard() : biDiKeyboard_; }
void TAppEvents::SetBiDiKeyboard(const std::string& Value) {
    biDiKeyboard_ = Value;
    if (Live()) Application()->SetBiDiKeyboard(Value);
}

const std::string& TAppEvents::NonBiDiKeyboard() const {
    return Live() ? Application()->NonBiDiKeyboard() : nonBiDiKeyboard_;
}
void TAppEvents::SetNonBiDiKeyboard(const std::string& Value) {
    nonBiDiKeyboard_ = Value;
    if (Live()) Application()->SetNonBiDiKeyboard(Value);
}

bool TAppEvents::MouseDragImmediate() const { return Live() ? Mouse()->DragImmediate() : mouseDragImmediate_; }
void TAppEvents::SetMouseDragImmediate(bool Value) {
    mouseDragImmediate_ = Value;
    if (Live()) Mouse()->SetDragImmediate(Value);
}

int TAppEvents::MouseDragThreshold() const { return Live() ? Mouse()->DragThreshold() : mouseDragThreshold_; }
void TAppEvents::SetMouseDragThreshold(int Value) {
    mouseDragThreshold_ = Value;
    if (Live()) Mouse()->SetDragThreshold(Value);
}

void TAppEvents::ApplySettings() {
    TApplication* app = Application();
    app->SetHintColor(hintColor_);
    app->SetHintPause(hintPause_);
    app->SetShowHint(showHint_);
    app->SetHintShortPause(hintShortPause_);
    app->SetHintHidePause(hintHidePause_);
    app->SetShowMainForm(showMainForm_);
    app->SetUpdateFormatSettings(updateFormatSettings_);
    app->SetUpdateMetricSettings(updateMetricSettings_);
    app->SetHintShortCuts(hintShortCuts_);
    app->SetBiDiMode(biDiMode_);
    Mouse()->SetDragImmediate(mouseDragImmediate_);
    Mouse()->SetDragThreshold(mouseDragThreshold_);
    app->SetBiDiKeyboard(biDiKeyboard_);
    app->SetNonBiDiKeyboard(nonBiDiKeyboard_);
}

void TAppEvents::Loaded() {
    TComponent::Loaded();
    // The stored settings, all at once, as the form was designed.
    if (Live()) ApplySettings();
}

}  // namespace widgets::kit
