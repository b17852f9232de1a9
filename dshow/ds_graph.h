// The filter graph component: owns one DirectShow graph with its capture or DVD builder, turns the
// graph's events into component events on the main thread, keeps the member components' filters
// in the graph, registers the graph for an external viewer and writes the graph's log file.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <audevcod.h>
#include <servprov.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/hidden_window.h"
#include "classlib/objects.h"

namespace unicode {
class TUcFileStream;
}

namespace dshow {

using Microsoft::WRL::ComPtr;

class TFilterGraph;

// What the graph tells a member component about its filter.
enum TFilterNotify : std::uint8_t { fnAdding = 0, fnAdded = 1, fnRemoving = 2, fnRemoved = 3, fnRefresh = 4 };

// A member of a graph component: a component that stands for one filter.
class IFilter {
public:
    // The wrapped filter, nullptr when none.
    virtual ComPtr<IBaseFilter> GetFilter() = 0;
    // The name the filter gets in the graph.
    virtual std::wstring GetName() = 0;
    virtual void NotifyFilter(TFilterNotify Operation, int Param = 0) = 0;

protected:
    ~IFilter() = default;
};

enum TGraphState : std::uint8_t { gsUninitialized = 0, gsStopped = 1, gsPaused = 2, gsPlaying = 3 };
enum TGraphControlEvent : std::uint8_t { ceRun = 0, ceStop = 2, ceActive = 7 };
enum TGraphMode : std::uint8_t { gmNormal = 0, gmCapture = 1, gmDVD = 2 };

// A component that hears every graph event before the graph's own events (the video window).
// Event parameters are pointer-sized: they carry interfaces and strings.
class IGraphEventSink {
public:
    virtual void GraphEvent(long Event, LONG_PTR Param1, LONG_PTR Param2) = 0;
    virtual void ControlEvent(TGraphControlEvent Event, int Param) = 0;

protected:
    ~IGraphEventSink() = default;
};

// The window message the media event object posts to the graph's hidden window.
constexpr UINT WM_GRAPHNOTIFY = WM_APP + 1;

// Round(ln(Volume + 1) * 1085.73) - 10000, ties to even: 0 gives -10000, 10000 gives 0.
int LinearVolumeToDB(int Volume);

// A DVD time code unpacked from the platform's DVD_TIMECODE dword (hours in the low nibbles).
struct TDVDTimeCode {
    int Hours = 0;
    int Minutes = 0;
    int Seconds = 0;
    int Frames = 0;
    int FrameRate = 0;  // 25, 30, or 0 for any other rate code
};
TDVDTimeCode UnpackDVDTimeCode(ULONG TimeCode);

// Disconnects every pin of Filter and the pins connected to them (both sides), outputs first.
HRESULT DisconnectFilter(IBaseFilter* Filter);

// Removes every filter of the linear chain from StartFilter down to EndFilter (to the end of the
// chain when EndFilter is nullptr). Uses the graph's IFilterChain; where the graph lacks it, walks
// the chain itself, disconnecting both sides of every pin before removing each filter.
HRESULT RemoveFilterChain(IFilterGraph* Graph, IBaseFilter* StartFilter, IBaseFilter* EndFilter);

// The private service through which a graph's callbacks find the component owning the graph.
extern const GUID SID_FilterGraphComponent;

template <typename... Args>
using TGraphEvent = std::function<void(classlib::TObject* Sender, Args...)>;

using TOnDSEvent = std::function<void(classlib::TComponent* Sender, long Event, LONG_PTR Param1, LONG_PTR Param2)>;
using TOnSelectedFilter = std::function<bool(IMoniker* Moniker, const std::wstring& FilterName, const GUID& ClassID)>;
using TOnCreatedFilter = std::function<bool(IBaseFilter* Filter, const GUID& ClassID)>;
using TOnUnableToRender = std::function<bool(IPin* Pin)>;

class TFilterGraph : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TFilterGraph)
    explicit TFilterGraph(classlib::TComponent* AOwner);
    ~TFilterGraph() override;

    bool Active() const { return active_; }
    // Activation raises EDirectShowException and stays inactive when the graph objects cannot be
    // created.
    void SetActive(bool Value);
    bool AutoCreate() const { return autoCreate_; }
    void SetAutoCreate(bool Value) { autoCreate_ = Value; }
    TGraphMode Mode() const { return mode_; }
    void SetMode(TGraphMode Value);
    bool GraphEdit() const { return graphEdit_; }
    void SetGraphEdit(bool Value);
    const std::wstring& LogFile() const { return logFile_; }
    // Raises the file system's EFCreateError when the file cannot be created.
    void SetLogFile(const std::wstring& Value);
    bool LinearVolume() const { return linearVolume_; }
    void SetLinearVolume(bool Value);
    int Volume() const { return volume_; }
    void SetVolume(int Value);
    int Balance() const { return balance_; }
    void SetBalance(int Value);
    // The cookie of the running-object-table entry, 0 when none.
    DWORD RotCookie() const { return rotCookie_; }
    HWND NotifyWindow() const { return notifyWnd_; }

    // Play and Stop raise EDirectShowException on a failing graph call; False when inactive.
    bool Play();
    bool Stop();
    TGraphState State();
    // Stops, disconnects every pin and removes every filter but the member components' own.
    void ClearGraph();

    void RegisterFilter(IFilter* Filter);
    void UnregisterFilter(IFilter* Filter);
    void RegisterEventSink(IGraphEventSink* Sink);
    void UnregisterEventSink(IGraphEventSink* Sink);
    // Moves a member component from the graph in Current to Value (either may be null): it leaves
    // the old graph (event sink, filter, free notification) and joins the new one.
    static void ChangeMemberGraph(classlib::TComponent* Member, IFilter* Filter, IGraphEventSink* Sink,
                                  TFilterGraph*& Current, TFilterGraph* Value);

    // The component's own callback interfaces, then, while active, the graph objects' interfaces
    // by mode (capture builder or DVD builder first, then the graph). Counted, as COM's.
    HRESULT QueryInterface(REFIID Iid, void** Object);
    template <typename I>
    ComPtr<I> As(REFIID Iid) {
        ComPtr<I> result;
        QueryInterface(Iid, reinterpret_cast<void**>(result.GetAddressOf()));
        return result;
    }

    void Loaded() override;
    virtual void DispatchGraphEvent(long Event, LONG_PTR Param1, LONG_PTR Param2);

    // The graph's building callbacks (the component is the graph's site).
    HRESULT SelectedFilter(IMoniker* Moniker);
    HRESULT CreatedFilter(IBaseFilter* Filter);
    HRESULT UnableToRender(IPin* Pin);
    HRESULT QueryService(REFGUID Service, REFIID Iid, void** Object);

    classlib::TNotifyEvent OnActivate;
    TOnDSEvent OnDSEvent;
    TGraphEvent<HRESULT, IBaseFilter*> OnGraphComplete;
    classlib::TNotifyEvent OnGraphUserAbort;
    TGraphEvent<HRESULT> OnGraphErrorAbort;
    TGraphEvent<HRESULT, ULONG> OnGraphStreamErrorStopped;
    TGraphEvent<HRESULT, ULONG> OnGraphStreamErrorStillPlaying;
    TGraphEvent<HRESULT> OnGraphErrorStillPlaying;
    classlib::TNotifyEvent OnGraphPaletteChanged;
    TGraphEvent<WORD, WORD> OnGraphVideoSizeChanged;
    classlib::TNotifyEvent OnGraphQualityChange;
    classlib::TNotifyEvent OnGraphClockChanged;
    TGraphEvent<HRESULT> OnGraphPaused;
    TGraphEvent<bool> OnGraphOpeningFile;
    TGraphEvent<bool> OnGraphBufferingData;
    TGraphEvent<IBaseFilter*> OnGraphFullscreenLost;
    TGraphEvent<const std::wstring&, const std::wstring&> OnGraphOleEvent;
    TGraphEvent<IPin*, ULONG> OnGraphStreamControlStopped;
    TGraphEvent<IPin*, ULONG> OnGraphStreamControlStarted;
    TGraphEvent<std::int64_t, ULONG> OnGraphEndOfSegment;
    TGraphEvent<IUnknown*, bool> OnGraphDeviceLost;
    classlib::TNotifyEvent OnGraphStepComplete;
    TGraphEvent<IBaseFilter*, ULONG> OnGraphTimeCodeAvailable;
    TGraphEvent<ULONG, ULONG> OnGraphEXTDeviceModeChange;
    classlib::TNotifyEvent OnGraphChanged;
    classlib::TNotifyEvent OnGraphClockUnset;
    TGraphEvent<int> OnGraphVMRRenderDevice;
    TGraphEvent<SNDDEV_ERR, ULONG> OnGraphSNDDevInError;
    TGraphEvent<SNDDEV_ERR, ULONG> OnGraphSNDDevOutError;

    // DVD events (only a DVD graph produces them).
    classlib::TNotifyEvent OnDVDDomainFirstPlay, OnDVDDomainVideoManagerMenu, OnDVDDomainVideoTitleSetMenu,
        OnDVDDomainTitle, OnDVDDomainStop;
    TGraphEvent<int> OnDVDTitleChange;
    TGraphEvent<int> OnDVDChapterStart;
    TGraphEvent<int, int, const std::wstring&> OnDVDAudioStreamChange;
    TGraphEvent<int, int, const std::wstring&> OnDVDSubpictureStreamChange;
    TGraphEvent<int, int> OnDVDAngleChange;
    TGraphEvent<int, int> OnDVDButtonChange;
    TGraphEvent<int> OnDVDValidUOPSChange;
    TGraphEvent<bool, int> OnDVDStillOn;
    classlib::TNotifyEvent OnDVDStillOff;
    TGraphEvent<int, int, int, int, int> OnDVDCurrentTime;
    classlib::TNotifyEvent OnDVDErrorUnexpected, OnDVDErrorCopyProtectFail, OnDVDErrorInvalidDVD1_0Disc,
        OnDVDErrorInvalidDiscRegion, OnDVDErrorLowParentalLevel, OnDVDErrorMacrovisionFail,
        OnDVDErrorIncompatibleSystemAndDecoderRegions, OnDVDErrorIncompatibleDiscAndDecoderRegions;
    classlib::TNotifyEvent OnDVDWarningInvalidDVD1_0Disc, OnDVDWarningFormatNotSupported,
        OnDVDWarningIllegalNavCommand, OnDVDWarningOpen, OnDVDWarningSeek, OnDVDWarningRead;
    classlib::TNotifyEvent OnDVDChapterAutoStop, OnDVDNoFP_PGC;
    TGraphEvent<float> OnDVDPlaybackRateChange;
    TGraphEvent<int> OnDVDParentalLevelChange;
    classlib::TNotifyEvent OnDVDPlaybackStopped;
    TGraphEvent<bool> OnDVDAnglesAvailable;
    classlib::TNotifyEvent OnDVDPlayPeriodAutoStop;
    TGraphEvent<ULONG> OnDVDButtonAutoActivated;
    TGraphEvent<ULONG> OnDVDCMDStart;
    TGraphEvent<ULONG> OnDVDCMDEnd;
    classlib::TNotifyEvent OnDVDDiscEjected, OnDVDDiscInserted;
    TGraphEvent<DVD_HMSF_TIMECODE, TDVDTimeCode> OnDVDCurrentHMSFTime;
    TGraphEvent<bool> OnDVDKaraokeMode;

    TOnSelectedFilter OnSelectedFilter;
    TOnCreatedFilter OnCreatedFilter;
    TOnUnableToRender OnUnableToRender;

    // Stops the graph, then each filter by itself: a start one filter refused can leave the others
    // going while the graph reports itself stopped (Wine), and the one that refused still waits
    // to hear that its start is over.
    void StopEveryFilter();

private:
    class TSite;

    void Activate();
    void Deactivate();
    void ReleaseGraphObjects();
    void AddAllFilters();
    void RemoveAllFilters();
    void AddMember(IFilter* Filter);
    void RemoveMember(IFilter* Filter);
    void SendControlEvent(TGraphControlEvent Event, int Param);
    void DisconnectAll();
    void NotifyWndProc(classlib::TMessage& Message);
    void ProcessGraphEvents();
    void DispatchDVDEvent(long Event, LONG_PTR Param1, LONG_PTR Param2);
    void DVDLanguageEvent(long Event, LONG_PTR Param1);

    bool active_ = false;
    bool autoCreate_ = false;
    HWND notifyWnd_ = nullptr;
    TGraphMode mode_ = gmNormal;
    int volume_ = 10000;
    int balance_ = 0;
    bool linearVolume_ = true;
    std::vector<IFilter*> filters_;
    std::vector<IGraphEventSink*> sinks_;
    ComPtr<IFilterGraph2> graph_;
    ComPtr<ICaptureGraphBuilder2> captureGraph_;
    ComPtr<IDvdGraphBuilder> dvdGraph_;
    ComPtr<IMediaEventEx> mediaEvent_;
    bool graphEdit_ = false;
    DWORD rotCookie_ = 0;
    std::wstring logFile_;
    std::unique_ptr<unicode::TUcFileStream> logStream_;
    ComPtr<TSite> site_;
};

}  // namespace dshow
