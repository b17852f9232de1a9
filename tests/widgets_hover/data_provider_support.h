// A data provider built for the tests on the framework's item lists and contexts: a component
// with a root item tree, a context list (a managed context shows its own tree), the notices it
// heard and passed on, and helpers that fill item trees.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "classlib/objects.h"
#include "widgets/hover/hx_data_consumer.h"
#include "widgets/hover/hx_data_renderers.h"

namespace hovertest {

class TTestProvider : public classlib::TComponent, public hover::IHxDataProvider {
public:
    struct TNotice {
        bool after;
        hover::THxDataProviderChangeReason reason;
        hover::IHxUnknown* source;
    };

    explicit TTestProvider(bool WithContexts = true) : classlib::TComponent(nullptr) {
        root_.Reset(hover::HxNew<hover::THxDataItemsList>());
        root_->SetProvider(this);
        if (WithContexts) contexts_.Reset(hover::HxNew<hover::THxDataContexts>(this));
    }
    ~TTestProvider() override {
        // The consumers let go of a provider that goes.
        for (hover::IHxDataProviderNotify* n : std::vector<hover::IHxDataProviderNotify*>(notifies_))
            n->DataProviderChanging(this, hover::pcrDestroy, nullptr);
    }

    void* QueryRole(const GUID& Role) override {
        if (IsEqualGUID(Role, hover::IID_IHxDataProvider)) return static_cast<hover::IHxDataProvider*>(this);
        if (IsEqualGUID(Role, hover::IID_IHxDataContexts) && contexts_)
            return static_cast<hover::IHxDataContexts*>(contexts_.Get());
        return nullptr;
    }
    // A component lives by its owner, not by references.
    int AddRef() override { return -1; }
    int Release() override { return -1; }

    hover::IHxDataItems* GetItems() override {
        if (auto* managed = hover::Supports<hover::IHxDataContextManaged>(SelectedContext())) return managed->Items();
        return root_.Get();
    }
    void RegisterChangeNotify(hover::IHxDataProviderNotify* Notify) override { notifies_.push_back(Notify); }
    void UnregisterChangeNotify(hover::IHxDataProviderNotify* Notify) override {
        notifies_.erase(std::remove(notifies_.begin(), notifies_.end(), Notify), notifies_.end());
    }
    void Changing(hover::THxDataProviderChangeReason Reason, hover::IHxUnknown* Source) override {
        notices.push_back(TNotice{false, Reason, Source});
        if (muted) return;
        for (hover::IHxDataProviderNotify* n : std::vector<hover::IHxDataProviderNotify*>(notifies_))
            n->DataProviderChanging(this, Reason, Source);
    }
    void Changed(hover::THxDataProviderChangeReason Reason, hover::IHxUnknown* Source) override {
        notices.push_back(TNotice{true, Reason, Source});
        if (muted) return;
        for (hover::IHxDataProviderNotify* n : std::vector<hover::IHxDataProviderNotify*>(notifies_))
            n->DataProviderChanged(this, Reason, Source);
    }
    void SelectConsumer(hover::IHxDataConsumer* Consumer) override { consumers_.push_back(Consumer); }
    hover::IHxDataConsumer* SelectedConsumer() override { return consumers_.empty() ? nullptr : consumers_.back(); }
    void ReleaseConsumer() override { consumers_.pop_back(); }
    void SelectContext(hover::IHxDataContext* Context) override { selected_.push_back(Context); }
    hover::IHxDataContext* SelectedContext() override { return selected_.empty() ? nullptr : selected_.back(); }
    void ReleaseContext() override { selected_.pop_back(); }
    std::vector<hover::THxClass> ConsumerClasses() override {
        askedFor.push_back(SelectedContext());
        return classes;
    }

    hover::THxDataItemsList* Root() const { return root_.Get(); }
    hover::THxDataContexts* Contexts() const { return contexts_.Get(); }
    int Listeners() const { return static_cast<int>(notifies_.size()); }
    // Nothing selected between calls: every Select had its Release.
    bool SelectionBalanced() const { return consumers_.empty() && selected_.empty(); }

    std::vector<hover::THxClass> classes{&hover::THxDataConsumerItemSelect::StaticClass()};
    std::vector<hover::IHxDataContext*> askedFor;  // the context selected at each ConsumerClasses
    std::vector<TNotice> notices;
    bool muted = false;  // hears changes without passing them on

private:
    hover::THxRef<hover::THxDataItemsList> root_;
    hover::THxRef<hover::THxDataContexts> contexts_;
    std::vector<hover::IHxDataProviderNotify*> notifies_;
    std::vector<hover::IHxDataConsumer*> consumers_;
    std::vector<hover::IHxDataContext*> selected_;
};

// A new item at the end of List with a caption (and the given ID unless empty).
inline hover::THxBaseDataItem* AddItem(hover::IHxDataItems* List, const std::string& Caption, const std::string& ID = "") {
    auto* management = hover::Supports<hover::IHxDataItemsManagement>(List);
    auto* item = dynamic_cast<hover::THxBaseDataItem*>(management->New());
    if (!ID.empty()) item->SetID(ID);
    hover::HxNew<hover::THxDataItemTextImpl>(item)->SetCaption(Caption);
    return item;
}

inline std::string CaptionOf(hover::IHxDataItem* Item) {
    auto* text = hover::Supports<hover::IHxDataItemText>(Item);
    return text != nullptr ? text->Caption() : "<none>";
}

// A consumer held the way a control holds its own.
inline hover::THxDataConsumer* NewConsumer(hover::THxRef<hover::THxDataConsumer>& Holder, classlib::TComponent* Owner,
                                           std::vector<int> Attributes = {2}) {
    Holder.Reset(hover::HxNew<hover::THxDataConsumer>(Owner, std::move(Attributes)));
    return Holder.Get();
}

inline hover::THxDataConsumerItemSelect* ItemSelectOf(hover::THxDataConsumer* Consumer) {
    return dynamic_cast<hover::THxDataConsumerItemSelect*>(
        Consumer->FindImplementation(&hover::THxDataConsumerItemSelect::StaticClass()));
}

}  // namespace hovertest
