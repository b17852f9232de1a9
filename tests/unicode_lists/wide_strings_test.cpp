// The wide string list in memory: text rules, sorting and search, errors and their texts,
// notifications, name=value access, assignment between wide and ANSI lists, the ANSI view.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/exceptions.h"
#include "classlib/streams.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_strings.h"

namespace {

using unicode::TUcStringList;
using Wide = std::vector<std::wstring>;

Wide Lines(const unicode::TWideStrings& list) {
    Wide out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
    return out;
}

void FillSorted(TUcStringList& list, unicode::TDuplicates duplicates, const Wide& lines) {
    list.SetSorted(true);
    list.SetDuplicates(duplicates);
    for (const auto& s : lines) list.Add(s);
}

template <typename F>
std::wstring ErrorText(F&& f) {
    try {
        f();
    } catch (const classlib::EStringListError& e) {
        return e.Message();
    }
    return L"(no error)";
}

TEST(WideStringList, TextSplitsAtEveryBreak) {
    TUcStringList list;
    list.SetText(std::wstring(L"a\rb\nc\r\nd\u2028e"));
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b", L"c", L"d", L"e"}));
    list.SetText(std::wstring(L"a\n\rb"));
    EXPECT_EQ(Lines(list), (Wide{L"a", L"", L"b"}));
    list.SetText(std::wstring(L"a\r\n\u2028b\r\n"));  // CR LF U+2028 is one break; none at the end
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b"}));
    list.SetText(std::wstring(L"x\0y", 3));  // the text ends at U+0000
    EXPECT_EQ(Lines(list), (Wide{L"x"}));
    list.SetText(std::wstring());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Text(), L"");
}

TEST(WideStringList, TextJoinsWithCrLfAndGetTextIsDisposable) {
    TUcStringList list;
    list.Add(L"a");
    list.Add(L"");
    list.Add(L"\u00E9");
    EXPECT_EQ(list.Text(), L"a\r\n\r\n\u00E9\r\n");
    wchar_t* p = list.GetText();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::wstring(p), list.Text());
    unicode::WStrDispose(p);
    list.Clear();
    p = list.GetText();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], L'\0');
    unicode::WStrDispose(p);
}

TEST(WideStringList, SortedDuplicatesRules) {
    classlib::TObject first, second;
    TUcStringList ignore;
    FillSorted(ignore, unicode::dupIgnore, {L"b", L"a", L"c"});
    EXPECT_EQ(Lines(ignore), (Wide{L"a", L"b", L"c"}));
    EXPECT_EQ(ignore.Add(L"B"), 1);  // equal without case: the existing index, nothing added
    EXPECT_EQ(ignore.Count(), 3);

    TUcStringList accept;
    FillSorted(accept, unicode::dupAccept, {L"a", L"c"});
    accept.AddObject(L"b", &first);
    EXPECT_EQ(accept.AddObject(L"b", &second), 1);  // before the existing equal item
    EXPECT_EQ(accept.Objects(1), &second);
    EXPECT_EQ(accept.Objects(2), &first);

    TUcStringList error;
    FillSorted(error, unicode::dupError, {L"a"});
    EXPECT_EQ(ErrorText([&] { error.Add(L"A"); }), L"String list does not allow duplicates");
    EXPECT_EQ(error.Count(), 1);
}

TEST(WideStringList, SwitchingSortedOnSortsOnce) {
    TUcStringList list;
    list.SetText(std::wstring(L"pear\r\nApple\r\nfig\r\n"));
    list.SetSorted(true);
    EXPECT_EQ(Lines(list), (Wide{L"Apple", L"fig", L"pear"}));
    list.SetSorted(false);
    list.Add(L"banana");
    EXPECT_EQ(list.Strings(3), L"banana");  // unsorted again: appended
}

TEST(WideStringList, FindIndexOfAndIndexOfName) {
    for (bool sorted : {false, true}) {
        SCOPED_TRACE(sorted ? "sorted" : "unsorted");
        TUcStringList list;
        list.SetSorted(sorted);
        list.Add(L"kx=2");
        list.Add(L"k=1");
        list.Add(L"k");
        list.Add(L"abc");
        int k1 = list.IndexOf(L"k=1");
        ASSERT_GE(k1, 0);
        EXPECT_EQ(list.IndexOfName(L"k"), k1);
        EXPECT_EQ(list.IndexOfName(L"K"), k1);
        EXPECT_EQ(list.IndexOfName(L"abc"), -1);  // a line without separator has no name
        EXPECT_EQ(list.IndexOfName(L"z"), -1);
        EXPECT_EQ(list.IndexOf(L"ABC"), list.IndexOf(L"abc"));
        EXPECT_EQ(list.IndexOf(L"zzz"), -1);
        EXPECT_EQ(list.ValueFromIndex(k1), L"1");
    }
    TUcStringList list;
    FillSorted(list, unicode::dupIgnore, {L"b", L"d"});
    int index = -1;
    EXPECT_FALSE(list.Find(L"c", index));
    EXPECT_EQ(index, 1);  // insertion point
    EXPECT_TRUE(list.Find(L"D", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find(L"e", index));
    EXPECT_EQ(index, 2);
}

TEST(WideStringList, CaseSensitivity) {
    TUcStringList insensitive;
    FillSorted(insensitive, unicode::dupIgnore, {L"abc"});
    EXPECT_EQ(insensitive.IndexOf(L"ABC"), 0);

    TUcStringList sensitive;
    sensitive.SetCaseSensitive(true);
    sensitive.Add(L"abc");
    EXPECT_EQ(sensitive.IndexOf(L"ABC"), -1);
    FillSorted(sensitive, unicode::dupIgnore, {L"ABC", L"b", L"B"});
    EXPECT_EQ(sensitive.Count(), 4);  // equal only without case: both kept
    EXPECT_EQ(sensitive.Strings(sensitive.IndexOf(L"ABC")), L"ABC");
    EXPECT_EQ(sensitive.Strings(sensitive.IndexOf(L"abc")), L"abc");
    // Switching case sensitivity on a sorted list re-sorts it, so searches keep working.
    sensitive.SetCaseSensitive(false);
    for (const wchar_t* s : {L"abc", L"b"}) EXPECT_GE(sensitive.IndexOf(s), 0) << s;
}

TEST(WideStringList, CustomSortOnlyOnUnsortedLists) {
    classlib::TObject o;
    TUcStringList list;
    list.SetText(std::wstring(L"ccc\r\na\r\nbb\r\ndddd\r\n"));
    list.SetObjects(0, &o);
    auto byLength = [](TUcStringList* l, int i, int j) {
        return static_cast<int>(l->Strings(i).size()) - static_cast<int>(l->Strings(j).size());
    };
    list.CustomSort(byLength);
    EXPECT_EQ(Lines(list), (Wide{L"a", L"bb", L"ccc", L"dddd"}));
    EXPECT_EQ(list.Objects(2), &o);  // the object moves with its string
    list.SetSorted(true);
    list.CustomSort([](TUcStringList*, int, int) { return 0; });
    EXPECT_EQ(Lines(list), (Wide{L"a", L"bb", L"ccc", L"dddd"}));
    // A comparison that is no order must not run off the list.
    list.SetSorted(false);
    list.CustomSort([](TUcStringList*, int, int) { return -1; });
    EXPECT_EQ(list.Count(), 4);
}

TEST(WideStringList, ErrorsNameTheValueAndLoseNothing) {
    classlib::TObject o;
    TUcStringList list;
    list.Add(L"a");
    list.AddObject(L"b", &o);
    list.Add(L"c");
    EXPECT_EQ(ErrorText([&] { list.Insert(4, L"x"); }), L"List index out of bounds (4)");
    EXPECT_EQ(ErrorText([&] { list.Strings(-1); }), L"List index out of bounds (-1)");
    EXPECT_EQ(ErrorText([&] { list.Exchange(0, 3); }), L"List index out of bounds (3)");
    EXPECT_EQ(ErrorText([&] { list.Delete(3); }), L"List index out of bounds (3)");
    EXPECT_EQ(ErrorText([&] { list.SetObjects(3, &o); }), L"List index out of bounds (3)");
    // A move to a place that does not exist is refused before the line is taken out.
    EXPECT_EQ(ErrorText([&] { list.Move(1, 3); }), L"List index out of bounds (3)");
    EXPECT_EQ(ErrorText([&] { list.Move(5, 0); }), L"List index out of bounds (5)");
    EXPECT_EQ(ErrorText([&] { list.SetCapacity(2); }), L"List capacity out of bounds (2)");
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b", L"c"}));
    list.Move(1, 2);
    EXPECT_EQ(Lines(list), (Wide{L"a", L"c", L"b"}));
    EXPECT_EQ(list.Objects(2), &o);
    list.Exchange(0, 2);
    EXPECT_EQ(Lines(list), (Wide{L"b", L"c", L"a"}));
    EXPECT_EQ(list.Objects(0), &o);

    list.SetSorted(true);
    for (auto f : std::vector<std::function<void()>>{[&] { list.Insert(0, L"x"); },
                                                     [&] { list.InsertObject(0, L"x", nullptr); },
                                                     [&] { list.Put(0, L"x"); }, [&] { list.Move(0, 2); }})
        EXPECT_EQ(ErrorText(f), L"Operation not allowed on sorted list");
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b", L"c"}));
}

TEST(WideStringList, NotifiesOnceBeforeAndOnceAfterABatch) {
    TUcStringList list;
    std::string log;
    list.OnChanging = [&](classlib::TObject* sender) {
        EXPECT_EQ(sender, &list);
        log += '<';
    };
    list.OnChange = [&](classlib::TObject*) { log += '>'; };
    list.Add(L"a");
    list.Clear();
    list.Clear();  // nothing to clear: no notification
    EXPECT_EQ(log, "<><>");
    log.clear();
    list.BeginUpdate();
    list.Add(L"a");
    list.BeginUpdate();
    list.Add(L"b");
    list.EndUpdate();
    list.Exchange(0, 1);
    EXPECT_EQ(log, "<");
    list.EndUpdate();
    EXPECT_EQ(log, "<>");
    log.clear();
    list.SetText(std::wstring(L"x\r\ny\r\nz\r\n"));
    list.SetSorted(false);
    list.CustomSort([](TUcStringList*, int i, int j) { return j - i; });
    EXPECT_EQ(log, "<><>");
    EXPECT_EQ(list.UpdateCount(), 0);
}

TEST(WideStringList, NameValueAccess) {
    TUcStringList list;
    list.SetText(std::wstring(L"k=1\r\nplain\r\nq==x\r\n"));
    EXPECT_EQ(list.Names(0), L"k");
    EXPECT_EQ(list.Names(1), L"");
    EXPECT_EQ(list.ValueFromIndex(0), L"1");
    EXPECT_EQ(list.ValueFromIndex(1), L"");  // no separator: no value
    EXPECT_EQ(list.ValueFromIndex(2), L"=x");
    EXPECT_EQ(list.ValueFromIndex(-1), L"");
    list.SetValueFromIndex(0, L"2");
    list.SetValueFromIndex(-1, L"new");  // adds a line with an empty name
    list.SetValueFromIndex(1, L"");      // deletes the line
    EXPECT_EQ(Lines(list), (Wide{L"k=2", L"q==x", L"=new"}));
    list.SetNameValueSeparator(L':');
    list.Add(L"a:b=c");
    EXPECT_EQ(list.IndexOfName(L"a"), 3);
    EXPECT_EQ(list.ValueFromIndex(3), L"b=c");
}

TEST(WideStringList, CharactersHaveDefaultsUntilSet) {
    TUcStringList list;
    EXPECT_EQ(list.DefinedFlags(), 0);
    EXPECT_EQ(list.Delimiter(), L',');
    EXPECT_EQ(list.QuoteChar(), L'"');
    EXPECT_EQ(list.NameValueSeparator(), L'=');
    list.SetDelimiter(L';');
    EXPECT_EQ(list.Delimiter(), L';');
}

TEST(WideStringList, AssignBetweenWideLists) {
    classlib::TObject o;
    TUcStringList source;
    source.AddObject(L"\u0416=1", &o);
    source.SetNameValueSeparator(L':');
    source.SetQuoteChar(L'\'');
    source.SetDelimiter(L'\u2192');
    TUcStringList dest;
    dest.Add(L"old");
    dest.Assign(&source);
    EXPECT_TRUE(dest.Equals(&source));
    EXPECT_EQ(dest.Objects(0), &o);
    EXPECT_EQ(dest.NameValueSeparator(), L':');
    EXPECT_EQ(dest.QuoteChar(), L'\'');
    EXPECT_EQ(dest.Delimiter(), L'\u2192');
    EXPECT_EQ(dest.DefinedFlags(), source.DefinedFlags());
    dest.Add(L"more");
    EXPECT_FALSE(dest.Equals(&source));
    dest.Assign(&dest);  // assigning a list to itself keeps its lines
    EXPECT_EQ(dest.Count(), 2);
    classlib::TPersistent other;
    EXPECT_THROW(dest.Assign(&other), classlib::EConvertError);
    EXPECT_EQ(dest.Count(), 2);
}

TEST(WideStringList, AssignBetweenWideAndAnsiLists) {
    ASSERT_EQ(GetACP(), 1252u) << "the test environment runs with code page 1252";
    classlib::TObject o;
    classlib::TStringList ansi;
    ansi.AddObject("caf\xE9=1", &o);
    ansi.SetNameValueSeparator(':');
    ansi.SetQuoteChar('\xAB');
    ansi.SetDelimiter(';');
    TUcStringList wide;
    wide.Add(L"old");
    wide.Assign(&ansi);
    EXPECT_EQ(Lines(wide), (Wide{L"caf\u00E9=1"}));
    EXPECT_EQ(wide.Objects(0), &o);
    EXPECT_EQ(wide.NameValueSeparator(), L':');
    EXPECT_EQ(wide.QuoteChar(), L'\u00AB');  // by byte value
    EXPECT_EQ(wide.Delimiter(), L';');
    EXPECT_EQ(wide.DefinedFlags(), unicode::sdDelimiter | unicode::sdQuoteChar | unicode::sdNameValueSeparator);

    wide.Add(L"\u00E9t\u00E9");
    wide.SetDelimiter(L'|');
    wide.SetNameValueSeparator(L'\u00E9');
    classlib::TStringList back;
    back.Add("old");
    back.Assign(&wide);  // through the wide list's AssignTo
    EXPECT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Strings(1), "\xE9t\xE9");
    EXPECT_EQ(back.Objects(0), &o);
    EXPECT_EQ(back.Delimiter(), '|');
    EXPECT_EQ(back.NameValueSeparator(), '\xE9');  // low byte
    EXPECT_EQ(back.QuoteChar(), '\xAB');

    wide.Clear();
    wide.AddStrings(&back);
    EXPECT_EQ(wide.Strings(1), L"\u00E9t\u00E9");
}

TEST(WideStringList, AnsiViewConvertsWithItsCodePage) {
    ASSERT_EQ(GetACP(), 1252u) << "the test environment runs with code page 1252";
    classlib::TObject o;
    TUcStringList list;
    list.AddObject(L"\u00E9", &o);
    unicode::TAnsiStrings* view = list.AnsiStrings();
    EXPECT_EQ(view->Count(), 1);
    EXPECT_EQ(view->Strings(0), "\xE9");
    EXPECT_EQ(view->Objects(0), &o);
    view->Put(0, "\xE9t\xE9");
    EXPECT_EQ(list.Strings(0), L"\u00E9t\u00E9");
    EXPECT_EQ(list.Objects(0), &o);  // Put keeps the object
    view->Insert(0, "first");
    view->Delete(1);
    EXPECT_EQ(Lines(list), (Wide{L"first"}));

    unicode::TAnsiStringsForWideStringsAdapter utf8(&list, 65001);
    EXPECT_EQ(utf8.AdapterCodePage(), 65001u);
    EXPECT_EQ(static_cast<unicode::TAnsiStringsForWideStringsAdapter*>(view)->AdapterCodePage(), 3u);
    utf8.Add("\xE2\x82\xAC");
    EXPECT_EQ(list.Strings(1), L"\u20AC");
    EXPECT_EQ(utf8.Strings(1), "\xE2\x82\xAC");
}

TEST(WideStringList, AnsiViewStreamsWithTheGivenCodePage) {
    TUcStringList list;
    std::string log;
    list.OnChanging = [&](classlib::TObject*) { log += '<'; };
    list.OnChange = [&](classlib::TObject*) { log += '>'; };
    classlib::TMemoryStream in;
    const char utf8[] = "h\xC3\xA9\r\n\xE2\x82\xAC";
    in.Write(utf8, sizeof utf8 - 1);
    in.SetPosition(0);
    list.AnsiStrings()->LoadFromStreamEx(&in, 65001);
    EXPECT_EQ(Lines(list), (Wide{L"h\u00E9", L"\u20AC"}));
    EXPECT_EQ(log, "<>");

    classlib::TMemoryStream out;
    list.AnsiStrings()->SaveToStreamEx(&out, 1252);
    EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "h\xE9\r\n\x80\r\n");
    classlib::TMemoryStream out8;
    list.AnsiStrings()->SaveToStreamEx(&out8, 65001);
    EXPECT_EQ(std::string(out8.Bytes().begin(), out8.Bytes().end()), "h\xC3\xA9\r\n\xE2\x82\xAC\r\n");

    classlib::TMemoryStream in1252;
    in1252.Write("x\xE9\ny", 4);
    in1252.SetPosition(1);  // from the current position
    list.AnsiStrings()->LoadFromStreamEx(&in1252, 1252);
    EXPECT_EQ(Lines(list), (Wide{L"\u00E9", L"y"}));
}

TEST(WideStringList, AnsiViewAssignment) {
    classlib::TStringList ansi;
    ansi.SetText("b\r\na\r\n");
    ansi.SetDelimiter(';');
    TUcStringList list;
    list.SetSorted(true);
    list.SetAnsiStrings(&ansi);  // adding through the view places lines in a sorted list
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b"}));
    EXPECT_EQ(list.AnsiStrings()->Delimiter(), ';');
    // Assigning the view, or the list it views, into itself changes nothing.
    list.SetAnsiStrings(list.AnsiStrings());
    list.AnsiStrings()->Assign(&list);
    list.Assign(list.AnsiStrings());
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b"}));
    // A wide list assigned into a view fills the viewed list.
    TUcStringList other;
    other.SetText(std::wstring(L"x\r\n"));
    TUcStringList target;
    target.AnsiStrings()->Assign(&other);
    EXPECT_EQ(Lines(target), (Wide{L"x"}));
}

class RecordingAdapter : public unicode::IWideStringsAdapter {
public:
    explicit RecordingAdapter(std::string& log) : log_(log) {}
    void ReferenceStrings(unicode::TWideStrings* S) override { log_ += S != nullptr ? "ref " : "ref-null "; }
    void ReleaseStrings() override { log_ += "release "; }

private:
    std::string& log_;
};

// An adapter that reads the list when it lets go of it (as a control's items adapter copying the
// lines back would).
class ReadingAdapter : public unicode::IWideStringsAdapter {
public:
    explicit ReadingAdapter(Wide& seen) : seen_(seen) {}
    void ReferenceStrings(unicode::TWideStrings* S) override { list_ = S; }
    void ReleaseStrings() override { seen_ = Lines(*list_); }

private:
    Wide& seen_;
    unicode::TWideStrings* list_ = nullptr;
};

TEST(WideStringList, DestroyedListReleasesItsAdapterWhileItsLinesAreThere) {
    Wide seen;
    {
        TUcStringList list;
        list.Add(L"one");
        list.Add(L"two");
        list.SetStringsAdapter(std::make_shared<ReadingAdapter>(seen));
    }
    EXPECT_EQ(seen, (Wide{L"one", L"two"}));
}

TEST(WideStringList, IndexOfObjectFindsTheFirstLineHoldingIt) {
    classlib::TObject a, b, c;
    TUcStringList list;
    list.AddObject(L"x", &a);
    list.Add(L"plain");
    list.AddObject(L"y", &b);
    list.AddObject(L"z", &a);
    EXPECT_EQ(list.IndexOfObject(&a), 0);
    EXPECT_EQ(list.IndexOfObject(&b), 2);
    EXPECT_EQ(list.IndexOfObject(&c), -1);
    EXPECT_EQ(list.IndexOfObject(nullptr), 1);
    // The object moves with its line.
    list.Move(2, 0);
    EXPECT_EQ(list.IndexOfObject(&b), 0);
    list.Delete(1);
    EXPECT_EQ(list.IndexOfObject(&a), 2);
}

TEST(WideStringList, StringsAdapterIsAnnouncedAndReleased) {
    std::string log;
    {
        TUcStringList list;
        list.SetStringsAdapter(std::make_shared<RecordingAdapter>(log));
        list.SetStringsAdapter(std::make_shared<RecordingAdapter>(log));
        EXPECT_EQ(log, "ref release ref ");
    }
    EXPECT_EQ(log, "ref release ref release ");
}

}  // namespace
