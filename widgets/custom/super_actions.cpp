// Super actions and toggle actions.
#include "widgets/custom/super_actions.h"

#include "classlib/conversions.h"

namespace widgets::custom {

unicode::TUcStringList& ActionArguments() {
    static unicode::TUcStringList list;
    return list;
}

bool ActionProceed = true;

std::wstring ActionArgument() {
    unicode::TUcStringList& args = ActionArguments();
    return args.Count() > 0 ? args.Strings(0) : std::wstring();
}

// ---- TCustomSuperAction ------------------------------------------------------------------------

void TCustomSuperAction::SetSwitch(const std::wstring& Value) { switch_ = classlib::AnsiLowerCase(Value); }
void TCustomSuperAction::SetToken(const std::wstring& Value) { token_ = classlib::AnsiLowerCase(Value); }

void TCustomSuperAction::ApplyAutoCheck() {
    // A checked action of a group stays checked, as with every action of the library.
    if (!Checked() || GroupIndex() == 0) SetChecked(!Checked());
}

template <typename Run>
bool TCustomSuperAction::WithAutoCheck(Run run) {
    const bool after = AutoCheckAfterHandler();
    if (AutoCheck() && !after) ApplyAutoCheck();
    bool result = run();
    if (AutoCheck() && after) ApplyAutoCheck();
    return result;
}

bool TCustomSuperAction::Execute() {
    Update();
    if (!Enabled()) return false;
    ActionProceed = true;
    ActionArguments().Clear();
    if (Onprepare) Onprepare(this);
    if (!ActionProceed) return true;
    // Past TCustomAction's own Execute, whose AutoCheck always flips before the handler.
    return WithAutoCheck([this] { return classlib::TContainedAction::Execute(); });
}

void TCustomSuperAction::RunCommand(std::uint8_t Kind, classlib::TObject* Sender) {
    switch (Kind) {
        case 0: SetChecked(false); break;
        case 1: SetChecked(true); break;
        case 2: SetChecked(Checked()); break;
        default: PrepareUnchangedState(); break;
    }
    WithAutoCheck([&] {
        // A copy: the handler may replace the event (a toggle's handler sets Checked).
        classlib::TNotifyEvent handler = OnExecute;
        if (handler) handler(Sender);
        return true;
    });
}

void TCustomSuperAction::SetImageIndex(int Value) {
    if (Value == ImageIndex()) return;
    classlib::TCustomAction::SetImageIndex(Value);
    if (OnImageChanged) OnImageChanged(ActionList() != nullptr ? ActionList()->Images() : nullptr, Value);
}

// ---- TtoggleAction -----------------------------------------------------------------------------

bool TtoggleAction::Execute() {
    SetChecked(Checked());
    return TCustomSuperAction::Execute();
}

void TtoggleAction::ApplyState(bool Value) {
    SetCaption(Value ? trueCaption_ : falseCaption_);
    SetHint(Value ? trueHint_ : falseHint_);
    SetImageIndex(Value ? trueImageIndex_ : falseImageIndex_);
    OnExecute = Value ? OnTrueExecute : OnfalseExecute;
}

void TtoggleAction::SetChecked(bool Value) {
    ApplyState(Value);
    TCustomSuperAction::SetChecked(Value);
}

void TtoggleAction::PrepareUnchangedState() { ApplyState(Checked()); }

void TtoggleAction::SetTrueCaption(const std::wstring& Value) {
    trueCaption_ = Value;
    if (Checked()) SetCaption(Value);
}
void TtoggleAction::SetFalseCaption(const std::wstring& Value) {
    falseCaption_ = Value;
    if (!Checked()) SetCaption(Value);
}
void TtoggleAction::SetTrueHint(const std::wstring& Value) {
    trueHint_ = Value;
    if (Checked()) SetHint(Value);
}
void TtoggleAction::SetFalseHint(const std::wstring& Value) {
    falseHint_ = Value;
    if (!Checked()) SetHint(Value);
}
void TtoggleAction::SetTrueImageIndex(int Value) {
    trueImageIndex_ = Value;
    if (Checked()) SetImageIndex(Value);
}
void TtoggleAction::SetFalseImageIndex(int Value) {
    falseImageIndex_ = Value;
    if (!Checked()) SetImageIndex(Value);
}

}  // namespace widgets::custom
