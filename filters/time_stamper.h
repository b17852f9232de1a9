// The time stamper: an in-place filter on any stream that numbers the samples with media times,
// drops them while frozen and keeps, rewrites from the reference clock or clears their time stamps;
// after a freeze its stamps go on where the stream was frozen. It can end its run's stream at a
// moment, so that what was taken before it reaches the file before the graph stops.
#pragma once

#include "filters/picture_slots.h"
#include "filters/transform_in_place.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace filters {

// {E5307FC4-8823-4F58-A01D-D8C863F8BBA8}
extern const CLSID CLSID_qz_TimeStamper;
extern const wchar_t* const TimeStamperFilterName;  // "Marbrecq qz_Timestamper"

class Tqz_TimeStamper : public TBCTransInPlaceFilter {
public:
    Tqz_TimeStamper();

    // Setters of the user interface thread; the streaming thread reads the flags as they stand.
    // While frozen every sample is dropped. A resumed stream goes on at its first sample taken at or
    // after the resume that stands alone (a sync point, in a stream of pictures that marks them: a
    // coded picture that refers to none dropped), placed where the last sample before the freeze
    // ended (where the freeze began when none came before it in this run, the run's start for a
    // freeze set while stopped); the time between is taken off the stamps of every later sample
    // until the filter stops, so that a stream resumed in the same file has no hole in its
    // timeline. Samples taken before the resumed one never follow it.
    void SetFreeze(bool flag) { SetFreeze(flag, StreamTime()); }
    // The same at a stream time read once for several stampers of one graph. With Leader (a stamper
    // of the same graph, frozen just before this one and resumed at the same moment) this stream
    // stops and goes on with the leader's rather than at its own freeze: once the leader stops, what
    // this stream took up to the moment the leader's stream ends at still passes; once the leader
    // has gone on, this stream goes on at its sample that lies where its own stream ends, placed as
    // the leader's now are, and its stamps go back by what it left out itself. At every join both
    // leave out the same time, within half a sample of this stream, and the difference never adds
    // up over joins, so that a multiplexer that places them by arrival keeps them together. The
    // leader is kept until the stop or a call without one.
    void SetFreeze(bool flag, REFERENCE_TIME streamTime, const Tqz_TimeStamper* leader = nullptr);
    // Ends this run's stream at the stream time At (a stop or a cut that lets what is on its way
    // reach the file first): what was taken before At passes as it would; at the first sample taken
    // at or after it (any sample, while frozen; a sample without stamps that comes at or after it,
    // which nothing tells taken before) the end of stream goes downstream, and nothing passes after
    // it until the filter stops. With Leader (the picture's stamper of the same recording) the
    // stream ends where the leader's does, both placed as they go to the file: where the leader's
    // last sample ended once its end has passed the leader, else no earlier than At (and a sample's
    // time later when the leader takes one more); where the stream's own sound stops short of
    // there, silence in its format takes the rest of the place (a sound input that gave nothing).
    // With TakesOneMore (a source stopped at At whose pin sends the one extra sample its stop was
    // asked for, and nothing after it) that sample, the first stamped at or after At by its own
    // stamps whatever the stamp mode, passes as the stream's last (unless frozen) and the end
    // follows it. An end of stream from upstream ends the stream as well, once. Ignored while
    // stopped.
    void EndAt(REFERENCE_TIME at, const Tqz_TimeStamper* leader = nullptr, bool takesOneMore = false);
    // The source of a stream ended with TakesOneMore told that it sent its last sample (the graph's
    // EC_STREAM_CONTROL_STOPPED, sent after the extra sample by a pin that sends one).
    void SourceStopped();
    // Sends the end of this run's stream now when no sample has brought it where it is due (the
    // thread that ends the recording asks as it waits; it never waits for the streaming thread):
    // a follower's once its leader's end has passed and, stamped by the clock, its stream time has
    // reached where the leader's stream ends; else once its own last sample reached there, or none
    // came for the longest sample's time and a tenth of a second more (a sound input that gives
    // nothing). Without a leader: behind a stopped source once the source said so, a fifth of a
    // second has passed for the extra sample, and the last sample that came reached At or had no
    // stamps; behind a source that says nothing, once none came for the longest sample's time and a
    // tenth of a second more since At (a source that stalls; a stopped source's word waited for a
    // fifth of a second, and its last sample reaching At); four tenths of a second after At
    // whatever came, so that a source that says nothing ends its stream within half a second by
    // the filter's own clock. True once the end has passed.
    bool EndWhenDue();
    // The end of this run's stream has passed the filter.
    bool Ended() const { return ended_.load(); }
    // The pictures of a recording placed in a file of one picture per frame time (TPictureSlots):
    // one that would play more than three quarters of a frame time after its stamp (its slot taken)
    // is left out and counted. 0 lets every picture through as it comes.
    // Set while stopped, by the thread that builds the recording.
    void SetPictureSlots(REFERENCE_TIME frameTime) { pictureSlots_.SetFrameTime(frameTime); }
    REFERENCE_TIME PictureSlots() const { return pictureSlots_.FrameTime(); }
    // The pictures left out since the recording started.
    std::uint32_t PicturesLeftOut() const { return pictureSlots_.LeftOut(); }
    // Running for Span of stream time at least, and no sample came in this run (a sound input that
    // gives nothing).
    bool NothingCameFor(REFERENCE_TIME span);
    void SetClockStamps() { mode_.store(kClock); }
    void SetKeepStamps() { mode_.store(kKeep); }
    void SetClearStamps() { mode_.store(kClear); }

    bool Freeze() const { return freeze_.load(); }
    bool ClockStamps() const { return mode_.load() == kClock; }
    bool ClearStamps() const { return mode_.load() == kClear; }
    std::uint32_t SampleCounter() const { return sampleCounter_.load(); }
    REFERENCE_TIME StampStart() const { return stampStart_.load(); }
    REFERENCE_TIME StampStop() const { return stampStop_.load(); }
    // What the stamps are moved back by now.
    REFERENCE_TIME FrozenTime() const { return frozenTime_.load(); }
    // Unfrozen, but the sample to go on from has not come yet.
    bool Resuming() const { return resuming_.load(); }
    // The stream time on the graph's clock while running; where the stream stands when paused, 0 when
    // stopped or without a clock.
    REFERENCE_TIME StreamTime();

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Transform(IMediaSample* sample) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

private:
    // The two mode flags of the user interface live in one value, so that a reader never sees
    // clock and clear set together while a setter runs.
    enum Mode : int { kKeep = 0, kClock = 1, kClear = 2 };
    static constexpr REFERENCE_TIME kNoTime = INT64_MIN;
    void TakeClock(REFERENCE_TIME start);
    // Whether a sample of the moment At (stream time, before any shift) ends the resume; freezeLock_ free.
    bool GoesOnAt(REFERENCE_TIME at, bool key);
    // Whether a sample taken from Start to Stop goes on with the leader's stream; freezeLock_ free.
    bool Follows(REFERENCE_TIME start, REFERENCE_TIME stop);
    // Takes Leader (which may be none) to follow, this stream going on or stopped now; freezeLock_ held.
    void Attach(const Tqz_TimeStamper* leader, bool going);
    // Whether the sample ends the stream asked to end at EndAt; freezeLock_ free. EndsAt: one that
    // lies from Start to Stop.
    bool EndsHere(IMediaSample* sample, REFERENCE_TIME endAt);
    bool EndsAt(REFERENCE_TIME start, REFERENCE_TIME stop, REFERENCE_TIME endAt);
    // A follower's sample that lies past where its leader's stream ends at the least, while that
    // end is not known yet, is kept aside until it is (false: as many are kept as may be); receive
    // lock held.
    bool Hold(IMediaSample* sample, REFERENCE_TIME start, REFERENCE_TIME stop, HRESULT timed, bool key);
    // Lets the samples kept aside through, up to where the leader's stream ends (as far as it is
    // known); false when one of them reached it (the stream ends there). Receive lock held.
    bool LetHeldThrough(REFERENCE_TIME endAt);
    // A free buffer of the stream's own allocator, waited for up to a fifth of a second in all
    // (WaitedMs counts the wait): one that stays taken ends a delivery rather than the wait.
    Microsoft::WRL::ComPtr<IMediaSample> FreeBuffer(int& waitedMs);
    // Where the leader's stream ends, placed on this stream's time before any shift.
    REFERENCE_TIME LeaderEnd(const Tqz_TimeStamper* leader, REFERENCE_TIME endAt) const;
    // What Transform does to a sample that does not end the stream before it.
    HRESULT Pass(IMediaSample* sample, bool key);
    // Whether the picture stamped Start to Stop (before any shift; Timed as GetTime answered) takes
    // a slot of its own; a stamp ahead of the clock is moved to it, in the sample too.
    bool InItsSlot(IMediaSample* sample, HRESULT timed, REFERENCE_TIME& start, REFERENCE_TIME& stop, bool key);
    // Sends the end downstream now unless the streaming thread holds the receive lock; a follower's
    // silence first where its own stream stops short of the leader's end.
    bool SendEndNow();
    // Delivers silence from where this stream's last sample ended (where the leader's first one
    // began when none came) to where the leader's stream ends, both as placed; receive lock held.
    void FillToLeaderEnd(const Tqz_TimeStamper* leader);
    // Stream time now on the clock of the last Run, or where the stream stood; clockLock_ held.
    REFERENCE_TIME StreamTimeLocked();

    std::atomic<bool> freeze_{false};
    std::atomic<int> mode_{kKeep};
    std::atomic<std::uint32_t> sampleCounter_{0};
    std::atomic<REFERENCE_TIME> stampStart_{0};
    std::atomic<REFERENCE_TIME> stampStop_{400000};
    // The freeze's moments, set by the user interface thread and taken by the streaming thread at the
    // resume: where the current freeze began, the resume's stream time. A follower's leader, how
    // many times the leader had gone on when this stream last went on (or stopped, when it stopped
    // unfollowed), and whether this stream goes on with the leader's (its streaming thread).
    std::mutex freezeLock_;
    REFERENCE_TIME frozenAt_ = 0;
    REFERENCE_TIME resumeFrom_ = 0;
    const Tqz_TimeStamper* leader_ = nullptr;
    unsigned leaderResumes_ = 0;
    bool following_ = false;
    std::atomic<bool> led_{false};
    std::atomic<bool> resuming_{false};
    // The shift of the stamps; the moment the last resume went on from (nothing taken before it
    // passes) and how many resumes went on so far, read by a follower's streaming thread (resumes_
    // is counted after the shift is stored).
    std::atomic<REFERENCE_TIME> frozenTime_{0};
    // The end of the last sample let through in this run, before any shift (streaming thread; a
    // follower reads its leader's).
    std::atomic<REFERENCE_TIME> lastStop_{kNoTime};
    // Where the first sample let through in this run begins as it goes on (stamped, or where it
    // came when it has no stamps), read by a follower that fills the place of its sound.
    std::atomic<REFERENCE_TIME> firstPlaced_{kNoTime};
    std::atomic<REFERENCE_TIME> resumedAt_{kNoTime};
    std::atomic<unsigned> resumes_{0};
    // The stream of this run marks the samples that stand alone (streaming thread).
    std::atomic<bool> keysMarked_{false};
    // The end asked for (kNoTime: none) and the leader it goes with, set by the thread that ends the
    // recording (the leader first); whether the end has passed (streaming thread, read by a
    // follower's); whether the sample at hand ends the stream and whether the end went downstream
    // (streaming thread, under the receive lock).
    std::atomic<REFERENCE_TIME> endAt_{kNoTime};
    std::atomic<const Tqz_TimeStamper*> endLeader_{nullptr};
    std::atomic<bool> takesOneMore_{false};
    std::atomic<REFERENCE_TIME> sourceStoppedAt_{kNoTime};  // stream time of SourceStopped
    std::atomic<bool> ended_{false};
    // Of the samples that came in this run (streaming thread, read by EndWhenDue): the stop stamp
    // the last one came with (kNoTime without), the stream time it came at, the longest one's length.
    std::atomic<REFERENCE_TIME> lastInStop_{kNoTime};
    std::atomic<REFERENCE_TIME> lastArrival_{kNoTime};
    std::atomic<REFERENCE_TIME> longest_{0};
    bool endingNow_ = false;
    bool endSent_ = false;
    // A follower's samples kept aside while its leader's end is not known (under the receive lock).
    struct THeldSample {
        std::vector<BYTE> Data;
        REFERENCE_TIME Start = 0;
        REFERENCE_TIME Stop = 0;
        HRESULT Timed = S_OK;
        bool Key = false;
        bool Discontinuity = false;
    };
    std::vector<THeldSample> held_;
    // The graph's clock and stream start as of the last Pause or Run, for the streaming thread; the
    // filter lock cannot be taken there (Stop holds it while waiting for the streaming thread).
    std::mutex clockLock_;
    Microsoft::WRL::ComPtr<IReferenceClock> streamClock_;
    REFERENCE_TIME streamStart_ = 0;
    REFERENCE_TIME pausedAt_ = 0;  // the stream time at the last pause from running, 0 after a stop
    TPictureSlots pictureSlots_;
    // The last picture was left out for its slot, and the one now in Transform follows it (both
    // the streaming thread's alone).
    bool leftOutLast_ = false;
    bool followsLeftOut_ = false;
};

}  // namespace filters
