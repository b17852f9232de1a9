// Wide edits, memos, list boxes and combo box completion: texts outside code page 1252 set, read
// back, typed and pasted; memo lines with CR-alone text and lines at the buffer limits; list box
// items across window re-creation and in the virtual style; the ANSI fallback.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "exception_text.h"
#include "uc_test_support.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_list_box.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using classlib::AnsiToWide;
using classlib::WideToAnsi;
using quill_test::MessageOf;

namespace {

class WideEditsLists : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new widgets::TUcForm(classlib::Application());
        form->SetBounds(150, 150, 420, 320);
        form->Show();
    }
    template <typename T>
    T* Make() {
        T* c = new T(form);
        c->SetParent(form);
        return c;
    }
    widgets::TUcForm* form = nullptr;
};

// Puts wide text on the clipboard in the Unicode text format.
void SetClipboardWide(HWND Owner, const std::wstring& Text) {
    ASSERT_TRUE(OpenClipboard(Owner));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (Text.size() + 1) * sizeof(wchar_t));
    auto* p = static_cast<wchar_t*>(GlobalLock(block));
    std::copy(Text.c_str(), Text.c_str() + Text.size() + 1, p);
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
}

TEST_F(WideEditsLists, EditTextIsWideWhetherSetTypedOrPasted) {
    auto* edit = Make<widgets::TUcEdit>();
    int changes = 0;
    edit->OnChange = [&](classlib::TObject*) { ++changes; };
    edit->SetText(kGreek);  // before the window
    HWND h = edit->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TUcEdit.UnicodeClass");
    EXPECT_EQ(WindowText(h), kGreek);
    // Typed: characters above 255 arrive whole.
    SendMessageW(h, EM_SETSEL, 0, -1);
    for (wchar_t c : kCjk) SendMessageW(h, WM_CHAR, c, 1);
    EXPECT_EQ(edit->Text(), kCjk);
    // Pasted from the Unicode clipboard at the caret.
    SetClipboardWide(h, kGreek);
    SendMessageW(h, EM_SETSEL, 2, 2);
    SendMessageW(h, WM_PASTE, 0, 0);
    EXPECT_EQ(edit->Text(), kCjk.substr(0, 2) + kGreek + kCjk.substr(2));
    EXPECT_GT(changes, 0);
    // The selection counts characters; its text is wide.
    edit->SetSelStart(2);
    edit->SetSelLength(static_cast<int>(kGreek.size()));
    EXPECT_EQ(edit->SelStart(), 2);
    EXPECT_EQ(edit->SelLength(), static_cast<int>(kGreek.size()));
    EXPECT_EQ(edit->SelText(), kGreek);
    // The wide text survives the re-creation of the window.
    edit->RecreateWnd();
    EXPECT_EQ(edit->Text(), kCjk.substr(0, 2) + kGreek + kCjk.substr(2));
}

TEST_F(WideEditsLists, PasswordCharacterAboveTheAnsiRangeShowsOnTheUnicodePlatformOnly) {
    auto* edit = Make<widgets::TUcEdit>();
    edit->SetPasswordChar(L'\x25CF');  // black circle
    EXPECT_EQ(edit->classlib::TCustomEdit::PasswordChar(), '*');
    HWND h = edit->Handle();
    EXPECT_EQ(SendMessageW(h, EM_GETPASSWORDCHAR, 0, 0), 0x25CF);
    EXPECT_EQ(edit->PasswordChar(), L'\x25CF');
    // ANSI code changing the library's character wins.
    edit->classlib::TCustomEdit::SetPasswordChar('#');
    EXPECT_EQ(edit->PasswordChar(), L'#');

    unicode::ForcePlatformForTesting(false);
    auto* ansi = Make<widgets::TUcEdit>();
    ansi->SetPasswordChar(L'\x25CF');
    EXPECT_FALSE(IsWindowUnicode(ansi->Handle()));
    EXPECT_EQ(SendMessageA(ansi->Handle(), EM_GETPASSWORDCHAR, 0, 0), '*');
    // The selection is counted in characters over the ANSI window's bytes.
    ansi->SetPasswordChar(0);
    ansi->SetText(L"caf\x00E9 ok");
    ansi->SetSelStart(4);
    ansi->SetSelLength(3);
    EXPECT_EQ(ansi->SelStart(), 4);
    EXPECT_EQ(ansi->SelText(), L" ok");
    unicode::ForcePlatformForTesting(true);
}

TEST_F(WideEditsLists, MemoLinesAreWideAndSurviveCrAloneText) {
    auto* memo = Make<widgets::TUcMemo>();
    widgets::TUcMemoStrings* lines = memo->Lines();
    lines->SetText(kGreek + L"\r" + kCjk + L"\n\nend");  // CR alone, LF alone
    EXPECT_EQ(memo->Text(), kGreek + L"\r\n" + kCjk + L"\r\n\r\nend");
    ASSERT_EQ(lines->Count(), 4);
    EXPECT_EQ(lines->Get(0), kGreek);
    EXPECT_EQ(lines->Get(1), kCjk);
    EXPECT_EQ(lines->Get(2), L"");  // a zero-length line needs no buffer
    EXPECT_EQ(lines->Get(3), L"end");
    EXPECT_EQ(lines->Get(40), L"");
    lines->Put(3, kCjk);
    lines->Insert(0, L"first");
    lines->Delete(3);
    EXPECT_EQ(lines->Text(), L"first\r\n" + kGreek + L"\r\n" + kCjk + L"\r\n" + kCjk);
    // One past the last line appends; past an empty last line nothing happens.
    memo->SetText(L"a");
    lines->Insert(1, kGreek);
    EXPECT_EQ(memo->Text(), L"a\r\n" + kGreek);
    memo->SetText(L"a\r\n\r\n");
    lines->Insert(3, L"lost");
    EXPECT_EQ(memo->Text(), L"a\r\n\r\n");
    // A typed character above 255 lands in the memo.
    memo->SetText(L"");
    SendMessageW(memo->Handle(), WM_CHAR, 0x0416, 1);
    EXPECT_EQ(lines->Get(0), L"\x0416");
}

TEST_F(WideEditsLists, MemoReadsALineOfTheLargestLengthAndRefusesALongerOne) {
    auto* memo = Make<widgets::TUcMemo>();
    memo->SetWordWrap(false);
    SendMessageW(memo->Handle(), EM_LIMITTEXT, 0x7FFFFFFE, 0);
    std::wstring longest(65535, L'\x0436');
    memo->SetText(longest);
    EXPECT_EQ(memo->Lines()->Get(0), longest);
    memo->SetText(longest + L"x");
    EXPECT_EQ(MessageOf<classlib::EOutOfResources>([&] { memo->Lines()->Get(0); }), L"Line too long");
}

TEST_F(WideEditsLists, ListBoxItemsAreWideAndKeptAcrossRecreation) {
    auto* box = Make<widgets::TUcListBox>();
    widgets::TUcListBoxStrings* items = box->Items();
    classlib::TObject tag;
    items->Add(kGreek);
    items->AddObject(kCjk, &tag);
    items->Add(L"plain");
    HWND h = box->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    wchar_t buf[64] = {};
    SendMessageW(h, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf));
    EXPECT_EQ(std::wstring(buf), kCjk);
    EXPECT_EQ(items->IndexOf(kCjk), 1);
    EXPECT_EQ(box->AnsiItems()->Get(0), WideToAnsi(kGreek));
    EXPECT_EQ(MessageOf<classlib::EStringListError>([&] { items->Get(5); }), L"List index out of bounds (5)");
    box->SetItemIndex(1);
    items->Put(1, kCjk + L"!");
    EXPECT_EQ(items->Objects(1), &tag);
    EXPECT_EQ(box->ItemIndex(), 1);
    items->Move(1, 2);
    EXPECT_EQ(items->Get(2), kCjk + L"!");
    EXPECT_EQ(items->Objects(2), &tag);
    items->Exchange(0, 2);
    EXPECT_EQ(items->Get(0), kCjk + L"!");
    box->SetItemIndex(0);
    box->SetMultiSelect(true);  // re-creates the window
    EXPECT_NE(box->Handle(), h);
    ASSERT_EQ(items->Count(), 3);
    EXPECT_EQ(items->Get(0), kCjk + L"!");
    EXPECT_EQ(items->Get(2), kGreek);
    EXPECT_EQ(items->Objects(0), &tag);
    EXPECT_EQ(box->ItemIndex(), 0);

    // Copying the selection into another wide list keeps it wide.
    auto* other = Make<widgets::TUcListBox>();
    box->SetSelected(0, true);
    box->SetSelected(2, true);
    box->CopySelection(other);
    ASSERT_EQ(other->Items()->Count(), 2);
    EXPECT_EQ(other->Items()->Get(1), kGreek);

    // The virtual style answers LB_GETTEXT with the wide data.
    other->SetStyle(classlib::TListBoxStyle::lbVirtual);
    other->OnData = [](classlib::TWinControl*, int Index, std::wstring& Data) { Data = kCjk + std::to_wstring(Index); };
    other->SetCount(50);
    SendMessageW(other->Handle(), LB_GETTEXT, 7, reinterpret_cast<LPARAM>(buf));
    EXPECT_EQ(std::wstring(buf), kCjk + L"7");
    EXPECT_EQ(SendMessageW(other->Handle(), LB_GETTEXTLEN, 50, 0), LB_ERR);
    EXPECT_EQ(other->Items()->Get(49), kCjk + L"49");
    // Painting the wide items (standard and virtual) runs without trouble.
    UpdateWindow(form->Handle());
}

TEST_F(WideEditsLists, ComboBoxCompletesTypedTextKeepingItsCase) {
    auto* combo = Make<widgets::TUcComboBox>();
    combo->Items()->Add(L"Hello");
    combo->Items()->Add(kCjk + L"abc");
    HWND edit = combo->EditHandle();
    combo->HandleNeeded();
    edit = combo->EditHandle();
    ASSERT_NE(edit, nullptr);
    int selects = 0;
    combo->OnSelect = [&](classlib::TObject*) { ++selects; };
    SendMessageW(edit, WM_CHAR, L'h', 1);
    SendMessageW(edit, WM_CHAR, L'e', 1);
    EXPECT_EQ(combo->Text(), L"hello");
    DWORD start = 0, end = 0;
    SendMessageW(combo->Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 5u);
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(selects, 1);  // the index changed once
    // A wide first character completes the wide item.
    combo->SetText(L"");
    SendMessageW(edit, WM_CHAR, kCjk[0], 1);
    EXPECT_EQ(combo->Text(), kCjk.substr(0, 1) + kCjk.substr(1) + L"abc");
    // Without a match the typed text stays as typed.
    combo->SetText(L"");
    SendMessageW(edit, WM_CHAR, L'z', 1);
    EXPECT_EQ(combo->Text(), L"z");
    EXPECT_EQ(MessageOf<unicode::EUcInternalError>([&] {
                  combo->SetStyle(classlib::TComboBoxStyle::csDropDownList);
                  combo->AutoCompleteKeyPress(L'a');
              }),
              L"Internal Error: UcCombo_AutoCompleteKeyPress is only for csSimple and csDropDown style combo boxes.");
}

DWORD gFakeTick = 10000;
DWORD FakeTick() { return gFakeTick; }

TEST_F(WideEditsLists, DropDownListSearchesByKeysTypedCloseTogether) {
    widgets::TUcComboBox::SetTickSourceForTesting(&FakeTick);
    auto* combo = Make<widgets::TUcComboBox>();
    combo->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    for (const wchar_t* s : {L"apple", L"banana", L"abacus", L"\x0436\x0443\x043A"}) combo->Items()->Add(s);
    HWND h = combo->Handle();
    auto type = [&](wchar_t c) { SendMessageW(h, WM_CHAR, c, 1); };
    type(L'a');
    gFakeTick += 100;
    type(L'b');
    EXPECT_EQ(combo->SearchText(), L"ab");
    EXPECT_EQ(combo->Items()->Get(combo->ItemIndex()), L"abacus");
    gFakeTick += 1300;  // a pause: the search starts again
    type(L'b');
    EXPECT_EQ(combo->SearchText(), L"b");
    EXPECT_EQ(combo->Items()->Get(combo->ItemIndex()), L"banana");
    gFakeTick += 1300;
    type(L'\x0436');  // Wine's search ignores case only for ASCII: the item's own case
    EXPECT_EQ(combo->ItemIndex(), 3);
    EXPECT_EQ(combo->Text(), L"\x0436\x0443\x043A");
    type(VK_BACK);
    EXPECT_EQ(combo->SearchText(), L"");
    widgets::TUcComboBox::SetTickSourceForTesting(nullptr);
}

TEST_F(WideEditsLists, AnsiPlatformEditsAndListsPassThroughTheCodePage) {
    unicode::ForcePlatformForTesting(false);
    auto* memo = Make<widgets::TUcMemo>();
    auto* box = Make<widgets::TUcListBox>();
    EXPECT_FALSE(IsWindowUnicode(memo->Handle()));
    EXPECT_FALSE(IsWindowUnicode(box->Handle()));
    memo->Lines()->Add(L"caf\x00E9");
    memo->Lines()->Add(kGreek);
    EXPECT_EQ(memo->Lines()->Get(0), L"caf\x00E9");
    EXPECT_EQ(memo->Lines()->Get(1), AnsiToWide(WideToAnsi(kGreek)));
    box->Items()->Add(kCjk);
    EXPECT_EQ(box->Items()->Get(0), AnsiToWide(WideToAnsi(kCjk)));
    unicode::ForcePlatformForTesting(true);
}

}  // namespace
