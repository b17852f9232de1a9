// Settings touched around a recording, from the main window as a user touches them: the DivX tab
// cannot take the compressor or the MP3 encoder out of a running DivX recording; a native MPEG
// recording without an MPEG audio encoder says that it records no sound; portable mode chosen during
// a run sends the next recordings and pictures beside the program; the next-picture labels come back
// after an image-by-image recording; the free space shown is that of the recording folder's volume.
#include "recording_ui_support.h"

#include <cstdlib>

#include "classlib/conversions.h"
#include "dshow/ds_functions.h"
#include "filters/control_unit.h"
#include "platform/standins/mpeg_audio_encoder.h"
#include "settings/settings_catalogue.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/options_frame.h"
#include "ui/sources_frame.h"

namespace recording_ui {
namespace {

using std::filesystem::exists;
using std::filesystem::path;

const wchar_t kMpegCard[] = L"Quillotrane Test MPEG Card";

// Takes a filter's registration out of the filter mapper's list (the "DirectShow Filters" category's
// instance key) for the life of the object, and puts it back as it was.
class THiddenFilter {
public:
    explicit THiddenFilter(const CLSID& Filter) {
        wchar_t clsid[64];
        StringFromGUID2(Filter, clsid, 64);
        key_ = std::wstring(L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\") + clsid;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256, type = 0, size = 0;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
            Value value{name, type, std::vector<BYTE>(size)};
            nameLength = 256;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, value.data.data(), &size) == ERROR_SUCCESS)
                values_.push_back(std::move(value));
        }
        RegCloseKey(key);
        hidden_ = !values_.empty() && RegDeleteTreeW(HKEY_CLASSES_ROOT, key_.c_str()) == ERROR_SUCCESS;
    }
    ~THiddenFilter() {
        if (!hidden_) return;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        for (const Value& value : values_)
            RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        RegCloseKey(key);
    }
    THiddenFilter(const THiddenFilter&) = delete;
    THiddenFilter& operator=(const THiddenFilter&) = delete;
    bool Hidden() const { return hidden_; }

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::wstring key_;
    std::vector<Value> values_;
    bool hidden_ = false;
};

class SettingsWhileRecording : public RecordingUiTest {
protected:
    // The controls of the DivX tab that reach into a recording's graph.
    std::vector<classlib::TControl*> DivxControls() const {
        ui::TOptionsFrame* options = form->OptionsFrame;
        return {options->cboxdivx, options->sbPropDivx, options->sbVersionDivx,
                options->cbMp3,    options->cboxBitratemp3, options->sbPropMp3};
    }
    int EnabledDivxControls() const {
        int enabled = 0;
        for (classlib::TControl* control : DivxControls()) enabled += control->Enabled() ? 1 : 0;
        return enabled;
    }
};

TEST_F(SettingsWhileRecording, TheDivXTabLeavesARunningDivXRecordingWhole) {
    // The panel's codec list as the first idle fills it, then the stand-in coders.
    form->OptionsFrame->FillDivxCodecs();
    ASSERT_GT(form->OptionsFrame->cboxdivx->Items()->Count(), 0) << "no DivX or Xvid compressor listed";
    UseLame();
    ASSERT_TRUE(UseXvid());
    settings::ParamWantMp3->SetValue(true);
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 9));
    EXPECT_EQ(6, EnabledDivxControls()) << "free in preview";
    const std::wstring favourite = settings::ParamDivxFavori->Value();
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    EXPECT_EQ(0, EnabledDivxControls()) << "the recording's coders are out of reach";

    // What reaches the controls all the same (a click queued before the start): refused.
    ui::TOptionsFrame* options = form->OptionsFrame;
    options->cboxdivx->SetItemIndex(0);
    options->cboxdivx->OnChange(options->cboxdivx);
    options->sbVersionDivx->OnClick(options->sbVersionDivx);
    options->cbMp3->SetChecked(false);
    options->cboxBitratemp3->SetItemIndex(0);
    options->cboxBitratemp3->OnChange(options->cboxBitratemp3);
    EXPECT_EQ(module->fg, module->divx->FilterGraph()) << "the compressor stays in the recording's graph";
    EXPECT_EQ(module->fg, module->mp3->FilterGraph()) << "the MP3 encoder stays in the recording's graph";
    EXPECT_TRUE(options->cbMp3->Checked()) << "the box shows what the recording uses";
    EXPECT_TRUE(settings::ParamWantMp3->Value());
    EXPECT_EQ(favourite, settings::ParamDivxFavori->Value());

    ASSERT_TRUE(WaitRecorded(25)) << "the recording goes on";
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    EXPECT_EQ(6, EnabledDivxControls()) << "free again after the stop";
    const quill_test::TMediaProbe probe = ProbeWhole(file);
    const int v = probe.StreamOfType("video"), a = probe.StreamOfType("audio");
    ASSERT_GE(v, 0);
    ASSERT_GE(a, 0);
    EXPECT_EQ("mpeg4", probe.Stream(v, "codec_name"));
    EXPECT_EQ("mp3", probe.Stream(a, "codec_name"));
    EXPECT_GE(Packets(probe, v), 30) << "the pictures after the clicks are in the file too";
}

TEST_F(SettingsWhileRecording, ANativeMpegRecordingWithoutAnMpegSoundEncoderSaysItHasNoSound) {
    const std::wstring noSound = L"No sound: no MPEG audio encoder";
    // With the encoder: the sound label shows the sound the file will hold.
    ASSERT_NO_FATAL_FAILURE(Preview(kMpegCard, kMicrophone, 3));
    EXPECT_EQ(engine::SoundFormatText(module->RecordingSoundFormat(3)), form->SourcesFrame->LabAudio->Caption());
    path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    EXPECT_EQ(L"", form->StatusAlertText);
    EXPECT_NE(std::wstring::npos, form->StatusMainText.find(L"Aud: ")) << testing::PrintToString(form->StatusMainText);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(ProbeWhole(file).StreamOfType("audio"), 0);

    THiddenFilter hidden(standins::CLSID_MpegAudioEncoderStandin);
    ASSERT_TRUE(hidden.Hidden()) << "the encoder's registration is not where the filter mapper reads it";
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    ASSERT_NO_FATAL_FAILURE(Preview(kMpegCard, kMicrophone, 3));
    EXPECT_EQ(noSound, form->SourcesFrame->LabAudio->Caption()) << "told before the start";
    file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState) << "the recording goes on with the picture alone";
    EXPECT_EQ(L"no sound", form->StatusAlertText);
    EXPECT_EQ(std::wstring::npos, form->StatusMainText.find(L"Aud")) << testing::PrintToString(form->StatusMainText);
    EXPECT_EQ(0u, form->StatusMainText.find(L"Vid: ")) << testing::PrintToString(form->StatusMainText);
    EXPECT_EQ(noSound, form->SourcesFrame->LabAudio->Caption());
    ASSERT_TRUE(WaitRecorded(25));
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    const quill_test::TMediaProbe probe = ProbeWhole(file);
    const int v = probe.StreamOfType("video");
    ASSERT_GE(v, 0);
    EXPECT_GE(Packets(probe, v), 20);
    EXPECT_LT(probe.StreamOfType("audio"), 0);
}

TEST_F(SettingsWhileRecording, PortableModeChosenDuringARunSendsTheNextFilesBesideTheProgram) {
    const path elsewhere =
        std::filesystem::temp_directory_path() / (L"quill elsewhere " + std::to_wstring(GetCurrentProcessId()));
    form->DossiersFrame1->VideoDirEdit->SetText(classlib::WideToAnsi((elsewhere / L"videos").wstring()));
    form->DossiersFrame1->ImageDirEdit->SetText(classlib::WideToAnsi((elsewhere / L"pictures").wstring()));
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path running = form->NextVideoFile;
    ASSERT_EQ(elsewhere / L"videos", running.parent_path());
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(5));

    // The user's click on "Portable Mode ( USB key)" of the settings panel.
    form->OptionsFrame->rgPrefs->SetItemIndex(1);
    EXPECT_EQ(running.wstring(), form->NextVideoFile) << "the running recording keeps its name";
    EXPECT_EQ(folder, path(form->NextImageFile).parent_path()) << "the next picture goes beside the program";
    EXPECT_EQ(path(form->NextImageFile).filename().wstring(), form->DossiersFrame1->LabelImage->Caption());
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    EXPECT_TRUE(exists(running));
    EXPECT_EQ(folder, path(form->NextVideoFile).parent_path()) << "the next recording goes beside the program";

    const path next = form->NextVideoFile;
    Capture();
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_TRUE(exists(next));
    std::error_code ignored;
    std::filesystem::remove_all(elsewhere, ignored);
}

TEST_F(SettingsWhileRecording, TheNextPictureLabelsComeBackAfterAnImageByImageRecording) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 8));
    const std::wstring next = path(form->NextImageFile).filename().wstring();
    EXPECT_EQ(next, form->DossiersFrame1->LabelImage->Caption());
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    EXPECT_NE(next, form->ExtraireFrame1->destlabel->Caption()) << "the labels say where the grabs go";
    ++module->ImageByImageCount;
    module->ImageControl->SetPassNext(true);
    ASSERT_TRUE(PumpUntil([&] { return !module->ImageControl->PassNext(); }));
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    EXPECT_EQ(next, form->DossiersFrame1->LabelImage->Caption());
    EXPECT_EQ(next, form->ExtraireFrame1->destlabel->Caption());
}

TEST_F(SettingsWhileRecording, TheFreeSpaceShownIsThatOfTheRecordingFoldersVolume) {
    // A volume of its own below the drive's root: the shared-memory disk Linux mounts at /dev/shm,
    // seen through Wine's drive Z:.
    const std::wstring shm = L"Z:\\dev\\shm\\";
    if (!exists(path(shm))) GTEST_SKIP() << "no /dev/shm";
    const std::int32_t rootFree = dshow::DiskFreeMB(L"Z:\\");
    const std::int32_t shmFree = dshow::DiskFreeMB(shm);
    if (std::abs(rootFree - shmFree) < 4096) GTEST_SKIP() << "/dev/shm is no volume of its own here";
    // A folder not made yet on that volume.
    form->DossiersFrame1->VideoDirEdit->SetText(
        classlib::WideToAnsi(shm + L"quill free " + std::to_wstring(GetCurrentProcessId()) + L"\\videos"));
    form->UpdateStatusTexts();
    const std::wstring shown = form->StatusInfoText;
    EXPECT_NE(std::wstring::npos, shown.find(L" free mb on Z:")) << testing::PrintToString(shown);
    EXPECT_NEAR(shmFree, std::wcstol(shown.c_str(), nullptr, 10), 1024) << testing::PrintToString(shown);
}

}  // namespace
}  // namespace recording_ui
