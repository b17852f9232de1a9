// What the recording builders share: the output file through the capture graph builder, filter
// components joined and own filters added under their names, pins by index from pin lists taken at
// first use and refreshed on demand, and direct links whose failure ends the build. A build that
// fails takes its branch out again, so the caller gets the graph back as it was before.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "dshow/ds_components.h"
#include "dshow/ds_devices.h"

namespace engine {

using Microsoft::WRL::ComPtr;

class Tdm;

// A step of a recording build that did not work; the message says which.
class ERecordingBuildError : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};

class TRecordingBranch {
public:
    explicit TRecordingBranch(Tdm& Module) : module_(Module) {}

    // The capture graph builder's output file of that type: the multiplexer (or writer) goes into
    // the module's MuxFilter and its sink into FileSink, the old ones let go first. Raises when the
    // output cannot be made.
    void SetOutputFile(const GUID& Subtype, const std::wstring& FileName);
    // The component joins the graph; raises when its filter cannot be made.
    ComPtr<IBaseFilter> Join(dshow::TFilter* Component);
    // An own filter enters the graph under its fixed name.
    void Add(IBaseFilter* Filter, const wchar_t* Name);
    // Pin Index of Filter's pin list (enumeration order, taken at first use); raises beyond the list.
    IPin* Pin(IBaseFilter* Filter, int Index);
    IPin* LastPin(IBaseFilter* Filter);
    // Takes Filter's pin list again (pins a connection made appear).
    void Refresh(IBaseFilter* Filter);
    // Connects Output to Input directly, Output's own types first; raises naming What when they do not.
    void Link(IPin* Output, IPin* Input, const wchar_t* What);

private:
    dshow::TPinList& List(IBaseFilter* Filter);

    Tdm& module_;
    std::vector<std::unique_ptr<dshow::TPinList>> lists_;
    std::vector<ComPtr<IBaseFilter>> listed_;
};

// Sets the capture sound format on the ACM wrapper's output while that output is still free (the
// format read from its connected input), so that what follows connects in that format: every
// recording with sound holds the format the window shows for it, or does not start. Raises, naming
// the format, when the wrapper refuses it.
void SetSoundFormat(Tdm& Module);

// The file sink behind Sink empties an existing file when its run opens it (the overwrite mode of
// IFileSinkFilter2), so that a recording written over an older, longer file keeps nothing of it:
// the user has agreed to lose it when the start asked. A sink without the mode (one that always
// writes a new file) is left as it is.
void WriteOver(IUnknown* Sink);

// Whether a filter component's stored filter can be made (an encoder that is not installed cannot).
bool CanMake(dshow::TFilter* Component);

// Runs a build on the stopped graph. Any exception, or a false answer, takes the recording branch
// out again (a DV preview switched to half size comes back at full size) and answers false.
bool RunRecordingBuild(Tdm& Module, const std::function<bool(TRecordingBranch&)>& Build);
// Why the last recording build failed (empty after one that worked), for the user's message.
const std::wstring& LastRecordingBuildError();

}  // namespace engine
