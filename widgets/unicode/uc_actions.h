// Wide actions: actions that keep a wide Caption and Hint beside the class library's ANSI ones,
// the wide action links that carry those texts into wide controls, and the wide action-change
// step every wide control runs before the class library's own.
#pragma once

#include <string>

#include "classlib/actions.h"
#include "classlib/controls.h"

namespace widgets {

class TCustomActionHelper;

// Implemented by every wide action: gives access to its companion.
class IUcWideAction {
public:
    virtual ~IUcWideAction() = default;
    virtual classlib::TCustomAction* AsCustomAction() = 0;
};

// The companion of a wide action (owned by the action, made on first use).
class TCustomActionHelper : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TCustomActionHelper)
    explicit TCustomActionHelper(classlib::TCustomAction* AAction);
    classlib::TCustomAction* Action() const { return action_; }

    std::wstring WideCaption;
    bool SettingCaption = false;
    std::wstring PrevWideCaption;
    std::string SettingCaptionAnsi;
    std::wstring WideHint;
    bool SettingHint = false;
    std::wstring PrevWideHint;
    std::string SettingHintAnsi;

private:
    classlib::TCustomAction* action_;
};

// Wide caption and hint of any action (the ANSI ones widened for an action that is not wide).
std::wstring WideActionCaption(classlib::TCustomAction* Action);
void SetWideActionCaption(classlib::TCustomAction* Action, const std::wstring& Value);
std::wstring WideActionHint(classlib::TCustomAction* Action);
void SetWideActionHint(classlib::TCustomAction* Action, const std::wstring& Value);
// The text a link passes on while the action pushes AnsiValue: the new wide text while a wide
// action's caption (hint) is being set, else AnsiValue widened.
std::wstring WideCaptionForLink(classlib::TBasicAction* Action, const std::string& AnsiValue);
std::wstring WideHintForLink(classlib::TBasicAction* Action, const std::string& AnsiValue);
// Copies the wide caption and hint of a TCustomAction or of a control into Dest's ANSI ones
// (after the inherited Assign).
void AssignWideActionTexts(classlib::TCustomAction* Dest, classlib::TPersistent* Source);

#define WIDGETS_UC_ACTION_MEMBERS(Class)                                                         \
public:                                                                                          \
    classlib::TCustomAction* AsCustomAction() override { return this; }                          \
    std::wstring Caption() { return WideActionCaption(this); }                                   \
    void SetCaption(const std::wstring& Value) { SetWideActionCaption(this, Value); }            \
    std::wstring Hint() { return WideActionHint(this); }                                         \
    void SetHint(const std::wstring& Value) { SetWideActionHint(this, Value); }                  \
    void Assign(classlib::TPersistent* Source) override;                                         \
    void DefineProperties(classlib::TFiler* Filer) override;

class TUcCustomAction : public classlib::TCustomAction, public IUcWideAction {
public:
    CLASSLIB_CLASS_NAME(TUcCustomAction)
    explicit TUcCustomAction(classlib::TComponent* AOwner) : classlib::TCustomAction(AOwner) {}
    WIDGETS_UC_ACTION_MEMBERS(TUcCustomAction)
};

class TUcAction : public classlib::TAction, public IUcWideAction {
public:
    CLASSLIB_CLASS_NAME(TUcAction)
    explicit TUcAction(classlib::TComponent* AOwner) : classlib::TAction(AOwner) {}
    WIDGETS_UC_ACTION_MEMBERS(TUcAction)
};

// The hint action the wide application executes in place of the class library's one, so that
// a hint shower (a status bar) can take the wide hint.
class TUcHintAction : public classlib::THintAction, public IUcWideAction {
public:
    CLASSLIB_CLASS_NAME(TUcHintAction)
    explicit TUcHintAction(classlib::TComponent* AOwner) : classlib::THintAction(AOwner) {}
    WIDGETS_UC_ACTION_MEMBERS(TUcHintAction)
};

#undef WIDGETS_UC_ACTION_MEMBERS

// The wide step of a wide control's ActionChange, run before the class library's one: takes the
// wide caption and hint of a wide action (with CheckDefaults only into an empty text, or a text
// equal to the control's Name, and an empty hint).
void UcControl_BeforeInherited_ActionChange(classlib::TControl* Control, classlib::TObject* Sender,
                                            bool CheckDefaults);

// Links that carry the wide texts into wide controls.
class TUcControlActionLink : public classlib::TControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TUcControlActionLink)
    explicit TUcControlActionLink(classlib::TControl* AClient) : classlib::TControlActionLink(AClient) {}
    static const classlib::TControlActionLinkClassRef& ClassRef();
    bool IsCaptionLinked() override;
    bool IsHintLinked() override;
    void SetCaption(const std::string& Value) override;
    void SetHint(const std::string& Value) override;
};

class TUcWinControlActionLink : public classlib::TWinControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TUcWinControlActionLink)
    explicit TUcWinControlActionLink(classlib::TControl* AClient) : classlib::TWinControlActionLink(AClient) {}
    static const classlib::TControlActionLinkClassRef& ClassRef();
    bool IsCaptionLinked() override;
    bool IsHintLinked() override;
    void SetCaption(const std::string& Value) override;
    void SetHint(const std::string& Value) override;
};

// The wide link class for a control whose inherited class answered Inherited: the wide class
// that descends directly from it (an assertion otherwise).
classlib::TControlActionLinkClass UcControl_GetActionLinkClass(classlib::TControl* Control,
                                                               classlib::TControlActionLinkClass Inherited);

}  // namespace widgets
