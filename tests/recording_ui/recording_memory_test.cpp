// Recording after recording from the main window leaves little behind: each recording adds its entry
// to the clip list (its name, its folder and its sort keys, about 1.5 KB), and the graph's branch,
// its filters, their buffers and the file's writer go with the stop. A branch left behind at each
// stop would cost tens of kilobytes a recording at least.
#include "recording_ui_support.h"

namespace recording_ui {
namespace {

// The bytes in use in every heap of this process, block by block. Nothing is allocated meanwhile.
std::size_t HeapBytesInUse() {
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    std::size_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

class RecordingMemory : public RecordingUiTest {
protected:
    void RecordOnce() {
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        ASSERT_TRUE(WaitRecorded(3));
        Capture();
        ASSERT_EQ(1, form->CaptureState);
    }
};

TEST_F(RecordingMemory, EachRecordingLeavesLittleMoreThanItsClipListEntry) {
    constexpr int kRecordings = 20;
    constexpr std::size_t kBytesPerRecording = 4096;
    ASSERT_GT(HeapBytesInUse(), 0u) << "the heaps cannot be walked";
    for (std::uint8_t format : {std::uint8_t(11), std::uint8_t(5)}) {
        SCOPED_TRACE(static_cast<int>(format));
        ASSERT_NO_FATAL_FAILURE(Preview(format == 11 ? L"" : kCamera, kMicrophone, format));
        // The first recordings fill the platform's caches once.
        for (int i = 0; i < 3; ++i) ASSERT_NO_FATAL_FAILURE(RecordOnce());
        const std::size_t before = HeapBytesInUse();
        for (int i = 0; i < kRecordings; ++i) ASSERT_NO_FATAL_FAILURE(RecordOnce());
        const std::size_t after = HeapBytesInUse();
        const double perRecording = (static_cast<double>(after) - static_cast<double>(before)) / kRecordings;
        EXPECT_LT(perRecording, static_cast<double>(kBytesPerRecording)) << "bytes left by each recording";
        RecordProperty(format == 11 ? "wav_bytes_per_recording" : "avi_bytes_per_recording", static_cast<int>(perRecording));
    }
}

}  // namespace
}  // namespace recording_ui
