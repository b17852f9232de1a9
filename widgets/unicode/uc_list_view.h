// The wide list view and extended combo box: Unicode common-control windows whose items keep wide
// captions, and their wide action links, which carry a wide action's caption and hint into them
// (the class library's links bring a list action's items and images).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/combo_box_ex.h"
#include "classlib/list_view.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

WIDGETS_UC_LINK_CLASS(TUcListViewActionLink, classlib::TListViewActionLink)
WIDGETS_UC_LINK_CLASS(TUcComboBoxExActionLink, classlib::TComboBoxExActionLink)

// An item with a wide caption kept beside the class library's ANSI one (the ANSI caption widened
// once code changed it behind).
template <typename TBaseItem>
class TUcCaptionItem : public TBaseItem {
public:
    using TBaseItem::TBaseItem;
    std::wstring Caption() { return unicode::GetSyncedWideString(wideCaption_, TBaseItem::Caption()); }
    void SetCaption(const std::wstring& Value) {
        unicode::SetSyncedWideString(Value, wideCaption_, TBaseItem::Caption(),
                                     [this](const std::string& s) { TBaseItem::SetCaption(s); });
    }

private:
    std::wstring wideCaption_;
};

class TUcListItem : public TUcCaptionItem<classlib::TListItem> {
public:
    CLASSLIB_CLASS_NAME(TUcListItem)
    using TUcCaptionItem::TUcCaptionItem;
};

class TUcComboExItem : public TUcCaptionItem<classlib::TComboExItem> {
public:
    CLASSLIB_CLASS_NAME(TUcComboExItem)
    using TUcCaptionItem::TUcCaptionItem;
};

// A list view in a Unicode "SysListView32" window; its items are TUcListItem.
class TUcListView : public classlib::TListView, public IWideCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TUcListView)
    explicit TUcListView(classlib::TComponent* AOwner) : classlib::TListView(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TListView, Caption)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }

    TUcListItem* Item(int Index) const { return static_cast<TUcListItem*>(Items()->Item(Index)); }
    void AddItem(const std::wstring& Item, classlib::TObject* AObject) override;
    void AddItem(const std::string& Item, classlib::TObject* AObject) override;
    // Adds the current item, wide where Destination is a wide list control, with its data.
    void CopySelection(classlib::TCustomListControl* Destination) override;
    // The text the window shows for an item (LVM_GETITEMTEXTW).
    std::wstring ItemWindowTextW(int Index);
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;

protected:
    std::unique_ptr<classlib::TListItem> NewItem() override;
    void WriteItem(int Index, bool Insert) override;
};

// An extended combo box in a Unicode "ComboBoxEx32" window; its items are TUcComboExItem.
class TUcComboBoxEx : public classlib::TComboBoxEx, public IWideCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TUcComboBoxEx)
    explicit TUcComboBoxEx(classlib::TComponent* AOwner) : classlib::TComboBoxEx(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TComboBoxEx, Text)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }

    TUcComboExItem* Item(int Index) const { return static_cast<TUcComboExItem*>(ItemsEx()->Item(Index)); }
    void AddItem(const std::wstring& Item, classlib::TObject* AObject) override;
    void AddItem(const std::string& Item, classlib::TObject* AObject) override;
    void CopySelection(classlib::TCustomListControl* Destination) override;
    // The text the window holds for an item (CBEM_GETITEMW).
    std::wstring ItemWindowTextW(int Index);
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;

protected:
    std::unique_ptr<classlib::TComboExItem> NewItem() override;
    void WriteItem(int Index, bool Insert) override;
};

}  // namespace widgets
