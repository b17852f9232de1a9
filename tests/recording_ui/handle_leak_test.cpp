// Recording after recording from the main window leaves this process's registry keys as it found
// them: a key left open by every start or stop grows the program's handles for as long as it runs.
#include "handle_counts.h"
#include "recording_ui_support.h"

namespace recording_ui {
namespace {

class RepeatedRecordings : public RecordingUiTest {
protected:
    void RecordOnce() {
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        ASSERT_TRUE(WaitRecorded(10));
        Capture();
        ASSERT_EQ(1, form->CaptureState);
    }
};

TEST_F(RepeatedRecordings, LeaveNoRegistryKeyOpen) {
    constexpr int kRecordings = 4;
    ASSERT_GT(quill_test::OwnHandlesOfType(L"Key"), 0) << "the system's handle list cannot be read";
    for (std::uint8_t format : {std::uint8_t(11), std::uint8_t(5)}) {
        SCOPED_TRACE(static_cast<int>(format));
        ASSERT_NO_FATAL_FAILURE(Preview(format == 11 ? L"" : kCamera, kMicrophone, format));
        // The first recording fills the platform's caches once.
        ASSERT_NO_FATAL_FAILURE(RecordOnce());
        const int before = quill_test::OwnHandlesOfType(L"Key");
        for (int i = 0; i < kRecordings; ++i) ASSERT_NO_FATAL_FAILURE(RecordOnce());
        // One late cache is allowed for; a key per recording is not.
        EXPECT_LE(quill_test::OwnHandlesOfType(L"Key"), before + 1);
    }
}

}  // namespace
}  // namespace recording_ui
