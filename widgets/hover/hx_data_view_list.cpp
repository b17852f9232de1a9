// The consumer's flattened view of its context's item tree.
#include <algorithm>

#include "classlib/format.h"
#include "widgets/hover/hx_data_consumer.h"

namespace hover {

using namespace classlib;

namespace {
IHxDataItems* SubItemsOf(IHxDataItem* Item) { return Supports<IHxDataItems>(Item); }
}  // namespace

void* THxCustomDataConsumerViewList::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataConsumerViewList) ? static_cast<IHxDataConsumerViewList*>(this) : nullptr;
}

void THxCustomDataConsumerViewList::OutOfSync() const { throw EHXLDataConsumer(L"ViewList out of sync"); }

const THxCustomDataConsumerViewList::TViewEntry& THxCustomDataConsumerViewList::Entry(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(view_.size()))
        throw EHXLDataConsumer(Format(L"List index out of bounds (%d)", {Index}));
    return view_[static_cast<size_t>(Index)];
}

void THxCustomDataConsumerViewList::SetLevelIndent(int Value) {
    if (levelIndent_ == Value) return;
    levelIndent_ = Value;
    Consumer()->ViewChanged(this);
}

int THxCustomDataConsumerViewList::IndexOfItem(IHxDataItem* Item) {
    for (size_t i = 0; i < view_.size(); ++i)
        if (view_[i].item == Item) return static_cast<int>(i);
    return -1;
}

int THxCustomDataConsumerViewList::IndexOfID(const std::string& ID) {
    for (size_t i = 0; i < view_.size(); ++i)
        if (HxSameText(view_[i].item->ID(), ID)) return static_cast<int>(i);
    return -1;
}

int THxCustomDataConsumerViewList::SubtreeEnd(int Index) const {
    const std::uint32_t level = view_[static_cast<size_t>(Index)].word & vlLevelMask;
    size_t end = static_cast<size_t>(Index) + 1;
    while (end < view_.size() && (view_[end].word & vlLevelMask) > level) ++end;
    return static_cast<int>(end);
}

void THxCustomDataConsumerViewList::AddLevel(IHxDataItems* Items, int Level, int At, const std::vector<std::string>& Expanded) {
    if (Items == nullptr) return;
    for (int i = 0; i < Items->Count(); ++i) {
        IHxDataItem* item = Items->Item(i);
        TViewEntry entry{item, static_cast<std::uint32_t>(Level) & vlLevelMask};
        IHxDataItems* sub = SubItemsOf(item);
        const bool open = sub != nullptr && sub->Count() > 0 &&
                          std::find(Expanded.begin(), Expanded.end(), item->ID()) != Expanded.end();
        if (open) entry.word |= vlExpanded;
        view_.insert(view_.begin() + At, entry);
        ++At;
        if (open) {
            AddLevel(sub, Level + 1, At, Expanded);
            At = SubtreeEnd(At - 1);
        }
    }
}

void THxCustomDataConsumerViewList::RefreshFlags() {
    // From the end: an entry is the last of its level when no sibling came after it.
    std::vector<bool> later;
    for (size_t i = view_.size(); i-- > 0;) {
        TViewEntry& e = view_[i];
        const size_t level = e.word & vlLevelMask;
        if (later.size() <= level) later.resize(level + 1, false);
        e.word &= ~(vlHasChildren | vlLastInLevel);
        IHxDataItems* sub = SubItemsOf(e.item);
        if (sub != nullptr && sub->Count() > 0) e.word |= vlHasChildren;
        if (!later[level]) e.word |= vlLastInLevel;
        later[level] = true;
        later.resize(level + 1);
    }
}

void THxCustomDataConsumerViewList::RebuildView() {
    std::vector<std::string> expanded;
    for (const TViewEntry& e : view_)
        if ((e.word & vlExpanded) != 0) expanded.push_back(e.item->ID());
    view_.clear();
    AddLevel(Consumer()->ContextItems(), 0, 0, expanded);
    RefreshFlags();
}

void THxCustomDataConsumerViewList::CheckChildren(int Index, IHxDataItems* Items) const {
    const int end = Index < 0 ? static_cast<int>(view_.size()) : SubtreeEnd(Index);
    const std::uint32_t level = Index < 0 ? 0 : (view_[static_cast<size_t>(Index)].word & vlLevelMask) + 1;
    int k = 0;
    const int count = Items != nullptr ? Items->Count() : 0;
    for (int j = Index + 1; j < end; ++j) {
        if ((view_[static_cast<size_t>(j)].word & vlLevelMask) != level) continue;
        if (k >= count || Items->Item(k) != view_[static_cast<size_t>(j)].item) OutOfSync();
        ++k;
    }
    if (k != count) OutOfSync();
}

void THxCustomDataConsumerViewList::ExpandItem(int Index) {
    const TViewEntry& e = Entry(Index);
    if ((e.word & vlExpanded) != 0) return;
    IHxDataItems* sub = SubItemsOf(e.item);
    if (sub == nullptr || sub->Count() == 0) return;
    // A collapsed entry shows nothing below it.
    if (SubtreeEnd(Index) != Index + 1) OutOfSync();
    view_[static_cast<size_t>(Index)].word |= vlExpanded;
    AddLevel(sub, static_cast<int>(e.word & vlLevelMask) + 1, Index + 1, {});
    RefreshFlags();
    Consumer()->ViewChanged(this);
}

void THxCustomDataConsumerViewList::CollapseItem(int Index) {
    const TViewEntry& e = Entry(Index);
    if ((e.word & vlExpanded) == 0) return;
    CheckChildren(Index, SubItemsOf(e.item));
    view_.erase(view_.begin() + Index + 1, view_.begin() + SubtreeEnd(Index));
    view_[static_cast<size_t>(Index)].word &= ~vlExpanded;
    RefreshFlags();
    Consumer()->ViewChanged(this);
}

void THxCustomDataConsumerViewList::ToggleItem(int Index) {
    if (ItemIsExpanded(Index))
        CollapseItem(Index);
    else
        ExpandItem(Index);
}

void THxCustomDataConsumerViewList::DataProviderChanging(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    if (Reason == pcrUpdateItems) {
        // The list is cleared or replaced: its items may be gone before the notice after it, so
        // the view keeps only the IDs of what was open.
        pendingExpanded_.clear();
        for (const TViewEntry& e : view_)
            if ((e.word & vlExpanded) != 0) pendingExpanded_.push_back(e.item->ID());
        view_.clear();
        return;
    }
    if (Reason != pcrDelete) return;
    IHxDataItem* item = Supports<IHxDataItem>(Source);
    if (item == nullptr) return;
    const int index = IndexOfItem(item);
    if (index >= 0) {
        view_.erase(view_.begin() + index, view_.begin() + SubtreeEnd(index));
        return;
    }
    // Not in the view: right only when its list is not shown.
    IHxDataItems* list = item->Items();
    IHxDataItem* parent = list != nullptr ? list->Parent() : nullptr;
    const int parentIndex = parent != nullptr ? IndexOfItem(parent) : -1;
    const bool shown = parent == nullptr ? list == Consumer()->ContextItems() : parentIndex >= 0 && ItemIsExpanded(parentIndex);
    if (shown) OutOfSync();
}

void THxCustomDataConsumerViewList::DataProviderChanged(THxDataProviderChangeReason Reason, IHxUnknown* Source) {
    if (Reason == pcrUpdateItems) {
        std::vector<std::string> expanded = std::move(pendingExpanded_);
        pendingExpanded_.clear();
        view_.clear();
        AddLevel(Consumer()->ContextItems(), 0, 0, expanded);
        RefreshFlags();
        return;
    }
    if (Reason == pcrAdd) {
        IHxDataItem* item = Supports<IHxDataItem>(Source);
        IHxDataItems* list = item != nullptr ? item->Items() : nullptr;
        if (list == nullptr) return;
        IHxDataItem* parent = list->Parent();
        int start = 0, end = static_cast<int>(view_.size());
        std::uint32_t level = 0;
        if (parent == nullptr) {
            if (list != Consumer()->ContextItems()) return;
        } else {
            const int parentIndex = IndexOfItem(parent);
            if (parentIndex < 0 || !ItemIsExpanded(parentIndex)) {
                RefreshFlags();  // the parent may have children now
                return;
            }
            start = parentIndex + 1;
            end = SubtreeEnd(parentIndex);
            level = (view_[static_cast<size_t>(parentIndex)].word & vlLevelMask) + 1;
        }
        // The siblings before the new item must stand in the view in their order.
        int pos = start;
        const int at = list->IndexOf(item);
        for (int s = 0; s < at; ++s) {
            if (pos >= end || view_[static_cast<size_t>(pos)].item != list->Item(s)) OutOfSync();
            pos = SubtreeEnd(pos);
        }
        view_.insert(view_.begin() + pos, TViewEntry{item, level});
    }
    RefreshFlags();
}

}  // namespace hover
