// The status bar: its four owner-drawn panels, the texts they show and the 300 ms tick that
// refreshes a recording's duration and frame counts and the camcorders' timecodes.
#include "ui/capture_form.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <utility>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "classlib/gdi_handles.h"
#include "dshow/ds_functions.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/mpeg_builder.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/extraire_frame.h"
#include "ui/options_text_ids.h"
#include "ui/recording_text_ids.h"
#include "ui/snapshot_text_ids.h"
#include "ui/sources_frame.h"
#include "ui/ui_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_controls.h"

namespace ui {

namespace {

std::wstring UiString(unsigned Id) { return settings::LoadProgramText(Id); }

bool IsNativeMpeg(std::uint8_t Format) { return Format == 3 || Format == 4; }

std::uint8_t CurrentCaptureFormat() {
    return settings::ParamCaptureFormat != nullptr ? settings::ParamCaptureFormat->Value() : settings::kFormatCaptureNone;
}

void SetCaptionIfOther(widgets::TUcLabel* Label, const std::wstring& Text) {
    if (Label->Caption() != Text) Label->SetCaption(Text);
}

// The sound label shows what a recording in the current format holds: the source's own sound, or
// the capture format the recordings convert it to (which the settings panel may change meanwhile),
// or that a native MPEG recording would hold no sound. Not during a recording: its file keeps the
// format it started with.
void ShowRecordingSound(widgets::TUcLabel* Label, bool SoundRecordable) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr || module->CurrentAudioSource == nullptr) return;
    const std::uint8_t format = CurrentCaptureFormat();
    SetCaptionIfOther(Label, SoundRecordable ? engine::SoundFormatText(module->RecordingSoundFormat(format))
                                             : UiString(IDS_OPT_NO_SOUND_LABEL));
}

std::wstring Upper(std::wstring Value) {
    for (wchar_t& c : Value) c = static_cast<wchar_t>(std::towupper(c));
    return Value;
}

// The first three characters of a source box's text.
std::wstring Abbreviation(const std::wstring& Name) { return Name.substr(0, 3); }

// A name told in the status bar is cut to no fewer characters than this: its first letter and
// the mark that it goes on.
constexpr std::size_t kShortestName = 2;
// The status bar's hint cuts a name past the longest a device's name can be: a script's name of
// thousands of characters would make a hint wider than any screen.
constexpr std::size_t kLongestHintName = 255;

// The longest limit from Low to High (a name's length) for which Fits holds, found by halving (a
// name may run to thousands of characters); Low when none does, High when it is not above Low.
template <typename TFits>
std::size_t LongestFitting(std::size_t Low, std::size_t High, TFits Fits) {
    if (High <= Low || Fits(High)) return High;
    std::size_t fits = Low, over = High;
    while (over - fits > 1) {
        const std::size_t middle = fits + (over - fits) / 2;
        if (Fits(middle))
            fits = middle;
        else
            over = middle;
    }
    return fits;
}

// Name cut to Limit characters, the last one an ellipsis, when it is longer.
std::wstring Shortened(const std::wstring& Name, std::size_t Limit) {
    if (Name.size() <= Limit) return Name;
    return Name.substr(0, Limit - 1) + L"\u2026";
}

// Draws Text centred in Rect (both halves truncated toward zero), or from its left when it is wider
// than Rect; answers the pen position after it.
POINT DrawCentred(classlib::TCanvas* Canvas, const RECT& Rect, const std::string& Text, int Width) {
    const int height = Canvas->TextHeight(Text.empty() ? std::string(" ") : Text);
    const int x = Rect.left + std::max<int>(TCaptureForm::kStatusTextInset, (Rect.right - Rect.left - Width) / 2);
    const int y = Rect.top + (Rect.bottom - Rect.top - height) / 2;
    Canvas->TextOut(x, y, Text);
    return Canvas->PenPos();
}

// Keeps what is drawn within a panel: the bar does not clip its owner-drawn panels, and a text cut
// at its panel's end would otherwise run on into the next one.
class TPanelClip {
public:
    TPanelClip(HDC Dc, const RECT& Rect) : dc_(Dc), saved_(CreateRectRgn(0, 0, 0, 0)) {
        had_ = GetClipRgn(dc_, saved_.Get());
        IntersectClipRect(dc_, Rect.left, Rect.top, Rect.right, Rect.bottom);
    }
    ~TPanelClip() { SelectClipRgn(dc_, had_ == 1 ? saved_.Get() : nullptr); }
    TPanelClip(const TPanelClip&) = delete;
    TPanelClip& operator=(const TPanelClip&) = delete;

private:
    HDC dc_;
    classlib::TOwnedRegion saved_;
    int had_ = 0;
};

}  // namespace

void TCaptureForm::StatusBar1DrawPanel(classlib::TCustomStatusBar* StatusBar, classlib::TStatusPanel* Panel,
                                       const RECT& Rect) {
    classlib::TCanvas* canvas = StatusBar->Canvas();
    canvas->FillRect(Rect);
    const TPanelClip clip(canvas->Handle(), Rect);
    // The panels draw narrow text: the system code page is what they can show.
    switch (Panel->Index()) {
        case 0: {
            canvas->Font()->SetColor(StatusIntervalColor);
            const std::string text = classlib::WideToAnsi(StatusIntervalText);
            DrawCentred(canvas, Rect, text, canvas->TextWidth(text));
            break;
        }
        case 1: {
            // The main text and the alert text are centred as one line, the alert in red after it.
            const std::string main = classlib::WideToAnsi(StatusMainText);
            const std::string alert = classlib::WideToAnsi(StatusAlertText);
            canvas->Font()->SetColor(classlib::clBlack);
            const POINT end = DrawCentred(canvas, Rect, main, canvas->TextWidth(main + alert));
            canvas->Font()->SetColor(classlib::clRed);
            canvas->TextOut(end.x + 3, end.y, alert);
            break;
        }
        case 2:
        case 3: {
            canvas->Font()->SetColor(classlib::clBlack);
            const std::string text = classlib::WideToAnsi(Panel->Index() == 2 ? StatusSourcesText : StatusInfoText);
            DrawCentred(canvas, Rect, text, canvas->TextWidth(text));
            break;
        }
        default:
            break;
    }
}

void TCaptureForm::UpdateStatusTexts() {
    using namespace settings;
    engine::Tdm* module = engine::dm();

    // Panel 0: the picture type and the intervalometer.
    const bool bmp = ParamExtensionDesImages == nullptr || ParamExtensionDesImages->Value() == 0;
    const std::wstring prefix = UiString(bmp ? IDS_SNAP_BMP_PREFIX : IDS_SNAP_JPG_PREFIX);
    if (ExtraireFrame1->KitSwitch1->StateOn()) {
        StatusIntervalColor = classlib::clRed;
        StatusIntervalText =
            prefix + classlib::Format(UiString(IDS_EVERY), {ExtraireFrame1->KitSpinEdit7->AsInteger(), ExtraireFrame1->cbUnites->Text()});
    } else {
        StatusIntervalColor = classlib::clBlack;
        StatusIntervalText = prefix + UiString(IDS_SNAP_INTERVAL_OFF);
    }

    // Panel 1: the preview and its flags.
    const filters::Tqz_Superposer* overlay = module != nullptr ? module->Superposer : nullptr;
    StatusMainText = UiString(IDS_PREVIEW);
    if (ParamMuteOn != nullptr && ParamMuteOn->Value()) StatusMainText += UiString(IDS_PREVIEW_MUTE);
    if (InlayActive) StatusMainText += UiString(IDS_PREVIEW_IN);
    StatusMainText += UiString(ParamWideScreen != nullptr && ParamWideScreen->Value() ? IDS_PREVIEW_16X9 : IDS_PREVIEW_4X3);
    if (overlay != nullptr && overlay->VerticalFlip()) StatusMainText += UiString(IDS_PREVIEW_FLIP_V);
    StatusAlertText = overlay != nullptr && overlay->HorizontalFlip() ? UiString(IDS_PREVIEW_FLIP_H) : std::wstring();

    // Panel 2: the sources and the capture format, or that there is no source (what it showed
    // before would name sources gone).
    std::wstring summary;
    if (module != nullptr && module->CurrentVideoSource != nullptr)
        summary = UiString(IDS_SNAP_VID) + Upper(Abbreviation(SourcesFrame->cboxvideo->Text()));
    if (module != nullptr && module->CurrentAudioSource != nullptr) {
        if (!summary.empty()) summary += L" - ";
        summary += UiString(IDS_SNAP_AUD) + Abbreviation(SourcesFrame->cboxAudio->Text());
    }
    if (!summary.empty()) {
        const TFormatCapture format = ParamCaptureFormat != nullptr ? ParamCaptureFormat->Value() : kFormatCaptureNone;
        StatusSourcesText = summary + L"=>" + FormatCaptureShortName(format);
    } else if (module != nullptr) {
        StatusSourcesText = UiString(IDS_REC_NO_SOURCE);
    }
    if (CaptureState != 2 && CaptureState != 4) ShowRecordingSound(SourcesFrame->LabAudio, MpegSoundRecordable());

    // Panel 3: the room left where the next recording goes: the volume of its folder (or of the
    // nearest folder above it that exists), which a mounted disk makes other than the drive's root.
    const std::wstring drive = Upper(unicode::WideExtractFileDrive(NextVideoFile));
    std::wstring measured = MeasurableFolderOf(NextVideoFile);
    if (measured.empty()) measured = drive.empty() ? NextVideoFile : drive + L"\\";
    StatusInfoText = classlib::Format(UiString(IDS_FREE_MB), {dshow::DiskFreeMB(measured), drive});

    // What was taken for a name not listed stays told, in red, until that choice changes: in place
    // of the flags (which the tool bar shows too), as the panel has no room for both; fitted to
    // the room the other panels' texts leave.
    ShowTakenInstead();
    RepaintStatus();
}

void TCaptureForm::ShowTakenInstead() {
    // A sentence for the sources (both in one when both were taken instead), one for the format;
    // each also in brief, with the names taken alone.
    struct TSentence {
        unsigned Text;
        unsigned Brief;
        std::vector<const TTakenInstead*> Names;
    };
    std::vector<TSentence> joined, single;
    if (videoInstead_.Told() && audioInstead_.Told())
        joined.push_back({IDS_UI_SOURCES_NOT_FOUND, IDS_UI_SOURCES_TAKEN, {&videoInstead_, &audioInstead_}});
    for (const TTakenInstead* source : {&videoInstead_, &audioInstead_})
        if (source->Told()) single.push_back({IDS_UI_SOURCE_NOT_FOUND, IDS_UI_SOURCE_TAKEN, {source}});
    if (joined.empty()) joined = single;
    if (formatInstead_.Told()) {
        joined.push_back({IDS_UI_FORMAT_NOT_OFFERED, IDS_UI_FORMAT_KEPT, {&formatInstead_}});
        single.push_back(joined.back());
    }
    if (joined.empty()) {
        takenInsteadShown_.clear();
        takenInsteadWhole_.clear();
        takenInsteadTurns_.clear();
        ShowStatusHint(std::wstring());
        return;
    }
    // Sentences From to From + Count, whole or Brief, with the names asked cut to at most Asked
    // characters and those taken to Taken.
    auto text = [&](const std::vector<TSentence>& Sentences, std::size_t From, std::size_t Count, bool Brief,
                    std::size_t Asked, std::size_t Taken) {
        std::wstring all;
        for (std::size_t n = From; n < From + Count; ++n) {
            const TSentence& sentence = Sentences[n];
            if (!all.empty()) all += L"; ";
            auto asked = [&](std::size_t i) { return Shortened(sentence.Names[i]->Asked, Asked); };
            auto taken = [&](std::size_t i) { return Shortened(sentence.Names[i]->Taken, Taken); };
            const std::wstring format = UiString(Brief ? sentence.Brief : sentence.Text);
            const bool two = sentence.Names.size() == 2;
            if (Brief)
                all += two ? classlib::Format(format, {taken(0), taken(1)}) : classlib::Format(format, {taken(0)});
            else
                all += two ? classlib::Format(format, {asked(0), asked(1), taken(0), taken(1)})
                           : classlib::Format(format, {asked(0), taken(0)});
        }
        return all;
    };
    std::size_t longest = 0;
    for (const TSentence& sentence : single)
        for (const TTakenInstead* names : sentence.Names) longest = std::max({longest, names->Asked.size(), names->Taken.size()});
    // The whole of it in the panel's hint, whatever the panel shows. Something else told starts
    // the turns again from the first.
    const std::size_t hinted = std::min(longest, kLongestHintName);
    const std::wstring whole = text(joined, 0, joined.size(), false, hinted, hinted);
    if (takenInsteadWhole_ != whole) takenInsteadTurn_ = 0, takenInsteadTicks_ = 0;
    takenInsteadWhole_ = whole;
    ShowStatusHint(whole);
    StatusMainText.clear();
    const int room = StatusAlertRoom();
    auto fits = [&](const std::wstring& Text) { return StatusTextWidth(Text) <= room; };
    // All of it at once where it fits; else each sentence in its turn (TurnTakenInstead), so that
    // every name shows without a hover: whole, then with the name asked going short, then brief
    // (the name taken alone), and only then with the name taken short.
    takenInsteadTurns_.clear();
    for (const std::vector<TSentence>* sentences : {&joined, &single})
        if (fits(text(*sentences, 0, sentences->size(), false, longest, longest))) {
            takenInsteadTurns_.push_back(text(*sentences, 0, sentences->size(), false, longest, longest));
            break;
        }
    if (takenInsteadTurns_.empty()) {
        for (std::size_t n = 0; n < single.size(); ++n) {
            auto fitted = [&](bool Brief, std::size_t Asked, std::size_t Taken) { return fits(text(single, n, 1, Brief, Asked, Taken)); };
            std::wstring turn;
            if (fitted(false, kShortestName, longest))
                turn = text(single, n, 1, false,
                            LongestFitting(kShortestName, longest, [&](std::size_t A) { return fitted(false, A, longest); }),
                            longest);
            else
                turn = text(single, n, 1, true, kShortestName,
                            LongestFitting(kShortestName, longest, [&](std::size_t T) { return fitted(true, kShortestName, T); }));
            takenInsteadTurns_.push_back(turn);
        }
    }
    takenInsteadTurn_ %= takenInsteadTurns_.size();
    takenInsteadShown_ = StatusAlertText = takenInsteadTurns_[takenInsteadTurn_];
}

bool TCaptureForm::TakenInsteadShown() const {
    return !takenInsteadShown_.empty() && StatusMainText.empty() && StatusAlertText == takenInsteadShown_;
}

void TCaptureForm::TurnTakenInstead() {
    if (takenInsteadTurns_.size() < 2 || !TakenInsteadShown() || ++takenInsteadTicks_ < kTakenInsteadTurnTicks) return;
    takenInsteadTicks_ = 0;
    ++takenInsteadTurn_;
    ShowTakenInstead();
    RepaintStatus();
}

void TCaptureForm::ShowStatusHint(const std::wstring& Told) {
    // A hint stops at its first bar: a name that holds one shows another in its place.
    std::wstring hint = Told;
    std::replace(hint.begin(), hint.end(), L'|', L'\u00A6');
    if (widgets::UcControl_GetHint(StatusBar1) != hint) widgets::UcControl_SetHint(StatusBar1, hint);
    StatusBar1->SetShowHint(!hint.empty());
}

void TCaptureForm::StatusBarHintShow(bool& CanShow, classlib::THintInfo& Info) {
    if (Info.HintControl != StatusBar1) return;
    // Over the panel that tells what was taken instead, and only there: a move into it or out
    // of it asks again.
    RECT panel{};
    for (int i = 0; i < StatusBar1->Panels()->Count(); ++i) {
        if (!StatusBar1->HandleAllocated() ||
            !SendMessageW(StatusBar1->Handle(), SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&panel)))
            continue;
        if (!PtInRect(&panel, Info.CursorPos)) continue;
        Info.CursorRect = panel;
        CanShow = CanShow && i == 1 && !takenInsteadShown_.empty();
        return;
    }
    CanShow = false;
}

bool TCaptureForm::MpegSoundRecordable() {
    const std::uint8_t format = CurrentCaptureFormat();
    if (!IsNativeMpeg(format)) {
        mpegSoundAskedFor_ = -1;
        return true;
    }
    if (mpegSoundAskedFor_ != format) {
        mpegSoundRecordable_ = engine::MpegAudioEncoderAvailable();
        mpegSoundAskedFor_ = format;
    }
    return mpegSoundRecordable_;
}

void TCaptureForm::ShowSoundlessRecording() {
    engine::Tdm* module = engine::dm();
    if (module == nullptr || !IsNativeMpeg(CurrentCaptureFormat()) || !engine::MpegBranchWithoutSound(*module)) return;
    SetCaptionIfOther(SourcesFrame->LabAudio, UiString(IDS_OPT_NO_SOUND_LABEL));
    if (CaptureState != 2) return;
    // The capturing look's summary without the sound, the missing sound in red after it.
    std::wstring summary;
    if (module->CurrentVideoSource != nullptr)
        summary = L"Vid: " + Upper(Abbreviation(SourcesFrame->cboxvideo->Text())) + L"=>" +
                  settings::FormatCaptureShortName(CurrentCaptureFormat());
    StatusMainText = summary;
    StatusAlertText = UiString(IDS_OPT_NO_SOUND);
    RepaintStatus();
}

bool TCaptureForm::DroppedFrames(long& Dropped, long& Kept) {
    Dropped = Kept = 0;
    // The recording's own pictures left out, while its branch is in the graph (its stamper counts
    // from each start).
    engine::Tdm* module = engine::dm();
    filters::Tqz_TimeStamper* stamper = module != nullptr ? module->ControlCaptureVideo : nullptr;
    const long leftOut =
        stamper != nullptr && stamper->Graph() != nullptr ? static_cast<long>(stamper->PicturesLeftOut()) : 0;
    if (!DroppedFramesInfo) {
        if (leftOut == 0) return false;
        Dropped = leftOut;
        Kept = static_cast<long>(stamper->SampleCounter());
        return true;
    }
    if (FAILED(DroppedFramesInfo->GetNumDropped(&Dropped))) Dropped = 0;
    if (FAILED(DroppedFramesInfo->GetNumNotDropped(&Kept))) Kept = 0;
    // The device delivered the pictures left out: they count among the lost, not the kept.
    Dropped += leftOut;
    Kept = std::max(Kept - leftOut, 0L);
    return true;
}

void TCaptureForm::DroppedActionTimer(classlib::TObject* /*Sender*/) {
    using namespace settings;
    WatchReplacedFile();
    WatchSoundInput();
    if (CaptureState == 2 || CaptureState == 4) {
        // The time of day of the elapsed time: whole days are not shown.
        WORD hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
        const double elapsed = classlib::Now() - CaptureStartTime;
        classlib::DecodeTime(elapsed > 0 ? elapsed : 0.0, hours, minutes, seconds, milliseconds);
        StatusSourcesText = classlib::Format(UiString(IDS_DURATION), {hours, minutes, seconds});

        const TFormatCapture format = ParamCaptureFormat != nullptr ? ParamCaptureFormat->Value() : kFormatCaptureNone;
        engine::Tdm* module = engine::dm();
        if (format == 8) {
            const int frames = module != nullptr ? module->ImageByImageCount : 0;
            StatusInfoText = UiString(IDS_FORMAT_IMAGE_BY_IMAGE) + L": " + classlib::Format(UiString(IDS_FRAMES), {frames});
        } else if (format == 11) {
            StatusInfoText = UiString(IDS_SNAP_AUDIO_WAV);
        } else if (format == 12) {
            StatusInfoText = UiString(IDS_SNAP_AUDIO_MP3);
        } else if (long dropped = 0, kept = 0; DroppedFrames(dropped, kept)) {
            StatusInfoText = classlib::Format(UiString(IDS_LOST_FRAMES), {dropped, dropped + kept});
        } else {
            StatusInfoText.clear();
        }
        // A told substitution that a call of the status texts put back into the second panel is
        // fitted to the room the recording's figures leave.
        if (TakenInsteadShown()) ShowTakenInstead();
        RepaintStatus();
    } else {
        ShowRecordingSound(SourcesFrame->LabAudio, MpegSoundRecordable());
    }
    TurnTakenInstead();
    if (engine::Tdm* module = engine::dm()) {
        engine::TVideoSource* video = module->CurrentVideoSource;
        engine::TAudioSource* sound = module->CurrentAudioSource;
        if (video != nullptr) ShowCameraTimecode(video);
        if (sound != nullptr && (video == nullptr || video->CamWindow != sound->CamWindow)) ShowCameraTimecode(sound);
    }
}

}  // namespace ui
