// A data provider's contexts.
#include "widgets/hover/hx_data_contexts.h"

#include <algorithm>

#include "classlib/format.h"

namespace hover {

using namespace classlib;

HX_DEFINE_CLASS(THxBaseDataContext, TExtensibleInterfacedPersistent, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataContext, THxBaseDataContext, (&HxMakeFor<THxDataContext, THxBaseDataContexts>))
HX_DEFINE_CLASS(THxManagedDataContext, THxDataContext, (&HxMakeFor<THxManagedDataContext, THxBaseDataContexts>))
HX_DEFINE_CLASS(THxFixedDataContext, THxDataContext, (&HxMakeFor<THxFixedDataContext, THxBaseDataContexts>))
HX_DEFINE_CLASS(THxBaseDataContexts, TExtensibleInterfacedPersistent, &HxNotMadeByName)
HX_DEFINE_CLASS(THxDataContexts, THxBaseDataContexts, &HxNotMadeByName)

// ---- Contexts ------------------------------------------------------------------------------------

THxBaseDataContext::THxBaseDataContext(THxBaseDataContexts* Owner) : owner_(Owner) {
    if (Owner == nullptr) throw EHXLDataContexts(L"Cannot create a context without a context list owner");
}

THxBaseDataContext::~THxBaseDataContext() {
    if (sub_) sub_->ancestor_ = nullptr;
}

void THxBaseDataContext::InitImplementers() {
    TExtensibleInterfacedPersistent::InitImplementers();
    owner_->Join(this);
}

IHxDataContexts* THxBaseDataContext::Contexts() { return owner_; }

IHxDataContexts* THxBaseDataContext::SubContexts() { return sub_.Get(); }

THxDataContexts* THxBaseDataContext::MakeSubContexts() {
    if (!sub_) sub_.Reset(HxNew<THxDataContexts>(nullptr, static_cast<IHxDataContext*>(this)));
    return sub_.Get();
}

void* THxBaseDataContext::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataContext) ? static_cast<IHxDataContext*>(this) : nullptr;
}

void THxDataContext::SetName(const std::string& Value) {
    if (Value == name_) return;
    if (THxBaseDataContexts* list = OwnerList()) {
        IHxDataContext* other = list->FindByName(Value);
        if (other != nullptr && other != static_cast<IHxDataContext*>(this))
            throw EHXLDataContexts(L"A context with that name already exists");
    }
    name_ = Value;
}

void THxManagedDataContext::InitImplementers() {
    THxDataContext::InitImplementers();
    items_.Reset(HxNew<THxDataItemsList>());
    items_->SetProvider(OwnerList()->Provider());
}

IHxDataItems* THxManagedDataContext::Items() { return items_.Get(); }

void* THxManagedDataContext::QueryOwnRole(const GUID& Role) {
    if (IsEqualGUID(Role, IID_IHxDataContextManaged)) return static_cast<IHxDataContextManaged*>(this);
    return THxDataContext::QueryOwnRole(Role);
}

// ---- Context lists -------------------------------------------------------------------------------

THxBaseDataContexts::~THxBaseDataContexts() {
    while (!contexts_.empty()) Leave(static_cast<int>(contexts_.size()) - 1);
}

IHxDataProvider* THxBaseDataContexts::Provider() {
    if (provider_ != nullptr) return provider_;
    IHxDataContexts* above = ancestor_ != nullptr ? ancestor_->Contexts() : nullptr;
    return above != nullptr ? above->Provider() : nullptr;
}

void* THxBaseDataContexts::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataContexts) ? static_cast<IHxDataContexts*>(this) : nullptr;
}

IHxDataContext* THxBaseDataContexts::Item(int Index) { return Contexts(Index); }

THxBaseDataContext* THxBaseDataContexts::Contexts(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(contexts_.size())) return nullptr;
    return contexts_[static_cast<size_t>(Index)];
}

IHxDataContext* THxBaseDataContexts::FindByName(const std::string& Name) {
    for (THxBaseDataContext* context : contexts_)
        if (HxSameText(context->Name(), Name)) return context;
    return nullptr;
}

void THxBaseDataContexts::Join(THxBaseDataContext* Context) {
    if (FindByName(Context->Name()) != nullptr) throw EHXLDataContexts(L"A context with that name already exists");
    contexts_.push_back(Context);
    Context->AddRef();
}

void THxBaseDataContexts::Leave(int Index) {
    THxBaseDataContext* context = contexts_[static_cast<size_t>(Index)];
    contexts_.erase(contexts_.begin() + Index);
    context->owner_ = nullptr;
    context->Release();
}

void THxBaseDataContexts::Delete(int Index) {
    THxBaseDataContext* context = Contexts(Index);
    if (context == nullptr) throw EHXLDataContexts(Format(L"List index out of bounds (%d)", {Index}));
    if (!context->IsDeletable()) throw EHXLDataContexts(L"Context cannot be deleted");
    // Held while its consumers let go of it.
    THxRef<THxBaseDataContext> keep(context);
    IHxDataProvider* provider = Provider();
    if (provider != nullptr) provider->Changing(pcrContextDelete, static_cast<IHxDataContext*>(context));
    auto at = std::find(contexts_.begin(), contexts_.end(), context);
    if (at != contexts_.end()) Leave(static_cast<int>(at - contexts_.begin()));
    if (provider != nullptr) provider->Changed(pcrContextDelete, static_cast<IHxDataContext*>(context));
}

void THxBaseDataContexts::Remove(IHxDataContext* Context) {
    for (size_t i = 0; i < contexts_.size(); ++i)
        if (static_cast<IHxDataContext*>(contexts_[i]) == Context) {
            Delete(static_cast<int>(i));
            return;
        }
}

void THxBaseDataContexts::Clear() {
    for (int i = Count() - 1; i >= 0; --i)
        if (i < Count() && Contexts(i)->IsDeletable()) Delete(i);
}

}  // namespace hover
