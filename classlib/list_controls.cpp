// The list action and the list controls' action link.
#include "classlib/list_controls.h"

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

void RaiseListIndexError(int Index) { throw EListError(Format(L"List index out of bounds (%d)", {Index})); }

void TCustomListControl::TellListAction(int Index) {
    TControlActionLink* link = ActionLink();
    if (auto* action = link != nullptr ? dynamic_cast<TCustomListAction*>(link->Action()) : nullptr)
        action->ItemSelected(Index);
}

// ---- TCustomListAction ----------------------------------------------------------------------

template <typename F>
void TCustomListAction::ForEachListLink(F f) {
    for (int i = 0; i < ClientCount(); ++i)
        if (auto* link = dynamic_cast<TListActionLink*>(Clients(i))) f(link);
}

const TListActionItem& TCustomListAction::Items(int Index) const {
    if (Index < 0 || Index >= ItemCount()) RaiseListIndexError(Index);
    return items_[static_cast<size_t>(Index)];
}

void TCustomListAction::AddItem(const std::string& Caption, int ImageIndex, void* Data) {
    items_.push_back({Caption, ImageIndex, Data});
    ForEachListLink([&](TListActionLink* l) { l->AddItem(Caption, ImageIndex, Data); });
}

void TCustomListAction::ClearItems() {
    items_.clear();
    itemIndex_ = -1;
    ForEachListLink([](TListActionLink* l) { l->Refill(); });
}

void TCustomListAction::SetItemIndex(int Value) {
    if (Value < -1 || Value >= ItemCount()) Value = -1;
    if (itemIndex_ == Value) return;
    itemIndex_ = Value;
    ForEachListLink([Value](TListActionLink* l) { l->SetItemIndex(Value); });
}

void TCustomListAction::SetImages(TCustomImageList* Value) {
    if (images_ == Value) return;
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (images_ != nullptr) images_->FreeNotification(this);
    ForEachListLink([Value](TListActionLink* l) { l->SetImages(Value); });
}

void TCustomListAction::ItemSelected(int Index) {
    SetItemIndex(Index);
    if (OnItemSelected) OnItemSelected(this, itemIndex_);
}

void TCustomListAction::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomAction::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == images_) SetImages(nullptr);
}

// ---- TListActionLink ------------------------------------------------------------------------

const TControlActionLinkClassRef& TListActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(L"TListActionLink", &TWinControlActionLink::ClassRef(),
                                                [](TControl* c) -> TControlActionLink* { return new TListActionLink(c); });
    return ref;
}

void TListActionLink::SetAction(TBasicAction* Value) {
    TWinControlActionLink::SetAction(Value);
    if (dynamic_cast<TCustomListAction*>(Value) != nullptr) Refill();
}

void TListActionLink::Refill() {
    auto* action = dynamic_cast<TCustomListAction*>(Action());
    TCustomListControl* client = ListClient();
    if (action == nullptr || client == nullptr) return;
    client->Clear();
    SetImages(action->Images());
    for (int i = 0; i < action->ItemCount(); ++i) {
        const TListActionItem& item = action->Items(i);
        AddItem(item.Caption, item.ImageIndex, item.Data);
    }
    SetItemIndex(action->ItemIndex());
}

void TListActionLink::AddItem(const std::string& Caption, int, void* Data) {
    if (TCustomListControl* client = ListClient()) client->AddItem(Caption, static_cast<TObject*>(Data));
}

void TListActionLink::SetItemIndex(int Value) {
    if (TCustomListControl* client = ListClient()) client->SetItemIndex(Value);
}

}  // namespace classlib
