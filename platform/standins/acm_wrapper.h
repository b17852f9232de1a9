// The ACM Wrapper stand-in under the stock class id: Wine's wrapper refuses PCM in and has no
// IAMStreamConfig. Ours takes 8- or 16-bit PCM of one or two channels at any usual rate and gives PCM
// in the format set on its output pin through IAMStreamConfig (the input's format until one is set),
// changing the channels, the sample size and the rate (linear interpolation) as needed.
#pragma once

namespace standins {

constexpr wchar_t kAcmWrapperName[] = L"ACM Wrapper";

}  // namespace standins
