// The filer: typed values, published and defined properties, components written and read back,
// ancestors, and malformed streams.
#include <windows.h>

#include <gtest/gtest.h>

#include "exception_text.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/streams.h"

using namespace classlib;

namespace {

using quill_test::MessageOf;

// A published property over a data member.
template <class C, class M>
TPropInfo MemberProp(const wchar_t* name, TTypeKind kind, M C::*member, std::int32_t dflt = NoDefault) {
    TPropInfo p;
    p.Name = name;
    p.Kind = kind;
    p.Default = dflt;
    p.Getter = [member](TPersistent* o) -> TPropValue {
        const M& v = static_cast<C*>(o)->*member;
        if constexpr (std::is_same_v<M, std::string> || std::is_same_v<M, std::wstring> || std::is_same_v<M, double>)
            return v;
        else if constexpr (std::is_same_v<M, char>)
            return static_cast<std::int64_t>(static_cast<unsigned char>(v));
        else
            return static_cast<std::int64_t>(v);
    };
    p.Setter = [member](TPersistent* o, const TPropValue& v) {
        M& f = static_cast<C*>(o)->*member;
        if constexpr (std::is_same_v<M, std::string> || std::is_same_v<M, std::wstring> || std::is_same_v<M, double>)
            f = std::get<M>(v);
        else
            f = static_cast<M>(std::get<std::int64_t>(v));
    };
    return p;
}

// A nested object: a defined list property and a defined binary property.
class TLines : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TLines)
    std::vector<std::wstring> items;
    std::vector<std::uint8_t> blob;
    void DefineProperties(TFiler* Filer) override {
        auto* ancestor = dynamic_cast<TLines*>(Filer->Ancestor());
        Filer->DefineProperty(
            L"Items",
            [this](TReader* r) {
                items.clear();
                r->ReadListBegin();
                while (!r->EndOfList()) items.push_back(r->ReadWideString());
                r->ReadListEnd();
            },
            [this](TWriter* w) {
                w->WriteListBegin();
                for (const auto& s : items) w->WriteWideString(s);
                w->WriteListEnd();
            },
            ancestor != nullptr ? ancestor->items != items : !items.empty());
        Filer->DefineBinaryProperty(
            L"Blob",
            [this](TStream* s) {
                blob.assign(static_cast<size_t>(s->Size()), 0);
                if (!blob.empty()) s->ReadBuffer(blob.data(), static_cast<std::int32_t>(blob.size()));
            },
            [this](TStream* s) { s->WriteBuffer(blob.data(), static_cast<std::int32_t>(blob.size())); },
            ancestor != nullptr ? ancestor->blob != blob : !blob.empty());
    }
};

class TItem : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TItem)
    using TComponent::TComponent;
    std::int32_t count = 0;
    std::int64_t big = 0;
    char ch = 'a';
    wchar_t wch = 0;
    int color = 1;  // clRed, clGreen, clBlue; default clGreen
    bool flag = false;
    double ratio = 0;
    std::string caption;
    std::wstring title;
    int hidden = 0;  // never stored
    int fixed = 7;   // no setter
    std::int32_t extra = 0;
    TLines lines;
    // What reading saw.
    int loadedCalls = 0;
    std::uint32_t stateInSetter = 0;
    std::uint32_t stateAtLoaded = 0;

    void Loaded() override {
        ++loadedCalls;
        stateAtLoaded = ComponentState();
        TComponent::Loaded();
    }
    void DefineProperties(TFiler* Filer) override {
        auto* ancestor = dynamic_cast<TItem*>(Filer->Ancestor());
        Filer->DefineProperty(
            L"Extra", [this](TReader* r) { extra = r->ReadInteger(); },
            [this](TWriter* w) { w->WriteInteger(extra); },
            ancestor != nullptr ? ancestor->extra != extra : extra != 0);
    }
};

class FilerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<TPropInfo> props;
        TPropInfo countProp = MemberProp(L"Count", tkInteger, &TItem::count, 0);
        auto baseSetter = countProp.Setter;
        countProp.Setter = [baseSetter](TPersistent* o, const TPropValue& v) {
            static_cast<TItem*>(o)->stateInSetter = static_cast<TItem*>(o)->ComponentState();
            baseSetter(o, v);
        };
        props.push_back(countProp);
        props.push_back(MemberProp(L"Big", tkInt64, &TItem::big, 0));
        props.push_back(MemberProp(L"Ch", tkChar, &TItem::ch, 'a'));
        props.push_back(MemberProp(L"WCh", tkWChar, &TItem::wch, 0));
        TPropInfo color = MemberProp(L"Color", tkEnumeration, &TItem::color, 1);
        color.EnumNames = {L"clRed", L"clGreen", L"clBlue"};
        props.push_back(color);
        TPropInfo flag = MemberProp(L"Flag", tkEnumeration, &TItem::flag, 0);
        flag.EnumNames = {L"False", L"True"};
        props.push_back(flag);
        props.push_back(MemberProp(L"Ratio", tkFloat, &TItem::ratio));
        props.push_back(MemberProp(L"Caption", tkLString, &TItem::caption));
        props.push_back(MemberProp(L"Title", tkWString, &TItem::title));
        TPropInfo hidden = MemberProp(L"Hidden", tkInteger, &TItem::hidden, 0);
        hidden.Stored = [](TPersistent*) { return false; };
        props.push_back(hidden);
        TPropInfo fixed = MemberProp(L"Fixed", tkInteger, &TItem::fixed, 0);
        fixed.Setter = nullptr;
        props.push_back(fixed);
        TPropInfo lines;
        lines.Name = L"Lines";
        lines.Kind = tkClass;
        lines.Getter = [](TPersistent* o) -> TPropValue { return static_cast<TPersistent*>(&static_cast<TItem*>(o)->lines); };
        props.push_back(lines);
        RegisterPublishedProperties(L"TItem", L"TComponent", std::move(props));
        RegisterComponentClass(L"TItem", [](TComponent* owner) { return new TItem(owner); });
    }
    void TearDown() override {
        UnregisterPublishedProperties(L"TItem");
        UnregisterComponentClass(L"TItem");
    }

    static void Fill(TItem& item) {
        item.count = -70000;
        item.big = INT64_C(1) << 40;
        item.ch = 'Z';
        item.wch = L'\u03a9';
        item.color = 2;
        item.flag = true;
        item.ratio = 0.1;
        item.caption = "caption \xe9";
        item.title = L"title \u4e2d\u00e9";
        item.hidden = 5;
        item.fixed = 9;
        item.extra = 300;
        item.lines.items = {L"one", L"", L"\u0434\u0432\u0430"};
        item.lines.blob = {0, 1, 2, 255};
    }

    static void ExpectSame(const TItem& a, const TItem& b) {
        EXPECT_EQ(a.count, b.count);
        EXPECT_EQ(a.big, b.big);
        EXPECT_EQ(a.ch, b.ch);
        EXPECT_EQ(a.wch, b.wch);
        EXPECT_EQ(a.color, b.color);
        EXPECT_EQ(a.flag, b.flag);
        EXPECT_EQ(a.ratio, b.ratio);
        EXPECT_EQ(a.caption, b.caption);
        EXPECT_EQ(a.title, b.title);
        EXPECT_EQ(a.extra, b.extra);
        EXPECT_EQ(a.lines.items, b.lines.items);
        EXPECT_EQ(a.lines.blob, b.lines.blob);
    }

    static std::string Bytes(TMemoryStream& s) { return std::string(s.Bytes().begin(), s.Bytes().end()); }
    static bool HasName(TMemoryStream& s, const std::string& name) {
        return Bytes(s).find(static_cast<char>(name.size()) + name) != std::string::npos;
    }
};

TEST_F(FilerTest, EveryValueTypeRoundTrips) {
    TMemoryStream s;
    TWriter w(&s);
    const std::int64_t ints[] = {0, -128, 127, -129, 32767, 32768, INT32_MIN, INT32_MAX, INT64_C(1) << 40, INT64_MIN};
    const TValueType intTypes[] = {vaInt8, vaInt8, vaInt8, vaInt16, vaInt16, vaInt32, vaInt32, vaInt32, vaInt64, vaInt64};
    for (auto v : ints) w.WriteInteger(v);
    const double floats[] = {0.1, -1e300, 5e-324, 0.0, HUGE_VAL, 123456.789};
    for (double v : floats) w.WriteFloat(v);
    w.WriteSingle(1.5f);
    w.WriteCurrency(12.3456);
    w.WriteDate(45000.25);
    w.WriteString("abc");
    w.WriteString(std::string(300, 'x'));
    w.WriteWideString(L"\u03a9x");
    w.WriteUTF8String("\xc3\xa9t\xc3\xa9");
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    w.WriteIdent(L"clRed");
    w.WriteIdent(L"nil");
    w.WriteIdent(L"Null");
    w.WriteSet({L"akLeft", L"akTop"});
    w.WriteBinary(std::vector<std::uint8_t>{1, 2, 3});
    w.WriteListBegin();
    w.WriteInteger(1);
    w.WriteString("");
    w.WriteListEnd();
    w.WriteChar('z');
    w.WriteWideChar(L'\u4e2d');
    w.WriteStr(L"Name");

    s.SetPosition(0);
    TReader r(&s);
    for (size_t i = 0; i < std::size(ints); ++i) {
        EXPECT_EQ(r.NextValue(), intTypes[i]) << i;
        EXPECT_EQ(r.ReadInt64(), ints[i]);
    }
    for (double v : floats) {
        EXPECT_EQ(r.NextValue(), vaExtended);
        double got = r.ReadFloat();
        EXPECT_EQ(got, v);
    }
    EXPECT_EQ(r.ReadFloat(), 1.5);
    EXPECT_EQ(r.NextValue(), vaCurrency);
    EXPECT_DOUBLE_EQ(r.ReadCurrency(), 12.3456);
    EXPECT_EQ(r.ReadDate(), 45000.25);
    EXPECT_EQ(r.ReadString(), "abc");
    EXPECT_EQ(r.NextValue(), vaLString);
    EXPECT_EQ(r.ReadString(), std::string(300, 'x'));
    EXPECT_EQ(r.NextValue(), vaWString);
    EXPECT_EQ(r.ReadWideString(), L"\u03a9x");
    EXPECT_EQ(r.ReadWideString(), L"\u00e9t\u00e9");
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_EQ(r.ReadIdent(), L"clRed");
    EXPECT_EQ(r.NextValue(), vaNil);
    EXPECT_EQ(r.ReadIdent(), L"nil");
    EXPECT_EQ(r.ReadIdent(), L"Null");
    EXPECT_EQ(r.ReadSet(), (std::vector<std::wstring>{L"akLeft", L"akTop"}));
    EXPECT_EQ(r.ReadBinary(), (std::vector<std::uint8_t>{1, 2, 3}));
    r.ReadListBegin();
    EXPECT_EQ(r.ReadInteger(), 1);
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_TRUE(r.EndOfList());
    r.ReadListEnd();
    EXPECT_EQ(r.ReadChar(), 'z');
    EXPECT_EQ(r.ReadWideChar(), L'\u4e2d');
    EXPECT_EQ(r.ReadStr(), L"Name");
    EXPECT_EQ(s.Position(), s.Size());

    // Skipping walks the same values.
    s.SetPosition(0);
    int skipped = 0;
    while (s.Position() < s.Size() - 5) {
        r.SkipValue();
        ++skipped;
    }
    EXPECT_EQ(skipped, 10 + 6 + 3 + 4 + 2 + 3 + 1 + 1 + 1 + 2);
    EXPECT_EQ(s.Position(), s.Size() - 5);
}

TEST_F(FilerTest, WideStringLayout) {
    TMemoryStream s;
    TWriter w(&s);
    w.WriteWideString(L"\u03a9x");
    EXPECT_EQ(Bytes(s), std::string("\x12\x02\x00\x00\x00\xa9\x03x\x00", 9));
    s.Clear();
    w.WriteString("ab");
    w.WriteInteger(-2);
    w.WriteFloat(1.0);
    EXPECT_EQ(Bytes(s), std::string("\x06\x02" "ab" "\x02\xfe" "\x05\x00\x00\x00\x00\x00\x00\x00\x80\xff\x3f", 17));
}

TEST_F(FilerTest, ConversionsBetweenTextKinds) {
    TMemoryStream s;
    TWriter w(&s);
    w.WriteString("plain");
    w.WriteWideString(L"wide");
    w.WriteUTF8String("utf8");
    w.WriteString(std::string(256, 'y'));
    s.SetPosition(0);
    TReader r(&s);
    EXPECT_EQ(r.ReadWideString(), L"plain");
    EXPECT_EQ(r.ReadString(), "wide");
    EXPECT_EQ(r.ReadString(), "utf8");
    EXPECT_EQ(r.ReadWideString(), std::wstring(256, L'y'));
}

TEST_F(FilerTest, WrongValueTypesRaiseInvalidPropertyValue) {
    auto stream = [](auto writeFn) {
        auto s = std::make_unique<TMemoryStream>();
        TWriter w(s.get());
        writeFn(w);
        s->SetPosition(0);
        return s;
    };
    auto expectInvalid = [&](auto writeFn, auto readFn) {
        auto s = stream(writeFn);
        TReader r(s.get());
        EXPECT_EQ(MessageOf<EReadError>([&] { readFn(r); }), L"Invalid property value");
    };
    expectInvalid([](TWriter& w) { w.WriteString("1"); }, [](TReader& r) { r.ReadInteger(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(1); }, [](TReader& r) { r.ReadBoolean(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(1); }, [](TReader& r) { r.ReadString(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(1); }, [](TReader& r) { r.ReadWideString(); });
    expectInvalid([](TWriter& w) { w.WriteString("x"); }, [](TReader& r) { r.ReadIdent(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(1); }, [](TReader& r) { r.ReadListBegin(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(1); }, [](TReader& r) { r.ReadListEnd(); });
    expectInvalid([](TWriter& w) { w.WriteString("ab"); }, [](TReader& r) { r.ReadChar(); });
    expectInvalid([](TWriter& w) { w.WriteWideString(L"ab"); }, [](TReader& r) { r.ReadWideChar(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(1); }, [](TReader& r) { r.ReadSet(); });
    expectInvalid([](TWriter& w) { w.WriteString("x"); }, [](TReader& r) { r.ReadBinary(); });
    expectInvalid([](TWriter& w) { w.WriteString("x"); }, [](TReader& r) { r.ReadFloat(); });
    expectInvalid([](TWriter& w) { w.WriteInteger(INT64_C(1) << 40); }, [](TReader& r) { r.ReadInteger(); });
    expectInvalid([](TWriter& w) { w.WriteValue(static_cast<TValueType>(0x55)); }, [](TReader& r) { r.SkipValue(); });
    // An empty text reads as the zero character.
    auto s = stream([](TWriter& w) { w.WriteString(""); w.WriteWideString(L""); });
    TReader r(s.get());
    EXPECT_EQ(r.ReadChar(), '\0');
    EXPECT_EQ(r.ReadWideChar(), L'\0');
}

TEST_F(FilerTest, HostileLengthsAndNestingEndInReadErrors) {
    auto raw = [](const std::string& bytes) {
        auto s = std::make_unique<TMemoryStream>();
        s->WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        s->SetPosition(0);
        return s;
    };
    {
        auto s = raw(std::string("\x0c\xff\xff\xff\x7f" "abc", 8));  // 2 GiB long string, 3 bytes there
        TReader r(s.get());
        EXPECT_EQ(MessageOf<EReadError>([&] { r.ReadString(); }), L"Stream read error");
    }
    {
        auto s = raw(std::string("\x12\x00\x00\x00\x40" "ab", 7));  // 2^30 wide characters
        TReader r(s.get());
        EXPECT_THROW(r.ReadWideString(), EReadError);
        s->SetPosition(0);
        EXPECT_THROW(r.SkipValue(), EReadError);
    }
    {
        auto s = raw(std::string("\x0a\xfe\xff\xff\xff", 5));  // negative byte count
        TReader r(s.get());
        EXPECT_THROW(r.ReadBinary(), EReadError);
    }
    {
        auto s = raw(std::string(200000, '\x01'));  // lists nested 200000 deep
        TReader r(s.get());
        EXPECT_THROW(r.SkipValue(), EReadError);
    }
    {
        auto s = raw("");
        TReader r(s.get());
        EXPECT_EQ(MessageOf<EReadError>([&] { r.ReadValue(); }), L"Stream read error");
        EXPECT_THROW(r.NextValue(), EReadError);
    }
}

TEST_F(FilerTest, CollectionsAreSkipped) {
    TMemoryStream s;
    TWriter w(&s);
    w.WriteValue(vaCollection);
    w.WriteInteger(3);  // order value of the first item
    w.WriteListBegin();
    w.WriteStr(L"Caption");
    w.WriteString("x");
    w.WriteStr(L"Nested");
    w.WriteListBegin();
    w.WriteInteger(1);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListBegin();
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteInteger(42);
    s.SetPosition(0);
    TReader r(&s);
    r.SkipValue();
    EXPECT_EQ(r.ReadInteger(), 42);
}

TEST_F(FilerTest, ComponentsRoundTripWithChildren) {
    TMemoryStream s;
    {
        TItem root(nullptr);
        root.SetName(L"Root");
        Fill(root);
        auto* child = new TItem(&root);
        child->SetName(L"Child");
        child->title = L"child title";
        child->flag = true;
        TWriter w(&s);
        w.WriteRootComponent(&root);
        EXPECT_FALSE(root.HasState(csWriting));
        EXPECT_FALSE(HasName(s, "Hidden"));  // not stored
        EXPECT_FALSE(HasName(s, "Fixed"));   // cannot be read back
        EXPECT_TRUE(HasName(s, "Lines.Items"));
        EXPECT_TRUE(HasName(s, "Lines.Blob"));
    }
    s.SetPosition(0);
    TItem expected(nullptr);
    Fill(expected);
    TItem root(nullptr);
    TReader r(&s);
    r.ReadRootComponent(&root);
    EXPECT_EQ(root.Name(), L"Root");
    ExpectSame(root, expected);
    EXPECT_EQ(root.hidden, 0);
    EXPECT_EQ(root.fixed, 7);
    ASSERT_EQ(root.ComponentCount(), 1);
    auto* child = dynamic_cast<TItem*>(root.Components(0));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->Name(), L"Child");
    EXPECT_EQ(child->title, L"child title");
    EXPECT_TRUE(child->flag);
    EXPECT_EQ(child->color, 1);
    // Loading states: set while reading, Loaded once afterwards, nothing left behind.
    EXPECT_EQ(root.stateInSetter & (csLoading | csReading), csLoading | csReading);
    EXPECT_EQ(root.loadedCalls, 1);
    EXPECT_EQ(child->loadedCalls, 1);
    EXPECT_TRUE(root.stateAtLoaded & csLoading);
    EXPECT_FALSE(root.stateAtLoaded & csReading);
    EXPECT_FALSE(root.HasState(csLoading) || root.HasState(csReading));
    EXPECT_FALSE(child->HasState(csLoading) || child->HasState(csReading));

    // Reading again into an existing child finds it by name instead of creating one.
    s.SetPosition(0);
    TReader again(&s);
    again.ReadRootComponent(&root);
    EXPECT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.Components(0), child);
}

TEST_F(FilerTest, DefaultsAreNotWritten) {
    TMemoryStream s;
    TItem root(nullptr);
    TWriter w(&s);
    w.WriteRootComponent(&root);
    // Signature, class, empty name, end of properties, end of children.
    EXPECT_EQ(Bytes(s), std::string("TPF0\x05TItem\x00\x00\x00", 13));
    root.color = 0;  // differs from the declared default
    root.ch = 'b';
    s.Clear();
    TWriter w2(&s);
    w2.WriteRootComponent(&root);
    EXPECT_TRUE(HasName(s, "Color"));
    EXPECT_TRUE(HasName(s, "Ch"));
    EXPECT_FALSE(HasName(s, "Count"));
}

TEST_F(FilerTest, DescendentWritesOnlyDifferences) {
    TItem ancestor(nullptr);
    Fill(ancestor);
    auto* ancChild = new TItem(&ancestor);
    ancChild->SetName(L"Child");
    ancChild->count = 4;

    TItem root(nullptr);
    Fill(root);
    root.title = L"changed";
    root.lines.items.push_back(L"four");
    auto* child = new TItem(&root);
    child->SetName(L"Child");
    child->count = 4;
    child->extra = 1;

    TMemoryStream s;
    TWriter w(&s);
    w.WriteDescendent(&root, &ancestor);
    EXPECT_TRUE(HasName(s, "Title"));
    EXPECT_TRUE(HasName(s, "Lines.Items"));
    EXPECT_TRUE(HasName(s, "Extra"));  // the child's, which differs
    EXPECT_FALSE(HasName(s, "Caption"));
    EXPECT_FALSE(HasName(s, "Count"));
    EXPECT_FALSE(HasName(s, "Lines.Blob"));

    // Read over a copy of the ancestor, the descendent comes back whole.
    TItem target(nullptr);
    Fill(target);
    auto* targetChild = new TItem(&target);
    targetChild->SetName(L"Child");
    targetChild->count = 4;
    s.SetPosition(0);
    TReader r(&s);
    r.ReadRootComponent(&target);
    ExpectSame(target, root);
    EXPECT_EQ(targetChild->extra, 1);
    EXPECT_EQ(targetChild->count, 4);
}

// A stream of one TItem named Root with the given properties written by fn.
std::unique_ptr<TMemoryStream> ItemStream(const std::function<void(TWriter&)>& fn) {
    auto s = std::make_unique<TMemoryStream>();
    TWriter w(s.get());
    s->WriteBuffer("TPF0", 4);
    w.WriteStr(L"TItem");
    w.WriteStr(L"Root");
    fn(w);
    w.WriteListEnd();
    w.WriteListEnd();
    s->SetPosition(0);
    return s;
}

std::wstring ReadError(TMemoryStream* s, TItem& root) {
    TReader r(s);
    return MessageOf<EReadError>([&] { r.ReadRootComponent(&root); });
}

TEST_F(FilerTest, UnknownPropertiesAndBadValuesAreReported) {
    struct Case {
        std::function<void(TWriter&)> write;
        const wchar_t* message;
    };
    const Case cases[] = {
        {[](TWriter& w) { w.WriteStr(L"Bogus"); w.WriteInteger(1); },
         L"Error reading Root.Bogus: Property Bogus does not exist"},
        {[](TWriter& w) { w.WriteStr(L"Lines.Nope"); w.WriteInteger(1); },
         L"Error reading Root.Lines.Nope: Property Nope does not exist"},
        {[](TWriter& w) { w.WriteStr(L"Nope.Items"); w.WriteInteger(1); },
         L"Error reading Root.Nope.Items: Property Nope does not exist"},
        {[](TWriter& w) { w.WriteStr(L"Count.Items"); w.WriteInteger(1); },
         L"Error reading Root.Count.Items: Property Count does not exist"},
        {[](TWriter& w) { w.WriteStr(L"Count"); w.WriteString("12"); },
         L"Error reading Root.Count: Invalid property value"},
        {[](TWriter& w) { w.WriteStr(L"Color"); w.WriteIdent(L"clPink"); },
         L"Error reading Root.Color: Invalid property value"},
        {[](TWriter& w) { w.WriteStr(L"Flag"); w.WriteInteger(1); },
         L"Error reading Root.Flag: Invalid property value"},
        {[](TWriter& w) { w.WriteStr(L"Lines"); w.WriteInteger(1); },
         L"Error reading Root.Lines: Invalid property value"},
        {[](TWriter& w) { w.WriteStr(L"Fixed"); w.WriteInteger(1); },
         L"Error reading Root.Fixed: Property is read-only"},
        {[](TWriter& w) { w.WriteStr(L"Extra"); w.WriteString("x"); },
         L"Error reading Root.Extra: Invalid property value"},
        {[](TWriter& w) { w.WriteStr(L"Lines.Blob"); w.WriteInteger(1); },
         L"Error reading Root.Lines.Blob: Invalid property value"},
        {[](TWriter& w) { w.WriteStr(L"Lines.Items"); w.WriteListBegin(); w.WriteInteger(5); w.WriteListEnd(); },
         L"Error reading Root.Lines.Items: Invalid property value"},
    };
    for (const auto& c : cases) {
        auto s = ItemStream(c.write);
        TItem root(nullptr);
        EXPECT_EQ(ReadError(s.get(), root), c.message);
        EXPECT_EQ(root.loadedCalls, 0);
        EXPECT_FALSE(root.HasState(csLoading) || root.HasState(csReading));
    }
    // Property names are matched regardless of case, published and defined alike.
    auto s = ItemStream([](TWriter& w) {
        w.WriteStr(L"COUNT");
        w.WriteInteger(3);
        w.WriteStr(L"lines.items");
        w.WriteListBegin();
        w.WriteString("a");
        w.WriteListEnd();
    });
    TItem root(nullptr);
    TReader r(s.get());
    r.ReadRootComponent(&root);
    EXPECT_EQ(root.count, 3);
    EXPECT_EQ(root.lines.items, std::vector<std::wstring>{L"a"});
}

TEST_F(FilerTest, ChildrenOfUnknownClassOrWithBadPropertiesAreNotKept) {
    {
        auto s = std::make_unique<TMemoryStream>();
        TWriter w(s.get());
        s->WriteBuffer("TPF0", 4);
        w.WriteStr(L"TItem");
        w.WriteStr(L"Root");
        w.WriteListEnd();
        w.WriteStr(L"TNope");
        w.WriteStr(L"Kid");
        w.WriteListEnd();
        w.WriteListEnd();
        w.WriteListEnd();
        s->SetPosition(0);
        TItem root(nullptr);
        TReader r(s.get());
        EXPECT_EQ(MessageOf<EClassNotFound>([&] { r.ReadRootComponent(&root); }), L"Class TNope not found");
        EXPECT_EQ(root.ComponentCount(), 0);
        EXPECT_FALSE(root.HasState(csLoading));
    }
    {
        auto s = std::make_unique<TMemoryStream>();
        TWriter w(s.get());
        s->WriteBuffer("TPF0", 4);
        w.WriteStr(L"TItem");
        w.WriteStr(L"Root");
        w.WriteListEnd();
        w.WriteStr(L"TItem");
        w.WriteStr(L"Kid");
        w.WriteStr(L"Bogus");
        w.WriteInteger(1);
        w.WriteListEnd();
        w.WriteListEnd();
        w.WriteListEnd();
        s->SetPosition(0);
        TItem root(nullptr);
        EXPECT_EQ(ReadError(s.get(), root), L"Error reading Kid.Bogus: Property Bogus does not exist");
        EXPECT_EQ(root.ComponentCount(), 0);
    }
}

TEST_F(FilerTest, BadSignature) {
    TMemoryStream s;
    s.WriteBuffer("TPF1\x05TItem\x00\x00\x00", 13);
    s.SetPosition(0);
    TItem root(nullptr);
    EXPECT_EQ(ReadError(&s, root), L"Invalid stream format");
}

TEST_F(FilerTest, TruncatedAndCorruptedStreamsNeverCrash) {
    TMemoryStream full;
    {
        TItem root(nullptr);
        root.SetName(L"Root");
        Fill(root);
        auto* child = new TItem(&root);
        child->SetName(L"Child");
        child->count = 9;
        TWriter w(&full);
        w.WriteRootComponent(&root);
    }
    const std::vector<std::uint8_t> bytes = full.Bytes();
    for (size_t len = 0; len < bytes.size(); ++len) {
        TMemoryStream s;
        if (len > 0) s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(len));
        s.SetPosition(0);
        TItem root(nullptr);
        TReader r(&s);
        EXPECT_THROW(r.ReadRootComponent(&root), EReadError) << "length " << len;
        EXPECT_EQ(root.loadedCalls, 0);
        EXPECT_FALSE(root.HasState(csReading));
    }
    // Every byte replaced by a few hostile values: an error or a load, nothing else.
    std::mt19937 random(12345);
    int failures = 0;
    for (size_t pos = 4; pos < bytes.size(); ++pos) {
        for (int k = 0; k < 3; ++k) {
            std::vector<std::uint8_t> bad = bytes;
            bad[pos] = k == 0 ? 0xFF : k == 1 ? 0x7F : static_cast<std::uint8_t>(random());
            TMemoryStream s;
            s.WriteBuffer(bad.data(), static_cast<std::int32_t>(bad.size()));
            s.SetPosition(0);
            TItem root(nullptr);
            TReader r(&s);
            try {
                r.ReadRootComponent(&root);
            } catch (const Exception&) {
                ++failures;
            }
        }
    }
    EXPECT_GT(failures, 0);
}

// A component with a component reference (what a control's Action is).
class TLinker : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TLinker)
    using TComponent::TComponent;
    TComponent* target = nullptr;
    TComponent* targetAtLoaded = nullptr;
    void Loaded() override {
        targetAtLoaded = target;
        TComponent::Loaded();
    }
};

class ReferenceTest : public FilerTest {
protected:
    void SetUp() override {
        FilerTest::SetUp();
        TPropInfo target;
        target.Name = L"Target";
        target.Kind = tkClass;
        target.Getter = [](TPersistent* o) -> TPropValue { return static_cast<TPersistent*>(static_cast<TLinker*>(o)->target); };
        target.Setter = [](TPersistent* o, const TPropValue& v) {
            static_cast<TLinker*>(o)->target = dynamic_cast<TComponent*>(std::get<TPersistent*>(v));
        };
        RegisterPublishedProperties(L"TLinker", L"TComponent", {target});
        RegisterComponentClass(L"TLinker", [](TComponent* owner) { return new TLinker(owner); });
    }
    void TearDown() override {
        UnregisterPublishedProperties(L"TLinker");
        UnregisterComponentClass(L"TLinker");
        FilerTest::TearDown();
    }
};

TEST_F(ReferenceTest, ComponentReferencesAreWrittenByNameAndResolvedBeforeLoaded) {
    TMemoryStream s;
    {
        TLinker root(nullptr);
        root.SetName(L"Root");
        auto* first = new TLinker(&root);
        first->SetName(L"First");
        auto* second = new TLinker(&root);
        second->SetName(L"Second");
        first->target = second;  // a component written after it
        second->target = &root;  // the root itself
        TLinker stranger(nullptr);
        stranger.SetName(L"Stranger");
        root.target = &stranger;  // not the root's: the reader could not find it, so not written
        TWriter w(&s);
        w.WriteRootComponent(&root);
        EXPECT_FALSE(HasName(s, "Stranger"));
    }
    s.SetPosition(0);
    TLinker root(nullptr);
    TReader r(&s);
    r.ReadRootComponent(&root);
    auto* first = dynamic_cast<TLinker*>(root.FindComponent(L"First"));
    auto* second = dynamic_cast<TLinker*>(root.FindComponent(L"Second"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->target, second);
    EXPECT_EQ(first->targetAtLoaded, second);  // resolved before Loaded
    EXPECT_EQ(second->target, &root);
    EXPECT_EQ(root.target, nullptr);
}

TEST_F(ReferenceTest, AReferenceToNoComponentFailsTheWholeRead) {
    TMemoryStream s;
    TWriter w(&s);
    s.WriteBuffer("TPF0", 4);
    w.WriteStr(L"TLinker");
    w.WriteStr(L"Root");
    w.WriteListEnd();
    w.WriteStr(L"TLinker");
    w.WriteStr(L"Made");
    w.WriteStr(L"Target");
    w.WriteIdent(L"Nobody");
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
    s.SetPosition(0);
    TLinker root(nullptr);
    TReader r(&s);
    EXPECT_EQ(MessageOf<EReadError>([&] { r.ReadRootComponent(&root); }),
              L"Error reading Made.Target: Component Nobody not found");
    EXPECT_EQ(root.ComponentCount(), 0);  // what the read made is gone
    EXPECT_FALSE(root.HasState(csLoading));
    // A reference property given a value that is no name is refused as a bad value.
    TMemoryStream bad;
    TWriter bw(&bad);
    bad.WriteBuffer("TPF0", 4);
    bw.WriteStr(L"TLinker");
    bw.WriteStr(L"Root");
    bw.WriteStr(L"Target");
    bw.WriteInteger(5);
    bw.WriteListEnd();
    bw.WriteListEnd();
    bad.SetPosition(0);
    TReader br(&bad);
    EXPECT_EQ(MessageOf<EReadError>([&] { br.ReadRootComponent(&root); }),
              L"Error reading Root.Target: Invalid property value");
}

TEST_F(FilerTest, RedeclaredPropertiesReplaceTheirParentsAndClassesChainByName) {
    RegisterPublishedProperties(L"TItem3", L"TItem", {MemberProp(L"Caption", tkWString, &TItem::title)});
    struct TItem3 : TItem {
        using TItem::TItem;
        std::wstring ClassName() const override { return L"TItem3"; }
    } derived(nullptr);
    TItem base(nullptr);
    auto baseProps = GetPropInfos(&base);
    auto props = GetPropInfos(&derived);
    ASSERT_EQ(props.size(), baseProps.size());
    for (size_t i = 0; i < props.size(); ++i) EXPECT_EQ(props[i]->Name, baseProps[i]->Name);
    EXPECT_EQ(GetPropInfo(&derived, L"Caption")->Kind, tkWString);
    EXPECT_EQ(GetClassPropInfo(L"TItem", L"Caption")->Kind, tkLString);
    EXPECT_EQ(GetClassPropInfo(L"TItem3", L"Count")->Name, L"Count");
    EXPECT_EQ(GetClassPropInfo(L"TNoSuchClass", L"Count"), nullptr);
    EXPECT_EQ(ClassNameChain(L"TItem3"), (std::vector<std::wstring>{L"TItem3", L"TItem", L"TComponent"}));
    EXPECT_EQ(ClassNameChain(L"TUnregistered"), (std::vector<std::wstring>{L"TUnregistered"}));
    UnregisterPublishedProperties(L"TItem3");
}

class TResBase : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TResBase)
    using TComponent::TComponent;
};

class TResDerived : public TResBase {
public:
    CLASSLIB_CLASS_NAME(TResDerived)
    using TResBase::TResBase;
};

TEST_F(ReferenceTest, FormResourcesAreReadAncestorFirst) {
    RegisterPublishedProperties(L"TResBase", L"TComponent", {});
    RegisterPublishedProperties(L"TResDerived", L"TResBase", {});
    {
        TResDerived root(nullptr);
        ASSERT_TRUE(InitInheritedComponent(&root, L"TComponent"));
        EXPECT_EQ(root.Name(), L"Base");
        auto* shared = dynamic_cast<TLinker*>(root.FindComponent(L"Shared"));
        ASSERT_NE(shared, nullptr);
        EXPECT_NE(root.FindComponent(L"BaseOnly"), nullptr);   // from the ancestor's stream
        EXPECT_EQ(shared->target, root.FindComponent(L"Extra"));  // the descendant's value wins
        EXPECT_EQ(root.ComponentCount(), 3);
        // Only the ancestor's: the chain stops at the root ancestor given.
        TResDerived partly(nullptr);
        ASSERT_TRUE(InitInheritedComponent(&partly, L"TResBase"));
        EXPECT_EQ(partly.FindComponent(L"BaseOnly"), nullptr);
        EXPECT_NE(partly.FindComponent(L"Extra"), nullptr);
        // A class without a stream of its own or its ancestors'.
        TComponent plain(nullptr);
        EXPECT_FALSE(InitInheritedComponent(&plain, L"TPersistent"));
        EXPECT_FALSE(ReadComponentRes(L"TNOSUCHFORM", &plain));
    }
    UnregisterPublishedProperties(L"TResBase");
    UnregisterPublishedProperties(L"TResDerived");
}

TEST_F(ReferenceTest, ResourceStreamsReadTheirBytesAndRefuseWrites) {
    TResourceStream stream(GetModuleHandleW(nullptr), L"TResBase", MAKEINTRESOURCEW(10));
    char signature[4] = {};
    EXPECT_EQ(stream.Read(signature, 4), 4);
    EXPECT_EQ(std::string(signature, 4), "TPF0");
    EXPECT_GT(stream.Size(), 20);
    EXPECT_EQ(stream.Seek(0, TSeekOrigin::soEnd), stream.Size());
    EXPECT_EQ(stream.Read(signature, 4), 0);
    EXPECT_EQ(MessageOf<EStreamError>([&] { stream.Write("x", 1); }), L"Can't write to a read-only resource stream");
    EXPECT_EQ(MessageOf<EResNotFound>([] { TResourceStream missing(GetModuleHandleW(nullptr), L"MISSING", MAKEINTRESOURCEW(10)); }),
              L"Resource MISSING not found");
    // A resource that does not read is an error of the read, and leaves nothing behind.
    TLinker root(nullptr);
    EXPECT_EQ(MessageOf<EReadError>([&] { ReadComponentRes(L"TRESBROKEN", &root); }),
              L"Error reading Broken.Count: Property Count does not exist");
}

TEST_F(FilerTest, PublishedPropertyTable) {
    TItem item(nullptr);
    auto props = GetPropInfos(&item);
    ASSERT_GE(props.size(), 3u);
    EXPECT_EQ(props[0]->Name, L"Count");
    EXPECT_EQ(props[1]->Name, L"Big");
    EXPECT_EQ(GetPropInfo(&item, L"title")->Kind, tkWString);
    EXPECT_EQ(GetPropInfo(&item, L"Nothing"), nullptr);
    EXPECT_TRUE(InheritsFromClass(&item, L"TComponent"));
    EXPECT_TRUE(InheritsFromClass(&item, L"TItem"));
    EXPECT_FALSE(InheritsFromClass(&item, L"TLines"));
    TComponent plain(nullptr);
    EXPECT_TRUE(GetPropInfos(&plain).empty());
    // A derived class sees its parent's properties first; its own redeclaration wins by name.
    RegisterPublishedProperties(L"TItem2", L"TItem", {MemberProp(L"Extra2", tkInteger, &TItem::extra)});
    struct TItem2 : TItem {
        using TItem::TItem;
        std::wstring ClassName() const override { return L"TItem2"; }
    } derived(nullptr);
    auto derivedProps = GetPropInfos(&derived);
    EXPECT_EQ(derivedProps.size(), props.size() + 1);
    EXPECT_EQ(derivedProps.back()->Name, L"Extra2");
    EXPECT_TRUE(InheritsFromClass(&derived, L"TItem"));
    UnregisterPublishedProperties(L"TItem2");
}

}  // namespace
