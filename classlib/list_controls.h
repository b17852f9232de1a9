// What the list controls (list box, combo box, list view, extended combo box) share: the base a
// selection is copied into, and the list action that fills a list control with its items (their
// captions and images) through the control's list action link.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/image_list.h"

namespace classlib {

class TCustomListControl;

// A windowed control holding a list of items the user picks from.
class TCustomListControl : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomListControl)
    explicit TCustomListControl(TComponent* AOwner) : TWinControl(AOwner) {}
    // The current item (-1: none).
    virtual int ItemIndex() = 0;
    virtual void SetItemIndex(int Value) = 0;
    // Adds an item with the object it stands for.
    virtual void AddItem(const std::string& Item, TObject* AObject) = 0;
    virtual void Clear() = 0;
    // Adds the selected items (the current one in a single-selection control) with their objects
    // to Destination.
    virtual void CopySelection(TCustomListControl* Destination) = 0;

protected:
    // The user picked the item at Index: a linked list action follows (ItemSelected).
    void TellListAction(int Index);
};

// EListError "List index out of bounds (%d)".
[[noreturn]] void RaiseListIndexError(int Index);

// The items of a list control that keeps them itself (the list view, the extended combo box), so
// that they survive the re-creation of its window. TOwner makes them (NewItem) and shows them
// (WriteItem, ItemDeleted, ItemsCleared) while it has a window.
template <typename TOwner, typename TItem>
class TOwnedItems : public TPersistent {
public:
    explicit TOwnedItems(TOwner* Owner) : owner_(Owner) {}
    TOwner* Owner() const { return owner_; }
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises EListError "List index out of bounds (%d)" outside 0 .. Count - 1.
    TItem* Item(int Index) const {
        CheckIndex(Index, Count() - 1);
        return items_[static_cast<size_t>(Index)].get();
    }
    TItem* Add() { return Insert(Count()); }
    TItem* Insert(int Index) {
        CheckIndex(Index, Count());
        items_.insert(items_.begin() + Index, owner_->NewItem());
        if (owner_->HandleAllocated()) owner_->WriteItem(Index, true);
        return items_[static_cast<size_t>(Index)].get();
    }
    void Delete(int Index) {
        CheckIndex(Index, Count() - 1);
        items_.erase(items_.begin() + Index);
        owner_->ItemDeleted(Index);
    }
    void Clear() {
        items_.clear();
        owner_->ItemsCleared();
    }
    int IndexOf(const TPersistent* Item) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].get() == Item) return static_cast<int>(i);
        return -1;
    }
    // The item changed: shown again.
    void ItemChanged(const TPersistent* Item) {
        int index = IndexOf(Item);
        if (index >= 0 && owner_->HandleAllocated()) owner_->WriteItem(index, false);
    }

private:
    static void CheckIndex(int Index, int Last) {
        if (Index < 0 || Index > Last) RaiseListIndexError(Index);
    }
    TOwner* owner_;
    std::vector<std::unique_ptr<TItem>> items_;
};
// One item of a list action.
struct TListActionItem {
    std::string Caption;
    int ImageIndex = -1;
    void* Data = nullptr;
};

// An action that gives its linked list controls its items, with their images from its Images,
// and follows their current item. Setting ItemIndex from code tells the linked controls and fires
// nothing; OnItemSelected runs when a linked control reports the user's pick (ItemSelected).
class TCustomListAction : public TCustomAction {
public:
    CLASSLIB_CLASS_NAME(TCustomListAction)
    explicit TCustomListAction(TComponent* AOwner) : TCustomAction(AOwner) {}

    int ItemCount() const { return static_cast<int>(items_.size()); }
    const TListActionItem& Items(int Index) const;
    // Adds an item and gives it to every linked control.
    void AddItem(const std::string& Caption, int ImageIndex, void* Data = nullptr);
    void ClearItems();
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int Value);
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* Value);
    // A linked control's pick: the new index, then OnItemSelected.
    void ItemSelected(int Index);
    std::function<void(TCustomListAction* Sender, int Index)> OnItemSelected;

    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    template <typename F>
    void ForEachListLink(F f);
    std::vector<TListActionItem> items_;
    int itemIndex_ = -1;
    TCustomImageList* images_ = nullptr;
};

class TStaticListAction : public TCustomListAction {
public:
    CLASSLIB_CLASS_NAME(TStaticListAction)
    explicit TStaticListAction(TComponent* AOwner) : TCustomListAction(AOwner) {}
};

// The link of a list control: besides the windowed control's properties, a list action's items
// (AddItem with caption, image and data, after the control's items are cleared), its images
// (SetImages) and its current item (SetItemIndex) go to the control.
class TListActionLink : public TWinControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TListActionLink)
    explicit TListActionLink(TControl* AClient) : TWinControlActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
    TCustomListControl* ListClient() const { return dynamic_cast<TCustomListControl*>(Client()); }

    void SetAction(TBasicAction* Value) override;
    // A list control kind puts the item in its own way (with its image); the base adds the caption.
    virtual void AddItem(const std::string& Caption, int ImageIndex, void* Data);
    virtual void SetImages(TCustomImageList* Value) { (void)Value; }
    virtual void SetItemIndex(int Value);
    // Fills the client from the list action (its items, images and current item).
    void Refill();
};

}  // namespace classlib
