// The older files that killed copies left aside, settled at the next start in their folder through
// their records: never a user's file nor one a copy still holds, and never lost where a sweep and a
// start meet at one name.
#include "recording_names_fixture.h"

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
using quill_test::LeaveAside;

// Older files moved aside are settled, when the copy that moved them was killed, at the next start
// in their folder, through the records written beside them, and never deleted: back under their
// names when those are free (the file the copy made there, a recording that holds nothing, gives
// the name up), else kept beside them under a name of their own, the user told once where. A name
// another copy claims is about to be written: nothing goes back there. A file at the name that the
// copy did not make is never taken for its recording, whatever it holds (a user's empty notes, a
// template of a bare header). An older file that a copy still holds aside stays; files of the
// user's that only look like older files aside (or like their records) stay, those named like older
// files told once.
TEST_F(RecordingNames, OnlyTheOlderFilesThatKilledCopiesLeftAreSettledAndNeverDeleted) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    Confirm(false);
    const path file = form->NextVideoFile;
    const path folder = file.parent_path();
    std::filesystem::create_directories(folder);
    // Held aside by a copy that runs (this process).
    const path heldName = folder / L"Video_held.avi";
    std::ofstream(heldName) << "held";
    auto held = std::make_unique<ui::TRecordingPart>(heldName.wstring());
    ASSERT_TRUE(held->Take(nullptr, false));
    ASSERT_TRUE(held->Replaced());
    EXPECT_EQ(0u, std::filesystem::file_size(heldName)) << "the recording's own file takes the name at once";
    // A WAVE recording killed before its first sound: its header, whose data size grows from its
    // most.
    const std::string bareHeader("RIFF\xFF\xFF\xFF\xFFWAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0data"
                                 "\xFF\xFF\xFF\xFF",
                                 44);
    const path header = folder / L"Video_header.wav";
    std::ofstream(header, std::ios::binary) << bareHeader;
    const path took = folder / L"Video_took.avi";
    std::ofstream(took) << "a recording that took the name";
    // The user's own files under names older files had: an empty note, a template of a bare header.
    const path notes = folder / L"notes.txt", templ = folder / L"template.wav";
    { std::ofstream touch(notes); }
    std::ofstream(templ, std::ios::binary) << bareHeader;
    LeaveAside(folder, L"Video_back.avi", "older", 1, false);
    LeaveAside(folder, L"Video_took.avi", "older", 2, false);
    LeaveAside(folder, L"Video_header.wav", "older", 3, true);
    LeaveAside(folder, L"Video_claimed.avi", "older", 4, false);
    LeaveAside(folder, L"Video_twice.avi", "older", 5, false);
    LeaveAside(folder, L"Video_twice.avi", "older", 6, false);
    LeaveAside(folder, L"notes.txt", "older notes", 7, false);
    LeaveAside(folder, L"template.wav", "older", 8, false);
    // A name too long to carry the marks: a short stem, the name in the record.
    const std::wstring longName = std::wstring(236, L'l') + L".avi";
    LeaveAside(folder, longName, "older, long name", 9, false, true);
    // Records of the version before name the file made at the name by its index alone, which the
    // file system hands on once that file is deleted: a user's recording of a bare header saved
    // there since, and a scene list of their own beside a free name, stay, and the older file is
    // kept beside the user's. A record that names a file of the folder other than its own
    // recording's scene list is none of the program's: it decides nothing, and its file aside is
    // told as one that only looks alike.
    const path reused = folder / L"Video_reused.wav";
    std::ofstream(reused, std::ios::binary) << bareHeader;
    quill_test::LeaveAsideEarlier(folder, L"Video_reused.wav", "older", 10);
    const path userScenes = folder / L"Video_scenes.scn";
    std::ofstream(userScenes, std::ios::binary) << std::string(1600, 's');
    {
        ui::TAsideRecord record = quill_test::LeftRecord(folder, L"Video_scenes.avi", 11);
        record.Names[ui::pfSceneList] = L"Video_scenes.scn";
        record.Made[ui::pfSceneList] = ui::FileIdentity(userScenes.wstring());
        quill_test::LeaveAsideEarlier(record, "older");
    }
    const path other = folder / L"other.txt";
    std::ofstream(other) << "the user's other file";
    ui::TAsideRecord naming = quill_test::LeftRecord(folder, L"Video_six.avi", 12);
    naming.Names[ui::pfSceneList] = L"other.txt";
    naming.Made[ui::pfSceneList] = ui::FileIdentity(other.wstring());
    const path namingAside = quill_test::LeaveAsideEarlier(naming, "older six");
    // What copies killed before their records were whole left: a file made without a record and
    // a record made empty (both go), older files given up for room under a record made empty (half
    // emptied) or whole (finished, never told nor put back), an older file whole under its name
    // beside the empty record made for giving it up (it stays); a file given up under no record at
    // all (the version before wrote it after) is told as what it is, and left. A sweep killed after
    // it kept an older file beside its name, before the user was told: the record tells where, and
    // the next sweep tells it.
    const std::string olderBytes(300000, 'o');
    const path madeAlone(quill_test::LeftRecord(folder, L"Video_made.avi", 13).NewFile(ui::pfRecording));
    { std::ofstream touch(madeAlone); }
    quill_test::WriteRecord(quill_test::LeftRecord(folder, L"Video_empty.avi", 14), L" ", 0);
    quill_test::LeaveGivenUp(folder, L"Video_gone1.avi", olderBytes, 15, quill_test::TGivenUp::MarkedAndCut);
    quill_test::LeaveGivenUp(folder, L"Video_gone2.avi", olderBytes, 16, quill_test::TGivenUp::Recorded);
    const path givingUp = quill_test::LeaveGivenUp(folder, L"Video_gone3.avi", olderBytes, 17, quill_test::TGivenUp::RecordMadeOnly);
    const path goneUnrecorded = folder / L"Video_gone4.avi.FFFFFFF0.100018.~quillotrane-gone";
    std::ofstream(goneUnrecorded) << "given up, cut short";
    const path keptBefore = folder / L"Video_keptbefore.avi", keptBeside = folder / L"Video_keptbefore (older).avi";
    std::ofstream(keptBefore) << "a recording that took the name";
    std::ofstream(keptBeside) << "older";
    {
        ui::TAsideRecord record = quill_test::LeftRecord(folder, L"Video_keptbefore.avi", 19);
        record.Kept[ui::pfRecording] = keptBeside.filename().wstring();
        record.KeptAs[ui::pfRecording] = ui::FileIdentity(keptBeside.wstring());
        quill_test::WriteRecord(record);
    }
    // A name that fits Windows (130 letters of two bytes each) but not the file system here: its
    // record tells of it all the same, and the older file is kept beside it under a name this file
    // system takes.
    const std::wstring wideName = std::wstring(130, L'\x0436') + L".avi";
    LeaveAside(folder, wideName, "older, wide name", 20, false, true);
    const path wideKept = folder / (std::wstring(114, L'\x0436') + L" (older).avi");
    // Records cut short (a disk fault, an earlier version's) over files aside that nothing gave
    // up: each goes back by the name its stem carries (the killed copy's own empty recording there,
    // its witness beside it, gives the name up), or beside it where the name holds the user's
    // file, and the user is told either way.
    {
        ui::TAsideRecord record = quill_test::LeftRecord(folder, L"Video_cut.avi", 21);
        std::ofstream(path(record.AsideFile(ui::pfRecording)), std::ios::binary) << "older, cut record";
        std::ofstream(path(record.AsideFile(ui::pfSceneList)), std::ios::binary) << "older scenes";
        { std::ofstream touch(folder / L"Video_cut.avi"); }
        ASSERT_TRUE(quill_test::MadeAtName(record, ui::pfRecording));
        quill_test::WriteRecord(record, std::wstring(), 60);
        ui::TAsideRecord empty = quill_test::LeftRecord(folder, L"Video_cuttaken.avi", 22);
        std::ofstream(path(empty.AsideFile(ui::pfRecording)), std::ios::binary) << "older";
        quill_test::WriteRecord(empty, L" ", 0);
    }
    const path cutTaken = folder / L"Video_cuttaken.avi";
    std::ofstream(cutTaken) << "the user's recording";
    // A copy killed once it had marked the older file given up, its own recording at the name
    // still empty (the older file's room went to a recording begun again): both go, and nothing
    // is said. A copy killed as it began again in a room just freed, its file made under a record
    // that moved nothing: its file, empty, goes with its record.
    {
        ui::TAsideRecord record = quill_test::LeftRecord(folder, L"Video_begun.avi", 23);
        { std::ofstream touch(folder / L"Video_begun.avi"); }
        ASSERT_TRUE(quill_test::MadeAtName(record, ui::pfRecording));
        std::ofstream(path(record.GoneFile(ui::pfRecording)), std::ios::binary) << "older, given up";
        quill_test::WriteRecord(record);
        ui::TAsideRecord again = quill_test::LeftRecord(folder, L"Video_again.avi", 24);
        { std::ofstream touch(folder / L"Video_again.avi"); }
        ASSERT_TRUE(quill_test::MadeAtName(again, ui::pfRecording));
        quill_test::WriteRecord(again);
    }
    // Another copy's claim on a name it is about to record into.
    ui::TRecordingClaim claim((folder / L"Video_claimed.avi").wstring());
    const std::vector<path> usersOwn = {folder / L"holiday.2024.05.replaced", folder / L"trip.avi.1.2.replaced",
                                        folder / L"report.20.9.~quillotrane-name"};
    for (const path& name : usersOwn) std::ofstream(name) << "the user's";
    // Named like older files aside, without a record: an earlier program's, or a user's.
    const path lookAlike = folder / L"trip.2024.05.~quillotrane-older";
    const path unrecorded = folder / L"Video_old.avi.FFFFFFF0.000040.~quillotrane-older";
    std::ofstream(lookAlike) << "the user's trip";
    std::ofstream(unrecorded) << "older, unrecorded";
    std::ofstream(file) << "older recording";
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    std::vector<path> expected = usersOwn;
    expected.insert(expected.end(), {file, folder / L"Video_back.avi", took, folder / L"Video_took (older).avi", header,
                                     folder / L"Video_claimed (older).avi", folder / L"Video_claimed.avi.~quillotrane-claim",
                                     folder / L"Video_twice.avi",
                                     folder / L"Video_twice (older).avi", folder / longName, heldName, notes,
                                     folder / L"notes (older).txt", templ, folder / L"template (older).wav", lookAlike,
                                     unrecorded, folder / L"~quillotrane.~quillotrane-told", reused,
                                     folder / L"Video_reused (older).wav", userScenes, folder / L"Video_scenes.avi", other,
                                     namingAside, naming.RecordFile(), givingUp, goneUnrecorded, keptBefore, keptBeside,
                                     wideKept, folder / L"Video_cut.avi", folder / L"Video_cut.scn", cutTaken,
                                     folder / L"Video_cuttaken (older).avi"});
    auto isHeldAside = [&](const path& Name) { return Name.wstring().find(L"Video_held.avi.") != std::wstring::npos; };
    std::vector<path> names;
    auto settled = [&] {
        names.clear();
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (!isHeldAside(entry.path())) names.push_back(entry.path());
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        return names == expected;
    };
    EXPECT_TRUE(PumpUntil(settled)) << testing::PrintToString(names);
    EXPECT_EQ("older", quill_test::ReadWholeFile(folder / L"Video_back.avi")) << "back under its name";
    EXPECT_EQ("older", quill_test::ReadWholeFile(header)) << "the killed recording's header gave the name up";
    EXPECT_EQ("older, long name", quill_test::ReadWholeFile(folder / longName));
    EXPECT_EQ("a recording that took the name", quill_test::ReadWholeFile(took));
    EXPECT_EQ("", quill_test::ReadWholeFile(notes)) << "the user's empty note";
    EXPECT_EQ(bareHeader, quill_test::ReadWholeFile(templ)) << "the user's template";
    EXPECT_EQ("older notes", quill_test::ReadWholeFile(folder / L"notes (older).txt"));
    EXPECT_EQ("the user's trip", quill_test::ReadWholeFile(lookAlike));
    EXPECT_EQ(bareHeader, quill_test::ReadWholeFile(reused)) << "the user's recording at a name whose index passed on";
    EXPECT_EQ("older", quill_test::ReadWholeFile(folder / L"Video_reused (older).wav"));
    EXPECT_EQ(std::string(1600, 's'), quill_test::ReadWholeFile(userScenes)) << "the user's own scene list";
    EXPECT_EQ("older", quill_test::ReadWholeFile(folder / L"Video_scenes.avi"));
    EXPECT_EQ("the user's other file", quill_test::ReadWholeFile(other)) << "named by a record as its scene list";
    EXPECT_EQ(olderBytes, quill_test::ReadWholeFile(givingUp)) << "never given up";
    EXPECT_EQ("older, wide name", quill_test::ReadWholeFile(wideKept));
    EXPECT_EQ("older, cut record", quill_test::ReadWholeFile(folder / L"Video_cut.avi")) << "back by its stem's name";
    EXPECT_EQ("older scenes", quill_test::ReadWholeFile(folder / L"Video_cut.scn"));
    EXPECT_EQ("the user's recording", quill_test::ReadWholeFile(cutTaken));
    for (const wchar_t* kept : {L"Video_took (older).avi", L"Video_claimed (older).avi", L"Video_twice (older).avi",
                                L"template (older).wav", L"Video_cuttaken (older).avi"})
        EXPECT_EQ("older", quill_test::ReadWholeFile(folder / kept)) << kept;
    // Told once, at the start that found them, as information.
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(widgets::TMsgDlgType::mtInformation, asked[0].Type);
    for (const wchar_t* name : {L"Video_took.avi", L"Video_claimed.avi", L"Video_twice.avi", L"notes.txt", L"template.wav",
                                L"Video_reused.wav", L"Video_keptbefore.avi", wideName.c_str(), L"Video_cuttaken.avi"}) {
        const path original = folder / name;
        const path kept = original.filename() == wideName ? wideKept
                                                          : path(original).replace_filename(original.stem().wstring() + L" (older)" +
                                                                                            original.extension().wstring());
        EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"The older file " + original.wstring() +
                                                         L" could not be put back under its name: it is kept as " +
                                                         kept.wstring() + L"."))
            << asked[0].Text;
    }
    for (const wchar_t* back : {L"Video_cut.avi", L"Video_cut.scn"})
        EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"The older file " + (folder / back).wstring() +
                                                         L", which Quillotrane had moved aside, is back under its name: "
                                                         L"the record that told where it belongs had been cut short."))
            << asked[0].Text;
    for (const path& left : {lookAlike, unrecorded, namingAside})
        EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"The file " + left.wstring() +
                                                         L" looks like an older file that Quillotrane moved aside, but "
                                                         L"nothing tells where it belongs: it is left as it is."))
            << asked[0].Text;
    EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"The file " + goneUnrecorded.wstring() +
                                                     L" looks like an older file that Quillotrane was told to replace and "
                                                     L"had begun to remove, but nothing tells whose it was: it is left as it "
                                                     L"is, and it may be cut short."))
        << asked[0].Text;
    for (const wchar_t* untold : {L"report.20.9", L"Video_gone1", L"Video_gone2", L"Video_gone3", L"Video_made", L"Video_empty"})
        EXPECT_EQ(std::wstring::npos, asked[0].Text.find(untold)) << asked[0].Text;
    // The next start says nothing more of them.
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_TRUE(asked.empty()) << asked[0].Text;
    // Until one of them changes: that one is told again.
    std::ofstream(lookAlike, std::ios::app) << ", and more";
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"The file " + lookAlike.wstring() +
                  L" looks like an older file that Quillotrane moved aside, but nothing tells where it belongs: it is left "
                  L"as it is.",
              asked[0].Text);
    std::wstring told;
    EXPECT_TRUE(held->Settle(ui::TRecordingPart::ofWhenEmpty, true, told));
    EXPECT_EQ(L"", told) << "the copy that holds it puts it back, in place of its empty recording";
    EXPECT_EQ("held", quill_test::ReadWholeFile(heldName));
}

// A sweep and a start in two threads (as in two copies) meet at a name where a killed copy left an
// older file aside and its empty recording, round after round: whichever claims the name first
// acts there, the other keeps off, and neither the older file nor the new recording is ever lost.
TEST_F(RecordingNames, ASweepAndAStartThatMeetAtANameNeverLoseAFile) {
    std::string recording("RIFF\x34\x4E\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0data\x10\x4E\0\0",
                          44);
    recording += std::string(20000, 'r');
    // A folder of its own for each round: what a round gave up may still be on its way out.
    const path rounds = TRecordingWindow::folder / L"race";
    int lost = 0, recordingsLost = 0;
    for (int round = 0; round < 400; ++round) {
        const path folder = rounds / std::to_wstring(round);
        const path name = folder / L"Video_race.wav";
        std::filesystem::create_directories(folder);
        { std::ofstream made(name); }
        const std::string older = "older file of round " + std::to_string(round);
        LeaveAside(folder, name.filename().wstring(), older, round, true);
        std::thread sweep([&] { ui::SweepReplacedFiles(folder.wstring()); });
        bool wrote = false, replacedOlder = false;
        {
            ui::TRecordingPart part(name.wstring());
            if (part.Claimed() && part.Take(nullptr, false)) {
                // Asked nothing, it may replace the older file itself once the sweep put it back.
                replacedOlder = part.OlderSize() == older.size();
                HANDLE writer = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
                DWORD written = 0;
                wrote = writer != INVALID_HANDLE_VALUE &&
                        WriteFile(writer, recording.data(), static_cast<DWORD>(recording.size()), &written, nullptr);
                if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
                std::wstring told;
                part.Settle(ui::TRecordingPart::ofWhenEmpty, true, told);
            }
        }
        sweep.join();
        ui::SweepReplacedFiles(folder.wstring());
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.push_back(quill_test::ReadWholeFile(entry.path()));
        if (!replacedOlder && std::find(files.begin(), files.end(), older) == files.end()) ++lost;
        if (wrote && std::find(files.begin(), files.end(), recording) == files.end()) ++recordingsLost;
    }
    EXPECT_EQ(0, lost) << "older files lost in 400 rounds";
    EXPECT_EQ(0, recordingsLost) << "recordings lost in 400 rounds";
    // What the rounds gave up is gone before the folder is; a first name that a file given up
    // kept (a killed copy's recording, taken for an older file by the start) goes at the sweep
    // after it.
    std::wstring left;
    EXPECT_TRUE(PumpUntil([&] {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(rounds))
            if (entry.path().wstring().find(L".~quillotrane-") != std::wstring::npos) {
                left = entry.path().wstring();
                ui::SweepReplacedFiles(entry.path().parent_path().wstring());
                return false;
            }
        return true;
    })) << testing::PrintToString(left);
}


}  // namespace
}  // namespace recording_ui
