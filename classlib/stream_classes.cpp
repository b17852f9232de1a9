// Published properties and stream factories of the library's controls and actions.
#include "classlib/stream_classes.h"

#include "classlib/actions.h"
#include "classlib/buttons.h"
#include "classlib/forms.h"
#include "classlib/panels.h"
#include "classlib/std_controls.h"

namespace classlib {

TPropInfo IntegerProp(const std::wstring& Name, std::function<int(TPersistent*)> Get,
                      std::function<void(TPersistent*, int)> Set, std::int32_t Default) {
    TPropInfo p;
    p.Name = Name;
    p.Kind = tkInteger;
    p.Default = Default;
    p.Getter = [Get](TPersistent* i) -> TPropValue { return static_cast<std::int64_t>(Get(i)); };
    p.Setter = [Set](TPersistent* i, const TPropValue& v) {
        if (const auto* n = std::get_if<std::int64_t>(&v)) Set(i, static_cast<int>(*n));
    };
    return p;
}

TPropInfo EnumProp(const std::wstring& Name, std::vector<std::wstring> Names, std::function<int(TPersistent*)> Get,
                   std::function<void(TPersistent*, int)> Set, std::int32_t Default) {
    TPropInfo p = IntegerProp(Name, std::move(Get), std::move(Set), Default);
    p.Kind = tkEnumeration;
    p.EnumNames = std::move(Names);
    return p;
}

TPropInfo BooleanProp(const std::wstring& Name, std::function<bool(TPersistent*)> Get,
                      std::function<void(TPersistent*, bool)> Set, bool Default) {
    return EnumProp(
        Name, {L"False", L"True"}, [Get](TPersistent* i) { return Get(i) ? 1 : 0; },
        [Set](TPersistent* i, int v) { Set(i, v != 0); }, Default ? 1 : 0);
}

TPropInfo AnsiTextProp(const std::wstring& Name, std::function<std::string(TPersistent*)> Get,
                       std::function<void(TPersistent*, const std::string&)> Set,
                       std::function<bool(TPersistent*)> Stored) {
    TPropInfo p;
    p.Name = Name;
    p.Kind = tkLString;
    p.Getter = [Get](TPersistent* i) -> TPropValue { return Get(i); };
    p.Setter = [Set](TPersistent* i, const TPropValue& v) {
        if (const auto* s = std::get_if<std::string>(&v)) Set(i, *s);
    };
    p.Stored = std::move(Stored);
    return p;
}

TPropInfo WideTextProp(const std::wstring& Name, std::function<std::wstring(TPersistent*)> Get,
                       std::function<void(TPersistent*, const std::wstring&)> Set,
                       std::function<bool(TPersistent*)> Stored) {
    TPropInfo p;
    p.Name = Name;
    p.Kind = tkWString;
    p.Getter = [Get](TPersistent* i) -> TPropValue { return Get(i); };
    p.Setter = [Set](TPersistent* i, const TPropValue& v) {
        if (const auto* s = std::get_if<std::wstring>(&v)) Set(i, *s);
    };
    p.Stored = std::move(Stored);
    return p;
}

TPropInfo ComponentProp(const std::wstring& Name, std::function<TComponent*(TPersistent*)> Get,
                        std::function<void(TPersistent*, TComponent*)> Set) {
    TPropInfo p;
    p.Name = Name;
    p.Kind = tkClass;
    p.Getter = [Get](TPersistent* i) -> TPropValue { return static_cast<TPersistent*>(Get(i)); };
    p.Setter = [Set](TPersistent* i, const TPropValue& v) {
        if (const auto* o = std::get_if<TPersistent*>(&v)) Set(i, dynamic_cast<TComponent*>(*o));
    };
    return p;
}

namespace {

template <typename T>
T* As(TPersistent* Instance) {
    return static_cast<T*>(Instance);
}

// Stored unless the control's action gives it (the action's link reports it linked).
bool CaptionNotLinked(TPersistent* i) {
    TControlActionLink* link = As<TControl>(i)->ActionLink();
    return link == nullptr || !link->IsCaptionLinked();
}

bool HintNotLinked(TPersistent* i) {
    TControlActionLink* link = As<TControl>(i)->ActionLink();
    return link == nullptr || !link->IsHintLinked();
}

void RegisterControls() {
    RegisterPublishedProperties(
        L"TControl", L"TComponent",
        {IntegerProp(L"Left", [](TPersistent* i) { return As<TControl>(i)->Left(); },
                     [](TPersistent* i, int v) { As<TControl>(i)->SetLeft(v); }),
         IntegerProp(L"Top", [](TPersistent* i) { return As<TControl>(i)->Top(); },
                     [](TPersistent* i, int v) { As<TControl>(i)->SetTop(v); }),
         IntegerProp(L"Width", [](TPersistent* i) { return As<TControl>(i)->Width(); },
                     [](TPersistent* i, int v) { As<TControl>(i)->SetWidth(v); }),
         IntegerProp(L"Height", [](TPersistent* i) { return As<TControl>(i)->Height(); },
                     [](TPersistent* i, int v) { As<TControl>(i)->SetHeight(v); }),
         EnumProp(L"Align", {L"alNone", L"alTop", L"alBottom", L"alLeft", L"alRight", L"alClient"},
                  [](TPersistent* i) { return static_cast<int>(As<TControl>(i)->Align()); },
                  [](TPersistent* i, int v) { As<TControl>(i)->SetAlign(static_cast<TAlign>(v)); }, 0),
         AnsiTextProp(L"Caption", [](TPersistent* i) { return As<TControl>(i)->Caption(); },
                      [](TPersistent* i, const std::string& v) { As<TControl>(i)->SetCaption(v); }, &CaptionNotLinked),
         AnsiTextProp(L"Hint", [](TPersistent* i) { return As<TControl>(i)->Hint(); },
                      [](TPersistent* i, const std::string& v) { As<TControl>(i)->SetHint(v); }, &HintNotLinked),
         BooleanProp(L"ShowHint", [](TPersistent* i) { return As<TControl>(i)->ShowHint(); },
                     [](TPersistent* i, bool v) { As<TControl>(i)->SetShowHint(v); }, false),
         BooleanProp(L"Enabled", [](TPersistent* i) { return As<TControl>(i)->Enabled(); },
                     [](TPersistent* i, bool v) { As<TControl>(i)->SetEnabled(v); }, true),
         BooleanProp(L"Visible", [](TPersistent* i) { return As<TControl>(i)->Visible(); },
                     [](TPersistent* i, bool v) { As<TControl>(i)->SetVisible(v); }, true),
         IntegerProp(L"HelpContext", [](TPersistent* i) { return As<TControl>(i)->HelpContext(); },
                     [](TPersistent* i, int v) { As<TControl>(i)->SetHelpContext(v); }, 0),
         ComponentProp(L"Action", [](TPersistent* i) { return As<TControl>(i)->Action(); },
                       [](TPersistent* i, TComponent* v) {
                           As<TControl>(i)->SetAction(dynamic_cast<TBasicAction*>(v));
                       })});
    RegisterPublishedProperties(L"TWinControl", L"TControl",
                                {BooleanProp(L"TabStop", [](TPersistent* i) { return As<TWinControl>(i)->TabStop(); },
                                             [](TPersistent* i, bool v) { As<TWinControl>(i)->SetTabStop(v); }, false)});
    // A form's Visible is its showing, which code decides: not streamed.
    TPropInfo formVisible = BooleanProp(L"Visible", [](TPersistent* i) { return As<TControl>(i)->Visible(); }, nullptr, false);
    formVisible.Setter = nullptr;
    RegisterPublishedProperties(L"TCustomForm", L"TWinControl", {formVisible});
    RegisterPublishedProperties(L"TForm", L"TCustomForm", {});
    RegisterPublishedProperties(L"TCustomControl", L"TWinControl", {});
    RegisterPublishedProperties(L"TGraphicControl", L"TControl", {});
    RegisterPublishedProperties(L"TButtonControl", L"TWinControl", {});
    RegisterPublishedProperties(
        L"TButton", L"TButtonControl",
        {IntegerProp(L"ModalResult", [](TPersistent* i) { return As<TButton>(i)->ModalResult(); },
                     [](TPersistent* i, int v) { As<TButton>(i)->SetModalResult(v); }, 0),
         BooleanProp(L"Default", [](TPersistent* i) { return As<TButton>(i)->Default(); },
                     [](TPersistent* i, bool v) { As<TButton>(i)->SetDefault(v); }, false),
         BooleanProp(L"Cancel", [](TPersistent* i) { return As<TButton>(i)->Cancel(); },
                     [](TPersistent* i, bool v) { As<TButton>(i)->SetCancel(v); }, false)});
    // A bit button stores its caption when it is not its kind's.
    RegisterPublishedProperties(
        L"TBitBtn", L"TButton",
        {EnumProp(L"Kind",
                  {L"bkCustom", L"bkOK", L"bkCancel", L"bkHelp", L"bkYes", L"bkNo", L"bkClose", L"bkAbort", L"bkRetry",
                   L"bkIgnore", L"bkAll"},
                  [](TPersistent* i) { return static_cast<int>(As<TBitBtn>(i)->Kind()); },
                  [](TPersistent* i, int v) { As<TBitBtn>(i)->SetKind(static_cast<TBitBtnKind>(v)); }, 0),
         AnsiTextProp(L"Caption", [](TPersistent* i) { return As<TControl>(i)->Caption(); },
                      [](TPersistent* i, const std::string& v) { As<TControl>(i)->SetCaption(v); },
                      [](TPersistent* i) { return As<TBitBtn>(i)->IsCaptionStored(); })});
    RegisterPublishedProperties(L"TCustomLabel", L"TGraphicControl", {});
    RegisterPublishedProperties(L"TLabel", L"TCustomLabel", {});
    RegisterPublishedProperties(L"TCustomEdit", L"TWinControl", {});
    RegisterPublishedProperties(L"TEdit", L"TCustomEdit", {});
    RegisterPublishedProperties(L"TCustomPanel", L"TCustomControl", {});
    RegisterPublishedProperties(L"TPanel", L"TCustomPanel", {});
}

void RegisterActions() {
    RegisterPublishedProperties(L"TBasicAction", L"TComponent", {});
    RegisterPublishedProperties(L"TContainedAction", L"TBasicAction", {});
    RegisterPublishedProperties(
        L"TCustomAction", L"TContainedAction",
        {AnsiTextProp(L"Caption", [](TPersistent* i) { return As<TCustomAction>(i)->Caption(); },
                      [](TPersistent* i, const std::string& v) { As<TCustomAction>(i)->SetCaption(v); }),
         AnsiTextProp(L"Hint", [](TPersistent* i) { return As<TCustomAction>(i)->Hint(); },
                      [](TPersistent* i, const std::string& v) { As<TCustomAction>(i)->SetHint(v); }),
         BooleanProp(L"Checked", [](TPersistent* i) { return As<TCustomAction>(i)->Checked(); },
                     [](TPersistent* i, bool v) { As<TCustomAction>(i)->SetChecked(v); }, false),
         BooleanProp(L"Enabled", [](TPersistent* i) { return As<TCustomAction>(i)->Enabled(); },
                     [](TPersistent* i, bool v) { As<TCustomAction>(i)->SetEnabled(v); }, true),
         BooleanProp(L"Visible", [](TPersistent* i) { return As<TCustomAction>(i)->Visible(); },
                     [](TPersistent* i, bool v) { As<TCustomAction>(i)->SetVisible(v); }, true),
         BooleanProp(L"AutoCheck", [](TPersistent* i) { return As<TCustomAction>(i)->AutoCheck(); },
                     [](TPersistent* i, bool v) { As<TCustomAction>(i)->SetAutoCheck(v); }, false),
         IntegerProp(L"GroupIndex", [](TPersistent* i) { return As<TCustomAction>(i)->GroupIndex(); },
                     [](TPersistent* i, int v) { As<TCustomAction>(i)->SetGroupIndex(v); }, 0),
         IntegerProp(L"ImageIndex", [](TPersistent* i) { return As<TCustomAction>(i)->ImageIndex(); },
                     [](TPersistent* i, int v) { As<TCustomAction>(i)->SetImageIndex(v); }, -1),
         IntegerProp(L"HelpContext", [](TPersistent* i) { return As<TCustomAction>(i)->HelpContext(); },
                     [](TPersistent* i, int v) { As<TCustomAction>(i)->SetHelpContext(v); }, 0)});
    RegisterPublishedProperties(L"TAction", L"TCustomAction", {});
}

template <typename T>
void RegisterFactory(const wchar_t* Name) {
    RegisterComponentClass(Name, [](TComponent* Owner) -> TComponent* { return new T(Owner); });
}

}  // namespace

void RegisterStreamClasses() {
    RegisterControls();
    RegisterActions();
    RegisterFactory<TForm>(L"TForm");
    RegisterFactory<TButton>(L"TButton");
    RegisterFactory<TBitBtn>(L"TBitBtn");
    RegisterFactory<TLabel>(L"TLabel");
    RegisterFactory<TEdit>(L"TEdit");
    RegisterFactory<TPanel>(L"TPanel");
    RegisterFactory<TAction>(L"TAction");
}

}  // namespace classlib
