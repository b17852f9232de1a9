// The main window's settings: shown in their controls at the first showing, the panels' lists on
// the first idle, read back from the controls at close, and the options that write at once.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "classlib/message_box.h"
#include "engine/capture_data_module.h"
#include "settings/program_texts.h"
#include "filters/superposer.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/incruster_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/options_text_ids.h"
#include "ui/side_forms.h"
#include "ui/panel_frame.h"
#include "ui/sources_frame.h"
#include "unicode/wide_strings.h"
#include "widgets/kit/kit_spin_edit.h"
#include "widgets/kit/path_edit.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

// Takes an event away for the life of the object: a control set from the settings runs nothing.
template <typename Event>
class TMutedEvent {
public:
    explicit TMutedEvent(Event& event) : event_(event), saved_(std::move(event)) { event_ = nullptr; }
    ~TMutedEvent() { event_ = std::move(saved_); }
    TMutedEvent(const TMutedEvent&) = delete;
    TMutedEvent& operator=(const TMutedEvent&) = delete;

private:
    Event& event_;
    Event saved_;
};

void LoadCheck(widgets::TUcCheckBox* Box, const settings::TBooleanParameter* Parameter) {
    TMutedEvent<classlib::TNotifyEvent> mute(Box->OnClick);
    Box->SetChecked(Parameter->Value());
}

void LoadIndex(classlib::TRadioGroup* Group, int Index) {
    TMutedEvent<classlib::TNotifyEvent> mute(Group->OnClick);
    Group->SetItemIndex(Index >= 0 && Index < Group->Items()->Count() ? Index : -1);
}

void LoadText(widgets::TUcEdit* Edit, const std::wstring& Text) {
    TMutedEvent<classlib::TNotifyEvent> mute(Edit->OnChange);
    Edit->SetText(Text);
}

// The kit's path edits keep their text in the system code page and the wide path they were given
// beside it, so a folder named outside the code page survives a load and a save.
void LoadText(widgets::kit::TFileDirEdit* Edit, const std::wstring& Text) {
    TMutedEvent<classlib::TNotifyEvent> mute(Edit->OnChange);
    Edit->SetWideText(Text);
}

std::wstring TextOf(widgets::kit::TFileDirEdit* Edit) { return Edit->WideText(); }

void LoadValue(widgets::kit::TKitSpinEdit* Edit, int Value) {
    TMutedEvent<classlib::TNotifyEvent> mute(Edit->OnChange);
    Edit->SetValue(Value);
}

// The frame rate as typed: a real number in the user's notation that a recording can be given;
// false otherwise.
bool ParseFramerate(const std::wstring& Text, double& Value) {
    double typed = 0.0;
    if (!classlib::TryStrToFloat(classlib::Trim(Text), typed) || !settings::FramerateValid(typed)) return false;
    Value = typed;
    return true;
}

// The place for a window of that size: kept when the whole window lies on the screens, else the
// nearest place inside the work area of the nearest screen (at its top left when the window is
// larger). A stored place may be any number: the arithmetic is 64-bit.
POINT PlaceOnScreen(std::int32_t Left, std::int32_t Top, int Width, int Height) {
    const std::int64_t left = Left, top = Top, right = left + Width, bottom = top + Height;
    const std::int64_t screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const std::int64_t screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const std::int64_t screenRight = screenLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const std::int64_t screenBottom = screenTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (left >= screenLeft && top >= screenTop && right <= screenRight && bottom <= screenBottom)
        return POINT{Left, Top};
    // The rectangle, pulled within reach of the screens, names the nearest one.
    auto pull = [](std::int64_t v, std::int64_t low, std::int64_t high) {
        return static_cast<LONG>(std::clamp(v, low - 0x10000, high + 0x10000));
    };
    const RECT wanted{pull(left, screenLeft, screenRight), pull(top, screenTop, screenBottom),
                      pull(right, screenLeft, screenRight), pull(bottom, screenTop, screenBottom)};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    RECT work{static_cast<LONG>(screenLeft), static_cast<LONG>(screenTop), static_cast<LONG>(screenRight),
              static_cast<LONG>(screenBottom)};
    if (GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &info)) work = info.rcWork;
    auto fit = [](std::int64_t v, std::int64_t size, LONG low, LONG high) {
        return static_cast<LONG>(std::max<std::int64_t>(low, std::min<std::int64_t>(v, high - size)));
    };
    return POINT{fit(left, Width, work.left, work.right), fit(top, Height, work.top, work.bottom)};
}

// Places a window from its two settings, on a screen; the settings take the place it got.
void PlaceFromSettings(classlib::TControl* Window, settings::TIntegerParameter* Left, settings::TIntegerParameter* Top) {
    const POINT place = PlaceOnScreen(Left->Value(), Top->Value(), Window->Width(), Window->Height());
    Window->SetBounds(place.x, place.y, Window->Width(), Window->Height());
    Left->SetValue(place.x);
    Top->SetValue(place.y);
}

// The lines of the excluded-sources text, each once, in the order of the sources list, which
// sorts without regard to case in the user's locale: a line that compares equal to one before it
// adds nothing. In that order each line lands at the end of the sorted list box; in another, each
// insertion would move every line after it.
std::wstring ExcludedSourceLines(const std::wstring& Stored) {
    unicode::TUcStringList split;
    split.SetText(Stored);
    std::vector<std::wstring> names;
    names.reserve(static_cast<std::size_t>(split.Count()));
    for (int i = 0; i < split.Count(); ++i) names.push_back(split.Strings(i));
    auto compare = [](const std::wstring& A, const std::wstring& B) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.data(), static_cast<int>(A.size()), B.data(),
                              static_cast<int>(B.size())) -
               CSTR_EQUAL;
    };
    std::stable_sort(names.begin(), names.end(), [&](const auto& A, const auto& B) { return compare(A, B) < 0; });
    names.erase(std::unique(names.begin(), names.end(), [&](const auto& A, const auto& B) { return compare(A, B) == 0; }),
                names.end());
    std::wstring text;
    for (const std::wstring& name : names) text += name + L"\r\n";
    return text;
}

}  // namespace

void TCaptureForm::LoadSettings() {
    using namespace settings;
    try {
        CreateParameters();
        PlaceFromSettings(this, ParamLeft, ParamTop);
        LayoutPanels();
        ShowPanel(ParamPanneauActif->Value());
        {
            TMutedEvent<classlib::TNotifyEvent> mute(tb->OnChange);
            tb->SetValue(ParamVolume->Value());
        }
        ApplyVolume();
        if (ParamFullscreenOn->Value()) tafullscreen->Execute();
        if (ParamReducedOn->Value()) acReduire->Execute();
        if (ParamMuteOn->Value()) taMute->Execute();

        PlaceFromSettings(camForm1, ParamCamform1Left, ParamCamform1Top);
        camForm1->cbStopQuittant->SetChecked(ParamStopperCameraDV1EnQuittant->Value());
        camForm1->Shown = ParamShowVideoPilotDV->Value();
        PlaceFromSettings(camForm2, ParamCamform2Left, ParamCamform2Top);
        camForm2->cbStopQuittant->SetChecked(ParamStopperCameraDV2EnQuittant->Value());
        camForm2->Shown = ParamShowAudioPilotDV->Value();

        LoadText(DossiersFrame1->fePelorin, ParamPelorin->Value());
        LoadText(DossiersFrame1->PlugInDirEdit, ParamPluginsDir->Value());
        LoadText(DossiersFrame1->VideoDirEdit, ParamVideoDirectory->Value());
        LoadText(DossiersFrame1->VideoRacineEdit, ParamVideoRacine->Value());
        LoadCheck(DossiersFrame1->cbVideoDate, ParamVideoDate);
        LoadText(DossiersFrame1->ImageDirEdit, ParamImageDirectory->Value());
        LoadText(DossiersFrame1->ImageRacineEdit, ParamImageRacine->Value());
        LoadCheck(DossiersFrame1->cbImageDate, ParamImageDate);

        RunStartTime = classlib::Now();
        NextVideoFile = BuildVideoFileName();
        NextImageFile = BuildImageFileName();

        LoadText(SourcesFrame->leFramerate, classlib::FloatToStr(ParamFramerate->Value()));

        IncrusterFrame1->LoadFromRec(ParamIncrustRec->Value());
        if (engine::Tdm* module = engine::dm(); module != nullptr && module->Superposer != nullptr)
            module->Superposer->SetIncrustRec(ParamIncrustRec->Value());
        IncrusterFrame1->ShowWhenIncrust(ParamWhenIncrust->Value());
        LoadText(IncrusterFrame1->edDuree, std::to_wstring(ParamDureeIncruster->Value()));
        if (engine::Tdm* module = engine::dm(); module != nullptr && module->Superposer != nullptr)
            module->Superposer->SetDisplayMode(ParamWhenIncrust->Value(),
                                               static_cast<std::uint32_t>(std::max(0, ParamDureeIncruster->Value())));

        TOptionsFrame* options = OptionsFrame;
        {
            TMutedEvent<classlib::TNotifyEvent> mute(options->TrackBar1->OnChange);
            options->TrackBar1->SetPosition(ParamQualiteJPeg->Value());
        }
        LoadIndex(options->rgExtension, ParamExtensionDesImages->Value());
        // The first picture name was built before the picture type was known, without extension:
        // it takes the stored type now and keeps its number.
        --ImageFileCounter;
        NextImageFile = BuildImageFileName();
        LoadCheck(options->cbConfirmerImage, ParamConfirmerImage);
        LoadCheck(options->cbConfirmerVideo, ParamConfirmerVideo);
        LoadCheck(options->cbMpeg2ratioNormal, ParamMpeg2RatioNormal);
        LoadCheck(options->cbScn, ParamScn);
        LoadCheck(options->cbDVDemiSiDivX, ParamDVDemiSiDivX);
        LoadCheck(options->cbDeInterlacer, ParamInternalDeinterlacer);
        LoadText(options->leNoDatecode, ParamNoDatecode->Value());
        LoadIndex(options->rgStandard, ParamStandardDV->Value());
        LoadIndex(options->rgFrequenceDV, ParamFrequenceDV->Value() - 1);
        LoadIndex(options->rgDVRatio, ParamRatioDV->Value());
        LoadIndex(options->rgRatioDivX, ParamRatioDivX->Value());
        LoadCheck(options->cbfrequenceDVNative, ParamFrequenceDVNative);
        LoadCheck(options->cbGarderFormatDV, ParamGarderFormatDV);
        LoadCheck(options->cbDemiTaille, ParamDemiTaille);
        LoadIndex(options->rgProfiles, ParamProfileWmv->Value());
        LoadCheck(options->cbNotifier, ParamNotifier);
        LoadCheck(options->cbDefaultProfile, ParamDefaultProfile);
        options->cbDefaultProfileClick(options->cbDefaultProfile);
        LoadCheck(options->cbActiverSuperposition, ParamActiverSuperposition);
        OptionsFramecbActiverSuperpositionClick(options->cbActiverSuperposition);
        options->ShowStorageMode(StorageMode());

        LoadValue(ExtraireFrame1->KitSpinEdit7, ParamValeurIntervallometre->Value());
        {
            const int unit = ParamUnitesIntervallometre->Value();
            ExtraireFrame1->cbUnites->SetItemIndex(unit >= 0 && unit < ExtraireFrame1->cbUnites->Items()->Count() ? unit
                                                                                                               : -1);
        }
        LoadCheck(ExtraireFrame1->cbBeeps, ParamBeeps);
    } catch (...) {
        // The rest of the window keeps its defaults.
    }
}

void TCaptureForm::LoadPanelLists() {
    using namespace settings;
    try {
        // The excluded devices, unchecked (a line put into the list carries no check); the
        // enumeration adds the present ones after them. Every call on the list box is a window
        // message, which the program's message hooks make costly: the lines go in once, and no
        // second pass goes over them.
        HelpFrame1->clSources->Items()->SetText(ExcludedSourceLines(ParamSourcesExclues->Value()));
    } catch (...) {
    }
    try {
        OptionsFrame->FillDivxCodecs();
    } catch (...) {
    }
    try {
        LoadIndex(OptionsFrame->rgversion, ParamVersionWmv->Value());
        OptionsFrame->FillWmvProfiles();
        widgets::TUcComboBox* profiles = OptionsFrame->cboxMedia;
        const int wanted = profiles->Items()->IndexOf(ParamPreferredWmvProfile->Value());
        profiles->SetItemIndex(wanted >= 0 ? wanted : (profiles->Items()->Count() > 0 ? 0 : -1));
        if (profiles->ItemIndex() >= 0) profiles->SetText(profiles->Items()->Get(profiles->ItemIndex()));
    } catch (...) {
    }
}

bool TCaptureForm::SaveSettings() {
    using namespace settings;
    if (StorageMode() == smNone) {
        OptionsFrame->RemoveGivenUpStores(smNone);
        return false;
    }
    try {
        int left = Left();
        int top = Top();
        // A minimised window's own position is off the screen: keep the place it returns to.
        if (HandleAllocated() && IsIconic(Handle())) {
            WINDOWPLACEMENT placement{};
            placement.length = sizeof(placement);
            if (GetWindowPlacement(Handle(), &placement)) {
                left = placement.rcNormalPosition.left;
                top = placement.rcNormalPosition.top;
            }
        }
        ParamTop->SetValue(top);
        ParamLeft->SetValue(left);
        ParamEcranGauche->SetValue(VideoColumnX == 0);
        ParamVolume->SetValue(tb->Value());

        ParamFullscreenOn->SetValue(tafullscreen->Checked() || fullScreenAtClose_);
        ParamReducedOn->SetValue(acReduire->Checked());
        ParamMuteOn->SetValue(taMute->Checked());
        ParamWantIncrust->SetValue(taIncruster->Checked());
        ParamWantVertFlip->SetValue(acVertFlip->Checked());
        ParamWantHorzFlip->SetValue(acHorzFlip->Checked());
        ParamFreezePreview->SetValue(taFreezepreview->Checked());
        ParamFreezeCapture->SetValue(taFreezeCapture->Checked());

        if (camForm1 != nullptr) {
            ParamCamform1Left->SetValue(camForm1->Left());
            ParamCamform1Top->SetValue(camForm1->Top());
            ParamStopperCameraDV1EnQuittant->SetValue(camForm1->cbStopQuittant->Checked());
            ParamShowVideoPilotDV->SetValue(camForm1->Shown);
        }
        if (camForm2 != nullptr) {
            ParamCamform2Left->SetValue(camForm2->Left());
            ParamCamform2Top->SetValue(camForm2->Top());
            ParamStopperCameraDV2EnQuittant->SetValue(camForm2->cbStopQuittant->Checked());
            ParamShowAudioPilotDV->SetValue(camForm2->Shown);
        }

        ParamPelorin->SetValue(DossiersFrame1->fePelorin->WideFileName());
        ParamPluginsDir->SetValue(TextOf(DossiersFrame1->PlugInDirEdit));
        ParamVideoDirectory->SetValue(TextOf(DossiersFrame1->VideoDirEdit));
        ParamVideoRacine->SetValue(DossiersFrame1->VideoRacineEdit->Text());
        ParamVideoDate->SetValue(DossiersFrame1->cbVideoDate->Checked());
        ParamImageDirectory->SetValue(TextOf(DossiersFrame1->ImageDirEdit));
        ParamImageRacine->SetValue(DossiersFrame1->ImageRacineEdit->Text());
        ParamImageDate->SetValue(DossiersFrame1->cbImageDate->Checked());

        // A source taken for this run in place of one missing is not stored over the user's choice.
        ParamSourceVideo->SetValue(SourceNameToStore(true));
        ParamSourceAudio->SetValue(SourceNameToStore(false));

        double framerate = 18.0;
        ParamFramerate->SetValue(ParseFramerate(SourcesFrame->leFramerate->Text(), framerate) ? framerate : 18.0);

        TOptionsFrame* options = OptionsFrame;
        ParamQualiteJPeg->SetValue(options->TrackBar1->Position());
        ParamExtensionDesImages->SetValue(options->rgExtension->ItemIndex());
        ParamProfilWindowsMedia->SetValue(options->cboxMedia->Text());
        ParamConfirmerImage->SetValue(options->cbConfirmerImage->Checked());
        ParamConfirmerVideo->SetValue(options->cbConfirmerVideo->Checked());
        ParamMpeg2RatioNormal->SetValue(options->cbMpeg2ratioNormal->Checked());
        ParamScn->SetValue(options->cbScn->Checked());
        ParamDVDemiSiDivX->SetValue(options->cbDVDemiSiDivX->Checked());
        ParamVersionWmv->SetValue(options->rgversion->ItemIndex());
        ParamPreferredWmvProfile->SetValue(options->cboxMedia->Text());
        if (options->rgStandard->ItemIndex() >= 0) ParamStandardDV->SetValue(static_cast<std::uint8_t>(options->rgStandard->ItemIndex()));
        if (options->rgDVRatio->ItemIndex() >= 0) ParamRatioDV->SetValue(static_cast<std::uint8_t>(options->rgDVRatio->ItemIndex()));
        if (options->rgRatioDivX->ItemIndex() >= 0) ParamRatioDivX->SetValue(static_cast<std::uint8_t>(options->rgRatioDivX->ItemIndex()));
        ParamFrequenceDV->SetValue(static_cast<std::uint8_t>(options->rgFrequenceDV->ItemIndex() + 1));
        ParamFrequenceDVNative->SetValue(options->cbfrequenceDVNative->Checked());
        ParamGarderFormatDV->SetValue(options->cbGarderFormatDV->Checked());
        ParamDemiTaille->SetValue(options->cbDemiTaille->Checked());
        ParamProfileWmv->SetValue(options->rgProfiles->ItemIndex());
        ParamDivxFavori->SetValue(options->cboxdivx->Text());
        ParamWantMp3->SetValue(options->cbMp3->Checked());
        ParamInternalDeinterlacer->SetValue(options->cbDeInterlacer->Checked());
        ParamNoDatecode->SetValue(options->leNoDatecode->Text());
        ParamNotifier->SetValue(options->cbNotifier->Checked());
        ParamDefaultProfile->SetValue(options->cbDefaultProfile->Checked());
        ParamActiverSuperposition->SetValue(options->cbActiverSuperposition->Checked());
        const int choice = options->rgPrefs->ItemIndex();
        if (choice >= smRegistry && choice <= smNone) SetStorageMode(static_cast<TStorageMode>(choice));

        ParamValeurIntervallometre->SetValue(ExtraireFrame1->KitSpinEdit7->AsInteger());
        ParamUnitesIntervallometre->SetValue(ExtraireFrame1->cbUnites->ItemIndex());
        ParamBeeps->SetValue(ExtraireFrame1->cbBeeps->Checked());

        std::wstring excluded;
        widgets::TUcCheckListBox* sources = HelpFrame1->clSources;
        const int count = sources->Items()->Count();
        for (int i = 0; i < count; ++i)
            if (!sources->Checked(i)) excluded += sources->Items()->Get(i) + L"\r\n";
        ParamSourcesExclues->SetValue(excluded);
    } catch (...) {
    }
    const bool saved = SaveParameters();
    if (saved) {
        OptionsFrame->RemoveGivenUpStores(StorageMode());
    } else {
        // A store that cannot be written (a folder named like the INI file, a read-only folder, a
        // key refused) loses the session's changes: the user is told where.
        const std::wstring store = StorageMode() == smPortable ? IniFileName()
                                                               : std::wstring(L"HKEY_CURRENT_USER") + kProgramKeyPath;
        widgets::WideMessageDlg(classlib::Format(LoadProgramText(IDS_OPT_NOT_SAVED), {store}),
                                widgets::TMsgDlgType::mtError, widgets::MsgDlgButtons({widgets::mbOK}), 0);
    }
    return saved;
}

void TCaptureForm::OptionsFramecbConfirmerVideoClick(classlib::TObject* /*Sender*/) {
    settings::ParamConfirmerVideo->SetValue(OptionsFrame->cbConfirmerVideo->Checked());
}

void TCaptureForm::OptionsFramecbConfirmerImageClick(classlib::TObject* /*Sender*/) {
    settings::ParamConfirmerImage->SetValue(OptionsFrame->cbConfirmerImage->Checked());
}

void TCaptureForm::OptionsFramecbDeInterlacerClick(classlib::TObject* /*Sender*/) {
    settings::ParamInternalDeinterlacer->SetValue(OptionsFrame->cbDeInterlacer->Checked());
}

void TCaptureForm::OptionsFramecbMpeg2ratioNormalClick(classlib::TObject* /*Sender*/) {
    settings::ParamMpeg2RatioNormal->SetValue(OptionsFrame->cbMpeg2ratioNormal->Checked());
}

void TCaptureForm::OptionsFramecbNotifierClick(classlib::TObject* /*Sender*/) {
    settings::ParamNotifier->SetValue(OptionsFrame->cbNotifier->Checked());
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return;
    if (settings::ParamNotifier->Value())
        module->fg->OnGraphDeviceLost = nullptr;
    else
        module->fg->OnGraphDeviceLost = [this](classlib::TObject*, IUnknown*, bool) { GraphDeviceLost(this); };
}

void TCaptureForm::OptionsFramergPrefsClick(classlib::TObject* Sender) {
    OptionsFrame->rgPrefsClick(Sender);
    // The browse dialogs open on the folders; the folders follow the settings the choice may have
    // moved, as the save reads them from the folder edits and would otherwise put the old ones back.
    const std::pair<widgets::kit::TDirectoryEdit*, settings::TWideStringParameter*> folders[] = {
        {DossiersFrame1->VideoDirEdit, settings::ParamVideoDirectory},
        {DossiersFrame1->ImageDirEdit, settings::ParamImageDirectory},
        {DossiersFrame1->PlugInDirEdit, settings::ParamPluginsDir}};
    for (const auto& [edit, folder] : folders) {
        edit->SetInitialDir(folder->Value());
        LoadText(edit, folder->Value());
    }
    // The next recording and the next picture go to the folders as they are now, keeping their
    // numbers (a running recording keeps its own name; its stop builds the next in the new folder).
    DossiersFrame1VideoDirEditChange(DossiersFrame1->VideoDirEdit);
    OptionsframeImageDirEditChange(DossiersFrame1->ImageDirEdit);
}

void TCaptureForm::SourcesFrameleFramerateExit(classlib::TObject* /*Sender*/) {
    double value = 0.0;
    if (ParseFramerate(SourcesFrame->leFramerate->Text(), value)) {
        settings::ParamFramerate->SetValue(value);
        return;
    }
    classlib::ShowMessageBox(MainWindowHandle(),
                             L"The value of \"images/second\" is not correct\r\nEnter a decimal value", L"Quillotrane",
                             MB_OK | MB_ICONWARNING);
    // The reset text in the user's own notation, so that it parses on the next exit.
    SourcesFrame->leFramerate->SetText(std::wstring(L"18") + classlib::FormatSettings().DecimalSeparator + L"0");
    settings::ParamFramerate->SetValue(18.0);
}

void TCaptureForm::DossiersFrame1fePelorinChange(classlib::TObject* /*Sender*/) {
    // The program's own name, without the quotes its text takes when it holds a blank.
    settings::ParamPelorin->SetValue(DossiersFrame1->fePelorin->WideFileName());
}

void TCaptureForm::DossiersFrame1VideoRacineEditKeyPress(classlib::TObject* Sender, char& Key) {
    if (Key == '\r') DossiersFrame1VideoRacineEditExit(Sender);
}

void TCaptureForm::DossiersFrame1ImageRacineEditKeyPress(classlib::TObject* Sender, char& Key) {
    if (Key == '\r') OptionsframeImageRacineEditExit(Sender);
}

}  // namespace ui
