// The video window component: a control that brings a video renderer (the classic one or VMR-9
// in windowed, windowless or renderless mode) into a TFilterGraph and shows its picture inside
// the control's rectangle, over the whole screen or over a given rectangle of it.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <d3d9.h>
#include <vmr9.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/objects.h"
#include "classlib/threads.h"
#include "dshow/ds_graph.h"

namespace dshow {

using Microsoft::WRL::ComPtr;

enum TVideoMode : std::uint8_t { vmNormal = 0, vmVMR = 1 };
enum TVMRVideoMode : std::uint8_t { vmrWindowed = 0, vmrWindowless = 1, vmrRenderless = 2 };
enum TVMRPreference : std::uint8_t {
    vpForceOffscreen = 0,
    vpForceOverlays = 1,
    vpForceMixer = 2,
    vpDoNotRenderColorKeyAndBorder = 3,
    vpRestrictToInitialMonitor = 4,
    vpPreferAGPMemWhenMixing = 5,
};
// A set of preferences: bit n for the preference of value n, handed to the renderer as is.
using TVMRPreferences = std::uint32_t;
constexpr TVMRPreferences VMRPreference(TVMRPreference Value) { return 1u << Value; }

class TVideoWindow;

// How the VMR-9 is set up; every change but KeepAspectRatio rebuilds a joined VMR-9 renderer.
class TVMROptions : public classlib::TPersistent {
public:
    CLASSLIB_CLASS_NAME(TVMROptions)
    explicit TVMROptions(TVideoWindow* AOwner) : owner_(AOwner) {}

    unsigned Streams() const { return streams_; }
    // 0 or a value above 16 becomes 1.
    void SetStreams(unsigned Value);
    TVMRPreferences Preferences() const { return preferences_; }
    void SetPreferences(TVMRPreferences Value);
    TVMRVideoMode Mode() const { return mode_; }
    void SetMode(TVMRVideoMode Value);
    bool KeepAspectRatio() const { return keepAspectRatio_; }
    // Letter box when true, stretched when false (windowed and windowless modes).
    void SetKeepAspectRatio(bool Value);

private:
    friend class TVideoWindow;
    void RebuildOwner();

    TVideoWindow* owner_;
    unsigned streams_ = 4;
    TVMRPreferences preferences_ = VMRPreference(vpForceMixer);
    TVMRVideoMode mode_ = vmrWindowed;
    bool keepAspectRatio_ = true;
};

// The pop-up menu the control shows on a right click while full screen.
class IVideoPopupMenu {
public:
    virtual bool AutoPopup() = 0;
    // Shows the menu at the screen position X, Y.
    virtual void Popup(int X, int Y) = 0;

protected:
    ~IVideoPopupMenu() = default;
};

// The renderless mode's allocator: made for the control's window, it reports a result code and
// answers IVMRSurfaceAllocator9.
using TVMRAllocatorFactory = std::function<ComPtr<IUnknown>(HWND Window, HRESULT& Result)>;

class TVideoWindow : public classlib::TCustomControl, public IFilter, public IGraphEventSink {
public:
    CLASSLIB_CLASS_NAME(TVideoWindow)
    explicit TVideoWindow(classlib::TComponent* AOwner);
    ~TVideoWindow() override;

    TVideoMode Mode() const { return mode_; }
    // vmVMR is taken only when the VMR-9 can be created; a joined renderer is rebuilt.
    void SetMode(TVideoMode Value);
    TFilterGraph* FilterGraph() const { return graph_; }
    void SetFilterGraph(TFilterGraph* Value);
    TVMROptions* VMROptions() const { return vmrOptions_.get(); }
    bool FullScreen() const { return fullScreen_; }
    void SetFullScreen(bool Value);
    bool FullScreenTopMost() const { return fullScreenTopMost_; }
    void SetFullScreenTopMost(bool Value);
    // Full screen over R, which becomes the rectangle FullScreen reuses.
    void FullScreenOnRect(const RECT& R);
    // The renderer's window (without IVideoWindow: the control's own window).
    HWND VideoHandle();
    IVideoPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(IVideoPopupMenu* Value) { popupMenu_ = Value; }
    // The renderless mode's allocator and the user identifier it is advised with.
    void SetAllocator(TVMRAllocatorFactory Factory, DWORD_PTR UserID);

    // The full-screen backdrop: the top-level window that owns the renderer's window while full
    // screen (the main window sets it at start-up). Unset, the control's own top-level window.
    std::function<HWND()> FullScreenBackdrop;

    // True when the system can create the VMR-9.
    static bool CheckVMR();

    // The windowless control, then the renderer filter's own interfaces. Counted, as COM's.
    HRESULT QueryInterface(REFIID Iid, void** Object);
    template <typename I>
    ComPtr<I> As(REFIID Iid) {
        ComPtr<I> result;
        QueryInterface(Iid, reinterpret_cast<void**>(result.GetAddressOf()));
        return result;
    }

    // IFilter
    ComPtr<IBaseFilter> GetFilter() override { return renderer_; }
    std::wstring GetName() override { return Name(); }
    void NotifyFilter(TFilterNotify Operation, int Param = 0) override;
    // IGraphEventSink
    void GraphEvent(long Event, LONG_PTR Param1, LONG_PTR Param2) override;
    void ControlEvent(TGraphControlEvent Event, int Param) override;

    void Loaded() override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;
    void SetVisible(bool Value) override;
    void WndProc(classlib::TMessage& Message) override;

protected:
    // Also runs the resize handling (OnResize, the renderer's placing) whenever the bounds are set.
    void ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight) override;
    void Resize() override;

private:
    friend class TVMROptions;
    void Rejoin();
    bool RendererConnected();
    void SaveWindowStyles();
    void ShowFullScreen(const RECT& R);
    void SetCaptionAndDrain();
    void ApplyPreferences(IVMRFilterConfig9* Config);
    void PlaceRenderer();

    RECT fullScreenRect_{};
    TVideoMode mode_ = vmNormal;
    std::unique_ptr<TVMROptions> vmrOptions_;
    ComPtr<IBaseFilter> renderer_;
    ComPtr<IVideoWindow> videoWindow_;
    ComPtr<IVMRWindowlessControl9> windowless_;
    bool fullScreen_ = false;
    TFilterGraph* graph_ = nullptr;
    LONG savedStyle_ = 0;
    LONG savedExStyle_ = 0;
    bool stylesSaved_ = false;
    bool fullScreenTopMost_ = false;
    bool fullScreenActive_ = false;
    TVMRAllocatorFactory allocatorClass_;
    ComPtr<IUnknown> allocator_;
    DWORD_PTR userID_ = 0;
    IVideoPopupMenu* popupMenu_ = nullptr;
};

}  // namespace dshow
