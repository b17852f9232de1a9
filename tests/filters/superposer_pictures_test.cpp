// The overlay filter's timing in Wine graphs: the display countdown and its restarts, timed pictures
// and snapshots posted to a test window.
#include "superposer_fixture.h"

#include <atomic>
#include <thread>

namespace {

using namespace overlay_test;

TEST_F(Overlay, DisplayCountdownLimitsTheFramesWithText)
{
    host.frameTime = 400000;  // 25 frames per second
    SourceConfig c{.width = 96, .height = 64, .frames = 40};
    overlay->SetIncrustRec(TextRec(0, 0));
    overlay->SetDisplayMode(1, 1);
    EXPECT_EQ(25, overlay->DisplayFrames());
    overlay->SetOverlayEnabled(true);
    Run(c, 0);
    int withText = 0;
    for (bool changed : grab->changed) {
        withText += changed ? 1 : 0;
    }
    EXPECT_EQ(23, withText) << "mode 1 shows the texts for DisplayFrames - 2 frames";
    EXPECT_TRUE(grab->changed[0]);
    EXPECT_FALSE(grab->changed[39]);
    overlay->SetDisplayMode(0, 1);
    Run(c, 0);
    for (bool changed : grab->changed) {
        EXPECT_TRUE(changed) << "mode 0 always draws";
    }
    host.frameTime = 800000;  // 12.5 frames: halves go to the even neighbour
    overlay->SetDisplayMode(1, 1);
    EXPECT_EQ(12, overlay->DisplayFrames());
    overlay->SetOverlayEnabled(false);
    Run(c, 0);
    for (bool changed : grab->changed) {
        EXPECT_FALSE(changed) << "overlay off";
    }
}

// The frames of a run that carried text, as a string of '#' and '.'.
std::string TextFrames(const Grabber& grab)
{
    std::string out;
    for (bool changed : grab.changed) {
        out += changed ? '#' : '.';
    }
    return out;
}

TEST_F(Overlay, AtEachSceneTheCountdownRestartsOnADateJumpForwardOrBack)
{
    auto* detector = new Tqz_SceneDetect;
    auto detectorHeld = Hold(detector);
    // 10:20:30 for five frames, one second later for five (no scene), 15 seconds later for ten,
    // then back to 10:20:31 for ten.
    std::vector<std::vector<BYTE>> frames;
    for (int k = 0; k < 30; ++k) {
        frames.push_back(DVFrame(true, 15, 6, k < 5 ? 30 : k < 10 ? 31 : k < 20 ? 46 : 31));
    }
    FeedDetector(detector, frames);
    overlay->SetSceneDetector(detector);
    host.frameTime = 2000000;  // five frames a second: one second of text is five frames
    overlay->SetIncrustRec(TextRec(0, 0));
    overlay->SetDisplayMode(2, 1);
    ASSERT_EQ(5, overlay->DisplayFrames());
    overlay->SetOverlayEnabled(true);
    Run(SourceConfig{.width = 96, .height = 64, .frames = 30}, 0);
    // Each restart shows the texts on that frame and the three after it.
    EXPECT_EQ("####......####......####......", TextFrames(*grab));
    overlay->SetSceneDetector(nullptr);
}

TEST_F(Overlay, AtEachDayTheCountdownRestartsOnANewDayOfTheMonthOrAJumpOfMoreThanADay)
{
    auto* detector = new Tqz_SceneDetect;
    auto detectorHeld = Hold(detector);
    // 15 June, then 16 June, then 16 June a little later, then 16 July (the same day of the month).
    std::vector<std::vector<BYTE>> frames;
    for (int k = 0; k < 40; ++k) {
        frames.push_back(k < 10 ? DVFrame(true, 15, 6, 30) : k < 20 ? DVFrame(true, 16, 6, 30)
                         : k < 30 ? DVFrame(true, 16, 6, 59) : DVFrame(true, 16, 7, 59));
    }
    FeedDetector(detector, frames);
    overlay->SetSceneDetector(detector);
    host.frameTime = 2000000;
    auto rec = TextRec(0, 0);
    rec.WhatIncrust = 0;  // the DV date is the day's reference
    rec.FormatDate1 = L"dd";
    rec.FormatDate2 = L"hh:nn:ss";
    overlay->SetIncrustRec(rec);
    overlay->SetDisplayMode(3, 1);
    overlay->SetOverlayEnabled(true);
    Run(SourceConfig{.width = 96, .height = 64, .frames = 40}, 0);
    EXPECT_EQ("####......####" + std::string(16, '.') + "####......", TextFrames(*grab));

    // With the timecode shown there is no reference date: only the first count, never a restart.
    rec.WhatIncrust = 1;
    overlay->SetIncrustRec(rec);
    overlay->SetOverlayEnabled(true);
    Run(SourceConfig{.width = 96, .height = 64, .frames = 40}, 0);
    EXPECT_EQ("###" + std::string(37, '.'), TextFrames(*grab));
    overlay->SetSceneDetector(nullptr);
}

TEST_F(Overlay, TimedPicturesPostTheirSlotAndTheSecondsLeft)
{
    // 12 s into the stream, one picture every 5 s, 40 ms frames up to 17.16 s.
    SourceConfig c{.frames = 130, .start = 120000000};
    overlay->StartExtraction(50000);
    Drain();
    Run(c, 1);
    const std::vector<Posted> got = Drain();
    std::vector<std::pair<UINT, long>> seen;
    for (const Posted& p : got) {
        seen.emplace_back(p.message, p.message == WM_USER + 1 ? static_cast<long>(p.lParam) : static_cast<long>(p.wParam));
        if (p.message == WM_USER + 1) {
            EXPECT_EQ(0u, p.wParam);
        } else {
            EXPECT_EQ(0, p.lParam);
        }
    }
    const std::vector<std::pair<UINT, long>> want = {{WM_USER + 1, 1}, {WM_USER + 2, 4}, {WM_USER + 2, 3},
                                                      {WM_USER + 2, 2}, {WM_USER + 2, 1}, {WM_USER + 2, 0},
                                                      {WM_USER + 1, 2}, {WM_USER + 2, 4}};
    EXPECT_EQ(want, seen);
    EXPECT_EQ(220000, overlay->NextDue());
    ASSERT_TRUE(overlay->SlotBusy(1));
    ASSERT_TRUE(overlay->SlotBusy(2));
    // The picture is the frame as delivered (top row first in the slot, bottom-up in the output).
    const TRgbPicture& pic = overlay->SlotBitmap(1);
    ASSERT_EQ(720, pic.Width());
    ASSERT_EQ(576, pic.Height());
    View out{grab->frames[0].data(), 720, 576};
    for (int y = 0; y < 576; y += 7) {
        for (int x = 0; x < 720; x += 11) {
            ASSERT_TRUE(Same(pic.ScanLine(y) + x * 3, out.At(x, y))) << x << "," << y;
        }
    }
    overlay->ReleaseSlot(1);
    overlay->ReleaseSlot(2);

    // After a pause longer than the interval: one picture, then the schedule restarts from there.
    SourceConfig later{.frames = 2, .start = 400000000};
    Run(later, 0);
    int pictures = 0;
    for (const Posted& p : Drain()) {
        pictures += p.message == WM_USER + 1 ? 1 : 0;
    }
    EXPECT_EQ(1, pictures);
    EXPECT_EQ(450000, overlay->NextDue()) << "40 s + 5 s";
    overlay->StopExtraction();
}

TEST_F(Overlay, SnapshotsUseSlotsInTurnAndAreLostWhileTheSlotIsBusy)
{
    SourceConfig c{.width = 32, .height = 24, .frames = 1};
    // A snapshot and a timed picture on the same frame: one picture.
    overlay->StartExtraction(50000);
    overlay->RequestGrab();
    Run(c, 1);
    auto got = Drain();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(1, got[0].lParam);
    EXPECT_FALSE(overlay->GrabRequested());
    overlay->StopExtraction();

    // Every slot busy (a picture at every frame, none handed back): snapshots are lost without a
    // message, the slot index still advances.
    TakePictures(19);
    for (int slot = 0; slot < kSuperposerSlots; ++slot) {
        ASSERT_TRUE(overlay->SlotBusy(slot)) << slot;
    }
    EXPECT_EQ(0, overlay->SlotIndex());
    overlay->RequestGrab();
    Run(c, 0);
    EXPECT_TRUE(Drain().empty());
    EXPECT_FALSE(overlay->GrabRequested());
    EXPECT_EQ(1, overlay->SlotIndex());

    // Slots are used in turn, 19 is followed by 0, whether or not the earlier ones were released.
    ReleaseAll();
    TakePictures(17);
    ReleaseAll();
    EXPECT_EQ(18, overlay->SlotIndex());
    for (long want : {19L, 0L, 1L}) {
        overlay->RequestGrab();
        Run(c, 0);
        got = Drain();
        ASSERT_EQ(1u, got.size());
        EXPECT_EQ(WM_USER + 1, got[0].message);
        EXPECT_EQ(want, got[0].lParam);
    }
}

TEST_F(Overlay, AGrabIsAskedUntilItsPictureHoldsASlot)
{
    // A close waits for the pictures asked before it by looking at the grab, then at the slots:
    // while the streaming thread takes a picture, one look or the other sees it. Another thread
    // asks for a grab, looks until its picture is in a slot and hands the slot back, again and
    // again while large frames stream.
    std::atomic<bool> stop{false};
    std::atomic<int> pictures{0};
    std::atomic<int> unseen{0};
    std::thread watcher([&] {
        while (!stop.load()) {
            overlay->RequestGrab();
            while (!stop.load()) {
                const bool asked = overlay->GrabRequested();
                int busy = -1;
                for (int slot = 0; slot < kSuperposerSlots && busy < 0; ++slot) {
                    if (overlay->SlotBusy(slot)) {
                        busy = slot;
                    }
                }
                if (busy >= 0) {
                    overlay->ReleaseSlot(busy);
                    ++pictures;
                    break;
                }
                if (!asked) {
                    ++unseen;
                    break;
                }
                std::this_thread::yield();
            }
        }
    });
    Run(SourceConfig{.width = 720, .height = 576, .frames = 150}, 0);
    stop.store(true);
    watcher.join();
    Drain();
    EXPECT_EQ(0, unseen.load()) << "a picture being taken was seen neither as asked nor in a slot";
    EXPECT_GT(pictures.load(), 0);
}

TEST_F(Overlay, SnapshotWithThePreferenceOffIsTheDeliveredPicture)
{
    SourceConfig c{.width = 33, .height = 21, .frames = 1};
    // A flipped, composed run leaves the drawing header upside down.
    overlay->SetVerticalFlip(true);
    Run(c, 1);
    host.preference = false;
    overlay->SetSourceInverted(true);
    overlay->RequestGrab();
    Run(c, 1);
    ASSERT_EQ(1u, Drain().size());
    const TRgbPicture& pic = overlay->SlotBitmap(1);
    View out{grab->frames[0].data(), 33, 21};
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 33; ++x) {
            ASSERT_TRUE(Same(pic.ScanLine(y) + x * 3, out.At(x, y))) << x << "," << y;
        }
    }
    overlay->ReleaseSlot(1);
}

}  // namespace
