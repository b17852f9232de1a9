// The link edit's markup on exact texts, and the clip list's entries and sort keys on real files.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "custom_test_support.h"
#include "widgets/custom/clip_entries.h"
#include "widgets/custom/link_markup.h"

using namespace customtest;
using namespace widgets::custom;

namespace {

TLinkMarkup Parse(const std::wstring& Markup) {
    TMarkupDefaults d;
    d.Format.FontName = L"Arial";
    d.UrlColor = 0x112233;
    d.MailColor = 0x445566;
    return ParseLinkMarkup(Markup, d);
}

// The format of the run holding character Index.
TLinkCharFormat At(const TLinkMarkup& M, int Index) {
    for (const TMarkupRun& r : M.Runs)
        if (Index >= r.Start && Index < r.Start + r.Length) return r.Format;
    ADD_FAILURE() << "no run at " << Index;
    return {};
}

TEST(LinkMarkup, FormatsFollowTheirTagsNestedAndInAnyCase) {
    TLinkMarkup m = Parse(L"Plain <b>bold <I>both</i></B> <color red>red</COLOR> <size x>0<color mauve>same</size> <s><u>end");
    EXPECT_EQ(m.Text, L"Plain bold both red 0same end");
    EXPECT_FALSE(At(m, 0).Bold);
    EXPECT_TRUE(At(m, 6).Bold);
    EXPECT_FALSE(At(m, 6).Italic);
    EXPECT_TRUE(At(m, 11).Bold && At(m, 11).Italic);
    EXPECT_FALSE(At(m, 15).Bold);
    EXPECT_EQ(At(m, 16).Color, 0x0000FF);
    EXPECT_EQ(At(m, 19).Color, classlib::clWindowText);
    EXPECT_EQ(At(m, 20).Size, 0);           // not a number
    EXPECT_EQ(At(m, 21).Color, classlib::clWindowText);  // a colour outside the table changes nothing
    EXPECT_EQ(At(m, 25).Size, 8);
    // The text after the last tag keeps the last format.
    EXPECT_TRUE(At(m, 26).StrikeOut && At(m, 28).Underline);
}

TEST(LinkMarkup, LineBreaksAlignTheNextParagraphAndCountOnce) {
    TLinkMarkup m = Parse(L"one<BR CENTER>two<br>three<BRX>x<BR  right >four");
    EXPECT_EQ(m.Text, L"one\r\ntwo\r\nthreex\r\nfour");
    ASSERT_EQ(m.Paragraphs.size(), 4u);
    EXPECT_EQ(m.Paragraphs[1].Start, 4);
    EXPECT_EQ(m.Paragraphs[1].Align, classlib::TAlignment::taCenter);
    EXPECT_EQ(m.Paragraphs[2].Start, 8);
    EXPECT_EQ(m.Paragraphs[2].Align, classlib::TAlignment::taLeftJustify);
    EXPECT_EQ(m.Paragraphs[3].Align, classlib::TAlignment::taRightJustify);
    // A "<" inside a tag is text; a tag never closed is dropped.
    EXPECT_EQ(Parse(L"a<b<c>d<B").Text, L"a<d");
}

TEST(LinkMarkup, LinksKeepTheirTargetAsWrittenAndNest) {
    TLinkMarkup m = Parse(L"Go <URL Http://Example.COM/A>here</URL>!<br><url a>x<MAIL Me@Host>y</mail>z</url>");
    const TMarkupLink* l = FindLink(m, 3);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->Target, L"Http://Example.COM/A");
    EXPECT_EQ(l->Kind, TLinkKind::lkUrl);
    EXPECT_NE(FindLink(m, 6), nullptr);
    EXPECT_EQ(FindLink(m, 7), nullptr);  // just after the link's last character
    EXPECT_EQ(At(m, 3).Color, 0x112233);
    EXPECT_TRUE(At(m, 3).Underline);
    EXPECT_FALSE(At(m, 7).Underline);
    // After the break (one character): x at 9, y at 10, z at 11.
    EXPECT_EQ(FindLink(m, 10)->Target, L"Me@Host");
    EXPECT_EQ(FindLink(m, 11)->Target, L"a");
    EXPECT_EQ(At(m, 10).Color, 0x445566);
    EXPECT_EQ(At(m, 11).Color, 0x112233);  // the inner link gives the outer one's colour back
    EXPECT_EQ(At(m, 7).Color, classlib::clWindowText);
}

// ---- Clip entries ----------------------------------------------------------------------------

std::wstring MakeFile(const TempFolder& F, const std::wstring& Name, std::int64_t Size, WORD Minute) {
    return F.Sized(Name, Size, Minute, 30);
}

TEST(ClipEntries, TextsAndKeysOfAFile) {
    TempFolder f;
    std::wstring big = MakeFile(f, L"Day One.AVI", 4LL << 30, 5);
    std::wstring small = MakeFile(f, L"b.avi", 3LL << 30, 7);
    auto e = TSRFichier::CreateFromFile(big);
    EXPECT_EQ(e->Name(), L"Day One.AVI");
    EXPECT_EQ(e->Extension(), L".avi");
    EXPECT_EQ(e->Stem(), L"Day One");
    EXPECT_EQ(e->Folder(), f.Path());
    EXPECT_EQ(e->Size(), 4ull << 30);
    const std::wstring lower = classlib::AnsiLowerCase(big);
    EXPECT_EQ(e->GetKey(SortAlpha()), L"day one.avi" + lower);
    EXPECT_EQ(e->GetKey(SortExtension()), L".avi" + lower);
    EXPECT_EQ(e->GetKey(SortPath()), lower);
    EXPECT_EQ(e->GetKey(SortSize()), L"00000000000000010000000000000000" + lower);
    EXPECT_EQ(e->GetKey(SortDate()), L"20230614090530" + lower);
    EXPECT_EQ(e->GetKey(TSortIndex{L"other", L"", L""}), L"");
    // Size: high word first, so 4 GB sorts after 3 GB; date to the second.
    auto s = TSRFichier::CreateFromFile(small);
    EXPECT_LT(s->GetKey(SortSize()), e->GetKey(SortSize()));
    EXPECT_GT(s->GetKey(SortDate()), e->GetKey(SortDate()));
    EXPECT_NEAR(e->ModificationTime() - s->ModificationTime(), -2.0 / 1440, 1e-7);
}

TEST(ClipEntries, AFileNotThereYetKeepsTheTextsOfItsPath) {
    auto a = TSRFichier::CreateFromFile(L"C:\\no\\such\\Clip 1.avi");
    auto b = TSRFichier::CreateFromFile(L"C:\\no\\such\\Clip 2.avi");
    EXPECT_EQ(a->Name(), L"Clip 1.avi");
    EXPECT_EQ(a->Size(), 0u);
    EXPECT_NE(a->GetKey(SortAlpha()), b->GetKey(SortAlpha()));
    EXPECT_NE(a->GetKey(SortSize()), b->GetKey(SortSize()));
    EXPECT_NE(a->GetKey(SortDate()), b->GetKey(SortDate()));
    // A wildcard never picks some other file.
    TempFolder f;
    MakeFile(f, L"real.avi", 10, 1);
    EXPECT_EQ(TSRFichier::CreateFromFile(f.Path() + L"*.avi")->Size(), 0u);
}

}  // namespace
