// Recordings whose file cannot be written: refused at the start with the reason while the preview
// runs on, or stopped with the reason when a write fails later; a recording stopped before its
// first frame leaves no file; a stem that names other folders stays in the video folder.
#include "recording_ui_support.h"

#include <audevcod.h>
#include <evcode.h>

#include <cwctype>
#include <fstream>

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "classlib/message_box.h"
#include "engine/scene_list.h"
#include "settings/settings_catalogue.h"
#include "ui/dossiers_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/recording_files.h"
#include "tests/standins_recording/recording_support.h"

namespace recording_ui {
namespace {

using std::filesystem::exists;
using std::filesystem::path;

class RecordingErrors : public RecordingUiTest {
protected:
    void SetVideoFolder(const path& Folder) {
        form->DossiersFrame1->VideoDirEdit->SetText(classlib::WideToAnsi(Folder.wstring()));
    }
    void SetStem(const std::wstring& Stem) {
        form->DossiersFrame1->VideoRacineEdit->SetText(Stem);
        form->DossiersFrame1VideoRacineEditExit(nullptr);
    }
    void Confirm(bool On) {
        settings::ParamConfirmerVideo->SetValue(On);
        form->OptionsFrame->cbConfirmerVideo->SetChecked(On);
    }
    // The capture action is refused with one error that starts with the refusal and holds Part;
    // the preview runs on and nothing records.
    void ExpectRefused(const std::wstring& Part) {
        asked.clear();
        const std::wstring name = form->NextVideoFile;
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        EXPECT_FALSE(form->RecordingOpen());
        EXPECT_TRUE(Previewing()) << "the preview runs on";
        EXPECT_EQ(L"Capture", form->saCapturerBascule->Caption());
        EXPECT_EQ(name, form->NextVideoFile) << "the name is kept for the next try";
        ASSERT_EQ(1u, asked.size());
        EXPECT_EQ(0u, asked[0].Text.find(L"The capture could not start: ")) << asked[0].Text;
        EXPECT_NE(std::wstring::npos, asked[0].Text.find(Part)) << asked[0].Text;
    }
    int ClipCount() { return form->ListeFrame->fl->FichierCount(); }
};

TEST_F(RecordingErrors, AFileThatCannotBeWrittenIsRefusedAtTheStartWithTheReason) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    // A folder on a drive that is not there, with or without the question about the folder.
    SetVideoFolder(L"Q:\\nowhere");
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(L"the folder Q:\\nowhere cannot be created."));
    // Nothing of a path that cannot be made whole is asked about or made: a drive that is not
    // there, or a part no folder can be named.
    Confirm(true);
    const path badName = folder / L"nonexistent" / L"<>|?*";
    for (const path& bad : {path(L"Q:\\nowhere"), badName}) {
        SetVideoFolder(bad);
        asked.clear();
        answers = {classlib::mrYes};
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        ASSERT_EQ(1u, asked.size()) << "told without asking to create it";
        EXPECT_EQ(L"The capture could not start: the folder " + bad.wstring() + L" cannot be created.", asked[0].Text);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / L"nonexistent")) << "no part of it is made";
    Confirm(false);

    // A folder with the recording's name.
    SetVideoFolder(folder / L"videos");
    const path name = form->NextVideoFile;
    std::filesystem::create_directories(name);
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(L"a folder has the name of the file " + name.wstring() + L"."));
    EXPECT_TRUE(std::filesystem::is_directory(name));
    std::filesystem::remove(name);

    // A name the file system refuses is told as too long for its folder: far too long for any
    // file name, or 130 Cyrillic letters (136 UTF-16 units, 266 bytes of UTF-8: more than the 255
    // bytes of the file system beneath Wine).
    for (const std::wstring& stem : {std::wstring(300, L'x'), std::wstring(130, L'\u0436')}) {
        SetStem(stem);
        const path tooLong = form->NextVideoFile;
        ASSERT_NO_FATAL_FAILURE(ExpectRefused(L"the file " + tooLong.wstring() +
                                              L" cannot be written: its name is too long for the folder " +
                                              tooLong.parent_path().wstring() + L"."));
    }
    EXPECT_EQ(0, ClipCount()) << "no refused start is listed";
}

// A file another program writes (another copy of this one recording under the same name) is
// neither offered for overwriting nor taken: a start goes on under the next free name, asked or
// not; let go, the file is offered again.
TEST_F(RecordingErrors, AFileAnotherProgramWritesIsNeitherOfferedNorTaken) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    const path name = form->NextVideoFile;
    const int number = form->VideoFileCounter - 1;
    std::filesystem::create_directories(name.parent_path());
    HANDLE other = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    DWORD written = 0;
    WriteFile(other, "older", 5, &written, nullptr);
    for (const bool confirming : {true, false}) {
        SCOPED_TRACE(confirming);
        Confirm(confirming);
        asked.clear();
        answers = {classlib::mrYes};
        Capture();
        EXPECT_EQ(2, form->CaptureState);
        EXPECT_NE(name.wstring(), form->NextVideoFile) << "the next free name is taken";
        EXPECT_TRUE(asked.empty()) << testing::PrintToString(asked.front().Text);
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        // The stem left again: the name comes back to the one held.
        form->VideoFileCounter = number + 1;
        form->DossiersFrame1VideoRacineEditExit(nullptr);
        ASSERT_EQ(name.wstring(), form->NextVideoFile);
    }
    // Let go, the file is offered again.
    CloseHandle(other);
    Confirm(true);
    asked.clear();
    answers = {classlib::mrNo};
    Capture();
    ASSERT_EQ(1u, asked.size());
    EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"exists already. Do you want to crush it?"));
    EXPECT_EQ(5u, std::filesystem::file_size(name));
}

TEST_F(RecordingErrors, ACutSkipsAFileAnotherProgramWrites) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    // The name the cut would take next is held by another program.
    const path held = path(form->NextVideoFile).parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter) + L".wav");
    HANDLE other = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    ASSERT_TRUE(WaitRecorded(5));
    form->acCouper->Execute();
    const path cutTo = form->NextVideoFile;
    EXPECT_NE(held, cutTo);
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    CloseHandle(other);
    EXPECT_EQ(0u, std::filesystem::file_size(held)) << "the other program's file is left alone";
    EXPECT_EQ("pcm_s16le", ProbeWhole(cutTo).Stream(0, "codec_name"));
}

TEST_F(RecordingErrors, AFailedWriteStopsTheRecordingAndSaysWhy) {
    struct Case {
        long event;
        HRESULT failure;
        const wchar_t* reason;  // a part of the system's words for it, in lower case
    };
    const Case cases[] = {
        {EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"access"},
        {EC_STREAM_ERROR_STOPPED, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L"path"},
        {EC_ERROR_STILLPLAYING, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), L"write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, 2));
        const path file = form->NextVideoFile;
        asked.clear();
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        ASSERT_TRUE(WaitRecorded(10));
        // As a writer tells it: through the graph's event sink.
        ASSERT_HRESULT_SUCCEEDED(Notify(c.event, c.failure));
        ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1; }, 20000)) << "still recording";
        EXPECT_FALSE(form->RecordingOpen());
        EXPECT_TRUE(Previewing()) << "the preview runs again";
        EXPECT_EQ(L"Capture", form->saCapturerBascule->Caption());
        EXPECT_FALSE(engine::ScnOpen());
        // Frames lost meanwhile (a loaded machine) add the scene list's question before the message.
        ASSERT_FALSE(asked.empty());
        for (std::size_t i = 0; i + 1 < asked.size(); ++i)
            EXPECT_NE(std::wstring::npos, asked[i].Text.find(L"frames have been lost during capture")) << asked[i].Text;
        const std::wstring& text = asked.back().Text;
        EXPECT_EQ(0u, text.find(L"The capture into " + file.wstring() + L" has been stopped: ")) << text;
        std::wstring lower = text;
        for (wchar_t& ch : lower) ch = static_cast<wchar_t>(std::towlower(ch));
        EXPECT_NE(std::wstring::npos, lower.find(c.reason)) << "the system's words: " << testing::PrintToString(text);
        EXPECT_NE(std::wstring::npos, text.find(L"What was written is kept.")) << text;
        EXPECT_GE(Packets(ProbeWhole(file), 0), 8);
    }
}

// A sound input that stops giving sound during a recording tells the graph (its own event, not
// an abort): the recording stops, and the user reads which input it was, not a file that failed.
TEST_F(RecordingErrors, ASoundInputThatStopsGivingSoundStopsTheRecordingByItsName) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path file = form->NextVideoFile;
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    ASSERT_HRESULT_SUCCEEDED(Notify(EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_AddBuffer, MMSYSERR_NODRIVER));
    ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1; }, 20000)) << "still recording";
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(L"The capture into " + file.wstring() + L" has been stopped: the sound input " + kMicrophone +
                  L" stopped giving sound: ",
              asked.back().Text.substr(0, asked.back().Text.find(L"sound: ") + 7));
    EXPECT_NE(std::wstring::npos, asked.back().Text.find(L"What was written is kept.")) << asked.back().Text;
    EXPECT_TRUE(Previewing());
}

// The writer cannot write the file's first bytes when the graph starts (the disk takes none): the
// start is refused with the system's reason, the preview runs on, and neither the file nor the
// scene list opened for it is left behind; the next start records under the same name.
TEST_F(RecordingErrors, AStartTheGraphRefusesIsToldAndLeavesNothingBehind) {
    struct Case {
        const wchar_t* video;
        const wchar_t* sound;
        std::uint8_t format;
    };
    for (const Case& c : {Case{kCamera, kMicrophone, 5}, Case{kDVVideo, kDVSound, 2}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        const path file = form->NextVideoFile;
        const int clips = ClipCount();
        {
            recording_test::TestSettings disk;
            disk.Set(standins::kTestByteLimitValue, 0);
            ASSERT_NO_FATAL_FAILURE(ExpectRefused(L"the file " + file.wstring() + L" cannot be written: Disk full"));
        }
        EXPECT_FALSE(exists(file)) << "no empty file";
        EXPECT_FALSE(engine::ScnOpen());
        EXPECT_FALSE(exists(path(file).replace_extension(L".scn"))) << "nor the scene list opened for it";
        EXPECT_EQ(clips, ClipCount()) << "nothing listed";
        // No write failure told later for the start already refused.
        PumpUntil([] { return false; }, 1000);
        EXPECT_EQ(1u, asked.size());

        asked.clear();
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        ASSERT_TRUE(WaitRecorded(10));
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        EXPECT_GE(Packets(ProbeWhole(file), 0), 8);
    }
}

// A filter whose stop fails while Refuse holds, as a filter that a refused start left going makes
// Wine's graph answer a stop.
class StopFailing : public filters::TBCBaseFilter {
public:
    StopFailing() : TBCBaseFilter("Stop failing", nullptr, std::make_unique<filters::TBCCritSec>(), GUID_NULL) {}
    HRESULT Stop() override {
        const HRESULT hr = TBCBaseFilter::Stop();
        return Refuse ? E_FAIL : hr;
    }
    int GetPinCount() override { return 0; }
    filters::TBCBasePin* GetPin(int) override { return nullptr; }
    bool Refuse = true;
};

// The graph's own stop fails at the end of a recording: the recording is closed all the same, so
// that nothing refuses a source change as if it still ran, and the next name is prepared, so that
// the next start cannot overwrite it.
TEST_F(RecordingErrors, AStopTheGraphFailsStillClosesTheRecording) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    auto* failing = new StopFailing;
    Microsoft::WRL::ComPtr<IBaseFilter> filter(failing->BaseFilterInterface());
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(filter.Get(), L"Stop failing"));
    Capture();
    failing->Refuse = false;
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(form->RecordingOpen());
    EXPECT_NE(file.wstring(), form->NextVideoFile) << "the next recording gets a name of its own";
    EXPECT_TRUE(Previewing());
    EXPECT_GE(Packets(ProbeWhole(file), 0), 8);
}

TEST_F(RecordingErrors, ARecordingStoppedBeforeItsFirstFrameLeavesNoFile) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 6));
    // Frozen, the recording gets no frame: the pictures stop where they enter it.
    form->taFreezeCapture->Execute();
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    const unsigned previewed = module->ControlPreviewVideo->SampleCounter();
    ASSERT_TRUE(PumpUntil([&] { return module->ControlPreviewVideo->SampleCounter() >= previewed + 5; }, 60000));
    EXPECT_EQ(0u, module->ControlCaptureVideo->SampleCounter());
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(exists(file)) << "no player opens a recording without frames";
    EXPECT_FALSE(exists(path(file).replace_extension(L".scn")));
    ASSERT_EQ(1u, asked.size()) << "the user is told why nothing is there";
    EXPECT_EQ(0u, asked[0].Text.find(L"Nothing was recorded into " + file.wstring())) << asked[0].Text;

    // The same recording with frames is kept.
    form->taFreezeCapture->Execute();
    const path kept = form->NextVideoFile;
    Capture();
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(kept), 0), 8);
}

TEST_F(RecordingErrors, ASceneListLeftByAnotherRecordingIsAskedAboutAsTheRecordingIs) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, 2));
    Confirm(true);
    const path file = form->NextVideoFile;
    const path scn = path(file).replace_extension(L".scn");
    std::filesystem::create_directories(scn.parent_path());
    { std::ofstream(scn) << "another recording's scenes"; }
    answers = {classlib::mrNo};
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(0u, asked[0].Text.find(L"The file " + scn.wstring() + L" exists already. Do you want to crush it?"))
        << asked[0].Text;
    EXPECT_EQ(26u, std::filesystem::file_size(scn)) << "No keeps it";

    // While the question about the scene list is open, a recording is copied in at the name: the
    // Yes covers the scene list it showed, not the file that came since. That file stays as it is,
    // and the recording takes the next name.
    bool copied = false;
    whileAsked = [&](const std::wstring&) {
        if (copied) return;
        copied = true;
        std::ofstream(file) << "copied in meanwhile";
    };
    answers = {classlib::mrYes};
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_EQ(1u, asked.size()) << asked.back().Text;
    EXPECT_NE(file.wstring(), form->NextVideoFile) << "the name where a file arrived is not taken";
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_EQ("copied in meanwhile", quill_test::ReadWholeFile(file));
    EXPECT_EQ(26u, std::filesystem::file_size(scn)) << "nor the scene list of the name not taken";
    whileAsked = nullptr;
    std::filesystem::remove(file);

    // Without a scene list to write (sound alone), the same name asks nothing.
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    const path wav = form->NextVideoFile;
    { std::ofstream(path(wav).replace_extension(L".scn")) << "x"; }
    asked.clear();
    Capture();
    EXPECT_EQ(2, form->CaptureState);
    EXPECT_TRUE(asked.empty());
    Capture();

    // A cut asks nothing: it passes over a name whose scene list is there.
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, 2));
    asked.clear();
    const path first = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    const path next = path(first).parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter) + L".scn");
    { std::ofstream(next) << "kept"; }
    ASSERT_TRUE(WaitRecorded(10));
    form->acCouper->Execute();
    EXPECT_NE(path(next).replace_extension(L".avi"), path(form->NextVideoFile));
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_EQ(4u, std::filesystem::file_size(next));
    for (const Asked& a : asked) EXPECT_EQ(std::wstring::npos, a.Text.find(L"exists already")) << a.Text;
}

TEST_F(RecordingErrors, AStemStaysOneFileNameInsideItsFolder) {
    const struct {
        const wchar_t* stem;
        const wchar_t* cleaned;
    } stems[] = {
        {L"..\\..\\escaped", L"escaped"},
        {L"day/one\\take", L"day_one_take"},
        {L"C:\\elsewhere", L"C_elsewhere"},
        {L"a<b>c:d\"e|f?g*h\x01i", L"abcdefghi"},
        {L"..", L""},
        {L"clip...", L"clip..."},
        {L"plain", L"plain"},
    };
    for (const auto& s : stems) EXPECT_EQ(s.cleaned, ui::FileNameStem(s.stem)) << testing::PrintToString(s.stem);

    SetStem(L"..\\..\\escaped");
    EXPECT_EQ(folder / L"videos", path(form->NextVideoFile).parent_path());
    EXPECT_EQ(0u, path(form->NextVideoFile).filename().wstring().find(L"escaped_")) << form->NextVideoFile;
    form->DossiersFrame1->ImageDirEdit->SetWideText((folder / L"pictures").wstring());
    form->DossiersFrame1->ImageRacineEdit->SetText(L"..\\up");
    form->OptionsframeImageRacineEditExit(nullptr);
    EXPECT_EQ(folder / L"pictures", path(form->NextImageFile).parent_path());
    EXPECT_EQ(0u, path(form->NextImageFile).filename().wstring().find(L"up_")) << form->NextImageFile;

    // Recorded there, not two folders above.
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    const path file = form->NextVideoFile;
    EXPECT_EQ(folder / L"videos", file.parent_path());
    Capture();
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(file), 0), 8);
}

// The device's own file writing asked of an analogue camera: it says "Not Ready", nothing records,
// no file is left and the preview runs on.
TEST_F(RecordingErrors, TheDevicesOwnFileWritingOfAnAnalogueCameraIsNotReady) {
    SetVideoFolder(folder / L"videos");
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 1));
    const path file = form->NextVideoFile;
    std::vector<std::wstring> boxes;
    const classlib::TMessageBoxFunction previous =
        classlib::SetMessageBoxFunction([&](HWND, const std::wstring& Text, const std::wstring&, UINT) {
            boxes.push_back(Text);
            return IDOK;
        });
    Capture();
    classlib::SetMessageBoxFunction(previous);
    ASSERT_FALSE(boxes.empty()) << "no message";
    EXPECT_EQ(L"Not Ready", boxes[0]);
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(form->RecordingOpen());
    EXPECT_FALSE(exists(file)) << "no file is left";
    EXPECT_EQ(0, ClipCount());
    EXPECT_TRUE(Previewing()) << "the preview runs on";
}

}  // namespace
}  // namespace recording_ui
