// Two copies of the program at once, as a user starts them: started in the same second with the
// same settings they prepare the same recording name, and each records whole into a file of its own;
// a Yes answered late in one copy never replaces what the other recorded meanwhile, and a name the
// other copy records into is never offered for replacing.
#include "tests/e2e/recordings_fixture.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/common/older_file.h"
#include "ui/aside_record.h"

namespace {

using namespace e2e_fixture;

// Both copies start a capture from their command lines as soon as they are up, so that their
// starts meet: whichever comes second finds the name taken (held, or taken between its checks and
// its writer's open) and records under the next free one, without a word. The run's date stamp
// is left out of the names: two copies started in the same second name their files alike exactly
// so.
TEST_F(Recordings, TwoCopiesStartedTogetherRecordIntoFilesOfTheirOwn) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram first, second;
    ASSERT_TRUE(first.Launch(copy_.Exe(), L"+c")) << testing::PrintToString(first.Failure());
    ASSERT_TRUE(second.Launch(copy_.Exe(), L"+c")) << testing::PrintToString(second.Failure());
    ASSERT_TRUE(first.WaitReady()) << testing::PrintToString(first.Failure());
    ASSERT_TRUE(second.WaitReady()) << testing::PrintToString(second.Failure());
    // Neither says anything: no refusal, no stop, no question.
    std::wstring said;
    const bool both = e2e::WaitFor([&] {
        for (TProgram* program : {&first, &second})
            if (program->Message() != nullptr) {
                said = program->MessageText();
                return true;
            }
        return e2e::FileSize(Clip(0)) > 3000000 && e2e::FileSize(Clip(1)) > 3000000;
    });
    EXPECT_EQ(L"", said);
    ASSERT_TRUE(both) << "two recordings, each growing";
    for (TProgram* program : {&first, &second}) {
        EXPECT_EQ(L"Stop Capture", program->ButtonShown({L"Capture", L"Stop Capture"}));
        ASSERT_TRUE(program->ClickButton(L"Stop Capture")) << testing::PrintToString(program->Failure());
    }
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)) && e2e::FileClosed(Clip(1)); }));
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(second.Close());
    EXPECT_FALSE(e2e::FileExists(Clip(2))) << "no name taken for nothing";
    ReadBack(Clip(0), {"rawvideo", "pcm_s16le", "0x0001", false});
    ReadBack(Clip(1), {"rawvideo", "pcm_s16le", "0x0001", false});
}

// Both copies ask about the same older file. The first answers Yes, records and stops; the second's
// Yes comes after: it was for the older file, not for the first copy's recording, which stays. And
// while the second records, the first copy's next start takes a name of its own without a word.
// The first copy's writer shares its recordings with nobody, readers included, as writers of other
// systems may: the copy's own hold on the file it made for the writer refuses it nothing, and its
// older file is given up once the recording is seen to hold something.
TEST_F(Recordings, ALateYesInASecondCopyKeepsTheFirstCopysRecording) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 1u << 20));
    TProgram first, second;
    ASSERT_NO_FATAL_FAILURE(Start(first));
    ASSERT_NO_FATAL_FAILURE(Start(second));
    TProcessTestSetting sharesNothing(first, standins::kTestWriterSharesNothingValue, 1);
    ASSERT_TRUE(sharesNothing.Set());
    for (TProgram* program : {&first, &second}) {
        ASSERT_TRUE(program->ClickButton(L"Capture")) << testing::PrintToString(program->Failure());
        ASSERT_TRUE(e2e::WaitFor([&] { return program->Message() != nullptr; })) << "exists already: the question";
        EXPECT_NE(std::wstring::npos, program->MessageText().find(Clip(0) + L" exists already"));
    }
    // Grows past Bytes with no message shown meanwhile; what was said otherwise.
    auto growsUntold = [](TProgram& Program, const std::wstring& File, std::uint64_t Bytes) {
        std::wstring said;
        const bool grew = e2e::WaitFor([&] {
            if (Program.Message() != nullptr) said = Program.MessageText();
            return !said.empty() || e2e::FileSize(File) > Bytes;
        });
        return grew && said.empty() ? std::wstring() : L"said: " + said;
    };
    ASSERT_TRUE(first.AnswerMessage(L"Yes"));
    ASSERT_EQ(L"", growsUntold(first, Clip(0), 3000000));
    {
        HANDLE reader = CreateFileW(Clip(0).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, reader) << "the writer shares its recording with nobody";
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    }
    ASSERT_TRUE(first.ClickButton(L"Stop Capture")) << testing::PrintToString(first.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    const std::string firstRecording = quill_test::ReadWholeFile(Clip(0));
    // The older file goes once the recording is seen to hold pictures, which its writer let nobody
    // read while it ran: nothing of it is left aside.
    EXPECT_TRUE(e2e::WaitFor([&] {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Videos(), ec))
            if (entry.path().wstring().find(L".~quillotrane-") != std::wstring::npos) return false;
        return true;
    })) << "the older file was not given up";

    ASSERT_TRUE(second.AnswerMessage(L"Yes"));
    ASSERT_EQ(L"", growsUntold(second, Clip(1), 3000000)) << "the second copy records under the next free name";
    // The first copy's next name is the one the second records into: it is neither offered nor taken.
    ASSERT_TRUE(first.ClickButton(L"Capture")) << testing::PrintToString(first.Failure());
    ASSERT_EQ(L"", growsUntold(first, Clip(2), 3000000));
    for (TProgram* program : {&first, &second})
        ASSERT_TRUE(program->ClickButton(L"Stop Capture")) << testing::PrintToString(program->Failure());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1)) && e2e::FileClosed(Clip(2)); }));
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(second.Close());
    EXPECT_TRUE(firstRecording == quill_test::ReadWholeFile(Clip(0))) << "the first copy's recording is as it was";
    for (int clip : {0, 1, 2}) ReadBack(Clip(clip), {"rawvideo", "pcm_s16le", "0x0001", false});
}

// One copy is killed as it makes its recording's file over an older one it was told to replace:
// the older file is aside, a recording of no bytes under its name. The other copy, asked to record
// under that name, first settles what the killed copy left: its question is about the older file,
// back under its name, and a No keeps it whole; never a Yes given for an empty file that then
// takes the older one.
TEST_F(Recordings, ACopyKilledAsItReplacesAFileLeavesItToTheOtherCopysQuestion) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 8u << 20));
    const std::string older = quill_test::ReadWholeFile(Clip(0));
    TProgram killed, other;
    ASSERT_NO_FATAL_FAILURE(Start(killed));
    ASSERT_NO_FATAL_FAILURE(Start(other));
    {
        TProcessTestSetting kill(killed, standins::kTestKillAfterWritesValue, 0);
        ASSERT_TRUE(kill.Set());
        ASSERT_TRUE(killed.ClickButton(L"Capture")) << testing::PrintToString(killed.Failure());
        ASSERT_TRUE(killed.AnswerMessage(L"Yes")) << "exists already: the question";
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(killed.Process(), 60000)) << "the copy was never killed";
    }
    ASSERT_EQ(0u, e2e::FileSize(Clip(0))) << "the killed copy's recording, made and never written";
    ASSERT_TRUE(other.ClickButton(L"Capture")) << testing::PrintToString(other.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return other.Message() != nullptr; })) << "exists already: the question";
    EXPECT_NE(std::wstring::npos, other.MessageText().find(Clip(0) + L" exists already"));
    EXPECT_TRUE(older == quill_test::ReadWholeFile(Clip(0))) << "the question is about the older file, back";
    ASSERT_TRUE(other.AnswerMessage(L"No"));
    EXPECT_EQ(L"Capture", other.ButtonShown({L"Capture", L"Stop Capture"}));
    EXPECT_TRUE(other.Close());
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(Videos())) names.push_back(entry.path().wstring());
    EXPECT_EQ(std::vector<std::wstring>{Clip(0)}, names);
    EXPECT_TRUE(older == quill_test::ReadWholeFile(Clip(0))) << "kept whole";
}

// Runs Script (no double quotes in it) with bash in a Wine set-up of its own under the build
// folder, as another logon of the same computer (its own prefix and server: none of this logon's
// marks or handles reach it); its output goes to a log beside it. False when it could not be started.
bool InOtherLogon(const std::string& Script) {
    const std::string build = QUILL_BUILD_DIR;
    const std::string command = "exec >>'" + build + "/wine-logon2.log' 2>&1; source '" + QUILL_SOURCE_DIR +
                                "/scripts/lib/common.sh'; quill_wine_env '" + build + "/wine-logon2'; " + Script;
    std::wstring line = L"bash -c \"" + std::wstring(command.begin(), command.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\bash", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The path of File on the Unix side, where every logon's Wine finds it.
std::string UnixPath(const std::wstring& File) {
    using TUnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(File.c_str()) : nullptr;
    const std::string path = name != nullptr ? name : "";
    if (name != nullptr) HeapFree(GetProcessHeap(), 0, name);
    return path;
}

// The same file by the drive that maps the whole Unix tree in every prefix.
std::wstring EveryLogonsPath(const std::wstring& File) {
    std::wstring path = L"Z:";
    for (char c : UnixPath(File)) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

// A copy of another logon (a second Wine prefix stands for it) records, frozen from its start, over
// an older file it was told to replace without a question: it holds the older file aside, and its
// own recording, for as long as it runs. A copy of this logon started meanwhile leaves both where
// they are and says nothing: its recording takes a name of its own. Once the other copy has ended,
// the next start-up here puts the older file back. The other logon's copy then records again,
// and this one, asked to confirm replacing, started as soon as the other has taken the name (before
// it has moved or made anything more there), is neither asked about that name nor takes it, then
// or while the other records there: both recordings are kept.
TEST_F(Recordings, ACopyOfAnotherLogonKeepsItsOlderFileAsideWhileItRuns) {
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    // Both logons name the recordings' folder alike.
    const std::wstring videos = EveryLogonsPath(Videos()) + L"\\";
    ASSERT_NE(L"Z:\\", videos);
    auto settings = [&](bool Ask) { return RecordingSettingsIn(videos, kCamera, kMicrophone, 5, Ask); };
    ASSERT_TRUE(copy_.WriteSettings(settings(false)));
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 1u << 20));
    const std::string older = quill_test::ReadWholeFile(Clip(0));
    // The other logon's files aside: its record, its recording's first name and the older file.
    auto aside = [&] {
        std::vector<std::wstring> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Videos(), ec))
            if (entry.path().wstring().find(L".~quillotrane-") != std::wstring::npos) names.push_back(entry.path());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::string build = QUILL_BUILD_DIR;
    struct TEndOtherLogon {
        ~TEndOtherLogon() { InOtherLogon("$QUILL_WINESERVER -k"); }
    } end;
    ASSERT_TRUE(InOtherLogon("quill_ensure_prefix '" + build + "/wine-logon2' '" + build +
                             "/wine-standins.list' test && exec ${QUILL_WINE[@]} '" + UnixPath(copy_.Exe()) + "' +fc +c"));
    std::vector<std::wstring> held;
    auto holds = [](const std::vector<std::wstring>& Names, const wchar_t* Mark) {
        return std::any_of(Names.begin(), Names.end(), [&](const std::wstring& Name) { return Name.find(Mark) != std::wstring::npos; });
    };
    ASSERT_TRUE(e2e::WaitFor([&] {
        held = aside();
        return holds(held, L".~quillotrane-name") && holds(held, L".~quillotrane-older");
    }, 180000))
        << "the other logon's copy never moved the older file aside: " << testing::PrintToString(aside());
    // Its recording takes the name once the older file is aside; its writer may still add its header
    // as its frozen start goes through.
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(Clip(0)); })) << "the other logon's copy made no recording";
    const ui::TFileIdentity othersFile = ui::FileIdentity(Clip(0));
    const std::uint64_t othersSize = e2e::FileSize(Clip(0));
    {
        TProgram here;
        ASSERT_NO_FATAL_FAILURE(Start(here));
        // The other copy's recording is in use: this one records under the next name, without a word.
        ASSERT_TRUE(here.ClickButton(L"Capture")) << testing::PrintToString(here.Failure());
        std::wstring said;
        EXPECT_TRUE(e2e::WaitFor([&] {
            if (here.Message() != nullptr) said = here.MessageText();
            return !said.empty() || e2e::FileSize(Clip(1)) > 3000000;
        })) << "no recording of this copy";
        EXPECT_EQ(L"", said);
        ASSERT_TRUE(here.ClickButton(L"Stop Capture")) << testing::PrintToString(here.Failure());
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1)); }));
        // The close waits for the start-up's sweep: whatever it said is seen by then.
        EXPECT_TRUE(here.Close());
        EXPECT_TRUE(here.ShownAtClose().empty()) << testing::PrintToString(here.ShownAtClose());
        EXPECT_EQ(held, aside()) << "the other copy's files aside are left as they are";
        EXPECT_TRUE(ui::FileIdentity(Clip(0)).SameFile(othersFile) && e2e::FileSize(Clip(0)) >= othersSize)
            << "the other copy's recording, the same file, not emptied";
    }
    ReadBack(Clip(1), {"rawvideo", "pcm_s16le", "0x0001", false});
    ASSERT_TRUE(InOtherLogon("$QUILL_WINESERVER -k"));
    // Ended once its lock on its record is gone.
    ASSERT_TRUE(e2e::WaitFor([&] {
        for (const std::wstring& name : aside()) {
            if (name.find(L".~quillotrane-name") == std::wstring::npos) continue;
            HANDLE record = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
            if (record == INVALID_HANDLE_VALUE) return false;
            OVERLAPPED past{};
            past.OffsetHigh = 0x40000000;
            const bool free = LockFileEx(record, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &past);
            if (free) UnlockFileEx(record, 0, 1, 0, &past);
            CloseHandle(record);
            return free != FALSE;
        }
        return false;
    }, 60000)) << "the other logon's copy never ended";
    // Ended: its older file is taken over by the next start-up here and put back (beside its name
    // when what the killed copy began there may hold something).
    TProgram later;
    ASSERT_NO_FATAL_FAILURE(Start(later));
    auto olderThere = [&] {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Videos(), ec))
            if (quill_test::ReadWholeFile(entry.path()) == older) return true;
        return false;
    };
    // Kept beside its name (when what the killed copy began there may hold something), the user is
    // told where, and its record goes once they have been.
    std::wstring told;
    EXPECT_TRUE(e2e::WaitFor([&] {
        if (later.Message() != nullptr) {
            told += later.MessageText();
            later.AnswerMessage(L"OK", nullptr, 0);
        }
        return aside().empty() && olderThere();
    }, 60000)) << testing::PrintToString(aside());
    if (quill_test::ReadWholeFile(Clip(0)) != older) {
        EXPECT_NE(std::wstring::npos, told.find(L"could not be put back under its name: it is kept as "))
            << testing::PrintToString(told);
    }

    // The other logon's copy records again, over the older file (it asks nothing). It is held still
    // (stopped) the moment it has claimed its recording's name, or made its first file there: it has
    // moved nothing yet, and holds nothing at the name.
    const std::string stopped = build + "/wine-logon2-stopped";
    std::wstring stoppedHere = L"Z:";
    for (char c : stopped) stoppedHere += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    DeleteFileW(stoppedHere.c_str());
    const std::string name = UnixPath(Clip(0));
    ASSERT_TRUE(InOtherLogon("${QUILL_WINE[@]} '" + UnixPath(copy_.Exe()) + "' +c & copy=$!; while kill -0 $copy; do if [[ -e '" +
                             name + ".~quillotrane-claim' ]] || compgen -G '" + name +
                             ".*.~quillotrane-new' >/dev/null; then kill -STOP $copy; echo $copy >'" + stopped +
                             "'; break; fi; sleep 0.002; done; wait $copy"));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(stoppedHere); }, 180000))
        << "the other logon's copy never took its recording's name";
    // This copy asks before it replaces a file: the name the other has taken is no file to ask
    // about, nor to take, from the moment it is taken; this one records under a name of its own,
    // and goes on while the other records there.
    const std::wstring mine = Clip(2);
    {
        ASSERT_TRUE(copy_.WriteSettings(settings(true)));
        TProgram asking;
        ASSERT_NO_FATAL_FAILURE(Start(asking));
        ASSERT_TRUE(asking.ClickButton(L"Capture")) << testing::PrintToString(asking.Failure());
        std::wstring said;
        EXPECT_TRUE(e2e::WaitFor([&] {
            if (asking.Message() != nullptr) said = asking.MessageText();
            return !said.empty() || e2e::FileSize(mine) > 3000000;
        })) << "no recording of this copy";
        EXPECT_EQ(L"", said);
        if (!said.empty()) asking.AnswerMessage(L"No");
        ASSERT_TRUE(InOtherLogon("kill -CONT $(cat '" + stopped + "')"));
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(Clip(0)) > 3000000; }, 180000))
            << "the other logon's copy never recorded";
        ASSERT_TRUE(asking.ClickButton(L"Stop Capture")) << testing::PrintToString(asking.Failure());
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(mine); }));
        EXPECT_TRUE(asking.Close());
    }
    const std::uint64_t grown = e2e::FileSize(Clip(0));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(Clip(0)) > grown + 1000000; }))
        << "the other logon's recording goes on";
    ASSERT_TRUE(InOtherLogon("$QUILL_WINESERVER -k"));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }, 60000));
    // Both recordings are kept: this copy's whole, the other's as its kill left it.
    ReadBack(mine, {"rawvideo", "pcm_s16le", "0x0001", false});
    const quill_test::TMediaProbe others = quill_test::Probe(Clip(0));
    ASSERT_TRUE(others.Ok()) << others.Run.Failure << others.Run.Err;
    EXPECT_GE(std::atoi(others.Stream(others.StreamOfType("video"), "nb_read_packets").c_str()), 10);
    EXPECT_TRUE(later.Close()) << testing::PrintToString(later.ShownAtClose());
}

}  // namespace

