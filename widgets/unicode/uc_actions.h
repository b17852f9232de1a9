// Wide actions: actions that keep a wide Caption and Hint beside the class library's ANSI ones,
// the wide action links that carry those texts into wide controls, and the wide action-change
// step every wide control runs before the class library's own.
#pragma once

#include <string>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/std_buttons.h"

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

// The action list of wide actions: at run time the class library's action list as it is.
class TUcActionList : public classlib::TActionList {
public:
    CLASSLIB_CLASS_NAME(TUcActionList)
    explicit TUcActionList(classlib::TComponent* AOwner) : classlib::TActionList(AOwner) {}
};

// The wide step of a wide control's ActionChange, run before the class library's one: takes the
// wide caption and hint of a wide action (with CheckDefaults only into an empty text, or a text
// equal to the control's Name, and an empty hint).
void UcControl_BeforeInherited_ActionChange(classlib::TControl* Control, classlib::TObject* Sender,
                                            bool CheckDefaults);

// Links that carry the wide texts into wide controls: each descends from the class library's
// link of one control kind and adds the wide caption and hint (linked while the action's and
// the client's wide texts are equal; set through the wide core).
#define WIDGETS_UC_LINK_CLASS(Class, Base)                                                        \
    class Class : public Base {                                                                   \
    public:                                                                                       \
        CLASSLIB_CLASS_NAME(Class)                                                                \
        explicit Class(classlib::TControl* AClient) : Base(AClient) {}                            \
        static const classlib::TControlActionLinkClassRef& ClassRef();                            \
        bool IsCaptionLinked() override;                                                          \
        bool IsHintLinked() override;                                                             \
        void SetCaption(const std::string& Value) override;                                       \
        void SetHint(const std::string& Value) override;                                          \
    };

WIDGETS_UC_LINK_CLASS(TUcControlActionLink, classlib::TControlActionLink)
WIDGETS_UC_LINK_CLASS(TUcWinControlActionLink, classlib::TWinControlActionLink)
WIDGETS_UC_LINK_CLASS(TUcButtonActionLink, classlib::TButtonActionLink)

// The bodies of a wide link class declared with WIDGETS_UC_LINK_CLASS (in one source file).
#define WIDGETS_UC_LINK_BODIES(Class, Base)                                                       \
    const classlib::TControlActionLinkClassRef& Class::ClassRef() {                               \
        static const classlib::TControlActionLinkClassRef ref(                                    \
            L## #Class, &Base::ClassRef(),                                                        \
            [](classlib::TControl* c) -> classlib::TControlActionLink* { return new Class(c); }); \
        return ref;                                                                               \
    }                                                                                             \
    bool Class::IsCaptionLinked() { return WideLinkCaptionLinked(this, Base::IsCaptionLinked()); } \
    bool Class::IsHintLinked() { return WideLinkHintLinked(this, Base::IsHintLinked()); }         \
    void Class::SetCaption(const std::string& Value) {                                            \
        if (IsCaptionLinked()) UcControl_SetText(Client(), WideCaptionForLink(Action(), Value));  \
    }                                                                                             \
    void Class::SetHint(const std::string& Value) {                                               \
        if (IsHintLinked()) UcControl_SetHint(Client(), WideHintForLink(Action(), Value));        \
    }

// Whether the link's client shows its action's wide caption (hint), given the inherited answer.
bool WideLinkCaptionLinked(classlib::TControlActionLink* Link, bool Inherited);
bool WideLinkHintLinked(classlib::TControlActionLink* Link, bool Inherited);

// The wide link classes of control kinds that other modules bring (speed and tool buttons, list
// views): each registers its class once; UcControl_GetActionLinkClass picks the registered class
// whose parent is the link class the control's kind asks for.
void RegisterWideActionLinkClass(classlib::TControlActionLinkClass WideClass);

// The wide link class for a control whose inherited class answered Inherited: the wide class
// that descends directly from it (an assertion otherwise).
classlib::TControlActionLinkClass UcControl_GetActionLinkClass(classlib::TControl* Control,
                                                               classlib::TControlActionLinkClass Inherited);

}  // namespace widgets
