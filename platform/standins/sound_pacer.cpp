#include "platform/standins/sound_pacer.h"

#include <algorithm>
#include <cstring>

namespace standins {

namespace {

constexpr std::int64_t kUnitsPerSecond = 10000000;

}  // namespace

TSoundPacer::TSoundPacer(DWORD rate, DWORD unitFrames, DWORD lumpFrames)
    : rate_(std::max<std::int64_t>(rate, 1)), unit_(std::max<std::int64_t>(unitFrames, 1))
{
    // Half a second of notes: the input's delivery in lumps (a buffer, a server's period) shows
    // as scatter within it, a clock running apart as a lean that stays.
    window_ = static_cast<int>(std::max<std::int64_t>(rate_ / 2 / unit_, 4));
    slack_ = rate_ / 1000 + 1;
    // At most a hundredth of a unit: a correction hardly heard, and still well above how far a
    // sound card's clock strays from the graph's.
    step_ = std::max<std::int64_t>(unit_ / 100, 1);
    // Recorded sound kept in hand at a unit's end at best: a lump and a little, so that the next
    // lump, a little late, does not hold the stream up.
    kept_ = -static_cast<std::int64_t>(lumpFrames) - 2 * slack_;
    // Lateness is looked at once the input owes more than slack_ at best: by then clocks a
    // hundredth apart have added no more than a hundredth of a window to it, and where the lumps
    // fell in the window a lump at most.
    drift_ = slack_ - kept_ + static_cast<std::int64_t>(lumpFrames) + std::max<std::int64_t>(window_ * unit_ / 100, slack_);
    // A loaded machine holds an input's sound back for a good part of a second and then gives it:
    // sound is taken for lost only once missing for as long as an input is waited for.
    const std::int64_t windowTime = std::max<std::int64_t>(window_ * unit_ * kUnitsPerSecond / rate_, 1);
    patience_ = static_cast<int>(std::max<std::int64_t>((kSoundInputPatience + windowTime - 1) / windowTime, 2));
}

void TSoundPacer::Restart()
{
    started_ = false;
    silence_ = 0;
    correction_ = 0;
    lateWindows_ = 0;
    ResetWindow();
}

REFERENCE_TIME TSoundPacer::Deadline(LONGLONG unit) const
{
    const REFERENCE_TIME length = unit_ * kUnitsPerSecond / rate_;
    // A little longer than an input is waited for before it is taken for dead: a dead input is
    // told before a unit of it ends in silence.
    return (unit + 1) * length + kSoundInputPatience + std::max<REFERENCE_TIME>(kSoundInputPatience / 4, 4 * length);
}

void TSoundPacer::ResetWindow()
{
    notes_ = 0;
    leastOwed_ = 0;
    mostOwed_ = 0;
}

void TSoundPacer::MakeUp(std::int64_t frames, std::int64_t have, bool atOnce, TUnitPlan& plan)
{
    if (frames > 0) {
        // Late (a slower clock, sound lost): sound is put in.
        if (atOnce || frames > drift_) {
            silence_ += frames;
            plan.Gap = true;
        } else {
            correction_ += frames;
        }
    } else if (frames < 0) {
        // Early (a faster clock, sound held back and given all at once): sound is left out.
        if (atOnce || -frames > drift_) {
            plan.Skip += static_cast<std::size_t>(std::min(-frames, have));
        } else {
            correction_ += frames;
        }
    }
}

void TSoundPacer::Observe(std::int64_t owed, std::int64_t have, TUnitPlan& plan)
{
    leastOwed_ = notes_ == 0 ? owed : std::min(leastOwed_, owed);
    mostOwed_ = notes_ == 0 ? owed : std::max(mostOwed_, owed);
    if (++notes_ < window_) {
        return;
    }
    // The input's lumps come late by turns and in bursts, so what it owes swings by a lump or
    // more. Late only when a whole window never had the unit's sound at its end, early only when it
    // always had more than a lump in hand: a lump late now and then, or a burst, moves neither.
    // What is owed counts the stretch still to come, so a correction under way is not asked twice.
    // More lateness than clocks explain is sound held back or lost: it is waited out, and what it
    // never came down to is put in as silence once it has lasted the input's patience.
    const std::int64_t late = leastOwed_ - kept_;
    if (leastOwed_ > slack_ && late > drift_) {
        lateLeast_ = lateWindows_ == 0 ? late : std::min(lateLeast_, late);
        if (++lateWindows_ >= patience_) {
            MakeUp(lateLeast_, have, true, plan);
            lateWindows_ = 0;
        }
    } else {
        lateWindows_ = 0;
        if (leastOwed_ > slack_) {
            MakeUp(late, have, false, plan);
        } else if (mostOwed_ < kept_ - slack_) {
            MakeUp(mostOwed_ - kept_, have, false, plan);
        }
    }
    ResetWindow();
}

TUnitPlan TSoundPacer::Plan(LONGLONG unit, REFERENCE_TIME now, std::size_t waiting, std::size_t lost)
{
    TUnitPlan plan;
    // Frames the graph clock has gone through since the unit began.
    now = std::max<REFERENCE_TIME>(now, 0);
    const std::int64_t clockFrames = now / kUnitsPerSecond * rate_ + now % kUnitsPerSecond * rate_ / kUnitsPerSecond;
    const std::int64_t elapsed = std::max<std::int64_t>(clockFrames - unit * unit_, 0);
    std::int64_t have = static_cast<std::int64_t>(waiting);
    if (!started_) {
        started_ = true;
        // What the input recorded before the unit began (while paused) is not part of the stream,
        // nor is what it lost then; a little is kept in hand.
        if (have > elapsed - kept_) {
            plan.Skip = static_cast<std::size_t>(have - (elapsed - kept_));
            have = elapsed - kept_;
        }
        lost = 0;
        ResetWindow();
    }
    // What the input owes the clock: the frames of graph time since the unit began that neither
    // the input's recorded frames nor the silence and stretch still to come stand for.
    const std::int64_t owed = elapsed - have - silence_ - correction_;
    if (lost > 0) {
        // The store let its oldest sound go (the stream fell seconds behind), or let go sound that
        // silence already stood for (an input that held it back): what is owed now says at once
        // how much silence takes the lost sound's place, or how much is left out.
        ResetWindow();
        if (owed - kept_ > slack_ || owed - kept_ < -slack_) {
            MakeUp(owed - kept_, have, true, plan);
        }
    } else {
        Observe(owed, have, plan);
    }
    const std::int64_t silence = std::min(silence_, unit_);
    silence_ -= silence;
    plan.Silence = static_cast<std::size_t>(silence);
    const std::int64_t rest = unit_ - silence;
    std::int64_t stretch = 0;
    if (rest > 1 && correction_ != 0) {
        stretch = std::clamp(correction_, -step_, std::min(step_, rest - 1));
        correction_ -= stretch;
    }
    plan.Take = static_cast<std::size_t>(rest - stretch);
    return plan;
}

void StretchPcm(const BYTE* in, std::size_t inFrames, BYTE* out, std::size_t outFrames, WORD channels, WORD bits)
{
    const std::size_t block = static_cast<std::size_t>(channels) * (bits / 8);
    if (outFrames == 0 || block == 0) {
        return;
    }
    if (inFrames == outFrames || inFrames == 0) {
        if (inFrames == 0) {
            std::memset(out, bits == 8 ? 0x80 : 0, outFrames * block);
        } else {
            std::memcpy(out, in, outFrames * block);
        }
        return;
    }
    // Position in the input, 32.32 fixed point; the last output frame lands on the last input one.
    const std::uint64_t step =
        outFrames > 1 ? (static_cast<std::uint64_t>(inFrames - 1) << 32) / (outFrames - 1) : 0;
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < outFrames; ++i, at += step) {
        const std::size_t j = std::min<std::size_t>(static_cast<std::size_t>(at >> 32), inFrames - 1);
        const std::size_t k = std::min(j + 1, inFrames - 1);
        const std::int64_t frac = static_cast<std::int64_t>((at >> 16) & 0xFFFF);
        for (WORD c = 0; c < channels; ++c) {
            if (bits == 8) {
                const std::int64_t a = in[j * block + c];
                const std::int64_t b = in[k * block + c];
                out[i * block + c] = static_cast<BYTE>(a + (((b - a) * frac) >> 16));
            } else {
                std::int16_t a = 0, b = 0;
                std::memcpy(&a, in + j * block + 2 * c, 2);
                std::memcpy(&b, in + k * block + 2 * c, 2);
                const auto v = static_cast<std::int16_t>(a + (((static_cast<std::int64_t>(b) - a) * frac) >> 16));
                std::memcpy(out + i * block + 2 * c, &v, 2);
            }
        }
    }
}

}  // namespace standins
