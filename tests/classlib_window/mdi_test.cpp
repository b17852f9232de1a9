// MDI frames and children: the client window beside the aligned controls, children made in it,
// activation, the window menu's list, cascading and tiling, closing, and the refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/forms.h"
#include "classlib/menus.h"
#include "classlib/panels.h"
#include "exception_text.h"
#include "window_screenshot.h"
#include "window_test_support.h"

using namespace classlib;

using window_test::Pump;

namespace {

std::string MenuTextA(HMENU Menu, UINT Command) {
    char buf[256] = {};
    int n = GetMenuStringA(Menu, Command, buf, 256, MF_BYCOMMAND);
    return std::string(buf, static_cast<size_t>(n > 0 ? n : 0));
}

RECT RectInClient(HWND Window) {
    RECT r{};
    GetWindowRect(Window, &r);
    MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class MDITest : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        Reset();
        frame = new TForm(Application());
        frame->SetFormStyle(TFormStyle::fsMDIForm);
        frame->SetCaption("Frame");
        frame->SetBounds(60, 60, 600, 440);
        Application()->SetMainForm(frame);
        bar = new TPanel(frame);
        bar->SetParent(frame);
        bar->SetHeight(30);
        bar->SetAlign(TAlign::alTop);
        menu = new TMainMenu(frame);
        windowItem = new TMenuItem(frame);
        windowItem->SetCaption("&Window");
        cascadeItem = new TMenuItem(frame);
        cascadeItem->SetCaption("&Cascade");
        windowItem->Add(cascadeItem);
        menu->Items()->Add(windowItem);
        frame->SetMenu(menu);
        frame->SetWindowMenu(windowItem);
        frame->Show();
    }
    void TearDown() override { Reset(); }
    static void Reset() { window_test::ResetApplicationForms(); }
    TForm* Child(const char* Caption) {
        auto* child = new TForm(Application());
        child->SetFormStyle(TFormStyle::fsMDIChild);
        child->SetCaption(Caption);
        child->SetBounds(10, 10, 240, 160);
        child->Show();
        return child;
    }
    // The window menu's entries after its own items: "&1 Alpha", ... (checked: the active one).
    std::string ListEntry(int Index) { return MenuTextA(windowItem->Handle(), kFirstMDIChildId + Index); }
    bool ListEntryChecked(int Index) {
        return (GetMenuState(windowItem->Handle(), kFirstMDIChildId + Index, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }

    TForm* frame = nullptr;
    TPanel* bar = nullptr;
    TMainMenu* menu = nullptr;
    TMenuItem* windowItem = nullptr;
    TMenuItem* cascadeItem = nullptr;
};

TEST_F(MDITest, FrameHoldsItsChildrenInAClientBesideItsAlignedControls) {
    HWND client = frame->ClientHandle();
    ASSERT_NE(client, nullptr);
    char cls[64] = {};
    GetClassNameA(client, cls, 64);
    EXPECT_STREQ(cls, "MDIClient");
    // The client fills what the aligned bar leaves, also after the frame is resized.
    RECT r = RectInClient(client);
    EXPECT_EQ(r.top, 30);
    RECT area = frame->ClientRect();
    EXPECT_EQ(r.bottom, area.bottom);
    frame->SetBounds(60, 60, 500, 400);
    Pump();
    r = RectInClient(client);
    area = frame->ClientRect();
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, area.right);
    EXPECT_EQ(r.bottom, area.bottom);

    int activations = 0, deactivations = 0;
    TForm* alpha = Child("Alpha");
    alpha->OnActivate = [&](TObject*) { ++activations; };
    alpha->OnDeactivate = [&](TObject*) { ++deactivations; };
    TForm* beta = Child("Beta");
    Pump();
    EXPECT_EQ(GetParent(alpha->Handle()), client);
    EXPECT_EQ(GetParent(beta->Handle()), client);
    EXPECT_EQ(frame->MDIChildCount(), 2);
    EXPECT_EQ(frame->MDIChildren(0), alpha);
    EXPECT_EQ(frame->MDIChildren(1), beta);
    EXPECT_THROW(frame->MDIChildren(2), EListError);
    EXPECT_EQ(frame->ActiveMDIChild(), beta);
    EXPECT_EQ(deactivations, 1);
    EXPECT_TRUE(beta->Active());
    EXPECT_FALSE(alpha->Active());

    // The window menu lists both after its own item, the active one checked.
    EXPECT_EQ(ListEntry(0), "&1 Alpha");
    EXPECT_EQ(ListEntry(1), "&2 Beta");
    EXPECT_FALSE(ListEntryChecked(0));
    EXPECT_TRUE(ListEntryChecked(1));
    EXPECT_EQ(MenuTextA(windowItem->Handle(), cascadeItem->Command()), "&Cascade");

    // Next, and the user's pick in the window menu (served by the frame's default procedure).
    frame->Next();
    EXPECT_EQ(frame->ActiveMDIChild(), alpha);
    EXPECT_EQ(activations, 1);
    SendMessageA(frame->Handle(), WM_COMMAND, kFirstMDIChildId + 1, 0);
    EXPECT_EQ(frame->ActiveMDIChild(), beta);
    frame->Previous();
    EXPECT_EQ(frame->ActiveMDIChild(), alpha);

    // A new caption is listed at once.
    alpha->SetCaption("Renamed");
    EXPECT_EQ(ListEntry(0), "&1 Renamed");
    alpha->SetCaption("Alpha");

    // A menu rebuilt from code keeps the list.
    cascadeItem->SetCaption("C&ascade");
    EXPECT_EQ(ListEntry(0), "&1 Alpha");
    EXPECT_EQ(ListEntry(1), "&2 Beta");
    EXPECT_TRUE(ListEntryChecked(0));

    // Cascade: one below and right of the other; tile side by side: one row, half widths each.
    frame->Cascade();
    RECT a = RectInClient(alpha->Handle()), b = RectInClient(beta->Handle());
    EXPECT_NE(a.left, b.left);
    EXPECT_NE(a.top, b.top);
    frame->SetTileMode(TTileMode::tbVertical);
    frame->Tile();
    a = RectInClient(alpha->Handle());
    b = RectInClient(beta->Handle());
    RECT inside{};
    GetClientRect(client, &inside);
    EXPECT_EQ(a.top, b.top);
    EXPECT_NE(a.left, b.left);
    EXPECT_LE(a.right - a.left, inside.right / 2 + 1);
    EXPECT_EQ(alpha->Width(), a.right - a.left);  // the form follows its window
    Pump();
    quill_test::SaveWindowScreenshot(frame->Handle(), L"mdi_frame_tiled.bmp");
}

TEST_F(MDITest, ClosingAChildMinimisesItUnlessItIsFreed) {
    TForm* alpha = Child("Alpha");
    TForm* beta = Child("Beta");
    Pump();
    alpha->Close();
    EXPECT_TRUE(IsIconic(alpha->Handle()));
    EXPECT_EQ(frame->MDIChildCount(), 2);
    // An MDI child cannot be hidden.
    EXPECT_EQ(quill_test::MessageOf<EInvalidOperation>([&] { alpha->Hide(); }), L"Cannot hide an MDI Child Form");
    EXPECT_TRUE(IsWindowVisible(alpha->Handle()));

    bool freed = false;
    beta->OnClose = [](TObject*, TCloseAction& Action) { Action = TCloseAction::caFree; };
    beta->OnDestroy = [&](TObject*) { freed = true; };
    // The user's close box: WM_CLOSE to the child.
    PostMessageA(beta->Handle(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_TRUE(freed);
    EXPECT_EQ(frame->MDIChildCount(), 1);
    EXPECT_EQ(ListEntry(0), "&1 Alpha");
    EXPECT_EQ(ListEntry(1), "");
    // A frame with children stays a frame.
    EXPECT_EQ(quill_test::MessageOf<EInvalidOperation>([&] { frame->SetFormStyle(TFormStyle::fsNormal); }),
              L"Cannot change the style of a form that has MDI children");
    EXPECT_NE(frame->ClientHandle(), nullptr);
}

TEST_F(MDITest, ChildWithoutAnMDIMainFormIsRefused) {
    auto* plain = new TForm(Application());
    Application()->SetMainForm(plain);
    auto* child = new TForm(Application());
    child->SetFormStyle(TFormStyle::fsMDIChild);
    EXPECT_EQ(quill_test::MessageOf<EInvalidOperation>([&] { child->Show(); }),
              L"Cannot create form. No MDI forms are currently active");
    EXPECT_FALSE(child->HandleAllocated());
    // Once the frame is the main form again the same child is made in its client.
    Application()->SetMainForm(frame);
    child->Show();
    EXPECT_EQ(GetParent(child->Handle()), frame->ClientHandle());
    // A form becomes a frame when its style changes after its window exists.
    plain->Show();
    EXPECT_EQ(plain->ClientHandle(), nullptr);
    plain->SetFormStyle(TFormStyle::fsMDIForm);
    EXPECT_NE(plain->ClientHandle(), nullptr);
    plain->SetFormStyle(TFormStyle::fsNormal);
    EXPECT_EQ(plain->ClientHandle(), nullptr);
}

}  // namespace
