// A script that names a camera the program does not list, while the stored format is one only the
// stored camcorder gives: the program takes the first camera, its format list holds only what that
// camera can record with the format to be recorded selected, and the recording is of that format.
// HKCU\Software\Marbrecq is set aside around the run and put back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

TEST_F(Recordings, AnUnlistedCameraInAScriptRecordsTheFormatItsListShows) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {std::wstring(L"Source video=") + kCamcorderVideo,
                                     std::wstring(L"Source Audio=") + kMicrophone, L"Capture Format=2"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"dv type 2 native"; }))
        << program.CaptureFormat();

    ASSERT_NO_FATAL_FAILURE(Script(program, {L"source_video=No Such Camera"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; })) << program.VideoSource();
    const std::vector<std::wstring> formats = program.CaptureFormats();
    for (const std::wstring& format : formats)
        EXPECT_TRUE(format != L"dv type 2 native" && format != L"dv type 1 natifve")
            << "a camcorder's DV offered for the camera: " << testing::PrintToString(formats);
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(L"avi native", formats.front()) << "the camera's own AVI, with a sound";
    EXPECT_EQ(L"avi native", program.CaptureFormat());

    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(0), 3000000));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(program.Close());
    // What the list showed is what was written: the camera's pictures as it gives them.
    ReadBack(Clip(0), {"rawvideo", "pcm_s16le", "0x0001", false});
}

}  // namespace
