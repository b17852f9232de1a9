// The data-provider link of the Hover controls.
#include "widgets/hover/hx_data_provider.h"

#include <algorithm>

#include "classlib/controls.h"
#include "classlib/conversions.h"
#include "classlib/format.h"

namespace hover {

using namespace classlib;

const GUID IID_IHxDataProvider = {0x62A7A17D, 0x1E21, 0x427E, {0x86, 0x1D, 0xC9, 0x2F, 0xBB, 0x9B, 0x09, 0xA6}};
const GUID IID_IHxDataItems = {0x93747660, 0x24FB, 0x4294, {0xBF, 0x4E, 0xC7, 0xF8, 0x8E, 0xA2, 0x39, 0x83}};
const GUID IID_IHxDataItem = {0xC965CF64, 0xA1F2, 0x44A4, {0xB8, 0x56, 0x3A, 0x4E, 0xC6, 0xB6, 0x93, 0xE1}};
const GUID IID_IHxDataConsumer = {0xB2F18D03, 0xF615, 0x4AA2, {0xA5, 0x1A, 0x74, 0xD3, 0x30, 0xC0, 0x5C, 0x0E}};
const GUID IID_IHxDataContext = {0xF226D92A, 0x3493, 0x4EF8, {0x9C, 0xE6, 0x03, 0x73, 0x57, 0xEB, 0x0C, 0xEA}};
const GUID IID_IHxDataItemText = {0x94FA56D9, 0x281B, 0x4252, {0xB4, 0x6D, 0x15, 0xE7, 0xBA, 0xDA, 0x70, 0xDA}};
const GUID IID_IHxDataItemsRenderer = {0x4EA490F4, 0x7CCF, 0x44A1, {0xAA, 0x26, 0x53, 0x20, 0xCD, 0xE9, 0xFA, 0xFC}};
const GUID IID_IHxDataItemRenderer = {0x9E877A0D, 0x01C2, 0x4204, {0xAA, 0x74, 0x84, 0xD6, 0x51, 0x6B, 0xBE, 0xB9}};
const GUID IID_IHxDataItemBasicAction = {0x86859A20, 0x560D, 0x4E9A, {0xAC, 0x8B, 0x24, 0x57, 0x78, 0x94, 0x51, 0xB0}};
const GUID IID_IHxDataConsumerItemSelect = {0xF11554AE, 0x263D, 0x4C04, {0xBC, 0xDB, 0x79, 0xF0, 0x4D, 0xE8, 0x96, 0x09}};

// ---- Extensible objects ----------------------------------------------------------------------

TExtensibleInterfacedPersistent::TExtensibleInterfacedPersistent() = default;

TExtensibleInterfacedPersistent::~TExtensibleInterfacedPersistent() {
    // Implementation objects go last first.
    while (!impls_.empty()) impls_.pop_back();
}

int TExtensibleInterfacedPersistent::Release() {
    int left = --refCount_;
    if (left == 0) delete this;
    return left;
}

void* TExtensibleInterfacedPersistent::QueryRole(const GUID& Role) {
    if (void* own = QueryOwnRole(Role)) return own;
    for (auto it = impls_.rbegin(); it != impls_.rend(); ++it)
        if (void* r = (*it)->QueryRole(Role)) return r;
    return nullptr;
}

void TExtensibleInterfacedPersistent::AddImplementation(std::unique_ptr<TAggregatedPersistentEx> Impl) {
    for (const auto& existing : impls_)
        if (Impl->SameClassAs(existing.get()) || existing->SameClassAs(Impl.get()))
            throw EHXLException(L"Implementation of that class already exists");
    impls_.push_back(std::move(Impl));
}

void TExtensibleInterfacedPersistent::RemoveImplementation(TAggregatedPersistentEx* Impl) {
    auto it = std::find_if(impls_.begin(), impls_.end(), [&](const auto& p) { return p.get() == Impl; });
    if (it == impls_.end()) return;
    std::unique_ptr<TAggregatedPersistentEx> gone = std::move(*it);
    impls_.erase(it);
}

void TExtensibleInterfacedPersistent::ClearImplementations() {
    while (!impls_.empty()) impls_.pop_back();
}

// ---- Item selection --------------------------------------------------------------------------

void THxDataConsumerItemSelect::SetItem(const std::string& Value) {
    auto* consumer = static_cast<THxDataConsumer*>(Owner());
    if (consumer->Provider() == nullptr)
        throw EHXLDataConsumer(L"You must specify a provider before setting the item");
    if (!Value.empty() && consumer->Provider()->FindItem(consumer->Context(), Value) == nullptr)
        throw EHXLDataConsumer(L"Item not found in the selected context");
    if (item_ == Value) return;
    consumer->Changing(crViewChanged);
    item_ = Value;
    consumer->Changed(crViewChanged);
}

void* THxDataConsumerItemSelect::QueryRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataConsumerItemSelect) ? this : nullptr;
}

// ---- Consumer --------------------------------------------------------------------------------

THxDataConsumer::THxDataConsumer(TComponent* Owner, std::vector<int> Attributes)
    : owner_(Owner), attributes_(std::move(Attributes)) {}

THxDataConsumer::~THxDataConsumer() {
    OnChanging = nullptr;
    OnChanged = nullptr;
    OnBeforeCreateExtension = nullptr;
    OnAfterCreateExtension = nullptr;
    if (provider_ != nullptr) provider_->UnregisterChangeNotification(this);
    provider_ = nullptr;
}

void* THxDataConsumer::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataConsumer) ? this : nullptr;
}

void THxDataConsumer::Changing(int Reason) {
    if (OnChanging) OnChanging(this, Reason);
}

void THxDataConsumer::Changed(int Reason) {
    if (auto* control = dynamic_cast<TControl*>(owner_)) control->Invalidate();
    if (OnChanged) OnChanged(this, Reason);
}

void THxDataConsumer::DropTransientExtensions() {
    for (int i = ImplementationCount() - 1; i >= 0; --i)
        if (!Implementations(i)->KeepAcrossChange()) RemoveImplementation(Implementations(i));
}

void THxDataConsumer::RebuildExtensions() {
    if (provider_ == nullptr) {
        ClearImplementations();
        return;
    }
    // The item selection is what a provider-backed control needs of its consumer.
    bool present = false;
    for (int i = 0; i < ImplementationCount(); ++i)
        if (dynamic_cast<THxDataConsumerItemSelect*>(Implementations(i)) != nullptr) present = true;
    if (present) return;
    bool create = true;
    if (OnBeforeCreateExtension) OnBeforeCreateExtension(this, IID_IHxDataConsumerItemSelect, create);
    if (!create) return;
    auto ext = std::make_unique<THxDataConsumerItemSelect>(this);
    TAggregatedPersistentEx* raw = ext.get();
    AddImplementation(std::move(ext));
    if (OnAfterCreateExtension) OnAfterCreateExtension(this, raw);
}

void THxDataConsumer::SetProvider(IHxDataProvider* Value) {
    if (provider_ == Value) return;
    Changing(crProviderChanged);
    if (provider_ != nullptr) provider_->UnregisterChangeNotification(this);
    provider_ = Value;
    if (provider_ != nullptr) provider_->RegisterChangeNotification(this);
    const bool loading = owner_ != nullptr && owner_->HasState(csLoading);
    if (!loading) {
        context_.clear();
        if (provider_ != nullptr && provider_->HasContexts()) {
            std::vector<std::string> names = provider_->ContextNames();
            if (!names.empty()) context_ = names.front();
        }
    } else if (provider_ != nullptr) {
        context_ = pendingContext_;
    }
    DropTransientExtensions();
    RebuildExtensions();
    Changed(crViewChanged);
    Changed(crProviderChanged);
}

void THxDataConsumer::SetContext(const std::string& Name) {
    if (Name == context_ && provider_ != nullptr) return;
    if (provider_ == nullptr) {
        if (owner_ != nullptr && owner_->HasState(csLoading)) {
            pendingContext_ = Name;
            return;
        }
        throw EHXLDataConsumer(L"You must specify a provider before setting the context");
    }
    if (!Name.empty()) {
        if (!provider_->HasContexts()) throw EHXLDataConsumer(L"Provider does not support contexts");
        std::vector<std::string> names = provider_->ContextNames();
        auto same = [&](const std::string& n) { return SameText(AnsiToWide(n), AnsiToWide(Name)); };
        if (std::none_of(names.begin(), names.end(), same))
            throw EHXLDataConsumer(Format(L"Provider has no context named \"%s\"", {FormatArg(AnsiToWide(Name))}));
    }
    Changing(crContextChanged);
    context_ = Name;
    DropTransientExtensions();
    RebuildExtensions();
    Changed(crContextChanged);
}

IHxDataItem* THxDataConsumer::SelectedItem() {
    if (provider_ == nullptr) return nullptr;
    auto* select = static_cast<THxDataConsumerItemSelect*>(QueryRole(IID_IHxDataConsumerItemSelect));
    if (select == nullptr || select->Item().empty()) return nullptr;
    return provider_->FindItem(context_, select->Item());
}

void THxDataConsumer::Loaded() {
    if (!pendingContext_.empty() && provider_ != nullptr) {
        std::string pending = std::exchange(pendingContext_, std::string());
        SetContext(pending);
    }
}

}  // namespace hover
