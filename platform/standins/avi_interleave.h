// The AVI multiplexer's full interleaving: the samples of every stream wait until each stream still
// running has one waiting, and the earliest goes first; too much waiting (in bytes, or in samples:
// the empty frames in lost pictures' places have no bytes) lets them go as they are, so that a
// stream that stalls holds nothing back for long.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace standins {

class TInterleaveQueue {
public:
    struct TItem {
        std::vector<std::uint8_t> Data;
        REFERENCE_TIME Time = 0;
        bool Key = true;
    };
    static constexpr std::size_t kMostBytes = 32u << 20;
    static constexpr std::size_t kMostSamples = 4096;

    // A file of Streams streams begins: nothing waits, none has ended.
    void Begin(std::size_t streams)
    {
        queues_.assign(streams, {});
        ended_.assign(streams, false);
        bytes_ = 0;
        samples_ = 0;
    }
    void Push(std::size_t stream, TItem item)
    {
        bytes_ += item.Data.size();
        ++samples_;
        queues_[stream].push_back(std::move(item));
    }
    // The stream gives no more: it holds the others back no longer.
    void End(std::size_t stream) { ended_[stream] = true; }
    bool AllEnded() const
    {
        for (bool ended : ended_) {
            if (!ended) return false;
        }
        return true;
    }
    // The stream whose sample goes next, or -1 when all wait (All: everything goes, the file ends).
    int Next(bool all) const
    {
        int next = -1;
        bool missing = false;
        for (std::size_t i = 0; i < queues_.size(); ++i) {
            if (queues_[i].empty()) {
                missing = missing || !ended_[i];
            } else if (next < 0 || queues_[i].front().Time < queues_[static_cast<std::size_t>(next)].front().Time) {
                next = static_cast<int>(i);
            }
        }
        return missing && !all && bytes_ <= kMostBytes && samples_ <= kMostSamples ? -1 : next;
    }
    TItem Pop(std::size_t stream)
    {
        TItem item = std::move(queues_[stream].front());
        queues_[stream].pop_front();
        bytes_ -= item.Data.size();
        --samples_;
        return item;
    }
    // Nothing more is written: what waits goes.
    void Clear()
    {
        for (auto& queue : queues_) queue.clear();
        bytes_ = 0;
        samples_ = 0;
    }
    std::size_t Samples() const { return samples_; }

private:
    std::vector<std::deque<TItem>> queues_;
    std::vector<bool> ended_;
    std::size_t bytes_ = 0;
    std::size_t samples_ = 0;
};

}  // namespace standins
