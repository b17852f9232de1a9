// What the recording-builder tests share: the engine fixture with the settings the builders read
// held by the test, a fresh file name per recording, running the built graph until the capture
// branch has passed some frames, the stop path, and the file read back with ffprobe and ffmpeg.
#pragma once

#include "tests/engine/engine_test_support.h"
#include "ffprobe_helpers.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/recording_branch.h"
#include "filters/time_stamper.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"

namespace recording_a {

using namespace engine_test;
using quill_test::TMediaProbe;

inline const wchar_t kDVVideo[] = L"DV Source - Video";
inline const wchar_t kDVSound[] = L"DV Source - Audio";

// The settings the builders read, as the test sets them; the globals point at them for the test.
struct BuilderSettings {
    BuilderSettings();
    ~BuilderSettings();
    settings::TBooleanParameter GarderFormatDV{L"Garder Format DV", false, nullptr};
    settings::TBooleanParameter FrequenceDVNative{L"Frequence DV native", true, nullptr};
    settings::TFrequenceDVParameter FrequenceDV{L"FrequenceDV", 3, nullptr};
    settings::TstandardDVParameter StandardDV{L"Standard DV", 0, nullptr};
    settings::TRatioDVParameter RatioDV{L"RatioDV", 0, nullptr};
    settings::TAspectRatioParameter RatioDivX{L"Ratio DivX", 0, nullptr};
    settings::TBooleanParameter WantMp3{L"Want Mp3", true, nullptr};
    settings::TBooleanParameter DVDemiSiDivX{L"DV demi si DivX", true, nullptr};
    settings::TFormatCaptureParameter CaptureFormat{L"Capture Format", 2, nullptr};
};

class RecordingTest : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new file in the test's folder (removed first when there).
    std::filesystem::path NewFile(const std::wstring& Name);
    // Builds the previews of the named sources (empty: none of that kind).
    void Preview(const std::wstring& Video, const std::wstring& Sound);
    // Runs the graph until the capture branch's stamper Counter has passed Frames more samples,
    // then stops it and takes the recording branch out. Answers whether the frames came.
    bool RecordFrames(filters::Tqz_TimeStamper* Counter, unsigned Frames);
    // The filter names of the graph now, as a sorted multiset in a vector.
    std::vector<std::wstring> SortedNames();
    // Puts the named member of a device category into a filter component (the options panel's job).
    static bool PutCategoryMember(dshow::TFilter* Component, const GUID& Category, const std::wstring& Friendly);

    BuilderSettings config;
    std::filesystem::path folder;
};

// ffprobe of a finished file; the test fails when ffprobe cannot read it or ffmpeg cannot decode
// all of it.
TMediaProbe ProbeWhole(const std::filesystem::path& File);
int Packets(const TMediaProbe& Probe, int Stream);
// Seconds of the first sound stream, decoded by ffmpeg as 16-bit stereo at Rate; -1 when it fails.
double SoundSeconds(const std::filesystem::path& File, int Rate);
// ffmpeg run on a file with Arguments between the input and the output; answers the output's bytes
// (empty when ffmpeg fails, which fails the test).
std::string FfmpegBytes(const std::filesystem::path& File, const std::vector<std::string>& Arguments);
// Pixels of rows [Top, Bottom) and columns [Left, Right) of an RGB24 picture that differ clearly from
// the same column in row Reference: the test sources' colour bars are the same all the way down
// outside their own squares. Right -1 stands for the width.
int ChangedAgainstRow(const std::string& Rgb, int Width, int Top, int Bottom, int Reference, int Left = 0, int Right = -1);
// The last failed build's reason, narrowed for a test message.
std::string Why();

}  // namespace recording_a
