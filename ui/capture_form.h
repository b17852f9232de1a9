// The main window: its components (the video column with the video window, the volume, capture,
// cut and grab controls and the overlay sliders; the two tool bars; the status bar; the panel
// column with its nine panels and the error panel; the pop-up menus; the action list of every
// command), its start-up and close, and the services it gives the layers below: the settings
// host, the capture engine's host and the stream filters' host.
//
// The components are declared in capture_form_components.h, a base of the form. The methods are
// defined across several sources, one per topic: capture_form.cpp (creation, start-up, close,
// hosts), capture_form_build.cpp (the components), capture_actions.cpp (the action table and
// interface texts), capture_form_settings.cpp (settings load and save), and the sources of the
// other topics named beside their declarations.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <deque>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "classlib/jpeg_image.h"
#include "classlib/menus.h"
#include "dshow/video_window.h"
#include "engine/engine_host.h"
#include "filters/deinterlace.h"
#include "filters/filters_host.h"
#include "settings/settings_host.h"
#include "ui/capture_form_components.h"
#include "ui/recording_files.h"
#include "ui/recording_part.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace engine {
class TpluginList;
class TCaptureDeviceList;
class TMonikerList;
class TVideoSource;
class TAudioSource;
class TavFlux;
template <typename T>
class TSourceList;
}  // namespace engine

namespace ui {

class TPanelFrame;
class Tplaque;
class TRaccourcisForm;
class TSavePrefsForm;
class TTypingShortcuts;
// What one of the capture state's looks shows (the recording sources).
struct TLook;

// Shows the main window's pop-up menu for a right click on the video.
class TVideoPopupLink final : public dshow::IVideoPopupMenu {
public:
    classlib::TPopupMenu* Menu = nullptr;
    bool AutoPopup() override;
    void Popup(int X, int Y) override;
};

// The parameter list's signature: "Quillotrane", the version, the language code, " by Marbrecq".
std::wstring ParameterListSignature();

// Run-time globals of the main window, made by its creation: the devices that failed to open in
// this run (nullptr before), and the start-up flag during which device changes are ignored.
unicode::TUcStringList* FailedDevices();
bool StartingUp();

class TCaptureForm : public widgets::TUcForm,
                     public settings::ISettingsHost,
                     public engine::IEngineHost,
                     public filters::IFiltersHost,
                     public TCaptureFormComponents {
public:
    CLASSLIB_CLASS_NAME(TCaptureForm)
    explicit TCaptureForm(classlib::TComponent* AOwner);
    ~TCaptureForm() override;
    // The video's pop-up menu hides the control's PopupMenu() here, as when the form declared it.
    using TCaptureFormComponents::PopupMenu;

    // ---- State ---------------------------------------------------------------------------
    // 0 not set up, 1 preview, 2 capturing, 3 scheduled start pending, 4 scheduled capture.
    std::uint8_t CaptureState = 0;
    // Selections that run in a row hold the graph's run: a count, so that a nested selection's
    // own deferral does not end its caller's.
    int GraphRunDeferred = 0;
    bool OverlayAllowed = false;
    bool InlayActive = false;
    bool ImageByImageMode = false;
    bool WmvAvailable = false;
    bool ScreenSaverWasActive = false;
    std::wstring NextVideoFile;
    std::wstring NextImageFile;
    // The start of this run (date stamps in the file names), taken when the settings are loaded.
    double RunStartTime = 0.0;
    // The capture plug-ins, the device lists and the source lists (made on the first idle).
    std::unique_ptr<engine::TpluginList> Plugins;
    std::unique_ptr<engine::TCaptureDeviceList> VideoDevices;
    std::unique_ptr<engine::TCaptureDeviceList> AudioDevices;
    std::unique_ptr<engine::TSourceList<engine::TVideoSource>> VideoSources;
    std::unique_ptr<engine::TSourceList<engine::TAudioSource>> AudioSources;

    // ---- Start-up and close (capture_form.cpp) --------------------------------------------
    void FormCreate(classlib::TObject* Sender);
    void FormShow(classlib::TObject* Sender);
    void AppEvents1Idle(classlib::TObject* Sender, bool& Done);
    void FormCloseQuery(classlib::TObject* Sender, bool& CanClose);
    void FormDestroy(classlib::TObject* Sender);
    void acQuitterExecute(classlib::TObject* Sender);
    // Graph volume 0 when muted, else Volume; the gauge shows Volume / 100.
    void ApplyVolume();
    void tbChange(classlib::TObject* Sender);
    // The close question in "Do not save when quit" mode: true with Mode set when the user chose
    // (the save-preferences dialog the start-up made, modal).
    virtual bool AskStorageMode(std::uint8_t& Mode);
    // Whether this is the program's main window (a window a test makes is not): only it takes the
    // command line and the application's idle time.
    bool IsProgramWindow() const;
    // True once the first idle has run.
    bool FirstIdleDone() const { return firstIdleDone_; }

    // ---- Interface texts (capture_actions.cpp) --------------------------------------------
    void LoadInterfaceTexts();

    // ---- Settings (capture_form_settings.cpp) ---------------------------------------------
    // Creates and loads every setting, then shows them in their controls; failures are swallowed.
    void LoadSettings();
    void LoadPanelLists();
    // Nothing in storage mode 2 (only the removals chosen in this run, see TOptionsFrame);
    // otherwise copies the controls into the settings and saves. True when the store was written.
    bool SaveSettings();
    void OptionsFramecbConfirmerVideoClick(classlib::TObject* Sender);
    void OptionsFramecbConfirmerImageClick(classlib::TObject* Sender);
    void OptionsFramecbDeInterlacerClick(classlib::TObject* Sender);
    void OptionsFramecbMpeg2ratioNormalClick(classlib::TObject* Sender);
    void OptionsFramecbNotifierClick(classlib::TObject* Sender);
    // The main window's handler of the storage choice: the panel's own handling, then the folders
    // the browse dialogs open on.
    void OptionsFramergPrefsClick(classlib::TObject* Sender);
    void SourcesFrameleFramerateExit(classlib::TObject* Sender);
    void DossiersFrame1fePelorinChange(classlib::TObject* Sender);
    void DossiersFrame1VideoRacineEditKeyPress(classlib::TObject* Sender, char& Key);
    void DossiersFrame1ImageRacineEditKeyPress(classlib::TObject* Sender, char& Key);

    // ---- Capture state, recording, names, schedule, status (the recording sources) ----------
    // The recording: the name handed to the builder at the last start, its start (a cut keeps
    // it), the video capture filter's dropped-frame counter while it runs.
    std::wstring CaptureFile;
    double CaptureStartTime = 0.0;
    Microsoft::WRL::ComPtr<IAMDroppedFrames> DroppedFramesInfo;
    // Names built in this run (0 at start).
    std::int32_t VideoFileCounter = 0;
    std::int32_t ImageFileCounter = 0;
    // The status bar's texts, drawn by its panels.
    std::wstring StatusIntervalText;
    std::wstring StatusMainText;
    std::wstring StatusAlertText;
    std::wstring StatusSourcesText;
    std::wstring StatusInfoText;
    // The whole instants (date and time) of an armed schedule: the clock's alarm knows only the
    // time of day, so its handlers act only once the day has come.
    double ScheduleStartAt = 0.0;
    double ScheduleEndAt = 0.0;
    // Now as the schedule sees it: the schedule clock's OnGetTime may replace it (a whole date and
    // time, or a time of day taken as today's).
    double ScheduleNow();
    // The end the schedule panel sets (its end date and time), the one the end alarm is armed on.
    double ScheduledEnd();
    // A recording whose file is open (started and not yet closed by a stop or an abandon).
    bool RecordingOpen() const { return recordingOpen_; }
    // The recording sources bind the schedule panel's edits (the form's creation).
    void BindRecordingHandlers();
    void ScheduleStartEditChange(classlib::TObject* Sender);
    void ScheduleEndEditChange(classlib::TObject* Sender);
    // Shows or hides the schedule panel (the panel switching calls it).
    void ShowProgrammerFrame();
    void saCapturerBasculeexecute(classlib::TObject* Sender);
    void acProgrammerBasculeExecute(classlib::TObject* Sender);
    void lancerEnregistrement(classlib::TObject* Sender);
    void stopperEnregistrement(classlib::TObject* Sender);
    bool ShowPreviewState();
    bool ShowCapturingState();
    bool ShowScheduleWaitingState();
    bool ShowScheduledCaptureState();
    bool StartCapture();
    bool StopCapture();
    bool StopGraphAndCloseCapture();
    void acCouperExecute(classlib::TObject* Sender);
    void FinishImageByImage();
    std::wstring BuildVideoFileName();
    std::wstring BuildImageFileName();
    void DossiersFrame1VideoDirEditChange(classlib::TObject* Sender);
    void DossiersFrame1VideoRacineEditExit(classlib::TObject* Sender);
    // The recording's name as the folders panel shows it, a stem typed and not yet left included.
    void TakeVideoNameBoxes();
    void DossiersFrame1VideoDateClick(classlib::TObject* Sender);
    void OptionsframeImageDirEditChange(classlib::TObject* Sender);
    void OptionsframeImageRacineEditExit(classlib::TObject* Sender);
    void OptionsframeImageDateClick(classlib::TObject* Sender);
    bool StartSchedule();
    // Whether the schedule's end (and start) fields hold what they show: a date or a time that
    // cannot be (still being typed, or set by another program) is refused by its edit, which shows
    // the last valid one again, so that nothing is armed on a moment the user did not see.
    bool ScheduleFieldsShown(bool WithStart);
    bool ArmScheduleEnd();
    bool DisarmScheduleAlarm();
    void NowBtnClick(classlib::TObject* Sender);
    void UpdateStatusTexts();
    void DroppedActionTimer(classlib::TObject* Sender);
    // The recording's pictures lost (those its video capture filter dropped, and those left out
    // where their slot in the file was taken already) and kept; false when nothing counts them.
    bool DroppedFrames(long& Dropped, long& Kept);
    // The status bar (capture_form_status.cpp): the colour of the first panel's text, and the
    // owner drawing of the four panels.
    classlib::TColor StatusIntervalColor = classlib::clBlack;
    void StatusBar1DrawPanel(classlib::TCustomStatusBar* StatusBar, classlib::TStatusPanel* Panel, const RECT& Rect);
    // A native MPEG recording that goes on without its sound (no MPEG audio encoder took it): the
    // sound label says so, and in the capturing look the status bar's summary leaves the sound out
    // and says "no sound" in red. Called by the recording's looks.
    void ShowSoundlessRecording();
    // Whether the native MPEG formats would record the sound, asked of the filter mapper once per
    // choice of one of those formats.
    bool MpegSoundRecordable();
    // Snapshots and the intervalometer (capture_form_snapshots.cpp). The picture buffers: the slot's
    // picture as grabbed, the picture shown (deinterlaced or not) and the picture saved (fitted to the
    // display ratio by the grab panel); made on the first idle, or at the first grab.
    std::unique_ptr<filters::TPictureBitmap> GrabPicture;
    std::unique_ptr<filters::TPictureBitmap> DisplayPicture;
    std::unique_ptr<filters::TPictureBitmap> SavedPicture;
    std::unique_ptr<classlib::TJPEGImage> JpegImage;
    void CreatePictureBuffers();
    // The countdown's beeps: 0 the first sound, 1 the second (synchronous).
    virtual void PlayCountdownBeep(int Which);
    void saGrabexecute(classlib::TObject* Sender);
    void RequestSnapshot();
    void SaveGrabbedImage();
    void ExtraireFrame1KitSwitch1Click(classlib::TObject* Sender);
    void saIntervalloexecute(classlib::TObject* Sender);
    void acJpgOptionExecute(classlib::TObject* Sender);
    void acBmpOptionExecute(classlib::TObject* Sender);
    void OptionsframergExtensionClick(classlib::TObject* Sender);
    void OptionsframeTrackBar1Change(classlib::TObject* Sender);
    void SetImageByImageMode(bool On);
    // The camcorder windows and transport.
    void cam_PlayExecute(classlib::TObject* Sender);
    void cam_PauseExecute(classlib::TObject* Sender);
    void cam_StopExecute(classlib::TObject* Sender);
    void cam_AvanceLentExecute(classlib::TObject* Sender);
    void cam_ReculeLentExecute(classlib::TObject* Sender);
    void cam_AvanceRapideExecute(classlib::TObject* Sender);
    void cam_ReculeRapideExecute(classlib::TObject* Sender);
    void cam_PlayPausefalseExecute(classlib::TObject* Sender);
    void cam_PlayPauseTrueExecute(classlib::TObject* Sender);
    void cam_ToggleExecute(classlib::TObject* Sender);
    void acShowVideoPilotDVExecute(classlib::TObject* Sender);
    void acShowAudioPilotDVExecute(classlib::TObject* Sender);
    void SetActiveCamForm(TcamForm* Form);
    // The timecode and recording date of a DV source in its camcorder window (capture_form_camcorder.cpp).
    void ShowCameraTimecode(engine::TavFlux* Source);
    // The camcorder window behind an engine's window slot; nullptr when it is none of the two.
    TcamForm* CamFormOf(engine::ICamWindow* Window) const;

    // ---- Sources, formats, preview lock (the sources' topic) ------------------------------
    bool EnumerateSources();
    bool SelectVideoSource(const std::wstring& Name);
    bool SelectAudioSource(const std::wstring& Name);
    void SelectCaptureFormat(std::uint8_t Format);
    void cboxVideoChange(classlib::TObject* Sender);
    void cboxAudioChange(classlib::TObject* Sender);
    void cbFormatCaptureClick(classlib::TObject* Sender);
    void ActualiserVideoBtnClick(classlib::TObject* Sender);
    void HelpFrame1CheckListBox1Click(classlib::TObject* Sender);
    void VideoPropBtnClick(classlib::TObject* Sender);
    void AudiopropBtnClick(classlib::TObject* Sender);
    void VideoSettingsMenuPopup(classlib::TObject* Sender);
    void AudioSettingsMenuPopup(classlib::TObject* Sender);
    void pmProfilesPopup(classlib::TObject* Sender);
    void capsetItem(classlib::TObject* Sender);
    void SourcesFramecbEntriesChange(classlib::TObject* Sender);
    void SourcesFramesbFormatCapturesettingsClick(classlib::TObject* Sender);
    void DossiersFrame1dePluginAfterDialog(classlib::TObject* Sender);
    // The plug-in folder chosen in its dialog: kept, with the notice that it counts from the next
    // start, when it differs from the stored one.
    void PluginFolderChosen(const std::wstring& Folder);
    void GraphDeviceLost(classlib::TObject* Sender);
    void ApplyPreviewLock(bool Locked);
    // After a change made on the sources panel: the preview lock, then the format list again.
    void ApplyLockAndShowFormats();
    // A capture format chosen as the format list's choice does it: selected, kept as the wanted
    // one, the preview lock applied to it (the overlay and flips follow it).
    void ChooseCaptureFormat(std::uint8_t Format);
    // Selections by name, as a script's or the command line's line asks (the source and format
    // actions): a name the lists hold is the user's pick; a format the list does not offer is
    // told with the one taken in its place.
    bool SelectVideoSourceAsked(const std::wstring& Name);
    bool SelectAudioSourceAsked(const std::wstring& Name);
    void SelectCaptureFormatAsked(const std::wstring& Name);
    // The name the close stores for the video (Video) or sound source: the one the user chose,
    // not a source taken in its place for this run only.
    std::wstring SourceNameToStore(bool Video) const;
    // The video source a way out of the sound-only mode brings back: the one the user chose last
    // when it is listed, else the first listed; nullptr when none is.
    const engine::TVideoSource* VideoSourceToComeBack() const;
    void ShowVideoControls();
    void HideVideoControls();
    void ShowAudioControls();
    void HideAudioControls();
    void taLockfalseExecute(classlib::TObject* Sender);
    void taLockTrueExecute(classlib::TObject* Sender);
    void OptionsFramecbActiverSuperpositionClick(classlib::TObject* Sender);
    // Whether selections running in a row hold the graph's run (this window's count or the data
    // module's, raised around the settings menus' re-selection).
    bool GraphRunIsDeferred() const;
    // After devices came or went: enumerates again, then selects the video source, sound source
    // and format that the lists showed, and runs the graph once, after the three (unless a caller
    // still defers it).
    void ReselectSources();
    // The settings menus' owner button was used and the menu closed (posted after the menu, so
    // that a chosen item's click has run first): a source the menu left torn down comes back.
    void SettingsMenuClosed(bool Video);
    // The settings button's work: the source's branch taken down (its device's filters kept), its
    // menu popped up under the button, and the menu's close posted.
    void PopSettingsMenu(bool Video);
    // The sources' own posted messages (kWMSourcesEvent).
    void WMSourcesEvent(classlib::TMessage& Message);

    // ---- Layout, panels, toggles (the layout's topic) -------------------------------------
    // capture_form_layout.cpp: the two columns, the video's shape, full screen, the reduced
    // window and the overlay sliders.
    // The last 16:9 state reported for the current DV picture.
    bool SixteenNineFlag = false;
    void LayoutPanels();
    // The status bar's panel widths for the texts they show now (capture_form_layout.cpp).
    void FitStatusPanels();
    // A text's width as the status bar draws it, and the widest the second panel's alert text can
    // be for it and every other panel's text to show whole (capture_form_layout.cpp).
    int StatusTextWidth(const std::wstring& Text);
    int StatusAlertRoom();
    // A status text wider than its panel starts this far in, so that its beginning shows whole.
    static constexpr int kStatusTextInset = 2;
    // The status ticks (300 ms) each sentence of what was taken instead shows, when the second
    // panel tells them in turns.
    static constexpr int kTakenInsteadTurnTicks = 10;
    void ApplyAspectRatio();
    // A DV source's picture ratio from SixteenNineFlag: 16:9 when set, else 4:3.
    void DefaultDisplayRatio();
    void LayoutVideoWindow(int RatioW, int RatioH);
    // The full-screen backdrop and the shortcuts window among the program's forms (nullptr when
    // there is none).
    Tplaque* Backdrop() const;
    TRaccourcisForm* ShortcutsWindow() const;
    void tafullscreenfalseExecute(classlib::TObject* Sender);
    void tafullscreenTrueExecute(classlib::TObject* Sender);
    void saExitFullScreenexecute(classlib::TObject* Sender);
    void acReduireExecute(classlib::TObject* Sender);
    void acSlidersExecute(classlib::TObject* Sender);
    void XsliderChange(classlib::TObject* Sender);
    void YsliderChange(classlib::TObject* Sender);
    // capture_form_panel_switch.cpp: one panel of the column at a time, and the links to them.
    void ShowPanel(std::uint8_t Number);
    void HideActivePanel();
    // The panel of a number and the action that shows it (nullptr above 8).
    TPanelFrame* PanelFrame(std::uint8_t Number) const;
    TMainAction* PanelAction(std::uint8_t Number) const;
    void acSourcesFrameExecute(classlib::TObject* Sender);
    void acDossiersFrameExecute(classlib::TObject* Sender);
    void acProgrammerFrameExecute(classlib::TObject* Sender);
    void acExtraireFrameExecute(classlib::TObject* Sender);
    void acIncrusterFrameExecute(classlib::TObject* Sender);
    void acOptionsFrameExecute(classlib::TObject* Sender);
    void saListeFrameexecute(classlib::TObject* Sender);
    void acHelpExecute(classlib::TObject* Sender);
    void acAproposExecute(classlib::TObject* Sender);
    void acNextPanneauExecute(classlib::TObject* Sender);
    void acBasculerPanneauExecute(classlib::TObject* Sender);
    void acOuvrirDossierVideosExecute(classlib::TObject* Sender);
    // capture_form_toggles.cpp: the on/off, flip, ratio and volume actions and the selections
    // and scripts run by name.
    // The flips actually applied to the picture: wanted and allowed by the capture format.
    bool VertFlipApplied = false;
    bool HorzFlipApplied = false;
    void taFreezepreviewfalseExecute(classlib::TObject* Sender);
    void taFreezepreviewTrueExecute(classlib::TObject* Sender);
    void taFreezeCapturefalseExecute(classlib::TObject* Sender);
    void taFreezeCaptureTrueExecute(classlib::TObject* Sender);
    void taMutefalseExecute(classlib::TObject* Sender);
    void taMuteTrueExecute(classlib::TObject* Sender);
    void taIncrusterfalseExecute(classlib::TObject* Sender);
    void taIncrusterTrueExecute(classlib::TObject* Sender);
    void taraccourcisprepare(classlib::TObject* Sender);
    void taraccourcisfalseExecute(classlib::TObject* Sender);
    void taraccourcisTrueExecute(classlib::TObject* Sender);
    void taDecalageprepare(classlib::TObject* Sender);
    void taDecalagefalseExecute(classlib::TObject* Sender);
    void taDecalageTrueExecute(classlib::TObject* Sender);
    void acVertFlipExecute(classlib::TObject* Sender);
    void acHorzFlipExecute(classlib::TObject* Sender);
    void ApplyVerticalFlip();
    void ApplyHorizontalFlip();
    void saRatioNormalexecute(classlib::TObject* Sender);
    void saRatioNatifexecute(classlib::TObject* Sender);
    void saRatio16x9execute(classlib::TObject* Sender);
    void saRatio4x3execute(classlib::TObject* Sender);
    void acIncVolumeExecute(classlib::TObject* Sender);
    void acDecVolumeExecute(classlib::TObject* Sender);
    void saSourceVideoprepare(classlib::TObject* Sender);
    void saSourceVideoexecute(classlib::TObject* Sender);
    void saSourceAudioprepare(classlib::TObject* Sender);
    void saSourceAudioexecute(classlib::TObject* Sender);
    void saFormatCaptureprepare(classlib::TObject* Sender);
    void saFormatCaptureexecute(classlib::TObject* Sender);
    void saScriptprepare(classlib::TObject* Sender);
    void saScriptexecute(classlib::TObject* Sender);

    // ---- The remaining panels ------------------------------------------------------------
    // The overlay is drawn when it is wanted and the capture format allows it (capture_form_options.cpp).
    void ApplyInlay();
    // What the overlay panel reaches of the window, and the keys typing takes from the shortcuts.
    void BindSettingsPanels();
    TTypingShortcuts* TypingShortcuts = nullptr;
    // The help panel's system report (capture_form_help.cpp): rebuilt from what the program found;
    // one line appended to it and to its mail copy.
    void ShowSystemInfo();
    void AddSystemInfoLine(const std::wstring& Text, classlib::TColor Color);
    // The clip browser with every clip of the list that still exists.
    void acPelorinExecute(classlib::TObject* Sender);
    // The first showing's part of the help, about and clip list panels and of the shortcuts window.
    void ShowInfoPanelsFirst();

    // ---- Messages ------------------------------------------------------------------------
    // WM_DEVICECHANGE (after the default handling), and the stream filters' WM_USER+1 (a grabbed
    // frame in a slot), WM_USER+2 (seconds to the next timed picture), WM_USER+3 (DV 16:9 flag).
    void WMDeviceChange(classlib::TMessage& Message);
    void WMFrameGrabbed(classlib::TMessage& Message);
    void WMIntervalometerCount(classlib::TMessage& Message);
    void WMDVRatioChanged(classlib::TMessage& Message);
    // kWMRecordingWriteFailed: the running recording is stopped and closed, then the user is told.
    void WMRecordingWriteFailed(classlib::TMessage& Message);
    void Dispatch(classlib::TMessage& Message) override;

    // ---- Hosts ---------------------------------------------------------------------------
    // settings::ISettingsHost
    std::wstring ExeName() const override;
    int MainFormWidth() const override { return Width(); }
    int MainFormHeight() const override { return Height(); }
    // engine::IEngineHost
    HWND MainWindowHandle() override;
    void SetVideoLabel(const std::wstring& Caption) override;
    engine::ICamWindow* CamWindow(int Index) override;
    void ForgetCamForm(engine::ICamWindow* Window) override;
    std::wstring SourcesListText(int List) override;
    bool SelectVideoSourceNamed(const std::wstring& Name) override { return SelectVideoSource(Name); }
    bool SelectAudioSourceNamed(const std::wstring& Name) override { return SelectAudioSource(Name); }
    void SelectCaptureFormatNamed(std::uint8_t Format) override { SelectCaptureFormat(Format); }
    bool CaptureRunning() override { return CaptureState == 2 || CaptureState == 4; }
    // filters::IFiltersHost (streaming threads: answers from atomic copies)
    HWND MessageWindow() override { return messageWindow_.load(); }
    bool OverlayPreference() override { return overlayPreference_.load(); }
    LONGLONG FrameTime() override;
    SIZE DisplayAspect() override;
    // engine::IEngineHost: the settings panel's Windows Media choice (capture_form_options.cpp).
    int WmvProfileItem() override;
    int WmvDefaultProfileItem() override;
    int WmvVersionItem() override;
    // Keeps the filters' copy of "Activer Superposition" (main thread, at each change).
    void PublishOverlayPreference(bool Value) { overlayPreference_.store(Value); }

protected:
    void CreateWnd() override;
    void DestroyWnd() override;

private:
    // The newest frame-grabbed message that arrived while one is handled (a question open) waits here.
    void HandleGrabbedSlot(int Slot);
    // Keeps Slot as the one picture waiting, handing the older waiting ones back to the filter.
    void HoldBackGrab(int Slot);
    // Frame-grabbed messages still queued are held back as those that came during the question.
    void TakeQueuedGrabs();
    // Asks, when the prepared picture exists and confirmation is on, whether to replace it (All
    // stops the asking); false when the picture is not to be saved.
    bool SnapshotNameAccepted();
    void WriteSnapshotFile(const std::wstring& FileName);
    std::deque<int> pendingGrabs_;
    bool grabInProgress_ = false;
    // Grabbed pictures handled so far (saved, passed into an image-by-image recording, or given
    // back unread after a failed save).
    std::uint64_t picturesHandled_ = 0;
    // Pictures the overlay holds for the window, and the grab it has been asked for while frames
    // reach it.
    int PicturesOutstanding();
    // The close's wait for the pictures asked before it, pumping messages: false when they did
    // not all come within a bound.
    bool FinishAskedSnapshots();
    // A close held while the start-up or a picture's save runs is posted again when it ends.
    void CarryOutHeldClose();
    bool startUpPending_ = false;
    bool closeHeld_ = false;
    // A name asked for (a script's, the command line's, the stored one) that the lists do not
    // hold, and the entry taken in its place: told in the status bar until that choice changes.
    struct TTakenInstead {
        std::wstring Asked;
        std::wstring Taken;
        bool Told() const { return !Asked.empty(); }
        void Clear() { Asked.clear(), Taken.clear(); }
    };
    TTakenInstead videoInstead_;
    TTakenInstead audioInstead_;
    TTakenInstead formatInstead_;
    // The source name the settings keep while a source taken in place of the user's choice stands:
    // that choice, until the user picks a source (none kept: the source shown is the one stored).
    std::optional<std::wstring> videoKept_;
    std::optional<std::wstring> audioKept_;
    // The user picked the video (Video) or sound source shown in its list, or named one listed.
    void SourcePicked(bool Video);
    // The status bar's words for what was taken instead, fitted beside the other panels' texts:
    // all at once where they fit, else one sentence at a time in turns of a few seconds, each with
    // its names whole where the room holds them (the name asked goes short first); the whole of it
    // in the bar's hint. The text last shown so, to fit again when the other panels' texts change
    // under it.
    void ShowTakenInstead();
    // Whether the second panel shows it now (a recording's look shows its sources there).
    bool TakenInsteadShown() const;
    // The status tick: the next sentence's turn once the present one has shown its time.
    void TurnTakenInstead();
    std::wstring takenInsteadShown_;
    // The whole of it last told (a change starts the turns again), and its turns.
    std::wstring takenInsteadWhole_;
    std::vector<std::wstring> takenInsteadTurns_;
    std::size_t takenInsteadTurn_ = 0;
    int takenInsteadTicks_ = 0;
    // The status bar's hint: the whole of what was taken instead (none: no hint), shown over the
    // panel that tells it (StatusBarHintShow, the application's hint event).
    void ShowStatusHint(const std::wstring& Told);
    void StatusBarHintShow(bool& CanShow, classlib::THintInfo& Info);

    void BuildComponents();  // capture_form_build.cpp
    void BuildActions();     // capture_actions.cpp
    void BindHandlers();     // capture_form_build.cpp
    // The panels' links, the video window's click and backdrop, and the script components
    // (capture_form_panel_switch.cpp).
    void BindPanelLinks();

    // The recording sources' own state.
    bool ShowPreviewLook();
    void ApplyLook(const TLook& Look);
    void ApplyLookControls(const TLook& Look);
    void ApplyLookGlyphs(const TLook& Look);
    // The frame around the picture crossed (a frozen recording) or solid (capture_form_toggles.cpp).
    void ShowCaptureFrozen(bool Frozen);
    bool StartRecording();
    // After a start the graph refused: the open flag lowered, the scene list closed, and the part's
    // own files removed (its recording kept when another program held it).
    void UndoRefusedStart(bool FileHeldElsewhere, TRecordingPart* Part);
    // The graph's failure events go to the recording from now on (a start or a cut).
    void HearRecordingFailures();
    // A failure that a filter told through the graph's events while the graph started (a sound
    // input that could not be opened): heard now, S_OK when none.
    HRESULT FailureToldAtRun();
    // The running part's hold on its name (its claim, its own files, the older files it moved
    // aside): the older files go once it has written something (checked at every status tick).
    void WatchReplacedFile();
    // The part closed last, settled with its file once its writers let go (WritersGone) or can
    // be judged before: its file gone when it holds nothing, the older files gone when it wrote
    // something, else back.
    void SettleClosedPart(bool WritersGone);
    std::unique_ptr<TRecordingPart> part_;
    std::unique_ptr<TRecordingPart> closedPart_;
    // The claim on a name that a start made again (in an older file's room) takes over.
    std::unique_ptr<TRecordingClaim> heldClaim_;
    // The preview that runs again reported nothing wrong as it started (a sound input that could
    // not be opened): only then may an older file's room be given to a recording.
    bool PreviewReportsNothing();
    // A part that found no room on its disk while the older file it replaces held it: the older
    // file's room is given and the part begun again under its name; false when that cannot help.
    bool BeginAgainWithOlderRoom(HRESULT Result);
    // What this computer lacks to record in Format (why a start cannot be made), empty when nothing.
    std::wstring MissingForFormat(std::uint8_t Format);
    void AbandonCapture();
    // The questions before a recording into Name; the one about replacing the file is asked only
    // when it Existed already (a start's earlier look: a file that appeared since is another
    // program's, and the start moves on to a free name).
    // Changed, when given, tells whether the files at the name changed while the question was
    // open (another copy wrote them, a file arrived): the answer is not for the files there now.
    // Asked, when given, receives the files the question was about, or those the look found.
    bool ConfirmNewRecording(const std::wstring& Name, bool WithAll, bool Existed = true, bool* Changed = nullptr,
                             TNamedFiles* Asked = nullptr);
    // The older files that killed copies left aside in the folder of Name are put back, or kept
    // beside their names: the words telling the user where (none when none was kept), which keep
    // what they tell of until they go. TellLeftOvers tells them at once.
    TSweepTold SweepLeftOvers(const std::wstring& Name);
    static std::wstring LeftOversText(const TSweepTold& Sweep);
    void TellLeftOvers(const std::wstring& Name);
    std::wstring FreeRecordingName(std::wstring Name);
    // Claims NextVideoFile for the recording's part (moving on to the next free name while another
    // program or copy has it): why its file cannot be written, empty when it can.
    std::wstring ClaimRecordingName(std::unique_ptr<TRecordingPart>& Part);
    bool BuildRecordingBranch(std::uint8_t Format, const std::wstring& Name);
    bool HandNewNameToWriter(std::uint8_t Format, const std::wstring& Name);
    // The scene list of the recording RecordingName opened, in the file Part made for it (none:
    // a file made new, whose identity is kept).
    void OpenSceneList(const std::wstring& RecordingName, const TRecordingPart* Part);
    // That file made new removed, when it is still the one made and holds only its scenes.
    void RemoveUnformattedSceneList(const std::wstring& RecordingName);
    TFileIdentity unformattedSceneList_;
    // Closes the scene list and takes the scene procedure away from the video source's detector.
    void CloseSceneList();
    void AddClipEntry(const std::wstring& Name);
    // The clip list's entry of Name taken off (a file of another program's).
    void RemoveClipEntry(const std::wstring& Name);
    // The clip list's entry of a closed recording brought up to date: its size and dates as the
    // file is now, or taken off when the file is gone.
    void RefreshClipEntry(const std::wstring& Name);
    // The recording closed last: removed when it held nothing, its entry brought up to date.
    // Done again once the writers are gone (WritersGone), as a writer may hold it until then.
    void FinishClosedFile(bool WritersGone);
    std::wstring closedFile_;
    bool closedHoldsNothing_ = false;
    // What the writers reported while the recording's graph stopped (a header they could not
    // write), or a write failure not handled yet; S_OK when none.
    HRESULT TakeCloseFailure(bool& DuringStop);
    // After a stop that could not bring the preview back: the preview look, the capture action
    // off until the sources are chosen again, and the user told about File.
    void EndFailedStop(const std::wstring& File);
    // After a cut whose new part could not begin (Reason as the user reads it): the recording is
    // stopped and closed as a stop does, and the user told.
    void EndFailedCut(const std::wstring& Reason);
    // The cut: the running part closed and the recording carried on under the next free name.
    // Also the way on from a part whose file another program took before its writer opened it.
    void CutToNextName();
    void RepaintStatus();
    void RunPendingAlarm();
    // A scheduled start that came at or after its end: dropped, back to preview, the user told.
    void SkipLateSchedule();
    // Whether a schedule alarm (1 start, 2 end) acts now: the window is in State and the alarm's
    // moment At has come; an alarm during another transition is kept for its end.
    bool AlarmActs(int State, double At, int Alarm);
    // The capture action's stop in states 2 and 4: the preview look, or the abandon.
    void StopRunningRecording();
    // While a recording's file is open (states 2 and 4) the sources and the format stay as they
    // are: true then, and a request that Changes something is told so in the status bar.
    bool KeepSourcesWhileRecording(bool Changes);
    // A failed write of the recording's file, from the graph's error events: posted once.
    void RecordingWriteFailed(HRESULT Result);
    void StopOnWriteFailure(HRESULT Result);
    bool writeFailurePosted_ = false;
    HRESULT postedFailure_ = S_OK;
    // Parts begun (a start or a cut begins one): a failure posted for a part that has closed since
    // is not taken for the part that runs now.
    unsigned recordingPart_ = 0;
    // The running part's writer could not open its file, which another program holds (another
    // copy of this one named its recording alike): nothing of this recording is in that file.
    bool partHeldElsewhere_ = false;
    // Times this recording moved on to a free name from a file another program took; more than
    // kMostNamesMoved means a writer that can open nothing, which is told rather than tried
    // without end.
    int namesMoved_ = 0;
    static constexpr int kMostNamesMoved = 5;
    // The start just refused is to be made again under the next free name.
    bool retryStart_ = false;
    // A cut closes the running part: a part it leaves to another program is not told.
    bool cuttingPart_ = false;
    // The recording's graph is being stopped: its writers' reports are gathered, not posted.
    bool closingRecording_ = false;
    HRESULT closeFailure_ = S_OK;
    // A failed write or cut is being handled: it tells the user itself.
    bool handlingWriteFailure_ = false;
    // A failure that came during another transition (S_OK: none), handled at its end.
    HRESULT pendingWriteFailure_ = S_OK;
    // The sound input told the graph that it could not be opened or stopped giving sound: the
    // running recording is stopped as for a failed write, and the user told which input it was.
    void SoundInputFailed(int Operation, unsigned long Error);
    // Problem (the input named) stops the running recording as a failed write, told once.
    void SoundInputLetDown(const std::wstring& Problem);
    // Watches the running recording's sound input on the status timer: one that gives nothing at
    // all is told as one that stopped giving sound.
    void WatchSoundInput();
    ULONGLONG soundSilentSeen_ = 0;  // when the watch first saw the input give nothing; 0: not seen
    // Why the graph would not run a recording into File (Failure its answer): a sound input's
    // words when one told its failure meanwhile, else the file's or the graph's.
    std::wstring RefusalText(const std::wstring& File, HRESULT Failure);
    // The sound input's words for the failure it told during this recording; empty when none.
    std::wstring soundInputProblem_;
    // The sound input told that it could not be opened: nothing of the part is a recording.
    bool soundInputNotOpened_ = false;
    // An image-by-image recording stopped before its first picture: nothing of it is kept.
    bool noPictureGrabbed_ = false;
    bool recordingOpen_ = false;
    // The stem box's text that NextVideoFile was last built from.
    std::wstring videoStemBuilt_;
    // Start, stop, cut and the alarms open message loops (questions, the frame-rate patch): an
    // alarm that comes meanwhile waits for the running one; a user action is ignored.
    int transitionDepth_ = 0;
    int pendingAlarm_ = 0;
    // The name the schedule checked when it was armed, and the files there then.
    std::wstring scheduleCheckedName_;
    TNamedFiles scheduleCheckedFiles_;
    TVideoPopupLink videoPopup_;
    // A close is under way (waiting for pictures, asking where to keep the settings).
    bool closeUnderWay_ = false;
    // Full screen as the close found it: the close leaves it before the settings are saved.
    bool fullScreenAtClose_ = false;
    // The filter mapper's answer for the MPEG audio encoder, and the format it was asked for.
    bool mpegSoundRecordable_ = true;
    int mpegSoundAskedFor_ = -1;
    bool firstShowDone_ = false;
    bool firstIdleDone_ = false;
    std::atomic<HWND> messageWindow_{nullptr};
    std::atomic<bool> overlayPreference_{true};
};

// The one main window, nullptr when none exists.
TCaptureForm* CaptureForm();

// The message the sources' topic posts to the main window: WParam kSourcesDeviceLost (the graph
// lost a device) or kSourcesVideoMenuClosed / kSourcesAudioMenuClosed.
constexpr UINT kWMSourcesEvent = WM_APP + 0x120;
constexpr WPARAM kSourcesDeviceLost = 1;
constexpr WPARAM kSourcesVideoMenuClosed = 2;
constexpr WPARAM kSourcesAudioMenuClosed = 3;

// The nearest existing folder of the folder of Path (a file's name, or a folder's ended by "\"), on
// the volume that will hold it: a folder is made only when its first file is written, and its
// volume is measured before that. The drive's root when none of the path exists.
std::wstring MeasurableFolderOf(const std::wstring& Path);

// Posted to the main window when the recording's file can no longer be written (WParam: the
// failure code).
constexpr UINT kWMRecordingWriteFailed = WM_APP + 0x121;

}  // namespace ui
