// Printing the wide rich edit under Wine: while printing, the text's length is that of the wide
// text with CR LF breaks (the window keeps CR alone), the pages end at the window's own end of
// text, and Wine's own rich edit, which lays out nothing, ends the print as a failure.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/printers.h"
#include "exception_text.h"
#include "test_printer.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_rich_edit.h"

using namespace uctest;
using namespace widgets;

namespace {

const std::wstring kCyrillic = L"\x041F\x0440\x0438\x0432\x0435\x0442";

// A wide rich edit that lays out Step characters a page, as Windows' rich edit would, and notes
// the text's length the window answers while each page is laid out.
class TPagedUcRichEdit : public TUcRichEdit {
public:
    explicit TPagedUcRichEdit(classlib::TComponent* AOwner) : TUcRichEdit(AOwner) {}
    void Dispatch(classlib::TMessage& Message) override {
        if (Message.Msg != EM_FORMATRANGE || Message.LParam == 0) {
            TUcRichEdit::Dispatch(Message);
            return;
        }
        auto* range = reinterpret_cast<FORMATRANGE*>(Message.LParam);
        starts.push_back(range->chrg.cpMin);
        lengths.push_back(SendMessageW(Handle(), WM_GETTEXTLENGTH, 0, 0));
        GETTEXTLENGTHEX count{GTL_NUMCHARS | GTL_PRECISE, 1200};
        auto end = static_cast<LONG>(SendMessageW(Handle(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0));
        Message.Result = std::min(range->chrg.cpMin + Step, end);
    }
    LONG Step = 8;
    std::vector<LONG> starts;
    std::vector<LRESULT> lengths;
};

// A rich edit window whose own text length counts each line break once, as its positions do (the
// wide text has CR LF breaks): the print's length must come from the text, not from the window.
LRESULT CALLBACK CountsBreaksOnceProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
WNDPROC richEditProc = nullptr;

const wchar_t* CountsBreaksOnceClass() {
    static const wchar_t* name = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        if (!GetClassInfoExW(nullptr, L"RichEdit20W", &wc)) return static_cast<const wchar_t*>(nullptr);
        richEditProc = wc.lpfnWndProc;
        wc.lpfnWndProc = &CountsBreaksOnceProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillRichEditCountingBreaksOnce";
        return RegisterClassExW(&wc) != 0 ? wc.lpszClassName : nullptr;
    }();
    return name;
}

LRESULT CALLBACK CountsBreaksOnceProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_GETTEXTLENGTH) {
        GETTEXTLENGTHEX count{GTL_NUMCHARS | GTL_PRECISE, 1200};
        return CallWindowProcW(richEditProc, Window, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0);
    }
    return CallWindowProcW(richEditProc, Window, Msg, WParam, LParam);
}

class TBreaksOnceUcRichEdit : public TPagedUcRichEdit {
public:
    explicit TBreaksOnceUcRichEdit(classlib::TComponent* AOwner) : TPagedUcRichEdit(AOwner) {}
    void CreateWindowHandle(const classlib::TCreateParams& Params) override {
        CreateUnicodeHandle(this, Params, CountsBreaksOnceClass());
    }
};

class WideRichEditPrintTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 460, 300);
        ASSERT_TRUE(printer.Installed()) << "Wine's PostScript driver took no printer";
        classlib::Printer()->SetPrinterName(printer.Name());
    }
    void TearDown() override {
        classlib::Printer()->SetPrinterName(L"");
        WideTest::TearDown();
    }
    template <typename T>
    T* MakeEdit() {
        auto* edit = new T(form);
        edit->SetParent(form);
        edit->SetBounds(8, 8, 400, 200);
        return edit;
    }
    classlib::TForm* form = nullptr;
    quill_test::TestPrinter printer{L"Quillotrane wide test printer"};
};

TEST_F(WideRichEditPrintTest, WhilePrintingTheLengthIsTheCrLfTextsAndAfterwardsTheWindows) {
    auto* edit = MakeEdit<TPagedUcRichEdit>();
    ASSERT_EQ(edit->Lines()->LineBreakStyle(), unicode::tlbsCR);
    edit->Lines()->SetText(kCyrillic + L"\r\n" + kCjk + L"\r\n" + kGreek);
    const auto crlfLength = static_cast<LRESULT>(kCyrillic.size() + 2 + kCjk.size() + 2 + kGreek.size());
    GETTEXTLENGTHEX count{GTL_NUMCHARS | GTL_PRECISE, 1200};
    // Inside the window each break is one character.
    ASSERT_EQ(SendMessageW(edit->Handle(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0), crlfLength - 2);
    edit->Print("wide");
    // 23 characters inside at 8 a page: three pages, the last ending at the window's own end.
    EXPECT_EQ(edit->starts, (std::vector<LONG>{0, 8, 16}));
    EXPECT_EQ(edit->lengths, (std::vector<LRESULT>(3, crlfLength)));
    EXPECT_FALSE(classlib::Printer()->Aborted());
    EXPECT_EQ(printer.Pages(), 3);
    // Afterwards the window answers for the text it holds.
    edit->Lines()->Add(kCyrillic);
    EXPECT_EQ(SendMessageW(edit->Handle(), WM_GETTEXTLENGTH, 0, 0),
              static_cast<LRESULT>(unicode::WideAdjustLineBreaksLength(edit->Text(), unicode::tlbsCRLF)));
    EXPECT_EQ(edit->Text(), kCyrillic + L"\r\n" + kCjk + L"\r\n" + kGreek + L"\r\n" + kCyrillic);
}

TEST_F(WideRichEditPrintTest, TheLengthComesFromTheTextWhereTheWindowCountsBreaksOnce) {
    ASSERT_NE(CountsBreaksOnceClass(), nullptr);
    auto* edit = MakeEdit<TBreaksOnceUcRichEdit>();
    edit->Lines()->SetText(kCjk + L"\r\n" + kCyrillic + L"\r\n" + kGreek + L"\r\n" + kCjk);
    const auto inside = static_cast<LRESULT>(kCjk.size() + 1 + kCyrillic.size() + 1 + kGreek.size() + 1 + kCjk.size());
    ASSERT_EQ(SendMessageW(edit->Handle(), WM_GETTEXTLENGTH, 0, 0), inside);
    edit->Step = 10;
    edit->Print("breaks once");
    // 31 characters inside at 10 a page; the three breaks count twice in the printed text.
    EXPECT_EQ(edit->starts, (std::vector<LONG>{0, 10, 20, 30}));
    EXPECT_EQ(edit->lengths, (std::vector<LRESULT>(4, inside + 3)));
    EXPECT_EQ(printer.Pages(), 4);
    EXPECT_EQ(SendMessageW(edit->Handle(), WM_GETTEXTLENGTH, 0, 0), inside);
}

TEST_F(WideRichEditPrintTest, WinesOwnRichEditEndsThePrintAsAFailure) {
    auto* edit = MakeEdit<TUcRichEdit>();
    edit->Lines()->SetText(kCjk + L"\r\n" + kCyrillic);
    EXPECT_EQ(quill_test::MessageOf<classlib::EPrinter>([&] { edit->Print("wine"); }),
              L"Printing abandoned: page 1 took no text from position 0");
    EXPECT_TRUE(classlib::Printer()->Aborted());
    EXPECT_FALSE(classlib::Printer()->Printing());
    EXPECT_EQ(quill_test::TestPrinter::Count(printer.Output(), "%%EOF"), 0);
    // The print's length is gone with the print.
    edit->Lines()->SetText(kGreek);
    EXPECT_EQ(SendMessageW(edit->Handle(), WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(kGreek.size()));
}

}  // namespace
