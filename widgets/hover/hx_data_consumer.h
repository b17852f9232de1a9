// A control's link to a data provider: the consumer with its provider and context, the extensions
// the provider asks it to carry (told before and after every change), the item selection, the
// flattened view of an item tree, and the consumers that follow this one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "widgets/hover/hx_data_contexts.h"

namespace hover {

// Why a consumer changed (its OnChanging / OnChanged reason).
constexpr int crProviderChanged = 0;      // another provider (or none)
constexpr int crProviderDataChanged = 1;  // the provider's data changed
constexpr int crViewChanged = 2;          // the selection or the view changed
constexpr int crContextChanged = 3;       // another context (or none)

// A consumer's attribute that adds the view list.
constexpr int caViewList = 3;

class THxDataConsumer;
class THxDataConsumerAggregatedObject;

class IHxDataConsumer : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataConsumer; }
    // The component (usually a control) the consumer belongs to.
    virtual classlib::TComponent* OwnerComponent() = 0;
    virtual bool AttributeApplies(int Attribute) = 0;
    virtual IHxDataProvider* Provider() = 0;
    virtual IHxDataContext* ContextIntf() = 0;
};

class IHxDataConsumerItemSelect : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataConsumerItemSelect; }
    virtual IHxDataItem* GetItem() = 0;
    virtual void SetItemIntf(IHxDataItem* Value) = 0;
};

class IHxDataConsumerViewList : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataConsumerViewList; }
    virtual int LevelIndent() = 0;
    virtual void SetLevelIndent(int Value) = 0;
    virtual void RebuildView() = 0;
    virtual int Count() = 0;
    virtual IHxDataItem* Item(int Index) = 0;
    virtual int ItemLevel(int Index) = 0;
    virtual bool ItemIsExpanded(int Index) = 0;
    virtual bool ItemHasChildren(int Index) = 0;
    virtual bool ItemIsLastInLevel(int Index) = 0;
    virtual int IndexOfItem(IHxDataItem* Item) = 0;
    virtual int IndexOfID(const std::string& ID) = 0;
    virtual void ExpandItem(int Index) = 0;
    virtual void CollapseItem(int Index) = 0;
    virtual void ToggleItem(int Index) = 0;
};

// A consumer that others follow: they join and leave its list of consumers.
class IHxDataConsumerServerNotify : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataConsumerServerNotify; }
    virtual void AddClient(IHxDataConsumer* Client) = 0;
    virtual void RemoveClient(IHxDataConsumer* Client) = 0;
};

// A consumer that follows another one: told when it joined or left that one's list, when that
// one's provider changed and when it selected an item.
class IHxDataConsumerClientNotify : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataConsumerClientNotify; }
    virtual void LinkAdded(IHxDataConsumer* Server) = 0;
    virtual void LinkRemoved(IHxDataConsumer* Server) = 0;
    virtual void ServerProviderChanged(IHxDataConsumer* Server) = 0;
    virtual void ServerItemSelected(IHxDataConsumer* Server, IHxDataItem* Item) = 0;
};

using THxDataConsumerChangeEvent = std::function<void(classlib::TObject* Sender, int Reason)>;
// Before an extension is made: Create false cancels it.
using THxBeforeCreateExtensionEvent = std::function<void(classlib::TObject* Sender, THxClass Class, bool& Create)>;
using THxAfterCreateExtensionEvent = std::function<void(classlib::TObject* Sender, TAggregatedPersistentEx* Extension)>;
// Before a consumer joins (Adding) or leaves the consumers of this one; Allow false refuses a join.
using THxConsumerLinkEvent =
    std::function<void(classlib::TObject* Sender, IHxDataConsumer* Client, bool Adding, bool& Allow)>;
// Before a following consumer is told of a change (crProviderChanged, or crViewChanged for a
// selected item); Handled true tells it nothing.
using THxConsumerNotifyEvent =
    std::function<void(classlib::TObject* Sender, IHxDataConsumer* Client, int Reason, bool& Handled)>;

class THxDataConsumer : public TExtensibleInterfacedPersistent,
                        public IHxDataConsumer,
                        public IHxDataProviderNotify,
                        public IHxDataConsumerServerNotify,
                        public IHxDataConsumerClientNotify {
public:
    HX_CLASS(THxDataConsumer)
    // Owner: the control (or other component) the consumer serves; Attributes: what it asks for
    // (the label gives 2; caViewList adds the view list).
    THxDataConsumer(classlib::TComponent* Owner, std::vector<int> Attributes);
    HX_FORWARD_UNKNOWN(TExtensibleInterfacedPersistent)

    classlib::TComponent* OwnerComponent() override { return owner_; }
    // The owner lets go of the consumer before it goes itself.
    void DetachOwner() { owner_ = nullptr; }
    bool AttributeApplies(int Attribute) override;
    const std::vector<int>& Attributes() const { return attributes_; }

    IHxDataProvider* Provider() override { return provider_; }
    // No change for the current provider; otherwise the extensions and the consumers of this one
    // are told, the context becomes the provider's first (or the name kept while loading) and the
    // extension set is rebuilt.
    void SetProvider(IHxDataProvider* Value);
    bool ProviderActive() const { return provider_ != nullptr; }
    IHxDataContext* ContextIntf() override { return context_.Get(); }
    // A context of another provider raises EHXLDataConsumer "The specified context is not part of
    // the same provider".
    void SetContextIntf(IHxDataContext* Value);
    // The context's name ("" for none) and the published setter by name.
    std::string Context();
    void SetContext(const std::string& Name);

    // The items the provider shows this consumer in its context (nullptr without a provider).
    IHxDataItems* ContextItems();
    // The item of that ID in the context's tree, nullptr when there is none.
    IHxDataItem* FindItem(const std::string& ID);
    // The selected item (through the item selection), or nullptr.
    IHxDataItem* SelectedItem();
    // After the owner was read: a kept context name is applied, waiting fix-ups run.
    void Loaded();
    // An extension read while loading needs its loaded step once a provider is there.
    void NeedFixups() { needsFixups_ = true; }
    bool OwnerLoading() const;
    // Tells every extension that the view changed (Source made the change), then Changed(2).
    void ViewChanged(THxDataConsumerAggregatedObject* Source);

    // The consumers that follow this one.
    int ClientCount() const { return static_cast<int>(clients_.size()); }
    IHxDataConsumer* Clients(int Index) const { return clients_.at(static_cast<size_t>(Index)); }
    void AddClient(IHxDataConsumer* Client) override;
    void RemoveClient(IHxDataConsumer* Client) override;
    // Tells the following consumers (crProviderChanged, or crViewChanged with the selected item).
    void NotifyClients(int Reason, IHxDataItem* Item = nullptr);

    THxBeforeCreateExtensionEvent OnBeforeCreateExtension;
    THxAfterCreateExtensionEvent OnAfterCreateExtension;
    THxDataConsumerChangeEvent OnChanging;
    THxDataConsumerChangeEvent OnChanged;
    THxConsumerLinkEvent OnClientLinking;
    THxConsumerNotifyEvent OnNotifyClient;

    // The provider's notices.
    void DataProviderChanging(IHxDataProvider* Provider, THxDataProviderChangeReason Reason, IHxUnknown* Source) override;
    void DataProviderChanged(IHxDataProvider* Provider, THxDataProviderChangeReason Reason, IHxUnknown* Source) override;
    // As a follower of other consumers.
    void LinkAdded(IHxDataConsumer* Server) override;
    void LinkRemoved(IHxDataConsumer* Server) override;
    void ServerProviderChanged(IHxDataConsumer* Server) override;
    void ServerItemSelected(IHxDataConsumer* Server, IHxDataItem* Item) override;

protected:
    ~THxDataConsumer() override;
    void* QueryOwnRole(const GUID& Role) override;
    virtual void Changing(int Reason);
    virtual void Changed(int Reason);

private:
    std::vector<THxDataConsumerAggregatedObject*> Extensions() const;
    void RebuildExtensions();
    // Makes the extension of Class unless present or cancelled; answers it (nullptr when cancelled).
    TAggregatedPersistentEx* AddExtension(THxClass Class);
    void DropExtensions(bool ProviderChange);
    void RunFixups();
    IHxDataContext* ContextByName(const std::string& Name);

    classlib::TComponent* owner_;
    std::vector<int> attributes_;
    IHxDataProvider* provider_ = nullptr;
    THxRef<IHxDataContext> context_;
    bool needsFixups_ = false;
    std::string pendingContext_;
    std::vector<IHxDataConsumer*> clients_;
    std::vector<IHxDataConsumer*> servers_;
};

// Base of a consumer's extensions: told of provider, context and view changes and of the
// provider's data notices; dropped at a change unless it keeps itself.
class THxDataConsumerAggregatedObject : public TAggregatedPersistentEx {
public:
    HX_CLASS(THxDataConsumerAggregatedObject)
    explicit THxDataConsumerAggregatedObject(THxDataConsumer* Owner) : TAggregatedPersistentEx(Owner), consumer_(Owner) {}
    THxDataConsumer* Consumer() const { return consumer_; }

    virtual void ProviderChanging() {}
    virtual void ProviderChanged() {}
    virtual void ContextChanging() {}
    virtual void ContextChanged() {}
    virtual void ViewChanged(THxDataConsumerAggregatedObject* Source) { (void)Source; }
    virtual bool KeepOnProviderChange() { return false; }
    virtual bool KeepOnContextChange() { return false; }
    // The loaded step: what was read while loading is applied now that a provider is there.
    virtual void Fixup() {}
    virtual void DataProviderChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
        (void)Reason;
        (void)Source;
    }
    virtual void DataProviderChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
        (void)Reason;
        (void)Source;
    }

private:
    THxDataConsumer* consumer_;
};

// The consumer's selected item, kept by its ID. It stays across provider and context changes (the
// selection is cleared then), so that an ID read while loading waits for the provider.
class THxDataConsumerItemSelect : public THxDataConsumerAggregatedObject, public IHxDataConsumerItemSelect {
public:
    HX_CLASS(THxDataConsumerItemSelect)
    using THxDataConsumerAggregatedObject::THxDataConsumerAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataConsumerAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;

    const std::string& Item() const { return item_; }
    // Without a provider raises EHXLDataConsumer "You must specify a provider before setting the
    // item" (while loading the ID waits); an ID the context lacks "Item not found in the selected
    // context"; "" selects nothing.
    void SetItem(const std::string& ID);
    IHxDataItem* GetItem() override;
    void SetItemIntf(IHxDataItem* Value) override;

    void ProviderChanged() override;
    void ContextChanged() override;
    bool KeepOnProviderChange() override { return true; }
    bool KeepOnContextChange() override { return true; }
    void Fixup() override;
    void DataProviderChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source) override;
    void DataProviderChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source) override;

private:
    void Select(const std::string& ID, IHxDataItem* Item);
    std::string item_;
    std::string pending_;
};

// The visible items of the context's tree as one list: each entry an item and a word whose low
// 24 bits hold its level and whose top three bits its state. It follows the provider's notices;
// a view that no longer matches the items raises EHXLDataConsumer "ViewList out of sync".
class THxCustomDataConsumerViewList : public THxDataConsumerAggregatedObject, public IHxDataConsumerViewList {
public:
    HX_CLASS(THxCustomDataConsumerViewList)
    static constexpr std::uint32_t vlLevelMask = 0x00FFFFFFu;
    static constexpr std::uint32_t vlExpanded = 0x80000000u;
    static constexpr std::uint32_t vlHasChildren = 0x40000000u;
    static constexpr std::uint32_t vlLastInLevel = 0x20000000u;

    using THxDataConsumerAggregatedObject::THxDataConsumerAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataConsumerAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;

    int LevelIndent() override { return levelIndent_; }
    void SetLevelIndent(int Value) override;
    void RebuildView() override;
    int Count() override { return static_cast<int>(view_.size()); }
    IHxDataItem* Item(int Index) override { return Entry(Index).item; }
    std::uint32_t Word(int Index) { return Entry(Index).word; }
    int ItemLevel(int Index) override { return static_cast<int>(Entry(Index).word & vlLevelMask); }
    bool ItemIsExpanded(int Index) override { return (Entry(Index).word & vlExpanded) != 0; }
    bool ItemHasChildren(int Index) override { return (Entry(Index).word & vlHasChildren) != 0; }
    bool ItemIsLastInLevel(int Index) override { return (Entry(Index).word & vlLastInLevel) != 0; }
    int IndexOfItem(IHxDataItem* Item) override;
    int IndexOfID(const std::string& ID) override;
    void ExpandItem(int Index) override;
    void CollapseItem(int Index) override;
    void ToggleItem(int Index) override;

    void DataProviderChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source) override;
    void DataProviderChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source) override;

private:
    struct TViewEntry {
        IHxDataItem* item;
        std::uint32_t word;
    };
    const TViewEntry& Entry(int Index) const;
    // Entries from Index + 1 whose level is above Index's: the entry's visible subtree.
    int SubtreeEnd(int Index) const;
    void AddLevel(IHxDataItems* Items, int Level, int At, const std::vector<std::string>& Expanded);
    // Checks that the entries right below Index (at its level + 1) are Items in their order.
    void CheckChildren(int Index, IHxDataItems* Items) const;
    void RefreshFlags();
    [[noreturn]] void OutOfSync() const;

    std::vector<TViewEntry> view_;
    std::vector<std::string> pendingExpanded_;  // between the notices around a cleared list
    int levelIndent_ = 16;
};

class THxDataConsumerViewList : public THxCustomDataConsumerViewList {
public:
    HX_CLASS(THxDataConsumerViewList)
    using THxCustomDataConsumerViewList::THxCustomDataConsumerViewList;
};

}  // namespace hover
