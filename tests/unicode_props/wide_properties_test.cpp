// Wide component properties: companion properties in form streams, synced wide texts, helper
// components, and the "Strings" form property of wide lists.
#include <gtest/gtest.h>

#include "exception_text.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/streams.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"

using namespace classlib;
using namespace unicode;

namespace {

using quill_test::MessageOf;

// A small wide list with the operations the streaming helpers are wired to.
class TSmallList : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TSmallList)
    std::vector<std::wstring> lines;
    int updateCount = 0;
    int updates = 0;

    int Count() const { return static_cast<int>(lines.size()); }
    std::wstring Get(int Index) const { return lines.at(static_cast<size_t>(Index)); }
    void Clear() { lines.clear(); }
    void Add(const std::wstring& S) { lines.push_back(S); }
    void SetTextStr(const std::wstring& Text) {
        lines.clear();
        std::wstring line;
        for (size_t i = 0; i < Text.size(); ++i) {
            if (Text[i] == L'\r' || Text[i] == L'\n') {
                lines.push_back(line);
                line.clear();
                if (Text[i] == L'\r' && i + 1 < Text.size() && Text[i + 1] == L'\n') ++i;
            } else {
                line += Text[i];
            }
        }
        if (!line.empty()) lines.push_back(line);
    }
    void BeginUpdate() {
        ++updateCount;
        ++updates;
    }
    void EndUpdate() { --updateCount; }
    bool Equals(const TSmallList* Other) const { return Other->lines == lines; }

    void DefineProperties(TFiler* Filer) override {
        DefineWideStringsProperty(Filer, WideStringsFilingOf(this));
        DefineLegacyWideStringsProperties(Filer, WideStringsFilingOf(this));
    }
};

// A control with a wide caption, two wide characters and a wide list.
class TWideCtl : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TWideCtl)
    using TComponent::TComponent;
    std::wstring caption;
    wchar_t sep = L',';
    wchar_t mark = L'\0';
    bool storeMark = true;
    TSmallList lines;
    void DefineProperties(TFiler* Filer) override { UcPersistent_DefineWideProperties(Filer, this); }
};

TPropInfo WideCharProp(const wchar_t* name, wchar_t TWideCtl::*member, std::int32_t dflt) {
    TPropInfo p;
    p.Name = name;
    p.Kind = tkWChar;
    p.Default = dflt;
    p.Getter = [member](TPersistent* o) -> TPropValue {
        return static_cast<std::int64_t>(static_cast<TWideCtl*>(o)->*member);
    };
    p.Setter = [member](TPersistent* o, const TPropValue& v) {
        static_cast<TWideCtl*>(o)->*member = static_cast<wchar_t>(std::get<std::int64_t>(v));
    };
    return p;
}

class WidePropsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TPropInfo caption;
        caption.Name = L"Caption";
        caption.Kind = tkWString;
        caption.Getter = [](TPersistent* o) -> TPropValue { return static_cast<TWideCtl*>(o)->caption; };
        caption.Setter = [](TPersistent* o, const TPropValue& v) {
            static_cast<TWideCtl*>(o)->caption = std::get<std::wstring>(v);
        };
        TPropInfo sep = WideCharProp(L"Sep", &TWideCtl::sep, L',');
        TPropInfo mark = WideCharProp(L"Mark", &TWideCtl::mark, NoDefault);
        mark.Stored = [](TPersistent* o) { return static_cast<TWideCtl*>(o)->storeMark; };
        TPropInfo lines;
        lines.Name = L"Lines";
        lines.Kind = tkClass;
        lines.Getter = [](TPersistent* o) -> TPropValue {
            return static_cast<TPersistent*>(&static_cast<TWideCtl*>(o)->lines);
        };
        RegisterPublishedProperties(L"TWideCtl", L"TComponent", {caption, sep, mark, lines});
    }
    void TearDown() override { UnregisterPublishedProperties(L"TWideCtl"); }

    static std::string Bytes(const TMemoryStream& s) { return std::string(s.Bytes().begin(), s.Bytes().end()); }
    static bool HasName(const TMemoryStream& s, const std::string& name) {
        return Bytes(s).find(static_cast<char>(name.size()) + name) != std::string::npos;
    }
    static std::unique_ptr<TMemoryStream> Written(TWideCtl& ctl, TWideCtl* ancestor = nullptr) {
        auto s = std::make_unique<TMemoryStream>();
        TWriter w(s.get());
        w.WriteDescendent(&ctl, ancestor);
        s->SetPosition(0);
        return s;
    }
    // A stream of one TWideCtl named Ctl whose properties fn writes.
    static std::unique_ptr<TMemoryStream> CtlStream(const std::function<void(TWriter&)>& fn) {
        auto s = std::make_unique<TMemoryStream>();
        TWriter w(s.get());
        s->WriteBuffer("TPF0", 4);
        w.WriteStr(L"TWideCtl");
        w.WriteStr(L"Ctl");
        fn(w);
        w.WriteListEnd();
        w.WriteListEnd();
        s->SetPosition(0);
        return s;
    }
    static void Read(TMemoryStream* s, TWideCtl& ctl) {
        TReader r(s);
        r.ReadRootComponent(&ctl);
    }
    static std::wstring ReadFailure(TMemoryStream* s) {
        TWideCtl ctl(nullptr);
        TReader r(s);
        return MessageOf<EReadError>([&] { r.ReadRootComponent(&ctl); });
    }
};

TEST_F(WidePropsTest, StringCompanionsLoadButCaptionWins) {
    for (bool companionsFirst : {false, true}) {
        auto companions = [](TWriter& w) {
            w.WriteStr(L"CaptionW");
            w.WriteString("\xc3\xa9" "other");
            w.WriteStr(L"Caption_UTF7");
            w.WriteString("+Z-");  // malformed, but dropped before any decoding
        };
        auto s = CtlStream([&](TWriter& w) {
            if (companionsFirst) companions(w);
            w.WriteStr(L"Caption");
            w.WriteWideString(L"Real \u4e2d");
            if (!companionsFirst) companions(w);
        });
        TWideCtl ctl(nullptr);
        Read(s.get(), ctl);
        EXPECT_EQ(ctl.caption, L"Real \u4e2d");
    }
    // Companions alone change nothing.
    auto s = CtlStream([](TWriter& w) {
        w.WriteStr(L"CaptionW");
        w.WriteUTF8String("x");
    });
    TWideCtl ctl(nullptr);
    ctl.caption = L"kept";
    Read(s.get(), ctl);
    EXPECT_EQ(ctl.caption, L"kept");
    // Only companions of properties that exist are accepted.
    auto bogus = CtlStream([](TWriter& w) {
        w.WriteStr(L"TitleW");
        w.WriteString("x");
    });
    EXPECT_EQ(ReadFailure(bogus.get()), L"Error reading Ctl.TitleW: Property TitleW does not exist");
}

TEST_F(WidePropsTest, WideCharCompanionWrittenOnlyWhenNotDefault) {
    TWideCtl ctl(nullptr);
    ctl.SetName(L"Ctl");
    ctl.caption = L"text";
    ctl.storeMark = false;
    auto s = Written(ctl);
    EXPECT_FALSE(HasName(*s, "SepW"));
    EXPECT_FALSE(HasName(*s, "Sep"));
    EXPECT_FALSE(HasName(*s, "CaptionW"));  // string companions are never written
    EXPECT_FALSE(HasName(*s, "Caption_UTF7"));

    ctl.sep = L'\u03a9';
    s = Written(ctl);
    EXPECT_NE(Bytes(*s).find(std::string("\x04SepW\x12\x01\x00\x00\x00\xa9\x03", 12)), std::string::npos);
    EXPECT_FALSE(HasName(*s, "Sep_UTF7"));
    EXPECT_FALSE(HasName(*s, "MarkW"));  // not stored
    TWideCtl back(nullptr);
    Read(s.get(), back);
    EXPECT_EQ(back.sep, L'\u03a9');
    EXPECT_EQ(back.caption, L"text");

    // Without a declared default any stored value is written, the zero character included.
    ctl.storeMark = true;
    s = Written(ctl);
    EXPECT_NE(Bytes(*s).find(std::string("\x05MarkW\x12\x01\x00\x00\x00\x00\x00", 13)), std::string::npos);
}

TEST_F(WidePropsTest, WideCharCompanionAgainstAncestor) {
    TWideCtl ancestor(nullptr);
    ancestor.storeMark = false;
    ancestor.sep = L'\u03a9';
    TWideCtl ctl(nullptr);
    ctl.storeMark = false;
    ctl.sep = L'\u03a9';
    EXPECT_FALSE(HasName(*Written(ctl, &ancestor), "SepW"));
    ancestor.sep = L',';
    EXPECT_TRUE(HasName(*Written(ctl, &ancestor), "SepW"));
    // Equal to the declared default but not to the ancestor: written, so that it overrides.
    ctl.sep = L',';
    ancestor.sep = L';';
    EXPECT_TRUE(HasName(*Written(ctl, &ancestor), "SepW"));
}

TEST_F(WidePropsTest, ReadingWideCharCompanions) {
    struct Case {
        std::function<void(TWriter&)> value;
        wchar_t expected;
    };
    const Case good[] = {
        {[](TWriter& w) { w.WriteString("x"); }, L'x'},
        {[](TWriter& w) { w.WriteString(""); }, L'\0'},
        {[](TWriter& w) { w.WriteString("\xe9"); }, L'\u00e9'},
        {[](TWriter& w) { w.WriteWideString(L"\u03a9"); }, L'\u03a9'},
        {[](TWriter& w) { w.WriteWideString(L""); }, L'\0'},
    };
    for (const auto& c : good) {
        auto s = CtlStream([&](TWriter& w) {
            w.WriteStr(L"SepW");
            c.value(w);
        });
        TWideCtl ctl(nullptr);
        Read(s.get(), ctl);
        EXPECT_EQ(ctl.sep, c.expected);
    }
    const std::function<void(TWriter&)> bad[] = {
        [](TWriter& w) { w.WriteInteger(65); },
        [](TWriter& w) { w.WriteString("ab"); },
        [](TWriter& w) { w.WriteWideString(L"ab"); },
        [](TWriter& w) { w.WriteUTF8String("a"); },
        [](TWriter& w) { w.WriteBoolean(true); },
    };
    for (const auto& value : bad) {
        auto s = CtlStream([&](TWriter& w) {
            w.WriteStr(L"SepW");
            value(w);
        });
        EXPECT_EQ(ReadFailure(s.get()), L"Error reading Ctl.SepW: Invalid property value");
    }
    // Long ANSI text: a long-string value is no string companion either.
    auto s = CtlStream([](TWriter& w) {
        w.WriteStr(L"SepW");
        w.WriteString(std::string(300, 'a'));
    });
    EXPECT_EQ(ReadFailure(s.get()), L"Error reading Ctl.SepW: Invalid property value");
}

TEST_F(WidePropsTest, ReadingUtf7Companions) {
    auto utf7 = [](const std::string& text) {
        return CtlStream([=](TWriter& w) {
            w.WriteStr(L"Sep_UTF7");
            w.WriteString(text);
        });
    };
    TWideCtl ctl(nullptr);
    auto s = utf7("+A6k-");
    Read(s.get(), ctl);
    EXPECT_EQ(ctl.sep, L'\u03a9');
    s = utf7("");
    Read(s.get(), ctl);
    EXPECT_EQ(ctl.sep, L'\0');
    s = utf7("ab");  // the first character is taken
    Read(s.get(), ctl);
    EXPECT_EQ(ctl.sep, L'a');
    s = utf7("+Z-");
    EXPECT_EQ(ReadFailure(s.get()), L"Error reading Ctl.Sep_UTF7: Invalid UTF7");
    s = utf7("\xe9");
    EXPECT_EQ(ReadFailure(s.get()), L"Error reading Ctl.Sep_UTF7: Invalid UTF7");
}

TEST(SyncedWideString, GetFollowsTheAnsiText) {
    std::wstring wide = L"abc";
    EXPECT_EQ(GetSyncedWideString(wide, "xyz"), L"xyz");
    EXPECT_EQ(wide, L"xyz");
    // A wide text whose ANSI form is the ANSI text stays as it is.
    const std::wstring cjk = L"\u4e2d";
    const std::string substitute = WideToAnsi(cjk, DefaultSystemCodePage());
    if (AnsiToWide(substitute, DefaultSystemCodePage()) == cjk) GTEST_SKIP() << "code page holds the test text";
    wide = cjk;
    EXPECT_EQ(GetSyncedWideString(wide, substitute), cjk);
    EXPECT_EQ(wide, cjk);
}

TEST(SyncedWideString, SetCallsTheAnsiSetterAsNeeded) {
    const std::wstring cjk = L"\u4e2d";
    const std::string substitute = WideToAnsi(cjk, DefaultSystemCodePage());
    if (AnsiToWide(substitute, DefaultSystemCodePage()) == cjk) GTEST_SKIP() << "code page holds the test text";
    ASSERT_FALSE(substitute.empty());

    std::vector<std::string> calls;
    std::string ansi;
    auto setter = [&](const std::string& v) {
        calls.push_back(v);
        ansi = v;
    };
    // No ANSI form, and its substitute is already the ANSI text: empty first, then the substitute.
    std::wstring wide = AnsiToWide(substitute, DefaultSystemCodePage());
    ansi = substitute;
    SetSyncedWideString(cjk, wide, ansi, setter);
    EXPECT_EQ(calls, (std::vector<std::string>{"", substitute}));
    EXPECT_EQ(wide, cjk);
    EXPECT_EQ(ansi, substitute);
    // The same value again: nothing happens.
    calls.clear();
    SetSyncedWideString(cjk, wide, ansi, setter);
    EXPECT_TRUE(calls.empty());
    // An ANSI-representable text: one call.
    SetSyncedWideString(L"plain", wide, ansi, setter);
    EXPECT_EQ(calls, (std::vector<std::string>{"plain"}));
    EXPECT_EQ(wide, L"plain");
    // No ANSI form, substitute differs from the ANSI text: one call.
    calls.clear();
    SetSyncedWideString(cjk, wide, ansi, setter);
    EXPECT_EQ(calls, (std::vector<std::string>{substitute}));
    // The substitute itself in place of the text without an ANSI form: the control must still
    // see a change, or it would go on showing the old text.
    calls.clear();
    SetSyncedWideString(AnsiToWide(substitute, DefaultSystemCodePage()), wide, ansi, setter);
    EXPECT_EQ(calls, (std::vector<std::string>{"", substitute}));
    EXPECT_EQ(wide, AnsiToWide(substitute, DefaultSystemCodePage()));
    // The ANSI text changed behind the wide one's back: the wide text follows before comparing.
    calls.clear();
    ansi = "other";
    SetSyncedWideString(L"other", wide, ansi, setter);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(wide, L"other");
}

class TServed : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TServed)
    using TComponent::TComponent;
};

TEST(WideComponentHelper, PlainConstructorIsRefused) {
    EXPECT_EQ(MessageOf<EUcInternalError>([] { TWideComponentHelper helper(nullptr); }),
              L"UC Internal Error: TWideComponentHelper.Create should never be encountered.");
    TComponent owner(nullptr);
    EXPECT_THROW(TWideComponentHelper helper(&owner), EUcInternalError);
    EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(WideComponentHelper, ListStaysOrderedAndFollowsServedComponents) {
    auto list = std::make_unique<TWideComponentHelperList>();
    std::vector<TServed*> served;
    std::vector<TWideComponentHelper*> helpers;
    for (int i = 0; i < 24; ++i) {
        served.push_back(new TServed(nullptr));
        helpers.push_back(new TWideComponentHelper(served.back(), list.get()));
    }
    ASSERT_EQ(list->Count(), 24);
    for (int i = 1; i < list->Count(); ++i)
        EXPECT_LT(reinterpret_cast<std::uintptr_t>(list->Helpers(i - 1)->Component()),
                  reinterpret_cast<std::uintptr_t>(list->Helpers(i)->Component()));
    for (size_t i = 0; i < served.size(); ++i) EXPECT_EQ(FindWideComponentHelper(list.get(), served[i]), helpers[i]);
    TServed stranger(nullptr);
    EXPECT_EQ(FindWideComponentHelper(list.get(), &stranger), nullptr);
    EXPECT_EQ(FindWideComponentHelper(list.get(), nullptr), nullptr);
    EXPECT_THROW(TWideComponentHelper twice(served[3], list.get()), EUcInternalError);
    EXPECT_EQ(list->Count(), 24);

    // A served component that goes takes its helper along; the others are still found.
    for (size_t i = 0; i < served.size(); i += 3) {
        delete served[i];
        served[i] = nullptr;
    }
    EXPECT_EQ(list->Count(), 16);
    for (size_t i = 0; i < served.size(); ++i) {
        if (served[i] != nullptr) {
            EXPECT_EQ(FindWideComponentHelper(list.get(), served[i]), helpers[i]);
        }
    }
    // A helper freed directly leaves the list and stops listening.
    delete helpers[1];
    EXPECT_EQ(list->Count(), 15);
    EXPECT_EQ(FindWideComponentHelper(list.get(), served[1]), nullptr);
    delete served[1];
    served[1] = nullptr;
    // The list frees the remaining helpers; their components can go afterwards.
    list.reset();
    for (TServed* s : served) delete s;
}

TEST(WideComponentHelper, AddressesAboveFourGigabytesAreDistinct) {
    if (sizeof(void*) < 8) GTEST_SKIP() << "64-bit addresses only";
    // Two components whose addresses share their low 32 bits.
    const std::uint64_t bases[] = {0x380000000ull, 0x580000000ull};
    void* blocks[2] = {};
    for (int i = 0; i < 2; ++i) {
        blocks[i] = VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(bases[i])), 65536,
                                 MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (blocks[i] == nullptr) {
            if (blocks[0]) VirtualFree(blocks[0], 0, MEM_RELEASE);
            GTEST_SKIP() << "address range not available";
        }
    }
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(blocks[0]) & 0xFFFFFFFFu,
              reinterpret_cast<std::uintptr_t>(blocks[1]) & 0xFFFFFFFFu);
    {
        TWideComponentHelperList list;
        auto* high = new (blocks[1]) TServed(nullptr);
        auto* low = new (blocks[0]) TServed(nullptr);
        auto* heap = new TServed(nullptr);
        auto* hHigh = new TWideComponentHelper(high, &list);
        auto* hLow = new TWideComponentHelper(low, &list);
        auto* hHeap = new TWideComponentHelper(heap, &list);
        ASSERT_EQ(list.Count(), 3);
        EXPECT_EQ(FindWideComponentHelper(&list, low), hLow);
        EXPECT_EQ(FindWideComponentHelper(&list, high), hHigh);
        EXPECT_EQ(FindWideComponentHelper(&list, heap), hHeap);
        for (int i = 1; i < list.Count(); ++i)
            EXPECT_LT(reinterpret_cast<std::uintptr_t>(list.Helpers(i - 1)->Component()),
                      reinterpret_cast<std::uintptr_t>(list.Helpers(i)->Component()));
        high->~TServed();
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(FindWideComponentHelper(&list, low), hLow);
        low->~TServed();
        delete heap;
        EXPECT_EQ(list.Count(), 0);
    }
    VirtualFree(blocks[0], 0, MEM_RELEASE);
    VirtualFree(blocks[1], 0, MEM_RELEASE);
}

// --- "Strings" ---------------------------------------------------------------------------------

TEST_F(WidePropsTest, StringsRoundTripAsWideList) {
    TWideCtl ctl(nullptr);
    ctl.SetName(L"Ctl");
    ctl.storeMark = false;
    ctl.lines.lines = {L"a", L"\u03a9\u4e2d", L""};
    auto s = Written(ctl);
    const std::string bytes = Bytes(*s);
    // Name, list, first item as a wide string of one character.
    EXPECT_NE(bytes.find(std::string("\x0dLines.Strings\x01\x12\x01\x00\x00\x00" "a\x00", 22)), std::string::npos);
    EXPECT_FALSE(HasName(*s, "Lines.WideStrings"));
    EXPECT_FALSE(HasName(*s, "Lines.WideStringsW"));
    TWideCtl back(nullptr);
    back.lines.lines = {L"old"};
    Read(s.get(), back);
    EXPECT_EQ(back.lines.lines, ctl.lines.lines);
    EXPECT_EQ(back.lines.updateCount, 0);

    ctl.lines.lines.clear();
    EXPECT_FALSE(HasName(*Written(ctl), "Lines.Strings"));  // empty, no ancestor
}

TEST_F(WidePropsTest, StringsAgainstAncestor) {
    TWideCtl ancestor(nullptr);
    ancestor.storeMark = false;
    ancestor.lines.lines = {L"x", L"y"};
    TWideCtl ctl(nullptr);
    ctl.storeMark = false;
    ctl.lines.lines = {L"x", L"y"};
    EXPECT_FALSE(HasName(*Written(ctl, &ancestor), "Lines.Strings"));
    // Emptied in the descendent: written as an empty list, which empties the list when read.
    ctl.lines.lines.clear();
    auto s = Written(ctl, &ancestor);
    EXPECT_NE(Bytes(*s).find(std::string("\x0dLines.Strings\x01\x00", 16)), std::string::npos);
    TWideCtl back(nullptr);
    back.lines.lines = {L"x", L"y"};
    Read(s.get(), back);
    EXPECT_TRUE(back.lines.lines.empty());
}

TEST_F(WidePropsTest, StringsAcceptsTextsAndMixedLists) {
    struct Case {
        const wchar_t* name;
        std::function<void(TWriter&)> value;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"Lines.Strings", [](TWriter& w) { w.WriteString("one\r\ntwo"); }, {L"one", L"two"}},
        {L"Lines.Strings", [](TWriter& w) { w.WriteString(std::string(200, 'a') + "\n" + std::string(100, 'b')); },
         {std::wstring(200, L'a'), std::wstring(100, L'b')}},
        {L"Lines.Strings", [](TWriter& w) { w.WriteWideString(L"\u03a9\r\n\u4e2d\r\n"); }, {L"\u03a9", L"\u4e2d"}},
        {L"Lines.Strings",
         [](TWriter& w) {
             w.WriteListBegin();
             w.WriteString("\xe9");
             w.WriteWideString(L"\u4e2d");
             w.WriteString(std::string(256, 'c'));
             w.WriteListEnd();
         },
         {L"\u00e9", L"\u4e2d", std::wstring(256, L'c')}},
        {L"Lines.WideStrings", [](TWriter& w) { w.WriteWideString(L"legacy"); }, {L"legacy"}},
        {L"Lines.WideStringsW",
         [](TWriter& w) {
             w.WriteListBegin();
             w.WriteString("\xc3\xa9t\xc3\xa9");
             w.WriteString("\xe4\xb8\xad");
             w.WriteListEnd();
         },
         {L"\u00e9t\u00e9", L"\u4e2d"}},
    };
    for (const auto& c : cases) {
        auto s = CtlStream([&](TWriter& w) {
            w.WriteStr(c.name);
            c.value(w);
        });
        TWideCtl ctl(nullptr);
        Read(s.get(), ctl);
        EXPECT_EQ(ctl.lines.lines, c.expected) << c.name;
        EXPECT_EQ(ctl.lines.updateCount, 0);
    }
}

TEST_F(WidePropsTest, LegacyListsThatAreNotApplied) {
    // UTF-8 lines arrive too late: the list already has lines.
    auto s = CtlStream([](TWriter& w) {
        w.WriteStr(L"Lines.Strings");
        w.WriteWideString(L"first");
        w.WriteStr(L"Lines.WideStringsW");
        w.WriteListBegin();
        w.WriteString("late");
        w.WriteListEnd();
        w.WriteStr(L"Lines.WideStrings_UTF7");
        w.WriteListBegin();
        w.WriteString("+A6k-");
        w.WriteString("+Z-");  // never decoded
        w.WriteListEnd();
    });
    TWideCtl ctl(nullptr);
    Read(s.get(), ctl);
    EXPECT_EQ(ctl.lines.lines, std::vector<std::wstring>{L"first"});
}

TEST_F(WidePropsTest, BadStringsValuesLeaveTheListAlone) {
    const std::function<void(TWriter&)> bad[] = {
        [](TWriter& w) { w.WriteInteger(1); },
        [](TWriter& w) { w.WriteUTF8String("x"); },
        [](TWriter& w) {
            w.WriteListBegin();
            w.WriteString("ok");
            w.WriteInteger(2);
            w.WriteListEnd();
        },
        [](TWriter& w) {
            w.WriteListBegin();
            w.WriteListBegin();
            w.WriteListEnd();
            w.WriteListEnd();
        },
    };
    for (const auto& value : bad) {
        auto s = CtlStream([&](TWriter& w) {
            w.WriteStr(L"Lines.Strings");
            value(w);
        });
        TWideCtl ctl(nullptr);
        ctl.lines.lines = {L"keep"};
        TReader r(s.get());
        EXPECT_EQ(MessageOf<EReadError>([&] { r.ReadRootComponent(&ctl); }),
                  L"Error reading Ctl.Lines.Strings: Invalid property value");
        EXPECT_EQ(ctl.lines.lines, std::vector<std::wstring>{L"keep"});
        EXPECT_EQ(ctl.lines.updateCount, 0);
    }
    // A stream cut inside the list.
    auto s = CtlStream([](TWriter& w) {
        w.WriteStr(L"Lines.Strings");
        w.WriteListBegin();
        w.WriteWideString(L"abc");
    });
    TMemoryStream cut;
    cut.WriteBuffer(s->Bytes().data(), static_cast<std::int32_t>(s->Size() - 4));
    cut.SetPosition(0);
    EXPECT_EQ(ReadFailure(&cut), L"Error reading Ctl.Lines.Strings: Stream read error");
}

}  // namespace
