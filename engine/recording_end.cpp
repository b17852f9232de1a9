// The end of a recording that keeps what is on its way to the file: before the graph stops for a
// stop or a cut, the picture's source stops at that moment and sends the one picture more that tells
// where its stream ended, or else the picture's way into the recording ends there, the sound ends
// with the picture whether or not sound comes, and the end is waited for at the writer. Also the
// watch on a recording's sound input that gives nothing.
#include <dshow.h>

#include <algorithm>

#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"
#include "filters/time_stamper.h"

namespace engine {

namespace {

// How long a stop or a cut waits at most for the end to reach the writer: what the coders still
// hold on a loaded machine takes a few frames' time, a branch that never passes the end costs this.
constexpr DWORD kMostEndWaitMs = 2000;
// The cookie of the source's stop, as the graph tells it back.
constexpr DWORD kEndCookie = 0x51454E44;

bool Carries(filters::Tqz_TimeStamper* Stamper) {
    return Stamper != nullptr && !Stamper->IsStopped() && Stamper->InputPin()->IsConnected() &&
           Stamper->OutputPin()->IsConnected();
}

// Whether both name one object (by the IUnknown COM guarantees unique).
bool SameObject(IUnknown* A, IUnknown* B) {
    ComPtr<IUnknown> a = Query<IUnknown>(A, IID_IUnknown), b = Query<IUnknown>(B, IID_IUnknown);
    return a && a.Get() == b.Get();
}

}  // namespace

bool Tdm::EndRecordingStreams() {
    if (fg == nullptr || fg->State() != dshow::gsPlaying || !Carries(ControlCaptureVideo)) return false;
    // The writer tells that the end reached it: the file writer behind the multiplexer, or the
    // writer that is its own multiplexer. A branch whose writer the module does not hold is not waited for.
    ComPtr<IUnknown> writer = FileSink ? ComPtr<IUnknown>(FileSink) : ComPtr<IUnknown>(MuxFilter);
    ComPtr<IMediaEventEx> events = fg->As<IMediaEventEx>(IID_IMediaEventEx);
    if (!writer || !events) return false;
    // Each renderer's end is told to us, with the filter that reached it, instead of the graph's
    // one end for all of them.
    events->CancelDefaultHandling(EC_COMPLETE);
    // A source that takes no picture from now on loses none: everything taken reaches the file.
    stoppedSource_.Reset();
    ComPtr<IAMStreamControl> control;
    if (CaptureBuilder && VideoSourceFilter) {
        ComPtr<IPin> pin =
            FindPin(CaptureBuilder.Get(), VideoSourceFilter.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, false, 0);
        if (pin && ConnectedTo(pin.Get())) control = Query<IAMStreamControl>(pin.Get(), IID_IAMStreamControl);
    }
    const REFERENCE_TIME at = ControlCaptureVideo->StreamTime();
    // The one picture more, as capture applications ask for it: a pin that stops as documented
    // discards everything after the stop time and sends no end of its own, so that picture, by its
    // own stamp, is what tells the picture's way in that nothing taken before the key is still to
    // come. It closes the part: it was taken (a tape ran for it), and the next part begins after it.
    if (control && SUCCEEDED(control->StopAt(&at, TRUE, kEndCookie))) stoppedSource_ = control;
    // The picture's way in ends there too (at once for a source that cannot be stopped, or whose
    // stopped pin does not feed the recording).
    ControlCaptureVideo->EndAt(at, nullptr, stoppedSource_ != nullptr);
    const bool sound = Carries(AudioCapTamponer);
    if (sound) AudioCapTamponer->EndAt(at, ControlCaptureVideo);
    // The graph's events meanwhile are handled as they come, as the window would have. Wine's
    // GetEvent does not wait out its time: the queue's handle is waited on, in short steps.
    OAEVENT handle = 0;
    if (FAILED(events->GetEventHandle(&handle))) handle = 0;
    bool reached = false;
    const ULONGLONG deadline = GetTickCount64() + kMostEndWaitMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline && !reached; now = GetTickCount64()) {
        // An end that no sample brings is sent where it is due: a pin that sends no extra picture
        // or whose pictures lose their stamps on the way, a sound input that gives nothing.
        ControlCaptureVideo->EndWhenDue();
        if (sound) AudioCapTamponer->EndWhenDue();
        long code = 0;
        LONG_PTR first = 0, second = 0;
        if (events->GetEvent(&code, &first, &second, 0) != S_OK) {
            const DWORD step = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10));
            if (handle != 0)
                WaitForSingleObject(reinterpret_cast<HANDLE>(handle), step);
            else
                Sleep(step);
            continue;
        }
        reached = code == EC_COMPLETE && SameObject(reinterpret_cast<IUnknown*>(second), writer.Get());
        // The stopped source has sent its last picture (the extra one, from a pin that sends it).
        if (code == EC_STREAM_CONTROL_STOPPED && second == static_cast<LONG_PTR>(kEndCookie) && stoppedSource_)
            ControlCaptureVideo->SourceStopped();
        // A writer that failed will not take the end either.
        const bool failed = code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED;
        try {
            fg->DispatchGraphEvent(code, first, second);
        } catch (...) {
        }
        events->FreeEventParams(code, first, second);
        if (failed) break;
    }
    events->RestoreDefaultHandling(EC_COMPLETE);
    return reached;
}

bool Tdm::SoundGivesNothing() {
    // As long as the sound capture filters wait for a held-back input before they give it up.
    constexpr REFERENCE_TIME kSoundPatience = 20000000;
    return fg != nullptr && fg->State() == dshow::gsPlaying && Carries(AudioCapTamponer) &&
           AudioCapTamponer->NothingCameFor(kSoundPatience);
}

void Tdm::LetStoppedSourceFlow() {
    if (!stoppedSource_) return;
    // Its stop held for the run that ended: the next run takes pictures from its start.
    const REFERENCE_TIME never = MAXLONGLONG;
    stoppedSource_->StopAt(&never, FALSE, 0);
    stoppedSource_->StartAt(nullptr, 0);
    stoppedSource_.Reset();
}

}  // namespace engine
