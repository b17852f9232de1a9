// A recording frozen and resumed as its user does it, with the freeze command of a script or the
// space bar, or started frozen: in every family of formats the file leaves out the frozen time in its
// picture and its sound alike, goes on after the resume, shows no hole in its picture's timeline and
// decodes whole, with no damaged picture or sound at the join, and keeps its picture and sound of one
// length however often it is joined, the camera's pictures each at its time although the camera
// loses some as a busy machine makes it, and for a minute from a camera with a clock of its own,
// slower or faster than its format states (a picture every 1.5, 0.5 or 0.67 frame times, stamps
// straying by up to half the time between two; copies of the program recording side by side), each
// picture within two frame times of its time and the track as long as the sound, in avi native and
// DivX; the screen shows the frame around the picture crossed while it is frozen, solid red while
// it records.
#include "tests/e2e/recordings_fixture.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "platform/standins/test_camera.h"
#include "tests/app/screen_pixels.h"
#include "tests/common/camera_pictures.h"

namespace e2e_fixture {
namespace {

// The file's pictures as they decode: the usual step between two in the timeline (the frame time:
// a rate guessed from all of them would count the resume's step too), the longest step, and the
// length of the timeline they stand on (places kept empty for lost pictures included), its last
// place lasting a frame time (Frame, when the usual step is not one).
struct TPictures {
    double Step = 0;
    double Longest = 0;
    double Length = 0;
};
TPictures Pictures(const std::wstring& File, double Frame = 0) {
    const auto run = quill_test::RunUnix({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                         "frame=best_effort_timestamp_time", "-of", "csv=p=0",
                                         quill_test::UnixPath(File)});
    std::vector<double> times;
    std::istringstream lines(run.Out);
    // A picture whose time ffprobe cannot tell says "N/A,".
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) times.push_back(std::atof(line.c_str()));
    std::sort(times.begin(), times.end());
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i) steps.push_back(times[i] - times[i - 1]);
    TPictures pictures;
    if (steps.empty()) return pictures;
    std::sort(steps.begin(), steps.end());
    pictures.Step = steps[steps.size() / 2];
    pictures.Longest = steps.back();
    pictures.Length = times.back() - times.front() + (Frame > 0 ? Frame : pictures.Step);
    return pictures;
}

// The test camera's pictures, taken every Interval by its clock, some of which it loses (the test's
// steps of 2 and 3 in the numbers it draws, and as many as a busy machine makes it lose): from one of
// the recording's Joins (where the file leaves out a frozen second or more) to the next each plays at
// its time, counted from the first after the join, within Within; the first after each join plays a
// frame time (Frame) after the one before, within Within too.
void ExpectCameraPicturesAtTheirTime(const std::wstring& File, double Frame, double Interval, double Within,
                                     int Joins) {
    const std::vector<quill_test::TCameraPicture> pictures = quill_test::CameraPictures(File);
    ASSERT_FALSE(pictures.empty()) << "no picture of the camera decodes";
    int lost = 0, joined = 0;
    std::size_t first = 0;
    // Where each run began, and the pictures about a failure: what a failure on a busy machine shows.
    std::ostringstream runs;
    runs << "runs from picture " << pictures[0].Number << " at " << pictures[0].Time << " s";
    auto around = [&](std::size_t i) {
        std::ostringstream shown;
        for (std::size_t k = i > 4 ? i - 4 : 0; k < std::min(pictures.size(), i + 4); ++k)
            shown << (k == i ? " [" : " ") << pictures[k].Number << "@" << pictures[k].Time << (k == i ? "]" : "");
        return shown.str();
    };
    for (std::size_t i = 1; i < pictures.size(); ++i) {
        const auto step = static_cast<long>(pictures[i].Number - pictures[i - 1].Number);
        const double after = pictures[i].Time - pictures[first].Time;
        if (std::abs(after - (pictures[i].Number - pictures[first].Number) * Interval) <= Within + 0.002) {
            lost += step == 2 || step == 3;
            continue;
        }
        const double gap = pictures[i].Time - pictures[i - 1].Time;
        if (step > 3 && std::abs(gap - Frame) <= Within + 0.002 && joined++ < Joins) {
            first = i;
            runs << "; from " << pictures[i].Number << " at " << pictures[i].Time << " s (" << around(i) << " )";
            continue;
        }
        ADD_FAILURE() << "picture " << pictures[i].Number << " plays " << gap << " s after "
                      << pictures[i - 1].Number << ", " << after << " s after the first of its run\n"
                      << around(i) << "\n" << runs.str() << "; " << pictures.size() << " pictures, the last "
                      << pictures.back().Number << " at " << pictures.back().Time << " s";
        return;
    }
    EXPECT_GT(lost, 0) << "the camera lost no picture";
    EXPECT_EQ(Joins, joined) << "pictures lost played at once, or a freeze's join was filled\n" << runs.str();
}

// With the pause in it the sound would be at least as long as the whole run less the start's and
// the stop's delays, which a second covers.
void ExpectFrozenTimeLeftOut(double Heard, double Wall, double Pause) {
    EXPECT_LT(Heard, Wall - Pause + 1.0) << "the frozen time is left out of the sound";
}

// Seconds of the file's sound as it decodes: samples over the sample rate (-1 when none decode).
double SoundSeconds(const std::wstring& File) {
    const quill_test::TMediaProbe probe = quill_test::Probe(File);
    const int sound = probe.StreamOfType("audio");
    const double channels = probe.StreamNumber(sound, "channels"), rate = probe.StreamNumber(sound, "sample_rate");
    const auto samples = quill_test::DecodeSound(File);
    return sound >= 0 && channels > 0 && rate > 0 && !samples.empty() ? samples.size() / channels / rate : -1;
}

// The frame around the picture as the whole screen shows it: its pixels in red, in the window's
// face colour, and in any other colour.
struct TFrame {
    int Red = 0;
    int Face = 0;
    int Other = 0;
    bool Solid() const { return Red > 0 && Face == 0 && Other == 0; }
    // The diagonal cross: red lines with the window's face between them.
    bool Crossed() const { return Red > 0 && Face > Red && Other == 0; }
};
TFrame FrameShown(const TProgram& Program, const std::wstring& Shot) {
    TFrame frame;
    const std::vector<HWND> video = TProgram::ControlsOf(Program.Window(), L"TVideoWindow");
    if (video.empty()) return frame;
    RECT picture{};
    GetWindowRect(video[0], &picture);
    const quill_test::TScreenGrab grab = quill_test::GrabWholeScreen(Shot);
    EXPECT_FALSE(grab.Pixels.empty()) << grab.Failure;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const DWORD faceRgb = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    // The frame is 12 pixels wide, the outermost one its outline.
    for (int y = picture.top - 11; y < picture.bottom + 11; ++y)
        for (int x = picture.left - 11; x < picture.right + 11; ++x) {
            if (x >= picture.left && x < picture.right && y >= picture.top && y < picture.bottom) continue;
            const DWORD pixel = grab.At(x, y);
            ++(pixel == 0xFF0000 ? frame.Red : pixel == faceRgb ? frame.Face : frame.Other);
        }
    return frame;
}

struct TFamily {
    const wchar_t* video;
    const wchar_t* format;
    const wchar_t* extension;
    std::uint64_t growth;  // bytes the file grows by in well under a second of recording
    bool startFrozen = false;  // frozen before the start, resumed with the space bar
    int joins = 1;  // more: frozen with the space bar for a second each, running 1.5 s between
};

// A minute from a camera with a clock of its own: its format, a picture every Interval thousandths
// of the frame time its format states, and the bytes its file grows by in well under a second.
struct TClocked {
    const wchar_t* format;
    std::uint64_t interval;
    std::uint64_t growth;
};

TEST_F(Recordings, AFrozenRecordingLeavesOutTheFrozenTimeInPictureAndSoundAlike) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {L"Divx favori=Xvid MPEG-4 Codec", L"Want Mp3=1"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    // The coded pictures of the MPEG cards refer to those before them up to the next key picture.
    const TFamily families[] = {{kCamera, L"avi native", L".avi", 2000000, false, 8},
                                {kCamera, L"dv type 2 (recomp)", L".avi", 1000000},
                                {kCamera, L"DivX", L".avi", 20000, false, 8},
                                {kCamera, L"DivX", L".avi", 20000, true},
                                {kCamera, L"Wmv", L".wmv", 20000},
                                {kMpegCard, L"mpeg2 native stream", L".mpg", 50000},
                                {kMpegCard, L"mpeg2 native stream", L".mpg", 50000, true},
                                {kMpeg1Card, L"mpeg1 native stream", L".mpg", 20000},
                                {kCamcorderVideo, L"dv type 2 native", L".avi", 1000000},
                                {kCamcorderVideo, L"dv type 1 natifve", L".avi", 1000000},
                                {L"no video stream", L"Wav", L".wav", 50000},
                                {L"no video stream", L"mp3", L".mp3", 5000}};
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    TProcessTestSetting lost(program, standins::kTestLostPicturesValue, 9);
    ASSERT_TRUE(lost.Set());
    auto freeze = [&](bool On, bool Key) {
        if (!Key) return Script(program, {On ? L"+freeze_capture" : L"-freeze_capture"});
        SetForegroundWindow(program.Window());
        PostMessageW(program.Window(), WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageW(program.Window(), WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001));
    };
    int number = 0;
    for (const TFamily& family : families) {
        const std::wstring file = Clip(number++, family.extension);
        SCOPED_TRACE(testing::PrintToString(file));
        const wchar_t* sound = family.video == std::wstring(kCamcorderVideo) ? kCamcorderSound : kMicrophone;
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=" + std::wstring(family.video),
                                                 L"source_audio=" + std::wstring(sound),
                                                 L"format_capture=" + std::wstring(family.format)}));
        // The first family, those started frozen and those joined often use the space bar, as in the window.
        const bool key = number == 1 || family.startFrozen || family.joins > 1;
        // The first family's frame is looked at on the whole screen through its freeze and resume.
        const bool look = number == 1 && !family.startFrozen;
        const ULONGLONG started = GetTickCount64();
        ASSERT_NO_FATAL_FAILURE(Script(program, {family.startFrozen ? L"+freeze_capture" : L"", L"capture"}));
        if (family.startFrozen) {
            ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(file); }));
        } else {
            ASSERT_TRUE(Growing(program, file, family.growth));
            for (int join = 1; join < family.joins; ++join) {
                Sleep(1500);
                ASSERT_NO_FATAL_FAILURE(freeze(true, key));
                Sleep(1000);
                const std::uint64_t size = e2e::FileSize(file);
                ASSERT_NO_FATAL_FAILURE(freeze(false, key));
                ASSERT_TRUE(Growing(program, file, size + family.growth)) << "join " << join << " goes on";
            }
            if (family.joins > 1) Sleep(1500);
            if (look) {
                EXPECT_TRUE(FrameShown(program, L"recording.png").Solid()) << "a recording's frame is solid red";
            }
            ASSERT_NO_FATAL_FAILURE(freeze(true, key));
        }
        const ULONGLONG frozen = family.startFrozen ? started : GetTickCount64();
        if (look) {
            TFrame shown;
            EXPECT_TRUE(e2e::WaitFor([&] { return (shown = FrameShown(program, L"recording_frozen.png")).Crossed(); },
                                     10000))
                << "the frozen recording's frame shows " << shown.Red << " red, " << shown.Face << " grey and "
                << shown.Other << " other pixels";
        }
        // The user's pause: its length is measured, not relied on.
        Sleep(family.joins > 1 ? 1000 : 3000);
        const std::uint64_t size = e2e::FileSize(file);
        const ULONGLONG resumed = GetTickCount64();
        ASSERT_NO_FATAL_FAILURE(freeze(false, key));
        if (look) {
            EXPECT_TRUE(e2e::WaitFor([&] { return FrameShown(program, L"recording_resumed.png").Solid(); }, 10000))
                << "solid red again once resumed";
        }
        ASSERT_TRUE(Growing(program, file, size + family.growth)) << "the same file goes on after the resume";
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
        // A stop that finds frames lost asks about the scene list: it is kept.
        ASSERT_TRUE(program.Settled(file));
        const double wall = (GetTickCount64() - started) / 1000.0, pause = (resumed - frozen) / 1000.0;

        const quill_test::TUnixResult whole = quill_test::DecodeWhole(file);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty())
            << "the join decodes\n" << whole.Failure << whole.Err;
        const double heard = SoundSeconds(file);
        ASSERT_GT(heard, 0.5);
        ExpectFrozenTimeLeftOut(heard, wall, pause);
        if (family.video == std::wstring(L"no video stream")) continue;
        const TPictures seen = Pictures(file);
        EXPECT_NEAR(heard, seen.Length, 0.15) << "picture and sound stay together, however many joins";
        EXPECT_LT(seen.Longest, 0.5) << "no hole where the recording was frozen";
        // Windows Media times its pictures to its profile's frame rate: its pictures keep their
        // time by the slots they fill, which the lengths above compare.
        if (family.video == std::wstring(kCamera) && family.extension == std::wstring(L".avi"))
            ExpectCameraPicturesAtTheirTime(file, seen.Step, seen.Step, 0,
                                            family.startFrozen ? family.joins - 1 : family.joins);
    }

    // A minute from a camera with a clock of its own, its stamps straying by up to half the time
    // between two pictures: slower than its format states and faster, in avi native and DivX,
    // frozen once after its minute. Copies of the program record side by side, as users may run
    // them, each with its own camera's clock: a round takes a minute however many it records.
    const std::vector<std::vector<TClocked>> rounds = {
        {{L"avi native", 1500, 2000000}, {L"avi native", 500, 2000000}, {L"avi native", 667, 2000000}},
        {{L"DivX", 500, 20000}, {L"DivX", 667, 20000}}};
    TProgramFolder folders[] = {{quill_test::ProgramPath(), L"copy2"}, {quill_test::ProgramPath(), L"copy3"}};
    TProgram others[2];
    std::vector<TProgram*> copies = {&program};
    std::vector<std::wstring> videos = {Videos()};
    std::vector<int> numbers = {number};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(folders[i].Ready()) << "the program could not be copied";
        videos.push_back(folders[i].Folder() + L"videos\\");
        std::vector<std::wstring> lines;
        for (const std::wstring& line : settings)
            lines.push_back(line.rfind(L"Video Directory=", 0) == 0 ? L"Video Directory=" + videos.back() : line);
        ASSERT_TRUE(folders[i].WriteSettings(lines));
        ASSERT_TRUE(others[i].Launch(folders[i].Exe())) << testing::PrintToString(others[i].Failure());
        copies.push_back(&others[i]);
        numbers.push_back(0);
    }
    for (TProgram* copy : copies) ASSERT_TRUE(copy->WaitReady()) << testing::PrintToString(copy->Failure());
    for (const std::vector<TClocked>& round : rounds) {
        struct TRun {
            TProgram* program = nullptr;
            const TClocked* clocked = nullptr;
            std::wstring file;
            std::optional<TProcessTestSetting> interval, jitter;
            ULONGLONG started = 0, frozen = 0, resumed = 0;
            std::uint64_t size = 0;
        };
        std::vector<TRun> runs(round.size());
        for (std::size_t i = 0; i < round.size(); ++i) {
            TRun& run = runs[i];
            run.program = copies[i];
            run.clocked = &round[i];
            run.file = videos[i] + L"clip_" + std::to_wstring(numbers[i]++) + L".avi";
            ASSERT_NO_FATAL_FAILURE(Script(*run.program, {L"source_video=" + std::wstring(kCamera),
                                                          L"source_audio=" + std::wstring(kMicrophone),
                                                          L"format_capture=" + std::wstring(run.clocked->format)}));
            run.interval.emplace(*run.program, standins::kTestPictureIntervalValue, run.clocked->interval);
            run.jitter.emplace(*run.program, standins::kTestPictureJitterValue, 500);
            ASSERT_TRUE(run.interval->Set() && run.jitter->Set());
        }
        for (TRun& run : runs) {
            run.started = GetTickCount64();
            ASSERT_NO_FATAL_FAILURE(Script(*run.program, {L"capture"}));
        }
        for (TRun& run : runs) ASSERT_TRUE(Growing(*run.program, run.file, run.clocked->growth));
        // The recordings' length, not a wait for anything.
        Sleep(60000);
        for (TRun& run : runs) {
            ASSERT_NO_FATAL_FAILURE(Script(*run.program, {L"+freeze_capture"}));
            run.frozen = GetTickCount64();
        }
        // The user's pause: its length is measured, not relied on.
        Sleep(3000);
        for (TRun& run : runs) {
            run.size = e2e::FileSize(run.file);
            run.resumed = GetTickCount64();
            ASSERT_NO_FATAL_FAILURE(Script(*run.program, {L"-freeze_capture"}));
        }
        for (TRun& run : runs)
            ASSERT_TRUE(Growing(*run.program, run.file, run.size + run.clocked->growth)) << "goes on after the resume";
        for (TRun& run : runs) ASSERT_NO_FATAL_FAILURE(Script(*run.program, {L"capture"}));
        for (TRun& run : runs) {
            SCOPED_TRACE(testing::PrintToString(run.file));
            ASSERT_TRUE(run.program->Settled(run.file));
            const double wall = (GetTickCount64() - run.started) / 1000.0, pause = (run.resumed - run.frozen) / 1000.0;
            const quill_test::TUnixResult whole = quill_test::DecodeWhole(run.file);
            EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty())
                << "the join decodes\n" << whole.Failure << whole.Err;
            const double heard = SoundSeconds(run.file);
            ASSERT_GT(heard, 0.5);
            ExpectFrozenTimeLeftOut(heard, wall, pause);
            // The camera's frame time, which a clock of its own does not show as the usual step.
            constexpr double kFrame = standins::kCameraFrameTime / 1e7;
            const double interval = run.clocked->interval / 1000.0;
            const TPictures seen = Pictures(run.file, kFrame);
            std::printf("%ls, a camera giving a picture every %.2f frame times: %.3f s of pictures beside %.3f s of "
                        "sound\n",
                        run.clocked->format, interval, seen.Length, heard);
            // A slower camera's last picture before the stop's key may be left out for a slot its
            // stamp shares, so the one kept may end up to two intervals and a jitter (half a frame
            // time) before the key, which the sound (in 20 ms buffers) runs to. The sound ends on a
            // whole sample, the picture on a frame time: a millisecond more is the sound's rounding.
            EXPECT_NEAR(heard, seen.Length, (interval > 1 ? 2 * interval + 1 : 2) * kFrame + 0.001)
                << "the picture's track keeps to the sound";
            EXPECT_LT(seen.Longest, 0.5) << "no hole where the recording was frozen";
            // A picture of the camera's own clock takes the frame time its stamp falls in, which it
            // may share: it plays up to a frame time early, or late behind another (slower), or
            // the others in its frame time are left out (faster), beside its first's (straying too).
            ExpectCameraPicturesAtTheirTime(run.file, kFrame, interval * kFrame, 2 * kFrame, 1);
        }
    }
    for (TProgram& other : others) EXPECT_TRUE(other.Close());
    EXPECT_TRUE(program.Close());
}

// The MPEG cards' recordings freeze from the tool bar's button as from the space bar: the button can
// be clicked while they record, the frame shows the freeze, and a second click resumes the same file.
TEST_F(Recordings, TheFreezeButtonFreezesTheMpegCardsRecordingsAsTheSpaceBarDoes) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    auto checked = [&] {
        const int state = program.ToolButtonState(TProgram::kFreezeCaptureButton);
        return state >= 0 && (state & TBSTATE_CHECKED) != 0;
    };
    const std::pair<const wchar_t*, const wchar_t*> cards[] = {{kMpegCard, L"mpeg2 native stream"},
                                                               {kMpeg1Card, L"mpeg1 native stream"}};
    int number = 0;
    for (const auto& [card, format] : cards) {
        const std::wstring file = Clip(number++, L".mpg");
        SCOPED_TRACE(testing::PrintToString(file));
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=" + std::wstring(card),
                                                 L"source_audio=" + std::wstring(kMicrophone),
                                                 L"format_capture=" + std::wstring(format)}));
        // Started by a script of its own, which waits for the selection's script to end.
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
        ASSERT_TRUE(Growing(program, file, 20000));
        const int state = program.ToolButtonState(TProgram::kFreezeCaptureButton);
        EXPECT_TRUE(state >= 0 && (state & TBSTATE_ENABLED) != 0) << "the freeze button is greyed: " << state;
        ASSERT_TRUE(program.ClickToolButton(TProgram::kFreezeCaptureButton)) << testing::PrintToString(program.Failure());
        EXPECT_TRUE(e2e::WaitFor(checked, 10000)) << "the click did not freeze the recording";
        TFrame shown;
        EXPECT_TRUE(e2e::WaitFor([&] { return (shown = FrameShown(program, L"mpeg_frozen.png")).Crossed(); }, 10000))
            << "the frozen recording's frame shows " << shown.Red << " red, " << shown.Face << " grey and "
            << shown.Other << " other pixels";
        const std::uint64_t size = e2e::FileSize(file);
        ASSERT_TRUE(program.ClickToolButton(TProgram::kFreezeCaptureButton)) << testing::PrintToString(program.Failure());
        EXPECT_TRUE(e2e::WaitFor([&] { return !checked(); }, 10000)) << "the second click did not resume";
        ASSERT_TRUE(Growing(program, file, size + 20000)) << "the same file goes on after the resume";
        ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
        ASSERT_TRUE(program.Settled(file));
        const quill_test::TUnixResult whole = quill_test::DecodeWhole(file);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << "the join decodes\n" << whole.Failure << whole.Err;
    }
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace e2e_fixture
