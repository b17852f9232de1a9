// Wide common controls: the tool bar and its buttons, the page control and its tab sheets, the
// track bar and the status bar with its panels, each a common-control window made Unicode and
// told to use the Unicode format.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/page_control.h"
#include "classlib/status_bar.h"
#include "classlib/tool_bar.h"
#include "classlib/track_bar.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

// CreateUnicodeHandle for a common control (SubClass must name its system class; an empty one
// is an internal error), then CCM_SETUNICODEFORMAT on a Unicode platform.
void CreateUnicodeHandle_ComCtl(classlib::TWinControl* Control, const classlib::TCreateParams& Params,
                                const std::wstring& SubClass);

// ---- Tool bar --------------------------------------------------------------------------------
class TUcToolBar : public classlib::TToolBar {
public:
    CLASSLIB_CLASS_NAME(TUcToolBar)
    explicit TUcToolBar(classlib::TComponent* AOwner) : classlib::TToolBar(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TToolBar, Caption)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    // The buttons of a menu are wide buttons.
    classlib::TToolButton* NewMenuButton() override;
    std::wstring ButtonCaption(classlib::TToolButton* Button) const override;
};

// The wide tool button's action link: the class library's one with the wide texts.
WIDGETS_UC_LINK_CLASS(TUcToolButtonActionLink, classlib::TToolButtonActionLink)

class TUcToolButton : public classlib::TToolButton {
public:
    CLASSLIB_CLASS_NAME(TUcToolButton)
    explicit TUcToolButton(classlib::TComponent* AOwner) : classlib::TToolButton(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TToolButton, Caption)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    // A wide menu item gives its wide caption and hint.
    void SetMenuItem(classlib::TMenuItem* Value) override;
    void Dispatch(classlib::TMessage& Message) override;
};

// ---- Page control ----------------------------------------------------------------------------
class TUcTabSheet : public classlib::TTabSheet {
public:
    CLASSLIB_CLASS_NAME(TUcTabSheet)
    explicit TUcTabSheet(classlib::TComponent* AOwner) : classlib::TTabSheet(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TTabSheet, Caption)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

private:
    bool settingText_ = false;
};

class TUcPageControl : public classlib::TPageControl {
public:
    CLASSLIB_CLASS_NAME(TUcPageControl)
    explicit TUcPageControl(classlib::TComponent* AOwner) : classlib::TPageControl(AOwner) {}
    WIDGETS_UC_HINT_MEMBERS(classlib::TPageControl)
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;
    // The text the tab at Index shows (TCM_GETITEMW).
    std::wstring TabWindowText(int Index);

protected:
    // A docked control gets a wide sheet, captioned with a form's wide caption.
    classlib::TTabSheet* NewDockSheet(classlib::TControl* Client) override;
    // The text of a docked control's WM_SETTEXT, wide when its window is Unicode, up to the first
    // line break, becomes a wide sheet's caption.
    void DockClientTextChanged(classlib::TTabSheet* Page, classlib::TControl* Client, LPARAM Text) override;
};

// ---- Track bar -------------------------------------------------------------------------------
class TUcTrackBar : public classlib::TTrackBar {
public:
    CLASSLIB_CLASS_NAME(TUcTrackBar)
    explicit TUcTrackBar(classlib::TComponent* AOwner) : classlib::TTrackBar(AOwner) {}
    WIDGETS_UC_HINT_MEMBERS(classlib::TTrackBar)
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
};

// ---- Status bar ------------------------------------------------------------------------------
// A panel with a wide text kept beside the class library's ANSI one.
class TUcStatusPanel : public classlib::TStatusPanel {
public:
    CLASSLIB_CLASS_NAME(TUcStatusPanel)
    explicit TUcStatusPanel(classlib::TStatusPanels* Panels) : classlib::TStatusPanel(Panels) {}
    std::wstring Text();
    void SetText(const std::wstring& Value);
    void Assign(classlib::TPersistent* Source) override;

private:
    std::wstring wideText_;
};

class TUcStatusPanels : public classlib::TStatusPanels {
public:
    CLASSLIB_CLASS_NAME(TUcStatusPanels)
    explicit TUcStatusPanels(classlib::TCustomStatusBar* StatusBar) : classlib::TStatusPanels(StatusBar) {}
    TUcStatusPanel* Items(int Index) const { return static_cast<TUcStatusPanel*>(classlib::TStatusPanels::Items(Index)); }
    TUcStatusPanel* Add() { return static_cast<TUcStatusPanel*>(classlib::TStatusPanels::Add()); }

protected:
    std::unique_ptr<classlib::TStatusPanel> NewPanel() override { return std::make_unique<TUcStatusPanel>(this); }
};

class TUcCustomStatusBar : public classlib::TCustomStatusBar {
public:
    CLASSLIB_CLASS_NAME(TUcCustomStatusBar)
    explicit TUcCustomStatusBar(classlib::TComponent* AOwner) : classlib::TCustomStatusBar(AOwner) {}
    WIDGETS_UC_HINT_MEMBERS(classlib::TCustomStatusBar)
    TUcStatusPanels* Panels() { return static_cast<TUcStatusPanels*>(classlib::TCustomStatusBar::Panels()); }
    std::wstring SimpleText();
    void SetSimpleText(const std::wstring& Value);
    // The text the window shows in a part (SB_GETTEXTW).
    std::wstring PanelWindowTextW(int Part);
    bool ExecuteAction(classlib::TBasicAction* Action) override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    std::unique_ptr<classlib::TStatusPanels> CreatePanels() override { return std::make_unique<TUcStatusPanels>(this); }

private:
    std::wstring wideSimpleText_;
};

class TUcStatusBar : public TUcCustomStatusBar {
public:
    CLASSLIB_CLASS_NAME(TUcStatusBar)
    explicit TUcStatusBar(classlib::TComponent* AOwner) : TUcCustomStatusBar(AOwner) {}
};

}  // namespace widgets
