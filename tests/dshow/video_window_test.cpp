// The video window under Wine and Xvfb: joining a graph with the classic renderer and VMR-9
// playing an AVI file the test writes (File Source, AVI Splitter, the window's renderer); the
// renderer's owner and position following the control; full-screen styles and rectangles; graph
// events reaching the window; renderless set-up failures; options and defaults.
#include "dshow/video_window.h"

#include <evcode.h>
#include <objbase.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "classlib/forms.h"
#include "dshow/ds_helpers.h"
#include "dshow_test_support.h"
#include "exception_text.h"

using namespace dshow;
using dshow_test::ComPtr;
using dshow_test::FindPin;
using dshow_test::IsConnected;
using dshow_test::PumpUntil;

namespace {

ComPtr<IBaseFilter> Make(const CLSID& Class) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(Class, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    return filter;
}

std::wstring TitleOf(HWND Window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(Window, buffer, 256);
    return buffer;
}

// Window rectangle relative to the parent's client area.
RECT PlaceOf(HWND Window) {
    RECT r{};
    GetWindowRect(Window, &r);
    MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

::testing::AssertionResult Placed(HWND Window, int Left, int Top, int Width, int Height) {
    RECT r = PlaceOf(Window);
    if (r.left == Left && r.top == Top && r.right - r.left == Width && r.bottom - r.top == Height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "placed at " << r.left << "," << r.top << " size " << r.right - r.left
                                         << "x" << r.bottom - r.top;
}

// The first child window of Parent that is not one of the library's controls.
HWND ChildNotOurs(HWND Parent) {
    for (HWND w = GetWindow(Parent, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (classlib::FindControl(w) == nullptr) return w;
    return nullptr;
}

class TTestPopup : public IVideoPopupMenu {
public:
    bool AutoPopup() override { return autoPopup; }
    void Popup(int X, int Y) override {
        ++shown;
        at = POINT{X, Y};
    }
    bool autoPopup = true;
    int shown = 0;
    POINT at{};
};

// A main form holding the video window, a backdrop form, the graph and the AVI file.
class VideoWindowGraph : public testing::Test {
protected:
    void SetUp() override {
        path = dshow_test::TempFolder() + L"video.avi";
        dshow_test::WriteAviFile(path, 50);
        form = classlib::NewForm<classlib::TForm>(nullptr);
        form->SetBounds(20, 20, 640, 480);
        form->Show();
        backdrop = classlib::NewForm<classlib::TForm>(nullptr);
        backdrop->SetBorderStyle(classlib::TFormBorderStyle::bsNone);
        backdrop->SetBounds(0, 0, 320, 240);
        video = new TVideoWindow(form);
        video->SetParent(form);
        video->SetName(L"vwEcran");
        video->SetBounds(10, 20, 192, 144);
        video->FullScreenBackdrop = [this] { return backdrop->Handle(); };
        graph = std::make_unique<TFilterGraph>(nullptr);
        graph->SetActive(true);
    }
    void TearDown() override {
        if (graph->Active()) graph->Stop();
        video->SetFilterGraph(nullptr);
        delete form;
        delete backdrop;
        graph.reset();
        DeleteFileW(path.c_str());
    }
    // Source and splitter feeding the window's renderer.
    void Build() {
        auto builder = graph->As<IGraphBuilder>(IID_IGraphBuilder);
        ASSERT_TRUE(builder);
        source = Make(CLSID_AsyncReader);
        splitter = Make(CLSID_AviSplitter);
        ASSERT_TRUE(source && splitter);
        ComPtr<IFileSourceFilter> file;
        ASSERT_HRESULT_SUCCEEDED(source.As(&file));
        ASSERT_HRESULT_SUCCEEDED(file->Load(path.c_str(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(source.Get(), L"Source"));
        ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(splitter.Get(), L"Splitter"));
        ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(source.Get(), PINDIR_OUTPUT).Get(),
                                                        FindPin(splitter.Get(), PINDIR_INPUT).Get(), nullptr));
        ComPtr<IBaseFilter> renderer = video->GetFilter();
        ASSERT_TRUE(renderer);
        ASSERT_HRESULT_SUCCEEDED(builder->Connect(FindPin(splitter.Get(), PINDIR_OUTPUT).Get(),
                                                  FindPin(renderer.Get(), PINDIR_INPUT).Get()));
    }
    void Pump(DWORD Ms) {
        DWORD start = GetTickCount();
        PumpUntil([&] { return GetTickCount() - start > Ms; }, Ms + 1000);
    }
    ComPtr<IBaseFilter> InGraph(const wchar_t* Name) {
        ComPtr<IBaseFilter> filter;
        auto g = graph->As<IFilterGraph>(IID_IFilterGraph);
        g->FindFilterByName(Name, &filter);
        return filter;
    }

    std::wstring path;
    classlib::TForm* form = nullptr;
    classlib::TForm* backdrop = nullptr;
    TVideoWindow* video = nullptr;
    std::unique_ptr<TFilterGraph> graph;
    ComPtr<IBaseFilter> source, splitter;
};

TEST_F(VideoWindowGraph, ClassicRendererFollowsTheControlAndSwitchesFullScreen) {
    video->SetFilterGraph(graph.get());
    ComPtr<IBaseFilter> renderer = InGraph(L"vwEcran");
    ASSERT_TRUE(renderer);
    CLSID id{};
    renderer->GetClassID(&id);
    EXPECT_TRUE(IsEqualGUID(id, CLSID_VideoRenderer));
    ASSERT_NO_FATAL_FAILURE(Build());
    ASSERT_TRUE(graph->Play());
    Pump(200);

    // The run put the renderer's window over the control, titled with the component's name.
    HWND window = video->VideoHandle();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, video->Handle());
    EXPECT_EQ(TitleOf(window), L"vwEcran");
    EXPECT_EQ(GetParent(window), form->Handle());
    EXPECT_TRUE(Placed(window, 10, 20, 192, 144));
    EXPECT_NE(GetWindowLongW(window, GWL_STYLE) & WS_CHILD, 0);

    // Resizing and moving take it along.
    video->SetBounds(30, 40, 200, 150);
    EXPECT_TRUE(Placed(window, 30, 40, 200, 150));
    video->SetLeft(50);
    EXPECT_TRUE(Placed(window, 50, 40, 200, 150));

    // Full screen: over the backdrop, without caption and frame, top-most as asked.
    video->SetFullScreenTopMost(true);
    video->SetFullScreen(true);
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(GetParent(window), backdrop->Handle());
    EXPECT_TRUE(Placed(window, 0, 0, cx, cy));
    LONG style = GetWindowLongW(window, GWL_STYLE), exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    // (WS_EX_TOPMOST is asked for too, but a child window never shows it.)
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0);
    EXPECT_EQ(exStyle & (WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE), 0);
    // The control does not move the full-screen picture; a new top-most choice applies full
    // screen again.
    video->SetBounds(10, 20, 192, 144);
    EXPECT_TRUE(Placed(window, 0, 0, cx, cy));
    SetWindowPos(window, nullptr, 5, 5, 50, 50, SWP_NOZORDER | SWP_NOACTIVATE);
    video->SetFullScreenTopMost(false);
    EXPECT_TRUE(Placed(window, 0, 0, cx, cy));

    // Mouse messages drained while full screen carry the cursor's screen position.
    SetCursorPos(123, 77);
    POINT cursor{};
    GetCursorPos(&cursor);
    int downX = -1, downY = -1;
    video->OnMouseDown = [&](classlib::TObject*, classlib::TMouseButton, classlib::TShiftState, int X, int Y) {
        downX = X;
        downY = Y;
    };
    SendMessageW(video->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    EXPECT_EQ(downX, cursor.x);
    EXPECT_EQ(downY, cursor.y);
    SendMessageW(video->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));

    // A given rectangle, reused by the next switch to full screen.
    video->FullScreenOnRect(RECT{100, 50, 900, 650});
    EXPECT_TRUE(Placed(window, 100, 50, 800, 600));
    EXPECT_TRUE(video->FullScreen());
    video->SetFullScreen(false);
    EXPECT_EQ(GetParent(window), form->Handle());
    EXPECT_TRUE(Placed(window, 10, 20, 192, 144));
    style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_CLIPSIBLINGS), WS_CHILD | WS_CLIPSIBLINGS);
    EXPECT_EQ(style & WS_CAPTION, 0);
    video->SetFullScreen(true);
    EXPECT_TRUE(Placed(window, 100, 50, 800, 600));
    video->SetFullScreen(false);

    // Back in the control, mouse coordinates are the message's own.
    SendMessageW(video->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
    EXPECT_EQ(downX, 5);
    EXPECT_EQ(downY, 6);
    SendMessageW(video->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 6));

    // Hiding the control hides the picture.
    video->SetVisible(false);
    EXPECT_FALSE(IsWindowVisible(window));
    video->SetVisible(true);
    EXPECT_TRUE(IsWindowVisible(window));

    // Leaving the graph stops the renderer, disconnects both sides and takes it out.
    graph->Stop();
    ComPtr<IPin> splitterOut = FindPin(splitter.Get(), PINDIR_OUTPUT);
    video->SetFilterGraph(nullptr);
    EXPECT_FALSE(IsConnected(splitterOut.Get()));
    EXPECT_FALSE(InGraph(L"vwEcran"));
    EXPECT_FALSE(video->GetFilter());
    EXPECT_EQ(video->VideoHandle(), video->Handle());
}

TEST_F(VideoWindowGraph, RendererKeepsToTheConstraintsAndEverySetBoundsRunsTheResizeHandling) {
    video->SetFilterGraph(graph.get());
    ASSERT_NO_FATAL_FAILURE(Build());
    ASSERT_TRUE(graph->Play());
    Pump(200);
    HWND window = video->VideoHandle();
    ASSERT_NE(window, nullptr);

    video->Constraints()->SetMaxWidth(160);
    video->Constraints()->SetMaxHeight(120);
    EXPECT_TRUE(Placed(window, 10, 20, 160, 120));
    video->SetBounds(30, 40, 400, 300);
    EXPECT_EQ(video->Width(), 160);
    EXPECT_TRUE(Placed(window, 30, 40, 160, 120));

    // The window's constrained-resize handler runs its resize handling as well: a move alone
    // reaches OnResize.
    int resized = 0;
    video->OnResize = [&](classlib::TObject*) { ++resized; };
    video->SetLeft(60);
    EXPECT_GE(resized, 1);
    EXPECT_TRUE(Placed(window, 60, 40, 160, 120));
}

TEST_F(VideoWindowGraph, FullScreenSetBeforeTheRunIsAppliedByTheRun) {
    video->SetFilterGraph(graph.get());
    video->SetFullScreen(true);  // no connected renderer yet: only stored
    EXPECT_TRUE(video->FullScreen());
    ASSERT_NO_FATAL_FAILURE(Build());
    HWND window = video->VideoHandle();
    EXPECT_EQ(window, nullptr);  // not yet owned by the form nor titled
    ASSERT_TRUE(graph->Play());
    Pump(100);
    ComPtr<IBaseFilter> renderer = video->GetFilter();
    HWND found = FindWindowExW(backdrop->Handle(), nullptr, nullptr, L"vwEcran");
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(Placed(found, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));

    // The context menu pops up at the cursor while full screen, when it pops up by itself.
    TTestPopup popup;
    video->SetPopupMenu(&popup);
    SetCursorPos(40, 30);
    POINT cursor{};
    GetCursorPos(&cursor);
    SendMessageW(video->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(video->Handle()), MAKELPARAM(0xFFFF, 0xFFFF));
    EXPECT_EQ(popup.shown, 1);
    EXPECT_EQ(popup.at.x, cursor.x);
    EXPECT_EQ(popup.at.y, cursor.y);
    popup.autoPopup = false;
    SendMessageW(video->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(video->Handle()), 0);
    video->SetFullScreen(false);
    popup.autoPopup = true;
    SendMessageW(video->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(video->Handle()), 0);
    EXPECT_EQ(popup.shown, 1);
    video->SetPopupMenu(nullptr);
}

TEST_F(VideoWindowGraph, PaletteEventReachesTheWindowBeforeTheGraphsHandler) {
    video->SetFilterGraph(graph.get());
    ASSERT_NO_FATAL_FAILURE(Build());
    ComPtr<IBaseFilter> renderer = video->GetFilter();
    // Connected but never run: nothing has titled or placed the renderer's window yet.
    ASSERT_EQ(video->VideoHandle(), nullptr);

    bool titledFirst = false;
    int events = 0;
    graph->OnGraphPaletteChanged = [&](classlib::TObject*) {
        ++events;
        titledFirst = video->VideoHandle() != nullptr;
    };
    auto sink = graph->As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(sink);
    ASSERT_HRESULT_SUCCEEDED(sink->Notify(EC_PALETTE_CHANGED, 0, 0));
    ASSERT_TRUE(PumpUntil([&] { return events > 0; }));
    EXPECT_TRUE(titledFirst);
    HWND window = video->VideoHandle();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(Placed(window, 10, 20, 192, 144));

    // The renderer's mouse messages are drained to the control.
    bool clicked = false;
    video->OnMouseUp = [&](classlib::TObject*, classlib::TMouseButton, classlib::TShiftState, int, int) { clicked = true; };
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(PumpUntil([&] { return clicked; }, 2000));
}

TEST_F(VideoWindowGraph, VmrWindowedPlaysAndStretchesWithoutAspectRatio) {
    video->SetMode(vmVMR);
    if (video->Mode() != vmVMR) GTEST_SKIP() << "no VMR-9 on this system";
    video->VMROptions()->SetStreams(1);
    video->VMROptions()->SetKeepAspectRatio(false);
    video->SetFilterGraph(graph.get());
    ComPtr<IBaseFilter> renderer = InGraph(L"vwEcran");
    ASSERT_TRUE(renderer);
    CLSID id{};
    renderer->GetClassID(&id);
    EXPECT_TRUE(IsEqualGUID(id, CLSID_VideoMixingRenderer9));
    auto aspect = video->As<IVMRAspectRatioControl9>(IID_IVMRAspectRatioControl9);
    ASSERT_TRUE(aspect);
    DWORD mode = 99;
    ASSERT_HRESULT_SUCCEEDED(aspect->GetAspectRatioMode(&mode));
    EXPECT_EQ(mode, static_cast<DWORD>(VMR9ARMode_None));
    video->VMROptions()->SetKeepAspectRatio(true);
    ASSERT_HRESULT_SUCCEEDED(aspect->GetAspectRatioMode(&mode));
    EXPECT_EQ(mode, static_cast<DWORD>(VMR9ARMode_LetterBox));
    EXPECT_EQ(video->VMROptions()->Streams(), 1u);
    ASSERT_NO_FATAL_FAILURE(Build());
    ASSERT_TRUE(graph->Play());
    Pump(200);
    // The VMR-9's window is titled only by the render-device event.
    ComPtr<IVideoWindow> vw = video->As<IVideoWindow>(IID_IVideoWindow);
    ASSERT_TRUE(vw);
    HWND window = ChildNotOurs(form->Handle());
    ASSERT_NE(window, nullptr);
    EXPECT_NE(TitleOf(window), L"vwEcran");
    EXPECT_TRUE(Placed(window, 10, 20, 192, 144));
    auto sink = graph->As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(sink);
    ASSERT_HRESULT_SUCCEEDED(sink->Notify(EC_VMR_RENDERDEVICE_SET, 0, 0));
    ASSERT_TRUE(PumpUntil([&] { return video->VideoHandle() == window; }, 3000));
    EXPECT_EQ(TitleOf(window), L"vwEcran");

    video->SetBounds(12, 22, 200, 150);
    EXPECT_TRUE(Placed(window, 12, 22, 200, 150));
    video->FullScreenOnRect(RECT{100, 50, 900, 650});
    EXPECT_EQ(GetParent(window), backdrop->Handle());
    EXPECT_TRUE(Placed(window, 100, 50, 800, 600));
    video->SetFullScreen(false);
    EXPECT_EQ(GetParent(window), form->Handle());
    EXPECT_TRUE(Placed(window, 12, 22, 200, 150));

    // Changing an option while joined rebuilds the renderer, which drops its connections.
    graph->Stop();
    video->VMROptions()->SetStreams(2);
    ComPtr<IBaseFilter> rebuilt = InGraph(L"vwEcran");
    ASSERT_TRUE(rebuilt);
    EXPECT_NE(rebuilt.Get(), renderer.Get());
    EXPECT_FALSE(IsConnected(FindPin(splitter.Get(), PINDIR_OUTPUT).Get()));
    // And going back to the classic renderer rebuilds it again.
    video->SetMode(vmNormal);
    ComPtr<IBaseFilter> classic = InGraph(L"vwEcran");
    ASSERT_TRUE(classic);
    classic->GetClassID(&id);
    EXPECT_TRUE(IsEqualGUID(id, CLSID_VideoRenderer));
}

TEST_F(VideoWindowGraph, VmrWindowlessClipsToTheControlAndFollowsItsSize) {
    video->SetMode(vmVMR);
    if (video->Mode() != vmVMR) GTEST_SKIP() << "no VMR-9 on this system";
    video->VMROptions()->SetMode(vmrWindowless);
    video->SetFilterGraph(graph.get());
    auto windowless = video->As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_TRUE(windowless);
    ASSERT_NO_FATAL_FAILURE(Build());
    video->SetBounds(10, 20, 256, 100);
    RECT source{}, dest{};
    ASSERT_HRESULT_SUCCEEDED(windowless->GetVideoPosition(&source, &dest));
    EXPECT_EQ(dest.left, 0);
    EXPECT_EQ(dest.top, 0);
    EXPECT_EQ(dest.right, 256);
    EXPECT_EQ(dest.bottom, 100);
    // Without a renderer's window, full screen is only a flag and the control is the handle.
    video->SetFullScreen(true);
    EXPECT_TRUE(video->FullScreen());
    EXPECT_EQ(video->VideoHandle(), video->Handle());
}

TEST_F(VideoWindowGraph, RenderlessWithoutOrWithAFailingAllocatorRaises) {
    video->SetMode(vmVMR);
    if (video->Mode() != vmVMR) GTEST_SKIP() << "no VMR-9 on this system";
    video->VMROptions()->SetMode(vmrRenderless);
    std::wstring text = quill_test::MessageOf<EDSGraphException>([&] { video->SetFilterGraph(graph.get()); });
    EXPECT_EQ(text, L"Allocator class not set.");
    EXPECT_FALSE(video->GetFilter());
    video->SetFilterGraph(nullptr);

    HWND given = nullptr;
    video->SetAllocator(
        [&](HWND Window, HRESULT& Result) {
            given = Window;
            Result = E_OUTOFMEMORY;
            return ComPtr<IUnknown>();
        },
        7);
    HRESULT code = S_OK;
    try {
        video->SetFilterGraph(graph.get());
        ADD_FAILURE() << "no exception";
    } catch (const EDSGraphException& e) {
        EXPECT_EQ(e.Message(), L"Error Creating Allocator");
        code = e.ErrorCode();
    }
    EXPECT_EQ(code, E_OUTOFMEMORY);
    EXPECT_EQ(given, video->Handle());
    EXPECT_FALSE(video->GetFilter());
    EXPECT_FALSE(InGraph(L"vwEcran"));
}

TEST(VideoWindow, DefaultsOptionsAndHandleWithoutRenderer) {
    classlib::TForm* form = classlib::NewForm<classlib::TForm>(nullptr);
    auto* video = new TVideoWindow(form);
    EXPECT_EQ(video->Width(), 160);
    EXPECT_EQ(video->Height(), 120);
    EXPECT_EQ(video->Color(), classlib::clBlack);
    EXPECT_TRUE(video->TabStop());
    EXPECT_TRUE(video->HasControlStyle(classlib::csAcceptsControls));
    EXPECT_EQ(video->Mode(), vmNormal);
    EXPECT_FALSE(video->FullScreen());
    TVMROptions* options = video->VMROptions();
    EXPECT_EQ(options->Streams(), 4u);
    EXPECT_EQ(options->Preferences(), VMRPreference(vpForceMixer));
    EXPECT_EQ(options->Mode(), vmrWindowed);
    EXPECT_TRUE(options->KeepAspectRatio());
    options->SetStreams(0);
    EXPECT_EQ(options->Streams(), 1u);
    options->SetStreams(17);
    EXPECT_EQ(options->Streams(), 1u);
    options->SetStreams(16);
    EXPECT_EQ(options->Streams(), 16u);

    // Without parent nor renderer there is no handle to give; with a parent, the control's own.
    EXPECT_EQ(video->VideoHandle(), nullptr);
    video->SetParent(form);
    EXPECT_EQ(video->VideoHandle(), video->Handle());
    // Full screen without a renderer only stores the flag.
    video->FullScreenOnRect(RECT{1, 2, 3, 4});
    EXPECT_TRUE(video->FullScreen());
    video->SetFullScreen(false);
    EXPECT_FALSE(video->FullScreen());
    // Nothing to ask without a renderer.
    EXPECT_FALSE(video->As<IBaseFilter>(IID_IBaseFilter));
    delete form;
}

}  // namespace
