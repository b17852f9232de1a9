#include "platform/standins/wave_in_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <utility>

namespace standins {

namespace {

constexpr int kBufferCount = 8;
// What the store keeps at most when nobody reads (a paused graph, a stream stalled downstream):
// older bytes go first.
constexpr DWORD kStoreSeconds = 4;

// Tried in this order; the first one the input takes is the layout a connection starts with.
constexpr DWORD kRates[] = {44100, 48000, 32000, 22050, 16000, 11025, 8000};
constexpr WORD kChannelBits[][2] = {{2, 16}, {1, 16}, {2, 8}, {1, 8}};

bool Accepts(UINT device, const TWaveLayout& layout, DWORD flags)
{
    WAVEFORMATEX wf = layout.Format();
    return waveInOpen(nullptr, device, &wf, 0, 0, WAVE_FORMAT_QUERY | flags) == MMSYSERR_NOERROR;
}

}  // namespace

WAVEFORMATEX TWaveLayout::Format() const
{
    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = Channels;
    wf.nSamplesPerSec = Rate;
    wf.wBitsPerSample = Bits;
    wf.nBlockAlign = BlockAlign();
    wf.nAvgBytesPerSec = Rate * BlockAlign();
    wf.cbSize = 0;
    return wf;
}

std::vector<TWaveLayout> WaveInLayouts(UINT device)
{
    // Asking opens the system's sound client each time: once per input is enough for a process.
    static std::mutex mutex;
    static std::map<UINT, std::vector<TWaveLayout>> known;
    std::lock_guard<std::mutex> guard(mutex);
    const auto found = known.find(device);
    if (found != known.end()) {
        return found->second;
    }
    std::vector<TWaveLayout> layouts;
    WAVEINCAPSW caps{};
    const UINT count = waveInGetNumDevs();
    if (device == WAVE_MAPPER ? count > 0 : device < count) {
        if (waveInGetDevCapsW(device, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
            caps.wChannels = 2;
        }
        for (DWORD rate : kRates) {
            for (const auto& cb : kChannelBits) {
                TWaveLayout layout{rate, cb[0], cb[1], false};
                if (layout.Channels > std::max<WORD>(caps.wChannels, 1)) {
                    continue;
                }
                if (Accepts(device, layout, 0)) {
                    layouts.push_back(layout);
                } else if (Accepts(device, layout, WAVE_MAPPED)) {
                    layout.Mapped = true;
                    layouts.push_back(layout);
                }
            }
        }
    }
    known.emplace(device, layouts);
    return layouts;
}

TWaveInReader::~TWaveInReader()
{
    Close();
}

MMRESULT TWaveInReader::Open(UINT device, const TWaveLayout& layout, DWORD bufferBytes)
{
    Close();
    block_ = std::max<WORD>(layout.BlockAlign(), 1);
    bufferBytes = std::max<DWORD>(bufferBytes / block_, 1) * block_;
    limit_ = std::max<std::size_t>(static_cast<std::size_t>(kStoreSeconds) * layout.Rate * block_, 2u * kBufferCount * bufferBytes);
    done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (done_ == nullptr) {
        return MMSYSERR_NOMEM;
    }
    WAVEFORMATEX wf = layout.Format();
    const DWORD flags = CALLBACK_EVENT | (layout.Mapped ? WAVE_MAPPED : 0);
    MMRESULT result = waveInOpen(&wave_, device, &wf, reinterpret_cast<DWORD_PTR>(done_), 0, flags);
    if (result != MMSYSERR_NOERROR) {
        wave_ = nullptr;
        Close();
        return result;
    }
    {
        std::lock_guard<std::mutex> guard(mutex_);
        store_.clear();
        head_ = 0;
        lost_ = 0;
    }
    failed_ = false;
    failure_ = MMSYSERR_NOERROR;
    closing_ = false;
    soundAt_ = GetTickCount64();
    memory_.assign(kBufferCount, std::vector<BYTE>(bufferBytes));
    headers_.assign(kBufferCount, WAVEHDR{});
    for (int i = 0; i < kBufferCount && result == MMSYSERR_NOERROR; ++i) {
        WAVEHDR& h = headers_[i];
        h.lpData = reinterpret_cast<LPSTR>(memory_[i].data());
        h.dwBufferLength = bufferBytes;
        result = waveInPrepareHeader(wave_, &h, sizeof(h));
        if (result == MMSYSERR_NOERROR) {
            result = waveInAddBuffer(wave_, &h, sizeof(h));
        }
    }
    if (result == MMSYSERR_NOERROR) {
        try {
            pump_ = std::thread([this] { Pump(); });
        } catch (...) {
            result = MMSYSERR_NOMEM;
        }
    }
    if (result == MMSYSERR_NOERROR) {
        result = waveInStart(wave_);
    }
    if (result != MMSYSERR_NOERROR) {
        Close();
    } else {
        open_ = true;
    }
    return result;
}

bool TWaveInReader::Close()
{
    open_ = false;
    closing_ = true;
    if (wave_ != nullptr) {
        // Reset marks every queued buffer done; the pump sees closing_ and queues none again.
        waveInReset(wave_);
    }
    if (done_ != nullptr) {
        SetEvent(done_);
    }
    if (pump_.joinable()) {
        pump_.join();
    }
    bool clean = true;
    if (wave_ != nullptr) {
        // The pump may have queued a buffer between its look at closing_ and the reset above: once
        // it has gone, a second reset gives that one back too, so that every buffer can be
        // unprepared and the device closed.
        waveInReset(wave_);
        for (WAVEHDR& h : headers_) {
            if ((h.dwFlags & WHDR_PREPARED) && waveInUnprepareHeader(wave_, &h, sizeof(h)) != MMSYSERR_NOERROR) {
                clean = false;
            }
        }
        if (waveInClose(wave_) != MMSYSERR_NOERROR) {
            clean = false;
        }
        wave_ = nullptr;
    }
    if (!clean) {
        // The system may still write into buffers it did not give back, and into their headers
        // (flags, bytes recorded): both are left to it.
        new std::vector<std::vector<BYTE>>(std::move(memory_));
        new std::vector<WAVEHDR>(std::move(headers_));
    }
    headers_.clear();
    memory_.clear();
    if (done_ != nullptr) {
        CloseHandle(done_);
        done_ = nullptr;
    }
    Wake();
    return clean;
}

void TWaveInReader::Pump()
{
    // Nothing may leave the thread: a store that cannot grow fails the input, and Read tells it.
    try {
        PumpBuffers();
    } catch (...) {
        failure_ = MMSYSERR_NOMEM;
        failed_ = true;
    }
    arrived_.notify_all();
}

void TWaveInReader::PumpBuffers()
{
    std::size_t next = 0;  // buffers fill in the order they were queued
    while (!closing_.load()) {
        WaitForSingleObject(done_, 100);
        while (!closing_.load() && !headers_.empty() && (headers_[next].dwFlags & WHDR_DONE)) {
            WAVEHDR& h = headers_[next];
            {
                std::lock_guard<std::mutex> guard(mutex_);
                // Bytes already read go first, then the oldest ones over the limit (lost).
                if (head_ > 0 && (head_ >= store_.size() / 2 || store_.size() + h.dwBytesRecorded > limit_)) {
                    store_.erase(store_.begin(), store_.begin() + static_cast<std::ptrdiff_t>(head_));
                    head_ = 0;
                }
                if (store_.size() + h.dwBytesRecorded > limit_) {
                    const std::size_t excess = (store_.size() + h.dwBytesRecorded - limit_ + block_ - 1) / block_ * block_;
                    const std::size_t gone = std::min(excess, store_.size());
                    store_.erase(store_.begin(), store_.begin() + static_cast<std::ptrdiff_t>(gone));
                    lost_ += gone;
                }
                store_.insert(store_.end(), memory_[next].begin(), memory_[next].begin() + h.dwBytesRecorded);
            }
            if (h.dwBytesRecorded > 0) soundAt_ = GetTickCount64();
            arrived_.notify_all();
            h.dwFlags &= ~WHDR_DONE;
            h.dwBytesRecorded = 0;
            PumpRequeuing();
            const MMRESULT requeued = waveInAddBuffer(wave_, &h, sizeof(h));
            if (requeued != MMSYSERR_NOERROR) {
                failure_ = requeued;
                failed_ = true;
                return;
            }
            next = (next + 1) % headers_.size();
        }
    }
}

std::chrono::milliseconds TWaveInReader::Quiet() const
{
    return std::chrono::milliseconds(GetTickCount64() - soundAt_.load());
}

std::size_t TWaveInReader::Read(BYTE* out, std::size_t bytes, const std::atomic<bool>& stop,
                                std::chrono::milliseconds patience, std::chrono::milliseconds quietLimit)
{
    bytes = bytes / block_ * block_;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    std::unique_lock<std::mutex> guard(mutex_);
    while (store_.size() - head_ < bytes && !stop.load() && !failed_.load() && open_.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline || Quiet() >= quietLimit) {
            break;
        }
        // Bounded, so that a raised stop is seen even without a wake.
        arrived_.wait_for(guard, std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(50)));
    }
    const std::size_t n = std::min(bytes, (store_.size() - head_) / block_ * block_);
    if (n > 0) {
        std::memcpy(out, store_.data() + head_, n);
        head_ += n;
    }
    return n;
}

void TWaveInReader::Skip(std::size_t bytes)
{
    std::lock_guard<std::mutex> guard(mutex_);
    head_ += std::min(bytes / block_ * block_, store_.size() - head_);
}

std::size_t TWaveInReader::Available()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return store_.size() - head_;
}

std::size_t TWaveInReader::TakeLost()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return std::exchange(lost_, 0);
}

void TWaveInReader::Wake()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
    }
    arrived_.notify_all();
}

}  // namespace standins
