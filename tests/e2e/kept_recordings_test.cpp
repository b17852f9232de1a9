// Recordings as a user keeps them: one started over an older, longer file after "exists already" is
// answered Yes holds the new recording alone; one whose program is killed (a crash, a power cut)
// holds what was recorded and its header says how long it is, in every file format.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/older_file.h"
#include "tests/common/recording_headers.h"
#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

std::uint32_t Le32(const std::string& Bytes, std::size_t At) {
    std::uint32_t v = 0;
    if (At + 4 <= Bytes.size()) std::memcpy(&v, Bytes.data() + At, 4);
    return v;
}

class KeptRecordings : public Recordings {
protected:
    // The portable settings for recordings from Video and Sound in Format, the question asked or not.
    std::vector<std::wstring> Settings(const std::wstring& Video, const std::wstring& Sound, int Format, bool Ask) const {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : RecordingSettings())
            if (line.rfind(L"Confirmer Video=", 0) != 0) lines.push_back(line);
        lines.insert(lines.end(), {std::wstring(L"Confirmer Video=") + (Ask ? L"1" : L"0"), L"Source video=" + Video,
                                   L"Source Audio=" + Sound, L"Capture Format=" + std::to_wstring(Format),
                                   L"Divx favori=Xvid MPEG-4 Codec", L"Want Mp3=1"});
        return lines;
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
    ASSERT_TRUE(copy_.WriteSettings(Settings(kCamera, kMicrophone, 5, true)));
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
        ASSERT_TRUE(copy_.WriteSettings(Settings(c.Video, c.Sound, c.Format, false)));
        const std::wstring file = Clip(0, c.Extension);
        const bool asf = std::wstring(c.Extension) == L".wmv";
        // What the header says: the video's frame count, or the file's length in seconds.
        auto told = [&](const quill_test::TMediaProbe& Probe) {
            const int v = Probe.StreamOfType("video");
            return asf ? std::atof(Probe.Get("format.duration").c_str()) * 25
                       : v < 0 ? 0.0 : std::atof(Probe.Stream(v, "nb_frames").c_str());
        };
        {
            TProgram program;
            ASSERT_NO_FATAL_FAILURE(Start(program));
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            // Two seconds told, read from the file's header as the program writes it.
            EXPECT_TRUE(e2e::WaitFor([&] {
                if (program.Message() != nullptr) program.AnswerMessage(L"No", nullptr, 0);
                const std::string bytes = quill_test::FileStart(file);
                return (asf ? quill_test::AsfHeaderSeconds(bytes) * 25 : quill_test::AviHeaderFrames(bytes)) >= 50;
            })) << "the header never told two seconds";
            ASSERT_TRUE(TerminateProcess(program.Process(), 9));
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(program.Process(), 30000));
        }
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(file); }));
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

}  // namespace
