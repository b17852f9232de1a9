// The main window's recording fixture.
#include "recording_ui_support.h"

namespace recording_ui {

namespace {

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitializeWindowing(); }
    void TearDown() override { FinalizeWindowing(); }
};
[[maybe_unused]] ::testing::Environment* const gEnvironment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

TUnwritableFolder::TUnwritableFolder(const std::filesystem::path& Folder) : folder_(quill_test::UnixPath(Folder)) {
    const quill_test::TUnixResult run = quill_test::RunUnix({"chattr", "+i", folder_}, 20000);
    made_ = run.Ran && run.ExitCode == 0;
}

void TUnwritableFolder::Release() {
    if (made_) quill_test::RunUnix({"chattr", "-i", folder_}, 20000);
    made_ = false;
}

quill_test::TMediaProbe ProbeWhole(const std::filesystem::path& File) {
    quill_test::TMediaProbe probe = quill_test::Probe(File);
    EXPECT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    const auto whole = quill_test::DecodeWhole(File);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Failure << whole.Err;
    return probe;
}

int Packets(const quill_test::TMediaProbe& Probe, int Stream) {
    return std::atoi(Probe.Stream(Stream, "nb_read_packets").c_str());
}

}  // namespace recording_ui
