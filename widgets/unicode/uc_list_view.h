// The wide list view and extended combo box: Unicode common-control windows whose items keep wide
// captions, and their wide action links, which carry a wide action's caption and hint into them
// (the class library's links bring a list action's items and images).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/combo_box_ex.h"
#include "classlib/conversions.h"
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
    using TClassLibItem = TBaseItem;
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

// What the wide list view and extended combo box share over their class library control (TBase,
// which keeps its items itself): items of TUcItem, added with wide captions, and the current one
// copied wide where the destination is a wide list control, with its data.
template <typename TBase, typename TUcItem>
class TUcOwnedItemsControl : public TBase, public IWideCustomListControl {
public:
    explicit TUcOwnedItemsControl(classlib::TComponent* AOwner) : TBase(AOwner) {}
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }

    TUcItem* Item(int Index) const { return static_cast<TUcItem*>(this->OwnedItems()->Item(Index)); }
    void AddItem(const std::wstring& Item, classlib::TObject* AObject) override {
        auto* item = static_cast<TUcItem*>(this->OwnedItems()->Add());
        item->SetCaption(Item);
        item->SetData(AObject);
    }
    void AddItem(const std::string& Item, classlib::TObject* AObject) override {
        AddItem(classlib::AnsiToWide(Item), AObject);
    }
    void CopySelection(classlib::TCustomListControl* Destination) override {
        int index = this->ItemIndex();
        if (index >= 0) WideListControl_AddItem(Destination, Item(index)->Caption(), static_cast<classlib::TObject*>(Item(index)->Data()));
    }

protected:
    std::unique_ptr<typename TUcItem::TClassLibItem> NewItem() override {
        return std::make_unique<TUcItem>(this->OwnedItems());
    }
    // Whether the window takes wide items (else the class library writes ANSI ones).
    bool WideWindow() { return this->HandleAllocated() && IsWindowUnicode(this->WindowHandle()); }
};

// A list view in a Unicode "SysListView32" window; its items are TUcListItem.
class TUcListView : public TUcOwnedItemsControl<classlib::TListView, TUcListItem> {
public:
    CLASSLIB_CLASS_NAME(TUcListView)
    explicit TUcListView(classlib::TComponent* AOwner) : TUcOwnedItemsControl(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TListView, Caption)
    // The text the window shows for an item (LVM_GETITEMTEXTW).
    std::wstring ItemWindowTextW(int Index);
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;

protected:
    void WriteItem(int Index, bool Insert) override;
};

// An extended combo box in a Unicode "ComboBoxEx32" window; its items are TUcComboExItem.
class TUcComboBoxEx : public TUcOwnedItemsControl<classlib::TComboBoxEx, TUcComboExItem> {
public:
    CLASSLIB_CLASS_NAME(TUcComboBoxEx)
    explicit TUcComboBoxEx(classlib::TComponent* AOwner) : TUcOwnedItemsControl(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TComboBoxEx, Text)
    // The text the window holds for an item (CBEM_GETITEMW).
    std::wstring ItemWindowTextW(int Index);
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;

protected:
    void WriteItem(int Index, bool Insert) override;
};

}  // namespace widgets
