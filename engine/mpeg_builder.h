// The recording branch of a device that delivers MPEG itself (formats 3 and 4): the device's own
// video goes, through the capture stamper, into a multiplexer found by the filter mapper for that
// type and giving a byte stream, then into the file writer; with sound, the preview's sound goes
// through the ACM wrapper, the sound stamper and an MPEG-1 audio encoder found the same way into the
// multiplexer's second input. Candidates are tried one after the other until one connects all the
// way. The builder is the data module's BuildMpegNativeGraph, with its searches and steppers.
#pragma once

namespace engine {

class Tdm;

// Whether the filter mapper offers an MPEG-1 audio encoder for the native MPEG recording's sound;
// without one, such a recording holds the picture alone.
bool MpegAudioEncoderAvailable();

// After BuildMpegNativeGraph: true when a sound source was current and no MPEG-1 audio encoder
// took its sound, so that the recording goes on without sound.
bool MpegBranchWithoutSound(const Tdm& Module);

}  // namespace engine
