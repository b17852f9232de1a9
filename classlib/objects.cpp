#include "classlib/objects.h"

#include <algorithm>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

void TPersistent::Assign(TPersistent* Source) {
    if (Source != nullptr)
        Source->AssignTo(this);
    else
        AssignError(nullptr);
}

void TPersistent::DefineProperties(TFiler*) {}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
    std::wstring sourceName = Source != nullptr ? Source->ClassName() : L"nil";
    throw EConvertError(Format(L"Cannot assign a %s to a %s", {sourceName, ClassName()}));
}

// --- TList -----------------------------------------------------------------

void TList::CheckIndex(int Index, int limit) const {
    if (Index < 0 || Index >= limit) throw EListError(Format(L"List index out of bounds (%d)", {Index}));
}

void* TList::Items(int Index) const {
    CheckIndex(Index, Count());
    return items_[static_cast<size_t>(Index)];
}

void TList::SetItems(int Index, void* Item) {
    CheckIndex(Index, Count());
    items_[static_cast<size_t>(Index)] = Item;
}

int TList::Add(void* Item) {
    items_.push_back(Item);
    return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
    CheckIndex(Index, Count() + 1);
    items_.insert(items_.begin() + Index, Item);
}

void TList::Delete(int Index) {
    CheckIndex(Index, Count());
    items_.erase(items_.begin() + Index);
}

int TList::Remove(void* Item) {
    int i = IndexOf(Item);
    if (i >= 0) Delete(i);
    return i;
}

int TList::IndexOf(void* Item) const {
    auto it = std::find(items_.begin(), items_.end(), Item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1, Count());
    CheckIndex(Index2, Count());
    std::swap(items_[static_cast<size_t>(Index1)], items_[static_cast<size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    CheckIndex(NewIndex, Count());
    void* item = Items(CurIndex);
    items_.erase(items_.begin() + CurIndex);
    items_.insert(items_.begin() + NewIndex, item);
}

void TList::SetCapacity(int NewCapacity) {
    if (NewCapacity < Count()) throw EListError(Format(L"List capacity out of bounds (%d)", {NewCapacity}));
    items_.reserve(static_cast<size_t>(NewCapacity));
}

// --- TComponent ------------------------------------------------------------

bool IsValidIdent(const std::wstring& text) {
    if (text.empty()) return false;
    auto alpha = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_'; };
    if (!alpha(text[0])) return false;
    return std::all_of(text.begin() + 1, text.end(), [&](wchar_t c) { return alpha(c) || (c >= L'0' && c <= L'9'); });
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Tell everyone who asked; each answer may remove entries from the list, so take one at a time.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& back = other->freeNotifies_;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
        other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
    if (Index < 0 || Index >= ComponentCount())
        throw EListError(Format(L"List index out of bounds (%d)", {Index}));
    return components_[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
    if (owner_ == nullptr) return -1;
    auto& v = owner_->components_;
    auto it = std::find(v.begin(), v.end(), this);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

TComponent* TComponent::FindComponent(const std::wstring& AName) const {
    if (AName.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, AName)) return c;
    return nullptr;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::wstring& CurName, const std::wstring& NewName) {
    if (AComponent != nullptr && !SameText(CurName, NewName) && FindComponent(NewName) != nullptr)
        throw EComponentError(Format(L"A component named %s already exists", {NewName}));
}

void TComponent::SetName(const std::wstring& NewName) {
    if (name_ == NewName) return;
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError(Format(L"''%s'' is not a valid component name", {NewName}));
    if (owner_ != nullptr)
        owner_->ValidateRename(this, name_, NewName);
    else
        ValidateRename(nullptr, name_, NewName);
    name_ = NewName;
}

void TComponent::SetDesigning(bool Value) {
    if (Value)
        state_ |= csDesigning;
    else
        state_ &= ~static_cast<std::uint32_t>(csDesigning);
    for (TComponent* c : components_) c->SetDesigning(Value);
}

void TComponent::Insert(TComponent* AComponent) {
    components_.push_back(AComponent);
    AComponent->owner_ = this;
}

void TComponent::Remove(TComponent* AComponent) {
    AComponent->owner_ = nullptr;
    components_.erase(std::remove(components_.begin(), components_.end(), AComponent), components_.end());
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (AComponent->owner_ != nullptr) AComponent->owner_->RemoveComponent(AComponent);
    ValidateRename(AComponent, L"", AComponent->name_);
    Insert(AComponent);
    Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    Notification(AComponent, TOperation::opRemove);
    Remove(AComponent);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* last = components_.back();
        // A component that asked for (or was asked for) notification is removed with notice, so
        // that siblings holding a reference to it hear of its end.
        if (last->HasState(csFreeNotification))
            RemoveComponent(last);
        else
            Remove(last);
        delete last;
    }
}

void TComponent::Destroying() {
    if (HasState(csDestroying)) return;
    state_ |= csDestroying;
    for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this) return;
    // Siblings are told by their owner; the flag makes the owner tell them also at its own end.
    if (owner_ == nullptr || AComponent->owner_ != owner_) {
        if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end()) {
            freeNotifies_.push_back(AComponent);
            AComponent->FreeNotification(this);
        }
    } else {
        AComponent->state_ |= csFreeNotification;
    }
    state_ |= csFreeNotification;
}

void TComponent::RemoveNotification(TComponent* AComponent) {
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), AComponent), freeNotifies_.end());
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    RemoveNotification(AComponent);
    AComponent->RemoveNotification(this);
}

void TComponent::Loaded() { state_ &= ~static_cast<std::uint32_t>(csLoading); }

namespace {
void SetFlag(std::uint32_t& state, std::uint32_t flag, bool on) {
    if (on)
        state |= flag;
    else
        state &= ~flag;
}
}  // namespace

void TComponent::SetLoadingState(bool loading) { SetFlag(state_, csLoading, loading); }
void TComponent::SetReadingState(bool reading) { SetFlag(state_, csReading, reading); }
void TComponent::SetWritingState(bool writing) { SetFlag(state_, csWriting, writing); }
void TComponent::SetAncestorState(bool ancestor) { SetFlag(state_, csAncestor, ancestor); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
    // Owned components hear about their siblings' coming and going.
    auto copy = components_;
    for (TComponent* c : copy)
        if (c != AComponent) c->Notification(AComponent, Operation);
}

}  // namespace classlib
