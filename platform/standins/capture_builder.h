// The Capture Graph Builder stand-in under the stock class id: every method goes to Wine's own
// builder (made through qcap.dll's class factory, so that it is not this class again), except
// SetOutputFileName, which Wine does not implement. For AVI it adds the AVI multiplexer and the file
// writer (by their class ids), names the file, connects them and answers both; for ASF it adds
// whatever is registered as the Windows Media ASF writer, names its file and answers it as filter
// and sink. A failure leaves the graph as it was.
#pragma once

namespace standins {

// The names the two filters of an AVI output join the graph under.
inline constexpr wchar_t kOutputMuxName[] = L"Mux";
inline constexpr wchar_t kOutputWriterName[] = L"File Writer";

}  // namespace standins
