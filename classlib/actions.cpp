// Actions, action lists and action links of the class library.
#include "classlib/actions.h"
#include "classlib/stream_classes.h"

#include <cctype>

#include <algorithm>

#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/forms.h"

namespace classlib {

namespace {

// Sends a message to the application window when it exists (the forms' dispatch of actions).
LRESULT SendAppMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (!ApplicationExists() || !Application()->HandleAllocated()) return 0;
    return SendMessageA(Application()->Handle(), Msg, WParam, LParam);
}

}  // namespace

// ---- TBasicAction ----------------------------------------------------------------------------

TBasicAction::TBasicAction(TComponent* AOwner) : TComponent(AOwner) {}

TBasicAction::~TBasicAction() {
    while (!clients_.empty()) UnRegisterChanges(clients_.back());
    if (actionComponent_ != nullptr) actionComponent_->RemoveFreeNotification(this);
}

bool TBasicAction::Execute() {
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

bool TBasicAction::Update() {
    if (!OnUpdate) return false;
    OnUpdate(this);
    return true;
}

void TBasicAction::SetActionComponent(TComponent* Value) {
    if (actionComponent_ == Value) return;
    if (actionComponent_ != nullptr) actionComponent_->RemoveFreeNotification(this);
    actionComponent_ = Value;
    if (actionComponent_ != nullptr) actionComponent_->FreeNotification(this);
}

void TBasicAction::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == actionComponent_) actionComponent_ = nullptr;
}

void TBasicAction::RegisterChanges(TBasicActionLink* Value) {
    if (Value == nullptr) return;
    Value->action_ = this;
    if (std::find(clients_.begin(), clients_.end(), Value) == clients_.end()) clients_.push_back(Value);
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* Value) {
    auto it = std::find(clients_.begin(), clients_.end(), Value);
    if (it == clients_.end()) return;
    clients_.erase(it);
    Value->action_ = nullptr;
}

void TBasicAction::Change() {
    if (OnChange) OnChange(this);
}

// ---- TBasicActionLink ------------------------------------------------------------------------

TBasicActionLink::TBasicActionLink(TObject* AClient) { (void)AClient; }

TBasicActionLink::~TBasicActionLink() {
    if (action_ != nullptr) action_->UnRegisterChanges(this);
}

void TBasicActionLink::SetAction(TBasicAction* Value) {
    if (Value == action_) return;
    if (action_ != nullptr) action_->UnRegisterChanges(this);
    action_ = Value;
    if (Value != nullptr) Value->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent* AComponent) {
    if (action_ == nullptr) return false;
    TBasicAction* action = action_;
    action->SetActionComponent(AComponent);
    bool result = false;
    try {
        result = action->Execute();
    } catch (...) {
        // The link may have gone with its client meanwhile; the action is still alive.
        action->SetActionComponent(nullptr);
        throw;
    }
    action->SetActionComponent(nullptr);
    return result;
}

bool TBasicActionLink::Update() { return action_ != nullptr && action_->Update(); }

void TBasicActionLink::Change() {
    if (OnChange) OnChange(action_);
}

// ---- TContainedAction ------------------------------------------------------------------------

TContainedAction::TContainedAction(TComponent* AOwner) : TBasicAction(AOwner) {}

TContainedAction::~TContainedAction() {
    if (actionList_ != nullptr) actionList_->RemoveAction(this);
}

bool TContainedAction::Execute() {
    if (actionList_ != nullptr && actionList_->ExecuteAction(this)) return true;
    if (ApplicationExists() && Application()->ExecuteAction(this)) return true;
    if (TBasicAction::Execute()) return true;
    return SendAppMessage(CM_ACTIONEXECUTE, 0, reinterpret_cast<LPARAM>(this)) == 1;
}

bool TContainedAction::Update() {
    if (actionList_ != nullptr && actionList_->UpdateAction(this)) return true;
    if (ApplicationExists() && Application()->UpdateAction(this)) return true;
    if (TBasicAction::Update()) return true;
    return SendAppMessage(CM_ACTIONUPDATE, 0, reinterpret_cast<LPARAM>(this)) == 1;
}

void TContainedAction::SetActionList(TCustomActionList* Value) {
    if (actionList_ == Value) return;
    if (actionList_ != nullptr) actionList_->RemoveAction(this);
    if (Value != nullptr) Value->AddAction(this);
}

int TContainedAction::Index() const {
    if (actionList_ == nullptr) return -1;
    auto& v = actionList_->actions_;
    auto it = std::find(v.begin(), v.end(), this);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

// ---- TCustomAction ---------------------------------------------------------------------------

TCustomAction::TCustomAction(TComponent* AOwner) : TContainedAction(AOwner) {
    static const bool streamClassesRegistered = (RegisterStreamClasses(), true);
    (void)streamClassesRegistered;
}

namespace {
template <typename F>
void ForEachActionLink(TBasicAction* action, F f) {
    // A copy: a client may drop its link while it is told.
    std::vector<TBasicActionLink*> links;
    for (int i = 0; i < action->ClientCount(); ++i) links.push_back(action->Clients(i));
    for (TBasicActionLink* l : links)
        if (auto* link = dynamic_cast<TActionLink*>(l)) f(link);
}
}  // namespace

bool TCustomAction::Execute() {
    Update();
    if (!enabled_) return false;
    if (autoCheck_ && (!checked_ || groupIndex_ == 0)) SetChecked(!checked_);
    return TContainedAction::Execute();
}

void TCustomAction::Assign(TPersistent* Source) {
    auto* src = dynamic_cast<TCustomAction*>(Source);
    if (src == nullptr) {
        TContainedAction::Assign(Source);
        return;
    }
    SetAutoCheck(src->AutoCheck());
    SetCaption(src->Caption());
    SetChecked(src->Checked());
    SetEnabled(src->Enabled());
    SetGroupIndex(src->GroupIndex());
    SetHelpContext(src->HelpContext());
    SetHint(src->Hint());
    SetImageIndex(src->ImageIndex());
    SetShortCut(src->ShortCut());
    SetVisible(src->Visible());
    OnExecute = src->OnExecute;
    OnUpdate = src->OnUpdate;
}

void TCustomAction::SetCaption(const std::string& Value) {
    if (Value == caption_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetCaption(Value); });
    caption_ = Value;
    Change();
}

void TCustomAction::SetHint(const std::string& Value) {
    if (Value == hint_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetHint(Value); });
    hint_ = Value;
    Change();
}

void TCustomAction::SetChecked(bool Value) {
    if (Value == checked_ || checking_) return;
    checking_ = true;
    try {
        ForEachActionLink(this, [&](TActionLink* l) { l->SetChecked(Value); });
        checked_ = Value;
        // One checked action per group of the same list.
        if (Value && groupIndex_ > 0 && ActionList() != nullptr) {
            for (int i = 0; i < ActionList()->ActionCount(); ++i) {
                auto* other = dynamic_cast<TCustomAction*>(ActionList()->Actions(i));
                if (other != nullptr && other != this && other->groupIndex_ == groupIndex_) other->SetChecked(false);
            }
        }
    } catch (...) {
        checking_ = false;
        throw;
    }
    checking_ = false;
    Change();
}

void TCustomAction::SetGroupIndex(int Value) {
    if (Value == groupIndex_) return;
    groupIndex_ = Value;
    if (checked_ && Value > 0 && ActionList() != nullptr) {
        for (int i = 0; i < ActionList()->ActionCount(); ++i) {
            auto* other = dynamic_cast<TCustomAction*>(ActionList()->Actions(i));
            if (other != nullptr && other != this && other->groupIndex_ == Value) other->SetChecked(false);
        }
    }
    Change();
}

void TCustomAction::SetEnabled(bool Value) {
    if (Value == enabled_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetEnabled(Value); });
    enabled_ = Value;
    Change();
}

void TCustomAction::SetVisible(bool Value) {
    if (Value == visible_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetVisible(Value); });
    visible_ = Value;
    Change();
}

void TCustomAction::SetImageIndex(int Value) {
    if (Value == imageIndex_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetImageIndex(Value); });
    imageIndex_ = Value;
    Change();
}

void TCustomAction::SetShortCut(TShortCut Value) {
    if (Value == shortCut_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetShortCut(Value); });
    shortCut_ = Value;
    Change();
}

void TCustomAction::SetHelpContext(int Value) {
    if (Value == helpContext_) return;
    ForEachActionLink(this, [&](TActionLink* l) { l->SetHelpContext(Value); });
    helpContext_ = Value;
    Change();
}

// ---- TCustomActionList -----------------------------------------------------------------------

TCustomActionList::TCustomActionList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomActionList::~TCustomActionList() {
    while (!actions_.empty()) delete actions_.back();
}

void TCustomActionList::SetImages(TCustomImageList* Value) {
    if (Value == images_) return;
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (images_ != nullptr) images_->FreeNotification(this);
    Change();
}

void TCustomActionList::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent != nullptr && AComponent == images_) {
        // The list is being freed: nothing of it may be called any more.
        images_ = nullptr;
        Change();
    }
}

TContainedAction* TCustomActionList::Actions(int Index) const {
    if (Index < 0 || Index >= ActionCount())
        throw EListError(Format(L"List index out of bounds (%d)", {Index}));
    return actions_[static_cast<size_t>(Index)];
}

void TCustomActionList::AddAction(TContainedAction* Action) {
    actions_.push_back(Action);
    Action->actionList_ = this;
    Change();
}

void TCustomActionList::RemoveAction(TContainedAction* Action) {
    auto it = std::find(actions_.begin(), actions_.end(), Action);
    if (it == actions_.end()) return;
    actions_.erase(it);
    Action->actionList_ = nullptr;
    Change();
}

bool TCustomActionList::ExecuteAction(TBasicAction* Action) {
    bool handled = false;
    if (OnExecute) OnExecute(Action, handled);
    return handled;
}

bool TCustomActionList::UpdateAction(TBasicAction* Action) {
    bool handled = false;
    if (OnUpdate) OnUpdate(Action, handled);
    return handled;
}

bool TCustomActionList::IsShortCut(TShortCut Value) {
    if (Value == scNone) return false;
    for (TContainedAction* a : std::vector<TContainedAction*>(actions_)) {
        auto* action = dynamic_cast<TCustomAction*>(a);
        if (action == nullptr || !action->HasShortCut(Value)) continue;
        action->Update();
        // A shortcut of a disabled action is still used up (it must not reach the control).
        if (action->Enabled()) action->Execute();
        return true;
    }
    return false;
}

void TCustomActionList::Change() {
    if (OnChange) OnChange(this);
}

// ---- Action links ----------------------------------------------------------------------------

TCustomAction* TActionLink::CustomAction() const { return dynamic_cast<TCustomAction*>(Action()); }
bool TActionLink::IsCaptionLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsCheckedLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsEnabledLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsHelpContextLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsHintLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsImageIndexLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsShortCutLinked() { return CustomAction() != nullptr; }
bool TActionLink::IsVisibleLinked() { return CustomAction() != nullptr; }

TControlActionLink::TControlActionLink(TControl* AClient) : TActionLink(AClient) { AssignClient(AClient); }

const TControlActionLinkClassRef& TControlActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(
        L"TControlActionLink", nullptr,
        [](TControl* client) -> TControlActionLink* { return new TControlActionLink(client); });
    return ref;
}

void TControlActionLink::AssignClient(TObject* AClient) { client_ = dynamic_cast<TControl*>(AClient); }

// A property is linked while the client still shows the action's current value (the action
// tells its links before it stores a new value).
bool TControlActionLink::IsCaptionLinked() {
    return TActionLink::IsCaptionLinked() && client_->Caption() == CustomAction()->Caption();
}
bool TControlActionLink::IsEnabledLinked() {
    return TActionLink::IsEnabledLinked() && client_->Enabled() == CustomAction()->Enabled();
}
bool TControlActionLink::IsHelpContextLinked() {
    return TActionLink::IsHelpContextLinked() && client_->HelpContext() == CustomAction()->HelpContext();
}
bool TControlActionLink::IsHintLinked() {
    return TActionLink::IsHintLinked() && client_->Hint() == CustomAction()->Hint();
}
bool TControlActionLink::IsVisibleLinked() {
    return TActionLink::IsVisibleLinked() && client_->Visible() == CustomAction()->Visible();
}
bool TControlActionLink::IsOnExecuteLinked() { return !client_->OnClick; }

void TControlActionLink::SetCaption(const std::string& Value) {
    if (IsCaptionLinked()) client_->SetCaption(Value);
}
void TControlActionLink::SetEnabled(bool Value) {
    if (IsEnabledLinked()) client_->SetEnabled(Value);
}
void TControlActionLink::SetHelpContext(int Value) {
    if (IsHelpContextLinked()) client_->SetHelpContext(Value);
}
void TControlActionLink::SetHint(const std::string& Value) {
    if (IsHintLinked()) client_->SetHint(Value);
}
void TControlActionLink::SetVisible(bool Value) {
    if (IsVisibleLinked()) client_->SetVisible(Value);
}

const TControlActionLinkClassRef& TWinControlActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(
        L"TWinControlActionLink", &TControlActionLink::ClassRef(),
        [](TControl* client) -> TControlActionLink* { return new TWinControlActionLink(client); });
    return ref;
}

// ---- Shortcuts -------------------------------------------------------------------------------

TShortCut ShortCut(WORD Key, TShiftState Shift) {
    if ((Key & 0xFF00) != 0) return scNone;
    TShortCut s = Key;
    if (Shift & ssShift) s |= scShift;
    if (Shift & ssCtrl) s |= scCtrl;
    if (Shift & ssAlt) s |= scAlt;
    return s;
}

namespace {

// The keys whose names do not depend on the keyboard layout.
const char* FixedKeyName(WORD Key) {
    switch (Key) {
        case VK_BACK: return "BkSp";
        case VK_TAB: return "Tab";
        case VK_RETURN: return "Enter";
        case VK_ESCAPE: return "Esc";
        case VK_SPACE: return "Space";
        case VK_PRIOR: return "PgUp";
        case VK_NEXT: return "PgDn";
        case VK_END: return "End";
        case VK_HOME: return "Home";
        case VK_LEFT: return "Left";
        case VK_UP: return "Up";
        case VK_RIGHT: return "Right";
        case VK_DOWN: return "Down";
        case VK_INSERT: return "Ins";
        case VK_DELETE: return "Del";
        default: return nullptr;
    }
}

}  // namespace

std::string ShortCutToText(TShortCut Value) {
    WORD key = Value & 0xFF;
    if (key == 0) return std::string();
    std::string name;
    if (key >= 'A' && key <= 'Z') {
        name = std::string(1, static_cast<char>(key));
    } else if (key >= '0' && key <= '9') {
        name = std::string(1, static_cast<char>(key));
    } else if (key >= VK_F1 && key <= VK_F24) {
        name = std::string("F").append(std::to_string(key - VK_F1 + 1));
    } else if (const char* fixed = FixedKeyName(key)) {
        name = fixed;
    } else {
        UINT scan = MapVirtualKeyA(key, 0);
        LONG lparam = static_cast<LONG>(scan << 16);
        switch (key) {
            case VK_INSERT: case VK_DELETE: case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
            case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_DIVIDE:
                lparam |= 1 << 24;  // extended key
                break;
            default:
                break;
        }
        char buf[64] = {};
        if (scan != 0 && GetKeyNameTextA(lparam, buf, sizeof buf) > 0)
            name = buf;
        else
            return std::string();
    }
    std::string text;
    if (Value & scShift) text.append("Shift+");
    if (Value & scCtrl) text.append("Ctrl+");
    if (Value & scAlt) text.append("Alt+");
    text.append(name);
    return text;
}

TShortCut TextToShortCut(const std::string& Text) {
    auto upper = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    std::string rest = upper(Text);
    TShortCut modifiers = 0;
    for (bool found = true; found;) {
        found = false;
        for (const auto& [prefix, bit] : {std::pair<const char*, TShortCut>{"SHIFT+", scShift},
                                          std::pair<const char*, TShortCut>{"CTRL+", scCtrl},
                                          std::pair<const char*, TShortCut>{"ALT+", scAlt}}) {
            const std::string p(prefix);
            if (rest.size() > p.size() && rest.compare(0, p.size(), p) == 0) {
                modifiers |= bit;
                rest.erase(0, p.size());
                found = true;
            }
        }
    }
    if (rest.empty()) return scNone;
    WORD key = 0;
    if (rest.size() == 1 && ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= '0' && rest[0] <= '9'))) {
        key = static_cast<WORD>(rest[0]);
    } else if (rest.size() >= 2 && rest.size() <= 3 && rest[0] == 'F' &&
               std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int n = std::stoi(rest.substr(1));
        if (n >= 1 && n <= 24) key = static_cast<WORD>(VK_F1 + n - 1);
    } else {
        for (WORD k = 1; k < 256 && key == 0; ++k)
            if (const char* name = FixedKeyName(k); name != nullptr && upper(name) == rest) key = k;
    }
    return key == 0 ? scNone : static_cast<TShortCut>(key | modifiers);
}

void TCustomAction::AddSecondaryShortCut(const std::string& Text) {
    secondaryShortCuts_.push_back(TSecondaryShortCut{Text, TextToShortCut(Text)});
}

bool TCustomAction::HasShortCut(TShortCut Value) const {
    if (Value == scNone) return false;
    if (shortCut_ == Value) return true;
    for (const TSecondaryShortCut& s : secondaryShortCuts_)
        if (s.ShortCut == Value) return true;
    return false;
}

}  // namespace classlib
