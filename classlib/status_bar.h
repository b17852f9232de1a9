// The status bar: a msctls_statusbar32 window with a row of panels (text or owner-drawn), or one
// simple panel, that can show the application's hints.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/std_text.h"

namespace classlib {

class TCustomStatusBar;
class TStatusPanels;

enum class TStatusPanelStyle { psText, psOwnerDraw };
enum class TStatusPanelBevel { pbNone, pbLowered, pbRaised };

// One panel: its text (alignment by Alignment: the bar's window receives a centred text after one
// Tab, a right-aligned one after two), width, style and bevel. Every change updates the bar.
class TStatusPanel : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TStatusPanel)
    explicit TStatusPanel(TStatusPanels* Panels) : panels_(Panels) {}
    TStatusPanels* Collection() const { return panels_; }
    int Index() const;
    const std::string& Text() const { return text_; }
    void SetText(const std::string& Value);
    int Width() const { return width_; }
    void SetWidth(int Value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    TStatusPanelStyle Style() const { return style_; }
    void SetStyle(TStatusPanelStyle Value);
    TStatusPanelBevel Bevel() const { return bevel_; }
    void SetBevel(TStatusPanelBevel Value);
    void Assign(TPersistent* Source) override;

protected:
    void Changed();

private:
    TStatusPanels* panels_;
    std::string text_;
    int width_ = 50;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TStatusPanelStyle style_ = TStatusPanelStyle::psText;
    TStatusPanelBevel bevel_ = TStatusPanelBevel::pbLowered;
};

// The panels of a status bar, owned; the bar is updated after every change (once after an
// update batch).
class TStatusPanels : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TStatusPanels)
    explicit TStatusPanels(TCustomStatusBar* StatusBar) : statusBar_(StatusBar) {}
    ~TStatusPanels() override;
    TCustomStatusBar* StatusBar() const { return statusBar_; }
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises EListError "List index out of bounds (%d)" for an index out of range.
    TStatusPanel* Items(int Index) const;
    TStatusPanel* Add();
    void Delete(int Index);
    void Clear();
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int IndexOf(const TStatusPanel* Panel) const;
    void Assign(TPersistent* Source) override;
    // Called by a panel after it changed.
    void PanelChanged(TStatusPanel* Panel);

protected:
    // The panel class of the collection (the wide bar makes wide panels).
    virtual std::unique_ptr<TStatusPanel> NewPanel() { return std::make_unique<TStatusPanel>(this); }

private:
    TCustomStatusBar* statusBar_;
    std::vector<std::unique_ptr<TStatusPanel>> items_;
    int updateCount_ = 0;
};

using TDrawPanelEvent = std::function<void(TCustomStatusBar* StatusBar, TStatusPanel* Panel, const RECT& Rect)>;

// The status bar, aligned to the bottom of its parent by default.
//   With SimplePanel one panel shows SimpleText; otherwise the panels side by side, the last one
//   taking the rest of the width.
//   With AutoHint a hint action (the application's hint) is shown in the first panel, or in
//   SimpleText when the bar is a simple panel or has no panels, unless OnHint handles it.
class TCustomStatusBar : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomStatusBar)
    explicit TCustomStatusBar(TComponent* AOwner);
    ~TCustomStatusBar() override;

    TStatusPanels* Panels();
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool Value);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& Value);
    // Shown only on a form whose border can be dragged (or with no form).
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool Value);
    bool AutoHint() const { return autoHint_; }
    void SetAutoHint(bool Value) { autoHint_ = Value; }
    // The text shown in the bar's window for a part (what SB_GETTEXT answers).
    std::string PanelWindowText(int Part);

    TNotifyEvent OnHint;
    TDrawPanelEvent OnDrawPanel;
    TCanvas* Canvas() { return &canvas_; }

    // Sends the layout and every panel's text to the window.
    void UpdatePanels();
    void UpdatePanel(int Index);
    bool ExecuteAction(TBasicAction* Action) override;
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    // The panels collection of the class (the wide bar makes its own).
    virtual std::unique_ptr<TStatusPanels> CreatePanels() { return std::make_unique<TStatusPanels>(this); }
    // Runs OnHint; answers whether it was assigned (it then shows the hint itself).
    virtual bool DoHint();
    virtual void DrawPanel(TStatusPanel* Panel, const RECT& Rect);

private:
    std::unique_ptr<TStatusPanels> panels_;
    bool simplePanel_ = false;
    std::string simpleText_;
    bool sizeGrip_ = true;
    bool autoHint_ = false;
    TCanvas canvas_;
};

class TStatusBar : public TCustomStatusBar {
public:
    CLASSLIB_CLASS_NAME(TStatusBar)
    explicit TStatusBar(TComponent* AOwner) : TCustomStatusBar(AOwner) {}
};

}  // namespace classlib
