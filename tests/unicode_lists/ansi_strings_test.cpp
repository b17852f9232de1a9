// The class library's ANSI string list: text rules, name=value access, index errors,
// notifications and assignment between ANSI lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/exceptions.h"

namespace {

using classlib::TStringList;

std::vector<std::string> Lines(const classlib::TStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
    return out;
}

TEST(AnsiStringList, TextSplitsAtEveryBreakAndStopsAtZero) {
    TStringList list;
    list.SetText(std::string("a\rb\nc\r\nd\n\re\r\n", 14));
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
    list.SetText(std::string("x\0y", 3));
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"x"}));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Text(), "");
}

TEST(AnsiStringList, NamesValuesAndSearch) {
    TStringList list;
    list.SetText("k=1\r\nkx=2\r\nplain\r\n");
    EXPECT_EQ(list.Names(0), "k");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.IndexOfName("K"), 0);     // case-insensitive
    EXPECT_EQ(list.IndexOfName("plain"), -1);  // no separator, no name
    EXPECT_EQ(list.Values("kx"), "2");
    EXPECT_EQ(list.IndexOf("PLAIN"), 2);
    list.SetValues("kx", "3");
    list.SetValues("new", "v");
    list.SetValues("k", "");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"kx=3", "plain", "new=v"}));
    list.SetNameValueSeparator(':');
    list.Add("a:b=c");
    EXPECT_EQ(list.Values("a"), "b=c");
}

TEST(AnsiStringList, IndexErrorsNameTheIndexAndChangeNothing) {
    TStringList list;
    list.Add("a");
    try {
        list.Insert(2, "x");
        FAIL() << "no error";
    } catch (const classlib::EStringListError& e) {
        EXPECT_EQ(e.Message(), L"List index out of bounds (2)");
    }
    EXPECT_THROW(list.Strings(-1), classlib::EStringListError);
    EXPECT_THROW(list.Delete(1), classlib::EStringListError);
    EXPECT_THROW(list.Exchange(0, 1), classlib::EStringListError);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"a"}));
}

TEST(AnsiStringList, NotifiesOnceAroundABatch) {
    TStringList list;
    std::string log;
    list.OnChanging = [&](classlib::TObject* sender) {
        EXPECT_EQ(sender, &list);
        log += '<';
    };
    list.OnChange = [&](classlib::TObject*) { log += '>'; };
    list.Add("a");
    EXPECT_EQ(log, "<>");
    log.clear();
    list.BeginUpdate();
    list.Add("b");
    list.BeginUpdate();
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(log, "<");
    list.EndUpdate();
    EXPECT_EQ(log, "<>");
    log.clear();
    list.SetText("x\r\ny\r\n");  // Clear and two adds, one batch
    EXPECT_EQ(log, "<>");
}

TEST(AnsiStringList, AssignCopiesLinesObjectsAndCharacters) {
    classlib::TObject o1, o2;
    TStringList source;
    source.AddObject("one", &o1);
    source.AddObject("two", &o2);
    source.SetNameValueSeparator(':');
    source.SetQuoteChar('\'');
    source.SetDelimiter(';');
    TStringList dest;
    dest.Add("old");
    dest.Assign(&source);
    EXPECT_EQ(Lines(dest), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(dest.Objects(1), &o2);
    EXPECT_EQ(dest.NameValueSeparator(), ':');
    EXPECT_EQ(dest.QuoteChar(), '\'');
    EXPECT_EQ(dest.Delimiter(), ';');
    dest.Assign(&dest);  // assigning a list to itself keeps its lines
    EXPECT_EQ(dest.Count(), 2);
    classlib::TPersistent other;
    EXPECT_THROW(dest.Assign(&other), classlib::EConvertError);
}

}  // namespace
