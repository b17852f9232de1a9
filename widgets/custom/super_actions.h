// Super actions: wide actions that also carry a command-line switch and a script token, a prepare
// step that gathers the argument before the action runs, and two-state (toggle) actions that swap
// their caption, hint, image and handler with their state.
//
// AutoCheck, the same from every entry (a button, a menu, a shortcut, a command line or a script):
// a plain super action flips Checked BEFORE its handler, so the handler reads the new state; a
// toggle action flips it AFTER its handler, so the handler of the state the user saw runs, and the
// next trigger runs the other one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/actions.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_actions.h"

namespace classlib {
class TCustomImageList;
}

namespace widgets::custom {

// The argument list that a prepare step or a command fills and a handler reads (its first
// string), shared by every super action; main thread only.
unicode::TUcStringList& ActionArguments();
// Raised before a prepare step and before each command; a prepare step lowers it to cancel.
extern bool ActionProceed;
// The first string of ActionArguments, or "" when it is empty.
std::wstring ActionArgument();

using TImageChangedEvent = std::function<void(classlib::TCustomImageList* imglist, int imageindex)>;

class TCustomSuperAction : public TUcCustomAction {
public:
    CLASSLIB_CLASS_NAME(TCustomSuperAction)
    explicit TCustomSuperAction(classlib::TComponent* AOwner) : TUcCustomAction(AOwner) {}

    // Both are stored lower-cased.
    const std::wstring& Switch() const { return switch_; }
    void SetSwitch(const std::wstring& Value);
    const std::wstring& Token() const { return token_; }
    void SetToken(const std::wstring& Value);

    // A user's trigger: nothing when disabled; else ActionProceed raised, ActionArguments cleared,
    // Onprepare, and unless it lowered ActionProceed the action's execute event (through the
    // action list, the application and the forms as every action), with the AutoCheck rule above.
    bool Execute() override;
    // The writer of Checked.
    virtual void SetChecked(bool Value) { classlib::TCustomAction::SetChecked(Value); }
    // An unchanged index does nothing; a new one is stored, then OnImageChanged runs.
    void SetImageIndex(int Value);

    // One command of a script or of the command line: Kind 0 sets the state to False, 1 to True,
    // 2 re-applies it, 3 leaves it; then the execute event runs with Sender (no prepare step)
    // under the AutoCheck rule. The caller fills ActionArguments and checks Enabled.
    void RunCommand(std::uint8_t Kind, classlib::TObject* Sender);

    classlib::TNotifyEvent Onprepare;
    TImageChangedEvent OnImageChanged;

protected:
    // True for actions whose AutoCheck flips after the handler (toggle actions).
    virtual bool AutoCheckAfterHandler() const { return false; }
    // Before a command that leaves the state alone: a toggle puts its current state's handler in
    // place, as a user's trigger does.
    virtual void PrepareUnchangedState() {}

private:
    template <typename Run>
    bool WithAutoCheck(Run run);
    void ApplyAutoCheck();
    std::wstring switch_;
    std::wstring token_;
};

// A super action whose OnExecute the form binds.
class TSuperAction : public TCustomSuperAction {
public:
    CLASSLIB_CLASS_NAME(TSuperAction)
    explicit TSuperAction(classlib::TComponent* AOwner) : TCustomSuperAction(AOwner) {}
};

// A two-state action. Its False state is the one whose handler switches the feature on; each of
// its handlers sets Checked itself (or AutoCheck does it after the handler), it never inverts
// its own state.
class TtoggleAction : public TCustomSuperAction {
public:
    CLASSLIB_CLASS_NAME(TtoggleAction)
    explicit TtoggleAction(classlib::TComponent* AOwner) : TCustomSuperAction(AOwner) {}

    // Re-applies the current state (its caption, hint, image and handler), then runs as a super
    // action.
    bool Execute() override;
    // Takes the caption, hint, image and execute event of the new state, then stores the state.
    void SetChecked(bool Value) override;

    // The texts and images of each state; writing those of the current state shows them at once.
    const std::wstring& TrueCaption() const { return trueCaption_; }
    void SetTrueCaption(const std::wstring& Value);
    const std::wstring& FalseCaption() const { return falseCaption_; }
    void SetFalseCaption(const std::wstring& Value);
    const std::wstring& TrueHint() const { return trueHint_; }
    void SetTrueHint(const std::wstring& Value);
    const std::wstring& FalseHint() const { return falseHint_; }
    void SetFalseHint(const std::wstring& Value);
    int TrueImageIndex() const { return trueImageIndex_; }
    void SetTrueImageIndex(int Value);
    int FalseImageIndex() const { return falseImageIndex_; }
    void SetFalseImageIndex(int Value);

    classlib::TNotifyEvent OnTrueExecute;
    classlib::TNotifyEvent OnfalseExecute;

protected:
    bool AutoCheckAfterHandler() const override { return true; }
    void PrepareUnchangedState() override;

private:
    void ApplyState(bool Value);
    std::wstring trueCaption_, falseCaption_, trueHint_, falseHint_;
    int trueImageIndex_ = -1, falseImageIndex_ = -1;
};

}  // namespace widgets::custom
