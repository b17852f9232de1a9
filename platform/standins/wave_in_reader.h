// Recording from one of the system's sound inputs through waveIn (which Wine serves from PulseAudio,
// PipeWire or ALSA): the PCM formats an input accepts, and a reader that keeps buffers queued on a
// thread of its own and hands their bytes on in order.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace standins {

// One PCM layout an input records in.
struct TWaveLayout {
    DWORD Rate = 0;
    WORD Channels = 0;
    WORD Bits = 0;
    // Wine opens it only through its converter (WAVE_MAPPED), not on the input itself.
    bool Mapped = false;

    WORD BlockAlign() const { return static_cast<WORD>(Channels * Bits / 8); }
    WAVEFORMATEX Format() const;
};

// The PCM layouts input Device records in, best first (16-bit stereo at 44100 Hz leads when it is
// there), asked of the system once per process and input. Empty when the input is not there.
std::vector<TWaveLayout> WaveInLayouts(UINT Device);

// Records from one input while it is open. Open and Close belong to one thread (the pin's), Read,
// Skip and TakeLost to the streaming thread; the reader's own thread moves filled buffers into its
// store, which keeps a few seconds: a stream that stalls longer loses the oldest sound, and is told
// how much through TakeLost.
class TWaveInReader {
public:
    TWaveInReader() = default;
    // A derived reader closes itself in its own destructor (the pump calls PumpRequeuing).
    virtual ~TWaveInReader();
    TWaveInReader(const TWaveInReader&) = delete;
    TWaveInReader& operator=(const TWaveInReader&) = delete;

    // Opens input Device in Layout with buffers of BufferBytes each and starts recording; the
    // waveIn error (MMSYSERR_*, WAVERR_*) when it cannot.
    MMRESULT Open(UINT Device, const TWaveLayout& Layout, DWORD BufferBytes);
    // Stops recording and gives every buffer back; nothing is read after it. False when the system
    // would not take the buffers or the device back (its handle is then lost).
    bool Close();
    bool IsOpen() const { return wave_ != nullptr; }

    // Copies up to Bytes recorded bytes (whole blocks) to Out, waiting for them at most Patience,
    // while Stop is not raised, the input has not failed and it has not been quiet for QuietLimit;
    // answers how many it copied.
    std::size_t Read(BYTE* Out, std::size_t Bytes, const std::atomic<bool>& Stop, std::chrono::milliseconds Patience,
                     std::chrono::milliseconds QuietLimit);
    // Passes over the next Bytes recorded bytes (whole blocks; at most what is there).
    void Skip(std::size_t Bytes);
    std::size_t Available();
    // The bytes the store let go unread since the last call (a reader that fell seconds behind).
    std::size_t TakeLost();
    bool Failed() const { return failed_.load(); }
    // How long the open input has given no sound (since it was opened, when it never gave any). An
    // input whose sound server went away gives none and reports nothing.
    std::chrono::milliseconds Quiet() const;
    // Why the input failed: the waveIn error of the buffer it could not queue again.
    MMRESULT Failure() const { return failure_.load(); }
    // Wakes a Read waiting for bytes to look at its stop flag again.
    void Wake();

protected:
    // Called on the pump's thread after it saw no close coming and before it queues a filled
    // buffer again: the moment a close can slip in between.
    virtual void PumpRequeuing() {}

private:
    void Pump();
    void PumpBuffers();

    HWAVEIN wave_ = nullptr;
    HANDLE done_ = nullptr;  // signalled by the system as each buffer fills
    WORD block_ = 1;
    std::size_t limit_ = 0;  // bytes the store keeps at most
    std::vector<std::vector<BYTE>> memory_;
    std::vector<WAVEHDR> headers_;
    std::thread pump_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> failed_{false};
    std::atomic<MMRESULT> failure_{MMSYSERR_NOERROR};
    std::atomic<bool> open_{false};  // Read's view of the owner's Open and Close
    std::atomic<ULONGLONG> soundAt_{0};  // the tick of the last buffer that held sound

    // The recorded bytes not read yet: a queue over one vector, read from head_; the bytes let go
    // unread (mutex_).
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<BYTE> store_;
    std::size_t head_ = 0;
    std::size_t lost_ = 0;
};

}  // namespace standins
