// The data consumer: counted ownership, provider and context rules, extensions told of every
// change in order and chosen by the provider, the selection, the view list, the consumers that
// follow a consumer, and what was read while loading waiting for the provider.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/filer.h"
#include "classlib/streams.h"
#include "data_provider_support.h"
#include "exception_text.h"

using namespace classlib;
using namespace hover;
using hovertest::AddItem;
using hovertest::ItemSelectOf;
using hovertest::NewConsumer;
using hovertest::TTestProvider;
using quill_test::MessageOf;

namespace {

std::vector<std::string>* gLog = nullptr;

void Log(const std::string& Entry) {
    if (gLog != nullptr) gLog->push_back(Entry);
}

// An extension that writes down what it is told.
class TLogExtension : public THxDataConsumerAggregatedObject {
public:
    HX_CLASS(TLogExtension)
    explicit TLogExtension(THxDataConsumer* Owner) : THxDataConsumerAggregatedObject(Owner) { Log("made"); }
    ~TLogExtension() override { Log("gone"); }
    void ProviderChanging() override { Log("provider changing"); }
    void ProviderChanged() override { Log("provider changed"); }
    void ContextChanging() override { Log("context changing"); }
    void ContextChanged() override { Log("context changed"); }
    void ViewChanged(THxDataConsumerAggregatedObject*) override { Log("view changed"); }
    void DataProviderChanged(THxDataProviderChangeReason Reason, IHxUnknown*) override {
        Log("data changed " + std::to_string(Reason));
    }
};
HX_DEFINE_CLASS(TLogExtension, THxDataConsumerAggregatedObject, (&HxMakeFor<TLogExtension, THxDataConsumer>))

class DataConsumer : public ::testing::Test {
protected:
    void SetUp() override { gLog = &log; }
    void TearDown() override { gLog = nullptr; }
    void Watch(THxDataConsumer* Consumer) {
        Consumer->OnChanging = [](TObject*, int r) { Log("changing " + std::to_string(r)); };
        Consumer->OnChanged = [](TObject*, int r) { Log("changed " + std::to_string(r)); };
        Consumer->OnBeforeCreateExtension = [](TObject*, THxClass c, bool&) { Log("before " + WideToAnsi(c->ClassName())); };
        Consumer->OnAfterCreateExtension = [](TObject*, TAggregatedPersistentEx* e) { Log("after " + WideToAnsi(e->ClassName())); };
    }
    std::vector<std::string> log;
};

TEST_F(DataConsumer, APassingReferenceNeverFreesTheOwnersConsumer) {
    THxRef<THxDataConsumer> owner;
    THxDataConsumer* consumer = NewConsumer(owner, nullptr);
    EXPECT_EQ(consumer->RefCount(), 1);
    consumer->AddRef();
    consumer->Release();
    EXPECT_EQ(consumer->RefCount(), 1);  // still the owner's
    // Freeing it while another reference is out is refused instead of leaving that one dangling.
    consumer->AddRef();
    EXPECT_EQ(MessageOf<EInvalidPointer>([&] { consumer->Free(); }), L"Invalid pointer operation");
    consumer->Release();
    EXPECT_EQ(consumer->RefCount(), 1);
}

TEST_F(DataConsumer, ProviderAndContextFollowTheRules) {
    THxRef<THxDataConsumer> holder;
    THxDataConsumer* consumer = NewConsumer(holder, nullptr);
    EXPECT_EQ(consumer->ImplementationCount(), 0);
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContext("Main"); }),
              L"You must specify a provider before setting the context");
    consumer->SetContext("");  // the current (no) context: nothing to do
    // A selection part made before any provider has nothing to select from.
    auto* early = HxNew<THxDataConsumerItemSelect>(static_cast<THxDataConsumer*>(consumer));
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { early->SetItem("First"); }),
              L"You must specify a provider before setting the item");
    delete early;
    EXPECT_EQ(consumer->ImplementationCount(), 0);

    TTestProvider provider;
    HxNew<THxDataContext>(provider.Contexts(), std::string("Main"));
    HxNew<THxDataContext>(provider.Contexts(), std::string("Other"));
    AddItem(provider.Root(), "First", "First");
    Watch(consumer);
    consumer->SetProvider(&provider);
    EXPECT_EQ(provider.Listeners(), 1);
    EXPECT_EQ(consumer->Context(), "Main");
    EXPECT_EQ(log.front(), "changing 0");
    EXPECT_EQ(log.back(), "changed 0");
    ASSERT_NE(ItemSelectOf(consumer), nullptr);
    log.clear();
    consumer->SetProvider(&provider);
    EXPECT_TRUE(log.empty());

    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContext("Nowhere"); }), L"Provider has no context named \"Nowhere\"");
    consumer->SetContext("other");
    EXPECT_EQ(consumer->Context(), "Other");
    consumer->SetContext("");
    EXPECT_EQ(consumer->ContextIntf(), nullptr);

    THxDataConsumerItemSelect* select = ItemSelectOf(consumer);
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { select->SetItem("Missing"); }), L"Item not found in the selected context");
    select->SetItem("first");
    EXPECT_EQ(hovertest::CaptionOf(consumer->SelectedItem()), "First");

    TTestProvider plain(false);
    consumer->SetProvider(&plain);
    EXPECT_EQ(consumer->ContextIntf(), nullptr);
    EXPECT_EQ(consumer->SelectedItem(), nullptr);  // a new provider starts without a selection
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContext("Main"); }), L"Provider does not support contexts");
    consumer->SetProvider(nullptr);
    EXPECT_EQ(plain.Listeners(), 0);
    EXPECT_EQ(consumer->ImplementationCount(), 0);
    EXPECT_TRUE(provider.SelectionBalanced());
}

TEST_F(DataConsumer, ExtensionsHearOfEveryChangeInTheirOrder) {
    TTestProvider first, second;
    for (TTestProvider* p : {&first, &second}) {
        p->classes.push_back(&TLogExtension::StaticClass());
        HxNew<THxDataContext>(p->Contexts(), std::string("Main"));
        HxNew<THxDataContext>(p->Contexts(), std::string("Other"));
    }
    THxRef<THxDataConsumer> holder;
    THxDataConsumer* consumer = NewConsumer(holder, nullptr);
    consumer->SetProvider(&first);
    Watch(consumer);
    log.clear();
    consumer->SetProvider(&second);
    EXPECT_EQ(log, (std::vector<std::string>{"changing 0", "provider changing", "provider changed", "gone",
                                             "before TLogExtension", "made", "after TLogExtension", "view changed",
                                             "changed 2", "changed 0"}));
    log.clear();
    consumer->SetContext("Other");
    EXPECT_EQ(log, (std::vector<std::string>{"changing 3", "context changing", "context changed", "gone",
                                             "before TLogExtension", "made", "after TLogExtension", "changed 3"}));
    log.clear();
    AddItem(second.Root(), "new");
    // The provider's notices reach the extensions and make the consumer change.
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "changing 1");
    EXPECT_EQ(log[1], "data changed 0");
    EXPECT_EQ(log[2], "changed 1");
    log.clear();
    holder.Reset();
    // The consumer's events went first: only its extensions hear it drop the provider.
    EXPECT_EQ(log, (std::vector<std::string>{"provider changing", "provider changed", "gone"}));
    EXPECT_EQ(second.Listeners(), 0);
}

TEST_F(DataConsumer, TheProviderChoosesTheExtensionsAndTheConsumerMayRefuseThem) {
    TTestProvider provider;
    auto* main = HxNew<THxDataContext>(provider.Contexts(), std::string("Main"));
    provider.classes.push_back(&TLogExtension::StaticClass());
    THxRef<THxDataConsumer> holder;
    THxDataConsumer* consumer = NewConsumer(holder, nullptr);
    consumer->OnBeforeCreateExtension = [](TObject*, THxClass c, bool& create) {
        if (c == &TLogExtension::StaticClass()) create = false;
    };
    consumer->SetProvider(&provider);
    EXPECT_EQ(consumer->FindImplementation(&TLogExtension::StaticClass()), nullptr);
    EXPECT_NE(ItemSelectOf(consumer), nullptr);
    ASSERT_FALSE(provider.askedFor.empty());
    EXPECT_EQ(provider.askedFor.back(), static_cast<IHxDataContext*>(main));  // asked with the consumer's context
    EXPECT_TRUE(provider.SelectionBalanced());
    // A view list comes with the attribute that asks for it.
    THxRef<THxDataConsumer> viewHolder;
    THxDataConsumer* viewer = NewConsumer(viewHolder, nullptr, {2, caViewList});
    viewer->SetProvider(&provider);
    EXPECT_NE(Supports<IHxDataConsumerViewList>(static_cast<IHxDataConsumer*>(viewer)), nullptr);
    EXPECT_EQ(Supports<IHxDataConsumerViewList>(static_cast<IHxDataConsumer*>(consumer)), nullptr);
}

TEST_F(DataConsumer, AContextIsSetByObjectOnlyFromTheSameProvider) {
    TTestProvider provider, stranger;
    auto* main = HxNew<THxDataContext>(provider.Contexts(), std::string("Main"));
    auto* sub = HxNew<THxDataContext>(main->MakeSubContexts(), std::string("Sub"));
    auto* foreign = HxNew<THxDataContext>(stranger.Contexts(), std::string("Main"));
    THxRef<THxDataConsumer> holder;
    THxDataConsumer* consumer = NewConsumer(holder, nullptr);
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContextIntf(main); }),
              L"The specified context is not part of the same provider");
    consumer->SetProvider(&provider);
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContextIntf(foreign); }),
              L"The specified context is not part of the same provider");
    EXPECT_EQ(consumer->ContextIntf(), static_cast<IHxDataContext*>(main));
    consumer->SetContextIntf(sub);
    EXPECT_EQ(consumer->Context(), "Sub");
    // The context (or the one it stands in) leaves its list: the consumer lets go of it.
    provider.Contexts()->Remove(main);
    EXPECT_EQ(consumer->ContextIntf(), nullptr);
}

TEST_F(DataConsumer, TheSelectionFollowsDeletionsAndTheProvidersEnd) {
    auto provider = std::make_unique<TTestProvider>();
    THxBaseDataItem* a = AddItem(provider->Root(), "A", "A");
    AddItem(a->MakeSubItems(), "B", "B");
    THxRef<THxDataConsumer> holder;
    THxDataConsumer* consumer = NewConsumer(holder, nullptr);
    consumer->SetProvider(provider.get());
    ItemSelectOf(consumer)->SetItem("B");
    ASSERT_EQ(consumer->SelectedItem()->ID(), "B");
    Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(provider->Root()))->Remove(a);
    EXPECT_EQ(consumer->SelectedItem(), nullptr);
    EXPECT_EQ(ItemSelectOf(consumer)->Item(), "");
    provider.reset();
    EXPECT_FALSE(consumer->ProviderActive());
    EXPECT_EQ(consumer->ImplementationCount(), 0);
}

TEST_F(DataConsumer, TheViewListShowsTheVisibleTreeAndFollowsTheProvider) {
    TTestProvider provider;
    THxBaseDataItem* a = AddItem(provider.Root(), "A", "A");
    THxBaseDataItem* d = AddItem(provider.Root(), "D", "D");
    THxBaseDataItem* b = AddItem(a->MakeSubItems(), "B", "B");
    AddItem(b->MakeSubItems(), "C", "C");
    AddItem(a->SubItems(), "E", "E");
    THxRef<THxDataConsumer> holder;
    THxDataConsumer* consumer = NewConsumer(holder, nullptr, {2, caViewList});
    consumer->SetProvider(&provider);
    auto* view = dynamic_cast<THxDataConsumerViewList*>(consumer->FindImplementation(&THxDataConsumerViewList::StaticClass()));
    ASSERT_NE(view, nullptr);
    auto shown = [&] {
        std::string s;
        for (int i = 0; i < view->Count(); ++i) s += std::string(static_cast<size_t>(view->ItemLevel(i)), '.') + view->Item(i)->ID() + " ";
        return s;
    };
    EXPECT_EQ(shown(), "A D ");
    EXPECT_TRUE(view->ItemHasChildren(0));
    EXPECT_FALSE(view->ItemIsLastInLevel(0));
    EXPECT_TRUE(view->ItemIsLastInLevel(1));
    int changes = 0;
    consumer->OnChanged = [&](TObject*, int r) { changes += r == crViewChanged ? 1 : 0; };
    view->ExpandItem(0);
    EXPECT_EQ(shown(), "A .B .E D ");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(view->ItemIsExpanded(0));
    EXPECT_EQ(view->Word(1), 1u | THxCustomDataConsumerViewList::vlHasChildren);
    view->ToggleItem(1);
    EXPECT_EQ(shown(), "A .B ..C .E D ");
    // The provider's changes: an item added where the view shows it, one deleted with its subtree.
    AddItem(a->SubItems(), "F", "F");
    EXPECT_EQ(shown(), "A .B ..C .E .F D ");
    AddItem(d->MakeSubItems(), "G", "G");
    EXPECT_EQ(shown(), "A .B ..C .E .F D ");  // under a closed item: not shown, but D has children now
    EXPECT_TRUE(view->ItemHasChildren(view->IndexOfID("D")));
    Supports<IHxDataItemsManagement>(a->SubItems())->Remove(b);
    EXPECT_EQ(shown(), "A .E .F D ");
    // Changes the view never heard of: it says so instead of showing stale items.
    provider.muted = true;
    AddItem(a->SubItems(), "H", "H");
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { view->CollapseItem(0); }), L"ViewList out of sync");
    provider.muted = false;
    view->RebuildView();
    EXPECT_EQ(shown(), "A .E .F .H D ");
    Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(provider.Root()))->Clear();
    EXPECT_EQ(shown(), "");
}

TEST_F(DataConsumer, ConsumersOfAConsumerFollowItsSelectionUntilEitherGoes) {
    TTestProvider provider;
    AddItem(provider.Root(), "A", "A");
    AddItem(provider.Root(), "B", "B");
    THxRef<THxDataConsumer> serverHolder, clientHolder, refusedHolder;
    THxDataConsumer* server = NewConsumer(serverHolder, nullptr);
    THxDataConsumer* client = NewConsumer(clientHolder, nullptr);
    THxDataConsumer* refused = NewConsumer(refusedHolder, nullptr);
    for (THxDataConsumer* c : {server, client, refused}) c->SetProvider(&provider);
    server->OnClientLinking = [&](TObject*, IHxDataConsumer* c, bool adding, bool& allow) {
        Log(std::string(adding ? "join" : "leave"));
        if (c == static_cast<IHxDataConsumer*>(refused)) allow = false;
    };
    server->AddClient(client);
    server->AddClient(refused);
    server->AddClient(client);  // once only
    EXPECT_EQ(server->ClientCount(), 1);
    ItemSelectOf(server)->SetItem("B");
    EXPECT_EQ(ItemSelectOf(client)->Item(), "B");
    EXPECT_EQ(ItemSelectOf(refused)->Item(), "");
    int told = 0;
    server->OnNotifyClient = [&](TObject*, IHxDataConsumer*, int reason, bool& handled) {
        ++told;
        handled = reason == crViewChanged;
    };
    ItemSelectOf(server)->SetItem("A");
    EXPECT_EQ(told, 1);
    EXPECT_EQ(ItemSelectOf(client)->Item(), "B");  // handled by the event: the client was not told
    clientHolder.Reset();
    EXPECT_EQ(server->ClientCount(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"join", "join", "leave"}));
    // A follower outlives its server.
    THxRef<THxDataConsumer> followerHolder;
    THxDataConsumer* follower = NewConsumer(followerHolder, nullptr);
    server->AddClient(follower);
    // A linking event that itself removes the leaving follower leaves the list whole.
    THxRef<THxDataConsumer> secondHolder;
    THxDataConsumer* second = NewConsumer(secondHolder, nullptr);
    server->AddClient(second);
    ASSERT_EQ(server->ClientCount(), 2);
    bool inside = false;
    server->OnClientLinking = [&](TObject*, IHxDataConsumer* c, bool adding, bool&) {
        if (adding || std::exchange(inside, true)) return;
        server->RemoveClient(c);
        inside = false;
    };
    server->RemoveClient(follower);
    EXPECT_EQ(server->ClientCount(), 1);
    server->AddClient(follower);
    server->OnClientLinking = nullptr;
    serverHolder.Reset();
    follower->SetProvider(nullptr);
}

// A component holding a consumer, as a control does, published as "Provider".
class TConsumerHolder : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TConsumerHolder)
    explicit TConsumerHolder(TComponent* Owner) : TComponent(Owner) { NewConsumer(consumer, this); }
    ~TConsumerHolder() override { consumer->DetachOwner(); }
    void Loaded() override {
        TComponent::Loaded();
        consumer->Loaded();
    }
    THxRef<THxDataConsumer> consumer;
};

TEST_F(DataConsumer, WhatWasReadWhileLoadingWaitsForTheProvider) {
    RegisterDataProviderClasses();
    TPropInfo provider;
    provider.Name = L"Provider";
    provider.Kind = tkClass;
    provider.Getter = [](TPersistent* i) -> TPropValue { return static_cast<TPersistent*>(dynamic_cast<TConsumerHolder*>(i)->consumer.Get()); };
    RegisterPublishedProperties(L"TConsumerHolder", L"TComponent", {provider});

    TTestProvider source;
    HxNew<THxDataContext>(source.Contexts(), std::string("Main"));
    HxNew<THxDataContext>(source.Contexts(), std::string("Other"));
    AddItem(source.Root(), "Picked", "P1");
    TMemoryStream stream;
    {
        TConsumerHolder written(nullptr);
        written.SetName(L"Holder");
        written.consumer->SetProvider(&source);
        written.consumer->SetContext("Other");
        ItemSelectOf(written.consumer.Get())->SetItem("P1");
        TWriter writer(&stream);
        writer.WriteRootComponent(&written);
    }
    const std::string text(stream.Bytes().begin(), stream.Bytes().end());
    EXPECT_NE(text.find("Provider.Context"), std::string::npos);
    EXPECT_NE(text.find("THxDataConsumerItemSelect"), std::string::npos);

    stream.SetPosition(0);
    TConsumerHolder read(nullptr);
    TReader reader(&stream);
    reader.ReadRootComponent(&read);
    THxDataConsumer* consumer = read.consumer.Get();
    EXPECT_FALSE(consumer->ProviderActive());
    EXPECT_EQ(consumer->Context(), "");
    ASSERT_NE(ItemSelectOf(consumer), nullptr);  // read from the stream, waiting for its item
    // The provider arrives while the holder still loads, as a reference does.
    read.SetLoadingState(true);
    consumer->SetProvider(&source);
    read.SetLoadingState(false);
    EXPECT_EQ(consumer->Context(), "Other");
    EXPECT_EQ(hovertest::CaptionOf(consumer->SelectedItem()), "Picked");

    UnregisterPublishedProperties(L"TConsumerHolder");
    UnregisterDataProviderClasses();
}

}  // namespace
