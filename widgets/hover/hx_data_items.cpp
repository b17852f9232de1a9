// A data provider's items and item lists.
#include "widgets/hover/hx_data_items.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>

#include "classlib/format.h"

namespace hover {

using namespace classlib;

HX_DEFINE_CLASS(THxBaseDataItem, TExtensibleInterfacedPersistent, (&HxMakeFor<THxBaseDataItem, THxBaseDataItems>))
HX_DEFINE_CLASS(THxDataItemAggregatedObject, TAggregatedPersistentEx, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataItemsAggregatedObject, TAggregatedPersistentEx, &HxNotMadeByName)
HX_DEFINE_CLASS(THxBaseDataItemTextImpl, THxDataItemAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataItemTextImpl, THxBaseDataItemTextImpl, (&HxMakeFor<THxDataItemTextImpl, THxBaseDataItem>))
HX_DEFINE_CLASS(THxBaseDataItemImageImpl, THxDataItemAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataItemImageImpl, THxBaseDataItemImageImpl, (&HxMakeFor<THxDataItemImageImpl, THxBaseDataItem>))
HX_DEFINE_CLASS(THxBaseDataItemSubItems, THxDataItemAggregatedObject, (&HxMakeFor<THxBaseDataItemSubItems, THxBaseDataItem>))
HX_DEFINE_CLASS(THxBaseDataItems, TExtensibleInterfacedPersistent, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataItemsList, THxBaseDataItems, &HxNotMadeByName)
HX_DEFINE_CLASS(THxBaseDataItemsManagement, THxDataItemsAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(THxBaseDataItemsListManagement, THxBaseDataItemsManagement,
             (&HxMakeFor<THxBaseDataItemsListManagement, THxDataItemsList>))
HX_DEFINE_CLASS(THxBaseDataItemsImagesImpl, THxDataItemsAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(THxCustomDataItemsImages, THxBaseDataItemsImagesImpl, (&HxMakeFor<THxCustomDataItemsImages, THxBaseDataItems>))

std::string NewItemID() {
    GUID guid{};
    CoCreateGuid(&guid);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&guid);
    std::string id;
    char digits[3];
    for (size_t i = 0; i < sizeof(GUID); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        id += digits;
    }
    return id;
}

// ---- Items ---------------------------------------------------------------------------------------

THxBaseDataItem::THxBaseDataItem(THxBaseDataItems* Owner) : owner_(Owner), id_(NewItemID()) {}

int THxBaseDataItem::AddRef() { return counted_ ? TExtensibleInterfacedPersistent::AddRef() : -1; }

int THxBaseDataItem::Release() { return counted_ ? TExtensibleInterfacedPersistent::Release() : -1; }

IHxDataItems* THxBaseDataItem::Items() { return owner_; }

void* THxBaseDataItem::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItem) ? static_cast<IHxDataItem*>(this) : nullptr;
}

THxBaseDataItems* THxBaseDataItem::SubItems() const {
    auto* sub = static_cast<THxBaseDataItemSubItems*>(FindImplementation(&THxBaseDataItemSubItems::StaticClass()));
    return sub != nullptr ? sub->List() : nullptr;
}

THxDataItemsList* THxBaseDataItem::MakeSubItems() {
    auto* sub = static_cast<THxBaseDataItemSubItems*>(FindImplementation(&THxBaseDataItemSubItems::StaticClass()));
    if (sub == nullptr) sub = HxNew<THxBaseDataItemSubItems>(this);
    return sub->List();
}

void THxBaseDataItem::ItemChanging() {
    if (owner_ != nullptr) owner_->NotifyChanging(pcrUpdateItem, static_cast<IHxDataItem*>(this));
}

void THxBaseDataItem::ItemChanged() {
    if (owner_ != nullptr) owner_->NotifyChanged(pcrUpdateItem, static_cast<IHxDataItem*>(this));
}

void THxBaseDataItem::DefineProperties(TFiler* Filer) {
    TExtensibleInterfacedPersistent::DefineProperties(Filer);
    auto* sub = static_cast<THxBaseDataItemSubItems*>(FindImplementation(&THxBaseDataItemSubItems::StaticClass()));
    Filer->DefineProperty(
        L"SubItems", [this](TReader* Reader) { MakeSubItems()->ReadItems(Reader); },
        [sub](TWriter* Writer) { sub->List()->WriteItems(Writer); }, sub != nullptr);
}

THxDataItemsAggregatedObject::THxDataItemsAggregatedObject(THxBaseDataItems* Owner)
    : TAggregatedPersistentEx(Owner), items_(Owner) {}

void* THxBaseDataItemTextImpl::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItemText) ? static_cast<IHxDataItemText*>(this) : nullptr;
}

void* THxBaseDataItemImageImpl::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItemImage) ? static_cast<IHxDataItemImage*>(this) : nullptr;
}

THxBaseDataItemSubItems::THxBaseDataItemSubItems(THxBaseDataItem* Owner) : THxDataItemAggregatedObject(Owner) {
    list_.Reset(HxNew<THxDataItemsList>(static_cast<IHxDataItem*>(Owner)));
}

THxBaseDataItemSubItems::~THxBaseDataItemSubItems() {
    // The list may outlive the item through other references: it no longer has a parent then.
    if (list_) list_->parent_ = nullptr;
}

void* THxBaseDataItemSubItems::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItems) ? static_cast<IHxDataItems*>(list_.Get()) : nullptr;
}

// ---- Item lists ----------------------------------------------------------------------------------

IHxDataProvider* THxBaseDataItems::Provider() {
    if (provider_ != nullptr) return provider_;
    IHxDataItems* above = parent_ != nullptr ? parent_->Items() : nullptr;
    return above != nullptr ? above->Provider() : nullptr;
}

void* THxBaseDataItems::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItems) ? static_cast<IHxDataItems*>(this) : nullptr;
}

IHxDataItem* THxBaseDataItems::FindByID(const std::string& ID, bool Recursive) {
    for (int i = 0; i < Count(); ++i)
        if (IHxDataItem* item = Item(i); item != nullptr && HxSameText(item->ID(), ID)) return item;
    if (!Recursive) return nullptr;
    for (int i = 0; i < Count(); ++i)
        if (IHxDataItems* sub = Supports<IHxDataItems>(Item(i)))
            if (IHxDataItem* found = sub->FindByID(ID, true)) return found;
    return nullptr;
}

int THxBaseDataItems::IndexOf(IHxDataItem* Item) {
    for (int i = 0; i < Count(); ++i)
        if (this->Item(i) == Item) return i;
    return -1;
}

bool THxBaseDataItems::CountsItemReferences() {
    IHxDataItemsManagement* management = Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(this));
    return management != nullptr && management->ManagesByRefCount();
}

void THxBaseDataItems::NotifyChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    if (IHxDataProvider* provider = Provider()) provider->Changing(Reason, Source);
}

void THxBaseDataItems::NotifyChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    if (IHxDataProvider* provider = Provider()) provider->Changed(Reason, Source);
}

THxDataItemsList::~THxDataItemsList() { ClearItems(); }

void THxDataItemsList::InitImplementers() { HxNew<THxBaseDataItemsListManagement>(this); }

IHxDataItem* THxDataItemsList::Item(int Index) { return Items(Index); }

THxBaseDataItem* THxDataItemsList::Items(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(items_.size())) return nullptr;
    return items_[static_cast<size_t>(Index)];
}

void THxDataItemsList::InsertItem(THxBaseDataItem* Item) {
    Item->owner_ = this;
    Item->counted_ = CountsItemReferences();
    items_.push_back(Item);
    Item->AddRef();
}

void THxDataItemsList::DeleteItem(int Index) {
    THxBaseDataItem* item = items_.at(static_cast<size_t>(Index));
    items_.erase(items_.begin() + Index);
    item->owner_ = nullptr;
    // A counted item lives on while others hold it; an owned one goes now.
    if (item->counted_)
        item->Release();
    else
        item->Free();
}

void THxDataItemsList::ClearItems() {
    while (!items_.empty()) DeleteItem(static_cast<int>(items_.size()) - 1);
}

void THxDataItemsList::DefineProperties(TFiler* Filer) {
    THxBaseDataItems::DefineProperties(Filer);
    Filer->DefineProperty(
        L"Items", [this](TReader* Reader) { ReadItems(Reader); }, [this](TWriter* Writer) { WriteItems(Writer); },
        !items_.empty());
}

void THxDataItemsList::WriteItems(TWriter* Writer) {
    std::vector<TPersistent*> items(items_.begin(), items_.end());
    WriteHxCollection(Writer, items);
}

void THxDataItemsList::ReadItems(TReader* Reader) {
    // The list read replaces the one there: its consumers hear of it as one change of the list.
    // A read that fails keeps the items read so far and still ends the change.
    NotifyChanging(pcrUpdateItems, static_cast<IHxDataItems*>(this));
    try {
        ClearItems();
        ReadHxCollection(
            Reader, [](THxClass c) { return c->InheritsFrom(&THxBaseDataItem::StaticClass()); },
            [this](THxClass c) -> TPersistent* {
                auto* item = dynamic_cast<THxBaseDataItem*>(c->Create(this));
                if (item != nullptr) InsertItem(item);
                return item;
            });
    } catch (...) {
        NotifyChanged(pcrUpdateItems, static_cast<IHxDataItems*>(this));
        throw;
    }
    NotifyChanged(pcrUpdateItems, static_cast<IHxDataItems*>(this));
}

// ---- Management ----------------------------------------------------------------------------------

void* THxBaseDataItemsManagement::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItemsManagement) ? static_cast<IHxDataItemsManagement*>(this) : nullptr;
}

IHxDataItem* THxBaseDataItemsListManagement::Add(IHxDataItem* Item) {
    auto* item = dynamic_cast<THxBaseDataItem*>(Item);
    // Only an item made for this list (or one that left its list) can join it.
    if (item == nullptr || (item->OwnerList() != nullptr && item->OwnerList() != list_) || list_->IndexOf(Item) >= 0)
        throw EHXLDataItems(L"Item cannot be added to this list");
    list_->NotifyChanging(pcrAdd, static_cast<IHxDataItems*>(list_));
    list_->InsertItem(item);
    list_->NotifyChanged(pcrAdd, Item);
    return Item;
}

IHxDataItem* THxBaseDataItemsListManagement::New() { return Add(HxNew<THxBaseDataItem>(list_)); }

void THxBaseDataItemsListManagement::Delete(int Index) {
    THxBaseDataItem* item = list_->Items(Index);
    if (item == nullptr) throw EHXLDataItems(Format(L"List index out of bounds (%d)", {Index}));
    if (!item->IsDeletable()) throw EHXLDataItems(L"Item cannot be deleted");
    list_->NotifyChanging(pcrDelete, static_cast<IHxDataItem*>(item));
    // A consumer may have moved the list meanwhile: delete the item where it stands now.
    const int at = list_->IndexOf(item);
    if (at >= 0) list_->DeleteItem(at);
    list_->NotifyChanged(pcrDelete, static_cast<IHxDataItems*>(list_));
}

void THxBaseDataItemsListManagement::Remove(IHxDataItem* Item) {
    const int index = list_->IndexOf(Item);
    if (index >= 0) Delete(index);
}

void THxBaseDataItemsListManagement::Clear() {
    list_->NotifyChanging(pcrUpdateItems, static_cast<IHxDataItems*>(list_));
    for (int i = list_->Count() - 1; i >= 0; --i)
        if (list_->Items(i)->IsDeletable()) list_->DeleteItem(i);
    list_->NotifyChanged(pcrUpdateItems, static_cast<IHxDataItems*>(list_));
}

// ---- Images --------------------------------------------------------------------------------------

void* THxBaseDataItemsImagesImpl::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItemsImages) ? static_cast<IHxDataItemsImages*>(this) : nullptr;
}

class THxCustomDataItemsImages::TWatcher : public TComponent {
public:
    explicit TWatcher(THxCustomDataItemsImages* Images) : TComponent(nullptr), images_(Images) {}
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation != TOperation::opRemove) return;
        for (int i = 0; i < 3; ++i)
            if (images_->lists_[i] == AComponent) images_->SetList(i, nullptr);
    }

private:
    THxCustomDataItemsImages* images_;
};

THxCustomDataItemsImages::THxCustomDataItemsImages(THxBaseDataItems* Owner)
    : THxBaseDataItemsImagesImpl(Owner), watcher_(std::make_unique<TWatcher>(this)) {}

THxCustomDataItemsImages::~THxCustomDataItemsImages() {
    for (TCustomImageList* list : lists_)
        if (list != nullptr) list->RemoveFreeNotification(watcher_.get());
}

void THxCustomDataItemsImages::SetList(int Which, TCustomImageList* Value) {
    TCustomImageList*& slot = lists_[Which];
    if (slot == Value) return;
    // The items' look changes with their images.
    Items()->NotifyChanging(pcrUpdateItems, static_cast<IHxDataItems*>(Items()));
    TCustomImageList* old = slot;
    slot = Value;
    if (old != nullptr && std::find(std::begin(lists_), std::end(lists_), old) == std::end(lists_))
        old->RemoveFreeNotification(watcher_.get());
    if (Value != nullptr) Value->FreeNotification(watcher_.get());
    Items()->NotifyChanged(pcrUpdateItems, static_cast<IHxDataItems*>(Items()));
}

}  // namespace hover
