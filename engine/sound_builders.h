// The recording branches of sound alone: PCM in a WAV file, and MP3 in a WAVE-framed file. Both
// run the preview's sound through the ACM wrapper and the capture stamper into the WAVE writer,
// whose header is completed at stop, and the file writer. The builders are the data module's
// BuildWavGraph and BuildMp3Graph; this module also names the MP3 link's media type.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace engine {

// The MPEG-1 audio payload's wave-format subtype, {00000050-0000-0010-8000-00AA00389B71}: the type
// first asked of the MP3 encoder's output (major type audio, every other field zero).
extern const GUID kMpegAudioPayloadSubtype;
AM_MEDIA_TYPE Mp3LinkType();

}  // namespace engine
