// The link edit on the system's rich edit: formats read back with EM_GETCHARFORMAT at positions,
// paragraph alignment, and links found under the pointer for hints and clicks.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include "custom_test_support.h"
#include "widgets/custom/link_edit.h"

using namespace customtest;
using namespace widgets::custom;

namespace {

class LinkEditTest : public CustomTest {
protected:
    void SetUp() override {
        CustomTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(100, 100, 420, 240);
        edit = new TLinkEdit(form);
        edit->SetParent(form);
        edit->SetBounds(0, 0, 400, 200);
        edit->SetUrlColor(0x112233);
        edit->SetMailColor(0x445566);
        form->Show();
    }
    CHARFORMAT2W FormatAt(int Index) {
        CHARRANGE r{Index, Index + 1};
        SendMessageW(edit->Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        CHARFORMAT2W cf{};
        cf.cbSize = sizeof cf;
        SendMessageW(edit->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
        return cf;
    }
    WORD AlignmentAt(int Index) {
        CHARRANGE r{Index, Index};
        SendMessageW(edit->Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        PARAFORMAT2 pf{};
        pf.cbSize = sizeof pf;
        SendMessageW(edit->Handle(), EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
        return pf.wAlignment;
    }
    // A point inside character Index.
    LPARAM PointOf(int Index) {
        POINTL p{};
        SendMessageW(edit->Handle(), EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&p), Index);
        return MAKELPARAM(p.x + 2, p.y + 3);
    }
    classlib::TForm* form = nullptr;
    TLinkEdit* edit = nullptr;
};

TEST_F(LinkEditTest, FormatsAndAlignmentFollowTheMarkup) {
    edit->SetRichText(L"Plain <b>bold <i>both</I></B> <COLOR red>red</color> <size x>z<BR CENTER>centre<br>left");
    //                  0     6    11   15  16 19  20 21 22
    EXPECT_FALSE(FormatAt(0).dwEffects & CFE_BOLD);
    EXPECT_TRUE(FormatAt(6).dwEffects & CFE_BOLD);
    EXPECT_FALSE(FormatAt(6).dwEffects & CFE_ITALIC);
    EXPECT_TRUE((FormatAt(11).dwEffects & (CFE_BOLD | CFE_ITALIC)) == (CFE_BOLD | CFE_ITALIC));
    EXPECT_FALSE(FormatAt(15).dwEffects & CFE_BOLD);
    EXPECT_EQ(FormatAt(16).crTextColor, 0x0000FFu);
    EXPECT_NE(FormatAt(19).crTextColor, 0x0000FFu);
    EXPECT_LT(FormatAt(20).yHeight, FormatAt(0).yHeight);  // "SIZE x" gives the smallest size
    // The break is one character in the window: "centre" begins at 22.
    EXPECT_EQ(AlignmentAt(0), PFA_LEFT);
    EXPECT_EQ(AlignmentAt(24), PFA_CENTER);
    EXPECT_EQ(AlignmentAt(30), PFA_LEFT);
}

TEST_F(LinkEditTest, LinksShowTheirHintAndReportClicks) {
    edit->SetRichText(L"Go <URL Http://Example.COM/A>here</URL>! <mail me@host>mail <link Help>me</link></MAIL>");
    //                  0  3       7 8 9      15 16
    std::vector<std::wstring> hints, urls, mails, links;
    edit->OnUrlHint = [&](const std::wstring& link, std::wstring& hint) {
        hints.push_back(link);
        hint = L"Open " + link;
    };
    edit->OnUrlClick = [&](const std::wstring& link) { urls.push_back(link); };
    edit->OnMailClick = [&](const std::wstring& link) { mails.push_back(link); };
    edit->OnCustomLinkClick = [&](const std::wstring& link) { links.push_back(link); };
    EXPECT_EQ(FormatAt(3).crTextColor, 0x112233u);
    EXPECT_TRUE(FormatAt(3).dwEffects & CFE_UNDERLINE);
    EXPECT_FALSE(FormatAt(7).dwEffects & CFE_UNDERLINE);
    EXPECT_EQ(FormatAt(9).crTextColor, 0x445566u);
    EXPECT_EQ(FormatAt(15).crTextColor, 0x800000u);

    edit->Perform(WM_MOUSEMOVE, 0, PointOf(3));
    EXPECT_EQ(hints, (std::vector<std::wstring>{L"Http://Example.COM/A"}));
    EXPECT_EQ(edit->Hint(), L"Open Http://Example.COM/A");
    EXPECT_TRUE(edit->ShowHint());
    edit->Perform(WM_MOUSEMOVE, 0, PointOf(0));
    EXPECT_FALSE(edit->ShowHint());

    edit->Perform(WM_LBUTTONUP, 0, PointOf(3));   // the link's first character
    edit->Perform(WM_LBUTTONUP, 0, PointOf(7));   // just after its last one
    edit->Perform(WM_LBUTTONUP, 0, PointOf(10));  // in the mail link
    edit->Perform(WM_LBUTTONUP, 0, PointOf(15));  // in the link nested in it
    EXPECT_EQ(urls, (std::vector<std::wstring>{L"Http://Example.COM/A"}));
    EXPECT_EQ(mails, (std::vector<std::wstring>{L"me@host"}));
    EXPECT_EQ(links, (std::vector<std::wstring>{L"Help"}));
}

}  // namespace
