// The tool bar: a ToolbarWindow32 window whose buttons are tool-button components placed on it,
// each one a button record of the window (TB_INSERTBUTTONA, item data: the component).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/image_list.h"
#include "classlib/menus.h"

namespace classlib {

class TToolBar;

enum class TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolButton;

// The link of tool buttons: also carries Checked (as Down) and ImageIndex.
class TToolButtonActionLink : public TControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TToolButtonActionLink)
    explicit TToolButtonActionLink(TControl* AClient) : TControlActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
    bool IsCheckedLinked() override;
    bool IsImageIndexLinked() override;
    void SetChecked(bool Value) override;
    void SetImageIndex(int Value) override;

private:
    TToolButton* Button() const;
};

// A button of a tool bar. It has no window: its bounds follow the button's place in the bar's
// window, so that hints and the mouse find it. Clicking it runs OnClick (or its action).
class TToolButton : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TToolButton)
    explicit TToolButton(TComponent* AOwner);
    ~TToolButton() override;
    TToolBar* ToolBar() const { return toolBar_; }
    void SetParent(TWinControl* AParent) override;
    int Index() const;
    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    bool Down() const { return down_; }
    void SetDown(bool Value);
    bool Grouped() const { return grouped_; }
    void SetGrouped(bool Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    // The command identifier of the button record.
    int Command() const { return command_; }
    // A menu item the button stands for: it takes the item's caption, hint, image and enabled
    // state; a click drops the item's sub-menu down below the button, or clicks the item.
    TMenuItem* MenuItem() const { return menuItem_; }
    virtual void SetMenuItem(TMenuItem* Value);
    void Click() override;
    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    TControlActionLinkClass GetActionLinkClass() const override;
    void ActionChange(TObject* Sender, bool CheckDefaults) override;

private:
    friend class TToolBar;
    TMenuItem* menuItem_ = nullptr;
    TToolBar* toolBar_ = nullptr;
    TToolButtonStyle style_ = TToolButtonStyle::tbsButton;
    int imageIndex_ = -1;
    bool down_ = false;
    bool grouped_ = false;
    bool autoSize_ = false;
    int command_ = 0;
};

enum TEdgeBorder : unsigned { ebLeft = 1, ebTop = 2, ebRight = 4, ebBottom = 8 };

// The bar. Its caption is kept by the control (the window's own text is not shown). With
// ShowCaptions each button record carries its caption's string index (TB_ADDSTRINGA); without,
// the index is -1.
class TToolBar : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TToolBar)
    explicit TToolBar(TComponent* AOwner);
    ~TToolBar() override;

    int ButtonCount() const { return static_cast<int>(buttons_.size()); }
    TToolButton* Buttons(int Index) const { return buttons_.at(static_cast<size_t>(Index)); }
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* Value);
    int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int Value);
    int ButtonHeight() const { return buttonHeight_; }
    void SetButtonHeight(int Value);
    unsigned EdgeBorders() const { return edgeBorders_; }
    void SetEdgeBorders(unsigned Value);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool Value);
    // A menu shown as the bar's buttons: setting one replaces every button by one grouped,
    // auto-sized button per item of the menu, in menu order, with captions shown.
    TMenu* Menu() const { return menu_; }
    virtual void SetMenu(TMenu* Value);
    // Drops the sub-menu of a button's menu item down below the button and runs the chosen item.
    void TrackMenu(TToolButton* Button);
    // The button at a command identifier (nullptr when none).
    TToolButton* FindButton(int Command) const;
    // Sends every button record to the window again and places the buttons' bounds.
    void RecreateButtons();
    // The text of a button record as the window holds it (TB_GETBUTTONTEXTA / W).
    std::wstring ButtonWindowText(int Index);

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    // Makes a button of the bar's menu (a TToolButton; the wide bar makes wide ones).
    virtual TToolButton* NewMenuButton() { return new TToolButton(this); }
    // The caption a button's record shows (the wide bar's buttons have wide ones).
    virtual std::wstring ButtonCaption(TToolButton* Button) const;

private:
    friend class TToolButton;
    // A button record as it was last sent to the window.
    struct TSentButton {
        TToolButton* Button = nullptr;
        int Command = 0;
        int Image = 0;
        unsigned char State = 0;
        unsigned char Style = 0;
        bool HasText = false;
        std::wstring Text;
        bool operator==(const TSentButton&) const = default;
    };
    void InsertButton(TToolButton* Button);
    void RemoveButton(TToolButton* Button);
    void PlaceButtons();
    std::vector<TToolButton*> buttons_;
    // What the window holds: the records sent, and the button size they were sent with.
    std::vector<TSentButton> sent_;
    int sentWidth_ = -1;
    int sentHeight_ = -1;
    TMenu* menu_ = nullptr;
    TCustomImageList* images_ = nullptr;
    int buttonWidth_ = 23;
    int buttonHeight_ = 22;
    unsigned edgeBorders_ = ebTop;
    bool flat_ = false;
    bool showCaptions_ = false;
    int nextCommand_ = 1;
};

}  // namespace classlib
