// The video window component.
#include "dshow/video_window.h"

#include <evcode.h>
#include <objbase.h>
#include <oleauto.h>
#include <uuids.h>

#include "dshow/ds_helpers.h"

namespace dshow {

namespace {

// Masks of the styles the renderer's window loses while full screen: caption and sizing frame,
// and the edges and dialog frame of the extended style.
constexpr LONG kFullScreenStyleMask = static_cast<LONG>(0xFF3BFFFF);
constexpr LONG kFullScreenExStyleMask = static_cast<LONG>(0xFFFDFCFE);
// Automation truth values.
constexpr long kOaTrue = -1;
constexpr long kOaFalse = 0;

// Creating the VMR-9 loads Direct3D, which may change the floating-point control word: it is
// put back as it was.
class TFPUControlWordKeeper {
public:
    TFPUControlWordKeeper() { __asm__ __volatile__("fnstcw %0" : "=m"(saved_)); }
    ~TFPUControlWordKeeper() { __asm__ __volatile__("fldcw %0" : : "m"(saved_)); }
    TFPUControlWordKeeper(const TFPUControlWordKeeper&) = delete;
    TFPUControlWordKeeper& operator=(const TFPUControlWordKeeper&) = delete;

private:
    unsigned short saved_ = 0;
};

struct TBstrDeleter {
    void operator()(wchar_t* Text) const { SysFreeString(Text); }
};
using TBstr = std::unique_ptr<wchar_t, TBstrDeleter>;

ComPtr<IBaseFilter> CreateRenderer(const CLSID& Class, DWORD Context) {
    ComPtr<IBaseFilter> filter;
    CheckDSError(CoCreateInstance(Class, nullptr, Context, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    return filter;
}

template <typename I>
ComPtr<I> QueryChecked(IUnknown* Object, REFIID Iid) {
    ComPtr<I> result;
    CheckDSError(Object->QueryInterface(Iid, reinterpret_cast<void**>(result.GetAddressOf())));
    return result;
}

// Wine's renderers answer E_FAIL to a new extended style whenever the previous one was 0, though
// the style is set: the style read back decides then (without WS_EX_TOPMOST, which only a change
// of Z order sets).
HRESULT PutWindowStyleEx(IVideoWindow* Window, LONG Style) {
    HRESULT hr = Window->put_WindowStyleEx(Style);
    if (hr == E_FAIL) {
        LONG now = 0;
        if (SUCCEEDED(Window->get_WindowStyleEx(&now)) && ((now ^ Style) & ~WS_EX_TOPMOST) == 0) hr = S_OK;
    }
    return hr;
}

}  // namespace

// --- TVMROptions -------------------------------------------------------------------------

void TVMROptions::RebuildOwner() {
    if (owner_ != nullptr && owner_->mode_ == vmVMR && owner_->graph_ != nullptr && owner_->graph_->Active())
        owner_->Rejoin();
}

void TVMROptions::SetStreams(unsigned Value) {
    classlib::CheckMainThread("TVMROptions.SetStreams");
    streams_ = (Value == 0 || Value > 16) ? 1 : Value;
    RebuildOwner();
}

void TVMROptions::SetPreferences(TVMRPreferences Value) {
    classlib::CheckMainThread("TVMROptions.SetPreferences");
    preferences_ = Value;
    RebuildOwner();
}

void TVMROptions::SetMode(TVMRVideoMode Value) {
    classlib::CheckMainThread("TVMROptions.SetMode");
    mode_ = Value;
    RebuildOwner();
}

void TVMROptions::SetKeepAspectRatio(bool Value) {
    classlib::CheckMainThread("TVMROptions.SetKeepAspectRatio");
    keepAspectRatio_ = Value;
    if (owner_ == nullptr || (mode_ != vmrWindowed && mode_ != vmrWindowless)) return;
    if (auto control = owner_->As<IVMRAspectRatioControl9>(IID_IVMRAspectRatioControl9))
        CheckDSError(control->SetAspectRatioMode(Value ? VMR9ARMode_LetterBox : VMR9ARMode_None));
}

// --- TVideoWindow ------------------------------------------------------------------------

TVideoWindow::TVideoWindow(classlib::TComponent* AOwner)
    : classlib::TCustomControl(AOwner), vmrOptions_(std::make_unique<TVMROptions>(this)) {
    SetControlStyle(classlib::csAcceptsControls | classlib::csCaptureMouse | classlib::csClickEvents |
                    classlib::csDoubleClicks | classlib::csReflector);
    SetTabStop(true);
    SetBounds(Left(), Top(), 160, 120);
    SetColor(classlib::clBlack);
}

TVideoWindow::~TVideoWindow() {
    try {
        SetFilterGraph(nullptr);
    } catch (...) {
        // Leaving the graph only stops, disconnects and releases; nothing to report now.
    }
    vmrOptions_->owner_ = nullptr;
}

bool TVideoWindow::CheckVMR() {
    TFPUControlWordKeeper keeper;
    ComPtr<IBaseFilter> filter;
    return SUCCEEDED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                      IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
}

void TVideoWindow::SetFilterGraph(TFilterGraph* Value) {
    classlib::CheckMainThread("TVideoWindow.SetFilterGraph");
    TFilterGraph::ChangeMemberGraph(this, this, this, graph_, Value);
}

void TVideoWindow::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TCustomControl::Notification(AComponent, Operation);
    // The graph is going away: forget it without unregistering from it.
    if (Operation == classlib::TOperation::opRemove && AComponent == graph_) graph_ = nullptr;
}

void TVideoWindow::Rejoin() {
    if (graph_ == nullptr) return;
    graph_->UnregisterFilter(this);
    graph_->RegisterFilter(this);
}

void TVideoWindow::SetMode(TVideoMode Value) {
    classlib::CheckMainThread("TVideoWindow.SetMode");
    mode_ = (Value == vmVMR && CheckVMR()) ? vmVMR : vmNormal;
    if (graph_ != nullptr && graph_->Active()) Rejoin();
}

void TVideoWindow::SetAllocator(TVMRAllocatorFactory Factory, DWORD_PTR UserID) {
    allocatorClass_ = std::move(Factory);
    userID_ = UserID;
}

HRESULT TVideoWindow::QueryInterface(REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    *Object = nullptr;
    if (IsEqualIID(Iid, IID_IVMRWindowlessControl9) && windowless_) {
        windowless_.CopyTo(reinterpret_cast<IVMRWindowlessControl9**>(Object));
        return S_OK;
    }
    if (!renderer_) return E_NOINTERFACE;
    return renderer_->QueryInterface(Iid, Object);
}

bool TVideoWindow::RendererConnected() {
    if (!renderer_) return false;
    ComPtr<IEnumPins> pins;
    if (FAILED(renderer_->EnumPins(&pins)) || !pins) return false;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) return true;
    }
    return false;
}

// --- joining and leaving the graph --------------------------------------------------------

void TVideoWindow::NotifyFilter(TFilterNotify Operation, int) {
    switch (Operation) {
    case fnAdding: {
        // Built aside and kept only when complete, so a failed set-up leaves no half-made renderer.
        ComPtr<IBaseFilter> renderer;
        if (mode_ == vmNormal) {
            renderer = CreateRenderer(CLSID_VideoRenderer, CLSCTX_INPROC_SERVER);
        } else {
            TFPUControlWordKeeper keeper;
            renderer = CreateRenderer(CLSID_VideoMixingRenderer9, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER);
            auto config = QueryChecked<IVMRFilterConfig9>(renderer.Get(), IID_IVMRFilterConfig9);
            switch (vmrOptions_->Mode()) {
            case vmrWindowed: CheckDSError(config->SetRenderingMode(VMR9Mode_Windowed)); break;
            case vmrWindowless: CheckDSError(config->SetRenderingMode(VMR9Mode_Windowless)); break;
            case vmrRenderless: {
                if (!allocatorClass_) throw EDSGraphException(L"Allocator class not set.", 0);
                HRESULT hr = S_OK;
                ComPtr<IUnknown> allocator = allocatorClass_(Handle(), hr);
                if (SUCCEEDED(hr) && !allocator) hr = E_NOINTERFACE;
                if (FAILED(hr)) throw EDSGraphException(L"Error Creating Allocator", hr);
                CheckDSError(config->SetRenderingMode(VMR9Mode_Renderless));
                auto notify = QueryChecked<IVMRSurfaceAllocatorNotify9>(renderer.Get(), IID_IVMRSurfaceAllocatorNotify9);
                auto surfaces = QueryChecked<IVMRSurfaceAllocator9>(allocator.Get(), IID_IVMRSurfaceAllocator9);
                CheckDSError(notify->AdviseSurfaceAllocator(userID_, surfaces.Get()));
                CheckDSError(surfaces->AdviseNotify(notify.Get()));
                allocator_ = allocator;
                break;
            }
            }
        }
        renderer_ = renderer;
        break;
    }
    case fnAdded:
        if (!renderer_) break;
        if (mode_ == vmNormal) {
            videoWindow_ = QueryChecked<IVideoWindow>(renderer_.Get(), IID_IVideoWindow);
        } else {
            auto config = QueryChecked<IVMRFilterConfig9>(renderer_.Get(), IID_IVMRFilterConfig9);
            // The clipping window goes first: Wine's renderer sets its number of streams with it
            // and refuses it once the number is set.
            if (vmrOptions_->Mode() == vmrWindowless) {
                windowless_ = QueryChecked<IVMRWindowlessControl9>(renderer_.Get(), IID_IVMRWindowlessControl9);
                CheckDSError(windowless_->SetVideoClippingWindow(Handle()));
            }
            if (vmrOptions_->streams_ != 4 || (vmrOptions_->preferences_ & VMRPreference(vpForceMixer)) != 0) {
                // Unchecked: the count read back is the one the renderer took.
                config->SetNumberOfStreams(vmrOptions_->streams_);
                DWORD streams = 0;
                if (SUCCEEDED(config->GetNumberOfStreams(&streams)) && streams != 0) vmrOptions_->streams_ = streams;
            }
            switch (vmrOptions_->Mode()) {
            case vmrWindowed:
                videoWindow_ = QueryChecked<IVideoWindow>(renderer_.Get(), IID_IVideoWindow);
                ApplyPreferences(config.Get());
                break;
            case vmrWindowless:
                ApplyPreferences(config.Get());
                Resize();
                break;
            case vmrRenderless: break;
            }
            vmrOptions_->SetKeepAspectRatio(vmrOptions_->KeepAspectRatio());
        }
        break;
    case fnRemoving:
        if (renderer_) {
            CheckDSError(renderer_->Stop());
            ComPtr<IEnumPins> pins;
            if (SUCCEEDED(renderer_->EnumPins(&pins)) && pins) {
                ComPtr<IPin> pin;
                // Both sides: a peer left connected keeps the removed renderer and refuses its
                // next connection.
                while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) CheckDSError(DisconnectPin(pin.Get()));
            }
            if (mode_ == vmVMR && vmrOptions_->Mode() == vmrRenderless) allocator_.Reset();
        }
        break;
    case fnRemoved:
        videoWindow_.Reset();
        windowless_.Reset();
        renderer_.Reset();
        break;
    case fnRefresh: break;
    }
}

void TVideoWindow::ApplyPreferences(IVMRFilterConfig9* Config) {
    const TVMRPreferences mixer = VMRPreference(vpForceMixer);
    const bool forceMixer = (vmrOptions_->preferences_ & mixer) != 0;
    // Unchecked, as the stream count: a renderer without preferences (Wine's) keeps its own and
    // the options keep theirs.
    Config->SetRenderingPrefs(vmrOptions_->preferences_ & ~mixer);
    DWORD preferences = 0;
    if (SUCCEEDED(Config->GetRenderingPrefs(&preferences))) vmrOptions_->preferences_ = preferences | (forceMixer ? mixer : 0);
}

// --- events --------------------------------------------------------------------------------

void TVideoWindow::SetCaptionAndDrain() {
    if (!Name().empty()) {
        TBstr caption(SysAllocString(Name().c_str()));
        CheckDSError(videoWindow_->put_Caption(caption.get()));
    }
    CheckDSError(videoWindow_->put_MessageDrain(reinterpret_cast<OAHWND>(Handle())));
}

void TVideoWindow::GraphEvent(long Event, LONG_PTR, LONG_PTR) {
    switch (Event) {
    case EC_PALETTE_CHANGED:
        if (videoWindow_) {
            SetFullScreen(fullScreen_);
            SetCaptionAndDrain();
        }
        break;
    case EC_VMR_RENDERDEVICE_SET:
        if (vmrOptions_->Mode() == vmrWindowed && videoWindow_) SetCaptionAndDrain();
        break;
    default: break;
    }
}

void TVideoWindow::ControlEvent(TGraphControlEvent Event, int) {
    if (Event != ceRun) return;
    if (!RendererConnected()) {
        // Nothing to show: a renderer left alone would show its own top-level window when the
        // graph runs, away from the video area. Unchecked: a renderer without a window has
        // nothing to hide.
        if (videoWindow_) {
            videoWindow_->put_AutoShow(kOaFalse);
            videoWindow_->put_Visible(kOaFalse);
        }
        return;
    }
    // A picture comes: the renderer's window shows itself again when the graph runs.
    if (videoWindow_) videoWindow_->put_AutoShow(kOaTrue);
    if (mode_ == vmNormal) {
        if (videoWindow_) {
            SetFullScreen(fullScreen_);
            SetCaptionAndDrain();
        }
    } else {
        SetFullScreen(fullScreen_);
    }
}

// --- full screen ---------------------------------------------------------------------------

void TVideoWindow::SaveWindowStyles() {
    if (Parent() == nullptr && !HandleAllocated()) return;
    HWND window = Handle();
    savedStyle_ = GetWindowLongW(window, GWL_STYLE);
    savedExStyle_ = GetWindowLongW(window, GWL_EXSTYLE);
    stylesSaved_ = true;
}

void TVideoWindow::Loaded() {
    classlib::TCustomControl::Loaded();
    SaveWindowStyles();
}

void TVideoWindow::ShowFullScreen(const RECT& R) {
    // Controls built in code are never loaded: their styles are taken at first use instead.
    if (!stylesSaved_) SaveWindowStyles();
    HWND backdrop = FullScreenBackdrop ? FullScreenBackdrop() : nullptr;
    if (backdrop == nullptr && HandleAllocated()) backdrop = GetAncestor(WindowHandle(), GA_ROOT);
    CheckDSError(videoWindow_->put_Owner(reinterpret_cast<OAHWND>(backdrop)));
    CheckDSError(videoWindow_->put_WindowStyle(savedStyle_ & kFullScreenStyleMask));
    CheckDSError(PutWindowStyleEx(videoWindow_.Get(), (savedExStyle_ & kFullScreenExStyleMask) |
                                                                  (fullScreenTopMost_ ? WS_EX_TOPMOST : 0)));
    CheckDSError(videoWindow_->SetWindowPosition(R.left, R.top, R.right - R.left, R.bottom - R.top));
    fullScreenActive_ = true;
}

void TVideoWindow::SetFullScreen(bool Value) {
    classlib::CheckMainThread("TVideoWindow.SetFullScreen");
    if (videoWindow_ && RendererConnected()) {
        if (Value) {
            RECT r = fullScreenRect_;
            if (r.right == 0 || r.bottom == 0) r = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            ShowFullScreen(r);
        } else {
            if (!stylesSaved_) SaveWindowStyles();
            HWND owner = Parent() != nullptr ? Parent()->Handle() : nullptr;
            CheckDSError(videoWindow_->put_Owner(reinterpret_cast<OAHWND>(owner)));
            CheckDSError(videoWindow_->put_WindowStyle(savedStyle_ | WS_CHILD | WS_CLIPSIBLINGS));
            CheckDSError(PutWindowStyleEx(videoWindow_.Get(), savedExStyle_));
            CheckDSError(videoWindow_->SetWindowPosition(Left(), Top(), Width(), Height()));
            fullScreenActive_ = false;
        }
    }
    if (windowless_) fullScreenActive_ = false;
    fullScreen_ = Value;
}

void TVideoWindow::SetFullScreenTopMost(bool Value) {
    classlib::CheckMainThread("TVideoWindow.SetFullScreenTopMost");
    fullScreenTopMost_ = Value;
    if (fullScreen_) SetFullScreen(true);
}

void TVideoWindow::FullScreenOnRect(const RECT& R) {
    classlib::CheckMainThread("TVideoWindow.FullScreenOnRect");
    fullScreenRect_ = R;
    if (videoWindow_ && RendererConnected()) ShowFullScreen(R);
    if (windowless_) fullScreenActive_ = false;
    fullScreen_ = true;
}

HWND TVideoWindow::VideoHandle() {
    // Without a renderer's window the control's own window stands for it (never a device context).
    if (!videoWindow_) return HandleAllocated() || Parent() != nullptr ? Handle() : nullptr;
    if (Parent() == nullptr || !Parent()->HandleAllocated() || Name().empty()) return nullptr;
    HWND parent = Parent()->WindowHandle();
    if (HWND window = FindWindowExW(parent, nullptr, L"VideoRenderer", Name().c_str())) return window;
    // The platform's renderer class may have another name: any child of that title that is not
    // one of our own controls.
    HWND window = nullptr;
    while ((window = FindWindowExW(parent, window, nullptr, Name().c_str())) != nullptr)
        if (classlib::FindControl(window) == nullptr) return window;
    return nullptr;
}

// --- the control ---------------------------------------------------------------------------

void TVideoWindow::SetVisible(bool Value) {
    classlib::TCustomControl::SetVisible(Value);
    if (videoWindow_) CheckDSError(videoWindow_->put_Visible(Value ? kOaTrue : kOaFalse));
}

void TVideoWindow::PlaceRenderer() {
    if (mode_ == vmNormal || vmrOptions_->Mode() == vmrWindowed) {
        if (videoWindow_ && !fullScreen_) CheckDSError(videoWindow_->SetWindowPosition(Left(), Top(), Width(), Height()));
    } else if (vmrOptions_->Mode() == vmrWindowless) {
        if (windowless_) {
            RECT r{0, 0, Width(), Height()};
            CheckDSError(windowless_->SetVideoPosition(nullptr, &r));
        }
    }
}

void TVideoWindow::Resize() {
    classlib::TCustomControl::Resize();
    PlaceRenderer();
}

void TVideoWindow::ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight) {
    classlib::TCustomControl::ConstrainedResize(MinWidth, MinHeight, MaxWidth, MaxHeight);
    Resize();
}

void TVideoWindow::WndProc(classlib::TMessage& Message) {
    switch (Message.Msg) {
    case WM_LBUTTONUP:
        if (fullScreenActive_) {
            // The press and release came from the picture over the screen. The library's click
            // test measures the cursor's screen position against the control's own rectangle,
            // which the picture no longer covers: the click is the control's all the same.
            POINT p{};
            GetCursorPos(&p);
            const RECT client = ClientRect();
            const bool pressed = HasControlState(classlib::csClicked);
            const bool clickedThere = pressed && PtInRect(&client, p);
            Message.LParam = MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
            classlib::TCustomControl::WndProc(Message);
            if (pressed && !clickedThere) Click();
            return;
        }
        break;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
    case WM_MOUSEMOVE:
        // Drained from the full-screen renderer's window, the message's own coordinates are that
        // window's: the cursor's screen position stands in for them.
        if (fullScreenActive_) {
            POINT p{};
            GetCursorPos(&p);
            Message.LParam = MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
        }
        break;
    case WM_CONTEXTMENU:
        if (fullScreen_ && popupMenu_ != nullptr && popupMenu_->AutoPopup()) {
            POINT p{};
            GetCursorPos(&p);
            popupMenu_->Popup(p.x, p.y);
            Message.Result = 1;
            return;
        }
        break;
    default: break;
    }
    classlib::TCustomControl::WndProc(Message);
    // A move without a resize must take the renderer's window along too.
    if (Message.Msg == WM_MOVE && videoWindow_) PlaceRenderer();
}

}  // namespace dshow
