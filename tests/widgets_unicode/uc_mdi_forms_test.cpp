// Wide MDI forms: a wide MDI child made through CreateMDIWindowW is a Unicode window whose wide
// caption reads back intact in its frame's client and window menu, and the wide frame's messages
// go through DefFrameProcW.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/conversions.h"
#include "classlib/menus.h"
#include "exception_text.h"
#include "uc_test_support.h"
#include "window_screenshot.h"

using namespace uctest;
using widgets::TUcForm;

namespace {

const std::wstring kCyrillic = L"\x041E\x043A\x043D\x043E";  // "Okno"

std::wstring MenuTextW(HMENU Menu, UINT Command) {
    wchar_t buf[256] = {};
    int n = GetMenuStringW(Menu, Command, buf, 256, MF_BYCOMMAND);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

class WideMDITest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        frame = new TUcForm(classlib::Application());
        frame->SetFormStyle(classlib::TFormStyle::fsMDIForm);
        frame->SetCaption(kGreek);
        frame->SetBounds(80, 80, 560, 420);
        classlib::Application()->SetMainForm(frame);
        auto* menu = new classlib::TMainMenu(frame);
        windowItem = new classlib::TMenuItem(frame);
        windowItem->SetCaption("&Window");
        auto* tile = new classlib::TMenuItem(frame);
        tile->SetCaption("&Tile");
        windowItem->Add(tile);
        menu->Items()->Add(windowItem);
        frame->SetMenu(menu);
        frame->SetWindowMenu(windowItem);
        frame->Show();
    }
    TUcForm* Child(const std::wstring& Caption) {
        auto* child = new TUcForm(classlib::Application());
        child->SetFormStyle(classlib::TFormStyle::fsMDIChild);
        child->SetCaption(Caption);  // before its window exists
        child->SetBounds(10, 10, 260, 180);
        child->Show();
        return child;
    }
    TUcForm* frame = nullptr;
    classlib::TMenuItem* windowItem = nullptr;
};

TEST_F(WideMDITest, WideChildIsAUnicodeWindowOfTheClientWithItsWideCaption) {
    const std::wstring caption = kCyrillic + L" " + kCjk;
    TUcForm* child = Child(caption);
    TUcForm* second = Child(kGreek);
    Pump();
    HWND client = frame->ClientHandle();
    ASSERT_NE(client, nullptr);
    HWND h = child->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TUcForm.UnicodeClass");
    EXPECT_EQ(GetParent(h), client);
    EXPECT_NE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_MDICHILD, 0);
    EXPECT_TRUE(child->HasFormState(classlib::fsCreatedMDIChild));
    EXPECT_EQ(WindowText(h), caption);
    EXPECT_EQ(child->Caption(), caption);
    EXPECT_EQ(frame->MDIChildCount(), 2);
    EXPECT_EQ(frame->ActiveMDIChild(), second);

    // The client lists the children in the window menu by their wide captions.
    EXPECT_EQ(MenuTextW(windowItem->Handle(), classlib::kFirstMDIChildId), L"&1 " + caption);
    EXPECT_EQ(MenuTextW(windowItem->Handle(), classlib::kFirstMDIChildId + 1), L"&2 " + kGreek);

    // The user picks the first child in the window menu: the frame's default procedure activates it.
    SendMessageW(frame->Handle(), WM_COMMAND, classlib::kFirstMDIChildId, 0);
    EXPECT_EQ(frame->ActiveMDIChild(), child);
    EXPECT_TRUE(child->Active());

    // A new wide caption reaches the window and the list.
    child->SetCaption(kCjk);
    EXPECT_EQ(WindowText(h), kCjk);
    EXPECT_EQ(MenuTextW(windowItem->Handle(), classlib::kFirstMDIChildId), L"&1 " + kCjk);

    // Maximised, the child's wide caption joins the frame's (written by DefFrameProcW).
    child->SetWindowState(classlib::TWindowState::wsMaximized);
    Pump();
    EXPECT_TRUE(IsZoomed(h));
    EXPECT_NE(WindowText(frame->Handle()).find(kCjk), std::wstring::npos) << classlib::WideToUtf8(WindowText(frame->Handle()));
    EXPECT_EQ(WindowText(frame->Handle()).find(L'?'), std::wstring::npos);
    child->SetWindowState(classlib::TWindowState::wsNormal);
    Pump();
    frame->Tile();
    Pump();
    quill_test::SaveWindowScreenshot(frame->Handle(), L"wide_mdi_frame.bmp");

    // Its window goes through the client: the list shrinks.
    delete second;
    EXPECT_EQ(frame->MDIChildCount(), 1);
    EXPECT_EQ(MenuTextW(windowItem->Handle(), classlib::kFirstMDIChildId + 1), L"");
}

TEST_F(WideMDITest, WideChildWithoutAnMDIMainFormIsRefused) {
    auto* plain = new TUcForm(classlib::Application());
    classlib::Application()->SetMainForm(plain);
    auto* child = new TUcForm(classlib::Application());
    child->SetFormStyle(classlib::TFormStyle::fsMDIChild);
    child->SetCaption(kCjk);
    EXPECT_EQ(quill_test::MessageOf<classlib::EInvalidOperation>([&] { child->Show(); }),
              L"Cannot create form. No MDI forms are currently active");
    EXPECT_FALSE(child->HandleAllocated());
    EXPECT_EQ(child->Caption(), kCjk);  // kept for the window it gets later
    classlib::Application()->SetMainForm(frame);
    child->Show();
    EXPECT_EQ(WindowText(child->Handle()), kCjk);
    EXPECT_EQ(GetParent(child->Handle()), frame->ClientHandle());
}

}  // namespace
