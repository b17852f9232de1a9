// Snapshots from a running preview saved as BMP and JPEG and read back (the JPEG by ffprobe and
// ffmpeg), the overwrite question answered each way, forged and nested frame-grabbed messages, and
// the intervalometer: its switch however it flips, its period, its countdown and beeps, and one
// picture, not a burst, for the ticks that fell while a question was open.
#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "classlib/jpeg_image.h"
#include "ffprobe_helpers.h"
#include "filters/superposer.h"
#include "settings/settings_catalogue.h"
#include "tests/ui_capture/ui_capture_support.h"
#include "ui/extraire_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "widgets/custom/clip_entries.h"
#include "widgets/custom/clip_list_box.h"

namespace ui_capture_test {
namespace {

using namespace settings;

class Snapshots : public CaptureUiTest {
protected:
    // Grabs one picture into Name and waits until the file is there.
    bool GrabInto(const std::wstring& Name) {
        form->NextImageFile = Path(Name);
        form->saGrab->Execute();
        return PumpUntil([&] { return FileSize(Path(Name)) > 0; });
    }
    // The clip list's entries as path and size, in path order.
    std::vector<std::pair<std::wstring, std::int64_t>> Listed() {
        std::vector<std::pair<std::wstring, std::int64_t>> entries;
        widgets::custom::TFichierListBox* list = form->ListeFrame->fl;
        for (int i = 0; i < list->FichierCount(); ++i) {
            auto* entry = dynamic_cast<widgets::custom::TSRFichier*>(list->Fichier(i));
            if (entry != nullptr) entries.emplace_back(entry->Path(), static_cast<std::int64_t>(entry->Size()));
            else entries.emplace_back(list->Fichier(i)->Path(), -1);
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    bool AllSlotsFree() {
        for (int i = 0; i < filters::kSuperposerSlots; ++i)
            if (module->Superposer->SlotBusy(i)) return false;
        return true;
    }
};

TEST_F(Snapshots, BmpAndJpegPicturesOfThePreviewAreWrittenWholeAtTheChosenRatioAndQuality) {
    ASSERT_NE(nullptr, Preview(kCamcorderVideo));
    ParamAspectRatio->SetValue(1);  // 4:3 of a 720 x 576 picture
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    ASSERT_TRUE(GrabInto(L"still.bmp"));
    int width = 0, height = 0, bits = 0;
    ASSERT_TRUE(ReadBmpHeader(Path(L"still.bmp"), width, height, bits));
    EXPECT_EQ(720, width);
    EXPECT_EQ(540, height);
    EXPECT_EQ(24, bits);
    EXPECT_EQ(720 * 3 * 540 + 54, FileSize(Path(L"still.bmp")));
    const quill_test::TMediaProbe bmp = quill_test::Probe(Path(L"still.bmp"));
    EXPECT_EQ("bmp", bmp.Stream(0, "codec_name")) << bmp.Run.Err;
    // The thumbnail stands on y = 163, 192 x 144, in the grab panel.
    EXPECT_EQ(192, form->ExtraireFrame1->Image->Width());
    EXPECT_EQ(144, form->ExtraireFrame1->Image->Height());
    EXPECT_EQ(19, form->ExtraireFrame1->Image->Top());
    EXPECT_FALSE(form->ExtraireFrame1->Bevel3->Visible());

    // JPEG: the slider's quality, readable by ffmpeg, smaller at a lower quality.
    ParamAspectRatio->SetValue(2);
    form->acJpgOption->Execute();
    EXPECT_EQ(1, ParamExtensionDesImages->Value());
    EXPECT_TRUE(form->OptionsFrame->gbQuality->Visible());
    form->OptionsFrame->TrackBar1->SetPosition(95);
    EXPECT_EQ(L"95", form->OptionsFrame->labQuality->Caption());
    ASSERT_TRUE(GrabInto(L"fine.jpg"));
    form->OptionsFrame->TrackBar1->SetPosition(5);
    ASSERT_TRUE(GrabInto(L"coarse.jpg"));
    for (const wchar_t* name : {L"fine.jpg", L"coarse.jpg"}) {
        const quill_test::TMediaProbe probe = quill_test::Probe(Path(name));
        EXPECT_EQ("mjpeg", probe.Stream(0, "codec_name")) << probe.Run.Err;
        EXPECT_EQ(720, probe.StreamNumber(0, "width"));
        EXPECT_EQ(405, probe.StreamNumber(0, "height")) << "16:9 of 720 x 576";
        const quill_test::TUnixResult decoded = quill_test::DecodeWhole(Path(name));
        EXPECT_TRUE(decoded.Err.empty()) << decoded.Err;
    }
    EXPECT_LT(FileSize(Path(L"coarse.jpg")) * 2, FileSize(Path(L"fine.jpg")));
    EXPECT_FALSE(std::filesystem::exists(Path(L"fine.jpg.part")));
    EXPECT_TRUE(PumpUntil([&] { return AllSlotsFree(); })) << "every slot handed back";
    // Each saved picture is listed whole in the clip list.
    EXPECT_EQ((std::vector<std::pair<std::wstring, std::int64_t>>{{Path(L"coarse.jpg"), FileSize(Path(L"coarse.jpg"))},
                                                                   {Path(L"fine.jpg"), FileSize(Path(L"fine.jpg"))},
                                                                   {Path(L"still.bmp"), FileSize(Path(L"still.bmp"))}}),
              Listed());
}

TEST_F(Snapshots, AnExistingPictureIsKeptOnNoAndReplacedOnAllWhichStopsTheQuestion) {
    ASSERT_NE(nullptr, Preview(kCamera));
    ParamAspectRatio->SetValue(3);
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    // A picture kept first: the thumbnail shows it, 4:3 as the camera's picture.
    ASSERT_TRUE(GrabInto(L"first.bmp"));
    auto* thumbnail = form->ExtraireFrame1->Image;
    const int keptTop = thumbnail->Top(), keptHeight = thumbnail->Height();
    EXPECT_EQ(144, keptHeight);
    form->OptionsFrame->cbConfirmerImage->SetChecked(true);
    ASSERT_TRUE(ParamConfirmerImage->Value());
    const std::wstring name = Path(L"taken.bmp");
    {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, "keep", 4, &written, nullptr);
        CloseHandle(file);
    }
    // Refused at 16:9, the picture does not become the thumbnail either.
    ParamAspectRatio->SetValue(2);
    answer = mrNo;
    form->NextImageFile = name;
    form->saGrab->Execute();
    ASSERT_TRUE(PumpUntil([&] { return !questions.empty(); }));
    EXPECT_EQ(L"The image taken.bmp exists already. Do you want to replace it?\r\nIf you click on \"All\", then you "
              L"will no more be prompted for confirmation",
              questions[0].Text);
    EXPECT_EQ(widgets::MsgDlgButtons({widgets::mbYes, widgets::mbNo, widgets::mbAll}), questions[0].Buttons);
    EXPECT_TRUE(PumpUntil([&] { return AllSlotsFree(); }));
    EXPECT_EQ(4, FileSize(name)) << "No keeps the file";
    EXPECT_EQ(name, form->NextImageFile) << "the same name stays prepared";
    const std::int64_t firstSize = FileSize(Path(L"first.bmp"));
    EXPECT_EQ((std::vector<std::pair<std::wstring, std::int64_t>>{{Path(L"first.bmp"), firstSize}}), Listed())
        << "a declined picture is not listed";
    EXPECT_EQ(keptHeight, thumbnail->Height()) << "the declined picture became the thumbnail";
    EXPECT_EQ(keptTop, thumbnail->Top());

    ParamAspectRatio->SetValue(3);
    answer = static_cast<int>(classlib::mrAll);
    form->saGrab->Execute();
    ASSERT_TRUE(PumpUntil([&] { return FileSize(name) > 4; }));
    EXPECT_EQ(2u, questions.size());
    EXPECT_FALSE(form->OptionsFrame->cbConfirmerImage->Checked());
    EXPECT_FALSE(ParamConfirmerImage->Value());
    int width = 0, height = 0, bits = 0;
    ASSERT_TRUE(ReadBmpHeader(name, width, height, bits));
    EXPECT_EQ(engine::Native.SourceWidth, width);
    EXPECT_EQ(engine::Native.SourceHeight, height);
    EXPECT_EQ((std::vector<std::pair<std::wstring, std::int64_t>>{{Path(L"first.bmp"), firstSize}, {name, FileSize(name)}}),
              Listed());

    const std::int64_t before = FileSize(name);
    form->NextImageFile = name;
    DeleteFileW(name.c_str());
    ASSERT_TRUE(GrabInto(L"taken.bmp"));
    EXPECT_EQ(before, FileSize(name));
    EXPECT_EQ(2u, questions.size()) << "no question after All";
}

TEST_F(Snapshots, ForgedSlotNumbersAreIgnoredAndGrabsDuringAQuestionWaitTheirTurn) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    // Slots outside 0..19, or one the filter never filled: nothing is read, written or asked.
    for (LPARAM slot : {LPARAM{20}, LPARAM{-1}, LPARAM{1000000}, LPARAM{7}}) {
        form->NextImageFile = Path(L"forged.bmp");
        Post(filters::kWMFrameGrabbed, 0, slot);
    }
    EXPECT_FALSE(std::filesystem::exists(Path(L"forged.bmp")));
    EXPECT_TRUE(questions.empty());

    // A question open over a save: the next grabbed frame is not saved inside it (no second question).
    const std::wstring name = Path(L"busy.bmp");
    ASSERT_TRUE(GrabInto(L"busy.bmp"));
    form->NextImageFile = name;
    int nested = 0;
    onQuestion = [&] {
        if (++nested > 1) return;
        module->Superposer->RequestGrab();
        // The second picture arrives while the question is open.
        PumpUntil([&] { return !module->Superposer->GrabRequested() && !AllSlotsFree(); }, 5000);
        PumpUntil([] { return false; }, 300);
    };
    form->saGrab->Execute();
    ASSERT_TRUE(PumpUntil([&] { return questions.size() >= 1 && AllSlotsFree(); }));
    EXPECT_EQ(1, nested) << "no question opened inside another";
    EXPECT_TRUE(AllSlotsFree()) << "the waiting picture was handled after the first";
    // busy.bmp (written twice, listed once), then the waiting picture under the name prepared
    // after it: each one listed whole.
    const auto listed = Listed();
    ASSERT_EQ(2u, listed.size());
    for (const auto& [path, size] : listed) EXPECT_EQ(FileSize(path), size) << path;
    EXPECT_EQ(1, std::count_if(listed.begin(), listed.end(), [&](const auto& e) { return e.first != name; }));
}

TEST_F(Snapshots, TheIntervalometerFollowsTheSwitchHoweverItFlipsAndCountsDownWithBeeps) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(1);
    ParamBeeps->SetValue(true);
    auto* frame = form->ExtraireFrame1;
    frame->KitSpinEdit7->SetText("2");
    frame->cbUnites->SetItemIndex(0);
    form->NextImageFile = Path(L"timed.jpg");
    // The switch flipped without a click (its key, or a press released off it) starts it all the same.
    frame->KitSwitch1->SetStateOn(true);
    EXPECT_TRUE(module->Superposer->ExtractionActive());
    EXPECT_EQ(20000, module->Superposer->ExtractionInterval());
    EXPECT_FALSE(frame->KitSpinEdit7->Enabled());
    EXPECT_FALSE(frame->cbUnites->Enabled());
    EXPECT_TRUE(frame->chronoLab->Visible());
    EXPECT_EQ(L"JPG - every 2 seconds", form->StatusIntervalText);
    EXPECT_EQ(classlib::clRed, form->StatusIntervalColor);
    // The filter's countdown reaches the grab panel, and the timed picture is saved.
    ASSERT_TRUE(PumpUntil([&] { return FileSize(Path(L"timed.jpg")) > 0 && !frame->chronoLab->Caption().empty(); }));
    EXPECT_EQ("mjpeg", quill_test::Probe(Path(L"timed.jpg")).Stream(0, "codec_name"));

    // Beeps: the second sound from 4 seconds down to 1, the first at 0, none from 5 up.
    form->Beeps.clear();
    for (WPARAM left : {6, 5, 4, 3, 2, 1, 0}) SendMessageW(form->Handle(), filters::kWMIntervalometerCount, left, 0);
    EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 0}), form->Beeps);
    EXPECT_EQ("0", frame->chronoLab->Caption());
    ParamBeeps->SetValue(false);
    SendMessageW(form->Handle(), filters::kWMIntervalometerCount, 3, 0);
    EXPECT_EQ(5u, form->Beeps.size());

    // The intervalometer action flips the switch; its handler runs once through the switch.
    form->saIntervallo->Execute();
    EXPECT_FALSE(frame->KitSwitch1->StateOn());
    EXPECT_FALSE(module->Superposer->ExtractionActive());
    EXPECT_TRUE(frame->KitSpinEdit7->Enabled());
    EXPECT_EQ(L"JPG - Intervalometer desactivated", form->StatusIntervalText);
    EXPECT_EQ(classlib::clBlack, form->StatusIntervalColor);

    // Hours past the filter's 32-bit period take the longest one; frames count from the stream's rate.
    frame->KitSpinEdit7->SetText("999999");
    frame->cbUnites->SetItemIndex(3);
    form->saIntervallo->Execute();
    EXPECT_EQ(4294967295LL, module->Superposer->ExtractionInterval());
    form->saIntervallo->Execute();
    frame->KitSpinEdit7->SetText("5");
    frame->cbUnites->SetItemIndex(1);
    form->saIntervallo->Execute();
    EXPECT_EQ(static_cast<std::int64_t>(5 * std::llround(10000 / engine::Native.SourceFps)),
              module->Superposer->ExtractionInterval());
    form->saIntervallo->Execute();
    // Frames of a stream whose rate is unknown give no period: the switch goes back off.
    const double fps = engine::Native.SourceFps;
    engine::Native.SourceFps = 0;
    form->saIntervallo->Execute();
    engine::Native.SourceFps = fps;
    EXPECT_FALSE(frame->KitSwitch1->StateOn());
    EXPECT_FALSE(module->Superposer->ExtractionActive());
}

TEST_F(Snapshots, TicksThatFallWhileTheReplaceQuestionIsOpenGiveOnePictureAtItsClose) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    form->OptionsFrame->cbConfirmerImage->SetChecked(true);
    auto* frame = form->ExtraireFrame1;
    frame->KitSpinEdit7->SetText("1");
    frame->cbUnites->SetItemIndex(0);
    const std::wstring taken = Path(L"Image_00003.bmp");
    {
        HANDLE file = CreateFileW(taken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, "keep", 4, &written, nullptr);
        CloseHandle(file);
    }
    form->NextImageFile = taken;
    answer = static_cast<int>(classlib::mrAll);
    int ticks = 0;
    int framesAtStop = 0;
    onQuestion = [&] {
        if (questions.size() > 1) return;
        // Three more of the filter's timed pictures come while nobody answers (its slot counter
        // moves on with each one)...
        int last = module->Superposer->SlotIndex();
        PumpUntil(
            [&] {
                const int index = module->Superposer->SlotIndex();
                ticks += (index - last + filters::kSuperposerSlots) % filters::kSuperposerSlots;
                last = index;
                return ticks >= 3;
            },
            30000);
        // ...then the intervalometer stops, so that every picture counted below comes from them.
        frame->KitSwitch1->SetStateOn(false);
        framesAtStop = sink->Frames.load();
    };
    frame->KitSwitch1->SetStateOn(true);
    ASSERT_TRUE(PumpUntil([&] { return !questions.empty(); }, 30000)) << "the first tick asks about the file";
    // Two frames past the stop, no timed picture is being made any more; then every slot is back.
    ASSERT_TRUE(PumpUntil([&] { return framesAtStop > 0 && sink->Frames.load() >= framesAtStop + 2 && AllSlotsFree(); },
                          30000));
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(1u, questions.size()) << "All asks no more";
    // The picture asked about, then one for all the ticks the question held back.
    const auto listed = Listed();
    ASSERT_EQ(2u, listed.size()) << testing::PrintToString(listed);
    for (const auto& [path, size] : listed) EXPECT_EQ(FileSize(path), size) << path;
    EXPECT_GT(FileSize(taken), 4) << "All replaced the file";
}

TEST(JpegImage, RefusesAnEmptyPictureAndAFolderThatIsNotThere) {
    classlib::TJPEGImage image;
    EXPECT_THROW(image.Compress(), classlib::EJPEGError);
    image.SetCompressionQuality(0);
    EXPECT_EQ(1, image.CompressionQuality());
    image.SetCompressionQuality(500);
    EXPECT_EQ(100, image.CompressionQuality());
    const BYTE pixels[2 * 2 * 3] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
    image.Assign(pixels, 6, 2, 2);
    image.Compress();
    ASSERT_GT(image.Data().size(), 4u);
    EXPECT_EQ(0xFF, image.Data()[0]);
    EXPECT_EQ(0xD8, image.Data()[1]);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring missing = std::wstring(temp) + L"quill-no-such-folder\\picture.jpg";
    EXPECT_THROW(image.SaveToFile(missing), classlib::EOSError);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(missing + L".part")));
}

}  // namespace
}  // namespace ui_capture_test
