// What a script or the command line asks for by name, done or told: a camera the program does not
// list, while the stored format is one only the stored camcorder gives, takes the first camera, its
// format list holds only what that camera can record with the format to be recorded selected, and
// the recording is of that format; a format asked for is chosen as the format list chooses it (the
// overlay and flips follow it, into the file), and a name the list does not offer is told in the
// status bar. HKCU\Software\Marbrecq is set aside around the runs and put back.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/screen_pixels.h"
#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

// The action tool bar's entries of the overlay and of the two flips.
constexpr int kOverlayButtons[] = {6, 7, 8};

// The overlay a user wants: two lines of grey capitals (a colour none of the test camera's bars
// has) across the middle of the picture.
std::vector<std::wstring> WithOverlay(std::vector<std::wstring> Settings) {
    Settings.insert(Settings.end(),
                    {L"Want Incrust=1", L"IncrustRec\\What Incrust=2", L"IncrustRec\\Incrust1=MMMMMM",
                     L"IncrustRec\\Incrust2=MMMMMM", L"IncrustRec\\Autofontsize=0", L"IncrustRec\\FontRec\\FontSize=28",
                     L"IncrustRec\\FontRec\\FontBold=1", L"IncrustRec\\FontRec\\FontColor=8421504",
                     L"IncrustRec\\BorderSize=0", L"IncrustRec\\Xpos=500", L"IncrustRec\\Ypos=500"});
    return Settings;
}

// Whether every one of the overlay's and flips' buttons is Enabled (or every one greyed).
bool OverlayButtons(TProgram& Program, bool Enabled) {
    for (int button : kOverlayButtons) {
        const int state = Program.ToolButtonState(button);
        if (state < 0 || ((state & TBSTATE_ENABLED) != 0) != Enabled) return false;
    }
    return true;
}

// Pixels of the first picture of a 320x240 recording, on the rows where the overlay stands, that
// differ clearly from the same column lower down (the camera's bars run down the whole picture);
// -1 when it does not decode.
int OverlayInk(const std::wstring& File) {
    const std::wstring raw = File + L".rgb";
    const auto run =
        quill_test::RunUnix({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", quill_test::UnixPath(File), "-frames:v",
                             "1", "-f", "rawvideo", "-pix_fmt", "rgb24", quill_test::UnixPath(raw)});
    const std::string rgb = run.Ran && run.ExitCode == 0 ? quill_test::ReadWholeFile(raw) : std::string();
    DeleteFileW(raw.c_str());
    const int width = 320, reference = 220;
    if (rgb.size() != static_cast<std::size_t>(width) * 240 * 3) return -1;
    auto at = [&](int y, int x, int c) {
        return static_cast<unsigned char>(rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c]);
    };
    int changed = 0;
    for (int y = 80; y < 160; ++y)
        for (int x = 0; x < width; ++x) {
            int diff = 0;
            for (int c = 0; c < 3; ++c) diff += std::abs(at(y, x, c) - at(reference, x, c));
            changed += diff > 120;
        }
    return changed;
}

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

// "avi native" stored with the overlay wanted: DivX asked on the command line brings the overlay
// and the flips back as choosing it in the list does, and the DivX file has the overlay; "avi
// native" asked again greys them; a name that is no format is told.
TEST_F(Recordings, AFormatAskedOnTheCommandLineBringsWhatChoosingItInTheListBrings) {
    ASSERT_TRUE(copy_.WriteSettings(WithOverlay(RecordingSettings(kCamera, kMicrophone, 5, false))));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(L"+format_capture=DivX")));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"DivX"; })) << program.CaptureFormat();
    EXPECT_TRUE(e2e::WaitFor([&] { return OverlayButtons(program, true); }, 10000)) << "overlay and flips allowed";
    EXPECT_EQ(0, program.StatusRedPixels()) << "nothing to tell";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(0), 20000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"format_capture=avi native"}));
    EXPECT_TRUE(e2e::WaitFor([&] { return OverlayButtons(program, false); }, 10000)) << "overlay and flips greyed";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"format_capture=Foo"}));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.StatusRedPixels() > 0; }, 10000)) << "told in red";
    EXPECT_EQ(L"avi native", program.CaptureFormat());
    EXPECT_TRUE(program.Close());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    EXPECT_GT(OverlayInk(Clip(0)), 400) << "the overlay's text is in the DivX file";
}

}  // namespace
