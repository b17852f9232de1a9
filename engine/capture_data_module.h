// The capture data module: owner of the program's one filter graph, of the stock filters it names
// by stored monikers and of the program's own filters, created once; it runs the graph on the
// right clock, takes a recording branch out again, sets the sound capture format and removes
// filter chains. It also keeps what the sources, devices and main window share: the current
// sources, the capture graph builder, the renderers and the settings interfaces of the sources.
// Everything here runs on the main thread.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wmsdkidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/objects.h"
#include "dshow/crossbar.h"
#include "dshow/ds_components.h"
#include "dshow/ds_graph.h"

namespace filters {
class Tqz_Superposer;
class Tqz_TimeStamper;
class Tqz_DVheader;
class Tqz_ControlFilter;
class TQZ_Resizer;
class Tqz_WaveDest;
}  // namespace filters

namespace classlib {
class TMenuItem;
class TPopupMenu;
}  // namespace classlib

namespace engine {

using Microsoft::WRL::ComPtr;

class TVideoSource;
class TAudioSource;

// The names under which the program's own filters enter the graph.
extern const wchar_t kTamponerVideoName[];        // "Tamponer Video"
extern const wchar_t kTamponerAudioName[];        // "Tamponer Audio"
extern const wchar_t kControlPreviewVideoName[];  // "Control_Preview_Video"
extern const wchar_t kControlPreviewAudioName[];  // "Control_Preview_Audio"
extern const wchar_t kControlCaptureVideoName[];  // "Control_Capture_Video"
extern const wchar_t kVideoCapTamponerName[];     // "VideoCap Tamponer"
extern const wchar_t kAudioCapTamponerName[];     // "AudioCap Tamponer"
extern const wchar_t kAudioCapTimestamperName[];  // "AudioCap Timestamper"
extern const wchar_t kSuperposerName[];           // "Superposer"
extern const wchar_t kDVHeaderName[];             // "DV Header"
extern const wchar_t kControlFilterName[];        // "Control Filter"
extern const wchar_t kResizerName[];              // "Resizer"
extern const wchar_t kWaveDestName[];             // "Wave Dest"

// The stored monikers of the stock filters.
extern const wchar_t kDirectSoundDeviceMoniker[];
extern const wchar_t kColourConverterMoniker[];
extern const wchar_t kDVEncoderMoniker[];
extern const wchar_t kDVMuxerMoniker[];
extern const wchar_t kDVSplitterMoniker[];
extern const wchar_t kInfTeeMoniker[];
extern const wchar_t kAcmWrapperMoniker[];
extern const wchar_t kFileWriterMoniker[];
extern const wchar_t kNullRendererMoniker[];
extern const wchar_t kSmartTeeMoniker[];
extern const wchar_t kAviDecompressorMoniker[];

// A sound format as the window shows it.
struct TSoundFormat {
    long Rate = 0;
    long Bits = 0;
    long Channels = 0;
    bool operator==(const TSoundFormat&) const = default;
};
// "<rate> Hz <bits> bits <channels> channels", as the sources panel shows a sound format.
std::wstring SoundFormatText(const TSoundFormat& Format);

// A filter component of Owner named Name whose stored moniker is DisplayName (none when empty).
dshow::TFilter* MakeFilterComponent(classlib::TComponent* Owner, const std::wstring& Name,
                                    const std::wstring& DisplayName);

// A deferral of the graph's run held for one scope (a count raised and lowered again however the
// scope ends): the module's own while a settings page's re-selection runs, the main window's while
// it selects in a row.
class TRunDeferral {
public:
    explicit TRunDeferral(int& Counter) : counter_(Counter) { ++counter_; }
    ~TRunDeferral() { --counter_; }
    TRunDeferral(const TRunDeferral&) = delete;
    TRunDeferral& operator=(const TRunDeferral&) = delete;

private:
    int& counter_;
};

class Tdm : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(Tdm)
    // Builds the graph and the filter components and creates the own filters once. The first data
    // module becomes the program's (dm()).
    explicit Tdm(classlib::TComponent* AOwner);
    // Stops the graph, tears down the current sources' branches (with their device branches) and
    // clears the graph.
    ~Tdm() override;

    // The graph and the stock filter components, named as they enter the graph.
    dshow::TFilterGraph* fg = nullptr;
    dshow::TFilter* audiorender = nullptr;
    dshow::TFilter* color1 = nullptr;
    dshow::TFilter* divx = nullptr;
    dshow::TFilter* mp3 = nullptr;
    dshow::TFilter* DVenc = nullptr;
    dshow::TFilter* DVmux = nullptr;
    dshow::TFilter* DVsplitter = nullptr;
    dshow::TFilter* infdecvideo = nullptr;
    dshow::TFilter* color3 = nullptr;
    dshow::TFilter* acmcap = nullptr;
    dshow::TFilter* infdecaudio = nullptr;
    dshow::TFilter* FileWriter = nullptr;
    dshow::TFilter* test = nullptr;
    dshow::TFilter* null = nullptr;
    dshow::TFilter* infdumvideo = nullptr;
    dshow::TFilter* infsupaudio = nullptr;
    dshow::TFilter* infsupvideo = nullptr;
    dshow::TFilter* source = nullptr;
    dshow::TFilter* decoder = nullptr;
    dshow::TFilter* muxer = nullptr;
    dshow::TFilter* AudioEncoder = nullptr;
    dshow::TFilter* writer = nullptr;
    dshow::TFilter* audioenc = nullptr;

    // The own filters and their filter interfaces (which keep them alive).
    filters::Tqz_Superposer* Superposer = nullptr;
    ComPtr<IBaseFilter> SuperposerFilter;
    filters::Tqz_TimeStamper* VideoCapTamponer = nullptr;
    ComPtr<IBaseFilter> VideoCapTamponerFilter;
    filters::Tqz_DVheader* DVHeader = nullptr;
    ComPtr<IBaseFilter> DVHeaderFilter;
    filters::Tqz_ControlFilter* ImageControl = nullptr;
    ComPtr<IBaseFilter> ImageControlFilter;
    filters::TQZ_Resizer* Resizer = nullptr;
    ComPtr<IBaseFilter> ResizerFilter;
    filters::Tqz_TimeStamper* AudioCapTamponer = nullptr;
    ComPtr<IBaseFilter> AudioCapTamponerFilter;
    filters::Tqz_WaveDest* WaveDest = nullptr;
    ComPtr<IBaseFilter> WaveDestFilter;
    filters::Tqz_TimeStamper* TamponerVideo = nullptr;
    ComPtr<IBaseFilter> TamponerVideoFilter;
    filters::Tqz_TimeStamper* TamponerAudio = nullptr;
    ComPtr<IBaseFilter> TamponerAudioFilter;
    filters::Tqz_TimeStamper* ControlPreviewVideo = nullptr;
    ComPtr<IBaseFilter> ControlPreviewVideoFilter;
    filters::Tqz_TimeStamper* ControlPreviewAudio = nullptr;
    ComPtr<IBaseFilter> ControlPreviewAudioFilter;
    filters::Tqz_TimeStamper* ControlCaptureVideo = nullptr;
    ComPtr<IBaseFilter> ControlCaptureVideoFilter;

    // Shared state (main thread).
    ComPtr<ICaptureGraphBuilder2> CaptureBuilder;
    TVideoSource* CurrentVideoSource = nullptr;
    TAudioSource* CurrentAudioSource = nullptr;
    ComPtr<IBaseFilter> VideoWindowFilter;
    ComPtr<IBaseFilter> AudioRendererFilter;
    bool ImageByImageMode = false;
    bool UseAudioClock = false;
    // Raised while several selections run in a row: selecting does not run the graph then. A
    // count, so that a nested deferral does not end its caller's.
    int DeferRun = 0;
    // The DV device decodes at half size (a DivX recording with "DV demi si DivX").
    bool DVHalfSize = false;
    ComPtr<IBaseFilter> MuxFilter;
    ComPtr<IFileSinkFilter> FileSink;

    // The settings interfaces of the current video source.
    ComPtr<IBaseFilter> VideoSourceFilter;
    ComPtr<IAMVideoCompression> VideoCompression;
    ComPtr<IAMStreamConfig> VideoStreamConfig;
    ComPtr<IAMVfwCaptureDialogs> VideoCaptureDialogs;
    ComPtr<IAMDroppedFrames> VideoDroppedFrames;
    std::unique_ptr<dshow::TCrossbar> VideoCrossbar;
    long VideoCrossbarInputs = 0;
    ComPtr<IAMStreamConfig> AudioStreamConfig;
    // ... and of the current sound source.
    ComPtr<IBaseFilter> AudioSourceFilter;
    ComPtr<IAMVideoCompression> AudioCompression;
    ComPtr<IAMVfwCaptureDialogs> AudioCaptureDialogs;
    std::unique_ptr<dshow::TCrossbar> SecondCrossbar;
    long SecondCrossbarInputs = 0;

    // Windows Media: the profile manager made at the main window's first idle.
    ComPtr<IWMProfileManager> WMProfileManager;
    bool ProfileManagerReady = false;
    // The options panel found an MP3 encoder and put it into mp3.
    bool Mp3EncoderFound = false;
    // Pictures added to the current image-by-image recording: 0 at its start, raised by the main
    // window each time it opens the gate for one frame.
    int ImageByImageCount = 0;

    // The graph itself, nullptr while inactive.
    ComPtr<IFilterGraph> Graph();
    // The main window's first idle: takes the capture graph builder, stores the video window's
    // renderer (already in the graph) and joins the sound renderer. False when the sound renderer
    // could not be created (the preview then has no sound).
    bool AttachRenderers(IBaseFilter* VideoRenderer);

    // Runs the graph on the sound renderer's clock for sound-only formats and when asked to,
    // otherwise (and without a sound renderer) on the default clock. False on any failure, whose
    // code LastRunFailure() then gives: the graph's or a filter's, VFW_E_NO_CLOCK for a sound
    // renderer without a clock, E_FAIL only for a failure that carried no code at all.
    bool RunGraph();
    HRESULT LastRunFailure() const { return lastRunFailure_; }
    // Freezes or resumes the recording: its picture and its sound are dropped together at the
    // stamper each enters the recording through (the capture control's for the picture, the sound
    // stamper for the sound), each join leaving out as much of both, and both are stamped on as if
    // the frozen time had not passed.
    void FreezeCapture(bool On);
    // Ends the running recording at this moment so that what is on its way reaches the file before
    // the graph stops (a stop or a cut): the picture's source stops taking pictures now where its
    // capture pin can be stopped at a stream time, asked for the one picture more that marks where
    // its stream ended, which closes the part (once the source says it stopped, what came is taken
    // for all when that picture does not come); otherwise the picture's way into the recording ends
    // at the first picture taken from now on. A source that says nothing (no stamps, no word, no
    // picture more) ends within half a second all the same, with no picture taken from now on. The
    // sound ends where the picture does, and is ended there when no sound comes, silence taking the
    // place of what never came. Then waits, two seconds at most, for the end to reach the writer,
    // handling the graph's events meanwhile. True once it did; false at once for a graph not
    // running, a recording without its picture's way in, or a writer the module does not hold.
    bool EndRecordingStreams();
    // The running recording's sound input has given no sound at all for two seconds since the
    // recording's graph began to run.
    bool SoundGivesNothing();
    // Takes the recording branch out of the stopped graph; a DV source's preview is rebuilt at full
    // size and its format shown in the video label.
    bool StopCaptureGraph();
    // A cut: hands FileName, with the graph stopped, to what writes the running recording of
    // Format: the device's own branch, built again (1); the multiplexer's file sink (2, 5, 6, 8, 9);
    // the native MPEG branch's file writer (3, 4); the Windows Media writer (7); the sound file
    // writer (11, 12). True for the formats that write nothing (0, 10); false when the writer is
    // missing or refuses the name.
    bool HandNewNameToWriter(std::uint8_t Format, const std::wstring& FileName);
    // Sets the sound capture format on the ACM wrapper's output; false with no sound source or
    // when the wrapper refuses it.
    bool SetAudioCaptureFormat(bool FromOutput);
    // The capture sound format, 16-bit stereo PCM at a DV source's own rate when "Garder Format DV"
    // and "Frequence DV native" keep it, else at the "FrequenceDV" setting's (44100 for none of 1..3).
    TSoundFormat CaptureSoundFormat() const;
    // The sound a recording of Format holds, as the window shows it: the capture sound format for
    // the formats whose sound goes through the ACM wrapper (2, 3 and 4, 5, 6, 9, 11, 12), else the
    // sound source's own (1 writes the device's own stream, 7 encodes by its profile).
    TSoundFormat RecordingSoundFormat(std::uint8_t Format) const;
    // Takes the recording branch's filters out of the graph and lets go of the multiplexer and its
    // sink (the first part of StopCaptureGraph; a failed build uses it alone).
    void RemoveRecordingBranch();
    // The recording builders: each adds the branch of its capture format to the stopped preview
    // graph and answers false, with the branch taken out again, when it cannot record.
    // DV type 2 from the device's DV (2), the device's video as delivered (5), any video re-encoded
    // to DV with the overlay (6), and DV one frame per grab (8; OnStop runs once the graph stopped).
    bool BuildDV2NativeGraph(const std::wstring& FileName);
    bool BuildAviNativeGraph(const std::wstring& FileName);
    bool BuildDV2RecompGraph(const std::wstring& FileName);
    bool BuildImageByImageGraph(const std::wstring& FileName, std::function<void()> OnStop);
    // Windows Media through the ASF writer (7) and AVI through the chosen DivX compressor (9).
    bool BuildWmvGraph(const std::wstring& FileName);
    bool BuildDivxGraph(const std::wstring& FileName);
    // Removes the filters that feed Pin, walking upstream, up to (not including) StopFilter.
    bool RemoveUpstream(IPin* Pin, IBaseFilter* StopFilter);
    // Removes the filters between First and Last (both kept).
    void RemoveChainBetween(IBaseFilter* First, IBaseFilter* Last);
    // Removes an own filter from the graph when it is there.
    void RemoveOwnFilter(IBaseFilter* Filter);
    // Adds an own filter under its name; a filter already in the graph stays as it is.
    HRESULT AddOwnFilter(IBaseFilter* Filter, const wchar_t* Name);

    // Recording builders of sound alone (WAV; MP3 in a WAVE frame) and of the device's own MPEG
    // stream (3 and 4), as the others above.
    bool BuildWavGraph(const std::wstring& FileName);
    bool BuildMp3Graph(const std::wstring& FileName);
    bool BuildMpegNativeGraph(const std::wstring& FileName);
    // The native MPEG builder's candidate searches (into FilterEnum) and steppers (the next candidate
    // into muxer or audioenc, out of the graph); false when there is no list or no candidate left.
    bool FindMpegMuxers(const AM_MEDIA_TYPE& MediaType);
    bool NextMpegMuxer();
    bool FindMpegAudioEncoders();
    bool NextMpegAudioEncoder();
    ComPtr<IEnumMoniker> FilterEnum;
    // The device settings menus (settings_menus.cpp): each filling empties the menu, then adds one
    // item per settings page of the current sources' filters (and, for the video menu, the video
    // inputs of the crossbar router); a page item shows its page, then the sources and the format
    // are selected again with the graph's run deferred, and the graph runs.
    void FillVideoSettingsMenu(classlib::TPopupMenu* Menu);
    void FillAudioSettingsMenu(classlib::TPopupMenu* Menu);
    void SettingsItemClick(classlib::TObject* Sender);
    void VideoInputItemClick(classlib::TObject* Sender);
    // The tag of the item of each page kind of the last filling, -1 when it has none.
    std::int32_t SettingsSlots[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

private:
    classlib::TMenuItem* AddSettingsItem(classlib::TMenuItem* Parent, unsigned TextId, int Slot, int& Tag);
    // Empties Menu, resets the page slots and adds the driver dialogs' items; its items.
    classlib::TMenuItem* StartSettingsMenu(classlib::TPopupMenu* Menu, int& Tag);
    void ShowSettingsPage(std::intptr_t Tag);
    const classlib::TPopupMenu* videoSettingsMenu_ = nullptr;
    const classlib::TPopupMenu* audioSettingsMenu_ = nullptr;

    dshow::TFilter* Make(const wchar_t* Name, const wchar_t* DisplayName);
    void CreateOwnFilters();
    // The native MPEG branch: true when a multiplexer connected all the way; raises on failures
    // that end the build.
    bool BuildMpegBranch(const std::wstring& FileName);
    HRESULT lastRunFailure_ = S_OK;
    // The source EndRecordingStreams stopped; RunGraph lets it flow again.
    ComPtr<IAMStreamControl> stoppedSource_;
    void LetStoppedSourceFlow();
};

// The program's data module, nullptr when none exists.
Tdm* dm();

// The source-label text: width "x" height, then " - " fps " fps" when the frame time is known;
// the rate rounded to two decimals (ties to even) in its shortest form.
std::wstring VideoLabelText(long Width, long Height, long FrameTime, double Fps);

}  // namespace engine
