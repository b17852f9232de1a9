// A data provider's items and item lists: items with their generated IDs, captions, images and
// sub-items; lists that keep their items, the management that adds and deletes them (telling the
// provider before and after), the lists' images, and the "Items" / "SubItems" streaming.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "widgets/hover/hx_data_provider.h"

namespace hover {

class THxBaseDataItems;
class THxDataItemsList;

// A new item ID: the 16 bytes of a newly made GUID as 32 upper-case hexadecimal digits.
std::string NewItemID();

// ---- Items ---------------------------------------------------------------------------------------
class THxBaseDataItem : public TExtensibleInterfacedPersistent, public IHxDataItem {
public:
    HX_CLASS(THxBaseDataItem)
    explicit THxBaseDataItem(THxBaseDataItems* Owner);

    void* QueryRole(const GUID& Role) override { return TExtensibleInterfacedPersistent::QueryRole(Role); }
    // Counted only when the item joined a list whose management keeps items by their counts;
    // otherwise nothing changes and the answer is -1.
    int AddRef() override;
    int Release() override;

    std::string ID() override { return id_; }
    void SetID(const std::string& Value) { id_ = Value; }
    IHxDataItems* Items() override;
    bool IsDeletable() override { return true; }
    THxBaseDataItems* OwnerList() const { return owner_; }
    // The item's sub-items (nullptr when it has none); MakeSubItems gives it a list of them.
    THxBaseDataItems* SubItems() const;
    THxDataItemsList* MakeSubItems();

    // Tell the provider before and after a change of this item's look (reason pcrUpdateItem).
    void ItemChanging();
    void ItemChanged();

    // "Extensions", then "SubItems" when the item has sub-items.
    void DefineProperties(classlib::TFiler* Filer) override;

protected:
    void* QueryOwnRole(const GUID& Role) override;

private:
    friend class THxDataItemsList;
    THxBaseDataItems* owner_;
    bool counted_ = false;
    std::string id_;
};

// Bases of the items' and the item lists' implementation objects.
class THxDataItemAggregatedObject : public TAggregatedPersistentEx {
public:
    HX_CLASS(THxDataItemAggregatedObject)
    explicit THxDataItemAggregatedObject(THxBaseDataItem* Owner) : TAggregatedPersistentEx(Owner), item_(Owner) {}
    THxBaseDataItem* Item() const { return item_; }

protected:
    // Stores Value in Field with the provider told before and after (nothing when unchanged).
    template <class T>
    void SetItemProperty(T& Field, const T& Value) {
        if (Field == Value) return;
        item_->ItemChanging();
        Field = Value;
        item_->ItemChanged();
    }

private:
    THxBaseDataItem* item_;
};

class THxDataItemsAggregatedObject : public TAggregatedPersistentEx {
public:
    HX_CLASS(THxDataItemsAggregatedObject)
    explicit THxDataItemsAggregatedObject(THxBaseDataItems* Owner);
    THxBaseDataItems* Items() const { return items_; }

private:
    THxBaseDataItems* items_;
};

// The caption of an item.
class THxBaseDataItemTextImpl : public THxDataItemAggregatedObject, public IHxDataItemText {
public:
    HX_CLASS(THxBaseDataItemTextImpl)
    using THxDataItemAggregatedObject::THxDataItemAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;
};

class THxDataItemTextImpl : public THxBaseDataItemTextImpl {
public:
    HX_CLASS(THxDataItemTextImpl)
    using THxBaseDataItemTextImpl::THxBaseDataItemTextImpl;
    std::string Caption() override { return caption_; }
    void SetCaption(const std::string& Value) override { SetItemProperty(caption_, Value); }

private:
    std::string caption_;
};

// The image of an item: where it stands and its indexes in the list's images.
class THxBaseDataItemImageImpl : public THxDataItemAggregatedObject, public IHxDataItemImage {
public:
    HX_CLASS(THxBaseDataItemImageImpl)
    using THxDataItemAggregatedObject::THxDataItemAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;
};

class THxDataItemImageImpl : public THxBaseDataItemImageImpl {
public:
    HX_CLASS(THxDataItemImageImpl)
    using THxBaseDataItemImageImpl::THxBaseDataItemImageImpl;
    classlib::TAlignment Alignment() override { return alignment_; }
    void SetAlignment(classlib::TAlignment Value) override { SetItemProperty(alignment_, Value); }
    int ImageIndex() override { return imageIndex_; }
    void SetImageIndex(int Value) override { SetItemProperty(imageIndex_, Value); }
    int SelectedIndex() override { return selectedIndex_; }
    void SetSelectedIndex(int Value) override { SetItemProperty(selectedIndex_, Value); }

private:
    classlib::TAlignment alignment_ = classlib::TAlignment::taLeftJustify;
    int imageIndex_ = -1;
    int selectedIndex_ = -1;
};

// The sub-items of an item: answers the item-list role for the item with a list of its own.
class THxBaseDataItemSubItems : public THxDataItemAggregatedObject {
public:
    HX_CLASS(THxBaseDataItemSubItems)
    explicit THxBaseDataItemSubItems(THxBaseDataItem* Owner);
    ~THxBaseDataItemSubItems() override;
    THxDataItemsList* List() const { return list_.Get(); }
    void* QueryOwnRole(const GUID& Role) override;

private:
    THxRef<THxDataItemsList> list_;
};

// ---- Item lists ----------------------------------------------------------------------------------
class THxBaseDataItems : public TExtensibleInterfacedPersistent, public IHxDataItems {
public:
    HX_CLASS(THxBaseDataItems)
    // Parent: the item whose sub-items these are (nullptr for a root list).
    explicit THxBaseDataItems(IHxDataItem* Parent = nullptr) : parent_(Parent) {}
    HX_FORWARD_UNKNOWN(TExtensibleInterfacedPersistent)

    IHxDataItem* Parent() override { return parent_; }
    // A root list's provider is the one it was given; a sub-list's is its parent item's.
    IHxDataProvider* Provider() override;
    void SetProvider(IHxDataProvider* Value) { provider_ = Value; }
    IHxDataItem* FindByID(const std::string& ID, bool Recursive) override;
    int IndexOf(IHxDataItem* Item) override;
    // The management's "keeps items by their counts" (false without a management).
    bool CountsItemReferences();
    // Tell the provider (when there is one) before and after a change of the list.
    void NotifyChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source);
    void NotifyChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source);

protected:
    void* QueryOwnRole(const GUID& Role) override;

private:
    friend class THxBaseDataItemSubItems;
    IHxDataItem* parent_;
    IHxDataProvider* provider_ = nullptr;
};

// An item list that keeps its items: it owns them, or, when its management keeps items by their
// counts, holds one reference to each. Its built-in management is THxBaseDataItemsListManagement.
class THxDataItemsList : public THxBaseDataItems {
public:
    HX_CLASS(THxDataItemsList)
    using THxBaseDataItems::THxBaseDataItems;
    int Count() override { return static_cast<int>(items_.size()); }
    IHxDataItem* Item(int Index) override;
    THxBaseDataItem* Items(int Index) const;

    // The list's storage, without telling anyone: the management and the reader use them.
    void InsertItem(THxBaseDataItem* Item);
    void DeleteItem(int Index);
    void ClearItems();

    // "Extensions", then "Items" when the list has items.
    void DefineProperties(classlib::TFiler* Filer) override;
    void ReadItems(classlib::TReader* Reader);
    void WriteItems(classlib::TWriter* Writer);

protected:
    ~THxDataItemsList() override;
    void InitImplementers() override;

private:
    std::vector<THxBaseDataItem*> items_;
};

// Adds, makes, deletes and clears items of a list, telling the provider before and after.
class THxBaseDataItemsManagement : public THxDataItemsAggregatedObject, public IHxDataItemsManagement {
public:
    HX_CLASS(THxBaseDataItemsManagement)
    using THxDataItemsAggregatedObject::THxDataItemsAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemsAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;
    bool ManagesByRefCount() override { return false; }
};

// The management of a THxDataItemsList. Items that say they cannot be deleted stay: deleting or
// removing one raises EHXLDataItems "Item cannot be deleted", clearing keeps it.
class THxBaseDataItemsListManagement : public THxBaseDataItemsManagement {
public:
    HX_CLASS(THxBaseDataItemsListManagement)
    explicit THxBaseDataItemsListManagement(THxDataItemsList* Owner)
        : THxBaseDataItemsManagement(Owner), list_(Owner) {}
    IHxDataItem* Add(IHxDataItem* Item) override;
    IHxDataItem* New() override;
    void Clear() override;
    void Delete(int Index) override;
    void Remove(IHxDataItem* Item) override;

private:
    THxDataItemsList* list_;
};

// The images an item list's items are drawn with (normal, hot, disabled).
class THxBaseDataItemsImagesImpl : public THxDataItemsAggregatedObject, public IHxDataItemsImages {
public:
    HX_CLASS(THxBaseDataItemsImagesImpl)
    using THxDataItemsAggregatedObject::THxDataItemsAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemsAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;
};

class THxCustomDataItemsImages : public THxBaseDataItemsImagesImpl {
public:
    HX_CLASS(THxCustomDataItemsImages)
    explicit THxCustomDataItemsImages(THxBaseDataItems* Owner);
    ~THxCustomDataItemsImages() override;
    classlib::TCustomImageList* DisabledImages() override { return lists_[0]; }
    void SetDisabledImages(classlib::TCustomImageList* Value) override { SetList(0, Value); }
    classlib::TCustomImageList* HotImages() override { return lists_[1]; }
    void SetHotImages(classlib::TCustomImageList* Value) override { SetList(1, Value); }
    classlib::TCustomImageList* Images() override { return lists_[2]; }
    void SetImages(classlib::TCustomImageList* Value) override { SetList(2, Value); }

private:
    class TWatcher;
    void SetList(int Which, classlib::TCustomImageList* Value);
    classlib::TCustomImageList* lists_[3] = {nullptr, nullptr, nullptr};
    // Hears of an image list's end, so that no reference outlives the list.
    std::unique_ptr<TWatcher> watcher_;
};

}  // namespace hover
