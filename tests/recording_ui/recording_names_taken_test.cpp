// A recording's file and the files around it: a file another program (another copy of this one)
// takes after the start's checks, before the writer could open it, is left alone and the recording
// goes on under the next free name, never told as kept; an older file answered Yes comes back when
// the start fails; and a write failure told just before a cut belongs to the part before the cut,
// not to the new one.
#include "recording_ui_support.h"

#include <evcode.h>

#include <fstream>

#include "classlib/conversions.h"
#include "settings/settings_catalogue.h"
#include "ui/options_frame.h"
#include "ui/liste_frame.h"
#include "widgets/custom/clip_entries.h"
#include "tests/standins_recording/recording_support.h"

namespace recording_ui {
namespace {

using std::filesystem::exists;
using std::filesystem::path;

// A file another program has open for writing, as another copy's file writer holds its recording.
class THeldFile {
public:
    explicit THeldFile(const path& File) {
        std::filesystem::create_directories(File.parent_path());
        handle_ = CreateFileW(File.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (handle_ != INVALID_HANDLE_VALUE) WriteFile(handle_, "other", 5, &written, nullptr);
    }
    ~THeldFile() { Release(); }
    THeldFile(const THeldFile&) = delete;
    THeldFile& operator=(const THeldFile&) = delete;
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A filter without pins in the graph that, once armed, takes File for another program at the
// graph's next start, before the recording's writer opens it (as another copy of the program
// started in the same second does).
class TakingAtStart : public filters::TBCBaseFilter {
public:
    TakingAtStart() : TBCBaseFilter("Taking at start", nullptr, std::make_unique<filters::TBCCritSec>(), GUID_NULL) {}
    HRESULT Pause() override {
        if (IsStopped() && !File.empty() && !held) held = std::make_unique<THeldFile>(File);
        return TBCBaseFilter::Pause();
    }
    int GetPinCount() override { return 0; }
    filters::TBCBasePin* GetPin(int) override { return nullptr; }
    path File;
    std::unique_ptr<THeldFile> held;
};

// A filter without pins in the graph that, once armed, refuses the graph's next start (as a device
// gone meanwhile does).
class RefusingAtStart : public filters::TBCBaseFilter {
public:
    RefusingAtStart() : TBCBaseFilter("Refusing at start", nullptr, std::make_unique<filters::TBCCritSec>(), GUID_NULL) {}
    HRESULT Pause() override { return IsStopped() && Armed ? VFW_E_NO_AUDIO_HARDWARE : TBCBaseFilter::Pause(); }
    int GetPinCount() override { return 0; }
    filters::TBCBasePin* GetPin(int) override { return nullptr; }
    bool Armed = false;
};

class RecordingNames : public RecordingUiTest {
protected:
    void Confirm(bool On) {
        settings::ParamConfirmerVideo->SetValue(On);
        form->OptionsFrame->cbConfirmerVideo->SetChecked(On);
    }
    bool Listed(const path& File) {
        widgets::custom::TFichierListBox* clips = form->ListeFrame->fl;
        for (int i = 0; i < clips->FichierCount(); ++i)
            if (path(clips->Fichier(i)->Path()) == File) return true;
        return false;
    }
    // Pumps one message at a time until Done: what a handler posted meanwhile stays queued.
    bool PumpOneUntil(const std::function<bool()>& Done) {
        const DWORD start = GetTickCount();
        while (!Done()) {
            if (GetTickCount() - start > 20000) return false;
            MSG msg;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
        }
        return true;
    }
};

// The name was free at the start's checks, but another program took it before the writer could
// open it: nothing of this recording is in that file, so nothing says it was kept; the file is
// left alone and off the clip list, and the recording goes on under the next free name.
TEST_F(RecordingNames, AFileTakenBeforeTheWriterOpensItIsLeftAndTheNextFreeNameRecords) {
    struct Case {
        const wchar_t* video;
        const wchar_t* sound;
        std::uint8_t format;
        const wchar_t* extension;
    };
    for (const Case& c : {Case{L"", kMicrophone, 11, L".wav"}, Case{kCamera, kMicrophone, 5, L".avi"}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        auto* taking = new TakingAtStart;
        Microsoft::WRL::ComPtr<IBaseFilter> filter(taking->BaseFilterInterface());
        ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(filter.Get(), L"Taking at start"));
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        const path prepared = form->NextVideoFile;
        const double started = classlib::Now();
        taking->File = prepared;
        asked.clear();
        Capture();
        // Refused at the run, or at the first write: either way the recording moves on.
        ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 2 && form->NextVideoFile != prepared.wstring(); }))
            << "still on the taken name";
        const path recorded = form->NextVideoFile;
        ASSERT_TRUE(WaitRecorded(10));
        EXPECT_EQ(2, form->CaptureState) << "the recording goes on";
        EXPECT_TRUE(form->RecordingOpen());
        EXPECT_EQ(recorded.wstring(), form->CaptureFile);
        EXPECT_GE(form->CaptureStartTime, started);
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        EXPECT_TRUE(asked.empty()) << "nothing told, kept or not: " << testing::PrintToString(asked.front().Text);
        EXPECT_GE(Packets(ProbeWhole(recorded), 0), 8);
        EXPECT_TRUE(Listed(recorded));
        EXPECT_FALSE(Listed(prepared)) << "the other program's file is not listed";
        EXPECT_FALSE(exists(path(prepared).replace_extension(L".scn")));
        taking->held.reset();
        EXPECT_EQ(5u, std::filesystem::file_size(prepared)) << "the other program's file is left alone";
        ASSERT_HRESULT_SUCCEEDED(module->Graph()->RemoveFilter(filter.Get()));
    }
}

// An older file answered Yes is moved out of the writer's way while the recording starts: when the
// start is refused (a disk that takes nothing), it is back as it was; once a recording runs, it is
// gone, and nothing of it stays in the folder.
TEST_F(RecordingNames, AnOlderFileAnsweredYesComesBackWhenTheStartFailsAndGoesOnceItRuns) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    Confirm(true);
    const path file = form->NextVideoFile;
    std::filesystem::create_directories(file.parent_path());
    { std::ofstream(file) << "older recording"; }
    auto inFolder = [&] {
        std::vector<path> names;
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) names.push_back(entry.path());
        return names;
    };
    {
        recording_test::TestSettings disk;
        disk.Set(standins::kTestByteLimitValue, 0);
        answers = {classlib::mrYes};
        asked.clear();
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        ASSERT_EQ(2u, asked.size()) << "asked, then told the start was refused";
        EXPECT_EQ(0u, asked[1].Text.find(L"The capture could not start: ")) << asked[1].Text;
    }
    ASSERT_TRUE(exists(file)) << "the older file is back";
    EXPECT_EQ(15u, std::filesystem::file_size(file)) << "as it was";
    EXPECT_EQ(std::vector<path>{file}, inFolder());

    // What a copy killed while it deleted its older files left goes with this one; what a copy
    // still running deletes (this process's own, now) and what is no such file stays.
    const path folder = file.parent_path();
    const std::wstring own = classlib::IntToHex(GetCurrentProcessId(), 1);
    const path left = folder / L"Video_old.avi.FFFFFFF0.00002A.replaced";
    const path running = folder / (L"Video_run.avi." + own + L".00002B.replaced");
    const path foreign = folder / L"notes.1.replaced";
    for (const path& name : {left, running, foreign}) std::ofstream(name) << "older";
    answers = {classlib::mrYes};
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(file), 0), 8);
    std::vector<path> expected = {file, running, foreign};
    std::sort(expected.begin(), expected.end());
    auto sorted = [&] {
        std::vector<path> names = inFolder();
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_TRUE(PumpUntil([&] { return sorted() == expected; })) << testing::PrintToString(inFolder());
}

// A cut asks nothing and replaces an older file under the next name: when the new part cannot run,
// the older file is back as it was, and nothing of it is left aside in the folder.
TEST_F(RecordingNames, AnOlderFileACutReplacesComesBackWhenTheNewPartCannotRun) {
    auto* refusing = new RefusingAtStart;
    Microsoft::WRL::ComPtr<IBaseFilter> filter(refusing->BaseFilterInterface());
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(filter.Get(), L"Refusing at start"));
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    Confirm(false);
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    const path first = form->NextVideoFile;
    const path older = first.parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter) + L".wav");
    { std::ofstream(older) << "older recording"; }
    ASSERT_TRUE(WaitRecorded(5));
    refusing->Armed = true;
    asked.clear();
    form->acCouper->Execute();
    ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1; })) << "still capturing";
    refusing->Armed = false;
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->RemoveFilter(filter.Get()));
    EXPECT_EQ(1u, asked.size()) << "the failed cut is told";
    ASSERT_TRUE(exists(older)) << "the older file is back";
    EXPECT_EQ(15u, std::filesystem::file_size(older)) << "as it was";
    std::vector<path> names;
    for (const auto& entry : std::filesystem::directory_iterator(first.parent_path())) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<path>{first, older}), names);
}

// The writer's failure reaches the window just before the user's cut: it ends the part before the
// cut and is told for that part; the new part, healthy, records on to its stop, and a failure of
// its own is still told and stops it.
TEST_F(RecordingNames, AFailureToldBeforeACutDoesNotStopTheNewPart) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path first = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    bool heard = false;
    auto tell = module->fg->OnGraphErrorAbort;
    module->fg->OnGraphErrorAbort = [&](classlib::TObject* Sender, HRESULT Result) {
        tell(Sender, Result);
        heard = true;
    };
    ASSERT_HRESULT_SUCCEEDED(Notify(EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)));
    // The window has posted itself the failure, and the cut comes before it is handled.
    ASSERT_TRUE(PumpOneUntil([&] { return heard; }));
    asked.clear();
    form->acCouper->Execute();
    const path second = form->NextVideoFile;
    ASSERT_NE(first, second);
    ASSERT_TRUE(WaitRecorded(15)) << "the new part goes on";
    EXPECT_EQ(2, form->CaptureState);
    EXPECT_TRUE(form->RecordingOpen());
    ASSERT_EQ(1u, asked.size()) << "told once, for the part before the cut";
    EXPECT_EQ(0u, asked[0].Text.find(L"The capture into " + first.wstring() + L" has been stopped: ")) << asked[0].Text;

    heard = false;
    ASSERT_HRESULT_SUCCEEDED(Notify(EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)));
    ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1; })) << "a failure of the new part stops it";
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(0u, asked[1].Text.find(L"The capture into " + second.wstring() + L" has been stopped: ")) << asked[1].Text;
    EXPECT_GE(Packets(ProbeWhole(first), 0), 8);
    EXPECT_GE(Packets(ProbeWhole(second), 0), 12);
}

}  // namespace
}  // namespace recording_ui
