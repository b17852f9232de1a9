// The recording-builder tests' fixture.
#include "recording_a_support.h"

#include <algorithm>
#include <cstdlib>

namespace recording_a {

BuilderSettings::BuilderSettings() {
    settings::ParamGarderFormatDV = &GarderFormatDV;
    settings::ParamFrequenceDVNative = &FrequenceDVNative;
    settings::ParamFrequenceDV = &FrequenceDV;
    settings::ParamStandardDV = &StandardDV;
    settings::ParamRatioDV = &RatioDV;
    settings::ParamRatioDivX = &RatioDivX;
    settings::ParamWantMp3 = &WantMp3;
    settings::ParamDVDemiSiDivX = &DVDemiSiDivX;
    settings::ParamCaptureFormat = &CaptureFormat;
}

BuilderSettings::~BuilderSettings() {
    settings::ParamGarderFormatDV = nullptr;
    settings::ParamFrequenceDVNative = nullptr;
    settings::ParamFrequenceDV = nullptr;
    settings::ParamStandardDV = nullptr;
    settings::ParamRatioDV = nullptr;
    settings::ParamRatioDivX = nullptr;
    settings::ParamWantMp3 = nullptr;
    settings::ParamDVDemiSiDivX = nullptr;
    settings::ParamCaptureFormat = nullptr;
}

void RecordingTest::SetUp() {
    EngineTest::SetUp();
    folder = std::filesystem::temp_directory_path() / (L"quill_recording_a_" + std::to_wstring(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
}

void RecordingTest::TearDown() {
    EngineTest::TearDown();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

std::filesystem::path RecordingTest::NewFile(const std::wstring& Name) {
    std::filesystem::path path = folder / Name;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return path;
}

void RecordingTest::Preview(const std::wstring& VideoName, const std::wstring& SoundName) {
    if (!VideoName.empty()) {
        engine::TVideoSource* source = Video(VideoName);
        ASSERT_NE(nullptr, source) << "no video source";
        ASSERT_TRUE(source->BuildGraph());
    }
    if (!SoundName.empty()) {
        engine::TAudioSource* source = Audio(SoundName);
        ASSERT_NE(nullptr, source) << "no sound source";
        ASSERT_TRUE(source->BuildGraph());
    }
}

bool RecordingTest::RecordFrames(filters::Tqz_TimeStamper* Counter, unsigned Frames) {
    const unsigned start = Counter->SampleCounter();
    if (!module->RunGraph()) return false;
    const bool came = PumpUntil([&] { return Counter->SampleCounter() >= start + Frames; }, 60000);
    module->fg->Stop();
    EXPECT_TRUE(module->StopCaptureGraph());
    return came;
}

std::vector<std::wstring> RecordingTest::SortedNames() {
    std::vector<std::wstring> names = FilterNames();
    std::sort(names.begin(), names.end());
    return names;
}

bool RecordingTest::PutCategoryMember(dshow::TFilter* Component, const GUID& Category, const std::wstring& Friendly) {
    for (const auto& moniker : engine::CategoryMonikers(Category)) {
        if (engine::MonikerFriendlyName(moniker.Get()) == Friendly) {
            Component->BaseFilter()->SetMoniker(moniker.Get());
            return true;
        }
    }
    return false;
}

TMediaProbe ProbeWhole(const std::filesystem::path& File) {
    TMediaProbe probe = quill_test::Probe(File);
    EXPECT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    const auto whole = quill_test::DecodeWhole(File);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Failure << whole.Err;
    return probe;
}

int Packets(const TMediaProbe& Probe, int Stream) { return std::atoi(Probe.Stream(Stream, "nb_read_packets").c_str()); }

double SoundSeconds(const std::filesystem::path& File, int Rate) {
    std::string failure;
    const auto samples = quill_test::DecodeSound(File, &failure);
    EXPECT_FALSE(samples.empty()) << failure;
    return samples.empty() ? -1.0 : static_cast<double>(samples.size()) / 2.0 / Rate;
}

int ChangedAgainstRow(const std::string& Rgb, int Width, int Top, int Bottom, int Reference, int Left, int Right) {
    if (Right < 0) Right = Width;
    auto at = [&](int y, int x, int c) {
        return static_cast<unsigned char>(Rgb[(static_cast<std::size_t>(y) * Width + x) * 3 + c]);
    };
    int changed = 0;
    for (int y = Top; y < Bottom; ++y) {
        for (int x = Left; x < Right; ++x) {
            int diff = 0;
            for (int c = 0; c < 3; ++c) diff += std::abs(at(y, x, c) - at(Reference, x, c));
            changed += diff > 120;
        }
    }
    return changed;
}

std::string FfmpegBytes(const std::filesystem::path& File, const std::vector<std::string>& Arguments) {
    const std::filesystem::path out = File.parent_path() / (File.stem().wstring() + L".ffmpeg.out");
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", quill_test::UnixPath(File)};
    argv.insert(argv.end(), Arguments.begin(), Arguments.end());
    argv.push_back(quill_test::UnixPath(out));
    const auto run = quill_test::RunUnix(argv);
    EXPECT_TRUE(run.Ran && run.ExitCode == 0) << run.Failure << run.Err;
    std::string bytes = quill_test::ReadWholeFile(out);
    std::error_code ec;
    std::filesystem::remove(out, ec);
    return bytes;
}

std::string Why() {
    const std::wstring& why = engine::LastRecordingBuildError();
    return std::string(why.begin(), why.end());
}

}  // namespace recording_a
