// A recording frozen and resumed as its user does it, with the freeze command of a script or the
// space bar, or started frozen: in every family of formats the file leaves out the frozen time in its
// picture and its sound alike, goes on after the resume, shows no hole in its picture's timeline and
// decodes whole, with no damaged picture or sound at the join.
#include "tests/e2e/recordings_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "platform/standins/test_camera.h"

namespace e2e_fixture {
namespace {

// The file's pictures as they decode: how many, the usual step between two in the timeline (the
// frame time: a rate guessed from all of them would count the resume's step too), the longest step.
struct TPictures {
    std::size_t Count = 0;
    double Step = 0;
    double Longest = 0;
};
TPictures Pictures(const std::wstring& File) {
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
    pictures.Count = times.size();
    if (steps.empty()) return pictures;
    std::sort(steps.begin(), steps.end());
    pictures.Step = steps[steps.size() / 2];
    pictures.Longest = steps.back();
    return pictures;
}

// The numbers the test MPEG cards drew into the file's pictures, as the pictures decode one by one
// (empty when ffmpeg cannot decode them): a picture coded against one the join dropped shows the
// number of another.
std::vector<ULONG> PictureNumbers(const std::wstring& File) {
    const quill_test::TMediaProbe probe = quill_test::Probe(File);
    const int video = probe.StreamOfType("video");
    const auto width = static_cast<std::size_t>(probe.StreamNumber(video, "width"));
    const std::size_t picture = width * static_cast<std::size_t>(probe.StreamNumber(video, "height"));
    const std::filesystem::path raw = std::filesystem::temp_directory_path() /
        (L"quill_numbers_" + std::to_wstring(GetCurrentProcessId()) + L".y");
    const auto run = quill_test::RunUnix({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", quill_test::UnixPath(File),
                                          "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt",
                                          "gray", quill_test::UnixPath(raw)});
    const std::string bytes = run.Ran && run.ExitCode == 0 ? quill_test::ReadWholeFile(raw) : std::string();
    std::error_code ec;
    std::filesystem::remove(raw, ec);
    std::vector<ULONG> numbers;
    const std::size_t block = standins::kCounterBlock, row = standins::kCounterTop + block / 2;
    for (std::size_t at = 0; picture > 0 && at + picture <= bytes.size(); at += picture) {
        ULONG n = 0;
        for (std::size_t bit = 0; bit < std::size_t{standins::kCounterBits} && (bit + 1) * block <= width; ++bit)
            if (static_cast<unsigned char>(bytes[at + row * width + bit * block + block / 2]) > 128) n |= 1UL << bit;
        numbers.push_back(n);
    }
    return numbers;
}

// Seconds of the file's sound as it decodes: samples over the sample rate (-1 when none decode).
double SoundSeconds(const std::wstring& File) {
    const quill_test::TMediaProbe probe = quill_test::Probe(File);
    const int sound = probe.StreamOfType("audio");
    const double channels = probe.StreamNumber(sound, "channels"), rate = probe.StreamNumber(sound, "sample_rate");
    const auto samples = quill_test::DecodeSound(File);
    return sound >= 0 && channels > 0 && rate > 0 && !samples.empty() ? samples.size() / channels / rate : -1;
}

struct TFamily {
    const wchar_t* video;
    const wchar_t* format;
    const wchar_t* extension;
    std::uint64_t growth;  // bytes the file grows by in well under a second of recording
    bool startFrozen;      // frozen before the start, resumed with the space bar
};

TEST_F(Recordings, AFrozenRecordingLeavesOutTheFrozenTimeInPictureAndSoundAlike) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {L"Divx favori=Xvid MPEG-4 Codec", L"Want Mp3=1"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    // The coded pictures of the MPEG cards refer to those before them up to the next key picture.
    const TFamily families[] = {{kCamera, L"avi native", L".avi", 2000000, false},
                                {kCamera, L"dv type 2 (recomp)", L".avi", 1000000, false},
                                {kCamera, L"DivX", L".avi", 20000, false},
                                {kCamera, L"DivX", L".avi", 20000, true},
                                {kCamera, L"Wmv", L".wmv", 20000, false},
                                {kMpegCard, L"mpeg2 native stream", L".mpg", 50000, false},
                                {kMpegCard, L"mpeg2 native stream", L".mpg", 50000, true},
                                {kMpeg1Card, L"mpeg1 native stream", L".mpg", 20000, false},
                                {kCamcorderVideo, L"dv type 2 native", L".avi", 1000000, false},
                                {kCamcorderVideo, L"dv type 1 natifve", L".avi", 1000000, false},
                                {L"no video stream", L"Wav", L".wav", 50000, false},
                                {L"no video stream", L"mp3", L".mp3", 5000, false}};
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    // A stop that finds frames lost asks about the scene list: it is kept.
    auto settled = [&](const std::wstring& File) {
        return e2e::WaitFor([&] {
            if (program.Message() != nullptr) program.AnswerMessage(L"No", nullptr, 0);
            return e2e::FileClosed(File);
        });
    };
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
        // The first family, and those started frozen, are resumed with the space bar, as in the window.
        const bool key = number == 1 || family.startFrozen;
        const ULONGLONG started = GetTickCount64();
        ASSERT_NO_FATAL_FAILURE(Script(program, {family.startFrozen ? L"+freeze_capture" : L"", L"capture"}));
        if (family.startFrozen) {
            ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(file); }));
        } else {
            ASSERT_TRUE(Growing(program, file, family.growth));
            ASSERT_NO_FATAL_FAILURE(freeze(true, key));
        }
        const ULONGLONG frozen = family.startFrozen ? started : GetTickCount64();
        // The user's pause: its length is measured, not relied on.
        Sleep(3000);
        const std::uint64_t size = e2e::FileSize(file);
        const ULONGLONG resumed = GetTickCount64();
        ASSERT_NO_FATAL_FAILURE(freeze(false, key));
        ASSERT_TRUE(Growing(program, file, size + family.growth)) << "the same file goes on after the resume";
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
        ASSERT_TRUE(settled(file));
        const double wall = (GetTickCount64() - started) / 1000.0, pause = (resumed - frozen) / 1000.0;

        const quill_test::TUnixResult whole = quill_test::DecodeWhole(file);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty())
            << "the join decodes\n" << whole.Failure << whole.Err;
        const double heard = SoundSeconds(file);
        ASSERT_GT(heard, 0.5);
        // With the pause in it the sound would be at least as long as the whole run less the start's
        // and the stop's delays, which a second covers.
        EXPECT_LT(heard, wall - pause + 1.0) << "the frozen time is left out of the sound";
        if (family.video == std::wstring(L"no video stream")) continue;
        const TPictures seen = Pictures(file);
        EXPECT_NEAR(heard, seen.Count * seen.Step, 0.15) << "picture and sound stay together";
        EXPECT_LT(seen.Longest, 0.5) << "no hole where the recording was frozen";
        if (family.video != std::wstring(kMpegCard) && family.video != std::wstring(kMpeg1Card)) continue;
        const std::vector<ULONG> numbers = PictureNumbers(file);
        EXPECT_FALSE(numbers.empty());
        EXPECT_TRUE(std::adjacent_find(numbers.begin(), numbers.end(), std::greater_equal<>()) == numbers.end())
            << "no stuck or smeared picture at the join: " << testing::PrintToString(numbers);
    }
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace e2e_fixture
