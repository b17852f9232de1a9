// The data-provider consumer (counted ownership, provider and context rules, notices) and the
// library's start-up work (the shared version registry, the tables, the print-client wrapper).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/forms.h"
#include "exception_text.h"
#include "hover_test_support.h"
#include "widgets/hover/hx_data_provider.h"
#include "widgets/hover/hx_startup.h"

using namespace classlib;
using namespace hover;

namespace {

// A consumer that says when it goes.
class TWatchedConsumer : public THxDataConsumer {
public:
    TWatchedConsumer(bool* Gone) : THxDataConsumer(nullptr, {2}), gone_(Gone) {}
    ~TWatchedConsumer() override { *gone_ = true; }

private:
    bool* gone_;
};

class TFakeItem : public IHxDataItem, public IHxDataItemText {
public:
    explicit TFakeItem(std::string Id) : id_(std::move(Id)) {}
    std::string ID() override { return id_; }
    std::string Caption() override { return "Caption of " + id_; }
    void* QueryRole(const GUID& Role) override {
        return IsEqualGUID(Role, IID_IHxDataItemText) ? static_cast<IHxDataItemText*>(this) : nullptr;
    }

private:
    std::string id_;
};

class TFakeProvider : public IHxDataProvider {
public:
    std::vector<std::string> contexts{"Main", "Other"};
    std::vector<THxDataConsumer*> registered;
    TFakeItem item{"First"};
    void RegisterChangeNotification(THxDataConsumer* c) override { registered.push_back(c); }
    void UnregisterChangeNotification(THxDataConsumer* c) override {
        registered.erase(std::remove(registered.begin(), registered.end(), c), registered.end());
    }
    bool HasContexts() override { return !contexts.empty(); }
    std::vector<std::string> ContextNames() override { return contexts; }
    IHxDataItem* FindItem(const std::string&, const std::string& ID) override { return ID == "First" ? &item : nullptr; }
    IHxQueryable* Items(const std::string&) override { return nullptr; }
    void* QueryRole(const GUID&) override { return nullptr; }
};

using quill_test::MessageOf;

TEST(DataConsumer, ThePassingReferenceNeverFreesTheOwnersConsumer) {
    bool gone = false;
    {
        THxRef<THxDataConsumer> owner(new TWatchedConsumer(&gone));
        EXPECT_EQ(owner->RefCount(), 1);
        // Someone takes the consumer for a moment and lets it go: the owner still holds it.
        owner->AddRef();
        owner->Release();
        EXPECT_FALSE(gone);
        EXPECT_EQ(owner->RefCount(), 1);
    }
    EXPECT_TRUE(gone);  // freed once, by its last reference
}

TEST(DataConsumer, ProviderAndContextFollowTheRules) {
    THxRef<THxDataConsumer> consumer(new THxDataConsumer(nullptr, {2}));
    std::vector<int> changing, changed;
    consumer->OnChanging = [&](TObject*, int r) { changing.push_back(r); };
    consumer->OnChanged = [&](TObject*, int r) { changed.push_back(r); };
    EXPECT_EQ(consumer->ImplementationCount(), 0);
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContext("Main"); }),
              L"You must specify a provider before setting the context");

    TFakeProvider provider;
    consumer->SetProvider(&provider);
    EXPECT_EQ(provider.registered.size(), 1u);
    EXPECT_EQ(consumer->Context(), "Main");
    EXPECT_EQ(changing, (std::vector<int>{crProviderChanged}));
    EXPECT_EQ(changed.back(), crProviderChanged);
    ASSERT_EQ(consumer->ImplementationCount(), 1);
    changing.clear();
    consumer->SetProvider(&provider);  // the same provider: no notice
    EXPECT_TRUE(changing.empty());

    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContext("Nowhere"); }),
              L"Provider has no context named \"Nowhere\"");
    consumer->SetContext("other");
    EXPECT_EQ(consumer->Context(), "other");

    auto* select = static_cast<THxDataConsumerItemSelect*>(consumer->QueryRole(IID_IHxDataConsumerItemSelect));
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { select->SetItem("Missing"); }), L"Item not found in the selected context");
    select->SetItem("First");
    ASSERT_NE(consumer->SelectedItem(), nullptr);
    auto* text = static_cast<IHxDataItemText*>(consumer->SelectedItem()->QueryRole(IID_IHxDataItemText));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Caption(), "Caption of First");

    EXPECT_EQ(MessageOf<EHXLException>([&] { consumer->AddImplementation(std::make_unique<THxDataConsumerItemSelect>(consumer.Get())); }),
              L"Implementation of that class already exists");

    provider.contexts.clear();
    EXPECT_EQ(MessageOf<EHXLDataConsumer>([&] { consumer->SetContext("Main"); }), L"Provider does not support contexts");
    consumer->SetProvider(nullptr);
    EXPECT_TRUE(provider.registered.empty());
    EXPECT_EQ(consumer->ImplementationCount(), 0);
    EXPECT_EQ(consumer->SelectedItem(), nullptr);
}

TEST(DataConsumer, AContextNamedWhileLoadingWaitsForTheProvider) {
    TComponent owner(nullptr);
    THxRef<THxDataConsumer> consumer(new THxDataConsumer(&owner, {2}));
    owner.SetLoadingState(true);
    consumer->SetContext("Other");  // no provider yet: kept for later
    TFakeProvider provider;
    consumer->SetProvider(&provider);
    EXPECT_EQ(consumer->Context(), "Other");
    owner.SetLoadingState(false);
    consumer->Loaded();
    EXPECT_EQ(consumer->Context(), "Other");
    consumer->SetProvider(nullptr);
}

// The top of a free stretch of address space (Wine keeps the top of a 64-bit process's space for
// itself, so the system's own candidates are all taken there).
std::uintptr_t FreeTop() {
    void* area = VirtualAlloc(nullptr, 0x200000, MEM_RESERVE, PAGE_NOACCESS);
    VirtualFree(area, 0, MEM_RELEASE);
    return reinterpret_cast<std::uintptr_t>(area) + 0x200000;
}

TEST(UnitVersioning, AModuleThatHoldsTheBlockFirstKeepsItsRegistry) {
    const std::string name = "QuillTestVersioning";
    const std::uintptr_t top = FreeTop();
    TUnitVersioningLink first(name, top);
    TUnitVersioning* shared = first.Registry();
    ASSERT_TRUE(first.Shared());
    EXPECT_TRUE(first.OwnsRegistry());
    TUnitVersionInfo info{"unit", "1", "", "", "", nullptr};
    {
        TUnitVersioningLink second(name, top);
        EXPECT_EQ(second.Registry(), shared);
        EXPECT_FALSE(second.OwnsRegistry());
        second.Registry()->Register(reinterpret_cast<HINSTANCE>(0x1000), &info);
        second.Close();
    }
    // The second module's end left the first's registry alive.
    EXPECT_EQ(shared->Records(reinterpret_cast<HINSTANCE>(0x1000)).size(), 1u);
    first.Close();
    // The block went with its last user: a new link makes it again with a registry of its own.
    TUnitVersioningLink third(name, top);
    EXPECT_NE(third.Registry(), nullptr);
    EXPECT_TRUE(third.Shared());
    EXPECT_TRUE(third.OwnsRegistry());
}

TEST(UnitVersioning, WithEveryCandidateAddressTakenTheRegistryIsPrivate) {
    std::vector<void*> taken;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const std::uintptr_t top = FreeTop();
    for (int i = 0; i < UnitVersioningTries; ++i) {
        void* p = VirtualAlloc(UnitVersioningCandidate(i, top), si.dwPageSize, MEM_RESERVE, PAGE_NOACCESS);
        if (p != nullptr) taken.push_back(p);
    }
    EXPECT_EQ(taken.size(), static_cast<size_t>(UnitVersioningTries));
    {
        TUnitVersioningLink link("QuillUnrelated", top);
        ASSERT_NE(link.Registry(), nullptr);
        EXPECT_FALSE(link.Shared());
        EXPECT_TRUE(link.OwnsRegistry());
        TUnitVersionInfo info{"unit", "1", "", "", "", nullptr};
        link.Registry()->Register(reinterpret_cast<HINSTANCE>(0x2000), &info);
        link.Registry()->Register(reinterpret_cast<HINSTANCE>(0x2000), &info);
        EXPECT_EQ(link.Registry()->Records(reinterpret_cast<HINSTANCE>(0x2000)).size(), 1u);
    }
    for (void* p : taken) VirtualFree(p, 0, MEM_RELEASE);
}

TEST(LibraryStartUp, TablesAndTheWindowsVersionKinds) {
    const auto& map = CaseMap();
    EXPECT_EQ(map['A'], 'a');
    EXPECT_EQ(map[256 + 'a'], 'A');
    EXPECT_EQ(map[512 + 'a'], 'A');
    EXPECT_EQ(map[512 + 'Q'], 'q');
    EXPECT_EQ(map[512 + '5'], '5');
    EXPECT_NE(CharTypeTable()['7'] & C1_DIGIT, 0);
    EXPECT_GT(SystemFacts().PageSize, 0u);
    EXPECT_TRUE(SystemFacts().IsNT);

    auto kind = [](int platform, int major, int minor, char letter = 0, DWORD kernel = 0, bool r2 = false, WORD arch = 0,
                   BYTE product = 1) {
        return ClassifyWindowsVersion(TOsFacts{platform, major, minor, letter, kernel, r2, arch, product});
    };
    EXPECT_EQ(kind(1, 4, 0, 'B'), TWindowsVersion::wvWin95OSR2);
    EXPECT_EQ(kind(1, 4, 10, 'A'), TWindowsVersion::wvWin98SE);
    EXPECT_EQ(kind(1, 4, 10, 0, 0x0004005A), TWindowsVersion::wvWinME);
    EXPECT_EQ(kind(2, 3, 51), TWindowsVersion::wvWinNT351);
    EXPECT_EQ(kind(2, 5, 1), TWindowsVersion::wvWinXP);
    EXPECT_EQ(kind(2, 5, 2, 0, 0, true), TWindowsVersion::wvWin2003R2);
    EXPECT_EQ(kind(2, 5, 2, 0, 0, false, PROCESSOR_ARCHITECTURE_AMD64, 1), TWindowsVersion::wvWinXP64);
    EXPECT_EQ(kind(2, 6, 0, 0, 0, false, 9, 3), TWindowsVersion::wvWinServer2008);
    EXPECT_EQ(kind(2, 10, 0), TWindowsVersion::wvUnknown);
}

// The window class's own print-client handling, standing for one that leaves the DC changed.
void CarelessPrintClient(TWinControl*, TMessage& Message) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    SetViewportOrgEx(dc, 11, 13, nullptr);
    IntersectClipRect(dc, 0, 0, 3, 3);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

TEST(LibraryStartUp, PrintingAWindowedControlLeavesTheCallersDCAsItWas) {
    TWinControlMessageHandler original = ReplaceWinControlHandler(WM_PRINTCLIENT, &CarelessPrintClient);
    ASSERT_NE(original, nullptr);
    TForm* form = NewForm<TForm>(nullptr);
    form->SetBounds(0, 0, 100, 100);
    auto printAndLook = [&] {
        return hovertest::Capture(20, 20, RGB(255, 255, 255), [&](HDC dc) {
            HGDIOBJ pen = SelectObject(dc, GetStockObject(WHITE_PEN));
            SendMessageA(form->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
            POINT org{};
            GetViewportOrgEx(dc, &org);
            RECT clip{};
            GetClipBox(dc, &clip);
            const bool same = org.x == 0 && org.y == 0 && clip.right == 20 && GetCurrentObject(dc, OBJ_PEN) == GetStockObject(WHITE_PEN);
            SetPixel(dc, 0, 0, same ? RGB(0, 255, 0) : RGB(255, 0, 0));
            SelectObject(dc, pen);
        }).At(0, 0);
    };
    ASSERT_FALSE(HoverLibraryInitialized());
    EXPECT_EQ(printAndLook(), RGB(255, 0, 0));  // without the wrapper the change stays
    InitializeHoverLibrary();
    ASSERT_NE(HoverUnitVersioning(), nullptr);
    EXPECT_GE(HoverUnitVersioning()->Records(LibraryInstance()).size(), 30u);
    EXPECT_NE(HoverCursor(100), nullptr);
    EXPECT_EQ(printAndLook(), RGB(0, 255, 0));
    FinalizeHoverLibrary();
    EXPECT_FALSE(HoverLibraryInitialized());
    EXPECT_EQ(HoverCursor(100), nullptr);
    EXPECT_EQ(FindWinControlHandler(WM_PRINTCLIENT), &CarelessPrintClient);
    ReplaceWinControlHandler(WM_PRINTCLIENT, original);
    delete form;
}

}  // namespace
