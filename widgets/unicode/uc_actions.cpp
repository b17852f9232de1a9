// Wide actions, their companion and the wide action links.
#include "widgets/unicode/uc_actions.h"

#include <algorithm>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "unicode/wide_files.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_controls.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::TCustomAction;
using classlib::WideToAnsi;

namespace {

TCustomActionHelper* FindActionHelper(TCustomAction* Action) {
    for (int i = 0; i < Action->ComponentCount(); ++i)
        if (auto* h = dynamic_cast<TCustomActionHelper*>(Action->Components(i))) return h;
    return nullptr;
}

TCustomActionHelper* ActionHelper(TCustomAction* Action) {
    TCustomActionHelper* h = FindActionHelper(Action);
    return h != nullptr ? h : new TCustomActionHelper(Action);
}

bool IsWideAction(classlib::TBasicAction* Action) { return dynamic_cast<IUcWideAction*>(Action) != nullptr; }

// The wide text of one of the two properties (caption or hint) of a wide action.
struct WideField {
    std::wstring TCustomActionHelper::*Wide;
    bool TCustomActionHelper::*Setting;
    std::wstring TCustomActionHelper::*Prev;
    std::string TCustomActionHelper::*SettingAnsi;
    const std::string& (TCustomAction::*GetAnsi)() const;
    void (TCustomAction::*SetAnsi)(const std::string&);
};

const WideField kCaption{&TCustomActionHelper::WideCaption, &TCustomActionHelper::SettingCaption,
                         &TCustomActionHelper::PrevWideCaption, &TCustomActionHelper::SettingCaptionAnsi,
                         &TCustomAction::Caption, &TCustomAction::SetCaption};
const WideField kHint{&TCustomActionHelper::WideHint, &TCustomActionHelper::SettingHint,
                      &TCustomActionHelper::PrevWideHint, &TCustomActionHelper::SettingHintAnsi,
                      &TCustomAction::Hint, &TCustomAction::SetHint};

std::wstring GetWide(TCustomAction* Action, const WideField& F) {
    const std::string& ansi = (Action->*F.GetAnsi)();
    if (!IsWideAction(Action)) return AnsiToWide(ansi);
    TCustomActionHelper* h = ActionHelper(Action);
    // While a new text is being set, the links are told before the ANSI text is stored: until
    // then the action answers its previous wide text (what its linked clients still show).
    if (h->*F.Setting) return ansi == h->*F.SettingAnsi ? h->*F.Wide : h->*F.Prev;
    return unicode::GetSyncedWideString(h->*F.Wide, ansi);
}

void SetWide(TCustomAction* Action, const std::wstring& Value, const WideField& F) {
    if (!IsWideAction(Action)) {
        (Action->*F.SetAnsi)(WideToAnsi(Value));
        return;
    }
    TCustomActionHelper* h = ActionHelper(Action);
    h->*F.Prev = GetWide(Action, F);
    h->*F.SettingAnsi = WideToAnsi(Value);
    h->*F.Setting = true;
    try {
        unicode::SetSyncedWideString(Value, h->*F.Wide, (Action->*F.GetAnsi)(), [&](const std::string& s) {
            (Action->*F.SetAnsi)(s);
            // The empty step of a text whose ANSI form is the current one: the clients now
            // show "", which is the previous text from here on.
            if (s.empty() && !(h->*F.SettingAnsi).empty()) (h->*F.Prev).clear();
        });
    } catch (...) {
        h->*F.Setting = false;
        throw;
    }
    h->*F.Setting = false;
}

std::wstring ForLink(classlib::TBasicAction* Action, const std::string& AnsiValue, const WideField& F) {
    auto* custom = dynamic_cast<TCustomAction*>(Action);
    if (custom == nullptr || !IsWideAction(custom)) return AnsiToWide(AnsiValue);
    TCustomActionHelper* h = FindActionHelper(custom);
    if (h != nullptr && h->*F.Setting && AnsiValue == h->*F.SettingAnsi) return h->*F.Wide;
    return AnsiToWide(AnsiValue);
}

}  // namespace

TCustomActionHelper::TCustomActionHelper(TCustomAction* AAction) : classlib::TComponent(AAction), action_(AAction) {}

std::wstring WideActionCaption(TCustomAction* Action) { return GetWide(Action, kCaption); }
void SetWideActionCaption(TCustomAction* Action, const std::wstring& Value) { SetWide(Action, Value, kCaption); }
std::wstring WideActionHint(TCustomAction* Action) { return GetWide(Action, kHint); }
void SetWideActionHint(TCustomAction* Action, const std::wstring& Value) { SetWide(Action, Value, kHint); }

std::wstring WideCaptionForLink(classlib::TBasicAction* Action, const std::string& AnsiValue) {
    return ForLink(Action, AnsiValue, kCaption);
}
std::wstring WideHintForLink(classlib::TBasicAction* Action, const std::string& AnsiValue) {
    return ForLink(Action, AnsiValue, kHint);
}

void AssignWideActionTexts(TCustomAction* Dest, classlib::TPersistent* Source) {
    if (auto* action = dynamic_cast<TCustomAction*>(Source)) {
        SetWideActionCaption(Dest, WideActionCaption(action));
        SetWideActionHint(Dest, WideActionHint(action));
    } else if (auto* control = dynamic_cast<classlib::TControl*>(Source)) {
        SetWideActionCaption(Dest, UcControl_GetText(control));
        SetWideActionHint(Dest, UcControl_GetHint(control));
    }
}

#define WIDGETS_UC_ACTION_BODIES(Class, Base)                              \
    void Class::Assign(classlib::TPersistent* Source) {                    \
        Base::Assign(Source);                                              \
        AssignWideActionTexts(this, Source);                               \
    }                                                                      \
    void Class::DefineProperties(classlib::TFiler* Filer) {                \
        Base::DefineProperties(Filer);                                     \
        unicode::UcPersistent_DefineWideProperties(Filer, this);           \
    }

WIDGETS_UC_ACTION_BODIES(TUcCustomAction, classlib::TCustomAction)
WIDGETS_UC_ACTION_BODIES(TUcAction, classlib::TAction)
WIDGETS_UC_ACTION_BODIES(TUcHintAction, classlib::THintAction)
#undef WIDGETS_UC_ACTION_BODIES

// ---- Wide action change ----------------------------------------------------------------------

void UcControl_BeforeInherited_ActionChange(classlib::TControl* Control, classlib::TObject* Sender,
                                            bool CheckDefaults) {
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr || !IsWideAction(action)) return;
    std::wstring text = UcControl_GetText(Control);
    if (!CheckDefaults || text.empty() || text == Control->Name())
        UcControl_SetText(Control, WideActionCaption(action));
    if (!CheckDefaults || UcControl_GetHint(Control).empty()) UcControl_SetHint(Control, WideActionHint(action));
}

// ---- Links -----------------------------------------------------------------------------------

bool WideLinkCaptionLinked(classlib::TControlActionLink* Link, bool Inherited) {
    return Inherited && WideActionCaption(Link->CustomAction()) == UcControl_GetText(Link->Client());
}

bool WideLinkHintLinked(classlib::TControlActionLink* Link, bool Inherited) {
    return Inherited && WideActionHint(Link->CustomAction()) == UcControl_GetHint(Link->Client());
}

WIDGETS_UC_LINK_BODIES(TUcControlActionLink, classlib::TControlActionLink)
WIDGETS_UC_LINK_BODIES(TUcWinControlActionLink, classlib::TWinControlActionLink)
WIDGETS_UC_LINK_BODIES(TUcButtonActionLink, classlib::TButtonActionLink)

namespace {

std::vector<classlib::TControlActionLinkClass>& RegisteredLinkClasses() {
    static std::vector<classlib::TControlActionLinkClass> classes{
        &TUcButtonActionLink::ClassRef(), &TUcWinControlActionLink::ClassRef(), &TUcControlActionLink::ClassRef()};
    return classes;
}

}  // namespace

void RegisterWideActionLinkClass(classlib::TControlActionLinkClass WideClass) {
    auto& classes = RegisteredLinkClasses();
    if (std::find(classes.begin(), classes.end(), WideClass) == classes.end())
        classes.insert(classes.begin(), WideClass);
}

classlib::TControlActionLinkClass UcControl_GetActionLinkClass(classlib::TControl* Control,
                                                               classlib::TControlActionLinkClass Inherited) {
    // The wide class of the control's own link kind; a kind without one falls back to the wide
    // link of windowed or other controls, which the assertion then refuses.
    classlib::TControlActionLinkClass result = nullptr;
    for (classlib::TControlActionLinkClass c : RegisteredLinkClasses())
        if (c->ClassParent() == Inherited) {
            result = c;
            break;
        }
    if (result == nullptr)
        result = dynamic_cast<classlib::TWinControl*>(Control) != nullptr ? &TUcWinControlActionLink::ClassRef()
                                                                         : &TUcControlActionLink::ClassRef();
    if (result->ClassParent() != Inherited)
        throw unicode::EUcInternalError(
            L"UC Internal Error: the wide action link class must descend directly from the inherited one.");
    return result;
}

}  // namespace widgets
