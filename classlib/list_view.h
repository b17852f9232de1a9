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

class TCustomListView;
class TListItems;

// One item: caption, image and the data it stands for. Changing a property shows it at once.
class TListItem : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TListItem)
    explicit TListItem(TListItems* Owner) : owner_(Owner) {}
    TListItems* Owner() const { return owner_; }
    int Index() const;
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    void* Data() const { return data_; }
    void SetData(void* Value) { data_ = Value; }

protected:
    // Tells the list view the item changed (it writes the item into its window again).
    void Changed();

private:
    TListItems* owner_;
    std::string caption_;
    int imageIndex_ = -1;
    void* data_ = nullptr;
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
class TListItems : public TOwnedItems<TCustomListView, TListItem> {
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
class TCustomListView : public TCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TCustomListView)
    explicit TCustomListView(TComponent* AOwner);
    ~TCustomListView() override;

    TListItems* Items() const { return items_.get(); }
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
    void Clear() override { items_->Clear(); }
    void CopySelection(TCustomListControl* Destination) override;

    TNotifyEvent OnChange;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    TControlActionLinkClass GetActionLinkClass() const override;

protected:
    friend class TOwnedItems<TCustomListView, TListItem>;
    // Makes an item (a layer above makes items of its own kind).
    virtual std::unique_ptr<TListItem> NewItem() { return std::make_unique<TListItem>(items_.get()); }
    // Writes the item at Index into the window: inserted (Insert) or changed.
    virtual void WriteItem(int Index, bool Insert);
    void ItemDeleted(int Index);
    void ItemsCleared();

private:
    void SetImageList(TCustomImageList*& Field, TCustomImageList* Value, int Which);
    std::unique_ptr<TListItems> items_;
    TViewStyle viewStyle_ = TViewStyle::vsIcon;
    TCustomImageList* smallImages_ = nullptr;
    TCustomImageList* largeImages_ = nullptr;
    int savedItemIndex_ = -1;  // while there is no window
    bool settingIndex_ = false;
};

class TListView : public TCustomListView {
public:
    CLASSLIB_CLASS_NAME(TListView)
    explicit TListView(TComponent* AOwner) : TCustomListView(AOwner) {}
};

}  // namespace classlib
