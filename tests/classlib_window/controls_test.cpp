// Controls: the WindowProc chain, Perform, texts, handle re-creation, children, notification
// reflection, graphic children, alignment and exceptions at the window procedure.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "classlib/controls.h"
#include "classlib/forms.h"
#include "classlib/threads.h"
#include "classlib/timer.h"

using namespace classlib;

namespace {

void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        form = NewForm<TForm>(nullptr);
        form->SetBounds(50, 50, 400, 300);
    }
    void TearDown() override {
        Application()->OnException = nullptr;
        delete form;
        Pump();
    }
    TForm* form = nullptr;
};

class TPad : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TPad)
    explicit TPad(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(5, 6, 70, 40); }
    ~TPad() override {
        if (deleted) *deleted = true;
    }
    bool* deleted = nullptr;
};

// A push button made from the system's BUTTON class; records reflected notifications.
class TSysButton : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TSysButton)
    explicit TSysButton(TComponent* AOwner) : TWinControl(AOwner) {
        SetBounds(10, 100, 80, 25);
        SetControlStyle(ControlStyle() & ~static_cast<std::uint32_t>(csClickEvents));
    }
    void CreateParams(TCreateParams& Params) override {
        TWinControl::CreateParams(Params);
        CreateSubClass(Params, "BUTTON");
        Params.Style |= BS_PUSHBUTTON;
    }
    void Dispatch(TMessage& m) override {
        if (m.Msg == CN_COMMAND) {
            notifications.push_back(HIWORD(m.WParam));
            if (HIWORD(m.WParam) == BN_CLICKED) Click();
            return;
        }
        TWinControl::Dispatch(m);
    }
    std::vector<int> notifications;
};

class TBox : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TBox)
    explicit TBox(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(200, 10, 50, 50); }
    int paints = 0;
    COLORREF pixel = 0;

protected:
    void Paint() override {
        ++paints;
        Canvas()->Brush()->SetColor(clRed);
        RECT r{0, 0, Width(), Height()};
        Canvas()->FillRect(r);
        pixel = GetPixel(Canvas()->Handle(), 1, 1);
    }
};

TEST_F(ControlsTest, ReplacedWindowProcSeesMessagesFirstAndPassesThemOn) {
    auto* pad = new TPad(form);
    pad->SetParent(form);
    form->Show();
    std::vector<UINT> seen;
    TWndMethod previous = pad->WindowProc();
    EXPECT_TRUE(pad->WindowProcIsWndProc());
    int hook = 0;
    pad->SetWindowProc(
        [&, previous](TMessage& m) {
            seen.push_back(m.Msg);
            if (m.Msg == WM_USER + 1) {
                m.Result = 99;  // handled here, not passed on
                return;
            }
            previous(m);
        },
        &hook);
    EXPECT_EQ(pad->WindowProcId(), &hook);
    EXPECT_FALSE(pad->WindowProcIsWndProc());
    // Perform and messages sent to the window both go through the chain.
    EXPECT_EQ(pad->Perform(WM_USER + 1, 0, 0), 99);
    EXPECT_EQ(SendMessageA(pad->Handle(), WM_USER + 1, 0, 0), 99);
    pad->SetCaption("abc");
    EXPECT_EQ(pad->Caption(), "abc");
    char text[16] = {};
    GetWindowTextA(pad->Handle(), text, sizeof text);
    EXPECT_STREQ(text, "abc");
    auto count = [&](UINT msg) { return std::count(seen.begin(), seen.end(), msg); };
    EXPECT_EQ(count(WM_USER + 1), 2);
    EXPECT_GE(count(WM_SETTEXT), 1);
    EXPECT_EQ(count(CM_TEXTCHANGED), 1);
    // The same text again: no change, no notification.
    pad->SetCaption("abc");
    EXPECT_EQ(count(CM_TEXTCHANGED), 1);
    // Back to the control's own method.
    pad->SetWindowProc(nullptr);
    EXPECT_TRUE(pad->WindowProcIsWndProc());
    EXPECT_EQ(pad->Perform(WM_USER + 1, 0, 0), 0);
}

TEST_F(ControlsTest, NonWindowedTextAnswersTextMessagesSafely) {
    auto* box = new TBox(form);
    box->SetParent(form);
    box->SetCaption("Volume");
    EXPECT_EQ(box->Perform(WM_GETTEXTLENGTH, 0, 0), 6);
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(box->Perform(WM_GETTEXT, sizeof small, reinterpret_cast<LPARAM>(small)), 3);
    EXPECT_STREQ(small, "Vol");
    EXPECT_EQ(box->Perform(WM_GETTEXT, 0, reinterpret_cast<LPARAM>(small)), 0);
    EXPECT_EQ(box->Perform(WM_GETTEXT, 10, 0), 0);
    EXPECT_EQ(box->Perform(WM_SETTEXT, 0, 0), TRUE);
    EXPECT_EQ(box->Caption(), "");
    // A windowed control keeps its text before and after it has a window.
    auto* pad = new TPad(form);
    pad->SetCaption("before");
    pad->SetParent(form);
    form->HandleNeeded();
    ASSERT_TRUE(pad->HandleAllocated());
    char text[16] = {};
    GetWindowTextA(pad->WindowHandle(), text, sizeof text);
    EXPECT_STREQ(text, "before");
    // The name becomes the caption while the caption still was the name.
    auto* named = new TPad(form);
    named->SetName(L"Pad1");
    EXPECT_EQ(named->Caption(), "Pad1");
    named->SetName(L"Pad2");
    EXPECT_EQ(named->Caption(), "Pad2");
    named->SetCaption("Own");
    named->SetName(L"Pad3");
    EXPECT_EQ(named->Caption(), "Own");
}

TEST_F(ControlsTest, RecreatingTheWindowKeepsCaptionBoundsAndChildren) {
    form->SetCaption("Capture");
    auto* panel = new TPad(form);
    panel->SetParent(form);
    panel->SetControlStyle(panel->ControlStyle() | csAcceptsControls);
    panel->SetBounds(10, 20, 200, 150);
    auto* child = new TPad(form);
    child->SetParent(panel);
    child->SetCaption("inner");
    child->SetBounds(7, 8, 30, 20);
    form->Show();
    HWND oldForm = form->WindowHandle();
    HWND oldChild = child->WindowHandle();
    // The child's text changed in its window only.
    SetWindowTextA(oldChild, "changed");
    SetWindowPos(oldForm, nullptr, 60, 70, 420, 310, SWP_NOZORDER | SWP_NOACTIVATE);
    form->RecreateWnd();
    HWND newForm = form->WindowHandle();
    ASSERT_NE(newForm, nullptr);
    EXPECT_FALSE(IsWindow(oldForm));
    EXPECT_FALSE(IsWindow(oldChild));
    EXPECT_TRUE(IsWindowVisible(newForm));
    char text[32] = {};
    GetWindowTextA(newForm, text, sizeof text);
    EXPECT_STREQ(text, "Capture");
    RECT r;
    GetWindowRect(newForm, &r);
    EXPECT_EQ(r.left, 60);
    EXPECT_EQ(r.top, 70);
    EXPECT_EQ(r.right - r.left, 420);
    ASSERT_TRUE(child->HandleAllocated());
    EXPECT_EQ(GetParent(child->WindowHandle()), panel->WindowHandle());
    EXPECT_EQ(GetParent(panel->WindowHandle()), newForm);
    GetWindowTextA(child->WindowHandle(), text, sizeof text);
    EXPECT_STREQ(text, "changed");
    GetWindowRect(child->WindowHandle(), &r);
    MapWindowPoints(nullptr, panel->WindowHandle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 7);
    EXPECT_EQ(r.top, 8);
    EXPECT_EQ(FindControl(child->WindowHandle()), child);
    EXPECT_EQ(FindControl(oldChild), nullptr);
}

TEST_F(ControlsTest, HiddenControlsGetTheirWindowsWhenShownOrAskedAndTakeTheirPlaceAmongTheirSiblings) {
    auto* panel = new TPad(form);
    panel->SetVisible(false);
    panel->SetParent(form);
    panel->SetControlStyle(panel->ControlStyle() | csAcceptsControls);
    panel->SetBounds(10, 10, 200, 150);
    auto* inner = new TPad(form);
    inner->SetParent(panel);
    inner->SetCaption("inner");
    auto* front = new TPad(form);
    front->SetParent(form);
    front->SetBounds(20, 20, 50, 50);
    form->Show();
    // Nothing of the hidden panel has a window yet; its visible sibling has.
    EXPECT_TRUE(front->HandleAllocated());
    EXPECT_FALSE(panel->HandleAllocated());
    EXPECT_FALSE(inner->HandleAllocated());

    panel->Show();
    ASSERT_TRUE(panel->HandleAllocated());
    ASSERT_TRUE(inner->HandleAllocated());
    EXPECT_TRUE(IsWindowVisible(inner->WindowHandle()));
    EXPECT_EQ(GetParent(inner->WindowHandle()), panel->WindowHandle());
    char text[32] = {};
    GetWindowTextA(inner->WindowHandle(), text, sizeof text);
    EXPECT_STREQ(text, "inner");
    EXPECT_EQ(FindControl(inner->WindowHandle()), inner);
    // Made after the sibling that comes later in the list, the panel's window lies above it, as it
    // would have, made first.
    EXPECT_EQ(GetWindow(front->WindowHandle(), GW_HWNDPREV), panel->WindowHandle());
    // Brought to the front while it had no window, a control's window is made on top.
    auto* raised = new TPad(form);
    raised->SetVisible(false);
    raised->SetParent(form);
    raised->BringToFront();
    auto* lowered = new TPad(form);
    lowered->SetVisible(false);
    lowered->SetParent(form);
    lowered->SendToBack();
    raised->Show();
    lowered->Show();
    EXPECT_EQ(GetWindow(form->WindowHandle(), GW_CHILD), raised->WindowHandle());
    EXPECT_EQ(GetWindow(raised->WindowHandle(), GW_HWNDLAST), lowered->WindowHandle());

    // A hidden control asked for its window gets one, and stays hidden.
    auto* later = new TPad(form);
    later->SetVisible(false);
    later->SetParent(form);
    EXPECT_FALSE(later->HandleAllocated());
    later->HandleNeeded();
    ASSERT_TRUE(later->HandleAllocated());
    EXPECT_FALSE(IsWindowVisible(later->WindowHandle()));
    EXPECT_EQ(FindControl(later->WindowHandle()), later);
}

TEST_F(ControlsTest, ChildControlsGoWithTheirParent) {
    bool panelDeleted = false, childDeleted = false;
    auto* panel = new TPad(nullptr);
    panel->deleted = &panelDeleted;
    panel->SetParent(form);
    auto* child = new TPad(form);  // owned by the form, parented by the panel
    child->deleted = &childDeleted;
    child->SetParent(panel);
    form->Show();
    HWND childWindow = child->WindowHandle();
    int owned = form->ComponentCount();
    delete panel;
    EXPECT_TRUE(panelDeleted);
    EXPECT_TRUE(childDeleted);
    EXPECT_FALSE(IsWindow(childWindow));
    EXPECT_EQ(form->ComponentCount(), owned - 1);
    EXPECT_EQ(form->ControlCount(), 0);
    // A child taken from its parent loses its window but lives on.
    auto* loose = new TPad(form);
    loose->SetParent(form);
    ASSERT_TRUE(loose->HandleAllocated());
    loose->SetParent(nullptr);
    EXPECT_FALSE(loose->HandleAllocated());
    EXPECT_THROW(loose->SetParent(loose), EInvalidOperation);
}

TEST_F(ControlsTest, NotificationsAreReflectedToTheSystemControl) {
    auto* button = new TSysButton(form);
    button->SetParent(form);
    button->SetCaption("OK");
    int clicks = 0;
    button->OnClick = [&](TObject*) { ++clicks; };
    form->Show();
    HWND h = button->WindowHandle();
    char cls[32] = {};
    GetClassNameA(h, cls, sizeof cls);
    EXPECT_STREQ(cls, "TSysButton");
    EXPECT_EQ(FindControl(h), button);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_ID), reinterpret_cast<LONG_PTR>(h));
    SendMessageA(h, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
    ASSERT_FALSE(button->notifications.empty());
    EXPECT_EQ(button->notifications.back(), BN_CLICKED);
    // The window's own painting and text come from the system class.
    char text[8] = {};
    GetWindowTextA(h, text, sizeof text);
    EXPECT_STREQ(text, "OK");
}

TEST_F(ControlsTest, GraphicChildrenArePaintedAndClickedThroughTheirParent) {
    auto* box = new TBox(form);
    box->SetParent(form);
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    form->Show();
    RedrawWindow(form->WindowHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GE(box->paints, 1);
    EXPECT_EQ(box->pixel, RGB(255, 0, 0));
    // Mouse messages over the box reach it in its own coordinates.
    int downX = -1, downY = -1;
    box->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) {
        downX = x;
        downY = y;
    };
    HWND h = form->WindowHandle();
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(210, 25));
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(210, 25));
    EXPECT_EQ(downX, 10);
    EXPECT_EQ(downY, 15);
    EXPECT_EQ(clicks, 1);
    // Released outside: no click.
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(210, 25));
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 250));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(form->ControlAtPos(POINT{220, 30}, false), box);
    box->SetEnabled(false);
    EXPECT_EQ(form->ControlAtPos(POINT{220, 30}, false), nullptr);
    EXPECT_EQ(form->ControlAtPos(POINT{220, 30}, true), box);
}

TEST_F(ControlsTest, AlignedChildrenShareTheClientArea) {
    form->SetClientWidth(400);
    form->SetClientHeight(300);
    auto* top = new TPad(form);
    top->SetParent(form);
    top->SetHeight(40);
    top->SetAlign(TAlign::alTop);
    auto* left = new TPad(form);
    left->SetParent(form);
    left->SetWidth(100);
    left->SetAlign(TAlign::alLeft);
    auto* client = new TPad(form);
    client->SetParent(form);
    client->SetAlign(TAlign::alClient);
    form->Show();
    EXPECT_EQ(top->BoundsRect().right, 400);
    EXPECT_EQ(left->Top(), 40);
    EXPECT_EQ(left->Height(), 260);
    EXPECT_EQ(client->Left(), 100);
    EXPECT_EQ(client->Width(), 300);
    EXPECT_EQ(client->Height(), 260);
    // Resizing the form re-aligns; hiding a child gives its space away.
    form->SetClientWidth(500);
    EXPECT_EQ(client->Width(), 400);
    left->SetVisible(false);
    EXPECT_EQ(client->Left(), 0);
    EXPECT_EQ(client->Width(), 500);
}

TEST_F(ControlsTest, ExceptionsNeverLeaveTheWindowProcedure) {
    std::vector<std::wstring> errors;
    std::vector<TObject*> senders;
    Application()->OnException = [&](TObject* sender, const Exception& e) {
        senders.push_back(sender);
        errors.push_back(e.Message());
    };
    auto* pad = new TPad(form);
    pad->SetParent(form);
    pad->OnClick = [](TObject*) { throw EConvertError(L"bad value"); };
    form->Show();
    pad->OnResize = [](TObject*) { throw 42; };
    HWND h = pad->WindowHandle();
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    SetWindowPos(h, nullptr, 0, 0, 90, 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(errors, (std::vector<std::wstring>{L"bad value", L"Unknown exception"}));
    EXPECT_EQ(senders, (std::vector<TObject*>{pad, pad}));
    // The control still works afterwards.
    EXPECT_EQ(pad->Width(), 90);
}

TEST_F(ControlsTest, WindowsCarryTheControlAndWindowAtoms) {
    form->HandleNeeded();
    char expected[32];
    wsprintfA(expected, "Vortel%08X", static_cast<unsigned>(GetCurrentProcessId()));
    EXPECT_EQ(WindowAtomString, expected);
    EXPECT_EQ(ControlAtomString.rfind("ControlOfs", 0), 0u);
    EXPECT_GE(ControlAtomString.size(), 10u + 16u);
    char name[64] = {};
    GlobalGetAtomNameA(ControlAtom, name, sizeof name);
    EXPECT_EQ(ControlAtomString, name);
    HWND h = form->WindowHandle();
    EXPECT_EQ(GetPropA(h, MAKEINTATOM(ControlAtom)), static_cast<HANDLE>(static_cast<TWinControl*>(form)));
    EXPECT_EQ(GetPropA(h, MAKEINTATOM(WindowAtom)), static_cast<HANDLE>(static_cast<TWinControl*>(form)));
    EXPECT_EQ(FindControl(GetDesktopWindow()), nullptr);
    EXPECT_EQ(FindControl(nullptr), nullptr);
    EXPECT_EQ(CreationControl, nullptr);
    // A control without parent window cannot make its window.
    TPad orphan(nullptr);
    EXPECT_THROW(orphan.HandleNeeded(), EInvalidOperation);
    EXPECT_FALSE(orphan.HandleAllocated());
    EXPECT_EQ(CreationControl, nullptr);
}

// ---- size constraints -------------------------------------------------------------------------

TEST_F(ControlsTest, ConstraintsHoldForCodeTheUserAndTheControlsOwnWord) {
    auto* pad = new TPad(form);
    pad->SetParent(form);
    form->Show();
    pad->Constraints()->SetMinWidth(50);
    pad->Constraints()->SetMaxWidth(120);
    pad->Constraints()->SetMaxHeight(60);
    pad->SetBounds(0, 0, 300, 200);
    EXPECT_EQ(pad->Width(), 120);
    EXPECT_EQ(pad->Height(), 60);
    pad->SetWidth(10);
    EXPECT_EQ(pad->Width(), 50);
    // A size given to the window from outside (the system, the user's frame) is held too.
    SetWindowPos(pad->Handle(), nullptr, 0, 0, 400, 10, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r{};
    GetWindowRect(pad->Handle(), &r);
    EXPECT_EQ(r.right - r.left, 120);
    EXPECT_EQ(pad->Width(), 120);
    // New limits apply to the present size at once; a minimum above the maximum raises it.
    pad->Constraints()->SetMaxWidth(80);
    EXPECT_EQ(pad->Width(), 80);
    pad->Constraints()->SetMinWidth(100);
    EXPECT_EQ(pad->Constraints()->MaxWidth(), 100);
    EXPECT_EQ(pad->Width(), 100);
    // The control has the last word on the limits, for each change of size.
    int asked = 0;
    pad->OnConstrainedResize = [&](TObject*, int&, int&, int& maxWidth, int&) {
        ++asked;
        maxWidth = 90;
    };
    pad->Constraints()->SetMinWidth(0);
    pad->SetWidth(95);
    EXPECT_EQ(pad->Width(), 90);
    EXPECT_GE(asked, 1);
    // Assign copies all four limits.
    TSizeConstraints copy;
    copy.Assign(pad->Constraints());
    EXPECT_EQ(copy.MaxWidth(), 100);
    EXPECT_EQ(copy.MaxHeight(), 60);
}

// ---- the main-thread check -----------------------------------------------------------------------

std::mutex gReportsLock;
std::vector<std::string> gReports;
void RecordReport(const std::string& Message) {
    std::lock_guard<std::mutex> lock(gReportsLock);
    gReports.push_back(Message);
}

TEST_F(ControlsTest, WindowOperationsFromAWorkerThreadAreReportedByName) {
    TThreadCheckReporter previous = SetThreadCheckReporter(&RecordReport);
    gReports.clear();
    // Controls without windows, so that the calls cannot wait on the main thread.
    auto* pad = new TPad(nullptr);
    TGraphicControl graphic(nullptr);
    DWORD worker = 0;
    std::thread([&] {
        worker = GetCurrentThreadId();
        graphic.SetBounds(1, 2, 30, 40);
        graphic.SetVisible(false);
        pad->SetText("from a worker");
    }).join();
    // On the main thread: nothing to report.
    graphic.SetBounds(3, 4, 30, 40);
    delete pad;
    SetThreadCheckReporter(previous);

    const std::string tail = " called on thread " + std::to_string(worker) + ", not on the main thread (" +
                             std::to_string(MainThreadID()) + ")";
    std::lock_guard<std::mutex> lock(gReportsLock);
    ASSERT_EQ(gReports.size(), 3u);
    EXPECT_EQ(gReports[0], "TControl.SetBounds" + tail);
    EXPECT_EQ(gReports[1], "TControl.SetVisible" + tail);
    EXPECT_EQ(gReports[2], "TControl.SetText" + tail);
}

}  // namespace
