// Wide dialogs under Wine: the system's open dialog, found and filled as a user would fill it,
// gives back wide file names; the message dialog shows wide texts, answers with the button
// pressed and copies itself with Ctrl+C.
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "classlib/conversions.h"
#include "tests/common/painted_ink.h"
#include "uc_test_support.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"
#include "widgets/unicode/uc_graphics.h"

using namespace uctest;
using namespace widgets;

namespace {

// A folder of its own under the temporary folder, with the given files in it.
class TTempFolder {
public:
    explicit TTempFolder(const std::wstring& Name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + Name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TTempFolder() {
        for (const std::wstring& f : files_) DeleteFileW(f.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring Add(const std::wstring& Name) {
        std::wstring full = path_ + L"\\" + Name;
        HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
        files_.push_back(full);
        return full;
    }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

// Plays the user of a dialog from another thread while the main thread runs it modally: waits
// for the dialog window with the title, then runs the steps against it.
class TDialogDriver {
public:
    TDialogDriver(std::wstring Title, std::function<void(HWND)> Steps)
        : title_(std::move(Title)), steps_(std::move(Steps)), thread_([this] { Run(); }) {}
    ~TDialogDriver() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool Found() const { return found_; }

    // The file-name box of the open dialog (the combo box's edit or the plain edit).
    static HWND FileNameBox(HWND Dialog) {
        HWND box = GetDlgItem(Dialog, cmb13);
        if (box == nullptr) box = GetDlgItem(Dialog, edt1);
        return box;
    }
    static void TypeFileName(HWND Dialog, const std::wstring& Name) {
        HWND box = FileNameBox(Dialog);
        HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
        SendMessageW(edit != nullptr ? edit : box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Name.c_str()));
    }
    static void Press(HWND Dialog, int Id) {
        SendMessageW(Dialog, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, Id)));
    }

private:
    void Run() {
        // Waits for the dialog to appear (it does within seconds; the bound only stops a run
        // whose dialog never came).
        for (int i = 0; i < 3000 && !found_; ++i) {
            HWND w = FindWindowW(nullptr, title_.c_str());
            if (w != nullptr && IsWindowVisible(w)) {
                found_ = true;
                steps_(w);
                return;
            }
            Sleep(10);
        }
    }
    std::wstring title_;
    std::function<void(HWND)> steps_;
    std::atomic<bool> found_{false};
    std::thread thread_;
};

class WideDialogsTest : public WideTest {};

TEST_F(WideDialogsTest, OpenDialogGivesBackTheWideNameTheUserTyped) {
    TTempFolder folder(L"quill_dlg_" + kGreek);
    std::wstring file = folder.Add(kCjk + L".txt");
    TUcOpenDialog dialog(nullptr);
    dialog.SetTitle(L"Open " + kGreek);
    dialog.SetInitialDir(folder.Path() + L"\\");
    EXPECT_EQ(dialog.InitialDir(), folder.Path());
    dialog.SetFilter(L"Text (*.txt)|*.txt|" + kCjk + L"|*.*");
    dialog.SetFilterIndex(2);
    int shown = 0;
    dialog.OnShow = [&](classlib::TObject*) { ++shown; };

    TDialogDriver driver(dialog.Title(), [&](HWND w) {
        TDialogDriver::TypeFileName(w, kCjk + L".txt");
        TDialogDriver::Press(w, IDOK);
    });
    bool ok = dialog.Execute();
    driver.Join();
    ASSERT_TRUE(driver.Found());
    ASSERT_TRUE(ok);
    EXPECT_EQ(dialog.FileName(), file);
    ASSERT_EQ(dialog.Files()->Count(), 1);
    EXPECT_EQ(dialog.Files()->Strings(0), file);
    EXPECT_EQ(dialog.AnsiFiles()->Strings(0), classlib::WideToAnsi(file));
    EXPECT_EQ(dialog.classlib::TOpenDialog::FileName(), classlib::WideToAnsi(file));
    EXPECT_EQ(dialog.FilterIndex(), 2);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST_F(WideDialogsTest, OpenDialogMultiSelectionGivesFullPathsOfBothFiles) {
    TTempFolder folder(L"quill_dlg_multi");
    std::wstring a = folder.Add(kGreek + L".txt");
    std::wstring b = folder.Add(kCjk + L".txt");
    TUcOpenDialog dialog(nullptr);
    dialog.SetTitle(L"Multi " + kCjk);
    dialog.SetInitialDir(folder.Path());
    dialog.SetOptions(dialog.Options() | classlib::ofAllowMultiSelect | classlib::ofFileMustExist);
    TDialogDriver driver(dialog.Title(), [&](HWND w) {
        TDialogDriver::TypeFileName(w, L"\"" + kGreek + L".txt\" \"" + kCjk + L".txt\"");
        TDialogDriver::Press(w, IDOK);
    });
    ASSERT_TRUE(dialog.Execute());
    driver.Join();
    ASSERT_EQ(dialog.Files()->Count(), 2);
    EXPECT_EQ(dialog.Files()->Strings(0), a);
    EXPECT_EQ(dialog.Files()->Strings(1), b);
    EXPECT_EQ(dialog.FileName(), a);
}

TEST_F(WideDialogsTest, OpenDialogStaysOpenWhileTheCanCloseCheckRefuses) {
    TTempFolder folder(L"quill_dlg_check");
    std::wstring file = folder.Add(kGreek + L"1.txt");
    TUcOpenDialog dialog(nullptr);
    dialog.SetTitle(L"Check " + kGreek);
    dialog.SetInitialDir(folder.Path());
    std::atomic<int> asked{0};
    std::wstring seenWhileOpen;
    std::wstring seenFile;
    dialog.OnCanClose = [&](classlib::TObject*, bool& CanClose) {
        seenWhileOpen = dialog.FileName();
        seenFile = dialog.Files()->Count() == 1 ? dialog.Files()->Strings(0) : L"";
        CanClose = ++asked > 1;
    };
    TDialogDriver driver(dialog.Title(), [&](HWND w) {
        TDialogDriver::TypeFileName(w, kGreek + L"1.txt");
        TDialogDriver::Press(w, IDOK);
        // Still open after the refusal: the same confirmation again.
        EXPECT_TRUE(IsWindow(w));
        TDialogDriver::TypeFileName(w, kGreek + L"1.txt");
        TDialogDriver::Press(w, IDOK);
    });
    ASSERT_TRUE(dialog.Execute());
    driver.Join();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(seenWhileOpen, file);
    EXPECT_EQ(seenFile, file);
    // The lists of the check are emptied; the result's are filled.
    EXPECT_EQ(dialog.Files()->Count(), 1);
    EXPECT_EQ(dialog.FileName(), file);
}

TEST_F(WideDialogsTest, CancelledOpenDialogKeepsTheFileName) {
    TUcOpenDialog dialog(nullptr);
    dialog.SetTitle(L"Cancel " + kCjk);
    dialog.SetFileName(kCjk);
    TDialogDriver driver(dialog.Title(), [&](HWND w) { TDialogDriver::Press(w, IDCANCEL); });
    EXPECT_FALSE(dialog.Execute());
    driver.Join();
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(dialog.FileName(), kCjk);
    EXPECT_EQ(dialog.Files()->Count(), 0);
}

TEST_F(WideDialogsTest, OpenDialogFallsBackToTheAnsiDialog) {
    TTempFolder folder(L"quill_dlg_ansi");
    std::wstring file = folder.Add(L"caf\x00E9.txt");
    unicode::ForcePlatformForTesting(false);
    TUcOpenDialog dialog(nullptr);
    dialog.SetTitle(L"Ansi caf\x00E9");
    dialog.SetInitialDir(folder.Path());
    TDialogDriver driver(L"Ansi caf\x00E9", [&](HWND w) {
        HWND box = TDialogDriver::FileNameBox(w);
        HWND edit = FindWindowExA(box, nullptr, "Edit", nullptr);
        SendMessageA(edit != nullptr ? edit : box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("caf\xE9.txt"));
        TDialogDriver::Press(w, IDOK);
    });
    bool ok = dialog.Execute();
    driver.Join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(dialog.FileName(), file);
    ASSERT_EQ(dialog.Files()->Count(), 1);
    EXPECT_EQ(dialog.Files()->Strings(0), file);
}

TEST_F(WideDialogsTest, MessageDialogShowsWideTextsAndAnswersWithTheButtonPressed) {
    const std::wstring message = kGreek + L" " + kCjk + L"?";
    std::wstring seenNo;
    TDialogDriver driver(L"Confirm", [&](HWND w) {
        // The wide message and the wide button captions as the window shows them.
        for (HWND child = GetWindow(w, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            // Posted, not sent: a sent click can be served while the form is still being shown,
            // before its modal loop clears the result, and the dialog would never close.
            if (WindowText(child) == L"&No") {
                seenNo = L"&No";
                PostMessageW(child, BM_CLICK, 0, 0);
            }
        }
    });
    int result = WideMessageDlg(message, TMsgDlgType::mtConfirmation, mbYesNoCancel, 0);
    driver.Join();
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(seenNo, L"&No");
    EXPECT_EQ(result, classlib::mrNo);
}

// A question starts with the keyboard on its default button, answers Return with the focused button
// and Escape with its cancel button, and gives the keyboard back to the control that had it.
TEST_F(WideDialogsTest, MessageDialogAnswersTheKeyboardAndGivesTheFocusBack) {
    auto* window = new TUcForm(classlib::Application());
    window->SetBounds(100, 100, 400, 300);
    auto* edit = new TTestWideEdit(window);
    edit->SetParent(window);
    window->Show();
    edit->SetFocus();
    Pump(50);
    ASSERT_EQ(GetFocus(), edit->Handle());
    const DWORD thread = GetCurrentThreadId();
    // What the user meets, looked at from another thread while the question is open.
    struct TSeen {
        std::wstring focused;
        bool stayed = false;  // the keys did not answer it (it is closed with its close box then)
    };
    auto press = [&](std::initializer_list<WORD> Keys, TSeen& Seen) {
        return [&, Keys](HWND Dialog) {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            for (int i = 0; i < 500 && (info.hwndFocus == nullptr || GetParent(info.hwndFocus) != Dialog); ++i) {
                GetGUIThreadInfo(thread, &info);
                Sleep(10);
            }
            Seen.focused = WindowText(info.hwndFocus);
            // Keys as the keyboard gives them to the window with the focus.
            for (WORD key : Keys) {
                GetGUIThreadInfo(thread, &info);
                const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
                PostMessageW(info.hwndFocus, WM_KEYDOWN, key, scan | 1);
                PostMessageW(info.hwndFocus, WM_KEYUP, key, scan | 0xC0000001);
                Sleep(100);
            }
            for (int i = 0; i < 500 && IsWindowVisible(Dialog); ++i) Sleep(10);
            Seen.stayed = IsWindowVisible(Dialog);
            if (Seen.stayed) PostMessageW(Dialog, WM_CLOSE, 0, 0);
        };
    };
    {
        TSeen seen;
        TDialogDriver driver(L"Warning", press({VK_RETURN}, seen));
        EXPECT_EQ(WideMessageDlg(kGreek, TMsgDlgType::mtWarning, MsgDlgButtons({mbYes, mbNo, mbAll}), 0),
                  classlib::mrYes);
        driver.Join();
        EXPECT_FALSE(seen.stayed) << "Return did not answer";
        EXPECT_EQ(seen.focused, L"&Yes");
        EXPECT_EQ(GetActiveWindow(), window->Handle());
        EXPECT_EQ(GetFocus(), edit->Handle()) << "the keyboard is back where it was";
    }
    {
        // Tab to the next button: Return answers the button with the focus, not the default one.
        TSeen seen;
        TDialogDriver driver(L"Warning", press({VK_TAB, VK_RETURN}, seen));
        EXPECT_EQ(WideMessageDlg(kGreek, TMsgDlgType::mtWarning, MsgDlgButtons({mbYes, mbNo, mbAll}), 0),
                  classlib::mrNo);
        driver.Join();
        EXPECT_FALSE(seen.stayed);
    }
    {
        TSeen seen;
        TDialogDriver driver(L"Confirm", press({VK_ESCAPE}, seen));
        EXPECT_EQ(WideMessageDlg(kCjk, TMsgDlgType::mtConfirmation, mbYesNoCancel, 0), classlib::mrCancel);
        driver.Join();
        EXPECT_FALSE(seen.stayed) << "Escape did not answer";
        EXPECT_EQ(GetFocus(), edit->Handle());
    }
}

// The Help button asks the application's help (its OnHelp, which an event chain may hold) for
// the dialog's help context, with the dialog's help file current; the dialog stays open.
TEST_F(WideDialogsTest, HelpButtonAsksTheApplicationsHelpForTheDialogsContext) {
    struct TRequest {
        WORD Command;
        LONG_PTR Data;
        std::wstring File;
    };
    std::vector<TRequest> requests;
    classlib::Application()->OnHelp = [&](WORD Command, LONG_PTR Data, bool& CallHelp) {
        requests.push_back({Command, Data, classlib::Application()->CurrentHelpFile()});
        CallHelp = false;  // no help viewer in a test
        return true;
    };
    TDialogDriver driver(L"Information", [&](HWND w) {
        for (HWND child = GetWindow(w, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (WindowText(child) == L"&Help") PostMessageW(child, BM_CLICK, 0, 0);
        for (HWND child = GetWindow(w, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (WindowText(child) == L"Ok") PostMessageW(child, BM_CLICK, 0, 0);
    });
    const std::wstring file = L"C:\\Help\\" + kGreek + L".hlp";
    int result = WideMessageDlgPosHelp(kCjk, TMsgDlgType::mtInformation, MsgDlgButtons({mbOK, mbHelp}), 4321, -1, -1, file);
    driver.Join();
    ASSERT_TRUE(driver.Found());
    EXPECT_EQ(result, classlib::mrOk);  // help did not close the dialog
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Command, HELP_CONTEXT);
    EXPECT_EQ(requests[0].Data, 4321);
    EXPECT_EQ(requests[0].File, file);
    EXPECT_TRUE(classlib::Application()->CurrentHelpFile().empty());
}

TEST_F(WideDialogsTest, MessageDialogDefaultAndCancelButtonsFollowTheButtonsItHas) {
    TUcMessageForm yesNoCancel(nullptr, kCjk, TMsgDlgType::mtConfirmation, mbYesNoCancel);
    EXPECT_TRUE(yesNoCancel.Button(mbYes)->Default());
    EXPECT_TRUE(yesNoCancel.Button(mbCancel)->Cancel());
    EXPECT_FALSE(yesNoCancel.Button(mbNo)->Cancel());
    EXPECT_EQ(yesNoCancel.Button(mbOK), nullptr);
    EXPECT_EQ(yesNoCancel.Button(mbNo)->ModalResult(), classlib::mrNo);
    EXPECT_EQ(yesNoCancel.Caption(), L"Confirm");
    EXPECT_EQ(yesNoCancel.Message()->Caption(), kCjk);
    TUcMessageForm yesNo(nullptr, kCjk, TMsgDlgType::mtWarning, mbYesNo);
    EXPECT_TRUE(yesNo.Button(mbNo)->Cancel());
    // Started on No, No is the default button too; a kind the dialog lacks changes nothing.
    yesNo.SetFocusedButton(mbNo);
    EXPECT_TRUE(yesNo.Button(mbNo)->Default());
    EXPECT_FALSE(yesNo.Button(mbYes)->Default());
    EXPECT_EQ(yesNo.ActiveControl(), yesNo.Button(mbNo));
    yesNo.SetFocusedButton(mbRetry);
    EXPECT_EQ(yesNo.ActiveControl(), yesNo.Button(mbNo));
    TUcMessageForm retry(nullptr, kCjk, TMsgDlgType::mtError, mbAbortRetryIgnore | MsgDlgButtons({mbOK}));
    EXPECT_TRUE(retry.Button(mbOK)->Default());
    EXPECT_TRUE(retry.Button(mbOK)->Cancel());
    // Buttons left to right in their fixed order, on one line.
    EXPECT_LT(retry.Button(mbOK)->Left(), retry.Button(mbAbort)->Left());
    EXPECT_LT(retry.Button(mbAbort)->Left(), retry.Button(mbIgnore)->Left());
    EXPECT_EQ(retry.Button(mbOK)->Top(), retry.Button(mbIgnore)->Top());
    EXPECT_THROW(GetMessageCaption(5), unicode::EUcInternalError);
    EXPECT_THROW(GetButtonCaption(11), unicode::EUcInternalError);
    UcApplication()->SetTitle(kGreek);
    TUcMessageForm custom(nullptr, kCjk, TMsgDlgType::mtCustom, MsgDlgButtons({mbOK}));
    EXPECT_EQ(custom.Caption(), kGreek);
    EXPECT_EQ(custom.Image(), nullptr);
}

TEST_F(WideDialogsTest, MessageDialogWrapsLongTextsAndKeepsRoomForItsIcon) {
    std::wstring longText;
    for (int i = 0; i < 60; ++i) longText += kGreek + L" ";
    TUcMessageForm wrapped(nullptr, longText, TMsgDlgType::mtInformation, MsgDlgButtons({mbOK}));
    EXPECT_LE(wrapped.Message()->Width(), classlib::Screen()->Width() / 2);
    EXPECT_GT(wrapped.Message()->Height(), 2 * wrapped.Message()->Font()->Size());
    EXPECT_GE(wrapped.Button(mbOK)->Top(), wrapped.Message()->Top() + wrapped.Message()->Height());
    TUcMessageForm brief(nullptr, L"x", TMsgDlgType::mtInformation, MsgDlgButtons({mbOK}));
    ASSERT_NE(brief.Image(), nullptr);
    EXPECT_NE(brief.Image()->Picture()->Icon(), nullptr);
    EXPECT_GE(brief.Button(mbOK)->Top(), brief.Image()->Top() + 32);
    EXPECT_GT(brief.Message()->Left(), brief.Image()->Left() + 32);
}

// The message shows its whole text, to its closing full stop, however its lines fall: the message
// paints every character that its text drawn without bounds at its width shows.
TEST_F(WideDialogsTest, MessageDialogPaintsItsWholeTextToItsLastCharacter) {
    const COLORREF black = RGB(0, 0, 0);
    for (int length = 0; length < 160; length += 3) {
        const std::wstring text = L"Nothing was recorded into C:\\" + std::wstring(length, L'v') + std::wstring(length % 4, L'i') +
                                  L"\\Video_0.avi: the capture was frozen." + (length % 2 ? L" Resume it before you stop." : L" (space bar).");
        TUcMessageForm form(nullptr, text, TMsgDlgType::mtWarning, MsgDlgButtons({mbOK}));
        TUcLabel* label = form.Message();
        const std::wstring shown = label->Caption();
        const quill_test::TInk painted = quill_test::PaintedInk(label, black);
        const quill_test::TInk whole = quill_test::InkOf(black, label->Width() + 100, label->Height() + 100, [&](HDC dc) {
            const HGDIOBJ old = SelectObject(dc, label->Font()->Handle());
            SetBkMode(dc, TRANSPARENT);
            RECT r{0, 0, label->Width(), label->Height()};
            DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &r, DT_WORDBREAK | DT_EXPANDTABS | DT_NOCLIP);
            SelectObject(dc, old);
        });
        EXPECT_EQ(whole.Count, painted.Count) << length << ": the message cuts its text";
        EXPECT_LT(whole.Right, label->Width()) << length;
        EXPECT_LT(whole.Bottom, label->Height()) << length;
    }
}

TEST_F(WideDialogsTest, MessageDialogCopiesItselfWithCtrlC) {
    auto* form = new TUcMessageForm(classlib::Application(), kGreek, TMsgDlgType::mtWarning, mbOKCancel);
    form->AfterConstruction();
    form->Show();
    Pump();
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE withCtrl[256];
    std::copy(std::begin(keys), std::end(keys), withCtrl);
    withCtrl[VK_CONTROL] = 0x80;
    SetKeyboardState(withCtrl);
    SendMessageW(form->Button(mbOK)->Handle(), WM_KEYDOWN, 'C', 0);
    SetKeyboardState(keys);
    const std::wstring d = std::wstring(27, L'-') + L"\r\n";
    EXPECT_EQ(UcClipboard()->AsWideText(), d + L"Warning\r\n" + d + kGreek + L"\r\n" + d + L"Ok   Cancel   \r\n" + d);
    // Without Ctrl the key copies nothing.
    UcClipboard()->SetAsWideText(L"before");
    SendMessageW(form->Button(mbOK)->Handle(), WM_KEYDOWN, 'C', 0);
    EXPECT_EQ(UcClipboard()->AsWideText(), L"before");
}

TEST_F(WideDialogsTest, AnsweringSeamAnswersWithoutAForm) {
    TMsgDlgButtons asked = 0;
    SetMessageDlgFunction([&](const std::wstring& Msg, TMsgDlgType, TMsgDlgButtons Buttons) {
        asked = Buttons;
        return Msg == kCjk ? classlib::mrYes : classlib::mrNo;
    });
    EXPECT_EQ(WideMessageDlg(kCjk, TMsgDlgType::mtConfirmation, mbYesNo, 0), classlib::mrYes);
    EXPECT_EQ(asked, mbYesNo);
    SetMessageDlgFunction(nullptr);
}

TEST_F(WideDialogsTest, FontAndColourDialogsGiveBackWhatTheUserConfirmed) {
    classlib::TColorDialog colours(nullptr);
    colours.SetColor(RGB(0x20, 0x40, 0x60));
    colours.CustomColors()->Add("ColorB=102030");
    colours.CustomColors()->Add("ColorC=not a colour");
    HWND seen = nullptr;
    colours.OnShow = [&](classlib::TObject*) { seen = colours.Handle(); };
    TDialogDriver colourUser(L"Color", [](HWND w) { TDialogDriver::Press(w, IDOK); });
    ASSERT_TRUE(colours.Execute());
    colourUser.Join();
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(colours.Color(), static_cast<classlib::TColor>(RGB(0x20, 0x40, 0x60)));
    ASSERT_EQ(colours.CustomColors()->Count(), 16);
    EXPECT_EQ(colours.CustomColors()->Strings(1), "ColorB=102030");
    EXPECT_EQ(colours.CustomColors()->Strings(2), "ColorC=FFFFFF");

    classlib::TFontDialog fonts(nullptr);
    fonts.Font()->SetName("Liberation Sans");
    fonts.Font()->SetSize(12);
    TDialogDriver fontUser(L"Font", [](HWND w) { TDialogDriver::Press(w, IDOK); });
    bool ok = fonts.Execute();
    fontUser.Join();
    ASSERT_TRUE(fontUser.Found());
    ASSERT_TRUE(ok);
    EXPECT_EQ(fonts.Font()->Name(), "Liberation Sans");
    EXPECT_EQ(fonts.Font()->Size(), 12);
    // Cancelled: the font stays as it was.
    fonts.Font()->SetSize(9);
    TDialogDriver cancelUser(L"Font", [](HWND w) { TDialogDriver::Press(w, IDCANCEL); });
    EXPECT_FALSE(fonts.Execute());
    cancelUser.Join();
    EXPECT_EQ(fonts.Font()->Size(), 9);
}

TEST(DialogFileNames, SplitsTerminatedAndBlankSeparatedSelections) {
    const wchar_t explorer[] = L"C:\\d\0a.txt\0b.txt\0\0";
    auto files = classlib::SplitDialogFileNames(explorer, std::size(explorer), true, L'\0');
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], L"C:\\d\\a.txt");
    EXPECT_EQ(files[1], L"C:\\d\\b.txt");
    const char old[] = "C:\\ a.txt D:\\x\\b.txt \\\\srv\\c.txt\0";
    auto oldFiles = classlib::SplitDialogFileNames(old, std::size(old), true, ' ');
    ASSERT_EQ(oldFiles.size(), 3u);
    EXPECT_EQ(oldFiles[0], "C:\\a.txt");
    EXPECT_EQ(oldFiles[1], "D:\\x\\b.txt");
    EXPECT_EQ(oldFiles[2], "\\\\srv\\c.txt");
    const wchar_t single[] = L"C:\\only.txt\0\0";
    auto one = classlib::SplitDialogFileNames(single, std::size(single), true, L'\0');
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], L"C:\\only.txt");
    // A buffer with no terminator at all stops at its size.
    const wchar_t unterminated[3] = {L'a', L'b', L'c'};
    EXPECT_EQ(classlib::SplitDialogFileNames(unterminated, 3, false, L'\0')[0], L"abc");
}

// A message naming a folder of 100,000 characters stays on the screen: the folder is broken at the
// text's width, its middle left out, the question at its end shown and the buttons on the screen;
// Ctrl+C still copies the whole message.
TEST_F(WideDialogsTest, MessageDialogOfAHugeWordFitsTheScreenAndKeepsItsQuestion) {
    const std::wstring question = L"Do you want to create it?";
    const std::wstring text = L"The folder C:\\" + std::wstring(100000, L'd') + L" does not exist.\r\n" + question;
    TUcMessageForm form(nullptr, text, TMsgDlgType::mtConfirmation, mbYesNo);
    const int screenWidth = classlib::Screen()->Width(), screenHeight = classlib::Screen()->Height();
    EXPECT_GE(form.Left(), 0);
    EXPECT_GE(form.Top(), 0);
    EXPECT_LE(form.Left() + form.Width(), screenWidth);
    EXPECT_LE(form.Top() + form.Height(), screenHeight);
    EXPECT_LE(form.Message()->Width(), screenWidth / 2);
    for (TMsgDlgBtn kind : {mbYes, mbNo}) {
        TUcButton* button = form.Button(kind);
        ASSERT_NE(button, nullptr);
        EXPECT_LE(form.Top() + button->Top() + button->Height(), screenHeight);
        EXPECT_LE(form.Left() + button->Left() + button->Width(), screenWidth);
    }
    const std::wstring shown = form.Message()->Caption();
    EXPECT_EQ(0u, shown.rfind(L"The folder C:\\ddd", 0));
    EXPECT_EQ(question, shown.substr(shown.size() - question.size())) << "the question is shown";
    EXPECT_NE(std::wstring::npos, shown.find(L"...")) << "the middle is left out";
    EXPECT_NE(std::wstring::npos, form.ClipboardText().find(text)) << "Ctrl+C copies the whole message";
    // A short message is shown as it is.
    TUcMessageForm brief(nullptr, question, TMsgDlgType::mtConfirmation, mbYesNo);
    EXPECT_EQ(question, brief.Message()->Caption());
}

}  // namespace
