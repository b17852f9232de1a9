// Recordings as a user keeps them: one started over an older, longer file after "exists already" is
// answered Yes holds the new recording alone; one whose program is killed (a crash, a power cut)
// holds what was recorded and its header says how long it is, in every file format; and the older
// file that a killed program had moved aside is whole in the folder, settled when the program
// starts again.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/standins/dv_camcorder.h"
#include "tests/app/screen_pixels.h"
#include "tests/common/left_aside.h"
#include "tests/common/older_file.h"
#include "tests/common/recording_headers.h"
#include "tests/e2e/recordings_fixture.h"
#include "ui/recording_files.h"

namespace {

using namespace e2e_fixture;

std::uint32_t Le32(const std::string& Bytes, std::size_t At) {
    std::uint32_t v = 0;
    if (At + 4 <= Bytes.size()) std::memcpy(&v, Bytes.data() + At, 4);
    return v;
}

// A value of the test camcorder's key for the camcorders made while it lives.
class CamcorderSetting {
public:
    CamcorderSetting(const wchar_t* Name, DWORD Value) : name_(Name) {
        RegSetKeyValueW(HKEY_CURRENT_USER, standins::kDVCamcorderKey, Name, REG_DWORD, &Value, sizeof(Value));
    }
    ~CamcorderSetting() { RegDeleteKeyValueW(HKEY_CURRENT_USER, standins::kDVCamcorderKey, name_); }
    CamcorderSetting(const CamcorderSetting&) = delete;
    CamcorderSetting& operator=(const CamcorderSetting&) = delete;

private:
    const wchar_t* name_;
};

// How many bytes an AVI file's start takes before its first frame: the RIFF header, the header list
// and the frame list's own header; 0 when the file does not begin as an AVI file.
std::uint64_t AviStartBytes(const std::string& Bytes) {
    if (Bytes.size() < 24 || Bytes.compare(0, 4, "RIFF") != 0 || Bytes.compare(12, 4, "LIST") != 0) return 0;
    return 12 + 8 + std::uint64_t{Le32(Bytes, 16)} + 12;
}

// The files of Folder that a copy of the program moved aside, or gave up, with their records (their
// names carry its mark).
std::vector<std::wstring> MovedAside(const std::wstring& Folder) {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder, ec))
        if (entry.path().wstring().find(L".~quillotrane-") != std::wstring::npos) names.push_back(entry.path());
    return names;
}

// An older file of Bytes bytes at Name that takes no room (its end moved past what was written):
// its text at its start, nothing but holes after it.
bool SparseOlderFile(const std::wstring& Name, std::uint64_t Bytes) {
    HANDLE file = CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(Bytes);
    const bool made = WriteFile(file, quill_test::kOlderFileText, sizeof quill_test::kOlderFileText - 1, &written, nullptr) &&
                      SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return made;
}

class KeptRecordings : public Recordings {
protected:
    // Starts a recording with the Capture button, kills the program once Reached answers true
    // (questions answered No meanwhile) and waits until the file is let go.
    void RecordAndKill(const std::wstring& File, const std::function<bool()>& Reached, const char* Never) {
        {
            TProgram program;
            ASSERT_NO_FATAL_FAILURE(Start(program));
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            EXPECT_TRUE(e2e::WaitFor([&] {
                if (program.Message() != nullptr) program.AnswerMessage(L"No", nullptr, 0);
                return Reached();
            })) << Never;
            ASSERT_TRUE(TerminateProcess(program.Process(), 9));
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(program.Process(), 30000));
        }
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(File); }));
    }
    // Answers the program's messages (their texts added to Told) until Until answers true; false
    // when it never does.
    static bool AnsweringUntil(TProgram& Program, std::wstring& Told, const std::function<bool()>& Until) {
        return e2e::WaitFor([&] {
            if (Program.Message() != nullptr) {
                Told += Program.MessageText();
                Program.AnswerMessage(L"OK", nullptr, 0);
            }
            return Until();
        });
    }
    // Starts the copy and a recording with the Capture button (the question answered Yes when it
    // comes and Yes is set), the stand-in writer ending the process after Writes writes into the
    // recording's file (0: as it is made); returns once the process has ended.
    void RecordKilledAfterWrites(std::uint64_t Writes, bool Yes = false) {
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        TProcessTestSetting kill(program, standins::kTestKillAfterWritesValue, Writes);
        ASSERT_TRUE(kill.Set());
        ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
        if (Yes) {
            ASSERT_TRUE(program.AnswerMessage(L"Yes")) << "exists already: the question";
        }
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(program.Process(), 60000)) << "the program was never killed";
    }
    // Starts the copy, to be killed at the program's own kill point Point ("record write:3").
    void StartKilledAt(TProgram& Program, const std::wstring& Point, bool WaitReady = true) {
        SetEnvironmentVariableW(L"QUILL_TEST_KILL_AT", Point.c_str());
        const bool launched = Program.Launch(copy_.Exe());
        SetEnvironmentVariableW(L"QUILL_TEST_KILL_AT", nullptr);
        ASSERT_TRUE(launched) << testing::PrintToString(Program.Failure());
        if (WaitReady) {
            ASSERT_TRUE(Program.WaitReady()) << testing::PrintToString(Program.Failure());
        }
    }
    // Starts a recording with the Capture button over an older file of that name: the question
    // comes and is answered Yes.
    void StartOver(TProgram& Program, const std::wstring& File) {
        ASSERT_TRUE(quill_test::WriteOlderFile(File, 48u << 20));
        ASSERT_TRUE(Program.ClickButton(L"Capture")) << testing::PrintToString(Program.Failure());
        std::wstring caption;
        ASSERT_TRUE(Program.AnswerMessage(L"Yes", &caption)) << "exists already: the question";
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(File) < (48u << 20); })) << "the older file was not emptied";
    }
};

TEST_F(KeptRecordings, ARecordingOverAnOlderFileAnsweredYesIsTheNewRecordingAlone) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    ASSERT_NO_FATAL_FAILURE(StartOver(program, Clip(0)));
    ASSERT_TRUE(Growing(program, Clip(0), 3000000));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    // Sound alone, the next name over an older file too.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=no video stream", L"format_capture=Wav"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"Wav"; }));
    ASSERT_NO_FATAL_FAILURE(StartOver(program, Clip(1, L".wav")));
    ASSERT_TRUE(Growing(program, Clip(1, L".wav"), 200000));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1, L".wav")); }));
    EXPECT_TRUE(program.Close());

    const std::string avi = quill_test::ReadWholeFile(Clip(0));
    EXPECT_FALSE(quill_test::HoldsOlderFile(avi)) << "the older file's tail is in the AVI file";
    std::size_t at = 0;
    while (at + 8 <= avi.size() && avi.compare(at, 4, "RIFF") == 0) at += 8 + Le32(avi, at + 4);
    EXPECT_EQ(avi.size(), at) << "the AVI's RIFF parts end where the file ends";
    ReadBack(Clip(0), {"rawvideo", "pcm_s16le", "0x0001", false});
    const std::string wav = quill_test::ReadWholeFile(Clip(1, L".wav"));
    EXPECT_FALSE(quill_test::HoldsOlderFile(wav)) << "the older file's tail is in the WAV file";
    EXPECT_EQ(wav.size(), Le32(wav, 4) + 8u) << "the WAV's RIFF ends where the file ends";
    ReadBack(Clip(1, L".wav"), {nullptr, "pcm_s16le", "0x0001", false});

    // Killed while it empties the older file its recording replaced (a large one goes a step at a
    // time): the next start-up finishes what the user agreed to, and no part of the older file is
    // put back or said kept.
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    for (const std::wstring& file : {Clip(0), Clip(1, L".wav")}) ASSERT_TRUE(DeleteFileW(file.c_str()));
    ASSERT_TRUE(SparseOlderFile(Clip(0), 4ull << 30));
    {
        TProgram killed;
        ASSERT_NO_FATAL_FAILURE(Start(killed));
        ASSERT_TRUE(killed.ClickButton(L"Capture")) << testing::PrintToString(killed.Failure());
        ASSERT_TRUE(killed.AnswerMessage(L"Yes")) << "exists already: the question";
        // Given up, and emptied: the file marked so has begun to shrink.
        ASSERT_TRUE(e2e::WaitFor([&] {
            for (const std::wstring& name : MovedAside(Videos()))
                if (name.find(L".~quillotrane-gone") != std::wstring::npos && e2e::FileSize(name) < (4ull << 30))
                    return true;
            return false;
        })) << "the older file was never emptied: " << testing::PrintToString(MovedAside(Videos()));
        ASSERT_TRUE(TerminateProcess(killed.Process(), 9));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(killed.Process(), 30000));
    }
    TProgram again;
    ASSERT_NO_FATAL_FAILURE(Start(again));
    std::wstring said;
    EXPECT_TRUE(AnsweringUntil(again, said, [&] { return MovedAside(Videos()).empty(); }))
        << testing::PrintToString(MovedAside(Videos()));
    EXPECT_EQ(L"", said) << "nothing of the older file is said kept";
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(Videos())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::vector<std::wstring>{L"clip_0.avi"}, names);
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::FileStart(Clip(0)))) << "the killed recording keeps its name";
    EXPECT_TRUE(again.Close());
}

// The files of Folder, each whole.
std::vector<std::string> FilesHeld(const std::wstring& Folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder, ec))
        files.push_back(quill_test::ReadWholeFile(entry.path()));
    return files;
}

// Killed at any file event of a recording's first moments that replaces an older file (the file
// made, its header written, its first and later writes: the stand-in file writer ends the process
// there, as a crash does), in every format, the program leaves the older file whole in the folder,
// and the next start settles it without deleting anything: back under its name when the killed
// recording holds nothing, else beside it as "(older)", and the user is told where. Each start is
// the one that settles the kill before it.
TEST_F(KeptRecordings, AKillAtAnyFileEventLeavesTheOlderFileWholeAndTheNextStartSettlesIt) {
    struct TFormat {
        const wchar_t* Video;
        int Format;
        const wchar_t* Extension;
    };
    const TFormat formats[] = {{kCamera, 5, L".avi"},   {kCamera, 9, L".avi"},           {kCamera, 7, L".wmv"},
                               {kMpegCard, 3, L".mpg"}, {L"no video stream", 11, L".wav"}, {L"no video stream", 12, L".mp3"}};
    // The writes after which the process ends: 0 when the file is made.
    const std::uint64_t moments[] = {0, 1, 2, 6};
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    struct TKilled {
        std::string Older;
        std::wstring Name;
        std::uint64_t Moment = 0;
    };
    std::optional<TKilled> killed;
    // The older file of the last kill is in the folder, whole, and nothing is left aside.
    auto settled = [&](TProgram& Program) {
        std::wstring told;
        const bool done = e2e::WaitFor([&] {
            if (Program.Message() != nullptr) {
                told += Program.MessageText();
                Program.AnswerMessage(L"OK", nullptr, 0);
            }
            // Read only once nothing is aside: a file held open by a reader is settled by a later sweep.
            if (!MovedAside(Videos()).empty()) return false;
            const std::vector<std::string> held = FilesHeld(Videos());
            return std::find(held.begin(), held.end(), killed->Older) != held.end();
        });
        EXPECT_TRUE(done) << "the older file is not whole in the folder: " << testing::PrintToString(MovedAside(Videos()));
        // A recording killed as its file was made holds nothing: the older file is back under its name.
        if (killed->Moment == 0) {
            EXPECT_TRUE(killed->Older == quill_test::ReadWholeFile(killed->Name));
        }
        if (killed->Older != quill_test::ReadWholeFile(killed->Name)) {
            const std::wstring kept = killed->Name.substr(0, killed->Name.size() - 4) + L" (older)" +
                                      killed->Name.substr(killed->Name.size() - 4);
            EXPECT_TRUE(killed->Older == quill_test::ReadWholeFile(kept)) << "kept beside its name";
            // Told once the file is settled, which a busy machine may show a while after.
            const std::wstring said = L"it is kept as " + kept + L".";
            EXPECT_TRUE(e2e::WaitFor([&] {
                if (Program.Message() != nullptr) {
                    told += Program.MessageText();
                    Program.AnswerMessage(L"OK", nullptr, 0);
                }
                return told.find(said) != std::wstring::npos;
            })) << testing::PrintToString(told);
        }
    };
    int run = 0;
    for (const TFormat& f : formats) {
        for (std::uint64_t moment : moments) {
            SCOPED_TRACE(testing::Message() << "format " << f.Format << ", killed after " << moment << " writes");
            ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(f.Video, kMicrophone, f.Format, false)));
            TProgram program;
            ASSERT_NO_FATAL_FAILURE(Start(program));
            if (killed) {
                ASSERT_NO_FATAL_FAILURE(settled(program));
            }
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(Videos(), ec))
                std::filesystem::remove(entry.path(), ec);
            // An older file of a length of its own, so that it is told from every other one.
            killed = TKilled{std::string(), Clip(0, f.Extension), moment};
            ASSERT_TRUE(quill_test::WriteOlderFile(killed->Name, (1u << 20) + 512u * ++run));
            killed->Older = quill_test::ReadWholeFile(killed->Name);
            TProcessTestSetting kill(program, standins::kTestKillAfterWritesValue, moment);
            ASSERT_TRUE(kill.Set());
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(program.Process(), 60000)) << "the program was never killed";
            ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(killed->Name); }));
        }
    }
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    ASSERT_NO_FATAL_FAILURE(settled(program));
    // A copy killed long ago left one whose recording never came: its name is free.
    const std::wstring free = Clip(5);
    ASSERT_TRUE(quill_test::WriteOlderFile(free, 1u << 20));
    quill_test::LeaveAside(std::filesystem::path(Videos()).parent_path(), L"clip_5.avi", quill_test::ReadWholeFile(free), 1,
                           false);
    ASSERT_TRUE(DeleteFileW(free.c_str()));
    EXPECT_TRUE(program.Close());
    TProgram again;
    ASSERT_NO_FATAL_FAILURE(Start(again));
    EXPECT_TRUE(e2e::WaitFor([&] { return MovedAside(Videos()).empty(); }))
        << testing::PrintToString(MovedAside(Videos()));
    EXPECT_EQ(1u << 20, e2e::FileSize(free)) << "back under its free name";
    EXPECT_TRUE(again.Close());

    // A DV recording with its scene list, killed as its files were made over an older recording
    // and scene list; the user then deletes the empty scene list the kill left and saves one of
    // their own. The next start puts the older recording back, keeps the user's scene list, whose
    // file took the place of the killed copy's, and the older scene list beside it, and says so.
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamcorderVideo, kCamcorderSound, 2, false)));
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Videos(), ec)) std::filesystem::remove(entry.path(), ec);
    const std::wstring scenes = Clip(0, L".scn"), keptScenes = Videos() + L"clip_0 (older).scn";
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 1u << 20));
    const std::string olderRecording = quill_test::ReadWholeFile(Clip(0));
    { std::ofstream(std::filesystem::path(scenes), std::ios::binary) << "older scenes"; }
    ASSERT_NO_FATAL_FAILURE(RecordKilledAfterWrites(0));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    ASSERT_TRUE(DeleteFileW(scenes.c_str()));
    const std::string usersScenes(1600, 'u');
    { std::ofstream(std::filesystem::path(scenes), std::ios::binary) << usersScenes; }
    {
        TProgram next;
        ASSERT_NO_FATAL_FAILURE(Start(next));
        std::wstring told;
        EXPECT_TRUE(e2e::WaitFor([&] {
            if (next.Message() != nullptr) {
                told += next.MessageText();
                next.AnswerMessage(L"OK", nullptr, 0);
            }
            return MovedAside(Videos()).empty() && e2e::FileExists(keptScenes);
        })) << testing::PrintToString(MovedAside(Videos()));
        EXPECT_TRUE(next.Close());
        EXPECT_TRUE(usersScenes == quill_test::ReadWholeFile(scenes)) << "the user's own scene list";
        EXPECT_TRUE(olderRecording == quill_test::ReadWholeFile(Clip(0))) << "the older recording, back";
        EXPECT_EQ("older scenes", quill_test::ReadWholeFile(keptScenes));
        EXPECT_NE(std::wstring::npos, told.find(L"it is kept as " + keptScenes + L".")) << testing::PrintToString(told);
    }

    // A recording killed with its first pictures written over an older file; then its next start
    // killed at each step of writing the record that tells where the older file is kept beside
    // its name, one start after the other (each settling what the one before left). Every kill
    // leaves the record whole, its words before or after the step, and the older file whole under
    // the name it tells; the start that runs through keeps the older file beside its name and
    // says where.
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, false)));
    for (const auto& entry : std::filesystem::directory_iterator(Videos(), ec))
        std::filesystem::remove(entry.path(), ec);
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 2u << 20));
    const std::string olderClip = quill_test::ReadWholeFile(Clip(0));
    ASSERT_NO_FATAL_FAILURE(RecordKilledAfterWrites(6));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    ASSERT_TRUE(ui::RecordingHoldsMedia(Clip(0))) << "the killed recording holds its first pictures";
    const std::wstring keptClip = Videos() + L"clip_0 (older).avi";
    bool ranThrough = false;
    for (int step = 1; step <= 12 && !ranThrough; ++step) {
        SCOPED_TRACE(testing::Message() << "killed at the record's write step " << step);
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(StartKilledAt(program, L"record write:" + std::to_wstring(step), false));
        std::wstring told;
        ASSERT_TRUE(e2e::WaitFor([&] { return !program.Running() || program.Message() != nullptr; }))
            << "neither killed nor told";
        if (program.Running()) {
            // Every step passed: the older file is kept beside its name, and the user told where.
            ranThrough = true;
            told = program.MessageText();
            EXPECT_TRUE(program.AnswerMessage(L"OK"));
            ASSERT_TRUE(program.WaitReady()) << testing::PrintToString(program.Failure());
            EXPECT_NE(std::wstring::npos,
                      told.find(L"The older file " + Clip(0) +
                                L" could not be put back under its name: it is kept as " + keptClip + L"."))
                << testing::PrintToString(told);
            EXPECT_TRUE(e2e::WaitFor([&] { return MovedAside(Videos()).empty(); }))
                << testing::PrintToString(MovedAside(Videos()));
            EXPECT_TRUE(program.Close());
            EXPECT_TRUE(olderClip == quill_test::ReadWholeFile(keptClip)) << "kept beside its name, whole";
            break;
        }
        // The record is whole, and names where the older file is: aside, or kept beside its name.
        int records = 0;
        for (const std::wstring& marked : MovedAside(Videos())) {
            std::wstring stem;
            ui::TMarkedKind mark = ui::mkRecord;
            int kind = 0;
            const std::wstring file = std::filesystem::path(marked).filename().wstring();
            if (!ui::MarkedFile(file, stem, mark, kind) || mark != ui::mkRecord) continue;
            ++records;
            ui::TAsideRecord record;
            record.Folder = Videos();
            record.Stem = stem;
            ASSERT_EQ(ui::TAsideRecord::rdWhole, record.Read(quill_test::ReadWholeFile(marked)))
                << "the record is cut short";
            const std::wstring where =
                record.Kept[ui::pfRecording].empty() || !e2e::FileExists(Videos() + record.Kept[ui::pfRecording])
                    ? record.AsideFile(ui::pfRecording)
                    : Videos() + record.Kept[ui::pfRecording];
            EXPECT_TRUE(olderClip == quill_test::ReadWholeFile(where))
                << "the older file is not whole at " << testing::PrintToString(where);
        }
        EXPECT_EQ(1, records) << testing::PrintToString(MovedAside(Videos()));
    }
    EXPECT_TRUE(ranThrough) << "a start was killed at every step";

    // A file that only looks like one moved aside is told once, as information, and not again at
    // the next start while it stays as it is.
    const std::wstring lookAlike = Videos() + L"trip.2024.05.~quillotrane-older";
    { std::ofstream(std::filesystem::path(lookAlike)) << "the user's trip"; }
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        if (start == 0) {
            ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "nobody is told";
            EXPECT_NE(std::wstring::npos, program.MessageText().find(lookAlike)) << testing::PrintToString(program.MessageText());
            std::wstring caption;
            EXPECT_TRUE(program.AnswerMessage(L"OK", &caption));
            EXPECT_EQ(L"Information", caption);
        }
        EXPECT_TRUE(program.Close());
        EXPECT_TRUE(program.ShownAtClose().empty()) << testing::PrintToString(program.ShownAtClose());
    }
    EXPECT_EQ("the user's trip", quill_test::ReadWholeFile(lookAlike));
}

// On a volume whose only room is an older file's, a Yes gives the recording that room: the older
// file is given up where it is, its record made first. Killed at any file event of the recording
// that begins in that room, the program leaves no given-up file and nothing untold: the next start
// says nothing, nothing of the older file stays, and its room is the volume's again.
TEST_F(KeptRecordings, AKillAfterAYesOnAFullVolumeLeavesNoGivenUpFileAndNothingUntold) {
    const TSmallVolumeFolder volume(L"kept");
    if (volume.Path().empty()) GTEST_SKIP() << "no small volume (scripts/test.sh mounts one when it runs as root)";
    const std::wstring folder = volume.Path();
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettingsIn(folder, kCamera, kMicrophone, 5, true)));
    std::error_code ec;
    const std::wstring older = folder + L"clip_0.avi";
    // The next start settles what the killed copy left, and tells nothing.
    const auto nextStartSettlesUntold = [&] {
        TProgram next;
        ASSERT_NO_FATAL_FAILURE(Start(next));
        std::wstring said;
        EXPECT_TRUE(AnsweringUntil(next, said, [&] { return MovedAside(folder).empty(); }))
            << testing::PrintToString(MovedAside(folder));
        EXPECT_TRUE(next.Close());
        EXPECT_EQ(L"", said) << "nothing to tell";
        EXPECT_TRUE(next.ShownAtClose().empty()) << testing::PrintToString(next.ShownAtClose());
    };
    for (std::uint64_t moment : {0, 1, 3}) {
        SCOPED_TRACE(testing::Message() << "killed after " << moment << " writes");
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove(entry.path(), ec);
        ASSERT_TRUE(quill_test::WriteOlderFile(older, 40u << 20));
        ASSERT_TRUE(FillVolume(folder)) << "the volume is not full";
        ASSERT_NO_FATAL_FAILURE(RecordKilledAfterWrites(moment, true));
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(older); }));
        ASSERT_NO_FATAL_FAILURE(nextStartSettlesUntold());
        EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::FileStart(older))) << "nothing of the older file";
        EXPECT_TRUE(!e2e::FileExists(older) || ui::RecordingHoldsMedia(older))
            << "an empty recording is left at its name: " << e2e::FileSize(older) << " bytes";
        ULARGE_INTEGER free{};
        ASSERT_TRUE(GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr));
        EXPECT_GE(free.QuadPart + e2e::FileSize(older), 36ull << 20) << "the older file's room is the volume's";
    }

    // Room for a second or so: the recording begins over the older file, fills the volume, and the
    // program is killed once it has let its part's files go, before it gave the older file up.
    // The next start gives it up (the user said Yes and the recording had begun) and says
    // nothing: the room is the volume's again, and the recording holds what it wrote.
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove(entry.path(), ec);
    ASSERT_TRUE(quill_test::WriteOlderFile(older, 40u << 20));
    ASSERT_TRUE(FillVolume(folder, 8u << 20)) << "the volume is not full";
    {
        TProgram killed;
        ASSERT_NO_FATAL_FAILURE(StartKilledAt(killed, L"older room:1"));
        ASSERT_TRUE(killed.ClickButton(L"Capture")) << testing::PrintToString(killed.Failure());
        ASSERT_TRUE(killed.AnswerMessage(L"Yes")) << "exists already: the question";
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(killed.Process(), 60000)) << "the program was never killed";
    }
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(older); }));
    ASSERT_FALSE(MovedAside(folder).empty()) << "killed with the older file aside";
    ASSERT_NO_FATAL_FAILURE(nextStartSettlesUntold());
    EXPECT_FALSE(e2e::FileExists(folder + L"clip_0 (older).avi")) << "the older file is kept";
    EXPECT_TRUE(ui::RecordingHoldsMedia(older)) << "the recording keeps what it wrote";
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::FileStart(older)));
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr));
    EXPECT_GE(free.QuadPart, 36ull << 20) << "the older file's room is the volume's";
}

// Frozen from its start to its stop (the freeze kept from the last run, or asked for on the command
// line), a recording writes nothing: the user is told so at the stop, and no empty file is left.
TEST_F(KeptRecordings, ARecordingFrozenFromItsStartIsToldAtItsStopNotLeftEmpty) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, false)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, L"+fc +c"));
    ASSERT_TRUE(e2e::WaitFor([&] {
        return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Stop Capture" && e2e::FileExists(Clip(0));
    })) << "the recording did not start";
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "nobody is told";
    // Told as it is: the recording stopped, no file kept, the capture still frozen (the screen as the
    // user sees it is kept in the build folder).
    EXPECT_FALSE(quill_test::GrabWholeScreen(L"frozen_throughout.png").Pixels.empty());
    EXPECT_NE(std::wstring::npos,
              program.MessageText().find(L"Nothing was recorded into " + Clip(0) +
                                         L": the capture was frozen from its start to its stop. The recording is "
                                         L"stopped and no file is kept; the capture stays frozen until you resume it "
                                         L"(space bar).\r\n"))
        << testing::PrintToString(program.MessageText());
    EXPECT_TRUE(program.AnswerMessage(L"OK"));
    EXPECT_TRUE(e2e::WaitFor([&] { return !e2e::FileExists(Clip(0)); })) << "an empty recording is left";
    // The window shows the stop once the stop is through, which a busy machine takes a while to be.
    EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }))
        << testing::PrintToString(program.ButtonShown({L"Capture", L"Stop Capture"}));
    const int freeze = program.ToolButtonState(TProgram::kFreezeCaptureButton);
    EXPECT_TRUE(freeze >= 0 && (freeze & TBSTATE_CHECKED) != 0) << "the capture stays frozen";
    EXPECT_TRUE(program.Close());
}

// Killed while it records, the program leaves each format's file with the frames written and a
// header that tells them: the AVI header's frame count (plain AVI, DV type 2, DivX), the Windows
// Media header's length.
TEST_F(KeptRecordings, AKilledRecordingKeepsItsFramesAndTellsHowLongItIs) {
    struct TCase {
        const wchar_t* Video;
        const wchar_t* Sound;
        int Format;
        const wchar_t* Extension;
    };
    const TCase cases[] = {{kCamera, kMicrophone, 9, L".avi"},
                           {kCamera, kMicrophone, 5, L".avi"},
                           {kCamcorderVideo, kCamcorderSound, 2, L".avi"},
                           {kCamera, kMicrophone, 7, L".wmv"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format);
        ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(c.Video, c.Sound, c.Format, false)));
        const std::wstring file = Clip(0, c.Extension);
        const bool asf = std::wstring(c.Extension) == L".wmv";
        // What the header says: the video's frame count, or the file's length in seconds.
        auto told = [&](const quill_test::TMediaProbe& Probe) {
            const int v = Probe.StreamOfType("video");
            return asf ? std::atof(Probe.Get("format.duration").c_str()) * 25
                       : v < 0 ? 0.0 : std::atof(Probe.Stream(v, "nb_frames").c_str());
        };
        // Two seconds told, read from the file's header as the program writes it.
        ASSERT_NO_FATAL_FAILURE(RecordAndKill(
            file,
            [&] {
                const std::string bytes = quill_test::FileStart(file);
                return (asf ? quill_test::AsfHeaderSeconds(bytes) * 25 : quill_test::AviHeaderFrames(bytes)) >= 50;
            },
            "the header never told two seconds"));
        const quill_test::TMediaProbe probe = quill_test::Probe(file);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
        const int v = probe.StreamOfType("video");
        ASSERT_GE(v, 0);
        const double frames = told(probe);
        const int held = std::atoi(probe.Stream(v, "nb_read_packets").c_str());
        EXPECT_GE(frames, 50.0) << "the header tells the frames written";
        EXPECT_LE(frames, held + 12.5) << "and little more than the file holds";
        if (!asf) {
            const std::string bytes = quill_test::ReadWholeFile(file);
            EXPECT_LE(Le32(bytes, 4) + 8ull, bytes.size()) << "the RIFF size stays within the file";
        }
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        DeleteFileW((file.substr(0, file.size() - 4) + L".scn").c_str());
    }
}

// Killed as soon as its first frames are in the file (well within its first half second), a
// recording is a file that ffprobe reads with those frames, and an AVI file's header counts them
// (at the camcorder's own rate, which its type does not state).
TEST_F(KeptRecordings, KilledAtItsFirstFramesTheFileHoldsThemAndSaysSo) {
    struct TCase {
        const wchar_t* Video;
        const wchar_t* Sound;
        int Format;
        const wchar_t* Extension;
        const char* Codec;
        double Rate;  // the header's frames a second, 0: not checked
    };
    const TCase cases[] = {{kCamcorderVideo, kCamcorderSound, 1, L".avi", "dvvideo", 30000 / 1001.0},
                           {kCamcorderVideo, kCamcorderSound, 2, L".avi", "dvvideo", 30000 / 1001.0},
                           {kMpegCard, kMicrophone, 3, L".mpg", "mpeg2video", 0},
                           {kCamera, kMicrophone, 9, L".avi", "mpeg4", 0}};
    const CamcorderSetting ntsc(L"NTSC", 1);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format);
        ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(c.Video, c.Sound, c.Format, false)));
        const std::wstring file = Clip(0, c.Extension);
        const bool avi = std::wstring(c.Extension) == L".avi";
        // The first frames are there once the file is longer than what its start takes.
        ASSERT_NO_FATAL_FAILURE(RecordAndKill(
            file,
            [&] {
                const std::uint64_t size = e2e::FileSize(file);
                return avi ? size > 0 && size > AviStartBytes(quill_test::FileStart(file)) : size > 0;
            },
            "no frame reached the file"));
        const std::string bytes = quill_test::ReadWholeFile(file);
        const quill_test::TMediaProbe probe = quill_test::Probe(file);
        ASSERT_TRUE(probe.Ok()) << bytes.size() << " bytes: " << probe.Run.Failure << probe.Run.Err;
        const int v = probe.StreamOfType("video");
        ASSERT_GE(v, 0) << bytes.size() << " bytes";
        EXPECT_EQ(c.Codec, probe.Stream(v, "codec_name"));
        const int held = std::atoi(probe.Stream(v, "nb_read_packets").c_str());
        EXPECT_GE(held, 1) << "the first frames";
        if (avi) {
            EXPECT_GE(quill_test::AviHeaderFrames(bytes), 1u) << "the header tells them";
            EXPECT_LE(quill_test::AviHeaderFrames(bytes), static_cast<std::uint32_t>(held)) << "and no more";
            EXPECT_LE(Le32(bytes, 4) + 8ull, bytes.size()) << "the RIFF size stays within the file";
        }
        if (c.Rate != 0) {
            EXPECT_NEAR(c.Rate, quill_test::AviFirstStreamRate(bytes), 0.001) << "the header's frame rate";
        }
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        DeleteFileW((file.substr(0, file.size() - 4) + L".scn").c_str());
    }
}

// Killed at any moment, a native MPEG recording holds its sound as far as its pictures: the sound
// reaches the file as promptly as the picture does (a normal stop writes what both still held).
TEST_F(KeptRecordings, AKilledMpegRecordingHoldsItsSoundAsFarAsItsPictures) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kMpegCard, kMicrophone, 3, false)));
    const std::wstring file = Clip(0, L".mpg");
    for (std::uint64_t bytes : {300000u, 2000000u}) {
        SCOPED_TRACE(bytes);
        ASSERT_NO_FATAL_FAILURE(RecordAndKill(file, [&] { return e2e::FileSize(file) > bytes; }, "the file never grew"));
        const quill_test::TMediaProbe probe = quill_test::Probe(file);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
        const int v = probe.StreamOfType("video"), a = probe.StreamOfType("audio");
        ASSERT_GE(v, 0);
        ASSERT_GE(a, 0) << "no sound in the file";
        const double pictures = std::atoi(probe.Stream(v, "nb_read_packets").c_str()) / 25.0;
        const double channels = probe.StreamNumber(a, "channels"), rate = probe.StreamNumber(a, "sample_rate");
        ASSERT_GT(channels * rate, 0);
        const double sound = quill_test::DecodeSound(file).size() / channels / rate;
        EXPECT_GT(pictures, 0.3);
        EXPECT_GE(sound, pictures - 0.2) << "the sound lags behind the pictures in the file";
        ASSERT_TRUE(DeleteFileW(file.c_str()));
    }
}

// Killed a few seconds in, a Windows Media recording's header tells a length, and the length of
// what the file holds: the pictures that decode, not what the writer still held.
TEST_F(KeptRecordings, AWindowsMediaRecordingKilledAFewSecondsInTellsTheLengthItHolds) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 7, false)));
    const std::wstring file = Clip(0, L".wmv");
    for (int kill = 0; kill < 3; ++kill) {
        SCOPED_TRACE(kill);
        // Killed once the header says three seconds and more has come since, at one of three
        // sizes past that point.
        std::uint64_t told = 0;
        ASSERT_NO_FATAL_FAILURE(RecordAndKill(
            file,
            [&] {
                if (told == 0 && quill_test::AsfHeaderSeconds(quill_test::FileStart(file)) >= 3) told = e2e::FileSize(file);
                return told > 0 && e2e::FileSize(file) > told + 20000u * kill;
            },
            "the header never told three seconds"));
        const quill_test::TMediaProbe probe = quill_test::Probe(file);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
        const int v = probe.StreamOfType("video");
        ASSERT_GE(v, 0);
        const double rate = probe.Ratio(v, "avg_frame_rate");
        ASSERT_GT(rate, 0);
        const double held = std::atoi(probe.Stream(v, "nb_read_packets").c_str()) / rate;
        const double said = std::atof(probe.Get("format.duration").c_str());
        ASSERT_GT(said, 0) << "the file tells no length";
        EXPECT_GE(held, 2.5) << "what was recorded is in the file";
        EXPECT_LE(said, held + 0.2) << "the length is no longer than the pictures the file holds";
        EXPECT_GE(said, held - 0.5) << "nor much shorter";
        ASSERT_TRUE(DeleteFileW(file.c_str()));
    }
}

}  // namespace
