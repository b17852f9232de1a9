// What the recording tests of the main window share: the main window of recording_window.h in a
// test fixture, and reading a finished file back whole.
#pragma once

#include <gtest/gtest.h>

#include "ffprobe_helpers.h"
#include "filters/time_stamper.h"
#include "recording_window.h"

namespace recording_ui {

class RecordingUiTest : public ::testing::Test, public TRecordingWindow {
protected:
    void SetUp() override { ASSERT_EQ(L"", Open()); }
    void TearDown() override { Close(); }
    void Preview(const std::wstring& Video, const std::wstring& Sound, std::uint8_t Format) {
        ASSERT_EQ(L"", OpenPreview(Video, Sound, Format));
    }
};

// Folder made so that nothing can be made, renamed or removed in it while its files can still be
// written (as on a medium that refuses changes to its folders), for as long as the object lives;
// Made() is false where the system cannot make it so (not run as root, or no such attribute).
class TUnwritableFolder {
public:
    explicit TUnwritableFolder(const std::filesystem::path& Folder);
    ~TUnwritableFolder() { Release(); }
    TUnwritableFolder(const TUnwritableFolder&) = delete;
    TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;
    bool Made() const { return made_; }
    void Release();

private:
    std::string folder_;
    bool made_ = false;
};

// ffprobe of a finished file; the test fails when ffprobe cannot read it or ffmpeg cannot decode
// all of it.
quill_test::TMediaProbe ProbeWhole(const std::filesystem::path& File);
int Packets(const quill_test::TMediaProbe& Probe, int Stream);

}  // namespace recording_ui
