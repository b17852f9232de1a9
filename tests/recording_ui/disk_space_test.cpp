// The room on the recordings' disks: the clip list panel's free-space gauges measure the volumes of
// the folders as they are set, and a recording whose disk fills up (the file writer of the test
// prefix refuses every byte past a limit the test sets, as a full disk does) is stopped by the
// ordinary stop with a message, what was written staying a whole, readable file.
#include "recording_ui_support.h"

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "classlib/date_time.h"
#include "dshow/ds_functions.h"
#include "engine/scene_list.h"
#include "tests/standins_recording/recording_support.h"
#include "ui/dossiers_frame.h"
#include "ui/info_frames.h"
#include "ui/programmer_frame.h"

namespace recording_ui {
namespace {

using std::filesystem::path;

class DiskSpace : public RecordingUiTest {};

TEST_F(DiskSpace, TheGaugesMeasureTheVolumesOfFoldersNotMadeYet) {
    // The recording folder is made by the first start; the picture folder by the first picture.
    const path videos = form->NextVideoFile;
    ASSERT_FALSE(std::filesystem::exists(videos.parent_path()));
    const std::int32_t total = dshow::DiskTotalMB(folder.wstring());
    ASSERT_GT(total, 0);
    EXPECT_EQ(total, form->ListeFrame->tgVideo->MaxValue()) << "the size of the volume that will hold the recordings";

    form->DossiersFrame1->ImageDirEdit->SetText(classlib::WideToAnsi((folder / L"pictures" / L"day one").wstring()));
    EXPECT_EQ(total, form->ListeFrame->tgImage->MaxValue());
    // Other programs write to the same volume meanwhile.
    EXPECT_NEAR(dshow::DiskUsedMB(folder.wstring()), form->ListeFrame->tgImage->Progress(), 1024);
    EXPECT_GT(form->ListeFrame->tgImage->Progress(), 0);

    // A folder on no volume at all keeps the gauge as it was.
    form->DossiersFrame1->ImageDirEdit->SetText("Q:\\nowhere");
    EXPECT_EQ(total, form->ListeFrame->tgImage->MaxValue());
}

TEST_F(DiskSpace, AFullDiskStopsTheRecordingSaysSoAndKeepsAWholeFile) {
    struct Case {
        std::uint8_t format;
        const wchar_t* video;
        const wchar_t* sound;
        std::uint64_t limit;  // bytes the "disk" takes
        bool scheduled;       // stopped in the scheduled capture's state
        bool sceneList;
    };
    const Case cases[] = {
        {6, kCamera, kMicrophone, 1500000, false, false},
        {2, kDVVideo, kDVSound, 2000000, true, true},
        {11, L"", kMicrophone, 300000, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        recording_test::TestSettings disk;
        disk.Set(standins::kTestByteLimitValue, c.limit);
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        asked.clear();
        const path file = form->NextVideoFile;
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        if (c.scheduled) {
            SetNow(10, 14, 0, 0);
            form->ProgrammerFrame1->DateEdit2->SetDate(classlib::EncodeDate(2030, 6, 10));
            form->ProgrammerFrame1->KitSpinEdit4->SetAsInteger(15);
            form->acProgrammerBascule->Execute();
            ASSERT_EQ(4, form->CaptureState);
        }
        // Nobody stops it: the full disk does.
        ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1; }, 60000)) << "still recording";
        EXPECT_FALSE(form->RecordingOpen());
        EXPECT_FALSE(form->ProgrammerFrame1->KitClock2->AlarmEnabled()) << "no end alarm left armed";
        EXPECT_TRUE(Previewing()) << "the preview runs again";
        EXPECT_NE(file.wstring(), form->NextVideoFile) << "the next name is ready";
        // Frames lost meanwhile (a loaded machine) add the scene list's question before the message.
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(L"The disk is full: the capture has been stopped. The file " + file.wstring() + L" is kept.",
                  asked.back().Text);
        for (std::size_t i = 0; i + 1 < asked.size(); ++i)
            EXPECT_NE(std::wstring::npos, asked[i].Text.find(L"frames have been lost during capture")) << asked[i].Text;
        EXPECT_LE(std::filesystem::file_size(file), c.limit);
        const quill_test::TMediaProbe probe = ProbeWhole(file);
        EXPECT_GE(Packets(probe, 0), 5) << "what fitted is there";
        EXPECT_FALSE(engine::ScnOpen());
        EXPECT_EQ(c.sceneList, std::filesystem::exists(path(file).replace_extension(L".scn")));
    }
}

}  // namespace
}  // namespace recording_ui
