// The File writer stand-in under the stock class id: IFileSinkFilter2 (file name, current file,
// overwrite mode) and one input pin that takes any byte stream. A sample goes to the byte offset its
// start time gives (after the last byte written when it carries none); the pin's IStream serves the
// AVI multiplexer and the WAVE writer, which write their headers when they stop, after the writer
// itself has stopped: the file therefore stays open, shared for reading, writing and deleting, until
// the filter leaves its graph, gets another name, loses its connection or starts again. A failed
// write is reported once per run through EC_ERRORABORT; what was written stays in the file.
// Without the overwrite mode an existing file is written over in place and keeps its length.
#pragma once

namespace standins {

inline constexpr wchar_t kFileWriterInputPin[] = L"in";

}  // namespace standins
