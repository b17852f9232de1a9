// The data-provider framework's parts: reference-counted objects made of implementation objects,
// items and item lists with their management and notices, paths, renderers, contexts, the lists'
// images, and the "Extensions" / "Items" streaming with its errors.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/filer.h"
#include "classlib/image_list.h"
#include "classlib/streams.h"
#include "data_provider_support.h"
#include "exception_text.h"
#include "hover_test_support.h"

using namespace classlib;
using namespace hover;
using hovertest::AddItem;
using hovertest::CaptionOf;
using hovertest::TTestProvider;
using quill_test::MessageOf;

namespace {

std::vector<std::string>* gLog = nullptr;

// An extensible object that says when it goes and takes a passing reference while it is made.
class TProbeObject : public TExtensibleInterfacedPersistent {
public:
    explicit TProbeObject(bool* Gone) : gone_(Gone) {}
    ~TProbeObject() override { *gone_ = true; }
    int countWhileMade = -1;

protected:
    void InitImplementers() override {
        AddRef();
        Release();
        countWhileMade = RefCount();
    }

private:
    bool* gone_;
};

// Two implementation objects that answer the caption role, and a third derived from the first.
class TCaptionA : public THxDataItemAggregatedObject, public IHxDataItemText {
public:
    HX_CLASS(TCaptionA)
    using THxDataItemAggregatedObject::THxDataItemAggregatedObject;
    ~TCaptionA() override { gLog->push_back(WideToAnsi(ClassName()) + " gone"); }
    HX_FORWARD_UNKNOWN(THxDataItemAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override {
        return IsEqualGUID(Role, IID_IHxDataItemText) ? static_cast<IHxDataItemText*>(this) : nullptr;
    }
    std::string Caption() override { return WideToAnsi(ClassName()); }
    void SetCaption(const std::string&) override {}
};
class TCaptionB : public TCaptionA {
public:
    HX_CLASS(TCaptionB)
    using TCaptionA::TCaptionA;
};
class TCaptionC : public THxDataItemAggregatedObject {
public:
    HX_CLASS(TCaptionC)
    using THxDataItemAggregatedObject::THxDataItemAggregatedObject;
    ~TCaptionC() override { gLog->push_back("TCaptionC gone"); }
};
HX_DEFINE_CLASS(TCaptionA, THxDataItemAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(TCaptionB, TCaptionA, &HxNotMadeByName)
HX_DEFINE_CLASS(TCaptionC, THxDataItemAggregatedObject, &HxNotMadeByName)

// An item that draws itself: a red block of 11 x 7.
class TSelfDrawn : public THxDataItemAggregatedObject, public IHxDataItemRenderer {
public:
    HX_CLASS(TSelfDrawn)
    using THxDataItemAggregatedObject::THxDataItemAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override {
        return IsEqualGUID(Role, IID_IHxDataItemRenderer) ? static_cast<IHxDataItemRenderer*>(this) : nullptr;
    }
    void Draw(TCanvas* Canvas, RECT& Rect, THxProviderDrawStates) override {
        Canvas->Brush()->SetColor(clRed);
        Canvas->FillRect(RECT{Rect.left, Rect.top, Rect.left + 11, Rect.top + 7});
    }
    SIZE Measure(TCanvas*) override { return SIZE{11, 7}; }
};
HX_DEFINE_CLASS(TSelfDrawn, THxDataItemAggregatedObject, &HxNotMadeByName)

// A list management that keeps items by their counts.
class TCountingManagement : public THxBaseDataItemsListManagement {
public:
    HX_CLASS(TCountingManagement)
    using THxBaseDataItemsListManagement::THxBaseDataItemsListManagement;
    bool ManagesByRefCount() override { return true; }
};
HX_DEFINE_CLASS(TCountingManagement, THxBaseDataItemsListManagement, &HxNotMadeByName)

// An item that refuses to be deleted.
class TStayingItem : public THxBaseDataItem {
public:
    HX_CLASS(TStayingItem)
    using THxBaseDataItem::THxBaseDataItem;
    bool IsDeletable() override { return false; }
};
HX_DEFINE_CLASS(TStayingItem, THxBaseDataItem, &HxNotMadeByName)

// Says when the item it belongs to goes.
class TGoneFlag : public THxDataItemAggregatedObject {
public:
    HX_CLASS(TGoneFlag)
    TGoneFlag(THxBaseDataItem* Owner, bool* Gone) : THxDataItemAggregatedObject(Owner), gone_(Gone) {}
    ~TGoneFlag() override { *gone_ = true; }

private:
    bool* gone_;
};
HX_DEFINE_CLASS(TGoneFlag, THxDataItemAggregatedObject, &HxNotMadeByName)

class DataItems : public ::testing::Test {
protected:
    void SetUp() override { gLog = &log; }
    void TearDown() override { gLog = nullptr; }
    std::vector<std::string> log;
};

TEST_F(DataItems, AnObjectIsHandedOverUncountedAndGoesWithItsLastReference) {
    bool gone = false;
    TProbeObject* probe = HxNew<TProbeObject>(&gone);
    EXPECT_EQ(probe->countWhileMade, 1);  // the passing reference did not free it
    EXPECT_EQ(probe->RefCount(), 0);
    {
        THxRef<TProbeObject> held(probe);
        EXPECT_EQ(probe->RefCount(), 1);
    }
    EXPECT_TRUE(gone);
}

TEST_F(DataItems, FreeingAnObjectWithReferencesLeftIsRefusedAndItStays) {
    bool gone = false;
    TProbeObject* probe = HxNew<TProbeObject>(&gone);
    probe->AddRef();
    EXPECT_EQ(MessageOf<EInvalidPointer>([&] { probe->Free(); }), L"Invalid pointer operation");
    EXPECT_FALSE(gone);
    probe->Release();
    EXPECT_TRUE(gone);
    bool gone2 = false;
    HxNew<TProbeObject>(&gone2)->Free();  // nobody counts it: it goes
    EXPECT_TRUE(gone2);
}

TEST_F(DataItems, ImplementationsAnswerFromTheLastAndGoLastFirst) {
    TTestProvider provider;
    THxBaseDataItem* item = AddItem(provider.Root(), "own");
    IHxDataItem* asItem = item;
    EXPECT_EQ(CaptionOf(asItem), "own");
    HxNew<TCaptionA>(item);
    EXPECT_EQ(CaptionOf(asItem), "TCaptionA");  // the last added answers first
    // A class already present (or one it derives from) is refused, and the refused object goes.
    EXPECT_EQ(MessageOf<EHXLException>([&] { HxNew<THxDataItemTextImpl>(item); }), L"Implementation of that class already exists");
    EXPECT_EQ(MessageOf<EHXLException>([&] { HxNew<TCaptionA>(item); }), L"Implementation of that class already exists");
    EXPECT_EQ(item->ImplementationCount(), 2);
    HxNew<TCaptionC>(item);
    // A class does not join beside one derived from it.
    THxBaseDataItem* other = AddItem(provider.Root(), "other");
    HxNew<TCaptionB>(other);
    EXPECT_EQ(MessageOf<EHXLException>([&] { HxNew<TCaptionA>(other); }), L"Implementation of that class already exists");
    provider.Root()->DeleteItem(1);
    // The item's own role comes first, then the parts; a query through a part reaches the item.
    IHxDataItemText* text = Supports<IHxDataItemText>(asItem);
    EXPECT_EQ(Supports<IHxDataItem>(text), asItem);
    log.clear();
    provider.Root()->ClearItems();
    EXPECT_EQ(log, (std::vector<std::string>{"TCaptionC gone", "TCaptionA gone"}));
}

TEST_F(DataItems, NewItemsHaveThirtyTwoHexDigitIDsAndFindTheirCaptions) {
    TTestProvider provider;
    IHxDataItem* a = AddItem(provider.Root(), "A");
    IHxDataItem* b = AddItem(provider.Root(), "B");
    const std::string id = a->ID();
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_NE(id, b->ID());
    EXPECT_EQ(provider.Root()->FindByID(b->ID(), false), b);
    EXPECT_EQ(a->Items(), static_cast<IHxDataItems*>(provider.Root()));
    EXPECT_EQ(provider.Root()->Provider(), static_cast<IHxDataProvider*>(&provider));
}

TEST_F(DataItems, TheProviderHearsEveryChangeBeforeAndAfter) {
    TTestProvider provider;
    THxDataItemsList* root = provider.Root();
    IHxDataItemsManagement* management = Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(root));
    ASSERT_NE(management, nullptr);
    IHxUnknown* rootRef = static_cast<IHxDataItems*>(root);
    IHxDataItem* item = management->New();
    ASSERT_EQ(provider.notices.size(), 2u);
    EXPECT_EQ(provider.notices[0].reason, pcrAdd);
    EXPECT_EQ(provider.notices[0].source, rootRef);  // before: the list
    EXPECT_EQ(provider.notices[1].source, static_cast<IHxUnknown*>(item));  // after: the new item
    auto* image = HxNew<THxDataItemImageImpl>(dynamic_cast<THxBaseDataItem*>(item));
    provider.notices.clear();
    image->SetImageIndex(4);
    image->SetImageIndex(4);  // the same value: nothing
    ASSERT_EQ(provider.notices.size(), 2u);
    EXPECT_EQ(provider.notices[1].reason, pcrUpdateItem);
    EXPECT_EQ(provider.notices[1].source, static_cast<IHxUnknown*>(item));

    // An item that cannot be deleted stays through deleting, removing and clearing.
    auto* staying = HxNew<TStayingItem>(static_cast<THxBaseDataItems*>(root));
    management->Add(staying);
    EXPECT_EQ(MessageOf<EHXLDataItems>([&] { management->Delete(1); }), L"Item cannot be deleted");
    EXPECT_EQ(MessageOf<EHXLDataItems>([&] { management->Remove(staying); }), L"Item cannot be deleted");
    EXPECT_EQ(MessageOf<EHXLDataItems>([&] { management->Delete(7); }), L"List index out of bounds (7)");
    provider.notices.clear();
    management->Delete(0);
    ASSERT_EQ(provider.notices.size(), 2u);
    EXPECT_EQ(provider.notices[0].reason, pcrDelete);
    EXPECT_EQ(provider.notices[1].source, rootRef);
    provider.notices.clear();
    management->Clear();
    ASSERT_EQ(provider.notices.size(), 2u);
    EXPECT_EQ(provider.notices[0].reason, pcrUpdateItems);
    EXPECT_EQ(root->Count(), 1);
    EXPECT_EQ(root->Item(0), static_cast<IHxDataItem*>(staying));
}

TEST_F(DataItems, ItemsOfACountingListLiveWhileReferencedAndOthersDoNotCount) {
    TTestProvider provider;
    THxDataItemsList* root = provider.Root();
    IHxDataItem* owned = AddItem(root, "owned");
    EXPECT_EQ(owned->AddRef(), -1);
    EXPECT_EQ(owned->Release(), -1);

    delete root->FindImplementation(&THxBaseDataItemsListManagement::StaticClass());
    HxNew<TCountingManagement>(root);
    IHxDataItemsManagement* management = Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(root));
    bool gone = false;
    IHxDataItem* counted = management->New();
    HxNew<TGoneFlag>(dynamic_cast<THxBaseDataItem*>(counted), &gone);
    {
        THxRef<IHxDataItem> held(counted);
        management->Remove(counted);
        EXPECT_FALSE(gone);
        EXPECT_EQ(counted->Items(), nullptr);  // alive, out of its list
        EXPECT_EQ(root->IndexOf(counted), -1);
    }
    EXPECT_TRUE(gone);
}

// A tree of items: A (B (C), E), D.
struct TTree {
    TTestProvider provider;
    THxBaseDataItem *a, *b, *c, *d, *e;
    TTree() {
        a = AddItem(provider.Root(), "A", "A");
        d = AddItem(provider.Root(), "D", "D");
        b = AddItem(a->MakeSubItems(), "B", "B");
        c = AddItem(b->MakeSubItems(), "C", "C");
        e = AddItem(a->SubItems(), "E", "E");
    }
};

TEST_F(DataItems, PathsLeadThroughTheTreeFromAnyList) {
    TTree t;
    IHxDataItems* root = t.provider.Root();
    IHxDataItems* underA = t.a->SubItems();
    auto at = [](IHxDataItem* i) { return i; };
    EXPECT_EQ(FindItemByPath(root, "A/B/C"), at(t.c));
    EXPECT_EQ(FindItemByPath(root, "a\\B\\c"), at(t.c));        // either separator, any case
    THxBaseDataItem* twin = AddItem(t.a->SubItems(), "second b", "b");
    EXPECT_EQ(FindItemByPath(root, "A/B"), at(twin));           // the last match wins
    EXPECT_EQ(FindItemByPath(root, "A/B/C"), nullptr);          // ... and has no sub-items
    Supports<IHxDataItemsManagement>(t.a->SubItems())->Remove(twin);
    EXPECT_EQ(FindItemByPath(underA, "/D"), at(t.d));           // a leading separator starts at the root
    EXPECT_EQ(FindItemByPath(underA, "../D"), at(t.d));
    EXPECT_EQ(FindItemByPath(root, "A/B/.."), at(t.a));
    EXPECT_EQ(FindItemByPath(root, "A/"), at(t.a));
    EXPECT_EQ(FindItemByPath(root, "A//D"), at(t.d));           // the rest "/D" starts at the root again
    EXPECT_EQ(FindItemByPath(root, ".."), nullptr);             // nothing above the root
    EXPECT_EQ(FindItemByPath(root, "A/X"), nullptr);
    EXPECT_EQ(FindItemByPath(root, "D/C"), nullptr);            // D has no sub-items
    EXPECT_EQ(FindItemByPath(root, ""), nullptr);
    EXPECT_EQ(root->FindByID("c", true), at(t.c));
    EXPECT_EQ(root->FindByID("c", false), nullptr);
}

TEST_F(DataItems, TheTextRendererDrawsCaptionsAndRefusesIndexesOutsideTheList) {
    TTree t;
    THxDataItemsList* root = t.provider.Root();
    auto* renderer = HxNew<THxCustomDataItemsTextRenderer>(static_cast<THxBaseDataItems*>(root));
    IHxDataItemsRenderer* role = Supports<IHxDataItemsRenderer>(static_cast<IHxDataItems*>(root));
    ASSERT_EQ(role, static_cast<IHxDataItemsRenderer*>(renderer));
    THxBaseDataItem* bare = HxNew<THxBaseDataItem>(static_cast<THxBaseDataItems*>(root));
    Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(root))->Add(bare);
    THxBaseDataItem* drawn = AddItem(root, "drawn");
    HxNew<TSelfDrawn>(drawn);
    hovertest::Capture(200, 40, RGB(255, 255, 255), [&](HDC dc) {
        TCanvas canvas;
        canvas.SetHandle(dc);
        canvas.Font()->SetColor(clBlack);
        EXPECT_EQ(role->MeasureItemByIndex(&canvas, 0).cx, canvas.TextExtent("A").cx);
        EXPECT_EQ(role->AvgItemSize(&canvas).cx, canvas.TextExtent("WyWyWyWyWyWyWyWyWyWy").cx);
        EXPECT_EQ(role->MeasureItem(&canvas, bare).cx,
                  canvas.TextExtent("(item does not support the IHxDataItemText interface)").cx);
        EXPECT_EQ(role->MeasureItemByIndex(&canvas, 3).cx, 11);  // the item's own renderer
        RECT r{0, 0, 200, 20};
        EXPECT_EQ(MessageOf<EHXLDataItems>([&] { role->DrawItemByIndex(&canvas, r, 4, 0); }), L"List index out of bounds (4)");
        EXPECT_EQ(MessageOf<EHXLDataItems>([&] { role->MeasureItemByIndex(&canvas, -1); }), L"List index out of bounds (-1)");
        role->DrawItemByIndex(&canvas, r, 1, 0);
        canvas.SetHandle(nullptr);
    });
    hovertest::TPicture p = hovertest::Capture(60, 20, RGB(255, 255, 255), [&](HDC dc) {
        TCanvas canvas;
        canvas.SetHandle(dc);
        canvas.Font()->SetColor(clBlue);
        RECT r{0, 0, 60, 20};
        role->DrawItem(&canvas, r, t.d, 0);
        RECT own{30, 0, 60, 20};
        role->DrawItemByIndex(&canvas, own, 3, 0);
        canvas.SetHandle(nullptr);
    });
    EXPECT_GT(p.Count(RGB(0, 0, 255)), 5);  // the caption "D"
    EXPECT_EQ(p.Count(RGB(255, 0, 0)), 77);  // 11 x 7 drawn by the item itself
}

TEST_F(DataItems, ContextsKeepTheirNamesApartAndFixedOnesStay) {
    TTestProvider provider;
    THxDataContexts* list = provider.Contexts();
    EXPECT_EQ(MessageOf<EHXLDataContexts>([&] { HxNew<THxDataContext>(nullptr, std::string("Lost")); }),
              L"Cannot create a context without a context list owner");
    auto* main = HxNew<THxDataContext>(list, std::string("Main"));
    EXPECT_EQ(MessageOf<EHXLDataContexts>([&] { HxNew<THxDataContext>(list, std::string("main")); }),
              L"A context with that name already exists");
    auto* other = HxNew<THxManagedDataContext>(list, std::string("Other"));
    EXPECT_EQ(MessageOf<EHXLDataContexts>([&] { other->SetName("MAIN"); }), L"A context with that name already exists");
    other->SetName("Own");
    EXPECT_EQ(list->FindByName("own"), static_cast<IHxDataContext*>(other));
    EXPECT_EQ(list->Count(), 2);
    // A managed context keeps an item tree of its own, which the provider shows while selected.
    ASSERT_NE(other->Items(), nullptr);
    AddItem(other->Items(), "in Own", "X");
    provider.SelectContext(other);
    EXPECT_EQ(provider.GetItems()->FindByID("X", false)->ID(), "X");
    provider.ReleaseContext();
    EXPECT_EQ(provider.GetItems()->FindByID("X", false), nullptr);
    // Contexts inside contexts, found by path.
    auto* sub = HxNew<THxDataContext>(main->MakeSubContexts(), std::string("Sub"));
    EXPECT_EQ(sub->Contexts()->Provider(), static_cast<IHxDataProvider*>(&provider));
    EXPECT_EQ(FindContextByPath(list, "Main/Sub"), static_cast<IHxDataContext*>(sub));
    EXPECT_EQ(FindContextByPath(main->SubContexts(), "../Own"), static_cast<IHxDataContext*>(other));
    // A fixed context is never deleted; a deleted one lives on while held, out of its list.
    auto* fixed = HxNew<THxFixedDataContext>(list, std::string("Fixed"));
    EXPECT_EQ(MessageOf<EHXLDataContexts>([&] { list->Remove(fixed); }), L"Context cannot be deleted");
    THxRef<IHxDataContext> held(main);
    provider.notices.clear();
    list->Delete(0);
    EXPECT_EQ(main->Contexts(), nullptr);
    ASSERT_EQ(provider.notices.size(), 2u);
    EXPECT_EQ(provider.notices[0].reason, pcrContextDelete);
    list->Clear();
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Item(0)->Name(), "Fixed");
}

TEST_F(DataItems, AListsImagesAreToldAndForgottenWhenTheyGo) {
    TTestProvider provider;
    auto* images = HxNew<THxCustomDataItemsImages>(static_cast<THxBaseDataItems*>(provider.Root()));
    IHxDataItemsImages* role = Supports<IHxDataItemsImages>(static_cast<IHxDataItems*>(provider.Root()));
    ASSERT_EQ(role, static_cast<IHxDataItemsImages*>(images));
    auto normal = std::make_unique<TImageList>(nullptr);
    TImageList hot(nullptr);
    role->SetImages(normal.get());
    role->SetHotImages(&hot);
    role->SetDisabledImages(normal.get());
    ASSERT_EQ(provider.notices.size(), 6u);
    EXPECT_EQ(provider.notices[0].reason, pcrUpdateItems);
    EXPECT_EQ(role->HotImages(), &hot);
    normal.reset();
    EXPECT_EQ(role->Images(), nullptr);
    EXPECT_EQ(role->DisabledImages(), nullptr);
    EXPECT_EQ(role->HotImages(), &hot);
}

// ---- Streaming -------------------------------------------------------------------------------------

std::vector<std::uint8_t> Written(const std::function<void(TWriter&)>& Write) {
    TMemoryStream stream;
    {
        TWriter writer(&stream);
        Write(writer);
    }
    return stream.Bytes();
}

void ReadInto(const std::vector<std::uint8_t>& Bytes, TPersistent* Object) {
    TMemoryStream stream;
    if (!Bytes.empty()) stream.WriteBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
    stream.SetPosition(0);
    TReader reader(&stream);
    reader.ReadProperties(Object);
}

class DataStreaming : public DataItems {
protected:
    void SetUp() override {
        DataItems::SetUp();
        RegisterDataProviderClasses();
    }
    void TearDown() override {
        UnregisterDataProviderClasses();
        DataItems::TearDown();
    }
};

TEST_F(DataStreaming, ItemTreesWithTheirExtensionsAreWrittenAndReadBack) {
    TTree t;
    auto* image = HxNew<THxDataItemImageImpl>(t.c);
    image->SetImageIndex(3);
    image->SetAlignment(TAlignment::taCenter);
    HxNew<THxCustomDataItemsTextRenderer>(static_cast<THxBaseDataItems*>(t.provider.Root()));
    HxNew<TSelfDrawn>(t.d);  // not registered: not written
    std::vector<std::uint8_t> bytes = Written([&](TWriter& w) {
        w.WriteProperties(t.provider.Root());
        w.WriteListEnd();
    });

    TTestProvider copy;
    AddItem(copy.Root(), "replaced");
    copy.notices.clear();
    ReadInto(bytes, copy.Root());
    THxDataItemsList* root = copy.Root();
    ASSERT_EQ(root->Count(), 2);
    EXPECT_EQ(CaptionOf(root->Item(0)), "A");
    EXPECT_EQ(root->Item(1)->ID(), "D");
    EXPECT_EQ(Supports<IHxDataItemRenderer>(root->Item(1)), nullptr);
    IHxDataItem* c = FindItemByPath(root, "A/B/C");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(CaptionOf(c), "C");
    IHxDataItemImage* readImage = Supports<IHxDataItemImage>(c);
    ASSERT_NE(readImage, nullptr);
    EXPECT_EQ(readImage->ImageIndex(), 3);
    EXPECT_EQ(readImage->Alignment(), TAlignment::taCenter);
    EXPECT_EQ(FindItemByPath(root, "A/E")->ID(), "E");
    EXPECT_NE(Supports<IHxDataItemsRenderer>(static_cast<IHxDataItems*>(root)), nullptr);
    // The management was there already: it was taken, not doubled; the read was one change of the list.
    EXPECT_EQ(root->ImplementationCount(), 2);
    ASSERT_FALSE(copy.notices.empty());
    EXPECT_EQ(copy.notices.front().reason, pcrUpdateItems);
    EXPECT_FALSE(copy.notices.front().after);
    EXPECT_EQ(copy.notices.back().reason, pcrUpdateItems);
    EXPECT_TRUE(copy.notices.back().after);
}

TEST_F(DataStreaming, OnlyRegisteredClassesAreStreamedAndTheyBelongToTheControlsGroup) {
    EXPECT_NE(FindHxClass(L"THxDataConsumerItemSelect"), nullptr);
    EXPECT_NE(FindHxClass(L"thxdataitemslist"), nullptr);
    EXPECT_EQ(FindHxClass(L"THxDataConsumerViewList"), nullptr);
    EXPECT_EQ(HxClassGroup(&THxDataConsumer::StaticClass()), L"TControl");
    EXPECT_EQ(HxClassGroup(&THxDataItemTextImpl::StaticClass()), L"TControl");
    UnregisterDataProviderClasses();
    EXPECT_EQ(FindHxClass(L"THxDataItemsList"), nullptr);
    TTree t;
    // Nothing registered: the list writes its items, but no extension of theirs.
    std::vector<std::uint8_t> bytes = Written([&](TWriter& w) { w.WriteProperties(t.a); });
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("Extensions"), std::string::npos);
    EXPECT_NE(text.find("SubItems"), std::string::npos);
    RegisterDataProviderClasses();
}

TEST_F(DataStreaming, BrokenCollectionsAreClearErrorsAndLeaveNothingHalfRead) {
    TTestProvider provider;
    auto read = [&](const std::function<void(TWriter&)>& Write) {
        std::vector<std::uint8_t> bytes = Written([&](TWriter& w) {
            Write(w);
            w.WriteListEnd();
        });
        return MessageOf<EReadError>([&] { ReadInto(bytes, provider.Root()); });
    };
    auto entry = [](TWriter& w, const wchar_t* Property, const wchar_t* ClassProperty, const std::string& ClassName) {
        w.WriteStr(Property);
        w.WriteValue(vaCollection);
        w.WriteListBegin();
        w.WriteStr(ClassProperty);
        w.WriteString(ClassName);
        w.WriteListEnd();
        w.WriteListEnd();
    };
    EXPECT_EQ(read([](TWriter& w) {
                  w.WriteStr(L"Extensions");
                  w.WriteString("not a collection");
              }),
              L"Error reading THxDataItemsList.Extensions: Expected collection");
    EXPECT_EQ(read([&](TWriter& w) { entry(w, L"Extensions", L"Caption", "THxDataItemTextImpl"); }),
              L"Error reading THxDataItemsList.Extensions: Missing ClassName property");
    EXPECT_EQ(read([&](TWriter& w) { entry(w, L"Extensions", L"ClassName", "THxDataItemsList"); }),
              L"Error reading THxDataItemsList.Extensions: Invalid class type");
    EXPECT_EQ(read([&](TWriter& w) { entry(w, L"Items", L"ClassName", "THxDataItemTextImpl"); }),
              L"Error reading THxDataItemsList.Items: Invalid class type");
    EXPECT_EQ(read([&](TWriter& w) { entry(w, L"Items", L"ClassName", "TNoSuchItem"); }),
              L"Error reading THxDataItemsList.Items: Class TNoSuchItem not found");
    // A stream cut inside an item: an error, and the items read so far stay whole.
    TTree t;
    std::vector<std::uint8_t> whole = Written([&](TWriter& w) {
        w.WriteProperties(t.provider.Root());
        w.WriteListEnd();
    });
    for (size_t cut : {whole.size() / 3, whole.size() / 2, whole.size() - 3}) {
        std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        TTestProvider target;
        EXPECT_THROW(ReadInto(part, target.Root()), EReadError);
        for (int i = 0; i < target.Root()->Count(); ++i) EXPECT_FALSE(target.Root()->Item(i)->ID().empty());
    }
}

}  // namespace
