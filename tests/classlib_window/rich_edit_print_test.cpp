// Printing a rich edit: the pages follow what the window lays out on each, over the printer's
// printable area, on a PostScript printer of Wine's own driver; a page that takes nothing abandons
// the document (Wine's rich edit lays out nothing at all); a missing printer is an error, never a
// dialog. On the screen, the text is laid out inside the client area.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/forms.h"
#include "classlib/printers.h"
#include "classlib/rich_edit.h"
#include "exception_text.h"
#include "test_printer.h"
#include "window_test_support.h"

namespace {

using classlib::EPrinter;
using classlib::Printer;

// A rich edit that lays out pages as Windows' rich edit does: each page takes Step characters from
// where it is asked to start, up to the window's end of text (or StallAt, from where it takes none).
class TPagedRichEdit : public classlib::TRichEdit {
public:
    explicit TPagedRichEdit(classlib::TComponent* AOwner) : classlib::TRichEdit(AOwner) {}
    struct TCall {
        bool Release;  // the null range that lets the window go of the device
        WPARAM Render = 0;
        CHARRANGE Range{};
        RECT Rect{};
        RECT Page{};
        bool SameDC = false;
        int PrinterPage = 0;
    };
    void Dispatch(classlib::TMessage& Message) override {
        if (Message.Msg != EM_FORMATRANGE) {
            classlib::TRichEdit::Dispatch(Message);
            return;
        }
        if (Message.LParam == 0) {
            calls.push_back({true});
            Message.Result = 0;
            return;
        }
        auto* range = reinterpret_cast<FORMATRANGE*>(Message.LParam);
        TCall call{false, Message.WParam, range->chrg, range->rc, range->rcPage, range->hdc == range->hdcTarget,
                   Printer()->PageNumber()};
        calls.push_back(call);
        if (Message.WParam != 0) TextOutA(range->hdc, 100, 100, "page", 4);
        LONG start = range->chrg.cpMin;
        GETTEXTLENGTHEX count{GTL_NUMCHARS | GTL_PRECISE, 1200};
        auto end = static_cast<LONG>(SendMessageW(Handle(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0));
        Message.Result = (StallAt >= 0 && start >= StallAt) ? start : std::min(start + Step, end);
    }
    std::vector<LONG> Starts() const {
        std::vector<LONG> starts;
        for (const TCall& c : calls)
            if (!c.Release) starts.push_back(c.Range.cpMin);
        return starts;
    }
    LONG Step = 30;
    LONG StallAt = -1;
    std::vector<TCall> calls;
};

class RichEditPrint : public ::testing::Test {
protected:
    void SetUp() override {
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(40, 40, 420, 300);
        ASSERT_TRUE(printer.Installed()) << "Wine's PostScript driver took no printer";
        Printer()->SetPrinterName(printer.Name());
    }
    void TearDown() override {
        Printer()->SetPrinterName(L"");
        window_test::ResetApplicationForms();
    }
    template <typename T>
    T* MakeEdit(const std::string& Text) {
        auto* edit = new T(form);
        edit->SetParent(form);
        edit->SetBounds(8, 8, 380, 220);
        edit->SetText(Text);
        return edit;
    }
    classlib::TForm* form = nullptr;
    quill_test::TestPrinter printer{L"Quillotrane test printer"};
};

TEST_F(RichEditPrint, EachPageStartsWhereTheLastEndedOverThePrintableArea) {
    auto* edit = MakeEdit<TPagedRichEdit>(std::string(100, 'x'));
    edit->Print("Quill print");
    // 100 characters at 30 a page: four pages from 0, 30, 60 and 90, each to the end of the text.
    EXPECT_EQ(edit->Starts(), (std::vector<LONG>{0, 30, 60, 90}));
    ASSERT_EQ(edit->calls.size(), 6u);
    EXPECT_TRUE(edit->calls.front().Release);
    EXPECT_TRUE(edit->calls.back().Release);
    int page = 0;
    for (size_t i = 1; i + 1 < edit->calls.size(); ++i) {
        const auto& call = edit->calls[i];
        EXPECT_FALSE(call.Release);
        EXPECT_EQ(call.Render, 1u);
        EXPECT_EQ(call.Range.cpMax, -1);
        EXPECT_TRUE(call.SameDC);
        EXPECT_EQ(call.PrinterPage, ++page);
        // A4 at 300 dpi less the margins the description gives: about 7.8 by 11.2 inches, in twips.
        EXPECT_EQ(call.Rect.left, 0);
        EXPECT_EQ(call.Rect.top, 0);
        EXPECT_NEAR(call.Rect.right, 559 * 20, 40);
        EXPECT_NEAR(call.Rect.bottom, 806 * 20, 40);
        EXPECT_TRUE(EqualRect(&call.Rect, &call.Page));
    }
    EXPECT_FALSE(Printer()->Printing());
    EXPECT_FALSE(Printer()->Aborted());
    std::string out = printer.Output();
    EXPECT_EQ(printer.Pages(), 4);
    EXPECT_NE(out.find("%%Title: Quill print"), std::string::npos);
    EXPECT_NE(out.find("%%EOF"), std::string::npos);
}

TEST_F(RichEditPrint, LinesEndAtTheWindowsOwnCountWithoutABlankPage) {
    // Three lines: the text's length counts each break as CR LF, the window as one character.
    auto* edit = MakeEdit<TPagedRichEdit>("first line\r\nsecond line\r\nthird line");
    GETTEXTLENGTHEX count{GTL_NUMCHARS | GTL_PRECISE, 1200};
    LRESULT own = SendMessageW(edit->Handle(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0);
    ASSERT_LT(own, edit->GetTextLen());
    edit->Step = 12;
    edit->Print("lines");
    EXPECT_EQ(edit->Starts(), (std::vector<LONG>{0, 12, 24}));
    EXPECT_FALSE(Printer()->Aborted());
    EXPECT_EQ(printer.Pages(), 3);
}

TEST_F(RichEditPrint, APageThatTakesNothingAbandonsTheDocument) {
    auto* edit = MakeEdit<TPagedRichEdit>(std::string(100, 'y'));
    edit->StallAt = 60;
    std::wstring message = quill_test::MessageOf<EPrinter>([&] { edit->Print("stalled"); });
    EXPECT_EQ(message, L"Printing abandoned: page 3 took no text from position 60");
    EXPECT_EQ(edit->Starts(), (std::vector<LONG>{0, 30, 60}));
    // The window is let go of the printer's device even so.
    ASSERT_FALSE(edit->calls.empty());
    EXPECT_TRUE(edit->calls.back().Release);
    EXPECT_FALSE(Printer()->Printing());
    EXPECT_TRUE(Printer()->Aborted());
    EXPECT_EQ(quill_test::TestPrinter::Count(printer.Output(), "%%EOF"), 0);
    // The printer is free for the next document.
    printer.ClearOutput();
    edit->StallAt = -1;
    edit->calls.clear();
    edit->Print("again");
    EXPECT_EQ(edit->Starts(), (std::vector<LONG>{0, 30, 60, 90}));
    EXPECT_FALSE(Printer()->Aborted());
    EXPECT_EQ(printer.Pages(), 4);
}

TEST_F(RichEditPrint, WinesOwnRichEditEndsAndReportsTheFailure) {
    ASSERT_TRUE(classlib::RichEditLibraryLoaded());
    auto* edit = MakeEdit<classlib::TRichEdit>("Wine's rich edit lays out nothing on a printer.");
    EXPECT_EQ(quill_test::MessageOf<EPrinter>([&] { edit->Print("wine"); }),
              L"Printing abandoned: page 1 took no text from position 0");
    EXPECT_TRUE(Printer()->Aborted());
    EXPECT_FALSE(Printer()->Printing());
    EXPECT_EQ(quill_test::TestPrinter::Count(printer.Output(), "%%EOF"), 0);
    // An empty text is done at once: one blank page, printed.
    edit->SetText("");
    printer.ClearOutput();
    edit->Print("empty");
    EXPECT_FALSE(Printer()->Aborted());
    EXPECT_EQ(printer.Pages(), 1);
}

TEST_F(RichEditPrint, NoPrinterOrABusyOneIsAClearErrorNeverADialog) {
    auto* edit = MakeEdit<TPagedRichEdit>("text");
    Printer()->SetPrinterName(L"No such printer");
    EXPECT_EQ(quill_test::MessageOf<EPrinter>([&] { edit->Print("missing"); }),
              L"The printer \"No such printer\" cannot be opened");
    EXPECT_TRUE(edit->calls.empty());
    EXPECT_FALSE(Printer()->Printing());
    // The default printer is the user's "Device" value: none, then ours.
    HKEY windows = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0,
                              nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &windows, nullptr),
              ERROR_SUCCESS);
    wchar_t saved[512] = {};
    DWORD bytes = sizeof(saved) - sizeof(wchar_t);
    bool hadDevice =
        RegQueryValueExW(windows, L"Device", nullptr, nullptr, reinterpret_cast<BYTE*>(saved), &bytes) == ERROR_SUCCESS;
    auto setDevice = [&](const std::wstring& value) {
        RegSetValueExW(windows, L"Device", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    RegDeleteValueW(windows, L"Device");
    Printer()->SetPrinterName(L"");
    std::wstring none = quill_test::MessageOf<EPrinter>([&] { edit->Print("default"); });
    setDevice(printer.Name() + L",winspool," + printer.OutputFile());
    std::wstring ours = quill_test::MessageOf<EPrinter>([&] { edit->Print("default"); });
    if (hadDevice)
        setDevice(saved);
    else
        RegDeleteValueW(windows, L"Device");
    RegCloseKey(windows);
    EXPECT_EQ(none, L"No printer is set up: there is no default printer");
    EXPECT_EQ(ours, L"<no exception>");
    EXPECT_EQ(printer.Pages(), 1);
    EXPECT_FALSE(Printer()->Printing());
    edit->calls.clear();
    // One document at a time.
    Printer()->SetPrinterName(printer.Name());
    Printer()->BeginDoc();
    EXPECT_EQ(quill_test::MessageOf<EPrinter>([&] { edit->Print("second"); }), L"Printing in progress");
    Printer()->EndDoc();
    EXPECT_TRUE(edit->calls.empty());
}

// With a border, at its first size and after each resize, the text's format rectangle ends a pixel
// before the client area's right edge (a full line's end never falls under the border) and reaches
// its bottom.
TEST(RichEditLayout, TheTextIsLaidOutInsideTheClientAreaAtEverySize) {
    auto* form = new classlib::TForm(classlib::Application());
    form->SetBounds(40, 40, 420, 300);
    auto* edit = new classlib::TRichEdit(form);
    edit->SetParent(form);
    edit->SetBounds(8, 8, 200, 100);
    edit->SetText("A full line of words, and then another one, long enough to wrap more than twice over.");
    form->Show();
    const HWND h = edit->Handle();
    ASSERT_NE(0, GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << "the edit has its border";
    for (int width : {200, 311, 150}) {
        edit->SetBounds(8, 8, width, width / 2);
        RECT client{}, format{};
        GetClientRect(h, &client);
        SendMessageW(h, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        ASSERT_LT(client.right, width) << "the border takes its part of " << width;
        EXPECT_LE(format.right, client.right - 1) << width;
        EXPECT_GE(format.right, client.right - 2) << width << ": the whole width but for that pixel";
        EXPECT_GE(format.left, 0) << width;
        EXPECT_LE(format.left, 2) << width;
        EXPECT_EQ(client.bottom, format.bottom) << "down to the bottom at " << width;
    }
    window_test::ResetApplicationForms();
}

}  // namespace
