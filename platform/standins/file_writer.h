// The File writer stand-in under the stock class id: IFileSinkFilter2 (file name, current file,
// overwrite mode) and one input pin that takes any byte stream. A sample goes to the byte offset its
// start time gives (after the last byte written when it carries none); the pin's IStream serves the
// AVI multiplexer and the WAVE writer, which write their headers when they stop, after the writer
// itself has stopped: the file therefore stays open until the filter leaves its graph, gets another
// name, loses its connection or starts again. While it runs the file is shared for reading only, so
// that no other writer can write into the recording (a second one is refused with
// ERROR_SHARING_VIOLATION; a test setting has it shared with nobody, reading included); once
// stopped it is shared for writing and deleting too, so that its owner can patch or delete the
// finished file. A write that moves fewer bytes than asked for fails as a full disk
// (ERROR_DISK_FULL). A failed write of a sample is reported once per run through EC_ERRORABORT; a
// write through the stream answers its failure to the caller, who reports it. What was written
// stays in the file. Without the overwrite mode an existing file is written over in place and
// keeps its length.
#pragma once

namespace standins {

inline constexpr wchar_t kFileWriterInputPin[] = L"in";

}  // namespace standins
