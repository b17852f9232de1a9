// Test doubles of the native MPEG recording, registered with the filter mapper for one test and made
// in this process: a decoder of the test MPEG source (so that its preview runs), multiplexers (one
// whose output reaches no file writer, one with a single input, one that writes every packet it
// gets) and MPEG-1 audio encoders (one that takes no sound, one that passes it on); and, for any
// recording with sound, an ACM wrapper that cannot change the sound's format. Each object notes
// what happened to it in a shared log, so that a test can follow the candidate loop.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace recording_b {

// The log of the doubles: "made <name>", "<name> output connected", ... in order.
class DoubleLog {
public:
    void Add(const std::wstring& Line);
    std::vector<std::wstring> Lines();
    void Clear();

private:
    std::mutex mutex_;
    std::vector<std::wstring> lines_;
};
DoubleLog& Log();

// What the writing multiplexer puts in its file: records of a tag ('V' video, 'A' sound), the
// payload's length (32 bits, little-endian) and the payload.
struct MuxRecord {
    char Tag;
    std::vector<std::uint8_t> Payload;
};
// The records of a file; Whole is false when the file ends inside a record.
std::vector<MuxRecord> ReadMuxFile(const std::wstring& Path, bool* Whole);

enum class DoubleKind {
    Decoder,         // MPEG-2 video in, RGB24 pictures out
    MuxNoOutput,     // its output takes no connection
    MuxOneInput,     // video input only
    MuxWriting,      // video and sound inputs, writes records
    EncoderRefusing, // takes no sound in
    EncoderWorking,  // PCM in, MPEG-1 audio out (the same bytes)
    WrapperFixed,    // PCM in, the same PCM out; no stream configuration, so every format set is refused
};
// The stored moniker of a registered double, for a filter component that should make it.
std::wstring DoubleMoniker(DoubleKind Kind);

// The name a double of that kind gets, as listed and as logged.
std::wstring DoubleName(DoubleKind Kind);

// A double's class registered for the search (its server in this process, its pins with the
// mapper) with that merit, until the object goes.
class RegisteredDouble {
public:
    RegisteredDouble(DoubleKind Kind, DWORD Merit);
    ~RegisteredDouble();
    RegisteredDouble(const RegisteredDouble&) = delete;
    RegisteredDouble& operator=(const RegisteredDouble&) = delete;
    const CLSID& Class() const { return class_; }

private:
    class Factory;
    DoubleKind kind_;
    CLSID class_;
    DWORD cookie_ = 0;
    std::unique_ptr<Factory> factory_;
};

}  // namespace recording_b
