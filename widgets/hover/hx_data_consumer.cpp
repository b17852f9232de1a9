// A control's link to a data provider.
#include "widgets/hover/hx_data_consumer.h"

#include <algorithm>

#include "classlib/controls.h"
#include "classlib/conversions.h"
#include "classlib/format.h"
#include "widgets/hover/hx_data_renderers.h"

namespace hover {

using namespace classlib;

HX_DEFINE_CLASS(THxDataConsumer, TExtensibleInterfacedPersistent, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataConsumerAggregatedObject, TAggregatedPersistentEx, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataConsumerItemSelect, THxDataConsumerAggregatedObject,
                (&HxMakeFor<THxDataConsumerItemSelect, THxDataConsumer>))
HX_DEFINE_CLASS(THxCustomDataConsumerViewList, THxDataConsumerAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataConsumerViewList, THxCustomDataConsumerViewList,
                (&HxMakeFor<THxDataConsumerViewList, THxDataConsumer>))

namespace {

// Points the provider at a consumer and its context for as long as it lives.
class TProviderSelection {
public:
    TProviderSelection(IHxDataProvider* Provider, IHxDataConsumer* Consumer, IHxDataContext* Context) : provider_(Provider) {
        if (provider_ == nullptr) return;
        provider_->SelectConsumer(Consumer);
        provider_->SelectContext(Context);
    }
    ~TProviderSelection() {
        if (provider_ == nullptr) return;
        provider_->ReleaseContext();
        provider_->ReleaseConsumer();
    }
    TProviderSelection(const TProviderSelection&) = delete;
    TProviderSelection& operator=(const TProviderSelection&) = delete;

private:
    IHxDataProvider* provider_;
};

// True when Item is Ancestor or stands somewhere below it.
bool IsWithin(IHxDataItem* Item, IHxDataItem* Ancestor) {
    for (IHxDataItem* i = Item; i != nullptr;) {
        if (i == Ancestor) return true;
        IHxDataItems* list = i->Items();
        i = list != nullptr ? list->Parent() : nullptr;
    }
    return false;
}

}  // namespace

// ---- Consumer ------------------------------------------------------------------------------------

THxDataConsumer::THxDataConsumer(TComponent* Owner, std::vector<int> Attributes)
    : owner_(Owner), attributes_(std::move(Attributes)) {}

THxDataConsumer::~THxDataConsumer() {
    OnBeforeCreateExtension = nullptr;
    OnAfterCreateExtension = nullptr;
    OnChanging = nullptr;
    OnChanged = nullptr;
    OnClientLinking = nullptr;
    OnNotifyClient = nullptr;
    // The owner may be going as well: nothing of it is touched from here on.
    owner_ = nullptr;
    SetProvider(nullptr);
    for (IHxDataConsumer* server : std::vector<IHxDataConsumer*>(servers_))
        if (auto* notify = Supports<IHxDataConsumerServerNotify>(server)) notify->RemoveClient(this);
    for (IHxDataConsumer* client : std::vector<IHxDataConsumer*>(clients_)) RemoveClient(client);
}

void* THxDataConsumer::QueryOwnRole(const GUID& Role) {
    if (IsEqualGUID(Role, IID_IHxDataConsumer)) return static_cast<IHxDataConsumer*>(this);
    if (IsEqualGUID(Role, IID_IHxDataProviderNotify)) return static_cast<IHxDataProviderNotify*>(this);
    if (IsEqualGUID(Role, IID_IHxDataConsumerServerNotify)) return static_cast<IHxDataConsumerServerNotify*>(this);
    if (IsEqualGUID(Role, IID_IHxDataConsumerClientNotify)) return static_cast<IHxDataConsumerClientNotify*>(this);
    return nullptr;
}

bool THxDataConsumer::AttributeApplies(int Attribute) {
    return std::find(attributes_.begin(), attributes_.end(), Attribute) != attributes_.end();
}

bool THxDataConsumer::OwnerLoading() const { return owner_ != nullptr && owner_->HasState(csLoading); }

void THxDataConsumer::Changing(int Reason) {
    if (OnChanging) OnChanging(this, Reason);
}

void THxDataConsumer::Changed(int Reason) {
    if (auto* control = dynamic_cast<TControl*>(owner_)) control->Invalidate();
    if (OnChanged) OnChanged(this, Reason);
}

std::vector<THxDataConsumerAggregatedObject*> THxDataConsumer::Extensions() const {
    std::vector<THxDataConsumerAggregatedObject*> list;
    for (int i = 0; i < ImplementationCount(); ++i)
        if (auto* ext = dynamic_cast<THxDataConsumerAggregatedObject*>(Implementations(i))) list.push_back(ext);
    return list;
}

void THxDataConsumer::DropExtensions(bool ProviderChange) {
    for (THxDataConsumerAggregatedObject* ext : Extensions()) {
        const bool keep = ProviderChange ? ext->KeepOnProviderChange() : ext->KeepOnContextChange();
        if (!keep) delete ext;
    }
}

TAggregatedPersistentEx* THxDataConsumer::AddExtension(THxClass Class) {
    if (TAggregatedPersistentEx* present = FindImplementation(Class)) return present;
    bool create = true;
    if (OnBeforeCreateExtension) OnBeforeCreateExtension(this, Class, create);
    if (!create) return nullptr;
    auto* ext = dynamic_cast<TAggregatedPersistentEx*>(Class->Create(this));
    if (ext == nullptr) return nullptr;
    if (OnAfterCreateExtension) OnAfterCreateExtension(this, ext);
    return ext;
}

void THxDataConsumer::RebuildExtensions() {
    if (provider_ == nullptr) {
        ClearImplementations();
        return;
    }
    std::vector<THxClass> classes;
    {
        TProviderSelection selection(provider_, this, context_.Get());
        classes = provider_->ConsumerClasses();
    }
    for (THxClass cls : classes) AddExtension(cls);
    if (AttributeApplies(caViewList))
        if (auto* view = dynamic_cast<THxCustomDataConsumerViewList*>(AddExtension(&THxDataConsumerViewList::StaticClass())))
            view->RebuildView();
}

void THxDataConsumer::RunFixups() {
    needsFixups_ = false;
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->Fixup();
}

void THxDataConsumer::ViewChanged(THxDataConsumerAggregatedObject* Source) {
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->ViewChanged(Source);
    Changed(crViewChanged);
}

IHxDataContext* THxDataConsumer::ContextByName(const std::string& Name) {
    IHxDataContexts* contexts = Supports<IHxDataContexts>(provider_);
    if (contexts == nullptr) throw EHXLDataConsumer(L"Provider does not support contexts");
    IHxDataContext* context = contexts->FindByName(Name);
    if (context == nullptr) throw EHXLDataConsumer(Format(L"Provider has no context named \"%s\"", {AnsiToWide(Name)}));
    return context;
}

void THxDataConsumer::SetProvider(IHxDataProvider* Value) {
    if (Value == provider_) return;
    Changing(crProviderChanged);
    if (provider_ != nullptr) provider_->UnregisterChangeNotify(this);
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->ProviderChanging();
    provider_ = Value;
    if (provider_ != nullptr) provider_->RegisterChangeNotify(this);
    if (!OwnerLoading()) {
        IHxDataContexts* contexts = Supports<IHxDataContexts>(provider_);
        context_.Reset(contexts != nullptr && contexts->Count() > 0 ? contexts->Item(0) : nullptr);
    } else {
        context_.Reset();
        if (provider_ != nullptr && !pendingContext_.empty()) context_.Reset(ContextByName(std::exchange(pendingContext_, {})));
    }
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->ProviderChanged();
    DropExtensions(true);
    RebuildExtensions();
    NotifyClients(crProviderChanged);
    if (needsFixups_ && provider_ != nullptr) RunFixups();
    ViewChanged(nullptr);
    Changed(crProviderChanged);
}

std::string THxDataConsumer::Context() { return context_ ? context_->Name() : std::string(); }

void THxDataConsumer::SetContext(const std::string& Name) {
    if (HxSameText(Name, Context())) return;
    if (provider_ == nullptr) {
        if (OwnerLoading()) {
            pendingContext_ = Name;
            return;
        }
        throw EHXLDataConsumer(L"You must specify a provider before setting the context");
    }
    SetContextIntf(Name.empty() ? nullptr : ContextByName(Name));
}

void THxDataConsumer::SetContextIntf(IHxDataContext* Value) {
    if (Value == context_.Get()) return;
    if (Value != nullptr) {
        IHxDataContexts* list = Value->Contexts();
        if (provider_ == nullptr || list == nullptr || list->Provider() != provider_)
            throw EHXLDataConsumer(L"The specified context is not part of the same provider");
    }
    Changing(crContextChanged);
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->ContextChanging();
    context_.Reset(Value);
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->ContextChanged();
    DropExtensions(false);
    RebuildExtensions();
    Changed(crContextChanged);
}

IHxDataItems* THxDataConsumer::ContextItems() {
    if (provider_ == nullptr) return nullptr;
    TProviderSelection selection(provider_, this, context_.Get());
    return provider_->GetItems();
}

IHxDataItem* THxDataConsumer::FindItem(const std::string& ID) {
    IHxDataItems* items = ContextItems();
    return items != nullptr ? items->FindByID(ID, true) : nullptr;
}

IHxDataItem* THxDataConsumer::SelectedItem() {
    if (provider_ == nullptr) return nullptr;
    IHxDataConsumerItemSelect* select = Supports<IHxDataConsumerItemSelect>(static_cast<IHxDataConsumer*>(this));
    return select != nullptr ? select->GetItem() : nullptr;
}

void THxDataConsumer::Loaded() {
    if (provider_ == nullptr) return;  // what was read waits for a provider
    if (!pendingContext_.empty()) SetContext(std::exchange(pendingContext_, {}));
    if (needsFixups_) RunFixups();
}

void THxDataConsumer::DataProviderChanging(IHxDataProvider* Provider, THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    if (Provider != provider_) return;
    if (Reason == pcrDestroy) {
        SetProvider(nullptr);
        return;
    }
    if (Reason == pcrContextDelete) {
        // The context goes: so does the selection of it (and of any context inside it).
        for (IHxDataContext* c = context_.Get(); c != nullptr;) {
            if (static_cast<IHxUnknown*>(c) == Source) {
                SetContextIntf(nullptr);
                break;
            }
            IHxDataContexts* list = c->Contexts();
            c = list != nullptr ? list->Ancestor() : nullptr;
        }
        return;
    }
    Changing(crProviderDataChanged);
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->DataProviderChanging(Reason, Source);
}

void THxDataConsumer::DataProviderChanged(IHxDataProvider* Provider, THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    if (Provider != provider_ || Reason == pcrDestroy || Reason == pcrContextDelete) return;
    for (THxDataConsumerAggregatedObject* ext : Extensions()) ext->DataProviderChanged(Reason, Source);
    Changed(crProviderDataChanged);
}

// ---- Consumers that follow this one --------------------------------------------------------------

void THxDataConsumer::AddClient(IHxDataConsumer* Client) {
    if (Client == nullptr || Client == this || std::find(clients_.begin(), clients_.end(), Client) != clients_.end()) return;
    bool allow = true;
    if (OnClientLinking) OnClientLinking(this, Client, true, allow);
    if (!allow) return;
    clients_.push_back(Client);
    if (auto* notify = Supports<IHxDataConsumerClientNotify>(Client)) notify->LinkAdded(this);
}

void THxDataConsumer::RemoveClient(IHxDataConsumer* Client) {
    auto it = std::find(clients_.begin(), clients_.end(), Client);
    if (it == clients_.end()) return;
    bool allow = true;  // a consumer that goes cannot be kept
    if (OnClientLinking) OnClientLinking(this, Client, false, allow);
    // The event may have removed it already.
    it = std::find(clients_.begin(), clients_.end(), Client);
    if (it == clients_.end()) return;
    clients_.erase(it);
    if (auto* notify = Supports<IHxDataConsumerClientNotify>(Client)) notify->LinkRemoved(this);
}

void THxDataConsumer::NotifyClients(int Reason, IHxDataItem* Item) {
    for (IHxDataConsumer* client : std::vector<IHxDataConsumer*>(clients_)) {
        if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) continue;
        bool handled = false;
        if (OnNotifyClient) OnNotifyClient(this, client, Reason, handled);
        auto* notify = Supports<IHxDataConsumerClientNotify>(client);
        if (handled || notify == nullptr) continue;
        if (Reason == crProviderChanged)
            notify->ServerProviderChanged(this);
        else if (Reason == crViewChanged)
            notify->ServerItemSelected(this, Item);
    }
}

void THxDataConsumer::LinkAdded(IHxDataConsumer* Server) {
    if (std::find(servers_.begin(), servers_.end(), Server) == servers_.end()) servers_.push_back(Server);
}

void THxDataConsumer::LinkRemoved(IHxDataConsumer* Server) {
    servers_.erase(std::remove(servers_.begin(), servers_.end(), Server), servers_.end());
}

void THxDataConsumer::ServerProviderChanged(IHxDataConsumer* Server) {
    (void)Server;
    Changed(crViewChanged);
}

void THxDataConsumer::ServerItemSelected(IHxDataConsumer* Server, IHxDataItem* Item) {
    // A follower of the same provider selects the same item when its context shows it.
    if (Server->Provider() != provider_ || provider_ == nullptr) return;
    auto* select = dynamic_cast<THxDataConsumerItemSelect*>(FindImplementation(&THxDataConsumerItemSelect::StaticClass()));
    if (select == nullptr) return;
    if (Item == nullptr)
        select->SetItem("");
    else if (FindItem(Item->ID()) == Item)
        select->SetItemIntf(Item);
}

// ---- Item selection ------------------------------------------------------------------------------

void* THxDataConsumerItemSelect::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataConsumerItemSelect) ? static_cast<IHxDataConsumerItemSelect*>(this) : nullptr;
}

void THxDataConsumerItemSelect::Select(const std::string& ID, IHxDataItem* Item) {
    if (ID == item_) return;
    item_ = ID;
    Consumer()->NotifyClients(crViewChanged, Item);
    Consumer()->ViewChanged(this);
}

void THxDataConsumerItemSelect::SetItem(const std::string& ID) {
    THxDataConsumer* consumer = Consumer();
    if (!consumer->ProviderActive()) {
        if (consumer->OwnerLoading()) {
            pending_ = ID;
            consumer->NeedFixups();
            return;
        }
        throw EHXLDataConsumer(L"You must specify a provider before setting the item");
    }
    if (ID.empty()) {
        Select("", nullptr);
        return;
    }
    IHxDataItem* item = consumer->FindItem(ID);
    if (item == nullptr) throw EHXLDataConsumer(L"Item not found in the selected context");
    Select(item->ID(), item);
}

IHxDataItem* THxDataConsumerItemSelect::GetItem() {
    return item_.empty() ? nullptr : Consumer()->FindItem(item_);
}

void THxDataConsumerItemSelect::SetItemIntf(IHxDataItem* Value) { SetItem(Value != nullptr ? Value->ID() : std::string()); }

void THxDataConsumerItemSelect::ProviderChanged() { item_.clear(); }

void THxDataConsumerItemSelect::ContextChanged() { item_.clear(); }

void THxDataConsumerItemSelect::Fixup() {
    if (pending_.empty()) return;
    SetItem(std::exchange(pending_, {}));
}

void THxDataConsumerItemSelect::DataProviderChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    // The selected item (or one above it) is about to go.
    if (Reason != pcrDelete || item_.empty()) return;
    IHxDataItem* gone = Supports<IHxDataItem>(Source);
    IHxDataItem* selected = GetItem();
    if (gone != nullptr && selected != nullptr && IsWithin(selected, gone)) Select("", nullptr);
}

void THxDataConsumerItemSelect::DataProviderChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    (void)Source;
    // After a clear or a new list the ID may name nothing any more.
    if (Reason == pcrUpdateItems && !item_.empty() && GetItem() == nullptr) Select("", nullptr);
}

// ---- Classes for streaming -------------------------------------------------------------------------

namespace {

TPropInfo TextProp(const wchar_t* Name, std::function<std::string(TPersistent*)> Get,
                   std::function<void(TPersistent*, const std::string&)> Set) {
    TPropInfo p;
    p.Name = Name;
    p.Kind = tkLString;
    p.Getter = [Get](TPersistent* i) -> TPropValue { return Get(i); };
    p.Setter = [Set](TPersistent* i, const TPropValue& v) { Set(i, std::get<std::string>(v)); };
    return p;
}

TPropInfo IntProp(const wchar_t* Name, int Default, std::function<int(TPersistent*)> Get, std::function<void(TPersistent*, int)> Set) {
    TPropInfo p;
    p.Name = Name;
    p.Kind = tkInteger;
    p.Default = Default;
    p.Getter = [Get](TPersistent* i) -> TPropValue { return static_cast<std::int64_t>(Get(i)); };
    p.Setter = [Set](TPersistent* i, const TPropValue& v) { Set(i, static_cast<int>(std::get<std::int64_t>(v))); };
    return p;
}

template <class T>
T* As(TPersistent* Instance) {
    return dynamic_cast<T*>(Instance);
}

std::vector<THxClass> StreamedClasses() {
    return {&THxDataItemsList::StaticClass(),       &THxCustomDataItemsImages::StaticClass(),
            &THxCustomDataItemsTextRenderer::StaticClass(), &THxBaseDataItemsListManagement::StaticClass(),
            &THxBaseDataItem::StaticClass(),        &THxDataItemTextImpl::StaticClass(),
            &THxDataItemImageImpl::StaticClass(),   &THxDataConsumer::StaticClass(),
            &THxDataConsumerItemSelect::StaticClass(), &THxDataContexts::StaticClass(),
            &THxDataContext::StaticClass(),         &THxManagedDataContext::StaticClass(),
            &THxFixedDataContext::StaticClass()};
}

}  // namespace

void RegisterDataProviderClasses() {
    for (THxClass c : StreamedClasses()) RegisterHxClass(c);
    GroupDescendentsWith(&TExtensibleInterfacedPersistent::StaticClass(), L"TControl");
    GroupDescendentsWith(&TAggregatedPersistent::StaticClass(), L"TControl");

    RegisterPublishedProperties(L"THxBaseDataItem", L"TExtensibleInterfacedPersistent",
                                {TextProp(
                                    L"ID", [](TPersistent* i) { return As<THxBaseDataItem>(i)->ID(); },
                                    [](TPersistent* i, const std::string& v) { As<THxBaseDataItem>(i)->SetID(v); })});
    RegisterPublishedProperties(
        L"THxDataItemTextImpl", L"THxBaseDataItemTextImpl",
        {TextProp(
            L"Caption", [](TPersistent* i) { return As<THxDataItemTextImpl>(i)->Caption(); },
            [](TPersistent* i, const std::string& v) { As<THxDataItemTextImpl>(i)->SetCaption(v); })});
    TPropInfo alignment;
    alignment.Name = L"Alignment";
    alignment.Kind = tkEnumeration;
    alignment.Default = 0;
    alignment.EnumNames = {L"taLeftJustify", L"taRightJustify", L"taCenter"};
    alignment.Getter = [](TPersistent* i) -> TPropValue { return static_cast<std::int64_t>(As<THxDataItemImageImpl>(i)->Alignment()); };
    alignment.Setter = [](TPersistent* i, const TPropValue& v) {
        As<THxDataItemImageImpl>(i)->SetAlignment(static_cast<TAlignment>(std::get<std::int64_t>(v)));
    };
    RegisterPublishedProperties(
        L"THxDataItemImageImpl", L"THxBaseDataItemImageImpl",
        {alignment,
         IntProp(
             L"ImageIndex", -1, [](TPersistent* i) { return As<THxDataItemImageImpl>(i)->ImageIndex(); },
             [](TPersistent* i, int v) { As<THxDataItemImageImpl>(i)->SetImageIndex(v); }),
         IntProp(
             L"SelectedIndex", -1, [](TPersistent* i) { return As<THxDataItemImageImpl>(i)->SelectedIndex(); },
             [](TPersistent* i, int v) { As<THxDataItemImageImpl>(i)->SetSelectedIndex(v); })});
    RegisterPublishedProperties(L"THxDataConsumer", L"TExtensibleInterfacedPersistent",
                                {TextProp(
                                    L"Context", [](TPersistent* i) { return As<THxDataConsumer>(i)->Context(); },
                                    [](TPersistent* i, const std::string& v) { As<THxDataConsumer>(i)->SetContext(v); })});
    RegisterPublishedProperties(
        L"THxDataConsumerItemSelect", L"THxDataConsumerAggregatedObject",
        {TextProp(
            L"Item", [](TPersistent* i) { return As<THxDataConsumerItemSelect>(i)->Item(); },
            [](TPersistent* i, const std::string& v) { As<THxDataConsumerItemSelect>(i)->SetItem(v); })});
    RegisterPublishedProperties(
        L"THxDataConsumerViewList", L"THxCustomDataConsumerViewList",
        {IntProp(
            L"LevelIndent", 16, [](TPersistent* i) { return As<THxDataConsumerViewList>(i)->LevelIndent(); },
            [](TPersistent* i, int v) { As<THxDataConsumerViewList>(i)->SetLevelIndent(v); })});
    RegisterPublishedProperties(L"THxManagedDataContext", L"THxDataContext", {});
    RegisterPublishedProperties(L"THxFixedDataContext", L"THxDataContext", {});
    RegisterPublishedProperties(L"THxDataContext", L"THxBaseDataContext",
                                {TextProp(
                                    L"Name", [](TPersistent* i) { return As<THxDataContext>(i)->Name(); },
                                    [](TPersistent* i, const std::string& v) { As<THxDataContext>(i)->SetName(v); })});
}

void UnregisterDataProviderClasses() {
    for (const wchar_t* name : {L"THxBaseDataItem", L"THxDataItemTextImpl", L"THxDataItemImageImpl", L"THxDataConsumer",
                                L"THxDataConsumerItemSelect", L"THxDataConsumerViewList", L"THxManagedDataContext",
                                L"THxFixedDataContext", L"THxDataContext"})
        UnregisterPublishedProperties(name);
    GroupDescendentsWith(&TExtensibleInterfacedPersistent::StaticClass(), L"");
    GroupDescendentsWith(&TAggregatedPersistent::StaticClass(), L"");
    for (THxClass c : StreamedClasses()) UnregisterHxClass(c);
}

}  // namespace hover
