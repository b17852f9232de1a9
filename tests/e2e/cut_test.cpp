// Recordings cut while they run, as the whole program makes them: the camcorder's DV, re-encoded and
// as it comes, cut with its key and a script with every timecode kept in place on a busy machine and
// every part closed promptly, also from capture pins that say nothing at the stop; the MPEG card's
// coded video and Windows Media from the camera cut from scripts, every part read back with ffprobe
// and ffmpeg.
#include <windows.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "filters/dv_codes.h"
#include "platform/standins/dv_camcorder_picture.h"
#include "tests/common/recording_headers.h"
#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

// The frame counts of the camcorder timecodes that a DV recording's frames carry, in file order
// (25 frames a second), each with the step of the camcorder's moving square its picture shows
// (-1 where none shows) and the frame time it fills (the empty frames that keep the time of
// pictures lost come between); empty when ffmpeg cannot read its video.
struct TFrameSeen {
    int Count = 0;
    int Step = -1;
    long long Slot = 0;
};
std::vector<TFrameSeen> FramesSeen(const std::wstring& File) {
    const std::string file = quill_test::UnixPath(File);
    const quill_test::TUnixResult copy =
        quill_test::RunUnix({"ffmpeg", "-v", "error", "-i", file, "-map", "0:v:0", "-c", "copy", "-f", "rawvideo", "-"});
    // The row through the middle of the square, in grey, one picture for each frame stored: a
    // player repeats the picture before an empty frame, which is no picture of the file's own.
    const int row = (576 - standins::kCamcorderSquare) / 2 + standins::kCamcorderSquare / 2;
    const quill_test::TUnixResult rows = quill_test::RunUnix(
        {"ffmpeg", "-v", "error", "-i", file, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
         "format=gray,crop=720:1:0:" + std::to_string(row), "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    const quill_test::TUnixResult slots = quill_test::RunUnix(
        {"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts", "-of", "csv=p=0", file});
    std::vector<TFrameSeen> frames;
    if (!copy.Ran || copy.ExitCode != 0 || !rows.Ran || rows.ExitCode != 0 || !slots.Ran || slots.ExitCode != 0)
        return frames;
    std::istringstream slotLines(slots.Out);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(copy.Out.data());
    for (std::size_t at = 0; at + filters::kDVFrameBytes625 <= copy.Out.size(); at += filters::kDVFrameBytes625) {
        const filters::TDVTimecode tc = filters::DVReadTimecode(std::span(bytes + at, filters::kDVFrameBytes625), 0);
        TFrameSeen seen;
        seen.Count = ((tc.Hours * 60 + tc.Minutes) * 60 + tc.Seconds) * 25 + tc.Frames;
        if (!(slotLines >> seen.Slot)) return {};
        // The square is the only white brighter than the bars'.
        const std::size_t line = frames.size() * 720;
        for (int x = 0; line + 720 <= rows.Out.size() && x < 720 && seen.Step < 0; ++x)
            if (static_cast<unsigned char>(rows.Out[line + x]) > 215)
                seen.Step = (x + standins::kCamcorderStepPixels / 2) / standins::kCamcorderStepPixels;
        frames.push_back(seen);
    }
    return rows.Out.size() == frames.size() * 720 ? frames : std::vector<TFrameSeen>{};
}

// The failures the running test has had so far.
int FailuresSoFar() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// The timecodes a frame leaves out after the one before it, and of those the ones the camcorder
// did not list as lost before the program had them.
int LeftOut(const TFrameSeen& Before, const TFrameSeen& Frame) { return std::max(0, Frame.Count - Before.Count - 1); }
int LeftOutUnlisted(const TFrameSeen& Before, const TFrameSeen& Frame, const std::set<std::int64_t>& Lost) {
    int unlisted = 0;
    for (int missing = Before.Count + 1; missing < Frame.Count; ++missing) unlisted += Lost.count(missing) ? 0 : 1;
    return unlisted;
}

// The frame after a freeze's join in a part of Frames: the place where the most timecodes the
// camcorder gave are left out (the freeze lasts a second at least, and the camcorder gave the
// preview its pictures meanwhile), the camcorder's own losses beside them included wherever they
// meet; among places alike, the widest. Never the part's first frame, whose gap is the cut's.
// Frames.size() when nothing is left out.
std::size_t FreezeJoin(const std::vector<TFrameSeen>& Frames, const std::set<std::int64_t>& Lost) {
    std::size_t join = Frames.size();
    std::pair<int, int> widest{0, 0};
    for (std::size_t n = 1; n < Frames.size(); ++n) {
        const std::pair<int, int> out{LeftOutUnlisted(Frames[n - 1], Frames[n], Lost), LeftOut(Frames[n - 1], Frames[n])};
        if (out.second > 0 && out > widest) {
            widest = out;
            join = n;
        }
    }
    return join;
}

// The places of a part where its timecodes do not follow one another (from Previous, the last of
// the part before, -1 for none): the frame, the timecodes before and at it, the file's slots between
// them, and how many of those left out the camcorder did not list.
std::string Jumps(int Part, int Previous, const std::vector<TFrameSeen>& Frames, const std::set<std::int64_t>& Lost,
                  std::size_t Join) {
    std::ostringstream out;
    out << "part " << Part << ": " << Frames.size() << " frames, timecodes " << Frames.front().Count << " to "
        << Frames.back().Count << "; the camcorder lost:";
    for (std::int64_t code : Lost)
        if (code >= Frames.front().Count - 50 && code <= Frames.back().Count + 50) out << " " << code;
    out << "\n";
    if (Previous >= 0 && Frames.front().Count != Previous + 1)
        out << "  frame 0, the first after the cut: " << Previous << " -> " << Frames.front().Count << ", "
            << LeftOutUnlisted(TFrameSeen{Previous}, Frames.front(), Lost) << " of "
            << LeftOut(TFrameSeen{Previous}, Frames.front()) << " left out unlisted\n";
    for (std::size_t n = 1; n < Frames.size(); ++n) {
        const TFrameSeen& before = Frames[n - 1];
        const TFrameSeen& frame = Frames[n];
        if (frame.Count == before.Count + 1 && frame.Slot == before.Slot + 1) continue;
        out << "  frame " << n << (n == Join ? " (the freeze's join)" : "") << ": " << before.Count << " -> "
            << frame.Count << " in " << frame.Slot - before.Slot << " slots, " << LeftOutUnlisted(before, frame, Lost)
            << " of " << LeftOut(before, frame) << " left out unlisted\n";
    }
    return out.str();
}

// Threads that keep every processor busy while the object lives, as other programs do on a user's
// machine during a capture.
class TBusyThreads {
public:
    TBusyThreads() {
        for (unsigned i = 0; i < 2 * std::max(1u, std::thread::hardware_concurrency()); ++i)
            threads_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~TBusyThreads() {
        stop_ = true;
        for (std::thread& thread : threads_) thread.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// The test DV camcorder's picture re-encoded to DV beside the microphone's sound, then as the
// camcorder gives it, cut ten times with F7 as the shortcuts list says and once by a script's "cut",
// frozen once with the space bar, then stopped with its button, while busy threads load the machine.
// The camcorder's capture pin stops as its documentation says: from the stop time on it discards its
// pictures and sends no end of stream, only the one picture more that the program asks for. A cut
// lets the pictures on their way through the decoder and the encoder reach the part they were taken
// for, and the camcorder takes none after that picture until the next part begins: every timecode is
// in the recording once, in order, across every cut, but those of the frames the camcorder lost before
// the program had them (a busy machine makes it lose some, and its tape goes on past them), which keep
// their time as empty frames within a part, and only the freeze leaves others out. The parts that keys
// end close promptly after their keys, as their files' last writes show. Each frame carries its own
// timecode back, however far the encoder lags behind the overlay and after the freeze: the moving
// square its picture shows is the timecode's.
TEST_F(Recordings, DVReencodedFromTheCamcorderIsCutWithItsTimecodesRunningOn) {
    for (const int format : {6, 2}) {
        SCOPED_TRACE(testing::Message() << "format " << format);
        ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamcorderVideo, kMicrophone, format, false)));
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        const TStandinList lostBefore(program, standins::kTestPicturesLostValue);
        ASSERT_TRUE(lostBefore.Set());
        const TBusyThreads busy;
        ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
        const int parts = 12, frozenClip = 4;
        auto frozen = [&] {
            const int state = program.ToolButtonState(TProgram::kFreezeCaptureButton);
            return state >= 0 && (state & TBSTATE_CHECKED) != 0;
        };
        // The key that ended each part, and when each part's first pictures were written, looked at
        // closely (the cut's gap, told beside the figures).
        std::vector<std::int64_t> keyAt(parts, 0), begun(parts, 0);
        auto begins = [&](int part) {
            for (int n = 0; n < 30000; ++n, Sleep(2)) {
                if (n % 25 == 0 && program.Message() != nullptr) program.AnswerMessage(L"No", nullptr, 0);
                if (e2e::FileSize(Clip(part)) > 3 * filters::kDVFrameBytes625) return (begun[part] = SystemNow()) != 0;
            }
            return false;
        };
        for (int part = 1; part < parts; ++part) {
            ASSERT_TRUE(Growing(program, Clip(part - 1), 4000000));
            if (part - 1 == frozenClip) {
                // Frozen until the preview has moved on: the frames meanwhile are left out.
                SetForegroundWindow(program.Window());
                PressKey(program.Window(), VK_SPACE);
                ASSERT_TRUE(e2e::WaitFor(frozen));
                EXPECT_TRUE(program.PreviewMoves());
                PressKey(program.Window(), VK_SPACE);
                ASSERT_TRUE(e2e::WaitFor([&] { return !frozen(); }));
                ASSERT_TRUE(Growing(program, Clip(part - 1), e2e::FileSize(Clip(part - 1)) + 2000000));
            }
            if (part < parts - 1) {
                SetForegroundWindow(program.Window());
                keyAt[part - 1] = SystemNow();
                PressKey(program.Window(), VK_F7);
            } else {
                ASSERT_NO_FATAL_FAILURE(Script(program, {L"cut"}));
            }
            ASSERT_TRUE(begins(part)) << "cut " << part;
            ASSERT_TRUE(Growing(program, Clip(part), 2000000)) << "cut " << part;
        }
        keyAt[parts - 1] = SystemNow();
        ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
        ASSERT_TRUE(program.Settled(Clip(parts - 1)));
        const std::vector<std::int64_t> lostList = lostBefore.Read();
        const std::set<std::int64_t> lost(lostList.begin(), lostList.end());
        EXPECT_TRUE(program.Close());

        std::vector<double> closed;
        std::string gaps;
        for (int part = 0; part < parts; ++part) {
            if (keyAt[part] == 0) continue;
            closed.push_back(static_cast<double>(LastWritten(Clip(part)) - keyAt[part]) / 1e7);
            if (part + 1 < parts)
                gaps += " " + std::to_string(static_cast<double>(begun[part + 1] - LastWritten(Clip(part))) / 1e7).substr(0, 5);
        }
        std::printf("format %d, from a part's close to the next part's first pictures, s:%s\n", format, gaps.c_str());
        ExpectClosedPromptly(closed);
        int last = -1;
        for (int part = 0; part < parts; ++part) {
            SCOPED_TRACE(part);
            const int previous = last;
            const std::vector<TFrameSeen> frames = FramesSeen(Clip(part));
            ASSERT_GE(frames.size(), 10u);
            const int failedBefore = FailuresSoFar();
            const std::size_t join = part == frozenClip ? FreezeJoin(frames, lost) : frames.size();
            if (part == frozenClip) {
                ASSERT_LT(join, frames.size()) << "the frozen part leaves nothing out";
                EXPECT_EQ(1, frames[join].Slot - frames[join - 1].Slot) << "the frame after the freeze comes at once";
            }
            for (std::size_t n = 0; n < frames.size(); ++n) {
                const TFrameSeen& seen = frames[n];
                EXPECT_EQ(seen.Count % standins::kCamcorderSteps, seen.Step)
                    << "frame " << n << " shows another's picture";
                // The freeze leaves its frames out in one place of its part.
                const long long slots = n > 0 ? seen.Slot - frames[n - 1].Slot : 1;
                if (last >= 0 && n != join) {
                    for (int missing = last + 1; missing < seen.Count; ++missing) {
                        EXPECT_TRUE(lost.count(missing)) << "frame " << n << (n == 0 ? ", the first after the cut," : "")
                                                         << " follows a timecode lost by the program: " << missing;
                    }
                    EXPECT_LT(last, seen.Count) << "frame " << n << " out of place";
                    if (n > 0) {
                        EXPECT_EQ(seen.Count - last, slots) << "frame " << n << " plays at another's time";
                    }
                }
                last = seen.Count;
            }
            // What a failure is judged on, and the freeze's part: the timecodes where they do not
            // follow one another.
            if (part == frozenClip || FailuresSoFar() > failedBefore)
                std::printf("%s", Jumps(part, previous, frames, lost, join).c_str());
        }
        // The next format records under the same names.
        for (int part = 0; part < parts; ++part) {
            DeleteFileW(Clip(part).c_str());
            DeleteFileW(Clip(part, L".scn").c_str());
        }
    }
}

// The test camcorder's capture pin says less at a stop, as other capture pins do: its pictures carry
// no stamps (its stream control, which acts on stamps alone, then never stops them); its stream
// control takes the stop but neither sends the picture more nor says it stopped, and no picture comes
// from the stop on (as from a source that stalls or is unplugged at that moment); it has no stream
// control at all. Each recorded as DV type 2 beside the microphone, cut with F7 three times and
// stopped with its button while busy threads load the machine: the parts close promptly after their
// keys, as their files' last writes show; they hold no picture taken after their keys (the
// camcorder's timecodes and its list of when each run's first picture was taken tell when each was
// taken: only the program's answer to the key lies between, which a loaded machine makes late now
// and then); and their sound ends with their picture, which lasts from its first timecode to its last
// (pictures without stamps keep no place for those the camcorder lost).
TEST_F(Recordings, ACapturePinThatSaysNothingAtTheStopEndsEveryPartAtItsKey) {
    for (const auto& [setting, name] : {std::pair{standins::kTestPicturesUnstampedValue, "pictures without stamps"},
                                        std::pair{standins::kTestStopUntoldValue, "a stop never told"},
                                        std::pair{standins::kTestNoStreamControlValue, "no stream control"}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamcorderVideo, kMicrophone, 2, false)));
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        const TProcessTestSetting says(program, setting, 1);
        const TStandinList runs(program, standins::kTestPictureTimesValue);
        ASSERT_TRUE(says.Set() && runs.Set());
        const TBusyThreads busy;
        ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
        const int parts = 4;
        std::vector<std::int64_t> keyAt(parts, 0);
        for (int part = 0; part < parts; ++part) {
            ASSERT_TRUE(Growing(program, Clip(part), 2000000)) << "part " << part;
            keyAt[part] = SystemNow();
            if (part == parts - 1) {
                ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
            } else {
                SetForegroundWindow(program.Window());
                PressKey(program.Window(), VK_F7);
            }
        }
        ASSERT_TRUE(program.Settled(Clip(parts - 1)));
        const std::vector<std::int64_t> taken = runs.Read();
        EXPECT_TRUE(program.Close());
        ASSERT_GE(taken.size(), 2u * parts) << "a run of the camcorder's is not listed";
        // When the picture of timecode Count was taken: a frame time after its run's first one for
        // each frame of the tape between (a run of pictures by the camcorder's clock).
        auto takenAt = [&](int count) {
            std::int64_t at = 0;
            for (std::size_t n = 0; n + 1 < taken.size(); n += 2)
                if (taken[n] <= count) at = taken[n + 1] + (count - taken[n]) * 400000;
            return at;
        };
        std::vector<double> closed, late;
        std::string apart;
        for (int part = 0; part < parts; ++part) {
            SCOPED_TRACE(part);
            closed.push_back(static_cast<double>(LastWritten(Clip(part)) - keyAt[part]) / 1e7);
            const std::vector<TFrameSeen> frames = FramesSeen(Clip(part));
            ASSERT_GE(frames.size(), 10u);
            late.push_back(static_cast<double>(takenAt(frames.back().Count) - keyAt[part]) / 1e7);
            for (std::size_t n = 1; n < frames.size(); ++n)
                EXPECT_LT(frames[n - 1].Count, frames[n].Count) << "frame " << n << " out of place";
            const double picture = (frames.back().Count - frames.front().Count + 1) / 25.0;
            const double sound = SoundSeconds(Clip(part));
            apart += " " + std::to_string(sound - picture).substr(0, 6);
            EXPECT_NEAR(picture, sound, 0.2) << "the sound does not end with the picture";
        }
        std::printf("%s: sound longer than the picture, s:%s\n", name, apart.c_str());
        ExpectClosedPromptly(closed);
        ExpectPromptAfterKeys(late, "last picture taken", 0.25);
        for (int part = 0; part < parts; ++part) {
            DeleteFileW(Clip(part).c_str());
            DeleteFileW(Clip(part, L".scn").c_str());
        }
    }
}

// The test MPEG card's coded video with the microphone's sound, through the MPEG audio encoder and the
// program-stream multiplexer the program finds for it: format 3 cut once, then format 4 from the
// MPEG-1 test card, the stop, the change of card and format and the new start in one script (the
// change is not lost while the MPEG recording closes); then a stop and a change to the camera in
// another. Every part is an MPEG program stream with video and sound.
TEST_F(Recordings, NativeMpegFromTheTestCardIsRecordedAndCut) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kMpegCard) + L" " +
                                               Arg(std::wstring(L"+sa=") + kMicrophone) + L" " +
                                               Arg(L"+format_capture=mpeg2 native stream")));
    // The command line is obeyed after the lists are filled: its format is waited for.
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"mpeg2 native stream"; }))
        << program.CaptureFormat();
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(Growing(program, Clip(0, L".mpg"), 300000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"cut"}));
    ASSERT_TRUE(Growing(program, Clip(1, L".mpg"), 300000));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0, L".mpg")); })) << "the cut closes the first part";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"source_video=" + std::wstring(kMpeg1Card),
                                             L"format_capture=mpeg1 native stream", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(2, L".mpg"), 200000)) << "stopped, changed and started again by one script";
    EXPECT_EQ(kMpeg1Card, program.VideoSource());
    EXPECT_EQ(L"mpeg1 native stream", program.CaptureFormat());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1, L".mpg")); }));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"source_video=" + std::wstring(kCamera)}));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; }))
        << "the line after the stop is obeyed: " << testing::PrintToString(program.VideoSource());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(2, L".mpg")); }));
    EXPECT_EQ(L"Capture", program.ButtonShown({L"Capture", L"Stop Capture"}));
    EXPECT_TRUE(program.PreviewMoves()) << "the camera is previewed";
    EXPECT_TRUE(program.Close());

    for (int part = 0; part < 3; ++part) {
        ReadBack(Clip(part, L".mpg"), {part < 2 ? "mpeg2video" : "mpeg1video", "mp2", kMpegSoundTag, false});
        EXPECT_EQ("mpeg", quill_test::Probe(Clip(part, L".mpg")).Get("format.format_name")) << "a program stream";
    }
}

// Windows Media from the camera and the microphone, through the profile manager and the ASF writer
// the program finds: cut once, then the video alone (the profile's sound stream taken out). Every
// part is an ASF file with the profile's Windows Media coding.
TEST_F(Recordings, WindowsMediaFromTheCameraIsRecordedAndCut) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera) + L" " +
                                               Arg(std::wstring(L"+sa=") + kMicrophone) + L" " + Arg(L"+format_capture=Wmv")));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == L"Wmv"; })) << program.CaptureFormat();
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(Growing(program, Clip(0, L".wmv"), 100000));
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"cut"}));
    ASSERT_TRUE(Growing(program, Clip(1, L".wmv"), 100000));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0, L".wmv")); })) << "the cut closes the first part";
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"capture", L"source_audio=no audio stream", L"capture"}));
    ASSERT_TRUE(Growing(program, Clip(2, L".wmv"), 100000));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(2, L".wmv")); }));
    EXPECT_TRUE(program.Close());

    const char* wma = "0x0161";
    for (int part = 0; part < 3; ++part) {
        ReadBack(Clip(part, L".wmv"), {"wmv2", part < 2 ? "wmav2" : nullptr, wma, false});
        EXPECT_EQ("asf", quill_test::Probe(Clip(part, L".wmv")).Get("format.format_name")) << "an ASF file";
    }
}

}  // namespace
