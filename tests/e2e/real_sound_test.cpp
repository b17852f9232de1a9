// The program records a real sound input: the tests' PulseAudio server (scripts/test.sh) plays a
// 440 Hz sine tone that Wine lists as a sound input; the program lists and selects it like any
// other sound source (the help panel lists it), records it alone as WAV and MP3 and beside the test camera in AVI, and ffmpeg finds
// the tone, its rate and channels, and in the AVI a sound as long as the video within a frame; its
// sound preview plays the tone into the server's output. Re-encoded to DV beside the camera, the
// tone is whole from the recording's first moment.
#include "tests/e2e/recordings_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "tests/common/camera_pictures.h"

namespace e2e_fixture {
namespace {

const wchar_t kSineInput[] = L"Monitor of Sine440";

// The PULSE_SERVER of the tests' own server (scripts/lib/common.sh), empty without one.
std::string TestPulse() {
    char value[512] = {};
    const DWORD n = GetEnvironmentVariableA("QUILL_TEST_PULSE", value, sizeof(value));
    return n > 0 && n < sizeof(value) ? std::string(value, n) : std::string();
}

// A PulseAudio server of the test's own, laid out as the tests' one (scripts/lib/common.sh): a
// sine tone played into a null sink whose monitor is "Monitor of Sine440". The program started
// with its Variable hears it, and the test can kill it as a crash would. Its
// folder is made and removed on the Linux side: Wine's file functions do not take its socket.
class TOwnPulse {
public:
    TOwnPulse() {
        const quill_test::TUnixResult run = quill_test::RunUnix(
            {"sh", "-c",
             "d=$(mktemp -d /tmp/quill_pulse.XXXXXX) || exit 1; cd \"$d\" || exit 1; printf '%s\\n' "
             "\"load-module module-native-protocol-unix socket=$d/native auth-anonymous=1\" "
             "'load-module module-null-sink sink_name=quill_null' "
             "'load-module module-sine-source source_name=quill_sine frequency=440' "
             "'load-module module-null-sink sink_name=quill_tone sink_properties=device.description=Sine440' "
             "'load-module module-loopback source=quill_sine sink=quill_tone latency_msec=30' "
             "'set-default-source quill_tone.monitor' 'set-default-sink quill_null' >server.pa || exit 1; "
             "HOME=\"$d\" XDG_RUNTIME_DIR=\"$d\" XDG_CONFIG_HOME=\"$d\" setsid pulseaudio --system=false --exit-idle-time=-1 "
             "--daemonize=no --use-pid-file=no -n -F server.pa --log-target=file:pulse.log </dev/null >/dev/null 2>&1 & "
             "echo \"$! $d\""});
        std::istringstream out(run.Out);
        out >> pid_ >> folder_;
        if (!run.Ran || run.ExitCode != 0 || pid_ <= 0 || folder_.empty()) return;
        server_ = "unix:" + folder_ + "/native";
        answers_ = e2e::WaitFor([&] {
            const quill_test::TUnixResult info = quill_test::RunUnix({"pactl", "--server=" + server_, "info"}, 10000);
            return info.Ran && info.ExitCode == 0;
        }, 20000);
    }
    ~TOwnPulse() {
        Kill();
        if (folder_.rfind("/tmp/quill_pulse.", 0) == 0) quill_test::RunUnix({"rm", "-rf", folder_}, 10000);
    }
    TOwnPulse(const TOwnPulse&) = delete;
    TOwnPulse& operator=(const TOwnPulse&) = delete;

    bool Answers() const { return answers_; }
    // What a program is started with to hear this server.
    std::string Variable() const { return "PULSE_SERVER=" + server_; }
    // Kills the server at once (SIGKILL), as a crash of the sound system would end it.
    void Kill() {
        if (pid_ > 0) quill_test::RunUnix({"kill", "-9", std::to_string(pid_)}, 10000);
        pid_ = 0;
    }

private:
    std::string folder_;
    std::string server_;
    int pid_ = 0;
    bool answers_ = false;
};

// Seconds of what the server's null sink (where the program's sound preview plays) is playing,
// 16-bit mono at 44100 Hz, recorded outside Wine.
std::vector<std::int16_t> Heard(const std::string& Server, int Seconds) {
    const std::filesystem::path raw = std::filesystem::temp_directory_path() /
        (L"quill_heard_" + std::to_wstring(GetCurrentProcessId()) + L".raw");
    quill_test::RunUnix({"timeout", std::to_string(Seconds), "pacat", "--record", "--server=" + Server,
                         "--device=quill_null.monitor", "--format=s16le", "--rate=44100", "--channels=1",
                         "--latency-msec=20", quill_test::UnixPath(raw)});
    const std::string bytes = quill_test::ReadWholeFile(raw);
    std::error_code ec;
    std::filesystem::remove(raw, ec);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Frequency of the first channel's tone from its rising zero crossings. A crossing counts only after
// the wave has gone well below zero, so the coder's faint ringing in the silence a stop pads its last
// frame with adds none; a step between two crossings a tenth or more away from the usual one spans a
// place where sound was lost (a lost picture's sound, or sound a busy machine's sound system lost,
// left silent or joining the wave out of phase) and is no period of the tone.
double ToneHz(const std::vector<std::int16_t>& Samples, int Channels, int Rate) {
    constexpr int kBelow = -300;
    bool armed = false, crossed = false;
    size_t last = 0;
    std::vector<size_t> steps;
    for (size_t i = 0; i < Samples.size(); i += static_cast<size_t>(Channels)) {
        if (Samples[i] < kBelow) {
            armed = true;
        } else if (armed && Samples[i] >= 0) {
            armed = false;
            if (crossed) steps.push_back(i / static_cast<size_t>(Channels) - last);
            crossed = true;
            last = i / static_cast<size_t>(Channels);
        }
    }
    if (steps.empty()) return 0.0;
    std::vector<size_t> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const size_t usual = sorted[sorted.size() / 2];
    size_t kept = 0, length = 0;
    for (size_t step : steps)
        if (10 * (step > usual ? step - usual : usual - step) < usual) ++kept, length += step;
    return static_cast<double>(kept) * Rate / static_cast<double>(length);
}

// The strength of frequency Hz in mono samples (Goertzel).
double Power(const std::vector<std::int16_t>& Samples, double Hz, int Rate) {
    const double k = 2 * std::cos(2 * 3.14159265358979323846 * Hz / Rate);
    double s1 = 0, s2 = 0;
    for (std::int16_t x : Samples) {
        const double s0 = x + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// The recording's sound: Codec at Rate with Channels, holding the tone from a tenth of a second on.
// Answers its length in seconds.
double ExpectTone(const std::wstring& File, int Rate, int Channels, const char* Codec = "pcm_s16le") {
    SCOPED_TRACE(testing::PrintToString(File));
    const quill_test::TMediaProbe probe = quill_test::Probe(File);
    EXPECT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    const int sound = probe.StreamOfType("audio");
    EXPECT_GE(sound, 0) << "no sound stream";
    if (sound < 0) return 0;
    EXPECT_EQ(Codec, probe.Stream(sound, "codec_name"));
    EXPECT_EQ(std::to_string(Rate), probe.Stream(sound, "sample_rate"));
    EXPECT_EQ(std::to_string(Channels), probe.Stream(sound, "channels"));
    std::string failure;
    const std::vector<std::int16_t> samples = quill_test::DecodeSound(File, &failure);
    EXPECT_TRUE(failure.empty()) << failure;
    const size_t skip = static_cast<size_t>(Rate / 10 * Channels);
    EXPECT_GT(samples.size(), skip * 5) << "less than half a second of sound";
    if (samples.size() <= skip * 5) return 0;
    const std::vector<std::int16_t> tone(samples.begin() + static_cast<std::ptrdiff_t>(skip), samples.end());
    EXPECT_NEAR(440.0, ToneHz(tone, Channels, Rate), 3.0);
    int loudest = 0;
    for (std::int16_t s : tone) loudest = std::max(loudest, std::abs(static_cast<int>(s)));
    EXPECT_GT(loudest, 1000) << "silence, not the tone";
    return static_cast<double>(samples.size() / static_cast<size_t>(Channels)) / Rate;
}

// The longest run of frames of exact silence (every channel 0) in interleaved samples that sound
// follows, where the first sound is, and the silence at the end: a hole where sound was missing,
// never in a tone; at the end, the sound of the last pictures that never came before the stop.
struct TSilence {
    size_t Longest = 0;
    size_t Lead = 0;
    size_t Trailing = 0;
};
TSilence Silences(const std::vector<std::int16_t>& Samples, int Channels) {
    TSilence found;
    size_t run = 0;
    bool heard = false;
    for (size_t i = 0; i + static_cast<size_t>(Channels) <= Samples.size(); i += static_cast<size_t>(Channels)) {
        const bool silent = std::all_of(Samples.begin() + static_cast<std::ptrdiff_t>(i),
                                        Samples.begin() + static_cast<std::ptrdiff_t>(i) + Channels,
                                        [](std::int16_t s) { return s == 0; });
        if (!silent && !heard) found.Lead = i / static_cast<size_t>(Channels), heard = true;
        if (!silent) found.Longest = std::max(found.Longest, run);
        run = silent ? run + 1 : 0;
    }
    found.Trailing = run;
    return found;
}

// The window tells in an error message, Most seconds after Since at the latest, that Input stopped
// giving sound and that what was written is kept, and is answered; how long after Since it told
// (-1: nothing was told).
double ToldStopped(TProgram& Program, const std::wstring& Input, ULONGLONG Since, double Most) {
    if (!e2e::WaitFor([&] { return Program.Message() != nullptr; }, 15000)) return -1;
    const double told = static_cast<double>(GetTickCount64() - Since) / 1000.0;
    const std::wstring text = Program.MessageText();
    std::wstring caption;
    EXPECT_TRUE(Program.AnswerMessage(L"OK", &caption));
    EXPECT_EQ(L"Error", caption);
    EXPECT_NE(std::wstring::npos, text.find(L"the sound input " + Input + L" stopped giving sound"))
        << testing::PrintToString(text);
    EXPECT_NE(std::wstring::npos, text.find(L"What was written is kept.")) << testing::PrintToString(text);
    EXPECT_LT(told, Most) << "told long after";
    return told;
}

TEST_F(Recordings, ARealSoundInputIsRecordedAsWavAndMp3AndInAviBesideTheCamera) {
    const std::string server = TestPulse();
    if (server.empty()) GTEST_SKIP() << "no test PulseAudio server (run through scripts/test.sh)";
    // The program's sound format choice: 32000 Hz, converted from the input's 44100 Hz.
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {L"FrequenceDV=1", L"Want Mp3=1"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    // What a busy machine's sound system lost of the input's sound, which the program keeps silent.
    const TStandinList soundLost(program, standins::kTestSoundLostValue);
    ASSERT_TRUE(soundLost.Set());
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=no video stream", L"source_audio=" + std::wstring(kSineInput),
                                             L"format_capture=Wav"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == kSineInput; }))
        << "the input Wine lists is not a sound source: " << testing::PrintToString(program.SoundSource());
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"Wav"; }));
    // The help panel's list of sources names it too.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"+hf"}));
    HWND help = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (help = program.ShownPanel(L"THelpFrame")) != nullptr; }));
    std::vector<std::wstring> listed;
    EXPECT_TRUE(e2e::WaitFor([&] {
        listed.clear();
        for (HWND list : TProgram::ControlsOf(help, L"TUcCheckListBox")) {
            const LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < n; ++i) {
                const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
                if (length <= 0 || length > 255) continue;
                wchar_t item[256] = {};
                SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
                listed.emplace_back(item);
            }
        }
        return std::find(listed.begin(), listed.end(), kSineInput) != listed.end();
    })) << "the help panel's sources: " << testing::PrintToString(listed);
    // The sound preview plays the input: the server's output carries the tone.
    const std::vector<std::int16_t> heard = Heard(server, 3);
    ASSERT_GT(heard.size(), 44100u) << "nothing came from the server's output";
    // A live preview may skip or repeat a little on a loaded machine: the tone is what dominates.
    const std::vector<std::int16_t> tail(heard.end() - 44100, heard.end());
    EXPECT_GT(*std::max_element(tail.begin(), tail.end()), 1000) << "the preview plays silence";
    for (double other : {220.0, 330.0, 660.0, 880.0, 1000.0}) {
        EXPECT_GT(Power(tail, 440, 44100), 20 * Power(tail, other, 44100)) << "the preview's sound is not the tone: " << other;
    }
    // About two seconds of 16-bit stereo at 44100 Hz.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(0, L".wav"), 350000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=mp3", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(1, L".mp3"), 30000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"source_video=" + std::wstring(kCamera),
                                             L"format_capture=avi native", L"capture"}));
    EXPECT_EQ(kSineInput, program.SoundSource());
    ASSERT_TRUE(Growing(program, Clip(2), 12000000));
    // Re-encoded to DV, the sound goes into each picture's frame with the picture's time.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=dv type 2 (recomp)", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(3), 12000000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(2)) && e2e::FileClosed(Clip(3)); }));
    const std::vector<std::int64_t> lost = soundLost.Read();
    EXPECT_TRUE(program.Close());
    // The longest sound the input lost, in frames of the recordings' rate.
    const size_t lostFrames =
        lost.empty() ? 0 : static_cast<size_t>(*std::max_element(lost.begin(), lost.end()) * 32000 / 10000000);

    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0, L".wav")); }));
    EXPECT_GT(ExpectTone(Clip(0, L".wav"), 32000, 2), 1.5);
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1, L".mp3")); }));
    EXPECT_GT(ExpectTone(Clip(1, L".mp3"), 32000, 2, "mp3"), 1.0);

    const double soundSeconds = ExpectTone(Clip(2), 32000, 2);
    const quill_test::TMediaProbe avi = quill_test::Probe(Clip(2));
    const int video = avi.StreamOfType("video");
    ASSERT_GE(video, 0) << "no video stream";
    const double fps = avi.Ratio(video, "r_frame_rate");
    ASSERT_GT(fps, 0);
    // The video's time line from the numbers the camera drew (a picture's number is its start over
    // the frame time; pictures a loaded machine dropped keep their places as empty frames): the
    // recording stopped during the last picture, and the sound ends within a frame of it.
    const std::vector<quill_test::TCameraPicture> pictures = quill_test::CameraPictures(Clip(2));
    ASSERT_FALSE(pictures.empty());
    const unsigned long first = pictures.front().Number, last = pictures.back().Number;
    EXPECT_EQ(0u, first) << "the video does not start with the recording";
    EXPECT_GT(last / fps, 1.0);
    EXPECT_GE(soundSeconds, (last - 1) / fps) << "the sound is shorter than the video by more than a frame";
    EXPECT_LE(soundSeconds, (last + 1) / fps + 0.001) << "the sound is longer than the video";

    // The DV recording's sound holds the tone from its first frame on, without a hole in it (a
    // frame whose sound had not come yet got silence), as the AVI's does, but where pictures a
    // loaded machine lost keep their places: the sound there went with them, and its place is
    // silent; its last pictures, sent at the stop, end with silence only for their sound that
    // never came. Sound the input never gave keeps its place in silence as well.
    EXPECT_GT(ExpectTone(Clip(3), 32000, 2), 1.0);
    const std::vector<quill_test::TCameraPicture> coded = quill_test::CameraPictures(Clip(3));
    unsigned long lostTogether = 0;
    for (std::size_t i = 1; i < coded.size(); ++i)
        if (coded[i].Number > coded[i - 1].Number)
            lostTogether = std::max(lostTogether, coded[i].Number - coded[i - 1].Number - 1);
    for (int clip : {2, 3}) {
        SCOPED_TRACE(clip);
        const TSilence silence = Silences(quill_test::DecodeSound(Clip(clip)), 2);
        EXPECT_LT(silence.Lead, 32u * 5) << "the sound begins with silence";
        EXPECT_LT(silence.Longest, 32u + lostFrames + (clip == 3 ? lostTogether * 32000 / 25 : 0))
            << "a millisecond and more of silence in the tone";
        EXPECT_LT(silence.Trailing, 32000u / 2) << "half a second and more of silence at the end";
    }
}

// The input's sound server dies during a recording (killed, as a crash ends it): within a couple
// of seconds the window says which input stopped giving sound and stops the recording as for a
// failed write, and the file keeps the tone recorded before, in a sound recording and beside the
// camera alike. An input that gives nothing at all from the start (the test microphone's test
// setting; a quiet input still gives its buffers) is told the same way, as soon, beside the camera
// in avi native, DivX and Windows Media, and silence takes the place of the sound that never came:
// each recording's sound is as long as its picture, those stopped before the input could be told
// too, which close promptly after the click, as their last writes show.
TEST_F(Recordings, ASoundInputThatStopsGivingSoundIsToldByNameAndTheRecordingKept) {
    struct TFormat {
        int format;
        const wchar_t* extension;
        const char* video;
        const char* sound;
        const char* tag;
    };
    for (const TFormat& f : {TFormat{5, L".avi", "rawvideo", "pcm_s16le", "0x0001"}, TFormat{9, L".avi", "mpeg4", "mp3", "0x0055"},
                             TFormat{7, L".wmv", "wmv2", "wmav2", "0x0161"}}) {
        SCOPED_TRACE(f.format);
        ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, f.format, false)));
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        const TProcessTestSetting nothing(program, standins::kTestSoundGivesNothingValue, 1);
        ASSERT_TRUE(nothing.Set());
        // A second of recording and more (a multiplexer may hold its data until the file closes).
        auto recordASecond = [&](int clip) {
            EXPECT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            const bool begun = e2e::WaitFor([&] { return e2e::FileExists(Clip(clip, f.extension)); });
            Sleep(1000);
            return begun;
        };
        std::vector<double> closed;
        for (int clip = 0; clip < 2; ++clip) {
            ASSERT_TRUE(recordASecond(clip));
            const std::int64_t clicked = SystemNow();
            ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
            ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(clip, f.extension)); }));
            closed.push_back(static_cast<double>(LastWritten(Clip(clip, f.extension)) - clicked) / 1e7);
            EXPECT_EQ(nullptr, program.Message()) << "told before its time: " << testing::PrintToString(program.MessageText());
        }
        // Left running, it is told by name and the recording stopped and kept.
        const ULONGLONG started = GetTickCount64();
        ASSERT_TRUE(recordASecond(2));
        const double told = ToldStopped(program, kMicrophone, started, 6.0);
        ASSERT_GE(told, 0.0) << "nobody is told";
        EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }))
            << "the recording goes on without its sound";
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(2, f.extension)); }));
        EXPECT_TRUE(program.Close());
        ExpectClosedPromptly(closed);
        std::printf("format %d: told after %.2f s\n", f.format, told);
        for (int clip = 0; clip < 3; ++clip) {
            SCOPED_TRACE(clip);
            ReadBack(Clip(clip, f.extension), {f.video, f.sound, f.tag, false});
            const double picture = PictureSeconds(Clip(clip, f.extension)), heard = SoundSeconds(Clip(clip, f.extension));
            std::printf("  picture %.3f s, sound %.3f s\n", picture, heard);
            EXPECT_GT(picture, 0.5);
            EXPECT_NEAR(picture, heard, 0.1) << "the sound is not as long as the picture";
            const std::vector<std::int16_t> sound = quill_test::DecodeSound(Clip(clip, f.extension));
            int loudest = 0;
            for (std::int16_t v : sound) loudest = std::max(loudest, std::abs(static_cast<int>(v)));
            EXPECT_LT(loudest, 100) << "not silence";
            DeleteFileW(Clip(clip, f.extension).c_str());
        }
    }
    if (TestPulse().empty()) GTEST_SKIP() << "no test PulseAudio server (run through scripts/test.sh)";
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    struct TCase {
        const wchar_t* video;
        const wchar_t* format;
        const wchar_t* extension;
        std::uint64_t grown;  // bytes of a second of recording and more
    };
    for (const TCase& c : {TCase{L"no video stream", L"Wav", L".wav", 200000}, TCase{kCamera, L"avi native", L".avi", 12000000}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.format)));
        const std::wstring file = Clip(0, c.extension);
        TOwnPulse pulse;
        ASSERT_TRUE(pulse.Answers()) << "the test's own PulseAudio server did not start";
        TProgram program;
        ASSERT_TRUE(program.StartWithLinuxEnvironment(copy_.Exe(), {pulse.Variable()}))
            << testing::PrintToString(program.Failure());
        ASSERT_NO_FATAL_FAILURE(Script(program, {std::wstring(L"source_video=") + c.video,
                                                 std::wstring(L"source_audio=") + kSineInput,
                                                 std::wstring(L"format_capture=") + c.format, L"capture"}));
        ASSERT_TRUE(Growing(program, file, c.grown));
        ASSERT_EQ(kSineInput, program.SoundSource());
        pulse.Kill();
        const ULONGLONG killed = GetTickCount64();
        ASSERT_GE(ToldStopped(program, kSineInput, killed, 10.0), 0.0) << "nobody is told";
        EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }))
            << "the recording goes on without its sound";
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(file); }));
        EXPECT_TRUE(program.Close());
        // What was recorded before stays, a whole file with the input's sound (a server just
        // started tunes its tone a while: its pitch is not checked).
        ReadBack(file, {std::wstring(c.video) == kCamera ? "rawvideo" : nullptr, "pcm_s16le", "0x0001", false});
        const std::vector<std::int16_t> sound = quill_test::DecodeSound(file);
        EXPECT_GT(sound.size(), 48000u * 2) << "less than a second of sound kept";
        int loudest = 0;
        for (std::int16_t s : sound) loudest = std::max(loudest, std::abs(static_cast<int>(s)));
        EXPECT_GT(loudest, 1000) << "the input's sound is not in the file";
        DeleteFileW(file.c_str());
    }
}

}  // namespace
}  // namespace e2e_fixture
