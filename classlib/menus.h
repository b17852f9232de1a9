// The class library's menus: menu items with captions, shortcuts, check marks and actions, the
// main menu of a form and pop-up menus, built into system menus with the ANSI menu calls, and
// the pop-up list whose hidden window receives the pop-up menus' messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/exceptions.h"
#include "classlib/graphics.h"
#include "classlib/image_list.h"
#include "classlib/std_text.h"

namespace classlib {

class TMenu;
class TMenuItem;
class TPopupMenu;

// Owner-draw state of an item (the bits of the system's ODS_ values).
enum TOwnerDrawStateFlag : std::uint32_t {
    odSelected = ODS_SELECTED,
    odGrayed = ODS_GRAYED,
    odDisabled = ODS_DISABLED,
    odChecked = ODS_CHECKED,
    odFocused = ODS_FOCUS,
    odDefault = ODS_DEFAULT,
    odHotLight = ODS_HOTLIGHT,
    odNoAccel = ODS_NOACCEL,
};
using TOwnerDrawState = std::uint32_t;

enum class TFindItemKind { fkCommand, fkHandle, fkShortCut };
enum class TPopupAlignment { paLeft, paRight, paCenter };
enum class TTrackButton { tbRightButton, tbLeftButton };

using TMenuDrawItemEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, RECT ARect, bool Selected)>;
using TAdvancedMenuDrawItemEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, RECT ARect, TOwnerDrawState State)>;
using TMenuMeasureItemEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, int& Width, int& Height)>;

// The link of a menu item: caption, hint, shortcut, checked, enabled, visible, image index and
// help context go to the item while it still shows the action's value.
class TMenuActionLink : public TActionLink {
public:
    CLASSLIB_CLASS_NAME(TMenuActionLink)
    explicit TMenuActionLink(TMenuItem* AClient);
    using ClassRefType = TClassRef<TMenuActionLink, TMenuItem*>;
    static const ClassRefType& ClassRef();
    TMenuItem* Client() const { return client_; }

    bool IsCaptionLinked() override;
    bool IsCheckedLinked() override;
    bool IsEnabledLinked() override;
    bool IsHelpContextLinked() override;
    bool IsHintLinked() override;
    bool IsImageIndexLinked() override;
    bool IsShortCutLinked() override;
    bool IsVisibleLinked() override;
    bool IsOnExecuteLinked() override;
    void SetCaption(const std::string& Value) override;
    void SetChecked(bool Value) override;
    void SetEnabled(bool Value) override;
    void SetHelpContext(int Value) override;
    void SetHint(const std::string& Value) override;
    void SetImageIndex(int Value) override;
    void SetShortCut(TShortCut Value) override;
    void SetVisible(bool Value) override;

private:
    TMenuItem* client_;
};
using TMenuActionLinkClass = const TMenuActionLink::ClassRefType*;

// One entry of a menu; an item with sub-items opens a sub-menu. The caption "-" makes a
// separator line. Sub-items belong to their parent item: deleting an item deletes its sub-items.
//   Setting a property from code changes the system menu at once and fires no event. Click runs
//   AutoCheck first (the handler sees the new state), then OnClick when the item has one, else
//   its action. Checking a RadioItem unchecks the radio items of its GroupIndex beside it.
class TMenuItem : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TMenuItem)
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    // ---- texts (ANSI)
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value) { hint_ = Value; }
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut Value);
    bool IsLine() const { return caption_ == "-"; }

    // ---- state
    bool Checked() const { return checked_; }
    void SetChecked(bool Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    bool Default() const { return default_; }
    void SetDefault(bool Value);
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool Value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int Value) { groupIndex_ = Value; }
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool Value) { autoCheck_ = Value; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int Value) { helpContext_ = Value; }

    // ---- tree
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int Index) const;
    TMenuItem* Parent() const { return parent_; }
    int IndexOf(const TMenuItem* Item) const;
    void Add(TMenuItem* Item) { Insert(Count(), Item); }
    // Raises EMenuError "Menu inserted twice" for an item that already has a parent and
    // "Menu index out of range" for an index outside 0 .. Count.
    void Insert(int Index, TMenuItem* Item);
    // Takes the item out without deleting it.
    void Remove(TMenuItem* Item);
    // Deletes the item at Index.
    void Delete(int Index);
    void Clear();
    // The sub-item whose caption, without "&" marks, equals ACaption (without case).
    TMenuItem* Find(const std::string& ACaption) const;
    int MenuIndex() const { return parent_ != nullptr ? parent_->IndexOf(this) : -1; }
    // The menu this item belongs to (through its parents), nullptr when none.
    TMenu* GetParentMenu() const;

    // ---- system menu
    // The identifier of the item's WM_COMMAND (unique in the process).
    UINT Command() const { return command_; }
    // The item's sub-menu (made and filled on first use); the root item's is the menu's handle.
    HMENU Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }

    // ---- action
    TBasicAction* Action() const;
    void SetAction(TBasicAction* Value);
    TMenuActionLink* ActionLink() const { return actionLink_.get(); }
    virtual void InitiateAction();

    virtual void Click();

    TNotifyEvent OnClick;
    TMenuDrawItemEvent OnDrawItem;
    TAdvancedMenuDrawItemEvent OnAdvancedDrawItem;
    TMenuMeasureItemEvent OnMeasureItem;

    // Owner drawing: the frame, image (ImageIndex of the menu's Images), check mark and texts of
    // the item into ARect.
    virtual void AdvancedDrawItem(TCanvas* ACanvas, RECT ARect, TOwnerDrawState State, bool TopLevel);
    // Draws (or with DT_CALCRECT measures) Text as the item's text.
    virtual void DoDrawText(TCanvas* ACanvas, const std::string& Text, RECT& Rect, bool Selected, UINT Flags);
    virtual void MeasureItem(TCanvas* ACanvas, int& Width, int& Height);
    // The item's text as the system menu shows it (caption, Tab, shortcut text).
    std::string MenuText() const;
    // Where AdvancedDrawItem draws the texts within the item's rectangle (after the check-mark
    // or image area).
    RECT TextArea(RECT ARect, bool TopLevel) const;

    // A property changed: the parent's system menu is built again (Rebuild) or updated, and the
    // menu is told.
    virtual void MenuChanged(bool Rebuild);
    virtual void ActionChange(TObject* Sender, bool CheckDefaults);
    virtual TMenuActionLinkClass GetActionLinkClass() const;
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // Builds this item's sub-menu again from its visible sub-items.
    void RebuildHandle();

protected:
    // Rebuilds the system menu the item lies in.
    void Changed(bool Rebuild) { MenuChanged(Rebuild); }
    // Called after the item was put into the system menu Menu (a layer above may rewrite it).
    virtual void Appended(HMENU Menu) { (void)Menu; }

private:
    friend class TMenu;
    void AppendTo(HMENU Menu, bool TopLevelOfBar);
    void DestroyHandle();
    void TurnSiblingsOff();
    // The width of the image or check-mark area before the texts.
    int ImageAreaWidth() const;
    void DoActionChange(TObject* Sender);
    template <typename ClientT, typename LinkT>
    friend void SetClientAction(ClientT* Client, std::unique_ptr<LinkT>& Link, TBasicAction* Value);
    // Stores a new value of a property and rebuilds the system menu; the same value does nothing.
    template <typename T>
    bool Store(T& Field, const T& Value) {
        if (Field == Value) return false;
        Field = Value;
        Changed(true);
        return true;
    }

    std::string caption_;
    std::string hint_;
    TShortCut shortCut_ = scNone;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    bool default_ = false;
    bool radioItem_ = false;
    int groupIndex_ = 0;
    bool autoCheck_ = false;
    int imageIndex_ = -1;
    int helpContext_ = 0;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr;  // set on the root item of a menu
    UINT command_ = 0;
    HMENU handle_ = nullptr;
    std::unique_ptr<TMenuActionLink> actionLink_;
    bool destroying_ = false;
};

// A menu: a root item whose sub-items are the menu's entries.
class TMenu : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TMenu)
    explicit TMenu(TComponent* AOwner);
    ~TMenu() override;

    TMenuItem* Items() const { return items_.get(); }
    // The system menu, made and filled on first use.
    HMENU Handle();
    bool HandleAllocated() const { return items_->HandleAllocated(); }
    // The window that receives the menu's messages (the form of a main menu, the pop-up list's
    // window for a pop-up menu).
    virtual HWND WindowHandle() const { return windowHandle_; }
    void SetWindowHandle(HWND Value) { windowHandle_ = Value; }

    // Items drawn by the menu (WM_MEASUREITEM / WM_DRAWITEM) instead of the system.
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool Value);
    TBiDiMode BiDiMode() const { return biDiMode_; }
    void SetBiDiMode(TBiDiMode Value);
    bool IsRightToLeft() const { return biDiMode_ != TBiDiMode::bdLeftToRight; }
    // The images the items show by ImageIndex (nullptr: none). A menu with an image list draws
    // its items itself. The list is not owned; the menu lets go of it when it is deleted.
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* Value);
    // The items are drawn by the menu: OwnerDraw set or an image list given.
    bool IsOwnerDraw() const { return ownerDraw_ || images_ != nullptr; }
    // The width of the image or check-mark area of owner-drawn items: the image list's width,
    // 16 without one.
    int ImagesWidth() const { return images_ != nullptr && images_->Width() > 0 ? images_->Width() : 16; }
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TMenuItem* FindItem(UINT_PTR Value, TFindItemKind Kind);
    // WM_COMMAND from the menu: clicks the item; answers whether one had that identifier.
    bool DispatchCommand(UINT Command);
    // WM_INITMENUPOPUP: updates the actions of the opening sub-menu and clicks its parent item.
    bool DispatchPopup(HMENU Menu);
    // Clicks the enabled item of that shortcut (after updating its action); answers whether
    // one was found.
    bool IsShortCut(TShortCut ShortCut);
    // WM_MEASUREITEM / WM_DRAWITEM of owner-drawn items; answer whether the item was ours.
    bool MeasureItem(MEASUREITEMSTRUCT& Measure);
    bool DrawItem(const DRAWITEMSTRUCT& Draw);

    // Told by an item of the menu after its part of the system menu changed.
    virtual void MenuChanged(TMenuItem* Source, bool Rebuild);
    // Builds the whole system menu again.
    virtual void RebuildHandle();
    // The sub-items of the menu bar are not given shortcut texts.
    virtual bool IsMenuBar() const { return false; }

protected:
    virtual HMENU CreateMenuHandle() { return CreatePopupMenu(); }

private:
    friend class TMenuItem;
    std::unique_ptr<TMenuItem> items_;
    HWND windowHandle_ = nullptr;
    bool ownerDraw_ = false;
    TBiDiMode biDiMode_ = TBiDiMode::bdLeftToRight;
    TCustomImageList* images_ = nullptr;
    TChangeLink imageChangeLink_;
};

// The menu bar of a form (TCustomForm::SetMenu).
class TMainMenu : public TMenu {
public:
    CLASSLIB_CLASS_NAME(TMainMenu)
    explicit TMainMenu(TComponent* AOwner) : TMenu(AOwner) {}
    // Takes the bar off its window first: a window destroys the menu it holds.
    ~TMainMenu() override;
    bool IsMenuBar() const override { return true; }
    void MenuChanged(TMenuItem* Source, bool Rebuild) override;

protected:
    HMENU CreateMenuHandle() override { return CreateMenu(); }
};

// A menu shown at a screen point (Popup) or for a control's context menu.
class TPopupMenu : public TMenu {
public:
    CLASSLIB_CLASS_NAME(TPopupMenu)
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;

    // Runs OnPopup, then shows the menu at the screen point and tracks it; the command chosen
    // reaches the item through the pop-up list's window afterwards.
    virtual void Popup(int X, int Y);
    TPopupAlignment Alignment() const { return alignment_; }
    void SetAlignment(TPopupAlignment Value) { alignment_ = Value; }
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool Value) { autoPopup_ = Value; }
    // The mouse button that chooses an item (the right one also takes the left one's clicks).
    TTrackButton TrackButton() const { return trackButton_; }
    void SetTrackButton(TTrackButton Value) { trackButton_ = Value; }
    // The control whose context menu was shown last.
    TComponent* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TComponent* Value) { popupComponent_ = Value; }
    HWND WindowHandle() const override;

    TNotifyEvent OnPopup;

protected:
    virtual void DoPopup(TObject* Sender);

private:
    TPopupAlignment alignment_ = TPopupAlignment::paLeft;
    TTrackButton trackButton_ = TTrackButton::tbRightButton;
    bool autoPopup_ = true;
    TComponent* popupComponent_ = nullptr;
};

// The pop-up menus of the process and the hidden window their messages go to.
class TPopupList : public TObject {
public:
    CLASSLIB_CLASS_NAME(TPopupList)
    TPopupList();
    ~TPopupList() override;
    TPopupList(const TPopupList&) = delete;
    TPopupList& operator=(const TPopupList&) = delete;

    HWND Window();
    int Count() const { return static_cast<int>(menus_.size()); }
    TPopupMenu* Items(int Index) const { return menus_.at(static_cast<size_t>(Index)); }
    void Add(TPopupMenu* Menu);
    void Remove(TPopupMenu* Menu);
    bool Contains(const TPopupMenu* Menu) const;

protected:
    // WM_COMMAND, WM_INITMENUPOPUP, WM_MENUSELECT (the application hint), WM_MEASUREITEM and
    // WM_DRAWITEM for the listed menus; everything else to DefWindowProcA.
    virtual void WndProc(TMessage& Message);
    // Finds the item of a WM_MENUSELECT in the listed menus.
    TMenuItem* FindSelectedItem(const TMessage& Message);

private:
    std::vector<TPopupMenu*> menus_;
    HWND window_ = nullptr;
};

// The pop-up list pop-up menus register with (made on first use) and the one Popup tracks with;
// SetPopupList puts another list in its place (nullptr: back to the library's own) and answers
// the one that was there.
TPopupList* PopupList();
TPopupList* SetPopupList(TPopupList* Value);
// The library's own pop-up list (made on first use), whatever SetPopupList put in place.
TPopupList* LibraryPopupList();

// The caption without its "&" marks ("&&" keeps one "&").
std::string StripHotkey(const std::string& Caption);
// The character after a single "&" (0 when none).
char GetHotkey(const std::string& Caption);

class EMenuError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace classlib
