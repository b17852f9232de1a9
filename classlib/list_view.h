// The list view: a SysListView32 window showing items with captions and images (icons, small
// icons or a list), and its action link, which fills it from a list action.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/image_list.h"
#include "classlib/list_controls.h"

namespace classlib {

class TListItems;

// One item: caption, image and the data it stands for. Changing a property shows it at once.
class TListItem : public TOwnedItem<TListItems> {
public:
    CLASSLIB_CLASS_NAME(TListItem)
    using TOwnedItem::TOwnedItem;
};

// The window's record of an item, ANSI (LVITEMA) or wide (LVITEMW) around the caption's text.
template <typename TRecord, typename TChar>
TRecord ListItemRecord(TListItem& Source, int Index, TChar* Text) {
    TRecord item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = Index;
    item.pszText = Text;
    item.iImage = Source.ImageIndex();
    item.lParam = reinterpret_cast<LPARAM>(&Source);
    return item;
}

// The items of a list view.
class TListItems : public TOwnedItems<TOwnedItemsControl<TListItems, TListItem>, TListItem> {
public:
    CLASSLIB_CLASS_NAME(TListItems)
    using TOwnedItems::TOwnedItems;
};

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// The link of a list view: a list action's items become list items with their images, and its
// images the small images.
class TListViewActionLink : public TListActionLink {
public:
    CLASSLIB_CLASS_NAME(TListViewActionLink)
    explicit TListViewActionLink(TControl* AClient) : TListActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
    void AddItem(const std::string& Caption, int ImageIndex, void* Data) override;
    void SetImages(TCustomImageList* Value) override;
};

// A single-selection list view. The report style shows one column, as wide as the control.
//   ItemIndex set from code fires nothing; the user's pick runs OnChange (and tells a linked list
//   action).
class TCustomListView : public TOwnedItemsControl<TListItems, TListItem> {
public:
    CLASSLIB_CLASS_NAME(TCustomListView)
    explicit TCustomListView(TComponent* AOwner);

    TListItems* Items() const { return OwnedItems(); }
    TViewStyle ViewStyle() const { return viewStyle_; }
    void SetViewStyle(TViewStyle Value);
    TCustomImageList* SmallImages() const { return smallImages_; }
    void SetSmallImages(TCustomImageList* Value);
    TCustomImageList* LargeImages() const { return largeImages_; }
    void SetLargeImages(TCustomImageList* Value);
    // The text the window shows for an item (LVM_GETITEMTEXT).
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
    void SetImageList(TCustomImageList*& Field, TCustomImageList* Value, int Which);
    TViewStyle viewStyle_ = TViewStyle::vsIcon;
    TCustomImageList* smallImages_ = nullptr;
    TCustomImageList* largeImages_ = nullptr;
    bool settingIndex_ = false;
};

class TListView : public TCustomListView {
public:
    CLASSLIB_CLASS_NAME(TListView)
    explicit TListView(TComponent* AOwner) : TCustomListView(AOwner) {}
};

}  // namespace classlib
