// The AVI multiplexer stand-in under the stock class id: its output at pin 0 (a byte stream written
// through the IStream of the pin it is connected to), its first input at pin 1 and a new free input
// after each connection. It takes video of any subtype, interleaved DV as one stream, and PCM and
// MPEG sound; it interleaves as IConfigInterleaving says, follows IConfigAviMux's master stream and
// legacy index choice, and writes OpenDML files (see avi_writer.h) whose header gets the true counts
// when the filter stops. A picture stream whose type states its frame time keeps each picture at its
// time: where its stamps step over pictures the source lost, an empty frame takes each one's place.
// While it records, the file is brought up to date as soon as each stream's first frames come with
// their rate (the type's, else what the frames' size or times show), then at intervals that grow to
// a second. The first write that fails (a short one included) is told once per file through
// EC_ERRORABORT with its reason.
#pragma once

namespace standins {

inline constexpr wchar_t kAviMuxOutputPin[] = L"AVI Out";
// Inputs are named "Input 01", "Input 02"... in the order they were made.
inline constexpr wchar_t kAviMuxInputPrefix[] = L"Input ";

}  // namespace standins
