// A recording's file and the files around it: a file another program (another copy of this one)
// takes after the start's checks, before the writer could open it, is left alone and the recording
// goes on under the next free name, never told as kept (the older file it replaced is kept beside
// it, and said so); an older file answered Yes stays whole until the recording has begun and comes
// back when nothing was recorded, at a start or a cut; a read-only one is refused and kept; and a
// write failure told just before a cut belongs to the part before the cut, not to the new one.
#include "recording_names_fixture.h"

#include <evcode.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "tests/common/left_aside.h"
#include "tests/common/older_file.h"

#include "classlib/conversions.h"
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


// The name was free at the start's checks, but another program took it before the writer could
// open it: nothing of this recording is in that file, so nothing says it was kept; the file is
// left alone and off the clip list, and the recording goes on under the next free name.
TEST_F(RecordingNames, AFileTakenBeforeTheWriterOpensItIsLeftAndTheNextFreeNameRecords) {
    struct Case {
        const wchar_t* video;
        const wchar_t* sound;
        std::uint8_t format;
        const wchar_t* extension;
        bool sceneList;  // the older recording has its scene list beside it
    };
    for (const Case& c : {Case{L"", kMicrophone, 11, L".wav", false}, Case{kCamera, kMicrophone, 5, L".avi", false},
                          Case{kDVVideo, kDVSound, 2, L".avi", true}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        auto* taking = new TakingAtStart;
        Microsoft::WRL::ComPtr<IBaseFilter> filter(taking->BaseFilterInterface());
        ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(filter.Get(), L"Taking at start"));
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        Confirm(false);
        const path prepared = form->NextVideoFile;
        // The older file the start replaces cannot go back under its taken name: it is kept
        // beside it, its scene list with it, and the user told where.
        std::filesystem::create_directories(prepared.parent_path());
        { std::ofstream(prepared) << "older recording"; }
        const path olderScenes = path(prepared).replace_extension(L".scn");
        if (c.sceneList) std::ofstream(olderScenes) << "older scenes";
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
        std::wstring told = L"The older file " + prepared.wstring() + L" could not be put back under its name: it is kept as " +
                            olderKept.wstring() + L".";
        if (c.sceneList)
            told += L"\r\nThe older file " + olderScenes.wstring() + L" could not be put back under its name: it is kept as " +
                    path(olderKept).replace_extension(L".scn").wstring() + L".";
        EXPECT_EQ(told, asked[0].Text);
        EXPECT_EQ("older recording", quill_test::ReadWholeFile(olderKept));
        if (c.sceneList) {
            EXPECT_EQ("older scenes", quill_test::ReadWholeFile(path(olderKept).replace_extension(L".scn")))
                << "the scene list stays with its recording";
        }
        EXPECT_GE(Packets(ProbeWhole(recorded), 0), 8);
        EXPECT_TRUE(Listed(recorded));
        EXPECT_FALSE(Listed(prepared)) << "the other program's file is not listed";
        EXPECT_FALSE(exists(olderScenes)) << "no scene list describes the other program's file";
        taking->held.reset();
        EXPECT_EQ(5u, std::filesystem::file_size(prepared)) << "the other program's file is left alone";
        ASSERT_HRESULT_SUCCEEDED(module->Graph()->RemoveFilter(filter.Get()));
    }
}

// An older file answered Yes is moved out of the writer's way while the recording starts, with its
// scene list (which belongs to it), and kept whole until the recording has written something:
// whatever refuses the start, a disk that takes nothing or a sound input that tells in the start's
// first moment that it could not open, or when the recording stays frozen from its start to its
// stop, both are back byte for byte, alike for a picture format, a DV one and a sound one; once a
// recording runs, they are gone, and nothing of them stays in the folder. A read-only older file
// is refused as a file that cannot be written, and kept, and so is a user's read-only scene list
// where a DV recording would make its own, with no empty recording left beside it.
TEST_F(RecordingNames, AnOlderFileStaysWholeUntilTheRecordingHasBegunAndComesBackWhenNothingWasRecorded) {
    const std::string olderBytes = [] {
        std::string bytes;
        while (bytes.size() < 300000) bytes += quill_test::kOlderFileText;
        return bytes;
    }();
    const std::string olderScenes(49, 's');
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
        const wchar_t* sound;
        std::uint8_t format;
        int refusal;  // 0 the disk takes nothing, 1 the sound input does not open, 2 frozen throughout
    };
    for (const Case& c : {Case{kCamera, kMicrophone, 5, 0}, Case{kCamera, kMicrophone, 5, 1}, Case{L"", kMicrophone, 11, 1},
                          Case{kDVVideo, kDVSound, 2, 0}, Case{kDVVideo, kDVSound, 2, 2}}) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.format) << " refused by " << c.refusal);
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        Confirm(true);
        const path file = form->NextVideoFile;
        writeOlder(file);
        // A DV recording's scene list is beside it.
        const path scenes = path(file).replace_extension(L".scn");
        const bool dv = c.format == 2;
        if (dv) std::ofstream(scenes, std::ios::binary) << olderScenes;
        recording_test::TestSettings disk;
        if (c.refusal == 0) disk.Set(standins::kTestByteLimitValue, 0);
        if (c.refusal == 2) form->taFreezeCapture->Execute();
        answers = {classlib::mrYes};
        asked.clear();
        Capture();
        if (c.refusal == 1) {
            // Told by the input while the recording begins, after the graph took the start.
            ASSERT_HRESULT_SUCCEEDED(Notify(EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_Open, MMSYSERR_ALLOCATED));
            ASSERT_HRESULT_SUCCEEDED(Notify(EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_BUSY)));
        }
        if (c.refusal == 2) {
            ASSERT_EQ(2, form->CaptureState);
            const unsigned previewed = module->ControlPreviewVideo->SampleCounter();
            ASSERT_TRUE(PumpUntil([&] { return module->ControlPreviewVideo->SampleCounter() >= previewed + 5; }));
            Capture();
        }
        ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1 && asked.size() >= 2; }))
            << "still recording: " << testing::PrintToString(asked.size() > 1 ? asked[1].Text : std::wstring());
        ASSERT_EQ(2u, asked.size()) << testing::PrintToString(asked.back().Text);
        const std::wstring why = c.refusal == 2   ? L"Nothing was recorded into " + file.wstring()
                                 : c.refusal == 1 ? L"The capture could not start: the sound input " + std::wstring(c.sound) +
                                                        L" could not be opened: "
                                                  : L"The capture could not start: the file " + file.wstring() +
                                                        L" cannot be written: Disk full";
        EXPECT_EQ(0u, asked[1].Text.find(why)) << testing::PrintToString(asked[1].Text);
        std::vector<path> expected{file};
        if (dv) expected.push_back(scenes);
        std::sort(expected.begin(), expected.end());
        EXPECT_TRUE(PumpUntil([&] { return inFolder(file.parent_path()) == expected; }))
            << "the older files alone: " << testing::PrintToString(inFolder(file.parent_path()));
        EXPECT_EQ(olderBytes, quill_test::ReadWholeFile(file)) << "the older file, byte for byte";
        if (dv) {
            EXPECT_EQ(olderScenes, quill_test::ReadWholeFile(scenes)) << "its scene list, byte for byte";
        }
        if (c.refusal == 2) {
            form->taFreezeCapture->Execute();
            EXPECT_EQ(file.wstring(), form->NextVideoFile) << "the name that recorded nothing is taken again";
        }
        std::filesystem::remove(file);
        std::filesystem::remove(scenes);
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

    // A user's read-only scene list alone where a DV recording makes its own: refused the same,
    // with no empty recording left beside it, and the list as it was.
    std::filesystem::remove(file);
    std::filesystem::remove(readOnly);
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, 2));
    const path dvFile = form->NextVideoFile;
    ASSERT_FALSE(exists(dvFile));
    const path userScenes = path(dvFile).replace_extension(L".scn");
    std::ofstream(userScenes, std::ios::binary) << olderScenes;
    ASSERT_TRUE(SetFileAttributesW(userScenes.c_str(), FILE_ATTRIBUTE_READONLY));
    asked.clear();
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(0u, asked[0].Text.find(L"The capture could not start: the file " + userScenes.wstring() + L" cannot be written: "))
        << testing::PrintToString(asked[0].Text);
    EXPECT_FALSE(exists(dvFile)) << "an empty recording beside the user's scene list";
    EXPECT_EQ(olderScenes, quill_test::ReadWholeFile(userScenes));
    SetFileAttributesW(userScenes.c_str(), FILE_ATTRIBUTE_NORMAL);
}

using quill_test::LeaveAside;

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
    // Beside the name, its claim.
    const path claim = longName.wstring() + L".~quillotrane-claim";
    EXPECT_TRUE(exists(claim));
    std::vector<std::wstring> aside;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path() != longName && entry.path() != claim) aside.push_back(entry.path().filename().wstring());
    std::sort(aside.begin(), aside.end());
    // The record, the recording's first name (its witness), and the older file.
    ASSERT_EQ(3u, aside.size()) << testing::PrintToString(aside);
    EXPECT_EQ(0u, aside[0].find(L"~quillotrane.")) << aside[0];
    EXPECT_NE(std::wstring::npos, aside[0].find(L".~quillotrane-name"));
    EXPECT_NE(std::wstring::npos, aside[1].find(L".~quillotrane-new"));
    EXPECT_TRUE(ui::FileIdentity((folder / aside[1]).wstring()).SameFile(ui::FileIdentity(longName.wstring())))
        << "the recording under its first name";
    EXPECT_NE(std::wstring::npos, aside[2].find(L".~quillotrane-older"));
    EXPECT_EQ(olderBytes.size(), std::filesystem::file_size(folder / aside[2])) << "whole, aside";
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(longName), 0), 1);
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(longName)));
    EXPECT_TRUE(PumpUntil([&] {
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
        return files == 1;
    })) << "the older file and its name went with it";

    // A killed copy's older file of a name too long to carry " (older)", whose recording there holds
    // sound: the start's sweep keeps it beside under a shortened name that fits, says so once, and
    // the start records under the long name.
    const std::wstring longest = std::wstring(250, L'w') + L".wav";
    std::string sound("RIFF\x34\x1F\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0data\x10\x1F\0\0",
                      44);
    sound += std::string(8000, '\0');
    std::ofstream(folder / longest, std::ios::binary) << sound;
    LeaveAside(folder, longest, "older, longest name", 1, true, true);
    form->NextVideoFile = (folder / longest).wstring();
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState) << (asked.empty() ? std::wstring() : asked.back().Text);
    const path keptLongest = folder / (std::wstring(243, L'w') + L" (older).wav");
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"The older file " + (folder / longest).wstring() + L" could not be put back under its name: it is kept as " +
                  keptLongest.wstring() + L".",
              asked[0].Text);
    EXPECT_EQ("older, longest name", quill_test::ReadWholeFile(keptLongest));
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(folder / longest), 0), 1);
    EXPECT_EQ(1u, asked.size()) << "told once";
}

// An older file a copy holds aside is its alone until it settles it: no other program opens it to
// rename or delete it, no sweep takes it for a killed copy's, and the copy puts it back. Replacing
// is for the files asked about: one written since, or one arrived at a name that was free, is not
// moved.
TEST_F(RecordingNames, AnOlderFileHeldAsideIsItsCopysAloneAndOnlyTheFilesAskedAboutAreReplaced) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    const path folder = path(form->NextVideoFile).parent_path();
    std::filesystem::create_directories(folder);
    const path name = folder / L"Video_stuck.wav";
    const path claim = folder / L"Video_stuck.wav.~quillotrane-claim";
    std::ofstream(name) << "older";
    {
        ui::TRecordingPart part(name.wstring());
        ASSERT_TRUE(part.Take(nullptr, false));
        path aside;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().wstring().find(L".~quillotrane-older") != std::wstring::npos) aside = entry.path();
        ASSERT_FALSE(aside.empty());
        HANDLE other = CreateFileW(aside.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, other) << "another program opened it to move it";
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        EXPECT_FALSE(MoveFileExW(aside.c_str(), (folder / L"moved.wav").c_str(), 0));
        EXPECT_TRUE(ui::SweepReplacedFiles(folder.wstring()).Words.empty());
        EXPECT_TRUE(exists(aside));
        // Its recording too is a running copy's file: in use, never offered for replacing. Other
        // copies know it by its name's claim: those of other logons by the claim's file beside it,
        // locked. The part's own hold on the recording refuses no writer, not even one that shares
        // it with nobody.
        HANDLE claimFile = CreateFileW(claim.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, claimFile);
        EXPECT_TRUE(ui::HeldByRunningCopy(claimFile));
        if (claimFile != INVALID_HANDLE_VALUE) CloseHandle(claimFile);
        HANDLE writer = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, writer) << GetLastError();
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        std::wstring told;
        EXPECT_TRUE(part.Settle(ui::TRecordingPart::ofWhenEmpty, true, told));
        EXPECT_EQ(L"", told);
        EXPECT_FALSE(ui::FileInUse(name.wstring())) << "settled";
    }
    EXPECT_FALSE(exists(claim)) << "the claim's file goes with the claim";
    // One left by a copy that ended without removing it (a power cut) claims nothing: the next
    // claim of the name takes it over, and it goes with that claim.
    std::ofstream(claim).put('\0');
    EXPECT_FALSE(ui::FileInUse(name.wstring()));
    {
        ui::TRecordingClaim taken(name.wstring());
        EXPECT_TRUE(taken.First());
    }
    EXPECT_FALSE(exists(claim));
    EXPECT_EQ("older", quill_test::ReadWholeFile(name));
    std::vector<path> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path());
    EXPECT_EQ(std::vector<path>{name}, names) << "nothing left aside";

    // A part that goes unsettled (the program ends) while its older file cannot go back under its
    // name (the recording there holds a little, too little to be sure of) keeps it beside the
    // name, and its record tells the next start where, as nobody told it.
    const path unsettled = folder / L"Video_unsettled.wav";
    std::ofstream(unsettled) << "older, unsettled";
    {
        ui::TRecordingPart part(unsettled.wstring());
        ASSERT_TRUE(part.Take(nullptr, false));
        std::string little("RIFF\x2E\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0data\x0A\0\0\0",
                           44);
        little += std::string(10, '\0');
        HANDLE writer = CreateFileW(unsettled.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, writer);
        DWORD written = 0;
        WriteFile(writer, little.data(), static_cast<DWORD>(little.size()), &written, nullptr);
        CloseHandle(writer);
    }
    const path keptUnsettled = folder / L"Video_unsettled (older).wav";
    EXPECT_EQ("older, unsettled", quill_test::ReadWholeFile(keptUnsettled));
    {
        const ui::TSweepTold sweep = ui::SweepReplacedFiles(folder.wstring());
        ASSERT_EQ(1u, sweep.Words.size());
        EXPECT_EQ(L"The older file " + unsettled.wstring() + L" could not be put back under its name: it is kept as " +
                      keptUnsettled.wstring() + L".",
                  sweep.Words[0]);
    }
    EXPECT_TRUE(ui::SweepReplacedFiles(folder.wstring()).Words.empty()) << "told once";
    std::filesystem::remove(unsettled);
    std::filesystem::remove(keptUnsettled);

    const ui::TNamedFiles asked = ui::FilesAt(name.wstring());
    std::ofstream(name, std::ios::app) << ", and more since";
    ui::TRecordingPart changed(name.wstring());
    EXPECT_FALSE(changed.Take(&asked, false));
    EXPECT_TRUE(changed.Changed());
    EXPECT_EQ("older, and more since", quill_test::ReadWholeFile(name));
    const path arrived = folder / L"Video_arrived.wav";
    const ui::TNamedFiles none = ui::FilesAt(arrived.wstring());
    std::ofstream(arrived) << "arrived";
    ui::TRecordingPart late(arrived.wstring());
    EXPECT_FALSE(late.Take(&none, false));
    EXPECT_TRUE(late.Changed());
    EXPECT_EQ("arrived", quill_test::ReadWholeFile(arrived));
}

// Without a capture format nothing is recorded: a file at the recording's name is nobody's to
// remove, however empty, and the scene list of a DV source is made new beside it, never written
// over an older one there.
TEST_F(RecordingNames, WithoutAFormatNoFileAtTheNameIsWrittenOverOrRemoved) {
    for (std::uint8_t format : {0, 10}) {
        SCOPED_TRACE(static_cast<int>(format));
        ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, format));
        Confirm(false);
        const path name = form->NextVideoFile;
        const path scenes = path(name).replace_extension(L".scn");
        std::filesystem::create_directories(name.parent_path());
        { std::ofstream touch(name); }
        std::ofstream(scenes, std::ios::binary) << "older scenes";
        asked.clear();
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        const unsigned previewed = module->ControlPreviewVideo->SampleCounter();
        ASSERT_TRUE(PumpUntil([&] { return module->ControlPreviewVideo->SampleCounter() >= previewed + 10; }));
        Capture();
        ASSERT_EQ(1, form->CaptureState);
        EXPECT_TRUE(exists(name)) << "the empty file at the name";
        EXPECT_EQ("older scenes", quill_test::ReadWholeFile(scenes));
        std::filesystem::remove(name);
        std::filesystem::remove(scenes);
    }
}

// A folder that cannot be written (nothing can be made, renamed or removed in it) never costs an
// older file, and the user reads its own name: a start that cannot make its file is refused for
// the file the user knows; a recording whose folder became so while it ran keeps the older file
// aside, whole, and its stop says where; once the folder can be written again, the next start
// keeps it beside the recording and says so.
TEST_F(RecordingNames, AFolderThatCannotBeWrittenKeepsTheOlderFileAndSaysWhereItIs) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    Confirm(false);
    const path name = form->NextVideoFile;
    const path folder = name.parent_path();
    std::filesystem::create_directories(folder);
    std::ofstream(name) << "older recording";
    {
        TUnwritableFolder locked(folder);
        if (!locked.Made()) GTEST_SKIP() << "no folder can be made unwritable here (chattr needs root)";
        asked.clear();
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        ASSERT_EQ(1u, asked.size());
        EXPECT_EQ(0u, asked[0].Text.find(L"The capture could not start: the file " + name.wstring() + L" cannot be written: "))
            << asked[0].Text;
    }
    EXPECT_EQ("older recording", quill_test::ReadWholeFile(name));
    std::vector<path> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path());
    EXPECT_EQ(std::vector<path>{name}, names);

    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_EQ(name.wstring(), form->NextVideoFile);
    path aside;
    {
        TUnwritableFolder locked(folder);
        ASSERT_TRUE(locked.Made());
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().wstring().find(L".~quillotrane-older") != std::wstring::npos) aside = entry.path();
        ASSERT_FALSE(aside.empty()) << "the older file was given up before the folder was locked";
        // Long enough for the older file to be given up, were the folder writable.
        ASSERT_TRUE(WaitRecorded(100));
        Capture();
        ASSERT_EQ(1, form->CaptureState);
        ASSERT_EQ(1u, asked.size());
        EXPECT_EQ(widgets::TMsgDlgType::mtInformation, asked[0].Type);
        EXPECT_EQ(L"The older file " + name.wstring() +
                      L", which the recording replaces, could not be removed: its folder cannot be written. It stays "
                      L"whole as " +
                      aside.wstring() + L", and goes back beside its name when Quillotrane next starts with the folder writable.",
                  asked[0].Text);
        EXPECT_EQ("older recording", quill_test::ReadWholeFile(aside));
    }
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    const path kept = folder / (name.stem().wstring() + L" (older).wav");
    ASSERT_LE(1u, asked.size());
    EXPECT_EQ(L"The older file " + name.wstring() + L" could not be put back under its name: it is kept as " + kept.wstring() + L".",
              asked[0].Text);
    EXPECT_EQ("older recording", quill_test::ReadWholeFile(kept));
    EXPECT_GE(Packets(ProbeWhole(name), 0), 1) << "the recording stays";
    Capture();
    ASSERT_EQ(1, form->CaptureState);

    // The close of a recording whose folder became so says it too.
    const path closing = form->NextVideoFile;
    std::ofstream(closing) << "older, at the close";
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_EQ(closing.wstring(), form->NextVideoFile);
    {
        TUnwritableFolder locked(folder);
        ASSERT_TRUE(locked.Made());
        ASSERT_TRUE(WaitRecorded(100));
        bool canClose = true;
        form->FormCloseQuery(form.get(), canClose);
        EXPECT_TRUE(canClose);
        ASSERT_EQ(1u, asked.size());
        EXPECT_EQ(0u, asked[0].Text.find(L"The older file " + closing.wstring() +
                                         L", which the recording replaces, could not be removed: its folder cannot be "
                                         L"written. It stays whole as "))
            << asked[0].Text;
    }
}

// On a disk short of room, the recording that fills it goes on in the room of the older file it
// replaces, which the user agreed to give: the name stays claimed until that older file is
// settled, so that no other copy (here a thread that tries all the while) takes it meanwhile.
TEST_F(RecordingNames, ARecordingGoingOnInAnOlderFilesRoomHoldsItsNameUntilTheOlderFileIsSettled) {
    wchar_t volume[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QUILL_TEST_SMALL_VOLUME", volume, MAX_PATH) == 0)
        GTEST_SKIP() << "no small volume (scripts/test.sh mounts one when it runs as root)";
    const path folder = path(volume) / L"names";
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    struct TClean {
        path Folder;
        ~TClean() {
            std::error_code ec;
            std::filesystem::remove_all(Folder, ec);
        }
    } clean{folder};
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    Confirm(false);
    const path name = folder / L"Video_room.avi";
    ASSERT_TRUE(quill_test::WriteOlderFile(name, 40u << 20));
    ASSERT_TRUE(quill_test::FillVolume(folder.wstring() + L"\\", 8u << 20)) << "the volume is not full";
    const auto asideThere = [&] {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            if (entry.path().wstring().find(L".~quillotrane-older") != std::wstring::npos) return true;
        return false;
    };
    form->NextVideoFile = name.wstring();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(asideThere());
    std::atomic<bool> taken{false}, done{false};
    std::thread other([&] {
        while (!done) {
            const bool before = asideThere();
            ui::TRecordingClaim claim(name.wstring());
            if (claim.First() && before && asideThere()) taken = true;
        }
    });
    // The disk refuses more: the first part is kept and the recording goes on in the older file's
    // room, under the next name.
    const bool wentOn =
        PumpUntil([&] { return !asideThere() && form->NextVideoFile != name.wstring() && form->CaptureState == 2; }, 60000);
    done = true;
    other.join();
    EXPECT_TRUE(wentOn) << "the recording did not go on in the older file's room";
    EXPECT_FALSE(taken) << "the name was free for another copy while the older file was aside";
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(name)));
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
    // And a folder under the name after it: both names are passed over, and both are told.
    const path aFolder = first.parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter + 1) + L".wav");
    std::filesystem::create_directory(aFolder);
    ASSERT_TRUE(WaitRecorded(5));
    asked.clear();
    form->acCouper->Execute();
    ASSERT_EQ(2, form->CaptureState) << "the recording goes on";
    const path next = form->NextVideoFile;
    EXPECT_NE(readOnly, next);
    EXPECT_NE(aFolder, next);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"The capture goes on into " + next.wstring() + L": the file " + readOnly.wstring() +
                  L" cannot be written: ",
              asked[0].Text.substr(0, asked[0].Text.find(L"written: ") + 9));
    EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"\r\na folder has the name of the file " + aFolder.wstring() + L"."))
        << asked[0].Text;
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    EXPECT_EQ(15u, std::filesystem::file_size(readOnly));
    EXPECT_GT(std::filesystem::file_size(running), 1000u) << "the part before the cut is kept";
    EXPECT_GT(std::filesystem::file_size(next), 1000u) << "and the part after it";
    names.clear();
    for (const auto& entry : std::filesystem::directory_iterator(first.parent_path())) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    std::vector<path> expected{first, older, running, readOnly, aFolder, next};
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
