// Wide menus: menu items with wide captions and hints written into the system menu with the
// wide shortcut texts, owner-drawn wide texts, the pop-up menu whose messages pass through the
// wide pop-up list (which feeds the wide application hint), and the hot-key rules of wide
// captions that the wide controls' accelerators follow too.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/menus.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_forms.h"

namespace widgets {

// ---- Shortcut texts and hot keys -------------------------------------------------------------
// The text of a shortcut with the key's name in UTF-16 ("Ctrl+" and the layout's name of the
// key); the class library's text widened for the keys whose names are fixed (backspace, Tab,
// Enter, Escape, space, the page, arrow and editing keys, F1 to F24) and off the NT platform.
std::wstring WideShortCutToText(classlib::TShortCut ShortCut);
// 1-based position of the hot-key character of a caption ("&&" is a plain "&"); 0 when none.
int WideGetHotkeyPos(const std::wstring& Caption);
// The hot-key character as text, empty when none.
std::wstring WideGetHotkey(const std::wstring& Caption);
// The caption without its "&" marks; on a Far-East locale also without a "(&X)" group.
std::wstring WideStripHotkey(const std::wstring& Caption);
// The two captions without hot keys are equal, ignoring case.
bool WideSameCaption(const std::wstring& A, const std::wstring& B);
// The one hot-key rule of every wide control (labels, buttons, check boxes, radio buttons, group
// boxes, speed and bit buttons, tabs): whether the key of a CM_DIALOGCHAR is the caption's hot key,
// ignoring case. The key is what the class library's ANSI message loop delivers: a character
// parked by the wide core (255 with the character in the upper word) or above 255 is itself; a
// value up to 255 is a byte of the keyboard layout's code page (KeyCharToWideChar).
bool WideIsAccel(WPARAM Key, const std::wstring& Caption);
// Test seams: the locale kinds that change the hot-key and right-to-left rules (by default the
// system's answer).
void SetFarEastLocaleForTesting(int Value);     // -1 the system's, 0 no, 1 yes
void SetMiddleEastLocaleForTesting(int Value);  // -1 the system's, 0 no, 1 yes
bool IsFarEastLocale();
bool IsMiddleEastLocale();

class TUcMenuItem;

// The wide hint of any menu item (the ANSI hint widened for an item that is not wide).
std::wstring WideGetMenuItemHint(classlib::TMenuItem* Item);
// Writes a wide item's caption (and shortcut text) into the system menu Menu when its text
// there differs (Unicode platform, visible item with a parent menu handle, not being read or
// destroyed). Raises the platform error when the menu refuses the text.
void UpdateMenuItem(TUcMenuItem* Item, HMENU Menu);
// Every wide item of the menu, sub-items (last first) before their item.
void UpdateMenuItems(classlib::TMenu* Menu);
// On a Middle-East locale: writes the menu's first item again when it is wide.
void FixMenuBiDiProblem(classlib::TMenu* Menu);

// ---- Wide menu item --------------------------------------------------------------------------
// A menu item with a wide Caption and Hint, each a wide shadow of the ANSI one (kept while its
// ANSI form equals the ANSI text; the ANSI text widened once code changed it behind).
class TUcMenuItem : public classlib::TMenuItem {
public:
    CLASSLIB_CLASS_NAME(TUcMenuItem)
    explicit TUcMenuItem(classlib::TComponent* AOwner) : classlib::TMenuItem(AOwner) {}

    // A wide caption whose hot keys differ from the ANSI caption's only in place takes the ANSI
    // caption's places; when that still leaves them apart, the wide caption yields to the ANSI
    // caption widened.
    std::wstring Caption();
    void SetCaption(const std::wstring& Value);
    std::wstring Hint();
    void SetHint(const std::wstring& Value);
    bool IsCaptionStored();
    bool IsHintStored();
    // The item's text in the system menu: the wide caption with a Tab and the wide shortcut text.
    std::wstring WideMenuText();
    bool Updating() const { return updating_; }

    void DefineProperties(classlib::TFiler* Filer) override;
    void Loaded() override;
    void AdvancedDrawItem(classlib::TCanvas* ACanvas, RECT ARect, classlib::TOwnerDrawState State,
                          bool TopLevel) override;
    void DoDrawText(classlib::TCanvas* ACanvas, const std::string& Text, RECT& Rect, bool Selected,
                    UINT Flags) override;
    // Draws (or measures) a wide text as the item's text.
    void DoDrawWideText(classlib::TCanvas* ACanvas, const std::wstring& Text, RECT& Rect, bool Selected, UINT Flags);
    void MeasureItem(classlib::TCanvas* ACanvas, int& Width, int& Height) override;
    void MenuChanged(bool Rebuild) override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    classlib::TMenuActionLinkClass GetActionLinkClass() const override;

protected:
    // Writes the wide caption into the system menu the item was just put into.
    void Appended(HMENU Menu) override;

private:
    std::wstring wideCaption_;
    std::wstring wideHint_;
    bool updating_ = false;
};

// The link of a wide menu item: the caption is linked while the item's and the action's wide
// captions are the same caption (WideSameCaption); the texts go into the wide item.
class TUcMenuActionLink : public classlib::TMenuActionLink {
public:
    CLASSLIB_CLASS_NAME(TUcMenuActionLink)
    explicit TUcMenuActionLink(classlib::TMenuItem* AClient) : classlib::TMenuActionLink(AClient) {}
    static const ClassRefType& ClassRef();
    bool IsCaptionLinked() override;
    bool IsHintLinked() override;
    void SetCaption(const std::string& Value) override;
    void SetHint(const std::string& Value) override;
};

// ---- Wide pop-up menu and pop-up list --------------------------------------------------------
// The pop-up list of the wide pop-up menus: WM_MENUSELECT sets the wide application hint to
// the long part of the item's wide hint (cleared when no listed menu has the item); a menu
// loop's start puts the library's own list back in its place and fixes the menus' right-to-left
// layout. Everything else goes to the library's pop-up list procedure.
class TUcPopupList : public classlib::TPopupList {
public:
    CLASSLIB_CLASS_NAME(TUcPopupList)
    explicit TUcPopupList(classlib::TPopupList* LibraryList) : libraryList_(LibraryList) {}
    classlib::TPopupList* LibraryList() const { return libraryList_; }

protected:
    void WndProc(classlib::TMessage& Message) override;

private:
    classlib::TPopupList* libraryList_;
};

// The wide pop-up list (made on first use; freed by FinalizeWideMenus).
TUcPopupList* UcPopupList();
void FinalizeWideMenus();

// A pop-up menu whose items show wide captions; it belongs to the wide pop-up list.
class TUcPopupMenu : public classlib::TPopupMenu {
public:
    CLASSLIB_CLASS_NAME(TUcPopupMenu)
    explicit TUcPopupMenu(classlib::TComponent* AOwner);
    ~TUcPopupMenu() override;
    // Tracks the menu with the wide pop-up list in the library's place (put back afterwards,
    // also when the popup fails).
    void Popup(int X, int Y) override;
    // Builds the system menu again and writes the wide captions into it.
    void RebuildHandle() override;
    HWND WindowHandle() const override;
};

// What a wide form asks of its menu bar (IUcFormMenu) for a menu of the class library.
class TUcFormMenu : public IUcFormMenu {
public:
    explicit TUcFormMenu(classlib::TMenu* Menu) : menu_(Menu) {}
    HMENU MenuHandle() override { return menu_->Handle(); }
    bool FindItemHint(HMENU SubMenu, UINT Command, std::wstring& WideHint) override;
    void FixRightToLeft() override { FixMenuBiDiProblem(menu_); }

private:
    classlib::TMenu* menu_;
};

}  // namespace widgets
