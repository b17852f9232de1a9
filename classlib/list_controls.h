// What the list controls (list box, combo box, list view, extended combo box) share: the base a
// selection is copied into, the items that the list view and the extended combo box keep
// themselves, and the list action that fills a list control with its items (their
// captions and images) through the control's list action link.
#pragma once

#include <memory>
#include <string>
#include <utility>
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

// An item such a control keeps: caption, image and the data it stands for. Changing a property
// shows it at once.
template <typename TItems>
class TOwnedItem : public TPersistent {
public:
    explicit TOwnedItem(TItems* Owner) : owner_(Owner) {}
    TItems* Owner() const { return owner_; }
    int Index() const { return owner_->IndexOf(this); }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value) { Change(caption_, Value); }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value) { Change(imageIndex_, Value); }
    void* Data() const { return data_; }
    void SetData(void* Value) { data_ = Value; }

protected:
    // Sets Field to Value; a change is shown (the control writes the item into its window again).
    template <typename T>
    void Change(T& Field, const T& Value) {
        if (Field == Value) return;
        Field = Value;
        owner_->ItemChanged(this);
    }

private:
    TItems* owner_;
    std::string caption_;
    int imageIndex_ = -1;
    void* data_ = nullptr;
};

// The base of a control that keeps its items (TItems, of TItem) itself: its window is given them
// when it is made (WriteItem, which the control implements) and loses them by DeleteMessage and
// ClearMessage; the current item is kept while there is no window.
template <typename TItems, typename TItem>
class TOwnedItemsControl : public TCustomListControl {
public:
    TOwnedItemsControl(TComponent* AOwner, UINT DeleteMessage, UINT ClearMessage)
        : TCustomListControl(AOwner),
          items_(std::make_unique<TItems>(this)),
          deleteMessage_(DeleteMessage),
          clearMessage_(ClearMessage) {}

    void Clear() override { items_->Clear(); }
    void CopySelection(TCustomListControl* Destination) override {
        int index = ItemIndex();
        if (Destination == nullptr || index < 0) return;
        TItem* item = items_->Item(index);
        Destination->AddItem(item->Caption(), static_cast<TObject*>(item->Data()));
    }
    void DestroyWnd() override {
        savedItemIndex_ = ItemIndex();
        TCustomListControl::DestroyWnd();
    }

protected:
    friend class TOwnedItems<TOwnedItemsControl, TItem>;
    TItems* OwnedItems() const { return items_.get(); }
    // Makes an item (a layer above makes items of its own kind).
    virtual std::unique_ptr<TItem> NewItem() { return std::make_unique<TItem>(items_.get()); }
    // Writes the item at Index into the window: inserted (Insert) or changed.
    virtual void WriteItem(int Index, bool Insert) = 0;
    // The current item while there is no window.
    int SavedItemIndex() const { return savedItemIndex_; }
    // Brings Value into the items' range (else -1); without a window it is kept for the next one
    // (answers true).
    bool KeepItemIndex(int& Value) {
        if (Value < 0 || Value >= items_->Count()) Value = -1;
        if (HandleAllocated()) return false;
        savedItemIndex_ = Value;
        return true;
    }
    // A new window is given every item, then the current item kept meanwhile.
    void ShowOwnedItems() {
        for (int i = 0; i < items_->Count(); ++i) WriteItem(i, true);
        SetItemIndex(std::exchange(savedItemIndex_, -1));
    }

private:
    void ItemDeleted(int Index) {
        if (HandleAllocated()) SendMessageA(WindowHandle(), deleteMessage_, static_cast<WPARAM>(Index), 0);
    }
    void ItemsCleared() {
        if (HandleAllocated())
            SendMessageA(WindowHandle(), clearMessage_, 0, 0);
        else
            savedItemIndex_ = -1;
    }

    std::unique_ptr<TItems> items_;
    const UINT deleteMessage_;
    const UINT clearMessage_;
    int savedItemIndex_ = -1;
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
