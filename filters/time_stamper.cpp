#include "filters/time_stamper.h"

#include <algorithm>
#include <utility>

#include "filters/silence.h"

namespace filters {

const CLSID CLSID_qz_TimeStamper = {0xe5307fc4, 0x8823, 0x4f58, {0xa0, 0x1d, 0xd8, 0xc8, 0x63, 0xf8, 0xbb, 0xa8}};
const wchar_t* const TimeStamperFilterName = L"Marbrecq qz_Timestamper";

namespace {
HRESULT ignored = S_OK;
}

Tqz_TimeStamper::Tqz_TimeStamper()
    : TBCTransInPlaceFilter("Marbrecq qz_Timestamper", nullptr, CLSID_qz_TimeStamper, ignored, false)
{
}

HRESULT Tqz_TimeStamper::CheckInputType(const AM_MEDIA_TYPE*)
{
    return S_OK;
}

void Tqz_TimeStamper::TakeClock(REFERENCE_TIME start)
{
    std::lock_guard<std::mutex> guard(clockLock_);
    streamClock_ = Clock();
    streamStart_ = start;
}

REFERENCE_TIME Tqz_TimeStamper::StreamTimeLocked()
{
    REFERENCE_TIME now = 0;
    if (State() == State_Running && streamClock_ && SUCCEEDED(streamClock_->GetTime(&now))) {
        return now - streamStart_;
    }
    return pausedAt_;
}

REFERENCE_TIME Tqz_TimeStamper::StreamTime()
{
    std::lock_guard<std::mutex> guard(clockLock_);
    return StreamTimeLocked();
}

void Tqz_TimeStamper::Attach(const Tqz_TimeStamper* leader, bool going)
{
    if (leader == leader_) {
        return;
    }
    leader_ = leader;
    led_.store(leader != nullptr);
    leaderResumes_ = leader != nullptr ? leader->resumes_.load() : 0;
    following_ = leader != nullptr && going;
}

void Tqz_TimeStamper::SetFreeze(bool flag, REFERENCE_TIME streamTime, const Tqz_TimeStamper* leader)
{
    std::lock_guard<std::mutex> guard(freezeLock_);
    if (flag == freeze_.load()) {
        return;
    }
    if (IsStopped()) {
        streamTime = 0;
    }
    if (flag) {
        // Frozen again before the stream went on: the freeze still began where it began.
        const bool resuming = resuming_.exchange(false);
        if (!resuming) {
            frozenAt_ = streamTime;
        }
        Attach(leader, !resuming && !IsStopped());
        freeze_.store(true);
        return;
    }
    // Unfrozen while stopped, the next run has nothing to leave out; while running, the stream goes
    // on at a sample the streaming thread chooses (a follower's, once its leader's has gone on).
    resumeFrom_ = streamTime;
    Attach(leader, false);
    resuming_.store(!IsStopped() && !following_);
    freeze_.store(false);
}

bool Tqz_TimeStamper::GoesOnAt(REFERENCE_TIME at, bool key)
{
    std::lock_guard<std::mutex> guard(freezeLock_);
    if (freeze_.load()) {
        return false;
    }
    if (!resuming_.load()) {
        return true;
    }
    // Taken during the freeze, or a picture that needs those before it, dropped with the freeze (a
    // sound's samples stand alone, whatever their source marks).
    const bool needsOthers = !key && keysMarked_.load() && InputPin()->CurrentMediaType().majortype != MEDIATYPE_Audio;
    if (at < resumeFrom_ || needsOthers) {
        return false;
    }
    // The stream goes on where the last sample before the freeze ended, or else where it was frozen.
    const REFERENCE_TIME left = lastStop_.load();
    const REFERENCE_TIME frozenAt = left != kNoTime ? left : frozenAt_;
    frozenTime_.store(frozenTime_.load() + std::max<REFERENCE_TIME>(at - frozenAt, 0));
    resumedAt_.store(at);
    resumes_.fetch_add(1);
    resuming_.store(false);
    return true;
}

bool Tqz_TimeStamper::Follows(REFERENCE_TIME start, REFERENCE_TIME stop)
{
    std::lock_guard<std::mutex> guard(freezeLock_);
    const Tqz_TimeStamper* leader = leader_;
    if (leader == nullptr) {
        return !freeze_.load();  // let go of meanwhile: the next sample goes by this stamper's own freeze
    }
    // The leader's stream as it stands: whether it lets its samples through, how often it went on,
    // how far its samples are moved back and where its last one ended (read in the order opposite
    // to the leader's writes at a resume, so that a resume seen is seen whole).
    const bool leaderGoes = !leader->freeze_.load() && !leader->resuming_.load();
    const unsigned resumes = leader->resumes_.load();
    const REFERENCE_TIME shift = leader->frozenTime_.load();
    const REFERENCE_TIME leaderEnd = leader->lastStop_.load();
    const REFERENCE_TIME own = frozenTime_.load();
    // A sample counts where most of it lies.
    const REFERENCE_TIME middle = start + std::max<REFERENCE_TIME>(stop - start, 0) / 2;
    if (following_ && resumes != leaderResumes_) {
        following_ = false;  // the leader stopped and went on again before this stream saw it stop
    }
    if (following_) {
        if (leaderGoes) {
            return start >= resumedAt_.load();  // nothing taken before the sample it went on at
        }
        // The leader stopped: what this stream took before the moment the leader's stream ends at
        // (as both are placed) still goes, the rest is left out.
        if (leaderEnd != kNoTime && middle - own < leaderEnd - shift) {
            return true;
        }
        following_ = false;
        return false;
    }
    if (resumes == leaderResumes_) {
        return false;  // the leader has not gone on since this stream stopped
    }
    // The leader went on: this stream goes on at the sample that lies where its own ends, as the
    // leader's samples are placed now, and moves its stamps back by what it left out itself.
    const REFERENCE_TIME left = lastStop_.load();
    const REFERENCE_TIME ownEnd = left != kNoTime ? left : frozenAt_;
    if (middle - shift < ownEnd - own) {
        return false;
    }
    frozenTime_.store(own + std::max<REFERENCE_TIME>(start - ownEnd, 0));
    resumedAt_.store(start);
    leaderResumes_ = resumes;
    following_ = true;
    resumes_.fetch_add(1);
    resuming_.store(false);
    return true;
}

HRESULT Tqz_TimeStamper::Pause()
{
    TBCAutoLock lock(*Lock());
    if (IsStopped()) {
        TakeClock(0);
        pictureSlots_.Begin();
    } else if (State() == State_Running) {
        std::lock_guard<std::mutex> guard(clockLock_);
        pausedAt_ = StreamTimeLocked();
    }
    return TBCTransInPlaceFilter::Pause();
}

HRESULT Tqz_TimeStamper::Run(REFERENCE_TIME tStart)
{
    TBCAutoLock lock(*Lock());
    TakeClock(tStart);
    return TBCTransInPlaceFilter::Run(tStart);
}

void Tqz_TimeStamper::EndAt(REFERENCE_TIME at, const Tqz_TimeStamper* leader, bool takesOneMore)
{
    TBCAutoLock lock(*Lock());
    if (IsStopped()) {
        return;
    }
    // The streaming thread looks at the time first: what goes with it is stored before it.
    takesOneMore_.store(takesOneMore);
    sourceStoppedAt_.store(kNoTime);
    endLeader_.store(leader);
    endAt_.store(at);
}

void Tqz_TimeStamper::SourceStopped()
{
    REFERENCE_TIME none = kNoTime;
    if (endAt_.load() != kNoTime) {
        sourceStoppedAt_.compare_exchange_strong(none, StreamTime());
    }
}

REFERENCE_TIME Tqz_TimeStamper::LeaderEnd(const Tqz_TimeStamper* leader, REFERENCE_TIME endAt) const
{
    REFERENCE_TIME end = leader->lastStop_.load();
    if (!leader->ended_.load()) {
        // Not ended yet: no earlier than At, and a sample's time later when one more is to come.
        const REFERENCE_TIME least = leader->takesOneMore_.load() ? endAt + leader->longest_.load() : endAt;
        end = end == kNoTime ? least : std::max(end, least);
    } else if (end == kNoTime) {
        end = endAt;
    }
    return end - leader->frozenTime_.load() + frozenTime_.load();
}

bool Tqz_TimeStamper::EndsHere(IMediaSample* sample, REFERENCE_TIME endAt)
{
    // Where the sample lies on the stream's time before any shift: by its own stamps where it has
    // them, also in a stream stamped by the clock as it comes (a sound input a busy machine holds
    // back gives the sound of the stop's moment well after it: that sound still belongs in).
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timed = sample->GetTime(&start, &stop);
    if (FAILED(timed)) {
        start = StreamTime();
        stop = start;
    } else if (timed != S_OK) {
        stop = start;
    }
    return EndsAt(start, stop, endAt);
}

bool Tqz_TimeStamper::EndsAt(REFERENCE_TIME start, REFERENCE_TIME stop, REFERENCE_TIME endAt)
{
    const Tqz_TimeStamper* leader = endLeader_.load();
    if (leader == nullptr) {
        return start >= endAt || freeze_.load();
    }
    // A sample counts where most of it lies, as at a freeze's join.
    const REFERENCE_TIME middle = start + std::max<REFERENCE_TIME>(stop - start, 0) / 2;
    return middle >= LeaderEnd(leader, endAt);
}

bool Tqz_TimeStamper::EndWhenDue()
{
    // A tenth of a second: more than a picture's time, and than a sound buffer takes to come
    // through the filters before this one on a loaded machine.
    constexpr REFERENCE_TIME kSlack = 1000000;
    // How long a stopped source's word is waited for, and any source's end at most.
    constexpr REFERENCE_TIME kWordWait = 2000000;
    constexpr REFERENCE_TIME kMostSourceWait = 4000000;
    if (ended_.load()) {
        return true;
    }
    const REFERENCE_TIME endAt = endAt_.load();
    if (endAt == kNoTime) {
        return false;
    }
    const REFERENCE_TIME now = StreamTime();
    const REFERENCE_TIME in = lastInStop_.load();
    const REFERENCE_TIME came = lastArrival_.load();
    // None came for as long as one takes, and a tenth of a second more, since Since or the last one.
    auto quietSince = [&](REFERENCE_TIME since) {
        return now >= std::max(since, came == kNoTime ? since : came) + longest_.load() + kSlack;
    };
    bool due = false;
    if (const Tqz_TimeStamper* leader = endLeader_.load()) {
        if (leader->ended_.load()) {
            const REFERENCE_TIME end = LeaderEnd(leader, endAt);
            // Stamped by the clock, a sample lies where it comes: nothing from now on is before the
            // end. Otherwise the sample that reaches the end has come, or none came meanwhile for
            // as long as one takes.
            due = mode_.load() == kClock ? now >= end : (in != kNoTime && in >= end) || quietSince(end);
        }
    } else {
        const REFERENCE_TIME told = sourceStoppedAt_.load();
        if (told != kNoTime) {
            due = now >= told + 2 * kSlack && (in == kNoTime || in >= endAt);
        } else if (takesOneMore_.load()) {
            // A stopped source that has not said so yet: the picture about the stop's moment came,
            // none after it, and its word is late.
            due = in != kNoTime && in >= endAt && quietSince(endAt) && now >= endAt + kWordWait;
        } else {
            // The sample that ends the stream has not come: the source stalled.
            due = quietSince(endAt);
        }
        due = due || now >= endAt + kMostSourceWait;
    }
    return due && SendEndNow();
}

bool Tqz_TimeStamper::NothingCameFor(REFERENCE_TIME span)
{
    return State() == State_Running && lastArrival_.load() == kNoTime && StreamTime() >= span;
}

void Tqz_TimeStamper::FillToLeaderEnd(const Tqz_TimeStamper* leader)
{
    // Both ends as placed: this stream's and the leader's are shifted each by its own freezes.
    const REFERENCE_TIME shift = frozenTime_.load();
    const REFERENCE_TIME last = lastStop_.load();
    const REFERENCE_TIME from = last != kNoTime ? last - shift : leader->firstPlaced_.load();
    const REFERENCE_TIME to = LeaderEnd(leader, endAt_.load()) - shift;
    if (from == kNoTime || to <= from || !OutputPin()->IsConnected()) {
        return;
    }
    const TSilence silence(InputPin()->CurrentMediaType());
    const std::int64_t units = silence.UnitsIn(to - from);
    // The buffers of the stream's own allocator, free since no sound came.
    std::int64_t done = 0;
    for (int waited = 0; done < units;) {
        const Microsoft::WRL::ComPtr<IMediaSample> sample = FreeBuffer(waited);
        if (!sample) {
            break;
        }
        BYTE* data = nullptr;
        long bytes = 0;
        const std::int64_t made = SUCCEEDED(sample->GetPointer(&data))
                                      ? silence.Write(data, sample->GetSize(), done, units - done, bytes)
                                      : 0;
        if (made == 0) {
            break;
        }
        sample->SetActualDataLength(bytes);
        REFERENCE_TIME start = from + silence.TimeOf(done), stop = from + silence.TimeOf(done + made);
        const std::uint32_t counter = sampleCounter_.load() + 1;
        sampleCounter_.store(counter);
        LONGLONG mediaStart = counter, mediaStop = counter + 1;
        if (mode_.load() == kClear) {
            sample->SetTime(nullptr, nullptr);
            sample->SetMediaTime(nullptr, nullptr);
        } else {
            sample->SetTime(&start, &stop);
            sample->SetMediaTime(&mediaStart, &mediaStop);
        }
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(FALSE);
        sample->SetPreroll(FALSE);
        if (OutputPin()->Deliver(sample.Get()) != S_OK) {
            break;
        }
        done += made;
    }
}

Microsoft::WRL::ComPtr<IMediaSample> Tqz_TimeStamper::FreeBuffer(int& waitedMs)
{
    constexpr int kMostBufferWaitMs = 200;
    for (; waitedMs < kMostBufferWaitMs; ++waitedMs) {
        Microsoft::WRL::ComPtr<IMediaSample> sample;
        if (OutputPin()->GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT) == S_OK && sample) {
            return sample;
        }
        Sleep(1);
    }
    return nullptr;
}

bool Tqz_TimeStamper::Hold(IMediaSample* sample, REFERENCE_TIME start, REFERENCE_TIME stop, HRESULT timed, bool key)
{
    // Half a second of sound at most: a leader whose end comes later has stalled, and the stream
    // ends where the leader's may end at the least, as without the wait.
    constexpr REFERENCE_TIME kMostHeldTime = 5000000;
    constexpr std::size_t kMostHeld = 64;
    if (held_.size() >= kMostHeld || (!held_.empty() && TimeBetween(held_.front().Start, stop) > kMostHeldTime)) {
        return false;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) {
        return false;
    }
    THeldSample kept;
    kept.Data.assign(data, data + std::max<long>(sample->GetActualDataLength(), 0));
    kept.Start = start;
    kept.Stop = stop;
    kept.Timed = timed;
    kept.Key = key;
    kept.Discontinuity = sample->IsDiscontinuity() == S_OK;
    held_.push_back(std::move(kept));
    return true;
}

bool Tqz_TimeStamper::LetHeldThrough(REFERENCE_TIME endAt)
{
    std::vector<THeldSample> held;
    held.swap(held_);
    int waited = 0;
    for (THeldSample& kept : held) {
        if (EndsAt(kept.Start, kept.Stop, endAt)) {
            return false;
        }
        const Microsoft::WRL::ComPtr<IMediaSample> sample = FreeBuffer(waited);
        BYTE* data = nullptr;
        if (!sample || FAILED(sample->GetPointer(&data))) {
            return true;  // downstream holds every buffer: what is kept aside is lost with the stop
        }
        const long bytes = std::min<long>(static_cast<long>(kept.Data.size()), sample->GetSize());
        std::copy_n(kept.Data.begin(), bytes, data);
        sample->SetActualDataLength(bytes);
        sample->SetTime(&kept.Start, kept.Timed == S_OK ? &kept.Stop : nullptr);
        sample->SetSyncPoint(kept.Key ? TRUE : FALSE);
        sample->SetDiscontinuity(kept.Discontinuity ? TRUE : FALSE);
        sample->SetPreroll(FALSE);
        if (Pass(sample.Get(), kept.Key) == S_OK && OutputPin()->Deliver(sample.Get()) != S_OK) {
            return true;
        }
    }
    return true;
}

bool Tqz_TimeStamper::SendEndNow()
{
    // The end goes behind the last sample let through, never beside one: under the receive lock,
    // taken only when free (the sample passing meanwhile may bring the end; else the next ask does).
    if (!ReceiveLock().TryEnter()) {
        return ended_.load();
    }
    if (!endSent_ && !IsStopped() && OutputPin() != nullptr) {
        ended_.store(true);
        endSent_ = true;
        if (const Tqz_TimeStamper* leader = endLeader_.load()) {
            if (!held_.empty()) {
                LetHeldThrough(endAt_.load());
            }
            FillToLeaderEnd(leader);
        }
        OutputPin()->DeliverEndOfStream();
    }
    ReceiveLock().Leave();
    return ended_.load();
}

HRESULT Tqz_TimeStamper::Receive(IMediaSample* sample)
{
    // The input pin holds the receive lock: the end goes right behind the last sample let through.
    const HRESULT hr = TBCTransInPlaceFilter::Receive(sample);
    if (endingNow_) {
        endingNow_ = false;
        endSent_ = true;
        OutputPin()->DeliverEndOfStream();
    }
    return hr;
}

HRESULT Tqz_TimeStamper::EndOfStream()
{
    // The input pin holds the receive lock. An end this filter sent already is not sent again.
    ended_.store(true);
    if (endSent_) {
        return S_OK;
    }
    endSent_ = true;
    return TBCTransInPlaceFilter::EndOfStream();
}

HRESULT Tqz_TimeStamper::Stop()
{
    HRESULT hr = TBCTransInPlaceFilter::Stop();
    sampleCounter_.store(0);
    pictureSlots_.Restart();
    leftOutLast_ = false;
    keysMarked_.store(false);
    // The base Stop waited for the streaming thread: the next run's stream is a new one.
    endAt_.store(kNoTime);
    endLeader_.store(nullptr);
    takesOneMore_.store(false);
    sourceStoppedAt_.store(kNoTime);
    ended_.store(false);
    lastInStop_.store(kNoTime);
    lastArrival_.store(kNoTime);
    firstPlaced_.store(kNoTime);
    longest_.store(0);
    endingNow_ = false;
    endSent_ = false;
    held_.clear();
    {
        // A new run is a new stream: a freeze still on counts from its start.
        std::lock_guard<std::mutex> guard(freezeLock_);
        frozenTime_.store(0);
        frozenAt_ = 0;
        // A follower follows within one run of one recording.
        Attach(nullptr, false);
        lastStop_.store(kNoTime);
        resumedAt_.store(kNoTime);
        resuming_.store(false);
    }
    std::lock_guard<std::mutex> guard(clockLock_);
    pausedAt_ = 0;
    return hr;
}

HRESULT Tqz_TimeStamper::Transform(IMediaSample* sample)
{
    const bool key = sample->IsSyncPoint() == S_OK;
    if (key) {
        keysMarked_.store(true);
    }
    followsLeftOut_ = std::exchange(leftOutLast_, false);
    // What comes, for an end that no sample brings.
    REFERENCE_TIME inStart = 0, inStop = 0;
    const HRESULT inTimed = sample->GetTime(&inStart, &inStop);
    lastInStop_.store(inTimed == S_OK ? inStop : kNoTime);
    if (inTimed == S_OK) {
        longest_.store(std::max(longest_.load(), inStop - inStart));
    }
    lastArrival_.store(StreamTime());
    if (ended_.load()) {
        return S_FALSE;
    }
    const REFERENCE_TIME endAt = endAt_.load();
    if (endAt != kNoTime && takesOneMore_.load() && SUCCEEDED(inTimed)) {
        // The stopped source's extra sample is the stream's last. One without stamps the stop
        // never holds back: it ends the stream as it comes.
        if (inStart >= endAt) {
            const HRESULT hr = Pass(sample, key);
            ended_.store(true);
            endingNow_ = true;
            return hr;
        }
    } else if (endAt != kNoTime) {
        // A follower's sound that may lie past its leader's end waits for that end to be known: a
        // camera's picture after the moment may come late, stamped later than the moment (a busy
        // machine made it skip some), and the sound goes on to where it ends. Stamped by the clock,
        // a sample is stamped as it passes: it cannot wait.
        const Tqz_TimeStamper* leader = endLeader_.load();
        if (leader != nullptr && !leader->ended_.load() && SUCCEEDED(inTimed) && mode_.load() != kClock &&
            (!held_.empty() || EndsHere(sample, endAt)) &&
            Hold(sample, inStart, inTimed == S_OK ? inStop : inStart, inTimed, key)) {
            return S_FALSE;
        }
        if ((!held_.empty() && !LetHeldThrough(endAt)) || EndsHere(sample, endAt)) {
            ended_.store(true);
            endingNow_ = true;
            return S_FALSE;
        }
    }
    return Pass(sample, key);
}

bool Tqz_TimeStamper::InItsSlot(IMediaSample* sample, HRESULT timed, REFERENCE_TIME& start, REFERENCE_TIME& stop,
                                bool key)
{
    if (pictureSlots_.FrameTime() == 0) {
        return true;
    }
    // Placed as the picture goes to the file: after the time a freeze left out.
    const REFERENCE_TIME shift = frozenTime_.load();
    REFERENCE_TIME clock = kNoClock;
    {
        std::lock_guard<std::mutex> guard(clockLock_);
        // Before the stream's start (a camera gives its first picture then) it has run nothing.
        if (streamClock_) clock = std::max<REFERENCE_TIME>(StreamTimeLocked(), 0);
    }
    auto shifted = [shift](REFERENCE_TIME t) { return shift == 0 ? t : t > shift ? t - shift : 0; };
    REFERENCE_TIME placedStart = shifted(start), placedStop = shifted(timed == S_OK ? stop : start);
    const REFERENCE_TIME wasStart = placedStart, wasStop = placedStop;
    // A coded picture that others refer to stands in a stream that marks the ones standing alone.
    const bool standsAlone = key || !keysMarked_.load();
    if (!pictureSlots_.Pass(InputPin()->CurrentMediaType(), sample->GetActualDataLength(), timed == S_OK,
                            sample->IsDiscontinuity() == S_OK, standsAlone, placedStart, placedStop, clock)) {
        leftOutLast_ = true;
        return false;
    }
    // A copy that follows a sample this filter skipped is marked a discontinuity, as a transform
    // marks it. A picture left out for its slot leaves no gap in the source's time, though: unless
    // the source marked one itself, the picture after it goes on without the mark, so that a file
    // that places pictures by their stamps keeps its slots where this one kept them.
    if (followsLeftOut_ && (InputPin()->SampleProps().dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) == 0) {
        sample->SetDiscontinuity(FALSE);
    }
    // Moved to the clock: back on the stream's time before the shift, which the sample keeps.
    if (placedStart != wasStart || placedStop != wasStop) {
        if (placedStart != wasStart) start = placedStart + shift;
        if (placedStop != wasStop) stop = placedStop + shift;
        sample->SetTime(&start, &stop);
    }
    return true;
}

HRESULT Tqz_TimeStamper::Pass(IMediaSample* sample, bool key)
{
    // A follower's stream stops and goes on with its leader's, not at its own freeze.
    const bool led = led_.load();
    if (freeze_.load() && !led) {
        return S_FALSE;
    }
    REFERENCE_TIME start = stampStart_.load();
    REFERENCE_TIME stop = stampStop_.load();
    const HRESULT timed = sample->GetTime(&start, &stop);
    const int mode = mode_.load();
    // Clock mode stamps 20 ms after the stream time now, before any shift.
    bool clocked = false;
    REFERENCE_TIME clockStart = 0;
    if (mode == kClock) {
        Microsoft::WRL::ComPtr<IReferenceClock> clock;
        REFERENCE_TIME streamStart = 0;
        {
            std::lock_guard<std::mutex> guard(clockLock_);
            clock = streamClock_;
            streamStart = streamStart_;
        }
        REFERENCE_TIME now = 0;
        // Without a clock there is no stream time to stamp with: the sample keeps its stamps.
        clocked = clock && SUCCEEDED(clock->GetTime(&now));
        clockStart = now - streamStart + 200000;
    }
    // After a freeze, what the sample stands for decides whether it goes on: the time it was taken
    // at, or else when it comes. A follower measures it as its leader does, by the sample's own
    // stamps where it has them, even in clock mode.
    REFERENCE_TIME passedStop = kNoTime;  // where this sample ends, once it passes
    if (led) {
        const REFERENCE_TIME at = SUCCEEDED(timed) ? start : clocked ? clockStart : StreamTime();
        const REFERENCE_TIME end = timed == S_OK ? stop : clocked && FAILED(timed) ? clockStart + 400000 : at;
        if (!Follows(at, end)) {
            return S_FALSE;
        }
        passedStop = end;
    } else {
        const REFERENCE_TIME resumedAt = resumedAt_.load();
        if (resuming_.load() || resumedAt != kNoTime) {
            const REFERENCE_TIME at = clocked ? clockStart : SUCCEEDED(timed) ? start : StreamTime();
            if (resuming_.load() ? !GoesOnAt(at, key) : at < resumedAt) {
                return S_FALSE;
            }
        }
        if (clocked) {
            passedStop = clockStart + 400000;
        } else if (SUCCEEDED(timed)) {
            if (!InItsSlot(sample, timed, start, stop, key)) {
                return S_FALSE;
            }
            passedStop = timed == S_OK ? stop : start;
        }
    }
    if (passedStop != kNoTime) {
        lastStop_.store(passedStop);
    }
    const REFERENCE_TIME shift = frozenTime_.load();
    // A stamp shifted for a freeze never lies before the stream's start.
    auto shifted = [shift](REFERENCE_TIME t) { return shift != 0 ? std::max<REFERENCE_TIME>(t - shift, 0) : t; };
    if (shift != 0 && SUCCEEDED(timed)) {
        start = shifted(start);
        if (timed == S_OK) {
            stop = std::max(shifted(stop), start);
            sample->SetTime(&start, &stop);
        } else {
            sample->SetTime(&start, nullptr);
        }
    }
    stampStart_.store(start);
    stampStop_.store(stop);

    const std::uint32_t counter = sampleCounter_.load() + 1;
    sampleCounter_.store(counter);
    LONGLONG mediaStart = counter;
    LONGLONG mediaStop = mediaStart + 1;
    sample->SetMediaTime(&mediaStart, &mediaStop);

    if (clocked) {
        start = shifted(clockStart);
        stop = start + 400000;
    }
    if (firstPlaced_.load() == kNoTime) {
        firstPlaced_.store(SUCCEEDED(timed) || clocked ? start : StreamTime() - shift);
    }
    if (mode == kClear) {
        stampStart_.store(0);
        stampStop_.store(0);
        sample->SetTime(nullptr, nullptr);
        sample->SetMediaTime(nullptr, nullptr);
    } else if (clocked) {
        stampStart_.store(start);
        stampStop_.store(stop);
        sample->SetTime(&start, &stop);
    }
    return S_OK;
}

}  // namespace filters
