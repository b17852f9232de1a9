// The wide rich edit under Wine: lines with CR-alone breaks read and written wide, selection
// positions counted with two-character line breaks, typed and pasted text outside the ANSI code
// page, rich and plain text through streams and wide file names, and the ANSI fallback.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "classlib/streams.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_graphics.h"
#include "widgets/unicode/uc_rich_edit.h"

using namespace uctest;
using namespace widgets;

namespace {

class WideRichEditTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 460, 300);
    }
    TUcRichEdit* MakeEdit() {
        auto* edit = new TUcRichEdit(form);
        edit->SetParent(form);
        edit->SetBounds(8, 8, 400, 200);
        return edit;
    }
    classlib::TForm* form = nullptr;
};

TEST_F(WideRichEditTest, LinesUseCrAloneAndPositionsCountTwoPerBreak) {
    TUcRichEdit* edit = MakeEdit();
    ASSERT_EQ(edit->Lines()->LineBreakStyle(), unicode::tlbsCR);
    EXPECT_TRUE(IsWindowUnicode(edit->Handle()));
    EXPECT_EQ(ClassNameOf(edit->Handle()), L"TUcRichEdit.UnicodeClass");
    edit->Lines()->SetText(L"Hello\r\n" + kGreek);
    ASSERT_EQ(edit->Lines()->Count(), 2);
    EXPECT_EQ(edit->Lines()->Strings(0), L"Hello");
    EXPECT_EQ(edit->Lines()->Strings(1), kGreek);
    EXPECT_EQ(edit->Lines()->Text(), L"Hello\r\n" + kGreek + L"\r\n");
    // The start of the second line: 5 characters and a break of two.
    edit->SetSelStart(7);
    CHARRANGE range{};
    SendMessageW(edit->Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.cpMin, 6);
    EXPECT_EQ(edit->SelStart(), 7);
    edit->SetSelStart(3);
    edit->SetSelLength(6);
    EXPECT_EQ(edit->SelLength(), 6);
    EXPECT_EQ(edit->SelText(), L"lo\r\n" + kGreek.substr(0, 2));
    edit->SetSelStart(0);
    edit->SetSelLength(static_cast<int>(7 + kGreek.size()));
    EXPECT_EQ(edit->SelText(), L"Hello\r\n" + kGreek);
    EXPECT_EQ(edit->SelText().size(), static_cast<size_t>(edit->SelLength()));
    // A line inserted with a lone CR in it takes the window's breaks.
    edit->Lines()->Insert(1, kCjk + L"\r" + L"x");
    ASSERT_EQ(edit->Lines()->Count(), 4);
    EXPECT_EQ(edit->Lines()->Strings(1), kCjk);
    EXPECT_EQ(edit->Lines()->Strings(2), L"x");
    edit->Lines()->Put(3, kCjk);
    EXPECT_EQ(edit->Lines()->Strings(3), kCjk);
}

TEST_F(WideRichEditTest, TypedAndPastedTextStaysWideAndSettingTextIsNoChange) {
    TUcRichEdit* edit = MakeEdit();
    int changes = 0, moves = 0;
    edit->OnChange = [&](classlib::TObject*) { ++changes; };
    edit->Lines()->SetText(kGreek);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(edit->Text(), kGreek);
    form->Show();
    edit->SetFocus();
    edit->SetSelStart(static_cast<int>(kGreek.size()));
    SendMessageW(edit->Handle(), WM_CHAR, 0x65E5, 0);
    Pump();
    EXPECT_EQ(edit->Text(), kGreek + L"\x65E5");
    EXPECT_GE(changes, 1);
    UcClipboard()->SetAsWideText(kCjk);
    SendMessageW(edit->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(edit->Lines()->Strings(0), kGreek + L"\x65E5" + kCjk);
    // Adding lines moves no selection for the program.
    edit->OnSelectionChange = [&](classlib::TObject*) { ++moves; };
    unicode::TUcStringList more;
    more.Add(kCjk);
    more.Add(kGreek);
    edit->Lines()->AddStrings(&more);
    EXPECT_EQ(moves, 0);
    EXPECT_EQ(edit->Lines()->Count(), 3);
    EXPECT_TRUE(static_cast<bool>(edit->OnSelectionChange));
}

TEST_F(WideRichEditTest, RichAndPlainTextGoThroughStreamsAndWideFileNames) {
    TUcRichEdit* edit = MakeEdit();
    edit->Lines()->SetText(kCjk + L"\r\n" + kGreek);
    classlib::TMemoryStream rich;
    edit->Lines()->SaveToStream(&rich);
    // Rich text in UTF-8 ("{\\urtf"): nothing is replaced by a look-alike.
    std::string head(reinterpret_cast<const char*>(rich.Memory()), 6);
    EXPECT_EQ(head, "{\\urtf");
    TUcRichEdit* copy = MakeEdit();
    rich.Seek(0, classlib::TSeekOrigin::soBeginning);
    copy->Lines()->LoadFromStream(&rich);
    EXPECT_EQ(copy->Lines()->Strings(0), kCjk);
    EXPECT_EQ(copy->Lines()->Strings(1), kGreek);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // The class library's rich-text file: written, read back, and a missing one refused.
    std::string richName = classlib::WideToAnsi(temp) + "quill_rich.rtf";
    edit->RichLines()->SaveToFile(richName);
    copy->Lines()->Clear();
    copy->RichLines()->LoadFromFile(richName);
    EXPECT_EQ(copy->Lines()->Strings(1), kGreek);
    DeleteFileA(richName.c_str());
    EXPECT_THROW(copy->RichLines()->LoadFromFile(richName), classlib::EFOpenError);
    EXPECT_EQ(copy->Lines()->Strings(1), kGreek);
    std::wstring name = std::wstring(temp) + kGreek + L".txt";
    edit->SetPlainText(true);
    edit->Lines()->SaveToFile(name);
    copy->SetPlainText(true);
    copy->Lines()->Clear();
    copy->Lines()->LoadFromFile(name);
    EXPECT_EQ(copy->Lines()->Strings(0), kCjk);
    EXPECT_EQ(copy->Lines()->Strings(1), kGreek);
    DeleteFileW(name.c_str());
}

TEST_F(WideRichEditTest, AnsiPlatformMakesAnAnsiRichEditWithCrLfBreaks) {
    unicode::ForcePlatformForTesting(false);
    TUcRichEdit* edit = MakeEdit();
    EXPECT_EQ(edit->Lines()->LineBreakStyle(), unicode::tlbsCRLF);
    EXPECT_FALSE(IsWindowUnicode(edit->Handle()));
    edit->Lines()->SetText(L"caf\x00E9\r\nabc");
    EXPECT_EQ(edit->Lines()->Strings(0), L"caf\x00E9");
    EXPECT_EQ(edit->Lines()->Strings(1), L"abc");
    edit->SetSelStart(2);
    edit->SetSelLength(3);
    EXPECT_EQ(edit->SelStart(), 2);
    EXPECT_EQ(edit->SelText(), L"f\x00E9\r");
}

}  // namespace
