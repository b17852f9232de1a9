// The runtime core's object model (lists, components, persistent objects) and streams.
#include <gtest/gtest.h>

#include "exception_text.h"

#include <windows.h>

#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/objects.h"
#include "classlib/streams.h"

using namespace classlib;

namespace {

using quill_test::MessageOf;

TEST(TListTest, BoundsErrors) {
    TList list;
    int a = 1, b = 2, c = 3;
    list.Add(&a);
    list.Add(&b);
    list.Insert(2, &c);  // Count is a valid insertion point
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(2), &c);
    EXPECT_EQ(MessageOf<EListError>([&] { list.Items(3); }), L"List index out of bounds (3)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.Items(-1); }), L"List index out of bounds (-1)");
    EXPECT_THROW(list.Insert(4, &a), EListError);
    EXPECT_THROW(list.Delete(3), EListError);
    EXPECT_THROW(list.SetItems(-1, &a), EListError);
    EXPECT_THROW(list.Exchange(0, 3), EListError);
    EXPECT_THROW(list.Move(0, 3), EListError);
    EXPECT_THROW(list.SetCapacity(2), EListError);
    list.Move(0, 2);
    EXPECT_EQ(list.Items(0), &b);
    EXPECT_EQ(list.Items(2), &a);
    EXPECT_EQ(list.Remove(&c), 1);
    EXPECT_EQ(list.Remove(&c), -1);
    EXPECT_EQ(list.Count(), 2);
    TList empty;
    EXPECT_THROW(empty.First(), EListError);
    EXPECT_THROW(empty.Last(), EListError);
}

// A component that reports its own end and the removals it hears about.
class TLogged : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TLogged)
    TLogged(TComponent* owner, std::wstring tag, std::vector<std::wstring>* log)
        : TComponent(owner), tag_(std::move(tag)), log_(log) {}
    ~TLogged() override {
        log_->push_back(L"free " + tag_ + (HasState(csDestroying) ? L" destroying" : L""));
        // A reference that was not cleared by a removal notification would be used here.
        if (peer_ != nullptr) log_->push_back(L"peer of " + tag_ + L" still set");
    }
    void Watch(TLogged* other) {
        peer_ = other;
        FreeNotification(other);
    }
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation == TOperation::opRemove && AComponent == peer_) {
            log_->push_back(tag_ + L" heard " + peer_->tag_);
            peer_ = nullptr;
        }
    }

private:
    std::wstring tag_;
    std::vector<std::wstring>* log_;
    TLogged* peer_ = nullptr;
};

TEST(TComponentTest, OwnerFreesOwnedComponentsLastCreatedFirst) {
    std::vector<std::wstring> log;
    auto* owner = new TLogged(nullptr, L"owner", &log);
    new TLogged(owner, L"a", &log);
    new TLogged(owner, L"b", &log);
    new TLogged(owner, L"c", &log);
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->Components(1)->ComponentIndex(), 1);
    delete owner;
    EXPECT_EQ(log, (std::vector<std::wstring>{L"free owner", L"free c destroying", L"free b destroying",
                                              L"free a destroying"}));
}

TEST(TComponentTest, DeletedComponentLeavesItsOwner) {
    std::vector<std::wstring> log;
    TComponent owner(nullptr);
    auto* a = new TLogged(&owner, L"a", &log);
    auto* b = new TLogged(&owner, L"b", &log);
    delete a;
    ASSERT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), b);
    EXPECT_EQ(b->Owner(), &owner);
    EXPECT_THROW(owner.Components(1), EListError);
}

TEST(TComponentTest, FreeNotificationBothWays) {
    std::vector<std::wstring> log;
    auto* a = new TLogged(nullptr, L"a", &log);
    auto* b = new TLogged(nullptr, L"b", &log);
    auto* c = new TLogged(nullptr, L"c", &log);
    a->Watch(b);  // a asks about b: b is told about a as well
    c->Watch(a);
    EXPECT_TRUE(a->HasState(csFreeNotification));
    delete b;
    EXPECT_EQ(log, (std::vector<std::wstring>{L"free b", L"a heard b"}));
    log.clear();
    delete a;
    EXPECT_EQ(log, (std::vector<std::wstring>{L"free a", L"c heard a"}));
    log.clear();
    delete c;
    EXPECT_EQ(log, (std::vector<std::wstring>{L"free c"}));
}

TEST(TComponentTest, RemoveFreeNotificationStopsTheNotice) {
    std::vector<std::wstring> log;
    auto* a = new TLogged(nullptr, L"a", &log);
    auto* b = new TLogged(nullptr, L"b", &log);
    a->FreeNotification(b);
    a->RemoveFreeNotification(b);
    delete b;
    delete a;
    EXPECT_EQ(log, (std::vector<std::wstring>{L"free b", L"free a"}));
}

TEST(TComponentTest, SiblingsHearOfEachOtherAlsoWhenTheOwnerGoes) {
    std::vector<std::wstring> log;
    {
        TComponent owner(nullptr);
        auto* a = new TLogged(&owner, L"a", &log);
        auto* b = new TLogged(&owner, L"b", &log);
        a->Watch(b);
        delete b;  // through the owner's removal
        EXPECT_EQ(log, (std::vector<std::wstring>{L"free b", L"a heard b"}));
        log.clear();
        auto* c = new TLogged(&owner, L"c", &log);
        a->Watch(c);
    }
    // c goes first: a must hear of it before a's own end.
    EXPECT_EQ(log, (std::vector<std::wstring>{L"a heard c", L"free c destroying", L"free a destroying"}));
}

TEST(TComponentTest, NamesAreValidatedAndUniquePerOwner) {
    TComponent owner(nullptr);
    auto* a = new TComponent(&owner);
    auto* b = new TComponent(&owner);
    a->SetName(L"Button1");
    EXPECT_EQ(a->Name(), L"Button1");
    EXPECT_THROW(a->SetName(L"1Button"), EComponentError);
    EXPECT_THROW(a->SetName(L"Two words"), EComponentError);
    EXPECT_THROW(a->SetName(L"\u00e9t\u00e9"), EComponentError);
    EXPECT_EQ(a->Name(), L"Button1");
    EXPECT_EQ(MessageOf<EComponentError>([&] { b->SetName(L"BUTTON1"); }),
              L"A component named BUTTON1 already exists");
    a->SetName(L"button1");  // its own name in another case
    EXPECT_EQ(a->Name(), L"button1");
    b->SetName(L"_Edit_2");
    EXPECT_EQ(owner.FindComponent(L"BUTTON1"), a);
    EXPECT_EQ(owner.FindComponent(L"_edit_2"), b);
    EXPECT_EQ(owner.FindComponent(L"Nope"), nullptr);
    EXPECT_EQ(owner.FindComponent(L""), nullptr);
    b->SetName(L"");
    EXPECT_EQ(owner.FindComponent(L"_Edit_2"), nullptr);
    // Moving a component to an owner that already has its name is refused.
    TComponent other(nullptr);
    auto* clash = new TComponent(&other);
    clash->SetName(L"button1");
    EXPECT_THROW(owner.InsertComponent(clash), EComponentError);
    delete clash;
    EXPECT_EQ(other.ComponentCount(), 0);
}

TEST(TComponentTest, StatesAndLoaded) {
    TComponent owner(nullptr);
    auto* child = new TComponent(&owner);
    EXPECT_EQ(owner.ComponentState(), 0u);
    owner.SetLoadingState(true);
    owner.SetReadingState(true);
    EXPECT_TRUE(owner.HasState(csLoading));
    EXPECT_TRUE(owner.HasState(csReading));
    owner.SetReadingState(false);
    owner.Loaded();
    EXPECT_EQ(owner.ComponentState(), 0u);
    owner.SetDesigning(true);
    EXPECT_TRUE(child->HasState(csDesigning));
    owner.SetDesigning(false);
    EXPECT_FALSE(child->HasState(csDesigning));
    owner.SetWritingState(true);
    EXPECT_TRUE(owner.HasState(csWriting));
    EXPECT_FALSE(child->HasState(csWriting));
}

class TPoint2 : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TPoint2)
    int x = 0;
    void Assign(TPersistent* Source) override {
        if (auto* p = dynamic_cast<TPoint2*>(Source)) {
            x = p->x;
            return;
        }
        TPersistent::Assign(Source);
    }
};

// A component that, while being destroyed, looks at the variable that held it.
struct WatchingComponent : TComponent {
    WatchingComponent(TComponent** var, bool* sawEmpty) : TComponent(nullptr), var_(var), sawEmpty_(sawEmpty) {}
    ~WatchingComponent() override { *sawEmpty_ = *var_ == nullptr; }
    TComponent** var_;
    bool* sawEmpty_;
};

TEST(FreeAndNilTest, TheVariableIsEmptyBeforeTheObjectGoes) {
    bool sawEmpty = false;
    TComponent* held = nullptr;
    held = new WatchingComponent(&held, &sawEmpty);
    FreeAndNil(held);
    EXPECT_EQ(held, nullptr);
    EXPECT_TRUE(sawEmpty);

    // The same for an owning pointer; an empty variable is no error.
    struct OwnerWatcher : TComponent {
        OwnerWatcher(std::unique_ptr<TComponent>* var, bool* sawEmpty) : TComponent(nullptr), var_(var), sawEmpty_(sawEmpty) {}
        ~OwnerWatcher() override { *sawEmpty_ = *var_ == nullptr; }
        std::unique_ptr<TComponent>* var_;
        bool* sawEmpty_;
    };
    std::unique_ptr<TComponent> owned;
    sawEmpty = false;
    owned = std::make_unique<OwnerWatcher>(&owned, &sawEmpty);
    FreeAndNil(owned);
    EXPECT_EQ(owned, nullptr);
    EXPECT_TRUE(sawEmpty);
    FreeAndNil(owned);
    TComponent* none = nullptr;
    FreeAndNil(none);
}

TEST(TPersistentTest, AssignRefusalNamesBothClasses) {
    TPoint2 a, b;
    TPersistent plain;
    b.x = 5;
    a.Assign(&b);
    EXPECT_EQ(a.x, 5);
    EXPECT_EQ(MessageOf<EConvertError>([&] { a.Assign(&plain); }), L"Cannot assign a TPersistent to a TPoint2");
    EXPECT_EQ(MessageOf<EConvertError>([&] { plain.Assign(&a); }), L"Cannot assign a TPoint2 to a TPersistent");
    EXPECT_EQ(MessageOf<EConvertError>([&] { a.Assign(nullptr); }), L"Cannot assign a nil to a TPoint2");
}

// Shared checks for any stream: write, seek, read, size.
void ExerciseStream(TStream& s) {
    const char text[] = "hello world";
    EXPECT_EQ(s.Write(text, 11), 11);
    EXPECT_EQ(s.Position(), 11);
    EXPECT_EQ(s.Size(), 11);
    EXPECT_EQ(s.Seek(6, TSeekOrigin::soBeginning), 6);
    char buf[16] = {};
    EXPECT_EQ(s.Read(buf, 16), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(s.Read(buf, 4), 0);  // at the end
    EXPECT_EQ(s.Seek(-5, TSeekOrigin::soEnd), 6);
    EXPECT_EQ(s.Seek(-6, TSeekOrigin::soCurrent), 0);
    s.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    s.SetPosition(9);
    EXPECT_EQ(MessageOf<EReadError>([&] { s.ReadBuffer(buf, 3); }), L"Stream read error");
    s.SetSize(5);
    EXPECT_EQ(s.Size(), 5);
    s.SetPosition(5);
    s.WriteBuffer("!!", 2);
    EXPECT_EQ(s.Size(), 7);
    s.SetPosition(0);
    s.ReadBuffer(buf, 7);
    EXPECT_EQ(std::string(buf, 7), "hello!!");
}

TEST(StreamTest, MemoryStream) {
    TMemoryStream s;
    ExerciseStream(s);
    EXPECT_EQ(s.Seek(-1, TSeekOrigin::soBeginning), -1);
    // Writing past the end fills the gap with zeros.
    s.SetPosition(9);
    s.WriteBuffer("x", 1);
    EXPECT_EQ(s.Size(), 10);
    EXPECT_EQ(s.Bytes()[8], 0);
    // A negative size empties the stream and keeps the position usable.
    s.SetSize(-3);
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
    s.WriteBuffer("ab", 2);
    EXPECT_EQ(s.Size(), 2);
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(&s, 0), 2);
    EXPECT_EQ(copy.Bytes(), s.Bytes());
    s.SetPosition(1);
    EXPECT_THROW(copy.CopyFrom(&s, 5), EReadError);
}

TEST(StreamTest, HandleStream) {
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameW(dir, L"qst", 0, path), 0u);
    HANDLE h = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        THandleStream s(h);
        ExerciseStream(s);
    }
    CloseHandle(h);
    h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        THandleStream s(h);
        EXPECT_EQ(s.Size(), 7);
        EXPECT_EQ(s.Write("x", 1), 0);  // read-only handle
        EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
    }
    CloseHandle(h);
    DeleteFileW(path);
    // An invalid handle reads nothing and never crashes.
    THandleStream bad(INVALID_HANDLE_VALUE);
    char c;
    EXPECT_EQ(bad.Read(&c, 1), 0);
    EXPECT_THROW(bad.ReadBuffer(&c, 1), EReadError);
}

}  // namespace
