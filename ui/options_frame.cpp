#include "ui/options_frame.h"

#include <array>
#include <utility>

#include "classlib/conversions.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"
#include "ui/action_images.h"
#include "ui/form_parts.h"
#include "ui/options_text_ids.h"
#include "ui/ui_text_ids.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

// A setting the panel writes at once; tests may run the panel without some of them.
template <typename P, typename V>
void Store(P* Parameter, const V& Value) {
    if (Parameter != nullptr) Parameter->SetValue(Value);
}

// The string table's texts arrive as ANSI texts of the system code page and are widened.
std::wstring TableText(unsigned Id) { return classlib::AnsiToWide(classlib::WideToAnsi(settings::LoadProgramText(Id))); }
std::string AnsiText(unsigned Id) { return classlib::WideToAnsi(settings::LoadProgramText(Id)); }

void SetItems(classlib::TStrings* Items, std::initializer_list<unsigned> Ids) {
    Items->Clear();
    for (unsigned id : Ids) Items->Add(AnsiText(id));
}

using THandler = void (TOptionsFrame::*)(classlib::TObject*);

// The frame's own handler as a control's event.
void Bind(TOptionsFrame* Frame, classlib::TNotifyEvent& Event, THandler Handler) {
    Event = [Frame, Handler](classlib::TObject* Sender) { (Frame->*Handler)(Sender); };
}

std::wstring HostExeName() {
    if (settings::ISettingsHost* host = settings::SettingsHost()) return host->ExeName();
    return std::wstring();
}

}  // namespace

TOptionsFrame::TOptionsFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"OptionsFrame");
    using namespace widgets;
    // A check box of one line, or of two (Lines 2) for a caption that needs two at 120 dots per inch.
    auto check = [this](classlib::TWinControl* parent, const wchar_t* name, int top, const wchar_t* caption,
                        const wchar_t* hint, int Lines = 1) {
        TUcCheckBox* box = Place<TUcCheckBox>(this, parent, name, 8, top, 249, Lines == 1 ? 17 : 30);
        box->SetWordWrap(Lines > 1);
        box->SetCaption(caption);
        box->SetHint(hint);
        return box;
    };
    auto radio = [this](classlib::TWinControl* parent, const wchar_t* name, int left, int top, int width, int height,
                        const char* caption, std::initializer_list<const char*> items) {
        auto* group = Place<classlib::TRadioGroup>(this, parent, name, left, top, width, height);
        group->SetCaption(caption);
        for (const char* item : items) group->Items()->Add(item);
        return group;
    };

    GroupBox1 = Place<TUcGroupBox>(this, this, L"GroupBox1", 0, 0, kPanelWidth, kPanelHeight);
    GroupBox1->SetCaption(L"Settings (F10)");
    GroupBox1->Font()->SetName("Arial");
    PageControl1 = Place<TUcPageControl>(this, GroupBox1, L"PageControl1", 4, 18, kPanelWidth - 8, kPanelHeight - 24);
    auto tab = [this](const wchar_t* name, const wchar_t* caption) {
        return AddPage<TUcTabSheet>(this, PageControl1, name, caption);
    };
    tsPref = tab(L"tsPref", L"Pref");
    tsWmv = tab(L"tsWmv", L"Wmv");
    tsDivx = tab(L"tsDivx", L"DivX");
    tsJpeg = tab(L"tsJpeg", L"Pictures");
    TabSheet1 = tab(L"TabSheet1", L"DV");

    cbConfirmerImage = check(tsPref, L"cbConfirmerImage", 4, L"Confirm before replacing an existing image",
                             L"Always ask a confirmation before deleting an existing image file.", 2);
    cbConfirmerVideo = check(tsPref, L"cbConfirmerVideo", 36, L"Confirm before replacing a video",
                             L"Always ask a confirmation before deleting an existing video file.");
    cbNotifier = check(tsPref, L"cbNotifier", 56, L"Notify the changes in capture sources",
                       L"Automatically check if new sources are available\r\nor if existing sources disconnect");
    cbActiverSuperposition = check(tsPref, L"cbActiverSuperposition", 76, L"Allow the video effects",
                                   L"Uncheck if your system lacks of resources.");
    cbMpeg2ratioNormal =
        check(tsPref, L"cbMpeg2ratioNormal", 96, L"Display the normal mpeg2 with ratio  4x3",
              L"When a mpeg2 stream is processed, if it has no specific ratio indication,\r\nthen display it with "
              L"ratio 4x3.",
              2);
    rgPrefs = radio(tsPref, L"rgPrefs", 8, 130, 245, 89, "How to save the preferences when quit",
                    {"Normal Mode (registry)", "Portable Mode ( USB key)", "Do not save when quit"});
    rgPrefs->SetHint("Indicate where the Preferences will be saved in order to retrieve them at next start.");
    rgPrefs->SetShowHint(true);
    rgPrefs->OnClick = [this](classlib::TObject* Sender) { rgPrefsClick(Sender); };

    cbDefaultProfile = check(tsWmv, L"cbDefaultProfile", 8, L"Use the default profiles",
                             L"Check to use one of the pre-programmed profiles.\r\nUncheck to choose between all "
                             L"profiles.");
    cbDefaultProfile->OnClick = [this](classlib::TObject* Sender) { cbDefaultProfileClick(Sender); };
    rgProfiles = radio(tsWmv, L"rgProfiles", 8, 30, 245, 100, "Default Profiles", {"High", "Medium", "Low", "Internet"});
    rgProfiles->SetHint("Basic profiles for capturing in wmv");
    gbProfiles = Place<TUcGroupBox>(this, tsWmv, L"gbProfiles", 8, 136, 245, 150);
    gbProfiles->SetCaption(L"Standard profiles of wmv");
    gbProfiles->SetHint(L"Settings of Windows media for capture in format Wmv.");
    Label1 = Place<TUcLabel>(this, gbProfiles, L"Label1", 8, 20, 100, 26);
    Label1->SetCaption(L"version\r\nof Windows Media");
    rgversion = radio(gbProfiles, L"rgversion", 120, 14, 115, 40, "", {"4", "7", "8"});
    rgversion->SetColumns(3);
    cboxMedia = Place<TUcComboBox>(this, gbProfiles, L"cboxMedia", 8, 64, 229, 21);
    cboxMedia->SetStyle(classlib::TComboBoxStyle::csDropDownList);

    BuildDivxTab();

    rgExtension = radio(tsJpeg, L"rgExtension", 8, 8, 245, 40, "", {"bmp", "jpeg"});
    rgExtension->SetColumns(2);
    rgExtension->SetHint("Choose the type of snapshots");
    gbQuality = Place<TUcGroupBox>(this, tsJpeg, L"gbQuality", 8, 56, 245, 70);
    gbQuality->SetCaption(L"Quality of jpeg");
    gbQuality->SetHint(L"Set the quality of Jpeg.\r\nmini at left - maxi at right");
    labQuality = Place<TUcLabel>(this, gbQuality, L"labQuality", 210, 24, 30, 13);
    labQuality->SetCaption(L"50");
    TrackBar1 = Place<TUcTrackBar>(this, gbQuality, L"TrackBar1", 8, 20, 196, 40);
    TrackBar1->SetMax(100);
    TrackBar1->SetMin(1);
    TrackBar1->SetPosition(50);
    TrackBar1->SetHint(
        L"Quality of jpeg image,\r\nsince 1 = the worst but with the smallest size\r\nuntil 100 = the best but with "
        L"biggest size");
    cbDeInterlacer = check(tsJpeg, L"cbDeInterlacer", 134, L"Always deinterlace the grabbed images",
                           L"If checked the grabbed images will be deinterlaced\r\neven if the preview of the video is "
                           L"not.");

    rgFrequenceDV = radio(TabSheet1, L"rgFrequenceDV", 8, 8, 120, 80, "Frequency", {"32.000 Hz", "44.100 Hz", "48.000 Hz"});
    rgFrequenceDV->SetHint("Frequency used to compress in DV type 2");
    rgStandard = radio(TabSheet1, L"rgStandard", 134, 8, 119, 60, "Standard", {"Pal", "Ntsc"});
    rgStandard->SetHint("TV standard used to compress in DV type 2");
    rgDVRatio = radio(TabSheet1, L"rgDVRatio", 134, 70, 119, 60, "Ratio", {"4x3", "16x9"});
    rgDVRatio->SetHint("Aspect ratio of the video captured in DV.\r\nUsed when recompressing in DV type 2.");
    cbfrequenceDVNative = check(TabSheet1, L"cbfrequenceDVNative", 136, L"Keep the native frequency if possible",
                                L"Keeps the original audio frequency when recompressing in\r\nDV type2, if it is "
                                L"32,000, 44,100 or 48,000");
    cbGarderFormatDV = check(TabSheet1, L"cbGarderFormatDV", 156, L"Keep the format DV",
                             L"If checked, then recompressing a DV source in DV type 2 (for instance to inlay) keeps "
                             L"the format\r\nof the original video.");
    cbDVDemiSiDivX = check(TabSheet1, L"cbDVDemiSiDivX", 176, L"Half format if compressed in DivX",
                           L"If you capture from a DV camcorder to a DivX file,\r\nthen the image of the source will be "
                           L"reduced by half, in order\r\nto save resources.");
    cbScn = check(TabSheet1, L"cbScn", 196, L"Create a scn file.",
                  L"Create a scn file to accelerate opening of the video in Pinnacle's Studio,\r\nand allow to browse "
                  L"from scene to scene with Pelorin.");
    leNoDatecodeLabel = Place<TUcLabel>(this, TabSheet1, L"leNoDatecodeLabel", 8, 222, 150, 13);
    leNoDatecodeLabel->SetCaption(L"Display if no datecode");
    leNoDatecode = Place<TUcEdit>(this, TabSheet1, L"leNoDatecode", 8, 238, 120, 21);
    TabSheet1->SetHint(L"Characters displayed if there is no datecode available,\r\nfor example N/A.");
    PageControl1->SetActivePage(TabSheet1);
    SetShowHint(true);

    auto bind = [this](classlib::TNotifyEvent& Event, THandler Handler) { Bind(this, Event, Handler); };
    rgversion->OnClick = [this](classlib::TObject*) { FillWmvProfiles(); };
    bind(rgStandard->OnClick, &TOptionsFrame::rgStandardClick);
    bind(rgFrequenceDV->OnClick, &TOptionsFrame::rgFrequenceDVClick);
    bind(rgDVRatio->OnClick, &TOptionsFrame::rgDVRatioClick);
    bind(cbfrequenceDVNative->OnClick, &TOptionsFrame::cbfrequenceDVNativeClick);
    bind(cbGarderFormatDV->OnClick, &TOptionsFrame::cbGarderFormatDVClick);
    bind(cbDVDemiSiDivX->OnClick, &TOptionsFrame::cbDVDemiSiDivXClick);
    bind(cbScn->OnClick, &TOptionsFrame::cbScnClick);
    bind(leNoDatecode->OnChange, &TOptionsFrame::leNoDatecodeChange);
}

void TOptionsFrame::BuildDivxTab() {
    using namespace widgets;
    gbdivx = Place<TUcGroupBox>(this, tsDivx, L"gbdivx", 8, 8, 245, 72);
    cboxdivx = Place<TUcComboBox>(this, gbdivx, L"cboxdivx", 8, 18, 229, 21);
    cboxdivx->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    sbPropDivx = Place<TUcSpeedButton>(this, gbdivx, L"sbPropDivx", 8, 44, 110, 22);
    sbVersionDivx = Place<TUcSpeedButton>(this, gbdivx, L"sbVersionDivx", 127, 44, 110, 22);
    // Two columns: four do not leave "Normal" room at 120 dots per inch.
    rgRatioDivX = Place<classlib::TRadioGroup>(this, tsDivx, L"rgRatioDivX", 8, 84, 245, 56);
    rgRatioDivX->SetCaption("");
    for (const char* item : {"Normal", "4x3", "16x9", "native"}) rgRatioDivX->Items()->Add(item);
    rgRatioDivX->SetColumns(2);
    rgRatioDivX->SetHint("Aspect ratio of a video in DivX");
    cbDemiTaille = Place<TUcCheckBox>(this, tsDivx, L"cbDemiTaille", 8, 146, 245, 17);
    cbDemiTaille->SetCaption(L"Height of DivX image <= 288");
    cbDemiTaille->SetHint(L"If checked, then the image will be reduced by half\r\neach time its height is more than 288 "
                          L"pixels.");
    cbMp3 = Place<TUcCheckBox>(this, tsDivx, L"cbMp3", 8, 168, 245, 17);
    gbMp3 = Place<TUcGroupBox>(this, tsDivx, L"gbMp3", 8, 190, 245, 74);
    Label3 = Place<TUcLabel>(this, gbMp3, L"Label3", 8, 22, 120, 13);
    cboxBitratemp3 = Place<TUcComboBox>(this, gbMp3, L"cboxBitratemp3", 136, 18, 60, 21);
    cboxBitratemp3->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    sbPropMp3 = Place<TUcSpeedButton>(this, gbMp3, L"sbPropMp3", 8, 44, 110, 22);
    // Pictures beside the captions: the coders' settings, and the coder's version.
    for (TUcSpeedButton* button : {sbPropDivx, sbPropMp3})
        button->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kSettings));
    sbVersionDivx->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kVersion));
    MemoMp3 = Place<TUcMemo>(this, tsDivx, L"MemoMp3", 8, 270, 245, 40);
    MemoMp3->SetReadOnly(true);
    MemoMp3->Font()->SetStyle(classlib::TFontStyles{classlib::fsItalic});
    MemoMp3->SetVisible(false);

    auto bind = [this](classlib::TNotifyEvent& Event, THandler Handler) { Bind(this, Event, Handler); };
    bind(sbPropDivx->OnClick, &TOptionsFrame::sbPropDivxClick);
    bind(sbVersionDivx->OnClick, &TOptionsFrame::sbVersionDivxClick);
    bind(cboxdivx->OnChange, &TOptionsFrame::cboxdivxChange);
    bind(cbDemiTaille->OnClick, &TOptionsFrame::cbDemiTailleClick);
    bind(rgRatioDivX->OnClick, &TOptionsFrame::rgRatioDivXClick);
    bind(sbPropMp3->OnClick, &TOptionsFrame::sbPropMp3Click);
    bind(cboxBitratemp3->OnChange, &TOptionsFrame::cboxmp3Change);
    bind(cbMp3->OnClick, &TOptionsFrame::cbMp3Click);
}

void TOptionsFrame::LoadTexts() {
    GroupBox1->SetCaption(TableText(IDS_OPT_GROUPBOX1));
    GroupBox1->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    tsPref->SetCaption(TableText(IDS_OPT_TSPREF));
    cbConfirmerVideo->SetHint(TableText(IDS_OPT_CONFIRMER_VIDEO_HINT));
    cbConfirmerVideo->SetCaption(TableText(IDS_OPT_CONFIRMER_VIDEO));
    cbConfirmerImage->SetHint(TableText(IDS_OPT_CONFIRMER_IMAGE_HINT));
    cbConfirmerImage->SetCaption(TableText(IDS_OPT_CONFIRMER_IMAGE));
    cbNotifier->SetCaption(TableText(IDS_OPT_NOTIFIER));
    cbNotifier->SetHint(TableText(IDS_OPT_NOTIFIER_HINT));
    cbActiverSuperposition->SetHint(TableText(IDS_OPT_SUPERPOSITION_HINT));
    cbActiverSuperposition->SetCaption(TableText(IDS_OPT_SUPERPOSITION));
    tsWmv->SetCaption(TableText(IDS_OPT_TSWMV));
    gbProfiles->SetHint(TableText(IDS_OPT_GBPROFILES_HINT));
    gbProfiles->SetCaption(TableText(IDS_OPT_GBPROFILES));
    Label1->SetCaption(TableText(IDS_OPT_LABEL1));
    {
        // Refilling the version group keeps the version chosen (its click refills the profiles).
        classlib::TNotifyEvent click = std::move(rgversion->OnClick);
        const int version = rgversion->ItemIndex();
        SetItems(rgversion->Items(), {IDS_OPT_VERSION_4, IDS_OPT_VERSION_7, IDS_OPT_VERSION_8});
        rgversion->SetItemIndex(version);
        rgversion->OnClick = std::move(click);
    }
    rgProfiles->SetHint(AnsiText(IDS_OPT_RGPROFILES_HINT));
    rgProfiles->SetCaption(AnsiText(IDS_OPT_RGPROFILES));
    {
        const int profile = rgProfiles->ItemIndex();
        SetItems(rgProfiles->Items(),
                 {IDS_OPT_PROFILE_HIGH, IDS_OPT_PROFILE_MEDIUM, IDS_OPT_PROFILE_LOW, IDS_OPT_PROFILE_INTERNET});
        rgProfiles->SetItemIndex(profile);
    }
    cbDefaultProfile->SetCaption(TableText(IDS_OPT_DEFAULT_PROFILE));
    gbdivx->SetCaption(TableText(IDS_OPT_GBDIVX));
    sbPropDivx->SetHint(TableText(IDS_OPT_PROPDIVX_HINT));
    sbPropDivx->SetCaption(TableText(IDS_OPT_PROPDIVX));
    sbVersionDivx->SetHint(TableText(IDS_OPT_VERSIONDIVX_HINT));
    sbVersionDivx->SetCaption(TableText(IDS_OPT_VERSIONDIVX));
    cboxdivx->SetHint(TableText(IDS_OPT_CBOXDIVX_HINT));
    if (cboxdivx->Items()->Count() == 0) cboxdivx->SetText(TableText(IDS_OPT_CBOXDIVX));
    gbMp3->SetCaption(TableText(IDS_OPT_GBMP3));
    gbMp3->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    Label3->SetCaption(TableText(IDS_OPT_LABEL3));
    sbPropMp3->SetHint(TableText(IDS_OPT_PROPMP3_HINT));
    sbPropMp3->SetCaption(TableText(IDS_OPT_PROPMP3));
    cboxBitratemp3->SetHint(TableText(IDS_OPT_BITRATE_HINT));
    {
        const std::wstring rate = cboxBitratemp3->Text();
        cboxBitratemp3->Items()->Clear();
        for (unsigned i = 0; i < IDS_OPT_RATE_COUNT; ++i) cboxBitratemp3->Items()->Add(TableText(IDS_OPT_RATE_FIRST + i));
        cboxBitratemp3->SetItemIndex(cboxBitratemp3->Items()->IndexOf(rate));
    }
    cbMp3->SetHint(TableText(IDS_OPT_CBMP3_HINT));
    cbMp3->SetCaption(TableText(IDS_OPT_CBMP3));
    MemoMp3->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    SetMemoLines(MemoMp3, {TableText(IDS_OPT_MEMOMP3_1), TableText(IDS_OPT_MEMOMP3_2)});
    tsJpeg->SetCaption(TableText(IDS_OPT_TSJPEG));
    rgExtension->SetHint(AnsiText(IDS_OPT_EXTENSION_HINT));
    {
        classlib::TNotifyEvent click = std::move(rgExtension->OnClick);
        const int extension = rgExtension->ItemIndex();
        SetItems(rgExtension->Items(), {IDS_OPT_EXTENSION_BMP, IDS_OPT_EXTENSION_JPEG});
        rgExtension->SetItemIndex(extension);
        rgExtension->OnClick = std::move(click);
    }
    gbQuality->SetHint(TableText(IDS_OPT_GBQUALITY_HINT));
    gbQuality->SetCaption(TableText(IDS_OPT_GBQUALITY));
    labQuality->SetCaption(TableText(IDS_OPT_LABQUALITY));
    cbDeInterlacer->SetCaption(TableText(IDS_OPT_DEINTERLACER));
    cbDeInterlacer->SetHint(TableText(IDS_OPT_DEINTERLACER_HINT));
}

// Read with the other settings at close: nothing to do at the click.
void TOptionsFrame::cbDemiTailleClick(classlib::TObject* /*Sender*/) {}

void TOptionsFrame::rgRatioDivXClick(classlib::TObject* /*Sender*/) {
    if (rgRatioDivX->ItemIndex() >= 0) Store(settings::ParamRatioDivX, static_cast<std::uint8_t>(rgRatioDivX->ItemIndex()));
}

void TOptionsFrame::cbMp3Click(classlib::TObject* /*Sender*/) {
    if (recordingLocked_) {
        // The running recording was built with the choice stored: the box shows it again.
        classlib::TNotifyEvent click = std::move(cbMp3->OnClick);
        cbMp3->OnClick = nullptr;
        cbMp3->SetChecked(settings::ParamWantMp3 != nullptr && settings::ParamWantMp3->Value());
        cbMp3->OnClick = std::move(click);
        return;
    }
    Store(settings::ParamWantMp3, cbMp3->Checked());
    gbMp3->SetVisible(cbMp3->Checked() && Mp3EncoderPresent);
}

void TOptionsFrame::rgStandardClick(classlib::TObject* /*Sender*/) {
    if (rgStandard->ItemIndex() >= 0) Store(settings::ParamStandardDV, static_cast<std::uint8_t>(rgStandard->ItemIndex()));
}

// The items are 32000, 44100 and 48000 Hz; the setting keeps 0 for the native rate.
void TOptionsFrame::rgFrequenceDVClick(classlib::TObject* /*Sender*/) {
    if (rgFrequenceDV->ItemIndex() >= 0)
        Store(settings::ParamFrequenceDV, static_cast<std::uint8_t>(rgFrequenceDV->ItemIndex() + 1));
}

void TOptionsFrame::rgDVRatioClick(classlib::TObject* /*Sender*/) {
    if (rgDVRatio->ItemIndex() >= 0) Store(settings::ParamRatioDV, static_cast<std::uint8_t>(rgDVRatio->ItemIndex()));
}

void TOptionsFrame::cbfrequenceDVNativeClick(classlib::TObject* /*Sender*/) {
    Store(settings::ParamFrequenceDVNative, cbfrequenceDVNative->Checked());
}

void TOptionsFrame::cbScnClick(classlib::TObject* /*Sender*/) { Store(settings::ParamScn, cbScn->Checked()); }

void TOptionsFrame::leNoDatecodeChange(classlib::TObject* /*Sender*/) { Store(settings::ParamNoDatecode, leNoDatecode->Text()); }

void TOptionsFrame::cbGarderFormatDVClick(classlib::TObject* /*Sender*/) {
    Store(settings::ParamGarderFormatDV, cbGarderFormatDV->Checked());
}

void TOptionsFrame::cbDVDemiSiDivXClick(classlib::TObject* /*Sender*/) {
    Store(settings::ParamDVDemiSiDivX, cbDVDemiSiDivX->Checked());
}

void TOptionsFrame::rgPrefsClick(classlib::TObject* /*Sender*/) {
    const int index = rgPrefs->ItemIndex();
    if (index < settings::smRegistry || index > settings::smNone) return;
    const auto mode = static_cast<settings::TStorageMode>(index);
    settings::SetStorageMode(mode);
    if (mode != settings::smPortable) iniRemovalPending_ = true;
    if (mode != settings::smRegistry) registryRemovalPending_ = true;
    if (mode != settings::smPortable) return;

    // A portable copy keeps its folders beside itself.
    const std::wstring exeName = HostExeName();
    if (exeName.empty()) return;
    const std::wstring exeFolder = unicode::WideIncludeTrailingBackslash(unicode::WideExtractFilePath(exeName));
    const std::wstring lowerFolder = classlib::AnsiLowerCase(exeFolder);
    const std::array<settings::TWideStringParameter*, 3> folders{
        settings::ParamVideoDirectory, settings::ParamImageDirectory, settings::ParamPluginsDir};
    for (settings::TWideStringParameter* folder : folders) {
        if (folder == nullptr) continue;
        if (classlib::AnsiLowerCase(folder->Value()).compare(0, lowerFolder.size(), lowerFolder) != 0)
            folder->SetValue(exeFolder);
    }
}

void TOptionsFrame::cbDefaultProfileClick(classlib::TObject* /*Sender*/) {
    const bool checked = cbDefaultProfile->Checked();
    Store(settings::ParamDefaultProfile, checked);
    rgProfiles->SetVisible(checked);
    gbProfiles->SetVisible(!checked);
}

void TOptionsFrame::ShowStorageMode(settings::TStorageMode Mode) {
    classlib::TNotifyEvent click = std::move(rgPrefs->OnClick);
    rgPrefs->OnClick = nullptr;
    try {
        rgPrefs->SetItemIndex(Mode);
    } catch (...) {
        rgPrefs->OnClick = std::move(click);
        throw;
    }
    rgPrefs->OnClick = std::move(click);
}

void TOptionsFrame::RemoveGivenUpStores(settings::TStorageMode SavedMode) {
    if (iniRemovalPending_ && SavedMode != settings::smPortable) settings::DeleteIniSettings();
    if (registryRemovalPending_ && SavedMode != settings::smRegistry && RegistrySettingsBelongTo(HostExeName()))
        settings::DeleteRegistrySettings();
    iniRemovalPending_ = false;
    registryRemovalPending_ = false;
}

bool RegistrySettingsBelongTo(const std::wstring& ExeName) {
    if (ExeName.empty()) return false;
    const std::wstring stored =
        settings::ReadRegistryWideString(HKEY_CURRENT_USER, settings::kProgramKeyPath, L"Exename");
    return !stored.empty() && classlib::AnsiLowerCase(stored) == classlib::AnsiLowerCase(ExeName);
}

}  // namespace ui
