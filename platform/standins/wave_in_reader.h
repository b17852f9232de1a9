// Recording from one of the system's sound inputs through waveIn (which Wine serves from PulseAudio,
// PipeWire or ALSA): the PCM formats an input accepts, and a reader that keeps buffers queued on a
// thread of its own and hands their bytes on in order.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
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

// Records from one input while it is open. Open and Close belong to one thread (the pin's), Read
// and Drop to the streaming thread; the reader's own thread moves filled buffers into its store.
class TWaveInReader {
public:
    TWaveInReader() = default;
    ~TWaveInReader();
    TWaveInReader(const TWaveInReader&) = delete;
    TWaveInReader& operator=(const TWaveInReader&) = delete;

    // Opens input Device in Layout with buffers of BufferBytes each and starts recording; the
    // waveIn error (MMSYSERR_*, WAVERR_*) when it cannot.
    MMRESULT Open(UINT Device, const TWaveLayout& Layout, DWORD BufferBytes);
    // Stops recording and gives every buffer back; nothing is read after it.
    void Close();
    bool IsOpen() const { return wave_ != nullptr; }

    // Copies the next Bytes recorded bytes to Out, waiting for them while Stop is not raised. False
    // when Stop was raised or the input failed (a buffer could not be queued again).
    bool Read(BYTE* Out, std::size_t Bytes, const std::atomic<bool>& Stop);
    // Forgets what was recorded and not read but the last Keep bytes (whole blocks).
    void Drop(std::size_t Keep);
    std::size_t Available();
    bool Failed() const { return failed_.load(); }
    // Wakes a Read waiting for bytes to look at its stop flag again.
    void Wake();

private:
    void Pump();
    void PumpBuffers();

    HWAVEIN wave_ = nullptr;
    HANDLE done_ = nullptr;  // signalled by the system as each buffer fills
    WORD block_ = 1;
    std::vector<std::vector<BYTE>> memory_;
    std::vector<WAVEHDR> headers_;
    std::thread pump_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> open_{false};  // Read's view of the owner's Open and Close

    // The recorded bytes not read yet: a queue over one vector, read from head_ (mutex_).
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<BYTE> store_;
    std::size_t head_ = 0;
};

}  // namespace standins
