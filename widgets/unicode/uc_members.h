// The members every wide control of the common, grid, button and panel families shares: the wide
// text and hint through the wide control core, their stored-tests, the wide streamed companions
// and the wide action step before the class library's own.
#pragma once

#include <string>
#include <type_traits>

#include "classlib/filer.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_controls.h"

// Wide hint, its stored-test, DefineProperties, ActionChange and GetActionLinkClass over Base.
#define WIDGETS_UC_HINT_MEMBERS(Base)                                                                        \
public:                                                                                                      \
    std::wstring Hint() { return ::widgets::UcControl_GetHint(this); }                                       \
    void SetHint(const std::wstring& Value) { ::widgets::UcControl_SetHint(this, Value); }                   \
    bool IsHintStored() { return ::widgets::UcControl_IsHintStored(this); }                                  \
    void DefineProperties(classlib::TFiler* Filer) override {                                                \
        Base::DefineProperties(Filer);                                                                       \
        unicode::UcPersistent_DefineWideProperties(Filer, this);                                             \
    }                                                                                                        \
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override {                              \
        ::widgets::UcControl_BeforeInherited_ActionChange(this, Sender, CheckDefaults);                      \
        Base::ActionChange(Sender, CheckDefaults);                                                           \
    }                                                                                                        \
    classlib::TControlActionLinkClass GetActionLinkClass() const override {                                  \
        using Self = std::remove_const_t<std::remove_pointer_t<decltype(this)>>;                             \
        return ::widgets::UcControl_GetActionLinkClass(const_cast<Self*>(this), Base::GetActionLinkClass()); \
    }

// The hint members plus the wide text under the name TextName (Caption or Text).
#define WIDGETS_UC_TEXT_MEMBERS(Base, TextName)                                               \
    WIDGETS_UC_HINT_MEMBERS(Base)                                                             \
public:                                                                                       \
    std::wstring TextName() { return ::widgets::UcControl_GetText(this); }                    \
    void Set##TextName(const std::wstring& Value) { ::widgets::UcControl_SetText(this, Value); }
