// FlatBar shared pieces: the reference-counted thread hooks driven by real messages, the flat
// edit's own frame (painted and printed), and the glyph lists with their shared cache.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/exceptions.h"
#include "hover_test_support.h"
#include "widgets/hover/fb_common.h"
#include "widgets/hover/fb_edit.h"
#include "widgets/hover/fb_glyph.h"

using namespace classlib;
using namespace hover;
using hovertest::HoverTest;

namespace {

struct TCall {
    char who;
    THookKind kind;
    HWND window;
};
std::vector<TCall> gCalls;
void A(THookKind k, HWND w, WPARAM, LPARAM) { gCalls.push_back({'A', k, w}); }
void B(THookKind k, HWND w, WPARAM, LPARAM) { gCalls.push_back({'B', k, w}); }
// Unsubscribes itself (and A) from its own call: the walk must survive it.
void SelfRemoving(THookKind k, HWND w, WPARAM, LPARAM) {
    gCalls.push_back({'S', k, w});
    UnsubscribeThreadHooks(&SelfRemoving);
    UnsubscribeThreadHooks(&A);
}

constexpr THookKinds kAll = HookKindBit(THookKind::hkActivateApp) | HookKindBit(THookKind::hkWindowPosChanged) |
                            HookKindBit(THookKind::hkDestroyWindow) | HookKindBit(THookKind::hkMouseMove);

int Count(char who, THookKind kind) {
    int n = 0;
    for (const TCall& c : gCalls) n += (c.who == who && c.kind == kind) ? 1 : 0;
    return n;
}

bool AnyHook() {
    return ThreadHookHandle(THookSlot::hsCallWndProc) || ThreadHookHandle(THookSlot::hsCbt) ||
           ThreadHookHandle(THookSlot::hsGetMessage);
}

TEST(ThreadHooks, SharedHooksComeWithTheFirstSubscriberAndGoWithTheLastInAnyOrder) {
    FinalizeThreadHooks();
    const THookKinds mouse = HookKindBit(THookKind::hkMouseMove);
    for (int order = 0; order < 3; ++order) {
        SCOPED_TRACE(order);
        SubscribeThreadHooks(&A, kAll, false);
        SubscribeThreadHooks(&B, mouse, false);
        SubscribeThreadHooks(&A, kAll, false);
        EXPECT_EQ(ThreadHookSubscriberCount(), 2);
        EXPECT_EQ(ThreadHookSubscriberRefCount(&A), 2);
        EXPECT_EQ(ThreadHookRefCount(THookSlot::hsGetMessage), 3);
        EXPECT_EQ(ThreadHookRefCount(THookSlot::hsCbt), 2);
        EXPECT_NE(ThreadHookHandle(THookSlot::hsCallWndProc), nullptr);
        std::vector<THookCallback> leaving = order == 0   ? std::vector<THookCallback>{&A, &A, &B}
                                             : order == 1 ? std::vector<THookCallback>{&B, &A, &A}
                                                          : std::vector<THookCallback>{&A, &B, &A};
        for (size_t i = 0; i < leaving.size(); ++i) {
            EXPECT_TRUE(AnyHook());
            UnsubscribeThreadHooks(leaving[i]);
        }
        EXPECT_FALSE(AnyHook());
        EXPECT_EQ(ThreadHookSubscriberCount(), 0);
        // Nothing is left counted behind.
        EXPECT_EQ(ThreadHookRefCount(THookSlot::hsCallWndProc), 0);
        EXPECT_EQ(ThreadHookRefCount(THookSlot::hsGetMessage), 0);
    }
    // A design-time subscription installs nothing and its end unhooks nothing.
    SubscribeThreadHooks(&B, mouse, false);
    SubscribeThreadHooks(&A, kAll, true);
    EXPECT_EQ(ThreadHookSubscriberCount(), 2);
    EXPECT_EQ(ThreadHookHandle(THookSlot::hsCbt), nullptr);
    UnsubscribeThreadHooks(&A);
    EXPECT_NE(ThreadHookHandle(THookSlot::hsGetMessage), nullptr);
    UnsubscribeThreadHooks(&B);
    EXPECT_FALSE(AnyHook());
    UnsubscribeThreadHooks(&B);  // unknown: nothing happens
}

TEST_F(HoverTest, HookedEventsReachTheSubscribersThatAskedForThem) {
    FinalizeThreadHooks();
    gCalls.clear();
    SubscribeThreadHooks(&A, kAll, false);
    SubscribeThreadHooks(&B, HookKindBit(THookKind::hkMouseMove), false);
    HWND w = form->Handle();
    SendMessageA(w, WM_ACTIVATEAPP, 0, 0);
    EXPECT_EQ(Count('A', THookKind::hkActivateApp), 1);
    PostMessageA(w, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    hovertest::Pump();
    EXPECT_GE(Count('A', THookKind::hkMouseMove), 1);
    EXPECT_GE(Count('B', THookKind::hkMouseMove), 1);
    HWND victim = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, w, nullptr, nullptr, nullptr);
    DestroyWindow(victim);
    ASSERT_EQ(Count('A', THookKind::hkDestroyWindow), 1);
    EXPECT_EQ(Count('B', THookKind::hkDestroyWindow), 0);
    // Any other message passes without a call.
    size_t before = gCalls.size();
    SendMessageA(w, WM_USER + 7, 0, 0);
    PostMessageA(w, WM_USER + 8, 0, 0);
    hovertest::Pump();
    EXPECT_EQ(gCalls.size(), before);

    // A subscriber that leaves (and takes the one listed after it) during the walk.
    UnsubscribeThreadHooks(&A);
    SubscribeThreadHooks(&SelfRemoving, HookKindBit(THookKind::hkActivateApp), false);
    SubscribeThreadHooks(&A, kAll, false);
    gCalls.clear();
    SendMessageA(w, WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(Count('S', THookKind::hkActivateApp), 1);
    EXPECT_EQ(Count('A', THookKind::hkActivateApp), 0);
    EXPECT_EQ(ThreadHookSubscriberCount(), 1);
    UnsubscribeThreadHooks(&B);
    EXPECT_FALSE(AnyHook());
}

TEST_F(HoverTest, FlatEditTakesItsHeightFromTheFontAndPaintsItsOwnFrame) {
    auto* edit = hovertest::Place<TFlatEdit>(form, 10, 10, 120, 20);
    EXPECT_EQ(edit->Version(), "FlatBar version 1.8");
    // Wine's stand-in fonts have no 13-pixel size; 12 pixels give 18 the same way.
    edit->Font()->SetName("Arial");
    edit->Font()->SetHeight(-11);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, edit->Font()->Handle());
    TEXTMETRICA tm{};
    GetTextMetricsA(screen, &tm);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(tm.tmHeight, 12);
    edit->SetLoadingState(true);
    edit->Loaded();
    EXPECT_EQ(edit->Height(), 18);
    auto* other = hovertest::Place<TFlatEdit>(form, 10, 60, 120, 20);
    other->SetFocus();
    hovertest::Pump(20);
    HWND w = edit->Handle();
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, edit->Width() - 6);
    EXPECT_EQ(client.bottom, edit->Height() - 6);

    auto frame = [&] {
        return hovertest::Capture(edit->Width(), edit->Height(), RGB(1, 2, 3), [&](HDC dc) {
            SendMessageA(w, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT | PRF_CLIENT);
        });
    };
    const COLORREF face = ColorToRGB(clBtnFace), window = ColorToRGB(clWindow), shadow = ColorToRGB(clBtnShadow);
    hovertest::TPicture flat = frame();
    EXPECT_EQ(flat.At(0, 0), face);
    EXPECT_EQ(flat.At(1, edit->Height() / 2), face);
    EXPECT_EQ(flat.At(2, edit->Height() / 2), window);
    EXPECT_FALSE(edit->HotLook());
    edit->SetFocus();
    hovertest::Pump(20);
    EXPECT_TRUE(edit->HotLook());
    hovertest::TPicture sunken = frame();
    EXPECT_EQ(sunken.At(0, 0), shadow);
    EXPECT_EQ(sunken.At(edit->Width() / 2, 0), shadow);
    // Disabled: the button-face colour.
    edit->SetEnabled(false);
    EXPECT_EQ(edit->Color(), clBtnFace);
    edit->SetEnabled(true);
    EXPECT_EQ(edit->Color(), clWindow);
}

TEST(GlyphList, SlotsAreReusedAndBadImagesRefused) {
    TGlyphList list(8, 8);
    HDC screen = GetDC(nullptr);
    HBITMAP image = CreateCompatibleBitmap(screen, 8, 8), small = CreateCompatibleBitmap(screen, 4, 8);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(list.AddMasked(image, nullptr), 0);
    EXPECT_EQ(list.AddMasked(image, nullptr), 1);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.AddMasked(image, nullptr), 0);
    EXPECT_EQ(ImageList_GetImageCount(list.Handle()), 2);
    try {
        list.AddMasked(small, nullptr);
        ADD_FAILURE() << "a narrow image was taken";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), L"Invalid image size");
    }
    DeleteObject(image);
    DeleteObject(small);
}

// A 3-image strip (up, disabled, down) of 6x6 pixels on a magenta background, each with a black
// 2x2 figure at a different place.
HBITMAP MakeStrip(int Images) {
    TGlyphPixels p;
    p.Width = 6 * Images;
    p.Height = 6;
    p.Colors.assign(static_cast<size_t>(p.Width * 6), RGB(255, 0, 255));
    p.Opaque.assign(p.Colors.size(), true);
    for (int i = 0; i < Images; ++i)
        for (int y = 2; y < 4; ++y)
            for (int x = i; x < i + 2; ++x) p.Colors[static_cast<size_t>(y * p.Width + 6 * i + x)] = RGB(0, 0, 0);
    return MakeBitmap(p);
}

TEST(ButtonGlyph, StripsSplitIntoStatesAndTheDisabledImageIsEmbossed) {
    ASSERT_EQ(GlyphCache(), nullptr);
    {
        TButtonGlyph glyph;
        ASSERT_NE(GlyphCache(), nullptr);
        HBITMAP strip = MakeStrip(3);
        glyph.SetGlyph(strip);
        DeleteObject(strip);
        EXPECT_EQ(glyph.NumGlyphs(), 3);
        EXPECT_EQ(glyph.GlyphSize().cx, 6);
        EXPECT_EQ(glyph.TransparentColor(), RGB(255, 0, 255));
        auto draw = [&](TButtonState s) {
            return hovertest::Capture(8, 8, RGB(255, 255, 255), [&](HDC dc) { glyph.Draw(dc, 0, 0, s); });
        };
        EXPECT_EQ(draw(TButtonState::bsUp).Bounds(RGB(0, 0, 0)).left, 0);
        EXPECT_EQ(draw(TButtonState::bsDown).Bounds(RGB(0, 0, 0)).left, 2);
        EXPECT_EQ(draw(TButtonState::bsHot).Bounds(RGB(0, 0, 0)).left, 0);  // no fifth image: the up one
        EXPECT_EQ(draw(TButtonState::bsUp).Count(RGB(255, 0, 255)), 0);     // transparent

        HBITMAP single = MakeStrip(1);
        glyph.SetGlyph(single);
        DeleteObject(single);
        EXPECT_EQ(glyph.NumGlyphs(), 1);
        hovertest::TPicture disabled = draw(TButtonState::bsDisabled);
        const COLORREF highlight = ColorToRGB(clBtnHighlight), shadow = ColorToRGB(clBtnShadow);
        if (highlight != RGB(255, 255, 255)) {
            EXPECT_EQ(disabled.At(2, 3), highlight);
        }
        EXPECT_EQ(disabled.At(0, 2), shadow);
        EXPECT_EQ(disabled.At(1, 3), shadow);
        EXPECT_EQ(disabled.Count(RGB(0, 0, 0)), 0);
        // Lists of one size are shared; the disabled image sits in a list one pixel larger.
        draw(TButtonState::bsUp);
        EXPECT_EQ(GlyphCache()->ListCount(), 2);
    }
    EXPECT_EQ(GlyphCache(), nullptr);
}

TEST(ButtonGlyph, NewStyleEmbossLeavesLightPixelsOut) {
    TGlyphPixels up;
    up.Width = 2;
    up.Height = 1;
    up.Colors = {RGB(0xF0, 0xF0, 0xF0), RGB(0x20, 0x20, 0x20)};
    up.Opaque = {true, true};
    TGlyphPixels fresh = EmbossDisabled(up, false, RGB(1, 1, 1), RGB(2, 2, 2));
    TGlyphPixels old = EmbossDisabled(up, true, RGB(1, 1, 1), RGB(2, 2, 2));
    ASSERT_EQ(fresh.Width, 3);
    ASSERT_EQ(fresh.Height, 2);
    EXPECT_FALSE(fresh.Opaque[0]);
    EXPECT_EQ(fresh.Colors[1], RGB(2, 2, 2));
    EXPECT_EQ(fresh.Colors[5], RGB(1, 1, 1));
    EXPECT_TRUE(old.Opaque[0]);
    EXPECT_EQ(old.Colors[0], RGB(2, 2, 2));
}

}  // namespace
