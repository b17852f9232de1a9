// The WM ASF Writer stand-in under the stock writer's class id: a file sink (IFileSinkFilter) whose
// input pins are rebuilt from the Windows Media profile it is configured with (IConfigAsfWriter):
// one sound pin (16-bit PCM) and one video pin (RGB24 or YUY2) at most, in the profile's stream
// order. It codes the video with libavcodec's Windows Media video coder the profile names (WMV1,
// WMV2 or MP43) at the profile's size and frame rate, and the sound as WMA 2 at the profile's rate and
// channels, both at the profile's bit rates (asf_conversion.h), and writes an ASF file by libavformat;
// each run writes a whole file from the start, finished when the graph stops. While it runs, the
// header's file size, packet count and length follow the whole packets that reached the file, so
// that a file cut off (a killed program) tells the length it holds.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wmsdkidl.h>

#include "dshow/asf_writer_config.h"

namespace standins {

inline constexpr char kAsfWriterName[] = "WM ASF Writer";
inline constexpr wchar_t kAsfAudioPin[] = L"Audio Input 01";
inline constexpr wchar_t kAsfVideoPin[] = L"Video Input 01";

}  // namespace standins

