// A recording's file and the files around it: a file another program (another copy of this one)
// takes after the start's checks, before the writer could open it, is left alone and the recording
// goes on under the next free name, never told as kept (the older file it replaced is kept beside
// it, and said so); an older file answered Yes stays whole until the recording has begun and comes
// back when nothing was recorded, at a start or a cut; a read-only one is refused and kept; the
// older files that killed copies left are settled, never a user's file nor one a copy still holds;
// and a write failure told just before a cut belongs to the part before the cut, not to the new one.
#include "recording_ui_support.h"

#include <evcode.h>

#include <fstream>

#include "tests/common/older_file.h"

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
        Confirm(false);
        const path prepared = form->NextVideoFile;
        // The older file the start replaces cannot go back under its taken name: it is kept
        // beside it, and the user told where.
        std::filesystem::create_directories(prepared.parent_path());
        { std::ofstream(prepared) << "older recording"; }
        const path olderKept = path(prepared).replace_filename(prepared.stem().wstring() + L" (older)" + c.extension);
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
        ASSERT_EQ(1u, asked.size()) << "nothing told of the recording, kept or not";
        EXPECT_EQ(L"The older file " + prepared.wstring() + L" could not be put back under its name: it is kept as " +
                      olderKept.wstring() + L".",
                  asked[0].Text);
        EXPECT_EQ("older recording", quill_test::ReadWholeFile(olderKept));
        EXPECT_GE(Packets(ProbeWhole(recorded), 0), 8);
        EXPECT_TRUE(Listed(recorded));
        EXPECT_FALSE(Listed(prepared)) << "the other program's file is not listed";
        EXPECT_FALSE(exists(path(prepared).replace_extension(L".scn")));
        taking->held.reset();
        EXPECT_EQ(5u, std::filesystem::file_size(prepared)) << "the other program's file is left alone";
        ASSERT_HRESULT_SUCCEEDED(module->Graph()->RemoveFilter(filter.Get()));
    }
}

// An older file answered Yes is moved out of the writer's way while the recording starts, and kept
// whole until the recording has written something: whatever refuses the start, a disk that takes
// nothing or a sound input that tells in the start's first moment that it could not open, it is
// back byte for byte and the start is told as refused, alike for a picture format and a sound one; once a recording runs, it is gone, and nothing of it stays in
// the folder. A read-only older file is refused as a file that cannot be written, and kept.
TEST_F(RecordingNames, AnOlderFileStaysWholeUntilTheRecordingHasBegunAndComesBackWhenNothingWasRecorded) {
    const std::string olderBytes = [] {
        std::string bytes;
        while (bytes.size() < 300000) bytes += quill_test::kOlderFileText;
        return bytes;
    }();
    auto writeOlder = [&](const path& File) {
        std::filesystem::create_directories(File.parent_path());
        std::ofstream(File, std::ios::binary) << olderBytes;
    };
    auto inFolder = [&](const path& Folder) {
        std::vector<path> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder)) names.push_back(entry.path());
        std::sort(names.begin(), names.end());
        return names;
    };
    struct Case {
        const wchar_t* video;
        std::uint8_t format;
        int refusal;  // 0 the disk takes nothing, 1 the sound input does not open
    };
    for (const Case& c : {Case{kCamera, 5, 0}, Case{kCamera, 5, 1}, Case{L"", 11, 1}}) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.format) << " refused by " << c.refusal);
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, kMicrophone, c.format));
        Confirm(true);
        const path file = form->NextVideoFile;
        writeOlder(file);
        recording_test::TestSettings disk;
        if (c.refusal != 1) disk.Set(standins::kTestByteLimitValue, 0);
        answers = {classlib::mrYes};
        asked.clear();
        Capture();
        if (c.refusal == 1) {
            // Told by the input while the recording begins, after the graph took the start.
            ASSERT_HRESULT_SUCCEEDED(Notify(EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_Open, MMSYSERR_ALLOCATED));
            ASSERT_HRESULT_SUCCEEDED(Notify(EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_BUSY)));
        }
        ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1 && asked.size() == 2; })) << "still recording";
        const std::wstring why = c.refusal == 1 ? std::wstring(L"the sound input ") + kMicrophone + L" could not be opened: "
                                                : L"the file " + file.wstring() + L" cannot be written: Disk full";
        EXPECT_EQ(0u, asked[1].Text.find(L"The capture could not start: " + why)) << testing::PrintToString(asked[1].Text);
        EXPECT_TRUE(PumpUntil([&] { return inFolder(file.parent_path()) == std::vector<path>{file}; }))
            << "the older file alone: " << testing::PrintToString(inFolder(file.parent_path()));
        EXPECT_EQ(olderBytes, quill_test::ReadWholeFile(file)) << "the older file, byte for byte";
        std::filesystem::remove(file);
    }

    // A recording that runs: the older file goes, and nothing of it stays in the folder.
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path file = form->NextVideoFile;
    writeOlder(file);
    answers = {classlib::mrYes};
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(file), 0), 8);
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(file)));
    EXPECT_TRUE(PumpUntil([&] { return inFolder(file.parent_path()) == std::vector<path>{file}; }))
        << testing::PrintToString(inFolder(file.parent_path()));

    // Read-only, the older file is its user's to keep: refused, with the question off too.
    Confirm(false);
    const path readOnly = form->NextVideoFile;
    writeOlder(readOnly);
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    asked.clear();
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"The capture could not start: the file " + readOnly.wstring() + L" cannot be written: ",
              asked[0].Text.substr(0, asked[0].Text.find(L"written: ") + 9));
    EXPECT_EQ(olderBytes, quill_test::ReadWholeFile(readOnly));
    EXPECT_NE(0u, GetFileAttributesW(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ((std::vector<path>{file, readOnly}), inFolder(file.parent_path())) << "nothing aside";
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Older files moved aside carry a mark of the program's in their names. Those that copies killed
// while they held them left are settled at the next start in their folder, and never deleted: back
// under their names when those are free (a recording there that holds nothing, as a killed copy
// leaves its growing header, gives the name up), else kept beside them under a name of their own,
// the user told once where. A name another copy claims is about to be written: nothing goes back
// there. An older file that a copy still holds aside stays, however old its times; files of the
// user's that only look alike stay.
TEST_F(RecordingNames, OnlyTheOlderFilesThatKilledCopiesLeftAreSettledAndNeverDeleted) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    Confirm(false);
    const path file = form->NextVideoFile;
    const path folder = file.parent_path();
    std::filesystem::create_directories(folder);
    // Held aside by a copy that runs (this process), a file last written long ago.
    const path heldName = folder / L"Video_held.avi";
    std::ofstream(heldName) << "held";
    const FILETIME longAgo{0x5C8A0000u, 0x01C0A000u};
    {
        HANDLE handle = CreateFileW(heldName.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        SetFileTime(handle, &longAgo, &longAgo, &longAgo);
        CloseHandle(handle);
    }
    auto held = std::make_unique<ui::TReplacedFile>(heldName.wstring());
    ASSERT_TRUE(held->Moved());
    EXPECT_EQ(0u, std::filesystem::file_size(heldName)) << "the recording's own file takes the name at once";
    const std::wstring mark = L".~quillotrane-older";
    // Left by copies that have ended (no process of that id runs now).
    auto leftOver = [&](const std::wstring& Name, int Number) {
        return folder / (Name + L".FFFFFFF0.00002" + std::to_wstring(Number) + mark);
    };
    const path backLeft = leftOver(L"Video_back.avi", 1), replacedLeft = leftOver(L"Video_took.avi", 2);
    const path headerLeft = leftOver(L"Video_header.wav", 3), claimedLeft = leftOver(L"Video_claimed.avi", 4);
    const path twiceLeft[] = {leftOver(L"Video_twice.avi", 5), leftOver(L"Video_twice.avi", 6)};
    for (const path& name : {backLeft, replacedLeft, headerLeft, claimedLeft, twiceLeft[0], twiceLeft[1]})
        std::ofstream(name) << "older";
    const path took = folder / L"Video_took.avi";
    std::ofstream(took) << "a recording that took the name";
    // A WAVE recording killed before its first sound: its header, whose data size grows from its
    // most.
    const path header = folder / L"Video_header.wav";
    {
        std::string bytes("RIFF\xFF\xFF\xFF\xFFWAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0data"
                          "\xFF\xFF\xFF\xFF",
                          44);
        std::ofstream(header, std::ios::binary) << bytes;
    }
    // A name too long to carry the mark: the short aside name, its own name kept beside it.
    const std::wstring longName = std::wstring(236, L'l') + L".avi";
    const path shortLeft = folder / (L"~quillotrane.FFFFFFF0.000030" + mark);
    std::ofstream(shortLeft) << "older, long name";
    {
        std::ofstream nameFile(folder / L"~quillotrane.FFFFFFF0.000030.~quillotrane-name", std::ios::binary);
        nameFile.write(reinterpret_cast<const char*>(longName.data()), longName.size() * sizeof(wchar_t));
    }
    // Another copy's claim on a name it is about to record into.
    ui::TRecordingClaim claim((folder / L"Video_claimed.avi").wstring());
    const std::vector<path> usersOwn = {folder / L"holiday.2024.05.replaced", folder / L"trip.avi.1.2.replaced",
                                        folder / L"backup.cafe.beef.replaced", folder / L"My Film.ABBA.01.replaced",
                                        folder / L"Clip.avi.7FFFFFFF.000001.replaced"};
    for (const path& name : usersOwn) std::ofstream(name) << "the user's";
    std::ofstream(file) << "older recording";
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    std::vector<path> expected = usersOwn;
    expected.insert(expected.end(), {file, folder / L"Video_back.avi", took, folder / L"Video_took (older).avi", header,
                                     folder / L"Video_claimed (older).avi", folder / L"Video_twice.avi",
                                     folder / L"Video_twice (older).avi", folder / longName, heldName});
    auto isHeldAside = [&](const path& Name) { return Name.wstring().find(L"Video_held.avi.") != std::wstring::npos; };
    auto settled = [&] {
        std::vector<path> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (!isHeldAside(entry.path())) names.push_back(entry.path());
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        return names == expected;
    };
    EXPECT_TRUE(PumpUntil(settled)) << testing::PrintToString(usersOwn);
    EXPECT_EQ("older", quill_test::ReadWholeFile(folder / L"Video_back.avi")) << "back under its name";
    EXPECT_EQ("older", quill_test::ReadWholeFile(header)) << "the killed recording's header gave the name up";
    EXPECT_EQ("older, long name", quill_test::ReadWholeFile(folder / longName));
    EXPECT_EQ("a recording that took the name", quill_test::ReadWholeFile(took));
    for (const wchar_t* kept : {L"Video_took (older).avi", L"Video_claimed (older).avi", L"Video_twice (older).avi"})
        EXPECT_EQ("older", quill_test::ReadWholeFile(folder / kept)) << kept;
    // Told once, at the start that found them.
    ASSERT_EQ(1u, asked.size());
    for (const wchar_t* name : {L"Video_took", L"Video_claimed", L"Video_twice"})
        EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"The older file " + (folder / name).wstring() +
                                                         L".avi could not be put back under its name: it is kept as " +
                                                         (folder / name).wstring() + L" (older).avi."))
            << asked[0].Text;
    EXPECT_EQ(L"", held->PutBack()) << "the copy that holds it puts it back, in place of its empty recording";
    EXPECT_EQ("held", quill_test::ReadWholeFile(heldName));
}

// An older file that cannot be moved out of the recording's way is never written over: one that
// another program holds without letting it be renamed (as a player holds what it plays) is in use,
// and the start records under the next free name. A name too long to carry the aside mark is moved
// aside under a short name of the program's, its own name kept beside it, and the older file goes
// as any other once the recording runs.
TEST_F(RecordingNames, AnOlderFileIsNeverWrittenOverInPlaceWhateverHoldsItOrHowLongItsNameIs) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    Confirm(false);
    const path played = form->NextVideoFile;
    const path folder = played.parent_path();
    std::filesystem::create_directories(folder);
    quill_test::WriteOlderFile(played, 1u << 20);
    const std::string olderBytes = quill_test::ReadWholeFile(played);
    HANDLE player = CreateFileW(played.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, player);
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    const path recording = form->NextVideoFile;
    EXPECT_NE(played, recording) << "the next free name";
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    CloseHandle(player);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(olderBytes, quill_test::ReadWholeFile(played));
    EXPECT_GE(Packets(ProbeWhole(recording), 0), 1);
    std::filesystem::remove(played);
    std::filesystem::remove(recording);

    const path longName = folder / (std::wstring(232, L'v') + L".wav");
    quill_test::WriteOlderFile(longName, 1u << 20);
    form->NextVideoFile = longName.wstring();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_EQ(longName, path(form->NextVideoFile));
    std::vector<std::wstring> aside;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path() != longName) aside.push_back(entry.path().filename().wstring());
    std::sort(aside.begin(), aside.end());
    ASSERT_EQ(2u, aside.size()) << testing::PrintToString(aside);
    EXPECT_EQ(0u, aside[0].find(L"~quillotrane.")) << aside[0];
    EXPECT_NE(std::wstring::npos, aside[0].find(L".~quillotrane-name"));
    EXPECT_NE(std::wstring::npos, aside[1].find(L".~quillotrane-older"));
    EXPECT_EQ(olderBytes.size(), std::filesystem::file_size(folder / aside[1])) << "whole, aside";
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(longName), 0), 1);
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(longName)));
    EXPECT_TRUE(PumpUntil([&] {
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
        return files == 1;
    })) << "the older file and its name went with it";
}

// A put-back that cannot rename the older file at all (another program holds it without letting it
// be renamed) says where it stays; the copy's mark goes with the put-back, and a later start finds
// it and keeps it beside its name, taken since: never deleted.
TEST_F(RecordingNames, AnOlderFileThatCouldNotBePutBackIsKeptByTheNextSweep) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    const path folder = path(form->NextVideoFile).parent_path();
    std::filesystem::create_directories(folder);
    const path name = folder / L"Video_stuck.wav";
    std::ofstream(name) << "older";
    ui::TReplacedFile older(name.wstring());
    ASSERT_TRUE(older.Moved());
    path aside;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().wstring().find(L".~quillotrane-older") != std::wstring::npos) aside = entry.path();
    ASSERT_FALSE(aside.empty());
    HANDLE holder = CreateFileW(aside.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const std::wstring told = older.PutBack();
    CloseHandle(holder);
    EXPECT_EQ(L"The older file " + name.wstring() + L" could not be put back under its name: it is kept as " +
                  aside.wstring() + L".",
              told);
    ASSERT_TRUE(exists(aside));
    std::ofstream(name) << "a recording of another program's";
    const std::vector<std::wstring> kept = ui::SweepReplacedFiles(folder.wstring());
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ("older", quill_test::ReadWholeFile(folder / L"Video_stuck (older).wav"));
    EXPECT_EQ("a recording of another program's", quill_test::ReadWholeFile(name));
    EXPECT_FALSE(exists(aside));

    // Replacing is for the file asked about: one written since is not moved.
    const ui::TFileIdentity asked = ui::FileIdentity(name.wstring());
    std::ofstream(name, std::ios::app) << ", and more since";
    ui::TReplacedFile changed(name.wstring(), &asked);
    EXPECT_TRUE(changed.Changed());
    EXPECT_FALSE(changed.Moved());
    EXPECT_EQ("a recording of another program's, and more since", quill_test::ReadWholeFile(name));
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

    // A read-only file under the next name is not written, as at a start; a cut asks nothing and
    // the recording waits: it goes on under the next name that can be written, and says which.
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    const path running = form->NextVideoFile;
    const path readOnly = first.parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter) + L".wav");
    { std::ofstream(readOnly) << "older recording"; }
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WaitRecorded(5));
    asked.clear();
    form->acCouper->Execute();
    ASSERT_EQ(2, form->CaptureState) << "the recording goes on";
    const path next = form->NextVideoFile;
    EXPECT_NE(readOnly, next);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"The capture goes on into " + next.wstring() + L": the file " + readOnly.wstring() +
                  L" cannot be written: ",
              asked[0].Text.substr(0, asked[0].Text.find(L"written: ") + 9));
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    EXPECT_EQ(15u, std::filesystem::file_size(readOnly));
    EXPECT_GT(std::filesystem::file_size(running), 1000u) << "the part before the cut is kept";
    EXPECT_GT(std::filesystem::file_size(next), 1000u) << "and the part after it";
    names.clear();
    for (const auto& entry : std::filesystem::directory_iterator(first.parent_path())) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    std::vector<path> expected{first, older, running, readOnly, next};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
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
