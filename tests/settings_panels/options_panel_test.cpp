// The settings panel: the Windows Media system profiles listed one entry per profile and the chosen
// one recorded with (through a test profile manager: Wine's answers E_NOTIMPL), the DivX list and
// the Xvid choice in the next recording, the MP3 bit rate in the encoder's key and in the file, the
// panel's texts, and a screenshot of each tab.
#include "panels_support.h"

#include <wmsdk.h>

#include "classlib/exceptions.h"
#include "classlib/menus.h"
#include "platform/standins/mp3_encoder.h"
#include "platform/standins/xvid_compressor.h"
#include "tests/recording_a/test_windows_media.h"
#include "widgets/unicode/uc_dialogs.h"

namespace panels_test {
namespace {

using recording_a::TestStream;
using recording_a::TestSystemProfile;

const std::vector<TestStream> kVideoAndSound = {{MEDIATYPE_Audio, 1}, {MEDIATYPE_Video, 2}};
const std::vector<TestStream> kSoundOnly = {{MEDIATYPE_Audio, 1}};

std::vector<std::wstring> Entries(widgets::TUcComboBox* Combo) {
    std::vector<std::wstring> out;
    for (int i = 0; i < Combo->Items()->Count(); ++i) out.push_back(Combo->Items()->Get(i));
    return out;
}

// The encoder's "Bitrate" set for one test and put back afterwards.
class BitrateKey {
public:
    BitrateKey() {
        DWORD size = sizeof(saved_);
        had_ = RegGetValueW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, L"Bitrate", RRF_RT_REG_DWORD, nullptr, &saved_,
                            &size) == ERROR_SUCCESS;
    }
    ~BitrateKey() {
        if (had_) Set(saved_);
    }
    static void Set(DWORD Value) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        RegSetValueExW(key, L"Bitrate", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Value), sizeof(Value));
        RegCloseKey(key);
    }
    static DWORD Get() {
        DWORD value = 0, size = sizeof(value);
        RegGetValueW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, L"Bitrate", RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }

private:
    DWORD saved_ = 0;
    bool had_ = false;
};

// The user picks entry Index of a drop-down list.
void Pick(widgets::TUcComboBox* Combo, int Index) {
    Combo->SetItemIndex(Index);
    if (Combo->OnChange) Combo->OnChange(Combo);
}

TEST(DivxCodecList, TakesDivxAndXvidInAnyCaseAndChoosesTheFavouriteElseTheLastXvid) {
    const std::vector<std::wstring> installed = {L"Cinepak Codec", L"DivX Pro 5", L"XviD MPEG-4", L"my divx",
                                                 L"Xvid 2", L"Video 1"};
    ui::TDivxCodecChoice choice = ui::ChooseDivxCodecs(installed, L"nothing of these");
    EXPECT_EQ((std::vector<std::wstring>{L"DivX Pro 5", L"XviD MPEG-4", L"my divx", L"Xvid 2"}), choice.Names);
    EXPECT_EQ(3, choice.Selected) << "the last Xvid entry";
    EXPECT_EQ(2, ui::ChooseDivxCodecs(installed, L"MY DIVX").Selected);
    EXPECT_EQ(0, ui::ChooseDivxCodecs({L"DivX A", L"divx B"}, L"").Selected) << "only DivX: the first";
    const ui::TDivxCodecChoice none = ui::ChooseDivxCodecs({L"Cinepak Codec", L"Video 1"}, L"Cinepak Codec");
    EXPECT_TRUE(none.Names.empty());
    EXPECT_EQ(-1, none.Selected);
}

class OptionsPanel : public PanelTest {};

TEST_F(OptionsPanel, SystemProfilesOneEntryEachAndTheChosenOneIsTheOneRecordedWith) {
    const std::wstring longName(3000, L'W');  // far beyond a name buffer of 1,025 characters
    recording_a::TestProfileManager manager(std::vector<TestSystemProfile>{
        {L"Video A", kVideoAndSound}, {L"Sound only", kSoundOnly}, {longName, kVideoAndSound}, {L"Video D", kVideoAndSound}});
    module->WMProfileManager = manager.Manager();
    options->rgversion->SetItemIndex(1);  // the user's click on "7" lists the 7.0 profiles
    ASSERT_EQ(std::vector<DWORD>{WMT_VER_7_0}, manager.SystemVersions);
    // Entry N is system profile N; a profile without video says so, not its neighbour's name.
    EXPECT_EQ((std::vector<std::wstring>{L"Video A", L"Sound only (no video)", longName, L"Video D"}),
              Entries(options->cboxMedia));
    EXPECT_EQ(0, options->cboxMedia->ItemIndex());

    Microsoft::WRL::ComPtr<IWMProfile> profile;
    manager.SystemProfiles.clear();
    ASSERT_TRUE(options->GetSelectedWmvProfile(profile));
    EXPECT_EQ(std::vector<DWORD>{0}, manager.SystemProfiles) << "the first entry is the first profile";

    // The profile menu's item chooses the entry of its tag.
    classlib::TMenuItem item(nullptr);
    item.SetTag(3);
    options->SelectProfileFromMenu(&item);
    EXPECT_EQ(L"Video D", options->cboxMedia->Text());

    // With "Use the default profiles" unchecked the recording takes the chosen system profile.
    ASSERT_NO_FATAL_FAILURE(Preview(engine_test::kCamera, L""));
    recording_a::AsfWriterRegistration writer;
    options->cbDefaultProfile->SetChecked(true);
    options->cbDefaultProfile->SetChecked(false);
    EXPECT_FALSE(options->rgProfiles->Visible());
    EXPECT_TRUE(options->gbProfiles->Visible());
    EXPECT_FALSE(panelSettings.DefaultProfile.Value());
    manager.SystemProfiles.clear();
    ASSERT_TRUE(module->BuildWmvGraph(NewFile(L"system.wmv").wstring())) << recording_a::Why();
    EXPECT_EQ(std::vector<DWORD>{3}, manager.SystemProfiles);
    EXPECT_TRUE(manager.LoadedIds.empty());
    ASSERT_TRUE(module->StopCaptureGraph());

    // Checked, it takes the default profile of the group's item.
    options->cbDefaultProfile->SetChecked(true);
    options->rgProfiles->SetItemIndex(2);
    manager.SystemProfiles.clear();
    ASSERT_TRUE(module->BuildWmvGraph(NewFile(L"default.wmv").wstring())) << recording_a::Why();
    EXPECT_TRUE(manager.SystemProfiles.empty());
    ASSERT_EQ(1u, manager.LoadedIds.size());
    EXPECT_EQ(engine::kDefaultWmvProfiles[2], manager.LoadedIds[0]);
    ASSERT_TRUE(module->StopCaptureGraph());
}

// Under Wine the prefix's wmvcore.dll is the stand-in's: its system profiles fill the list (a
// sound-only profile an entry that says so), and the chosen one loads.
TEST_F(OptionsPanel, ThePrefixsProfileManagerListsItsSystemProfiles) {
    using CreateFn = HRESULT(WINAPI*)(IWMProfileManager**);
    HMODULE library = LoadLibraryW(L"wmvcore.dll");
    ASSERT_NE(nullptr, library);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(library, "WMCreateProfileManager")));
    ASSERT_NE(nullptr, create);
    ASSERT_HRESULT_SUCCEEDED(create(module->WMProfileManager.GetAddressOf()));
    options->rgversion->SetItemIndex(2);
    const std::vector<std::wstring> entries = Entries(options->cboxMedia);
    ASSERT_EQ(5u, entries.size());
    EXPECT_EQ(L"Windows Media Video 8 for Local Area Network (384 Kbps)", entries[1]);
    EXPECT_EQ(L"Sound only (no video)", entries[3]) << "the sound-only profile";
    options->cboxMedia->SetItemIndex(1);
    Microsoft::WRL::ComPtr<IWMProfile> profile;
    ASSERT_TRUE(options->GetSelectedWmvProfile(profile));
    DWORD count = 0;
    EXPECT_HRESULT_SUCCEEDED(profile->GetStreamCount(&count));
    EXPECT_EQ(2u, count);
    options->rgversion->SetItemIndex(0);
    EXPECT_EQ(3, options->cboxMedia->Items()->Count()) << "version 4.0's own list";
    // The default profiles load by id, as the recording takes them.
    for (int item = 0; item < engine::kDefaultWmvProfileCount; ++item)
        EXPECT_TRUE(engine::LoadDefaultWmvProfile(module->WMProfileManager.Get(), item)) << item;
    profile.Reset();  // nothing of the library may outlive it
    module->WMProfileManager.Reset();
    FreeLibrary(library);
}

TEST_F(OptionsPanel, XvidChosenInThePanelRecordsTheNextDivxFile) {
    panelSettings.DivxFavori.SetValue(L"a codec that is gone");
    options->FillDivxCodecs();
    ASSERT_TRUE(ui::DivxAvailable);
    EXPECT_TRUE(options->tsDivx->TabVisible());
    const int xvid = options->cboxdivx->Items()->IndexOf(standins::kXvidCompressorName);
    ASSERT_GE(xvid, 0);
    EXPECT_EQ(xvid, options->cboxdivx->ItemIndex()) << "the Xvid entry when the favourite is gone";
    for (const std::wstring& name : Entries(options->cboxdivx)) EXPECT_NE(std::wstring(L"Cinepak Codec"), name);

    Pick(options->cboxdivx, xvid);
    EXPECT_EQ(standins::kXvidCompressorName, panelSettings.DivxFavori.Value());

    ASSERT_NO_FATAL_FAILURE(Preview(engine_test::kCamera, L""));
    const auto path = NewFile(L"panel xvid.avi");
    ASSERT_TRUE(module->BuildDivxGraph(path.wstring())) << recording_a::Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
    const quill_test::TMediaProbe p = recording_a::ProbeWhole(path);
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    EXPECT_EQ("mpeg4", p.Stream(v, "codec_name"));
}

TEST_F(OptionsPanel, Mp3BitRateChosenInThePanelIsInTheEncodersKeyAndInTheFile) {
    BitrateKey restore;
    BitrateKey::Set(112);
    config.WantMp3.SetValue(true);
    options->FillDivxCodecs();
    ASSERT_TRUE(ui::Mp3EncoderPresent);
    EXPECT_TRUE(module->Mp3EncoderFound);
    EXPECT_TRUE(options->cbMp3->Checked());
    EXPECT_TRUE(options->gbMp3->Visible());
    EXPECT_FALSE(options->MemoMp3->Visible());
    EXPECT_EQ(L"112", options->cboxBitratemp3->Text()) << "the encoder's own value is shown";

    Pick(options->cboxBitratemp3, options->cboxBitratemp3->Items()->IndexOf(L"96"));
    EXPECT_EQ(96u, BitrateKey::Get());

    ASSERT_NO_FATAL_FAILURE(Preview(engine_test::kCamera, engine_test::kMicrophone));
    const auto path = NewFile(L"panel mp3.avi");
    ASSERT_TRUE(module->BuildDivxGraph(path.wstring())) << recording_a::Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 50));
    const quill_test::TMediaProbe p = recording_a::ProbeWhole(path);
    const int a = p.StreamOfType("audio");
    ASSERT_GE(a, 0);
    EXPECT_EQ("mp3", p.Stream(a, "codec_name"));
    EXPECT_EQ("96000", p.Stream(a, "bit_rate"));

    // Unchecking MP3 hides its group and is what the next recording reads.
    options->cbMp3->SetChecked(false);
    EXPECT_FALSE(config.WantMp3.Value());
    EXPECT_FALSE(options->gbMp3->Visible());
}

TEST_F(OptionsPanel, AKeyThatCannotBeWrittenShows128) {
    BitrateKey restore;
    options->FillDivxCodecs();
    ASSERT_TRUE(ui::Mp3EncoderPresent);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, standins::kMp3EncoderKey));
    Pick(options->cboxBitratemp3, options->cboxBitratemp3->Items()->IndexOf(L"320"));
    EXPECT_EQ(L"128", options->cboxBitratemp3->Text());
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, 0, KEY_READ, &key))
        << "the key is never created by the panel";
}

TEST_F(OptionsPanel, TextsFromTheStringTableAndAScreenshotOfEachTab) {
    EXPECT_EQ(L"Settings (F10)", options->GroupBox1->Caption());
    EXPECT_EQ(L"Use the default profiles", options->cbDefaultProfile->Caption());
    EXPECT_EQ(14, options->cboxBitratemp3->Items()->Count());
    EXPECT_EQ(L"320", options->cboxBitratemp3->Items()->Get(13));
    EXPECT_EQ(L"you will be able to compress.", options->MemoMp3->Lines()->Get(1));
    EXPECT_EQ("8", options->rgversion->Items()->Get(2));
    options->FillDivxCodecs();
    const std::pair<widgets::TUcTabSheet*, const wchar_t*> tabs[] = {{options->tsPref, L"settings_pref.bmp"},
                                                                     {options->tsWmv, L"settings_wmv.bmp"},
                                                                     {options->tsDivx, L"settings_divx.bmp"},
                                                                     {options->tsJpeg, L"settings_pictures.bmp"},
                                                                     {options->TabSheet1, L"settings_dv.bmp"}};
    for (const auto& [tab, file] : tabs) {
        options->PageControl1->SetActivePage(tab);
        EXPECT_GT(Screenshot(options, file), 4) << "the painted tab " << tab->Caption().size();
    }
}

// A codec without a settings or version page of its own (the stand-in Xvid compressor, the
// stand-in MP3 coder) says so when its buttons are clicked, instead of doing nothing.
TEST_F(OptionsPanel, DivxButtonsOfACodecWithoutPagesSaySo) {
    options->FillDivxCodecs();
    ASSERT_TRUE(ui::DivxAvailable);
    const int xvid = options->cboxdivx->Items()->IndexOf(standins::kXvidCompressorName);
    ASSERT_GE(xvid, 0);
    Pick(options->cboxdivx, xvid);
    std::vector<std::wstring> said;
    widgets::TMessageDlgFunction before = widgets::SetMessageDlgFunction(
        [&](const std::wstring& Msg, widgets::TMsgDlgType, widgets::TMsgDlgButtons) {
            said.push_back(Msg);
            return static_cast<int>(classlib::mrOk);
        });
    options->sbPropDivxClick(options->sbPropDivx);
    options->sbVersionDivxClick(options->sbVersionDivx);
    ASSERT_TRUE(options->sbPropMp3->Visible());
    options->sbPropMp3Click(options->sbPropMp3);
    widgets::SetMessageDlgFunction(std::move(before));
    ASSERT_EQ(3u, said.size());
    EXPECT_EQ(L"The codec " + std::wstring(standins::kXvidCompressorName) + L" has no settings of its own to show.",
              said[0]);
    EXPECT_EQ(L"The codec " + std::wstring(standins::kXvidCompressorName) + L" has no version page to show.", said[1]);
    EXPECT_EQ(L"The codec " + std::wstring(standins::kMp3EncoderName) + L" has no settings of its own to show.", said[2]);
}

}  // namespace
}  // namespace panels_test
