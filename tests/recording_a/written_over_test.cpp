// Recordings started over an older, longer file of the same name, as after the user answered Yes
// to "exists already": AVI as the camera delivers it, DV type 2 and the camcorder's own DV type 1,
// DivX and DV re-encoded; each file is exactly the new recording, with nothing of the older one
// after it, and reads back whole.
#include "recording_a_support.h"

#include <cstring>

#include "engine/capture_devices.h"
#include "older_file.h"
#include "platform/standins/xvid_compressor.h"

namespace recording_a {
namespace {

constexpr std::uint64_t kOlderBytes = 24u << 20;

class WrittenOver : public RecordingTest {
protected:
    // The file read back: no byte of the older file, a RIFF that covers the whole file, and ffmpeg
    // reads and decodes all of it.
    void ExpectOnlyTheNewRecording(const std::filesystem::path& Path) {
        SCOPED_TRACE(Path.string());
        const std::string bytes = quill_test::ReadWholeFile(Path);
        EXPECT_LT(bytes.size(), kOlderBytes) << "the file was not emptied";
        EXPECT_FALSE(quill_test::HoldsOlderFile(bytes)) << "the older file's tail is still there";
        ASSERT_GE(bytes.size(), 12u);
        // One RIFF part after another up to the file's end (OpenDML parts follow the first).
        std::uint64_t at = 0;
        while (at + 8 <= bytes.size() && bytes.compare(at, 4, "RIFF") == 0) {
            std::uint32_t size = 0;
            std::memcpy(&size, bytes.data() + at + 4, 4);
            at += 8 + size + (size & 1);
        }
        EXPECT_EQ(bytes.size(), at) << "the RIFF parts end where the file ends";
        const TMediaProbe p = ProbeWhole(Path);
        EXPECT_GE(p.StreamOfType("video"), 0);
    }
};

TEST_F(WrittenOver, AviNativeAndDVType2AndDivXAreExactlyTheNewRecording) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    const auto avi = NewFile(L"avi native.avi");
    ASSERT_TRUE(quill_test::WriteOlderFile(avi, kOlderBytes));
    ASSERT_TRUE(module->BuildAviNativeGraph(avi.wstring())) << Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
    ExpectOnlyTheNewRecording(avi);

    ASSERT_TRUE(PutCategoryMember(module->divx, CLSID_VideoCompressorCategory, standins::kXvidCompressorName));
    const auto divx = NewFile(L"divx.avi");
    ASSERT_TRUE(quill_test::WriteOlderFile(divx, kOlderBytes));
    ASSERT_TRUE(module->BuildDivxGraph(divx.wstring())) << Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
    ExpectOnlyTheNewRecording(divx);

    const auto recomp = NewFile(L"dv recomp.avi");
    ASSERT_TRUE(quill_test::WriteOlderFile(recomp, kOlderBytes));
    ASSERT_TRUE(module->BuildDV2RecompGraph(recomp.wstring())) << Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
    ExpectOnlyTheNewRecording(recomp);
}

TEST_F(WrittenOver, TheCamcordersDVType2AndType1AreExactlyTheNewRecording) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound));
    const auto type2 = NewFile(L"dv type 2.avi");
    ASSERT_TRUE(quill_test::WriteOlderFile(type2, kOlderBytes));
    ASSERT_TRUE(module->BuildDV2NativeGraph(type2.wstring())) << Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
    ExpectOnlyTheNewRecording(type2);

    const auto type1 = NewFile(L"dv type 1.avi");
    ASSERT_TRUE(quill_test::WriteOlderFile(type1, kOlderBytes));
    ASSERT_TRUE(module->CurrentVideoSource->Device->BuildMuxGraph(type1.wstring()));
    const unsigned start = module->ControlPreviewVideo->SampleCounter();
    ASSERT_TRUE(module->RunGraph());
    ASSERT_TRUE(PumpUntil([&] { return module->ControlPreviewVideo->SampleCounter() >= start + 25; }, 60000));
    module->fg->Stop();
    ASSERT_TRUE(module->StopCaptureGraph());
    ExpectOnlyTheNewRecording(type1);
}

}  // namespace
}  // namespace recording_a
