// The hidden utility window, the window timer and the message-box seam, with the test pumping
// its own messages.
#include "classlib/timer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "classlib/hidden_window.h"
#include "classlib/message_box.h"
#include "exception_text.h"

using namespace classlib;

namespace {

// Dispatches this thread's messages for about ms milliseconds (or until done holds).
template <typename F>
void PumpFor(DWORD ms, F done) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms && !done()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}
void PumpFor(DWORD ms) {
    PumpFor(ms, [] { return false; });
}

// Collects what reaches the window-procedure exception handler, and restores the default.
class HandlerCapture {
public:
    HandlerCapture() {
        SetWindowProcExceptionHandler([this](const std::exception_ptr& e) {
            try {
                std::rethrow_exception(e);
            } catch (const Exception& x) {
                messages.push_back(x.Message());
            } catch (...) {
                messages.push_back(L"<other>");
            }
        });
    }
    ~HandlerCapture() { SetWindowProcExceptionHandler(nullptr); }
    std::vector<std::wstring> messages;
};

}  // namespace

TEST(HiddenWindow, MessagesReachTheMethodAndAnswer) {
    std::vector<UINT> seen;
    HWND wnd = AllocateHWnd([&](TMessage& m) {
        seen.push_back(m.Msg);
        if (m.Msg == WM_USER + 7) m.Result = static_cast<LRESULT>(m.WParam + m.LParam);
    });
    ASSERT_NE(wnd, nullptr);
    char cls[64] = {};
    GetClassNameA(wnd, cls, sizeof(cls));
    EXPECT_STREQ(cls, "TPUtilWindow");
    EXPECT_FALSE(IsWindowVisible(wnd));
    EXPECT_FALSE(IsWindowUnicode(wnd));
    EXPECT_EQ(SendMessageA(wnd, WM_USER + 7, 40, 2), 42);
    PostMessageA(wnd, WM_USER + 8, 0, 0);
    PumpFor(500, [&] { return !seen.empty() && seen.back() == WM_USER + 8; });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), static_cast<UINT>(WM_USER + 8));
    DeallocateHWnd(wnd);
    EXPECT_FALSE(IsWindow(wnd));
    DeallocateHWnd(nullptr);  // harmless
    DeallocateHWnd(wnd);      // already gone: harmless
}

TEST(HiddenWindow, ExceptionStopsAtTheWindowProcedureAndReachesTheHandler) {
    HandlerCapture capture;
    HWND wnd = AllocateHWnd([](TMessage& m) {
        if (m.Msg == WM_USER + 1) throw EInvalidOperation(L"broken handler");
        if (m.Msg == WM_USER + 2) throw 17;  // not even an Exception
    });
    EXPECT_EQ(SendMessageA(wnd, WM_USER + 1, 0, 0), 0);
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], L"broken handler");
    EXPECT_EQ(SendMessageA(wnd, WM_USER + 2, 0, 0), 0);
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[1], L"<other>");
    DeallocateHWnd(wnd);
}

TEST(HiddenWindow, MethodMayDeallocateItsOwnWindow) {
    HWND wnd = nullptr;
    std::string captured = "kept alive";
    bool after = false;
    wnd = AllocateHWnd([&, captured](TMessage& m) {
        if (m.Msg == WM_USER + 3) {
            DeallocateHWnd(wnd);
            after = captured == "kept alive";  // the method's own state outlives the call
        }
    });
    SendMessageA(wnd, WM_USER + 3, 0, 0);
    EXPECT_TRUE(after);
    EXPECT_FALSE(IsWindow(wnd));
}

TEST(Timer, TicksWhilePumpedAndStopsWhenDisabled) {
    TTimer timer(nullptr);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    int ticks = 0;
    TObject* sender = nullptr;
    timer.OnTimer = [&](TObject* s) {
        ++ticks;
        sender = s;
    };
    timer.SetInterval(20);
    PumpFor(2000, [&] { return ticks >= 3; });
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(sender, &timer);

    timer.SetEnabled(false);
    int stopped = ticks;
    PumpFor(150);
    EXPECT_EQ(ticks, stopped);

    timer.SetEnabled(true);
    PumpFor(2000, [&] { return ticks > stopped; });
    EXPECT_GT(ticks, stopped);

    timer.SetInterval(0);
    stopped = ticks;
    PumpFor(150);
    EXPECT_EQ(ticks, stopped);
    EXPECT_TRUE(timer.Enabled());
}

TEST(Timer, IntervalChangeRestartsThePeriod) {
    TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    timer.SetInterval(20);
    PumpFor(2000, [&] { return ticks >= 1; });
    ASSERT_GE(ticks, 1);
    timer.SetInterval(5000);
    int before = ticks;
    PumpFor(200);
    EXPECT_EQ(ticks, before);
    timer.SetInterval(20);
    PumpFor(2000, [&] { return ticks > before; });
    EXPECT_GT(ticks, before);
}

TEST(Timer, NoHandlerNoTicksAndHandlerExceptionsGoToTheHandler) {
    HandlerCapture capture;
    TTimer timer(nullptr);
    timer.SetInterval(20);
    PumpFor(100);  // no OnTimer: ticks deliver nothing and do not fail
    EXPECT_TRUE(capture.messages.empty());
    int ticks = 0;
    timer.OnTimer = [&](TObject*) {
        ++ticks;
        throw EInvalidOperation(L"tick failed");
    };
    PumpFor(2000, [&] { return ticks >= 2; });
    EXPECT_GE(ticks, 2);  // the ticks go on after a failure
    ASSERT_GE(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[0], L"tick failed");
}

TEST(Timer, FreedByItsOwnTickOrByItsOwner) {
    int ticks = 0;
    auto* timer = new TTimer(nullptr);
    timer->SetInterval(10);
    timer->OnTimer = [&](TObject*) {
        ++ticks;
        delete timer;
    };
    PumpFor(300);
    EXPECT_EQ(ticks, 1);

    auto owner = std::make_unique<TComponent>(nullptr);
    auto* owned = new TTimer(owner.get());
    HWND wnd = owned->Handle();
    EXPECT_TRUE(IsWindow(wnd));
    owner.reset();
    EXPECT_FALSE(IsWindow(wnd));
}

TEST(MessageBoxSeam, AnswersFromTheInstalledFunctionAndRestores) {
    struct Call {
        HWND owner;
        std::wstring text, caption;
        UINT flags;
    };
    std::vector<Call> calls;
    TMessageBoxFunction first = [&](HWND o, const std::wstring& t, const std::wstring& c, UINT f) {
        calls.push_back({o, t, c, f});
        return IDNO;
    };
    TMessageBoxFunction previous = SetMessageBoxFunction(first);
    EXPECT_FALSE(previous);  // the system's box was in place
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    EXPECT_EQ(ShowMessageBox(owner, L"Save changes?", L"Quillotrane", MB_YESNO | MB_ICONQUESTION), IDNO);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].owner, owner);
    EXPECT_EQ(calls[0].text, L"Save changes?");
    EXPECT_EQ(calls[0].caption, L"Quillotrane");
    EXPECT_EQ(calls[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));

    TMessageBoxFunction replaced = SetMessageBoxFunction([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDRETRY; });
    EXPECT_EQ(ShowMessageBox(nullptr, L"x", L"y", MB_RETRYCANCEL), IDRETRY);
    SetMessageBoxFunction(replaced);  // back to the first
    EXPECT_EQ(ShowMessageBox(nullptr, L"again", L"y", MB_OK), IDNO);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(SetMessageBoxFunction(nullptr));  // restores the system's box
}
