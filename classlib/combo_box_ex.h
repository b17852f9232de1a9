// The extended combo box: a ComboBoxEx32 window whose items carry images, and its action link,
// which fills it from a list action.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/image_list.h"
#include "classlib/list_controls.h"

namespace classlib {

class TComboExItems;

// One item: caption, images (shown, and shown while selected), indent and data. Changing a
// property shows it at once.
class TComboExItem : public TOwnedItem<TComboExItems> {
public:
    CLASSLIB_CLASS_NAME(TComboExItem)
    using TOwnedItem::TOwnedItem;
    int SelectedImageIndex() const { return selectedImageIndex_; }
    void SetSelectedImageIndex(int Value) { Change(selectedImageIndex_, Value); }
    int Indent() const { return indent_; }
    void SetIndent(int Value) { Change(indent_, Value); }

private:
    int selectedImageIndex_ = -1;
    int indent_ = 0;
};

// The window's record of an item, ANSI (COMBOBOXEXITEMA) or wide (COMBOBOXEXITEMW) around the
// caption's text.
template <typename TRecord, typename TChar>
TRecord ComboExItemRecord(TComboExItem& Source, int Index, TChar* Text) {
    TRecord item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM;
    item.iItem = Index;
    item.pszText = Text;
    item.iImage = Source.ImageIndex();
    item.iSelectedImage = Source.SelectedImageIndex();
    item.iIndent = Source.Indent();
    item.lParam = reinterpret_cast<LPARAM>(&Source);
    return item;
}

// The items of an extended combo box.
class TComboExItems : public TOwnedItems<TOwnedItemsControl<TComboExItems, TComboExItem>, TComboExItem> {
public:
    CLASSLIB_CLASS_NAME(TComboExItems)
    using TOwnedItems::TOwnedItems;
    // Adds an item with its caption, images, indent and data in one step.
    TComboExItem* AddItem(const std::string& Caption, int ImageIndex, int SelectedImageIndex, int Indent, void* Data);
};

enum class TComboBoxExStyle { csExDropDown, csExSimple, csExDropDownList };

// The link of an extended combo box: a list action's items become items showing their image
// (also while selected), and its images the combo box's Images.
class TComboBoxExActionLink : public TListActionLink {
public:
    CLASSLIB_CLASS_NAME(TComboBoxExActionLink)
    explicit TComboBoxExActionLink(TControl* AClient) : TListActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
    void AddItem(const std::string& Caption, int ImageIndex, void* Data) override;
    void SetImages(TCustomImageList* Value) override;
};

// ItemIndex set from code fires nothing; the user's pick runs OnChange (and tells a linked list
// action).
class TCustomComboBoxEx : public TOwnedItemsControl<TComboExItems, TComboExItem> {
public:
    CLASSLIB_CLASS_NAME(TCustomComboBoxEx)
    explicit TCustomComboBoxEx(TComponent* AOwner);

    TComboExItems* ItemsEx() const { return OwnedItems(); }
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* Value);
    TComboBoxExStyle Style() const { return style_; }
    void SetStyle(TComboBoxExStyle Value);
    // The text the window holds for an item (CBEM_GETITEM).
    std::string ItemWindowText(int Index);

    int ItemIndex() override;
    void SetItemIndex(int Value) override;
    void AddItem(const std::string& Item, TObject* AObject) override;

    TNotifyEvent OnChange;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    TControlActionLinkClass GetActionLinkClass() const override;

protected:
    void WriteItem(int Index, bool Insert) override;

private:
    TCustomImageList* images_ = nullptr;
    TComboBoxExStyle style_ = TComboBoxExStyle::csExDropDown;
};

class TComboBoxEx : public TCustomComboBoxEx {
public:
    CLASSLIB_CLASS_NAME(TComboBoxEx)
    explicit TComboBoxEx(TComponent* AOwner) : TCustomComboBoxEx(AOwner) {}
};

}  // namespace classlib
