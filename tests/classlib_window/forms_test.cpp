// Forms and the application: showing, closing, modal loops, destruction order, idle pass, hints,
// exceptions and the application window.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/forms.h"
#include "classlib/message_box.h"
#include "classlib/threads.h"

using namespace classlib;

namespace {

void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        if (ms > 0) Sleep(1);
    } while (GetTickCount() < end);
}

// Handles messages until Count changes (an idle pass ran), at most 200 rounds.
template <typename F>
void RunUntil(F changed) {
    for (int i = 0; i < 200 && !changed(); ++i) Application()->HandleMessage();
}

void ResetApplication() {
    TApplication* app = Application();
    app->DestroyForms();
    app->SetMainForm(nullptr);
    app->Run();  // without main form: only clears Terminated
    app->OnException = nullptr;
    app->OnHint = nullptr;
    app->OnIdle = nullptr;
    app->OnMessage = nullptr;
    app->OnActionExecute = nullptr;
    app->OnActionUpdate = nullptr;
    app->OnShowHint = nullptr;
    app->SetHint("");
    app->CancelHint();
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        ResetApplication();
    }
    void TearDown() override {
        ResetApplication();
        SetMessageBoxFunction(nullptr);
    }
};

// A windowed control that clicks like a button (its mouse messages arrive posted).
class TClickPad : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TClickPad)
    explicit TClickPad(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(10, 10, 60, 30); }
};

void PostClick(HWND w) {
    PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

// A form that records its own end.
class TTrackedForm : public TForm {
public:
    CLASSLIB_CLASS_NAME(TTrackedForm)
    explicit TTrackedForm(TComponent* AOwner) : TForm(AOwner) {}
    ~TTrackedForm() override {
        if (deleted) *deleted = true;
    }
    bool* deleted = nullptr;
};

TEST_F(FormsTest, FormShowsWithItsAnsiCaptionAndClientSize) {
    TForm* form = nullptr;
    Application()->CreateForm(form);
    EXPECT_EQ(Application()->MainForm(), form);
    form->SetCaption("R\xE9glages");  // "Réglages" in code page 1252
    form->SetClientWidth(300);
    form->SetClientHeight(200);
    form->SetLeft(40);
    form->SetTop(50);
    int shows = 0;
    bool visibleDuringOnShow = true;
    form->OnShow = [&](TObject*) {
        ++shows;
        visibleDuringOnShow = form->HandleAllocated() && IsWindowVisible(form->WindowHandle());
    };
    form->Show();
    HWND h = form->WindowHandle();
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_FALSE(IsWindowUnicode(h));
    EXPECT_EQ(shows, 1);
    EXPECT_FALSE(visibleDuringOnShow);
    char text[64] = {};
    GetWindowTextA(h, text, sizeof text);
    EXPECT_STREQ(text, "R\xE9glages");
    RECT client;
    GetClientRect(h, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
    RECT window;
    GetWindowRect(h, &window);
    EXPECT_EQ(window.left, 40);
    EXPECT_EQ(window.top, 50);
    EXPECT_EQ(form->Width(), window.right - window.left);
    EXPECT_EQ(form->ClientWidth(), 300);
    // The form is the screen's, and its window belongs to the application window.
    EXPECT_EQ(Screen()->FormCount(), 1);
    EXPECT_EQ(GetWindow(h, GW_OWNER), Application()->Handle());
    // Moving the window by the system updates the bounds.
    SetWindowPos(h, nullptr, 70, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(form->Left(), 70);
    EXPECT_EQ(form->Top(), 80);
    form->Hide();
    EXPECT_FALSE(IsWindowVisible(h));
    form->Show();
    EXPECT_EQ(shows, 2);
}

TEST_F(FormsTest, ApplicationWindowHoldsTheTitle) {
    HWND h = Application()->Handle();
    Application()->SetTitle("Quillotrane");
    char text[64] = {};
    GetWindowTextA(h, text, sizeof text);
    EXPECT_STREQ(text, "Quillotrane");
    // A text the window got from elsewhere is what Title reads.
    SetWindowTextA(h, "Other");
    EXPECT_EQ(Application()->Title(), "Other");
    Application()->SetTitle("Quillotrane");
    EXPECT_FALSE(IsWindowVisible(h));
    std::string exe = Application()->ExeName();
    EXPECT_NE(exe.find("test_classlib_window"), std::string::npos) << exe;
}

TEST_F(FormsTest, MainWindowHooksSeeMessagesFirst) {
    std::vector<UINT> seen;
    int marker = 0;
    Application()->HookMainWindow(&marker, [&](TMessage& m) {
        if (m.Msg != WM_USER + 7) return false;
        seen.push_back(m.Msg);
        m.Result = 42;
        return true;
    });
    EXPECT_EQ(SendMessageA(Application()->Handle(), WM_USER + 7, 0, 0), 42);
    Application()->UnhookMainWindow(&marker);
    EXPECT_EQ(SendMessageA(Application()->Handle(), WM_USER + 7, 0, 0), 0);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(FormsTest, FormsAreDestroyedLastCreatedFirst) {
    std::vector<std::string> order;
    TForm* first = nullptr;
    TForm* second = nullptr;
    TForm* third = nullptr;
    Application()->CreateForm(first);
    Application()->CreateForm(second);
    Application()->CreateForm(third);
    EXPECT_EQ(Application()->MainForm(), first);
    first->OnDestroy = [&](TObject*) { order.push_back("first"); };
    second->OnDestroy = [&](TObject*) { order.push_back("second"); };
    third->OnDestroy = [&](TObject*) {
        // Forms created earlier still exist while a later one goes.
        EXPECT_EQ(Screen()->FormCount(), 2);
        order.push_back("third");
    };
    second->Show();
    Application()->DestroyForms();
    EXPECT_EQ(order, (std::vector<std::string>{"third", "second", "first"}));
    EXPECT_EQ(Application()->MainForm(), nullptr);
    EXPECT_EQ(Screen()->FormCount(), 0);
}

TEST_F(FormsTest, OnCreateRunsAfterTheFormIsBuiltAndReportsItsFailure) {
    std::vector<std::wstring> errors;
    Application()->OnException = [&](TObject*, const Exception& e) { errors.push_back(e.Message()); };
    struct TBuiltForm : TForm {
        explicit TBuiltForm(TComponent* o) : TForm(o) {
            pad = new TClickPad(this);
            pad->SetParent(this);
            OnCreate = [this](TObject*) {
                created = pad != nullptr;
                throw EInvalidOperation(L"create failed");
            };
        }
        TClickPad* pad = nullptr;
        bool created = false;
    };
    TBuiltForm* form = nullptr;
    Application()->CreateForm(form);
    EXPECT_TRUE(form->created);
    EXPECT_EQ(errors, std::vector<std::wstring>{L"create failed"});
}

TEST_F(FormsTest, CloseQueryRefusesAndCloseActionsApply) {
    TForm* main = nullptr;
    Application()->CreateForm(main);
    auto* form = NewForm<TTrackedForm>(Application());
    bool deleted = false;
    form->deleted = &deleted;
    bool allow = false;
    int closes = 0;
    TCloseAction next = TCloseAction::caHide;
    form->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
    form->OnClose = [&](TObject*, TCloseAction& action) {
        ++closes;
        EXPECT_EQ(action, TCloseAction::caHide);
        action = next;
    };
    form->Show();
    // Refused: nothing happens, not even OnClose.
    PostMessageA(form->WindowHandle(), WM_CLOSE, 0, 0);
    Pump(0);
    EXPECT_TRUE(IsWindowVisible(form->WindowHandle()));
    EXPECT_EQ(closes, 0);
    // caNone keeps it; caHide hides it.
    allow = true;
    next = TCloseAction::caNone;
    form->Close();
    EXPECT_TRUE(IsWindowVisible(form->WindowHandle()));
    next = TCloseAction::caHide;
    form->Close();
    EXPECT_FALSE(IsWindowVisible(form->WindowHandle()));
    EXPECT_EQ(closes, 2);
    // caFree releases it once the queued messages are handled.
    next = TCloseAction::caFree;
    form->Show();
    form->Close();
    EXPECT_FALSE(deleted);
    Pump(0);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(Screen()->FormCount(), 1);
    // The main form's close ends the application's loop.
    main->Close();
    EXPECT_TRUE(Application()->Terminated());
}

TEST_F(FormsTest, RunShowsTheMainFormAndEndsWhenItCloses) {
    TForm* main = nullptr;
    Application()->CreateForm(main);
    bool shown = false;
    main->OnShow = [&](TObject*) { shown = true; };
    PostMessageA(Application()->Handle(), WM_CLOSE, 0, 0);  // the application window closes the main form
    Application()->Run();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Application()->Terminated());
}

class TSyncWorker : public TThread {
public:
    TSyncWorker(TCustomForm* form, std::atomic<DWORD>* ranOn) : TThread(true), form_(form), ranOn_(ranOn) {}

protected:
    void Execute() override {
        Sleep(50);
        Synchronize([this] {
            ranOn_->store(GetCurrentThreadId());
            form_->SetModalResult(mrYes);
        });
    }

private:
    TCustomForm* form_;
    std::atomic<DWORD>* ranOn_;
};

TEST_F(FormsTest, ShowModalReturnsTheModalResultOfAClickOrASynchronisedCall) {
    TForm* main = nullptr;
    Application()->CreateForm(main);
    main->Show();
    auto* dialog = NewForm<TForm>(Application());
    auto* pad = new TClickPad(dialog);
    pad->SetParent(dialog);
    pad->OnClick = [&](TObject*) { dialog->SetModalResult(mrOk); };
    bool mainDisabledMeanwhile = false;
    pad->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
        mainDisabledMeanwhile = !IsWindowEnabled(main->WindowHandle());
    };
    // The click is posted before the loop starts; the loop delivers it.
    dialog->HandleNeeded();
    PostClick(pad->Handle());
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_TRUE(mainDisabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(main->WindowHandle()));
    EXPECT_FALSE(IsWindowVisible(dialog->WindowHandle()));
    EXPECT_FALSE(dialog->HasFormState(fsModal));

    // A worker's synchronised call is served while the dialog is up.
    std::atomic<DWORD> ranOn{0};
    TSyncWorker worker(dialog, &ranOn);
    worker.Resume();
    EXPECT_EQ(dialog->ShowModal(), mrYes);
    EXPECT_EQ(ranOn.load(), GetCurrentThreadId());
    worker.WaitFor();

    // A refused close keeps the dialog up: the result is reset and a timer closes it later.
    int queries = 0;
    dialog->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries > 1; };
    dialog->HandleNeeded();
    PostClick(pad->Handle());
    SetTimer(dialog->WindowHandle(), 77, 30, nullptr);
    std::vector<TModalResult> seen;
    TWndMethod old = dialog->WindowProc();
    dialog->SetWindowProc(
        [&, old](TMessage& m) {
            if (m.Msg == WM_TIMER && m.WParam == 77) {
                KillTimer(dialog->WindowHandle(), 77);
                seen.push_back(dialog->ModalResult());
                dialog->SetModalResult(mrAbort);
                return;
            }
            old(m);
        },
        &seen);
    EXPECT_EQ(dialog->ShowModal(), mrAbort);
    EXPECT_EQ(queries, 2);
    EXPECT_EQ(seen, std::vector<TModalResult>{mrNone});
    dialog->SetWindowProc(nullptr);

    // A visible form cannot be made modal.
    dialog->Show();
    EXPECT_THROW(dialog->ShowModal(), EInvalidOperation);
}

TEST_F(FormsTest, IdlePassRunsOnIdleAndUpdatesTheActionsOfVisibleForms) {
    TForm* form = nullptr;
    Application()->CreateForm(form);
    auto* pad = new TClickPad(form);
    pad->SetParent(form);
    auto* hiddenPad = new TClickPad(form);
    hiddenPad->SetParent(form);
    hiddenPad->SetVisible(false);
    auto* action = new TAction(form);
    auto* hiddenAction = new TAction(form);
    int updates = 0, hiddenUpdates = 0, idles = 0;
    action->OnUpdate = [&](TObject*) { ++updates; };
    hiddenAction->OnUpdate = [&](TObject*) { ++hiddenUpdates; };
    pad->SetAction(action);
    hiddenPad->SetAction(hiddenAction);
    hiddenPad->SetVisible(false);
    Application()->OnIdle = [&](TObject*, bool& done) {
        ++idles;
        // Something to wake the loop after the pass.
        PostMessageA(Application()->Handle(), WM_NULL, 0, 0);
        done = true;
    };
    // A hidden form's actions are not updated.
    int before = idles;
    RunUntil([&] { return idles > before; });
    EXPECT_GT(idles, before);
    EXPECT_EQ(updates, 0);
    form->Show();
    before = idles;
    RunUntil([&] { return idles > before; });
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(hiddenUpdates, 0);
    // OnIdle answering "not done" skips the actions.
    Application()->OnIdle = [&](TObject*, bool& done) {
        ++idles;
        done = false;
    };
    before = idles;
    RunUntil([&] { return idles > before; });
    EXPECT_EQ(updates, 1);
    // An exception from OnIdle is reported, not thrown.
    std::vector<std::wstring> errors;
    Application()->OnException = [&](TObject*, const Exception& e) { errors.push_back(e.Message()); };
    Application()->OnIdle = [&](TObject*, bool& done) {
        done = false;
        throw EInvalidOperation(L"idle failed");
    };
    EXPECT_NO_THROW(RunUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<std::wstring>{L"idle failed"});
}

// The program ended inside an idle handler whose own message loop took the quit: the run ends at once.
TEST_F(FormsTest, ATerminateInsideTheIdleHandlersOwnLoopEndsTheRun) {
    TForm* form = nullptr;
    Application()->CreateForm(form);
    Application()->OnIdle = [&](TObject*, bool& done) {
        Application()->OnIdle = nullptr;
        Application()->Terminate();
        Application()->ProcessMessages();
        done = true;
    };
    // Should the run wait on, a message much later wakes it: the test then fails instead of hanging.
    std::atomic<bool> woken{false};
    const DWORD thread = GetCurrentThreadId();
    HANDLE ran = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread rescue([&] {
        if (WaitForSingleObject(ran, 60000) == WAIT_TIMEOUT) {
            woken = true;
            PostThreadMessageW(thread, WM_NULL, 0, 0);
        }
    });
    Application()->Run();
    SetEvent(ran);
    rescue.join();
    CloseHandle(ran);
    EXPECT_FALSE(woken.load()) << "the run waited for another message after its end";
    EXPECT_TRUE(Application()->Terminated());
}

TEST_F(FormsTest, ApplicationHintFiresOnHintOrExecutesAHintAction) {
    int hints = 0;
    Application()->OnHint = [&](TObject*) { ++hints; };
    Application()->SetHint("Saves the file");
    Application()->SetHint("Saves the file");
    EXPECT_EQ(hints, 1);
    EXPECT_EQ(Application()->Hint(), "Saves the file");
    // Without OnHint a hint action carries the text (to a status bar, here to the handler).
    Application()->OnHint = nullptr;
    std::string carried;
    Application()->OnActionExecute = [&](TBasicAction* a, bool& handled) {
        auto* h = dynamic_cast<THintAction*>(a);
        ASSERT_NE(h, nullptr);
        carried = h->Hint();
        handled = true;
    };
    Application()->SetHint("Opens a file");
    EXPECT_EQ(carried, "Opens a file");
}

class THintProbe : public TClickPad {
public:
    CLASSLIB_CLASS_NAME(THintProbe)
    using TClickPad::TClickPad;
    void Dispatch(TMessage& m) override {
        if (m.Msg == CM_HINTSHOW) {
            auto* info = reinterpret_cast<THintInfo*>(m.LParam);
            seenClass = info->HintWindowClass;
            seenHint = info->HintStr;
            if (replaceClass != nullptr) info->HintWindowClass = replaceClass;
            m.Result = refuse ? 1 : 0;
            return;
        }
        TClickPad::Dispatch(m);
    }
    THintWindowClass seenClass = nullptr;
    THintWindowClass replaceClass = nullptr;
    std::string seenHint;
    bool refuse = false;
};

class TOtherHintWindow : public THintWindow {
public:
    CLASSLIB_CLASS_NAME(TOtherHintWindow)
    using THintWindow::THintWindow;
    static const THintWindowClassRef& ClassRef() {
        static const THintWindowClassRef ref(L"TOtherHintWindow", &THintWindow::ClassRef(),
                                             [](TComponent* o) -> THintWindow* { return new TOtherHintWindow(o); });
        return ref;
    }
    THintWindowClass ClassType() const override { return &ClassRef(); }
};

TEST_F(FormsTest, HintsFollowTheControlUnderTheMouse) {
    TForm* form = nullptr;
    Application()->CreateForm(form);
    form->SetBounds(100, 100, 300, 200);
    auto* probe = new THintProbe(form);
    probe->SetParent(form);
    probe->SetBounds(20, 20, 100, 50);
    probe->SetHint("Short|Long text");
    probe->SetShowHint(true);
    form->Show();
    Pump(10);
    POINT over = probe->ClientToScreen(POINT{10, 10});
    SetCursorPos(over.x, over.y);
    Pump(10);
    POINT actual;
    GetCursorPos(&actual);
    if (actual.x != over.x || actual.y != over.y) GTEST_SKIP() << "the display does not move the cursor";

    // The idle pass takes the long hint of the control under the mouse.
    std::vector<std::string> hints;
    Application()->OnHint = [&](TObject*) { hints.push_back(Application()->Hint()); };
    Application()->OnIdle = [&](TObject*, bool& done) { done = false; };
    RunUntil([&] { return !hints.empty(); });
    EXPECT_EQ(Application()->MouseControl(), probe);
    ASSERT_FALSE(hints.empty());
    EXPECT_EQ(hints.back(), "Long text");

    // A mouse move makes it the hint control; the hint shows the short part in the class the
    // control asked for in CM_HINTSHOW.
    probe->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(Application()->HintControl(), probe);
    probe->replaceClass = &TOtherHintWindow::ClassRef();
    Application()->ActivateHint(over);
    EXPECT_EQ(probe->seenClass, &THintWindow::ClassRef());
    EXPECT_EQ(probe->seenHint, "Short");
    THintWindow* window = Application()->HintWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(dynamic_cast<TOtherHintWindow*>(window), nullptr);
    ASSERT_TRUE(window->HandleAllocated());
    EXPECT_TRUE(IsWindowVisible(window->WindowHandle()));
    EXPECT_EQ(window->Caption(), "Short");
    EXPECT_GT(window->Width(), 6);
    Application()->CancelHint();
    EXPECT_FALSE(window->HandleAllocated() && IsWindowVisible(window->WindowHandle()));
    EXPECT_EQ(Application()->HintControl(), nullptr);

    // A control refusing CM_HINTSHOW shows nothing.
    probe->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(12, 12));
    probe->refuse = true;
    Application()->ActivateHint(over);
    window = Application()->HintWindow();
    EXPECT_TRUE(window == nullptr || !window->HandleAllocated() || !IsWindowVisible(window->WindowHandle()));
    // A pressed button cancels the pending hint.
    probe->refuse = false;
    probe->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 12));
    EXPECT_EQ(Application()->HintControl(), nullptr);
    probe->Perform(WM_LBUTTONUP, 0, MAKELPARAM(12, 12));
}

TEST_F(FormsTest, ExceptionsWithoutHandlerAreShownThroughTheMessageBoxSeam) {
    std::vector<std::wstring> boxes;
    UINT flags = 0;
    SetMessageBoxFunction([&](HWND, const std::wstring& text, const std::wstring& caption, UINT f) {
        boxes.push_back(caption + L": " + text);
        flags = f;
        return IDOK;
    });
    Application()->SetTitle("Quillotrane");
    TForm* form = nullptr;
    Application()->CreateForm(form);
    auto* pad = new TClickPad(form);
    pad->SetParent(form);
    pad->OnClick = [](TObject*) { throw EInvalidOperation(L"Nothing to save"); };
    form->Show();
    PostClick(pad->Handle());
    Pump(0);
    // A foreign exception is shown with its text too; a message ending in "." keeps it.
    pad->OnClick = [](TObject*) { throw std::runtime_error("disk full."); };
    PostClick(pad->Handle());
    Pump(0);
    // The silent exception ends the handler without any box.
    pad->OnClick = [](TObject*) { Abort(); };
    PostClick(pad->Handle());
    Pump(0);
    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Quillotrane: Nothing to save.", L"Quillotrane: disk full."}));
    EXPECT_EQ(flags, static_cast<UINT>(MB_OK | MB_ICONSTOP));
}

TEST_F(FormsTest, ScreenKnowsTheActiveForm) {
    TForm* a = nullptr;
    TForm* b = nullptr;
    Application()->CreateForm(a);
    Application()->CreateForm(b);
    a->SetPosition(TPosition::poScreenCenter);
    a->Show();
    EXPECT_EQ(a->Left(), (Screen()->Width() - a->Width()) / 2);
    b->Show();
    SetActiveWindow(b->WindowHandle());
    EXPECT_EQ(Screen()->ActiveForm(), b);
    EXPECT_TRUE(b->Active());
    SetActiveWindow(a->WindowHandle());
    EXPECT_EQ(Screen()->ActiveForm(), a);
    EXPECT_FALSE(b->Active());
    EXPECT_GT(Screen()->Width(), 0);
    EXPECT_NE(Screen()->HintFont()->Size(), 0);
}

}  // namespace
