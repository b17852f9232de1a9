// The whole program as a user's automation drives it: the built program started from a copy in a
// temporary folder with the stand-in devices, told what to do only through its command line and
// script files run from its script button; each stand-in device previewed, every capture format
// the stand-ins allow recorded and cut from scripts (the cut stories of DV, MPEG and Windows Media
// have a file of their own), script changes of format and source refused while a recording runs, sound
// recordings ended by killing the program, pictures grabbed by hand and by the intervalometer, a
// short schedule, full screen left with its keys and a picture grabbed in it,
// the settings changed by commands kept through each answer to the storage question, a new user's
// first close, hostile command lines, scripts and settings files shrugged off. Every file the
// program makes is read back with ffprobe. HKCU\Software\Marbrecq is set aside around the runs and
// put back.
#include <windows.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "filters/dv_codes.h"
#include "platform/standins/dv_camcorder_picture.h"
#include "tests/common/recording_headers.h"
#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

TEST_F(EndToEnd, EachStandInDeviceIsPreviewedFromItsStoredSettingOrItsCommand) {
    ASSERT_TRUE(copy_.WriteSettings({std::wstring(L"Source video=") + kCamera, std::wstring(L"Source Audio=") + kMicrophone,
                                     L"Capture Format=5"}));
    {
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; })) << program.VideoSource();
        EXPECT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == kMicrophone; })) << program.SoundSource();
        EXPECT_TRUE(program.PreviewMoves()) << "the stored camera is previewed";
        EXPECT_TRUE(program.Close());
    }
    {
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamcorderVideo) + L" " +
                                                   Arg(std::wstring(L"+sa=") + kCamcorderSound)));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamcorderVideo; })) << program.VideoSource();
        EXPECT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == kCamcorderSound; })) << program.SoundSource();
        EXPECT_TRUE(program.PreviewMoves()) << "the camcorder chosen by its switch is previewed";
        EXPECT_FALSE(program.ShowsNoVideo()) << "the camcorder's picture is shown";
        // The microphone alone: no picture moves.
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=no video stream", L"source_audio=" + std::wstring(kMicrophone)}));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == kMicrophone; })) << program.SoundSource();
        EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == L"no video stream"; })) << program.VideoSource();
        // The video area may still be turning to its "No video" look as the names change: once the
        // camcorder's picture has gone and that look is painted, nothing in it may move.
        EXPECT_TRUE(e2e::WaitFor([&] { return program.ShowsNoVideo(); })) << "the camcorder's picture stays";
        EXPECT_TRUE(e2e::WaitFor([&] { return !program.PreviewMoves(0); })) << "the video area never settles";
        EXPECT_FALSE(program.PreviewMoves(2000)) << "a picture without a video source";
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=" + std::wstring(kCamera), L"source_audio=no audio stream"}));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; })) << program.VideoSource();
        EXPECT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == L"no audio stream"; })) << program.SoundSource();
        EXPECT_TRUE(program.PreviewMoves()) << "the camera chosen by its script token is previewed";
        EXPECT_TRUE(program.Close());
    }
}


// Settings changed by commands at one run are kept as the close's storage answer says and read
// back at the next start: the registry key ("Normal"), the INI file beside the program ("Portable"),
// or nowhere ("None", asked again at the next close).
TEST_F(EndToEnd, SettingsChangedByCommandsAreKeptAsEachStorageAnswerSays) {
    // The camcorder chosen, mute on, the columns mirrored, pictures as JPEG, the folders panel shown:
    // each a command of the action table. Commands run in order, and a close that comes while they
    // run ends them, so the panel, shown last, tells that all of them have run.
    const std::wstring commands = Arg(std::wstring(L"+sv=") + kCamcorderVideo) + L" +m +w +j +df";
    const std::pair<const wchar_t*, std::wstring> expected[] = {{L"Source video", kCamcorderVideo},
                                                                {L"Mute On", L"1"},
                                                                {L"Panneau Actif", L"1"},
                                                                {L"EcranGauche", L"0"},
                                                                {L"Extension des images", L"1"}};
    for (const std::wstring answer : {L"Normal", L"Portable", L"None"}) {
        SCOPED_TRACE(testing::PrintToString(answer));
        RegDeleteTreeW(HKEY_CURRENT_USER, quill_test::kMakerKey);
        DeleteFileW(copy_.Ini().c_str());
        const bool kept = answer != L"None";
        for (int run = 0; run < 2; ++run) {
            TProgram program;
            ASSERT_NO_FATAL_FAILURE(Start(program, run == 0 ? commands : L""));
            // The switches run at the end of the start-up; stored settings are in place before it.
            if (run == 0)
                EXPECT_TRUE(e2e::WaitFor([&] { return program.ShownPanel(L"TDossiersFrame") != nullptr; }));
            else
                EXPECT_EQ(kept, program.ShownPanel(L"TDossiersFrame") != nullptr) << "the folders panel comes back when kept";
            EXPECT_EQ(run == 0 || kept, program.VideoSource() == kCamcorderVideo) << program.VideoSource();
            EXPECT_TRUE(program.Close(answer.c_str()));
            EXPECT_EQ(run == 0 || !kept, program.Asked()) << "the question comes in the do-not-save mode only";
        }
        // The second run saved again what it read: the stored values are the first run's.
        EXPECT_EQ(answer == L"Normal", quill_test::KeyExists(quill_test::kProgramKey));
        EXPECT_EQ(answer == L"Portable", e2e::FileExists(copy_.Ini()));
        const auto lines = e2e::ReadLines(copy_.Ini());
        for (const auto& [key, value] : expected) {
            if (answer == L"Normal") {
                const std::wstring stored = quill_test::ValueExists(quill_test::kProgramKey, key)
                                                ? quill_test::GetSz(quill_test::kProgramKey, key)
                                                : L"<missing>";
                const long number = quill_test::GetDword(quill_test::kProgramKey, key);
                EXPECT_TRUE(stored == value || std::to_wstring(number) == value) << testing::PrintToString(key);
            } else if (kept) {
                EXPECT_EQ(value, e2e::IniValue(lines, key)) << testing::PrintToString(key);
            }
        }
    }
}

// A new user's first start and close: nothing stored anywhere (no INI file beside the program, no
// registry key). The first camera comes with a sound input, not with the camcorder's sound (which
// would open the camcorder's window beside it). The close asks where to keep the settings. Asked
// to close again while that question comes up (the close box clicked twice), the program still
// shows the one question alone, and obeys the answer.
TEST_F(EndToEnd, TheFirstCloseWithNothingStoredAsksOnlyWhereToKeepTheSettings) {
    RegDeleteTreeW(HKEY_CURRENT_USER, quill_test::kMakerKey);
    ASSERT_FALSE(e2e::FileExists(copy_.Ini()));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; })) << program.VideoSource();
    EXPECT_TRUE(e2e::WaitFor([&] { return !program.SoundSource().empty(); }));
    EXPECT_NE(kCamcorderSound, program.SoundSource());
    EXPECT_NE(L"no audio stream", program.SoundSource()) << "the prefixes have sound inputs";
    EXPECT_EQ(nullptr, program.FindWindowOfClass(L"TcamForm")) << "no camcorder window for the camera alone";
    EXPECT_TRUE(program.Close(L"Portable", 2));
    EXPECT_TRUE(program.Asked());
    EXPECT_EQ(std::vector<std::wstring>{}, program.ShownAtClose()) << "nothing but the question comes up";
    EXPECT_TRUE(e2e::FileExists(copy_.Ini())) << "the answer is obeyed";
}

// Bad input never brings the program down: a settings file with odd values and junk, switches and
// script lines that name nothing or hold nonsense. It keeps running on sound values, still obeys
// the sound commands among them, and ends cleanly; "quit" on the command line closes it after the
// other commands, keeping what they changed.
TEST_F(EndToEnd, HostileSettingsCommandLinesAndScriptsAreShruggedOff) {
    ASSERT_TRUE(copy_.WriteSettings({L"Capture Format=999", L"Source video=\x01\x02 nothing like it", L"Volume=loud",
                                     L"Top=-99999999999999", L"Panneau Actif=77", L"[another section", L"=", L"\xFFFE\xD800"}));
    {
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program, L"+ - / += +=x \"+format_capture=nonsense\" +sv= +zz=1 plain \"\" " +
                                                   Arg(std::wstring(L"+sa=") + kMicrophone)));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == kMicrophone; })) << "the sound switch among them";
        EXPECT_FALSE(program.CaptureFormat().empty()) << "a format is chosen";
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"", L"   ", L"=", L"==x", L"+", L"capture_nothing", L"source_video=",
                                                 L"format_capture=\"\"\"", std::wstring(5000, L'k'), L"/=toggle",
                                                 L"source_video=\"" + std::wstring(kCamera) + L"\""}));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; })) << "quotes are dropped from a value";
        // A file that is no script at all.
        const std::wstring junk = copy_.Folder() + L"junk.txt";
        std::string bytes;
        for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<char>((i * 7919) & 0xFF));
        HANDLE h = CreateFileW(junk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        ASSERT_TRUE(program.RunFile(junk)) << testing::PrintToString(program.Failure());
        EXPECT_TRUE(program.PreviewMoves()) << "the preview runs on";
        EXPECT_TRUE(program.Close());
    }
    TProgram quitting;
    ASSERT_TRUE(quitting.Launch(copy_.Exe(), L"+m +quit"));
    EXPECT_TRUE(quitting.WaitEnd()) << "quit closes the program after the other commands";
    EXPECT_EQ(L"1", e2e::IniValue(e2e::ReadLines(copy_.Ini()), L"Mute On"));
}

// A recording scheduled on the schedule panel starts and ends by itself at the times set there;
// times and dates that cannot be arm nothing.
TEST_F(EndToEnd, AShortScheduleRecordsBetweenItsTimes) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera) + L" " +
                                               Arg(std::wstring(L"+sa=") + kMicrophone) + L" " +
                                               Arg(L"+format_capture=avi native") + L" +pf"));
    HWND panel = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (panel = program.ShownPanel(L"TProgrammerFrame")) != nullptr; }));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    // The panel proposes an end 31 minutes on, with that moment's date: after 23:28 tomorrow's, and
    // an end typed for today's clock would then wait for tomorrow.
    if (now.wHour == 23 && now.wMinute >= 28) GTEST_SKIP() << "the panel's end date is tomorrow's near midnight";
    // An hour past what a number holds and an end year of five digits, typed in past the date's
    // mask: the schedule arms nothing, and each box shows again the value it held.
    std::vector<HWND> spins, dates;
    ASSERT_TRUE(e2e::WaitFor([&] {
        spins = TProgram::ControlsOf(panel, L"TKitSpinEdit");
        dates = TProgram::ControlsOf(panel, L"TDateEdit");
        return spins.size() == 6 && dates.size() == 2;
    }, 10000));
    // Another program's control tells its text when asked with the message.
    auto shown = [](HWND Edit) {
        wchar_t text[64] = {};
        SendMessageW(Edit, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    const std::wstring hour = shown(spins[0]), endDate = shown(dates[1]);
    ASSERT_TRUE(program.TypeInto(spins[0], L"99999999999") && program.TypeInto(dates[1], endDate + L"9"))
        << testing::PrintToString(program.Failure());
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"program"}));
    EXPECT_TRUE(e2e::WaitFor([&] { return shown(spins[0]) == hour && shown(dates[1]) == endDate; }, 20000))
        << "the boxes show " << testing::PrintToString(shown(spins[0])) << " and "
        << testing::PrintToString(shown(dates[1]));
    EXPECT_EQ(L"", program.ButtonShown({L"Stop Prog"})) << "nothing armed";
    // Start in 8 s (time enough for the script to arm it), end 12 s later (time enough for a start
    // on a loaded machine): typed into the panel's hour, minute and second boxes.
    auto at = [&](int Seconds) {
        const int t = (now.wHour * 3600 + now.wMinute * 60 + now.wSecond + Seconds) % 86400;
        return std::vector<int>{t / 3600, t / 60 % 60, t % 60};
    };
    std::vector<int> values = at(8);
    const std::vector<int> end = at(20);
    values.insert(values.end(), end.begin(), end.end());
    ASSERT_TRUE(program.TypeIntoSpinEdits(panel, values)) << testing::PrintToString(program.Failure());
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"program"}));
    const std::wstring clip = Videos() + L"clip_0.avi";
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(clip) > 1000000; })) << "the start alarm started it";
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(clip) > 0 && e2e::FileClosed(clip); }))
        << "the end alarm stopped it";
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(program.Close());
    const quill_test::TMediaProbe probe = quill_test::Probe(clip);
    ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    EXPECT_EQ("rawvideo", probe.Stream(0, "codec_name"));
    EXPECT_GE(std::atoi(probe.Stream(0, "nb_read_packets").c_str()), 25);
}

// Full screen as a user meets it: the keys then go to the black backdrop, which covers the tool
// bar's full-screen button; Esc (as the shortcuts list says) and Alt+Enter bring the window back,
// a click on the picture takes a picture as it does in the window.
TEST_F(EndToEnd, FullScreenIsLeftWithEscOrAltEnterAndAClickOnThePictureGrabsIt) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    ASSERT_TRUE(CreateDirectoryW((copy_.Folder() + L"pictures").c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera)));
    ASSERT_TRUE(program.PreviewMoves());
    HWND backdrop = nullptr;
    auto enter = [&] {
        PressKey(program.Window(), VK_RETURN, true);
        return e2e::WaitFor([&] { return (backdrop = program.FindWindowCaptioned(L"plaque")) != nullptr; });
    };
    auto left = [&] {
        return e2e::WaitFor([&] { return program.FindWindowCaptioned(L"plaque") == nullptr; }, 10000) &&
               e2e::WaitFor([&] { return GetForegroundWindow() == program.Window(); }, 10000);
    };

    ASSERT_TRUE(enter()) << "Alt+Enter in the window puts it full screen";
    EXPECT_EQ(backdrop, GetForegroundWindow()) << "the backdrop has the keys in full screen";
    PressKey(backdrop, VK_ESCAPE);
    EXPECT_TRUE(left()) << "Esc leaves full screen";
    EXPECT_TRUE(program.PreviewMoves()) << "the picture is back in the window";

    ASSERT_TRUE(enter());
    PressKey(backdrop, VK_RETURN, true);
    EXPECT_TRUE(left()) << "Alt+Enter leaves full screen";

    ASSERT_TRUE(enter());
    // The picture over the screen: a click on it is drained to the video window.
    const POINT middle{GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
    HWND picture = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        picture = WindowFromPoint(middle);
        return picture != backdrop && GetAncestor(picture, GA_ROOT) == backdrop;
    })) << "no picture over the backdrop";
    POINT at = middle;
    ScreenToClient(picture, &at);
    PostMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(picture, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    const std::wstring shot = copy_.Folder() + L"pictures\\shot_00000.bmp";
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(shot) > 0 && e2e::FileClosed(shot); }))
        << "a click on the full-screen picture grabs it";
    EXPECT_TRUE(program.FindWindowCaptioned(L"plaque") != nullptr) << "and stays full screen";
    PressKey(backdrop, VK_ESCAPE);
    EXPECT_TRUE(left());
    EXPECT_TRUE(program.Close());
}


TEST_F(Recordings, EveryFormatIsRecordedAndCutFromScripts) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {L"Divx favori=Xvid MPEG-4 Codec", L"Want Mp3=1"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamcorderVideo) + L" " +
                                               Arg(std::wstring(L"+sa=") + kCamcorderSound) + L" " +
                                               Arg(L"+format_capture=dv type 2 native")));
    // The command line runs once the start-up has listed the sources: waited for.
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"dv type 2 native"; })) << program.CaptureFormat();
    // DV from the camcorder (started with the Capture button, as a user clicks it), cut into two
    // files, each with its scene list.
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(Growing(program, Clip(0), 2000000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"cut"}));
    ASSERT_TRUE(Growing(program, Clip(1), 2000000));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); })) << "the cut closes the first part";
    // Stop, then type 1 from the same camcorder.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=dv type 1 natifve", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(2), 2000000));
    // The camera and the microphone: the device's own AVI, then DV coded from it.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"source_video=" + std::wstring(kCamera),
                                             L"source_audio=" + std::wstring(kMicrophone), L"format_capture=avi native",
                                             L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(3), 3000000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=dv type 2 (recomp)", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(4), 2000000));
    // MPEG-4 through the chosen compressor, with MP3 sound. The multiplexer holds its data back
    // until a part is closed, so there is no growth to wait for: parts are cut off, each a little
    // longer, until one holds frames.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=DivX", L"capture"}));
    int divx = 5;
    for (DWORD pause = 500;; ++divx, pause *= 2) {
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(Clip(divx)); }));
        Sleep(pause);
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"cut"}));
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(divx)); })) << "the cut closes the part";
        const quill_test::TMediaProbe part = quill_test::Probe(Clip(divx));
        if (part.Ok() && std::atoi(part.Stream(0, "nb_read_packets").c_str()) >= 10) break;
        ASSERT_LT(pause, 30000u) << "no part holds frames";
    }
    // Sound alone, cut, then as MP3 (in a WAVE file).
    const int sound = divx + 2;
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"source_video=no video stream", L"format_capture=Wav",
                                             L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(sound, L".wav"), 200000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"cut"}));
    ASSERT_TRUE(Growing(program, Clip(sound + 1, L".wav"), 200000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=mp3", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(sound + 2, L".mp3"), 20000));
    // The button now offers to stop, and stops.
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(sound + 2, L".mp3")); }));
    EXPECT_TRUE(program.Close());

    const char* pcm = "0x0001";
    const char* mp3 = "0x0055";
    ReadBack(Clip(0), {"dvvideo", "pcm_s16le", pcm, true});
    ReadBack(Clip(1), {"dvvideo", "pcm_s16le", pcm, true});
    ReadBack(Clip(2), {"dvvideo", "pcm_s16le", "0x0000", true});
    ReadBack(Clip(3), {"rawvideo", "pcm_s16le", pcm, false});
    ReadBack(Clip(4), {"dvvideo", "pcm_s16le", pcm, false});
    ReadBack(Clip(divx), {"mpeg4", "mp3", mp3, false});
    ReadBack(Clip(sound, L".wav"), {nullptr, "pcm_s16le", pcm, false});
    ReadBack(Clip(sound + 1, L".wav"), {nullptr, "pcm_s16le", pcm, false});
    ReadBack(Clip(sound + 2, L".mp3"), {nullptr, "mp3", mp3, false});
}

// Whole MP3 frames (MPEG audio layer III headers) in Data from At on, and the sound samples (per
// channel) they carry; counting stops at the first frame cut off by the end, whose samples are
// CutSamples (the encoder hands its bytes on as they come, not frame by frame).
struct TMp3Frames {
    int Frames = 0;
    long long Samples = 0;
    long long CutSamples = 0;
};
TMp3Frames WholeMp3Frames(const std::string& Data, std::size_t At) {
    static const int kRates[3][4] = {{44100, 48000, 32000, 0}, {22050, 24000, 16000, 0}, {11025, 12000, 8000, 0}};
    static const int kBitRates[2][16] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
                                         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    TMp3Frames found;
    while (At + 4 <= Data.size()) {
        const auto b1 = static_cast<unsigned char>(Data[At + 1]);
        const auto b2 = static_cast<unsigned char>(Data[At + 2]);
        if (static_cast<unsigned char>(Data[At]) != 0xFF || (b1 & 0xE0) != 0xE0 || ((b1 >> 1) & 3) != 1) break;
        const int version = (b1 >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        if (version == 1) break;
        const int family = version == 3 ? 0 : version == 2 ? 1 : 2;
        const int rate = kRates[family][(b2 >> 2) & 3];
        const int kbps = kBitRates[family == 0 ? 0 : 1][b2 >> 4];
        if (rate == 0 || kbps == 0) break;
        const std::size_t length = static_cast<std::size_t>((family == 0 ? 144 : 72) * kbps * 1000 / rate + ((b2 >> 1) & 1));
        if (At + length > Data.size()) {
            found.CutSamples = family == 0 ? 1152 : 576;
            break;
        }
        ++found.Frames;
        found.Samples += family == 0 ? 1152 : 576;
        At += length;
    }
    return found;
}

// The program ended while it records sound alone, as a crash or a power cut would end it: the file
// keeps a valid header, and ffmpeg reads it and decodes every sample that reached it.
TEST_F(Recordings, AKilledSoundRecordingKeepsEverySampleWritten) {
    for (const auto& [format, extension] : {std::pair{L"11", L".wav"}, std::pair{L"12", L".mp3"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(extension)));
        std::vector<std::wstring> settings = RecordingSettings();
        settings.insert(settings.end(), {L"Source video=no video stream", std::wstring(L"Source Audio=") + kMicrophone,
                                         std::wstring(L"Capture Format=") + format, L"Want Mp3=1"});
        ASSERT_TRUE(copy_.WriteSettings(settings));
        const std::wstring file = Clip(0, extension);
        {
            TProgram program;
            ASSERT_NO_FATAL_FAILURE(Start(program));
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            ASSERT_TRUE(Growing(program, file, 100000));
            ASSERT_TRUE(TerminateProcess(program.Process(), 9));
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(program.Process(), 30000));
        }
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(file); }));
        const std::string bytes = quill_test::ReadWholeFile(file);
        ASSERT_GT(bytes.size(), 100000u);
        ASSERT_EQ("RIFF", bytes.substr(0, 4));
        std::uint32_t formatBytes = 0;
        std::memcpy(&formatBytes, bytes.data() + 16, 4);
        const std::size_t data = 28 + formatBytes;
        ASSERT_EQ("data", bytes.substr(data - 8, 4)) << "the header was there before the end";
        const quill_test::TMediaProbe probe = quill_test::Probe(file);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
        EXPECT_EQ("wav", probe.Get("format.format_name"));
        std::string failure;
        const std::vector<std::int16_t> samples = quill_test::DecodeSound(file, &failure);
        ASSERT_FALSE(samples.empty()) << failure;
        const long long decoded = static_cast<long long>(samples.size() / 2);
        if (std::wstring(format) == L"11") {
            EXPECT_EQ("pcm_s16le", probe.Stream(0, "codec_name"));
            EXPECT_EQ(static_cast<long long>((bytes.size() - data) / 4), decoded) << "every whole sample of the file";
        } else {
            EXPECT_EQ("mp3", probe.Stream(0, "codec_name"));
            const TMp3Frames frames = WholeMp3Frames(bytes, data);
            EXPECT_GT(frames.Frames, 20);
            EXPECT_GE(decoded, frames.Samples) << "every whole frame of the file";
            EXPECT_LE(decoded, frames.Samples + frames.CutSamples) << "and at most the frame the end cut";
        }
        ASSERT_TRUE(DeleteFileW(file.c_str()));
    }
}

// Script lines that would change the format or a source while a recording runs are refused: the
// recording goes on with its look, the script goes on with its next line (a cut), and both parts
// are whole files of picture and sound.
TEST_F(Recordings, ChangesOfFormatOrSourceWhileRecordingLeaveTheRecordingWhole) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera) + L" " +
                                               Arg(std::wstring(L"+sa=") + kMicrophone) + L" " +
                                               Arg(L"+format_capture=avi native")));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"avi native"; }));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(0), 3000000));
    ASSERT_NO_FATAL_FAILURE(Script(
        program, {L"format_capture=Wav", L"source_audio=no audio stream", L"source_video=no video stream", L"cut"}));
    ASSERT_TRUE(Growing(program, Clip(1), 3000000)) << "the line after the refused ones is obeyed";
    EXPECT_EQ(L"avi native", program.CaptureFormat());
    EXPECT_EQ(kMicrophone, program.SoundSource());
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << "the recording's look stays";
    EXPECT_TRUE(program.Close());
    ReadBack(Clip(0), {"rawvideo", "pcm_s16le", "0x0001", false});
    ReadBack(Clip(1), {"rawvideo", "pcm_s16le", "0x0001", false});
}

// Pictures of the running preview: a BMP, then a JPEG chosen by its command, then pictures taken by
// the intervalometer every second until it is switched off; and an image-by-image recording that
// keeps one frame per grab, or no file when nothing was grabbed.
TEST_F(Recordings, SnapshotsTheIntervalometerAndImageByImage) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {std::wstring(L"Source video=") + kCamera, L"Source Audio=no audio stream",
                                     L"Capture Format=8", L"Aspect ratio=3", L"Extension des images=0",
                                     L"Valeur Intervallom\u00e8tre=1", L"Unit\u00e9s Intervallom\u00e8tre=0"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    // The picture folder is there already: a grab does not make it (a recording start makes its own).
    const std::wstring pictures = copy_.Folder() + L"pictures\\";
    ASSERT_TRUE(CreateDirectoryW(pictures.c_str(), nullptr));
    auto picture = [&](int Number, const wchar_t* Extension) {
        wchar_t name[32] = {};
        swprintf(name, 32, L"shot_%05d%ls", Number, Extension);
        return pictures + name;
    };
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"grab"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(picture(0, L".bmp")) > 0 && e2e::FileClosed(picture(0, L".bmp")); }));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"jpeg", L"grab"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(picture(1, L".jpg")) > 0 && e2e::FileClosed(picture(1, L".jpg")); }));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"intervalometer"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(picture(3, L".jpg")); })) << "two periods pass";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"intervalometer"}));

    // Image by image: each grab during the recording adds one frame, which the file shows by
    // growing; a grab made before the recording's pictures flow adds none and is made again.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(Clip(0)); }));
    std::uint64_t size = e2e::FileSize(Clip(0));
    int grabs = 0;
    int added = 0;
    while (added < 3) {
        ASSERT_LT(grabs, 30) << "grabs add no frames";
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"grab"}));
        ++grabs;
        if (e2e::WaitFor([&] { return e2e::FileSize(Clip(0)) > size; }, 3000)) {
            ++added;
            size = e2e::FileSize(Clip(0));
        }
    }
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    // A recording without a grab leaves no file, says so, and leaves its name to the next one.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(Clip(1)); }));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "nobody is told";
    EXPECT_NE(std::wstring::npos, program.MessageText().find(L"Nothing was recorded into " + Clip(1) +
                                                             L": no picture was grabbed before the stop."))
        << testing::PrintToString(program.MessageText());
    EXPECT_TRUE(program.AnswerMessage(L"OK"));
    EXPECT_TRUE(e2e::WaitFor([&] { return !e2e::FileExists(Clip(1)); })) << "an empty image-by-image file is removed";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(Clip(1)); })) << "the next recording takes the name";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; }));
    EXPECT_TRUE(program.AnswerMessage(L"OK"));
    EXPECT_TRUE(program.Close());
    const double rate = std::wcstod(e2e::IniValue(e2e::ReadLines(copy_.Ini()), L"Framerate").c_str(), nullptr);

    for (const auto& [file, codec] : {std::pair{picture(0, L".bmp"), "bmp"}, std::pair{picture(1, L".jpg"), "mjpeg"},
                                      std::pair{picture(2, L".jpg"), "mjpeg"}, std::pair{picture(3, L".jpg"), "mjpeg"}}) {
        SCOPED_TRACE(testing::PrintToString(file));
        const quill_test::TMediaProbe probe = quill_test::Probe(file);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Err;
        EXPECT_EQ(codec, probe.Stream(0, "codec_name"));
        EXPECT_EQ(320, probe.StreamNumber(0, "width"));
        EXPECT_EQ(240, probe.StreamNumber(0, "height"));
    }
    const quill_test::TMediaProbe frames = quill_test::Probe(Clip(0));
    ASSERT_TRUE(frames.Ok()) << frames.Run.Err;
    EXPECT_EQ("dvvideo", frames.Stream(0, "codec_name"));
    const int grabbed = std::atoi(frames.Stream(0, "nb_read_packets").c_str());
    EXPECT_GE(grabbed, added);
    EXPECT_LE(grabbed, grabs) << "no frame beyond the grabs";
    EXPECT_GT(rate, 0.0);
    EXPECT_NEAR(rate, frames.Ratio(0, "r_frame_rate"), 0.01) << "the chosen rate is set at the stop";
    EXPECT_NEAR(1e6 / rate, quill_test::AviHeaderFrameTime(quill_test::FileStart(Clip(0))), 0.5)
        << "and the main header's frame time agrees";
}


// A recording that cannot be written says so at the start and leaves the preview running: a folder
// on a drive that is not there, a folder where the file should be. A file another program is
// writing is left alone, the recording taking the next free name without a word. A stem that names
// other folders records inside the video folder; a disk that fills up stops the recording with a
// message and keeps the file listed and readable. All typed into the folders panel of one run.
TEST_F(Recordings, ADestinationThatCannotBeWrittenIsRefusedWithAMessage) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings[0] = L"Video Directory=Q:\\nowhere\\";
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera) + L" " +
                                               Arg(std::wstring(L"+sa=") + kMicrophone) + L" " +
                                               Arg(L"+format_capture=avi native") + L" +df"));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"avi native"; })) << program.CaptureFormat();
    HWND folders = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (folders = program.ShownPanel(L"TDossiersFrame")) != nullptr; }));
    // The panel is shown before its controls are made: they are waited for.
    std::vector<HWND> directories, stems;
    ASSERT_TRUE(e2e::WaitFor([&] {
        directories = TProgram::ControlsOf(folders, L"TDirectoryEdit");
        stems = TProgram::ControlsOf(folders, L"TUcEdit");
        return !directories.empty() && !stems.empty();
    }));
    const std::vector<std::wstring> captureButtons{L"Capture", L"Stop Capture"};
    auto refused = [&](const wchar_t* What) {
        SCOPED_TRACE(testing::PrintToString(What));
        ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
        std::wstring caption;
        EXPECT_TRUE(program.AnswerMessage(L"OK", &caption, 20000)) << testing::PrintToString(program.Failure());
        EXPECT_EQ(L"Error", caption);
        EXPECT_EQ(L"Capture", program.ButtonShown(captureButtons)) << "nothing records";
    };
    ASSERT_NO_FATAL_FAILURE(refused(L"a missing drive"));

    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Clip(0).c_str(), nullptr));
    ASSERT_TRUE(program.TypeInto(directories[0], Videos())) << testing::PrintToString(program.Failure());
    ASSERT_NO_FATAL_FAILURE(refused(L"a folder named like the recording"));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(Clip(0).c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    // Another program writes the file the next recording would replace.
    ASSERT_TRUE(program.TypeInto(stems[0], L"held", true)) << testing::PrintToString(program.Failure());
    const std::wstring held = Videos() + L"held_0.avi";
    HANDLE writer = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    DWORD written = 0;
    WriteFile(writer, "older", 5, &written, nullptr);
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    const std::wstring next = Videos() + L"held_1.avi";
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr || e2e::FileSize(next) > 3000000; }));
    EXPECT_EQ(nullptr, program.Message()) << "nothing said: " << testing::PrintToString(program.MessageText());
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(next); }));
    CloseHandle(writer);
    EXPECT_EQ(5u, e2e::FileSize(held)) << "the other program's file is left alone";

    // A stem that climbs out of the video folder stays in it; the disk fills up meanwhile.
    ASSERT_TRUE(program.TypeInto(stems[0], L"..\\..\\escaped", true)) << testing::PrintToString(program.Failure());
    // Its number follows the recordings made so far.
    const std::wstring escaped = Videos() + L"escaped_2.avi";
    {
        TDiskLimit disk(program, 4000000);
        ASSERT_TRUE(disk.Set());
        ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
        std::wstring caption;
        EXPECT_TRUE(program.AnswerMessage(L"OK", &caption)) << "the full disk is told";
        EXPECT_EQ(L"Error", caption);
    }
    EXPECT_EQ(L"Capture", program.ButtonShown(captureButtons)) << "the preview look";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    EXPECT_FALSE(e2e::FileExists(std::wstring(temp) + L"escaped_2.avi")) << "two folders above the video folder";
    EXPECT_FALSE(e2e::FileExists(copy_.Folder() + L"escaped_2.avi"));
    EXPECT_LE(e2e::FileSize(escaped), 4000000u);
    ASSERT_NO_FATAL_FAILURE(ReadBack(escaped, {"rawvideo", "pcm_s16le", "0x0001", false}));

    // The clip list holds the recordings made (the one the disk stopped too), not the starts refused.
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"liste_frame"}));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.ListCount(L"TListeFrame") == 2; })) << program.ListCount(L"TListeFrame");
    EXPECT_TRUE(program.PreviewMoves()) << "the preview runs on";
    EXPECT_TRUE(program.Close());
}

// Sound alone: no video window shows itself apart from the main window while the graph runs.
TEST_F(Recordings, WithoutAVideoStreamNoVideoWindowShowsItself) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {L"Source video=no video stream", std::wstring(L"Source Audio=") + kMicrophone,
                                     L"Capture Format=11"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    // A recording that grows shows that the graph runs.
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(Growing(program, Clip(0, L".wav"), 100000));
    EXPECT_EQ(nullptr, program.FindWindowCaptioned(L"ActiveMovie Window"));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0, L".wav")); }));
    EXPECT_EQ(nullptr, program.FindWindowCaptioned(L"ActiveMovie Window"));
    EXPECT_TRUE(program.Close());
}

}  // namespace
