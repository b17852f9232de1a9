// The fixture of the end-to-end runs: a copy of the program in a folder of its own with portable
// settings, the stand-in devices' names, the recordings' names and their reading back with ffprobe,
// and the file writer's disk limit for one run. Shared by the end-to-end test's files.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/standins/recording_settings.h"
#include "tests/app/program_support.h"
#include "tests/common/ffprobe_helpers.h"
#include "tests/common/left_aside.h"
#include "tests/e2e/program_driver.h"
#include "tests/ui/store_helpers.h"

namespace e2e_fixture {

using e2e::TProgram;
using e2e::TProgramFolder;

const wchar_t kCamera[] = L"Quillotrane Test Camera";
const wchar_t kMicrophone[] = L"Quillotrane Test Microphone";
const wchar_t kCamcorderVideo[] = L"DV Source - Video";
const wchar_t kCamcorderSound[] = L"DV Source - Audio";
const wchar_t kMpegCard[] = L"Quillotrane Test MPEG Card";
const wchar_t kMpeg1Card[] = L"Quillotrane Test MPEG-1 Card";
// The tag ffprobe gives MPEG audio in a program stream (none: the stream id says it).
const char kMpegSoundTag[] = "0x0000";

// One command-line argument naming a command with its value, quoted whole.
inline std::wstring Arg(const std::wstring& Command) { return L"\"" + Command + L"\""; }

class EndToEnd : public ::testing::Test {
protected:
    quill_test::MarbrecqKeyGuard registry_{L"Software\\QuillotraneEndToEndBackup"};
    TProgramFolder copy_{quill_test::ProgramPath(), L"copy"};

    void SetUp() override { ASSERT_TRUE(copy_.Ready()) << "the program could not be copied"; }

    // Starts the copy; a start that fails ends the test.
    void Start(TProgram& Program, const std::wstring& Arguments = L"") {
        ASSERT_TRUE(Program.Start(copy_.Exe(), Arguments)) << testing::PrintToString(Program.Failure());
    }
    // Runs a script through the script button; a script that cannot be run ends the test.
    void Script(TProgram& Program, const std::vector<std::wstring>& Lines) {
        ASSERT_TRUE(Program.RunScript(Lines)) << testing::PrintToString(Program.Failure());
    }
    std::wstring Videos() const { return copy_.Folder() + L"videos\\"; }
    // Portable settings that name files predictably and ask nothing before a recording.
    std::vector<std::wstring> RecordingSettings() const {
        return {L"Video Directory=" + Videos(), L"Video Racine=clip", L"Video Date=0", L"Confirmer Video=0", L"Scn=1",
                L"Image Directory=" + copy_.Folder() + L"pictures", L"Image Racine=shot", L"Image date=0",
                L"Confirmer Image=0"};
    }
};

// The system's clock now, and when a file was last written (0 when it cannot be read), in 100 ns
// units: a recording part is last written as its writer closes it, so the time from a key to the
// part's close is a fact of the file, however late the test looks at it.
inline std::int64_t SystemNow() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}
inline std::int64_t LastWritten(const std::wstring& File) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(File.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                     data.ftLastWriteTime.dwLowDateTime);
}

// What came so many seconds after each of a recording's keys (parts closed, their last pictures
// taken): for half of them within Usual, and none as late as the two seconds that an end no sample
// brings costs. A loaded machine answers a key late now and then and holds pictures on their way a
// while, which a part rightly waits for.
inline void ExpectPromptAfterKeys(std::vector<double> Seconds, const char* What, double Usual) {
    ASSERT_FALSE(Seconds.empty());
    std::string figures;
    for (double seconds : Seconds) {
        figures += " " + std::to_string(seconds).substr(0, 5);
        EXPECT_LT(seconds, 1.5) << What << " as late as an end that nobody sends";
    }
    std::printf("%s after the key, s:%s\n", What, figures.c_str());
    std::nth_element(Seconds.begin(), Seconds.begin() + static_cast<std::ptrdiff_t>(Seconds.size() / 2), Seconds.end());
    EXPECT_LT(Seconds[Seconds.size() / 2], Usual) << What << " late after the keys:" << figures;
}
// Recording parts closed so many seconds after their keys: half of them within half a second.
inline void ExpectClosedPromptly(std::vector<double> Closed) { ExpectPromptAfterKeys(std::move(Closed), "closed", 0.5); }

// What a recording file should hold.
struct TExpected {
    const char* videoCodec;  // nullptr: no video stream
    const char* soundCodec;  // nullptr: no sound stream
    const char* soundTag;    // the sound stream's tag: "0x0000" for the sound inside type-1 DV frames
    bool sceneList;          // a scene list beside it
};

class Recordings : public EndToEnd {
protected:
    // The portable settings for recordings from Video and Sound in Format, the question asked or not.
    std::vector<std::wstring> RecordingSettings(const std::wstring& Video, const std::wstring& Sound, int Format,
                                                bool Ask) const {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : EndToEnd::RecordingSettings())
            if (line.rfind(L"Confirmer Video=", 0) != 0) lines.push_back(line);
        lines.insert(lines.end(), {std::wstring(L"Confirmer Video=") + (Ask ? L"1" : L"0"), L"Source video=" + Video,
                                   L"Source Audio=" + Sound, L"Capture Format=" + std::to_wstring(Format),
                                   L"Divx favori=Xvid MPEG-4 Codec", L"Want Mp3=1"});
        return lines;
    }
    using EndToEnd::RecordingSettings;
    // The same, the recordings kept in Folder.
    std::vector<std::wstring> RecordingSettingsIn(const std::wstring& Folder, const std::wstring& Video,
                                                  const std::wstring& Sound, int Format, bool Ask) const {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : RecordingSettings(Video, Sound, Format, Ask))
            lines.push_back(line.rfind(L"Video Directory=", 0) == 0 ? L"Video Directory=" + Folder : line);
        return lines;
    }
    std::wstring Clip(int Number, const wchar_t* Extension = L".avi") const {
        return Videos() + L"clip_" + std::to_wstring(Number) + Extension;
    }
    // The recording named so is being written: it grew past Bytes. A loaded machine loses DV
    // frames, and the stop or cut of a recording with a scene list then asks whether to delete
    // the list: the question is answered No (the list is kept) as it comes.
    static bool Growing(TProgram& Program, const std::wstring& File, std::uint64_t Bytes) {
        return e2e::WaitFor([&] {
            if (Program.Message() != nullptr) Program.AnswerMessage(L"No", nullptr, 0);
            return e2e::FileSize(File) > Bytes;
        });
    }
    // A closed recording read back whole: the streams expected, each with some packets.
    static void ReadBack(const std::wstring& File, const TExpected& Expected) {
        SCOPED_TRACE(testing::PrintToString(File));
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(File); })) << "the recording is not closed";
        const quill_test::TMediaProbe probe = quill_test::Probe(File);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
        const quill_test::TUnixResult whole = quill_test::DecodeWhole(File);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Failure << whole.Err;
        const int video = probe.StreamOfType("video");
        const int sound = probe.StreamOfType("audio");
        if (Expected.videoCodec == nullptr) {
            EXPECT_LT(video, 0);
        } else {
            ASSERT_GE(video, 0) << "no video stream";
            EXPECT_EQ(Expected.videoCodec, probe.Stream(video, "codec_name"));
            EXPECT_GE(std::atoi(probe.Stream(video, "nb_read_packets").c_str()), 10);
        }
        if (Expected.soundCodec == nullptr) {
            EXPECT_LT(sound, 0);
        } else {
            ASSERT_GE(sound, 0) << "no sound stream";
            EXPECT_EQ(Expected.soundCodec, probe.Stream(sound, "codec_name"));
            EXPECT_EQ(Expected.soundTag, probe.Stream(sound, "codec_tag")) << "the sound's own stream, or inside the DV";
            EXPECT_GE(std::atoi(probe.Stream(sound, "nb_read_packets").c_str()), 1);
        }
        std::wstring scn = File.substr(0, File.find_last_of(L'.')) + L".scn";
        EXPECT_EQ(Expected.sceneList, e2e::FileExists(scn)) << "a scene list beside DV recordings only";
    }
};

// How long a recording's picture and its sound last, in seconds, from what decodes: the picture from
// its first packet's time to its last one's end (the empty frames that keep a lost picture's place
// count), the sound from its samples; -1 for a stream that is missing or does not decode.
inline double PictureSeconds(const std::wstring& File) {
    const quill_test::TUnixResult packets =
        quill_test::RunUnix({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "packet=pts_time,duration_time", "-of", "csv=p=0", quill_test::UnixPath(File)});
    if (!packets.Ran || packets.ExitCode != 0) return -1;
    double first = -1, end = -1;
    for (std::size_t from = 0; from < packets.Out.size();) {
        const std::size_t line = packets.Out.find('\n', from);
        double pts = 0, duration = 0;
        const int read = std::sscanf(packets.Out.c_str() + from, "%lf,%lf", &pts, &duration);
        if (read >= 1) {
            if (first < 0) first = pts;
            end = std::max(end, pts + (read == 2 ? duration : 0));
        }
        from = line == std::string::npos ? packets.Out.size() : line + 1;
    }
    return first >= 0 ? end - first : -1;
}
inline double SoundSeconds(const std::wstring& File) {
    const quill_test::TMediaProbe probe = quill_test::Probe(File);
    const int sound = probe.StreamOfType("audio");
    const int rate = sound >= 0 ? std::atoi(probe.Stream(sound, "sample_rate").c_str()) : 0;
    const int channels = sound >= 0 ? std::atoi(probe.Stream(sound, "channels").c_str()) : 0;
    if (rate <= 0 || channels <= 0) return -1;
    std::string failure;
    const std::vector<std::int16_t> samples = quill_test::DecodeSound(File, &failure);
    return failure.empty() ? static_cast<double>(samples.size() / static_cast<std::size_t>(channels)) / rate : -1;
}

using quill_test::FillVolume;

// A folder of Name, empty, on the small volume that scripts/test.sh mounts for the full-disk
// stories, removed with all in it when the object goes; Path() is empty when there is no such
// volume.
class TSmallVolumeFolder {
public:
    explicit TSmallVolumeFolder(const std::wstring& Name) {
        wchar_t volume[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"QUILL_TEST_SMALL_VOLUME", volume, MAX_PATH) == 0) return;
        path_ = std::wstring(volume) + L"\\" + Name + L"\\";
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        if (!CreateDirectoryW(path_.c_str(), nullptr)) path_.clear();
    }
    ~TSmallVolumeFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TSmallVolumeFolder(const TSmallVolumeFolder&) = delete;
    TSmallVolumeFolder& operator=(const TSmallVolumeFolder&) = delete;
    // With its closing separator.
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// A test setting of the stand-ins that holds for one run of the program only (its process, by id
// and start time), while the object lives.
class TProcessTestSetting {
public:
    TProcessTestSetting(const TProgram& Program, const wchar_t* Value, std::uint64_t Number)
        : TProcessTestSetting(Program, Value, REG_QWORD, &Number, sizeof(Number)) {}
    ~TProcessTestSetting() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }
    TProcessTestSetting(const TProcessTestSetting&) = delete;
    TProcessTestSetting& operator=(const TProcessTestSetting&) = delete;
    bool Set() const { return set_; }

protected:
    TProcessTestSetting(const TProgram& Program, const wchar_t* Value, DWORD Type, const void* Data, DWORD Size)
        : key_(std::wstring(standins::kTestRecordingKey) + L"\\" + std::to_wstring(Program.ProcessId())) {
        FILETIME created{}, exited{}, kernel{}, user{};
        GetProcessTimes(Program.Process(), &created, &exited, &kernel, &user);
        const std::uint64_t started = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        set_ = RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), standins::kTestStartedValue, REG_QWORD, &started,
                               sizeof(started)) == ERROR_SUCCESS &&
               RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), Value, Type, Data, Size) == ERROR_SUCCESS;
    }
    const std::wstring& Key() const { return key_; }

private:
    std::wstring key_;
    bool set_ = false;
};

// A list the stand-ins of one run of the program keep for the test while the object lives: what the
// test devices lost before the program had it ("Pictures lost", "Sound lost").
class TStandinList : public TProcessTestSetting {
public:
    TStandinList(const TProgram& Program, const wchar_t* Value)
        : TProcessTestSetting(Program, Value, REG_BINARY, "", 0), value_(Value) {}
    std::vector<std::int64_t> Read() const {
        std::vector<std::int64_t> list(1 << 16);
        DWORD size = static_cast<DWORD>(list.size() * sizeof(std::int64_t));
        if (RegGetValueW(HKEY_CURRENT_USER, Key().c_str(), value_, RRF_RT_REG_BINARY, nullptr, list.data(), &size) !=
            ERROR_SUCCESS)
            size = 0;
        list.resize(size / sizeof(std::int64_t));
        return list;
    }

private:
    const wchar_t* value_;
};

// The stand-in file writer of one run of the program refuses every byte past Bytes, as a full
// disk does.
class TDiskLimit : public TProcessTestSetting {
public:
    TDiskLimit(const TProgram& Program, std::uint64_t Bytes)
        : TProcessTestSetting(Program, standins::kTestByteLimitValue, Bytes) {}
};

// A key pressed as the keyboard gives it to the window that has the focus (Alt held: the system
// key messages).
inline void PressKey(HWND Window, WORD Key, bool Alt = false) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(Key, MAPVK_VK_TO_VSC)) << 16;
    const LPARAM alt = Alt ? (LPARAM{1} << 29) : 0;
    PostMessageW(Window, Alt ? WM_SYSKEYDOWN : WM_KEYDOWN, Key, scan | alt | 1);
    PostMessageW(Window, Alt ? WM_SYSKEYUP : WM_KEYUP, Key, scan | alt | 0xC0000001);
}

}  // namespace e2e_fixture
