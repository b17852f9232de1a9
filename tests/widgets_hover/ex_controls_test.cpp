// Hover control bases: mouse enter and leave and the tooltip colour under the real pointer, the
// hot-track options' notices, the parent's background behind a control, the button's erase,
// dialog-code and dot-net frame handling.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/forms.h"
#include "hover_test_support.h"
#include "widgets/hover/hx_ex_controls.h"
#include "widgets/hover/hx_themes.h"

using namespace classlib;
using namespace hover;
using hovertest::HoverTest;

namespace {

// Records what the library sees of the mouse notifications, next to the control's events.
class TProbe : public THxExGraphicControl {
public:
    explicit TProbe(TComponent* AOwner) : THxExGraphicControl(AOwner) {
        OnMouseEnter = [this](TObject*) { log.push_back("OnMouseEnter"); };
        OnMouseLeave = [this](TObject*) { log.push_back("OnMouseLeave"); };
    }
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == CM_MOUSEENTER) log.push_back("library enter");
        if (Message.Msg == CM_MOUSELEAVE) log.push_back("library leave");
        THxExGraphicControl::Dispatch(Message);
    }
    std::vector<std::string> log;
};

// A parent that answers hint-show notices with its own colour and paints a known background:
// red left of x = 10 and above y = 40, blue elsewhere.
class TParentProbe : public TWinControl {
public:
    explicit TParentProbe(TComponent* AOwner) : TWinControl(AOwner) { SetControlStyle(ControlStyle() | csAcceptsControls); }
    TColor answer = clLime;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == CM_HINTSHOW) {
            reinterpret_cast<THintInfo*>(Message.LParam)->HintColor = answer;
            return;
        }
        if (Message.Msg == WM_ERASEBKGND) {
            HDC dc = reinterpret_cast<HDC>(Message.WParam);
            HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255)), red = CreateSolidBrush(RGB(255, 0, 0));
            RECT all{0, 0, 400, 400}, corner{0, 0, 10, 40};
            FillRect(dc, &all, blue);
            FillRect(dc, &corner, red);
            DeleteObject(blue);
            DeleteObject(red);
            Message.Result = 1;
            return;
        }
        TWinControl::Dispatch(Message);
    }
};

TEST_F(HoverTest, MouseEnterAndLeaveFollowTheRealPointerInTheLibrarysOrder) {
    auto* probe = hovertest::Place<TProbe>(form, 20, 20, 100, 40);
    hovertest::Pump(20);
    if (!hovertest::MoveMouse(hovertest::CentreOf(probe))) GTEST_SKIP() << "the display does not move the pointer";
    ASSERT_TRUE(hovertest::RunUntil([&] { return probe->MouseOver(); }));
    ASSERT_TRUE(hovertest::MoveMouse(form->ClientToScreen(POINT{250, 150})));
    ASSERT_TRUE(hovertest::RunUntil([&] { return !probe->MouseOver(); }));
    // The event runs before the library sees the enter notice, and after it sees the leave.
    EXPECT_EQ(probe->log, (std::vector<std::string>{"OnMouseEnter", "library enter", "library leave", "OnMouseLeave"}));
}

TEST_F(HoverTest, HintColourComesFromTheControlTheApplicationOrTheParent) {
    auto* panel = hovertest::Place<TParentProbe>(form, 10, 10, 300, 200);
    auto* probe = hovertest::Place<TProbe>(panel, 20, 20, 120, 40);
    probe->SetHint("Tip");
    probe->SetShowHint(true);
    Application()->SetHintColor(clYellow);
    Application()->SetHintPause(1);
    hovertest::Pump(20);
    if (!hovertest::MoveMouse(hovertest::CentreOf(probe))) GTEST_SKIP() << "the display does not move the pointer";

    auto shownColour = [&](TColor hintColor) -> TColor {
        probe->SetHintColor(hintColor);
        Application()->CancelHint();
        // A real mouse move over the form starts the hint timer; its tick shows the hint.
        POINT inParent = probe->ClientToScreen(POINT{10, 10});
        ScreenToClient(panel->Handle(), &inParent);
        PostMessageA(panel->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(inParent.x, inParent.y));
        bool shown = hovertest::RunUntil([&] {
            THintWindow* w = Application()->HintWindow();
            return w != nullptr && w->HandleAllocated() && IsWindowVisible(w->WindowHandle());
        });
        return shown ? Application()->HintWindow()->Color() : clNone;
    };
    EXPECT_EQ(shownColour(clRed), clRed);
    EXPECT_EQ(shownColour(clNone), clYellow);
    EXPECT_EQ(shownColour(clDefault), clLime);
    panel->answer = clFuchsia;
    EXPECT_EQ(shownColour(clDefault), clFuchsia);
    Application()->CancelHint();
    Application()->SetHintPause(500);
    Application()->SetHintColor(clInfoBk);
}

TEST(HotTrackOptions, NoticesComeOnlyForRealChangesAndOnceAroundAnUpdate) {
    THxHotTrackOptions options;
    std::vector<std::string> log;
    options.OnChanging = [&](TObject*) { log.push_back("changing"); };
    options.OnChanged = [&](TObject*) { log.push_back("changed"); };
    options.OnChangedProperty = [&](TObject*, const std::string& name) { log.push_back(name); };
    EXPECT_EQ(options.Color(), 0xD2BDB6);
    EXPECT_EQ(options.FrameColor(), 0x6A240A);
    options.SetEnabled(false);
    EXPECT_TRUE(log.empty());
    options.SetColor(clRed);
    EXPECT_EQ(log, (std::vector<std::string>{"changing", "Color", "changed"}));

    THxHotTrackOptions source;
    source.SetEnabled(true);
    source.SetFrameVisible(true);
    source.SetFrameColor(clBlue);
    log.clear();
    options.Assign(&source);
    EXPECT_EQ(log, (std::vector<std::string>{"changing", "Enabled", "Color", "FrameVisible", "FrameColor", "changed"}));
    EXPECT_TRUE(options.Enabled());
    EXPECT_EQ(options.Color(), source.Color());
    EXPECT_EQ(options.FrameColor(), clBlue);
    EXPECT_EQ(options.UpdateCount(), 0);
}

TEST(ThemedBackground, ParentErasesBehindAControlAtTheLeftEdgeAligned) {
    TParentProbe parent(nullptr);
    TProbe control(nullptr);
    control.SetParent(&parent);
    control.SetBounds(0, 30, 50, 20);
    // The control's rows 0-9 lie over the parent's red corner (y 30-39); rows 10-19 do not.
    hovertest::TPicture p = hovertest::Capture(50, 20, RGB(255, 255, 255), [&](HDC dc) {
        PerformEraseBackground(&control, dc, POINT{control.Left(), control.Top()});
    });
    EXPECT_EQ(p.At(5, 5), RGB(255, 0, 0));
    EXPECT_EQ(p.At(5, 15), RGB(0, 0, 255));
    EXPECT_EQ(p.At(20, 5), RGB(0, 0, 255));
    // A clip rectangle limits the erase.
    hovertest::TPicture clipped = hovertest::Capture(50, 20, RGB(255, 255, 255), [&](HDC dc) {
        PerformEraseBackground(&control, dc, POINT{control.Left(), control.Top()}, RECT{0, 0, 25, 20});
    });
    EXPECT_EQ(clipped.At(30, 15), RGB(255, 255, 255));
    EXPECT_EQ(clipped.At(20, 15), RGB(0, 0, 255));
    control.SetParent(nullptr);
}

TEST(ThemedBackground, ThemesDecideBetweenTheParentAndTheControlsColour) {
    TParentProbe parent(nullptr);
    parent.SetColor(clGreen);
    TProbe control(nullptr);
    control.SetParent(&parent);
    control.SetBounds(0, 30, 50, 20);
    control.SetControlStyle(control.ControlStyle() | csParentBackground);
    auto draw = [&](TColor colour) {
        return hovertest::Capture(50, 20, RGB(255, 255, 255), [&](HDC dc) {
            TCanvas canvas;
            canvas.SetHandle(dc);
            DrawThemedBackground(&control, &canvas, RECT{0, 0, 50, 20}, colour);
            canvas.SetHandle(nullptr);
        });
    };
    SetThemesEnabledForTesting(false);
    EXPECT_EQ(draw(clGreen).At(5, 15), RGB(0, 0x80, 0));
    SetThemesEnabledForTesting(true);
    EXPECT_EQ(draw(clGreen).At(5, 15), RGB(0, 0, 255));  // the parent's own background
    EXPECT_EQ(draw(clMaroon).At(5, 15), RGB(0x80, 0, 0));  // another colour is filled
    control.SetControlStyle(control.ControlStyle() & ~static_cast<std::uint32_t>(csParentBackground));
    EXPECT_EQ(draw(clGreen).At(5, 15), RGB(0, 0x80, 0));
    SetThemesEnabledForTesting(std::nullopt);
    control.SetParent(nullptr);
}

// A parent that writes down the erase and print requests it gets.
class TLoggingParent : public TWinControl {
public:
    explicit TLoggingParent(TComponent* AOwner) : TWinControl(AOwner) { SetControlStyle(ControlStyle() | csAcceptsControls); }
    struct TRequest {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<TRequest> requests;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_ERASEBKGND || Message.Msg == WM_PRINTCLIENT) {
            requests.push_back(TRequest{Message.Msg, Message.WParam, Message.LParam});
            Message.Result = 1;
            return;
        }
        TWinControl::Dispatch(Message);
    }
};

TEST_F(HoverTest, ADoubleBufferedWindowedControlHasItsParentEraseItsBackground) {
    auto* parent = hovertest::Place<TLoggingParent>(form, 0, 0, 200, 100);
    auto* child = hovertest::Place<TWinControl>(parent, 30, 40, 50, 20);
    child->SetControlStyle(child->ControlStyle() | csParentBackground);
    child->Handle();
    SetThemesEnabledForTesting(true);
    POINT originSeen{-1, -1};
    hovertest::Capture(50, 20, RGB(255, 255, 255), [&](HDC dc) {
        TCanvas canvas;
        canvas.SetHandle(dc);
        parent->requests.clear();
        DrawThemedBackground(child, &canvas, RECT{0, 0, 50, 20}, parent->Color());
        canvas.SetHandle(nullptr);
        GetWindowOrgEx(dc, &originSeen);
        ASSERT_EQ(parent->requests.size(), 1u);
        // The parent's own erase request (the DC in both parameters), not the theme engine's.
        EXPECT_EQ(parent->requests[0].msg, static_cast<UINT>(WM_ERASEBKGND));
        EXPECT_EQ(parent->requests[0].wParam, reinterpret_cast<WPARAM>(dc));
        EXPECT_EQ(parent->requests[0].lParam, reinterpret_cast<LPARAM>(dc));
    });
    EXPECT_EQ(originSeen.x, 0);  // put back afterwards
    // Painting straight on its window, the same control leaves its parent's background to the
    // theme engine, which asks the parent to print its client area as well.
    HDC windowDC = GetDC(child->Handle());
    {
        TCanvas canvas;
        canvas.SetHandle(windowDC);
        parent->requests.clear();
        DrawThemedBackground(child, &canvas, RECT{0, 0, 50, 20}, parent->Color());
        canvas.SetHandle(nullptr);
    }
    ReleaseDC(child->Handle(), windowDC);
    ASSERT_FALSE(parent->requests.empty());
    EXPECT_EQ(parent->requests.back().msg, static_cast<UINT>(WM_PRINTCLIENT));
    SetThemesEnabledForTesting(std::nullopt);
}

class TButtonProbe : public THxExButton {
public:
    using THxExButton::THxExButton;
    int erases = 0;
    bool dropNative = false;
    POINT originSeen{};

protected:
    bool DoEraseBackground(TCanvas* Canvas, LPARAM) override {
        ++erases;
        // Leaves a changed origin behind: the base must put the DC back.
        SetViewportOrgEx(Canvas->Handle(), 7, 9, &originSeen);
        return true;
    }
    void GetDlgCode(TDlgCodes& Codes) override {
        if (dropNative) Codes = DLGC_WANTARROWS;
    }
};

TEST_F(HoverTest, ButtonTurnsEraseAndDialogCodesIntoItsOperations) {
    auto* button = hovertest::Place<TButtonProbe>(form, 10, 10, 90, 30);
    HWND w = button->Handle();
    hovertest::Pump(20);
    int erases = button->erases;
    SendMessageA(w, WM_ERASEBKGND, 0, 0);
    EXPECT_EQ(button->erases, erases);  // no DC: the inherited handling, no operation
    HDC dc = GetDC(w);
    EXPECT_EQ(SendMessageA(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    EXPECT_EQ(button->erases, erases + 1);
    POINT origin{};
    GetViewportOrgEx(dc, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    ReleaseDC(w, dc);

    LRESULT native = SendMessageA(w, WM_GETDLGCODE, 0, 0);
    button->dropNative = true;
    EXPECT_EQ(SendMessageA(w, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
    button->dropNative = false;
    EXPECT_EQ(SendMessageA(w, WM_GETDLGCODE, 0, 0), native);
}

TEST_F(HoverTest, DotNetFrameShowsTheHighlightWhileFocused) {
    auto* button = hovertest::Place<THxExButton>(form, 10, 10, 90, 30);
    auto* other = hovertest::Place<THxExButton>(form, 10, 60, 90, 30);
    button->SetDotNetHighlighting(true);
    other->SetFocus();
    hovertest::Pump(30);
    auto corner = [&] {
        HWND w = button->Handle();
        HDC dc = GetWindowDC(w);
        COLORREF c = GetPixel(dc, 0, 0);
        COLORREF inner = GetPixel(dc, 1, 1);
        ReleaseDC(w, dc);
        return std::pair<COLORREF, COLORREF>{c, inner};
    };
    button->Perform(WM_NCPAINT, 1, 0);
    EXPECT_EQ(corner().first, RGB(0x80, 0x80, 0x80));
    button->SetFocus();
    hovertest::Pump(30);
    EXPECT_EQ(corner().first, COLORREF(0x733800));
    EXPECT_EQ(corner().second, COLORREF(0x733800));
}

TEST(ExControls, DenySubclassingAndAboutAnswerQuietly) {
    THxExButton button(nullptr);
    EXPECT_EQ(button.Perform(CM_DENYSUBCLASSING, 0, 0), 0);
    EXPECT_EQ(button.AboutHXL(), THXLAboutInfo::abNone);
    EXPECT_EQ(button.HintColor(), clDefault);
    EXPECT_FALSE(button.DotNetHighlighting());

    // A control that holds the refusing identity answers the query with 1, windowed or not.
    struct TDenyingButton : THxExButton {
        using THxExButton::THxExButton;
        bool DeniesSubclassing() const override { return true; }
    };
    struct TDenyingGraphic : THxExGraphicControl {
        using THxExGraphicControl::THxExGraphicControl;
        bool DeniesSubclassing() const override { return true; }
    };
    TDenyingButton denyingButton(nullptr);
    TDenyingGraphic denyingGraphic(nullptr);
    EXPECT_EQ(denyingButton.Perform(CM_DENYSUBCLASSING, 0, 0), 1);
    EXPECT_EQ(denyingGraphic.Perform(CM_DENYSUBCLASSING, 0, 0), 1);
    // Setting the about value changes nothing: it reads its one value and is never stored.
    button.SetAboutHXL(THXLAboutInfo::abNone);
    EXPECT_EQ(button.AboutHXL(), THXLAboutInfo::abNone);
}

TEST(ExControls, FollowFontCopiesWhatIsNotPreserved) {
    TFont font, track;
    font.SetName("Arial");
    font.SetHeight(-20);
    font.SetColor(clRed);
    font.SetStyle({fsBold});
    track.SetColor(clBlue);
    FollowFont(&track, &font, DefaultTrackFontOptions);
    EXPECT_EQ(track.Name(), "Arial");
    EXPECT_EQ(track.Height(), -20);
    EXPECT_EQ(track.Color(), clBlue);           // preserved
    EXPECT_TRUE(track.Style().Empty());         // preserved
    FollowFont(&track, &font, hoPreserveColor);  // without hoFollowFont nothing follows
    EXPECT_EQ(track.Color(), clBlue);
    FollowFont(&track, &font, hoFollowFont);
    EXPECT_EQ(track.Color(), clRed);
}

}  // namespace
