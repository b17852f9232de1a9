// Filter components: TFilter, a stock filter named by a stored device moniker, and TSampleGrabber,
// the system's sample grabber with a fixed accepted media type and a buffer event. Both join a
// TFilterGraph through their FilterGraph property.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <qedit.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/objects.h"
#include "dshow/ds_devices.h"
#include "dshow/ds_graph.h"

namespace dshow {

using Microsoft::WRL::ComPtr;

// The system's sample grabber {C1F400A0-3F08-11D3-9F0B-006008039E37} (qedit.h names its
// interfaces but not its class).
extern const CLSID CLSID_SampleGrabberFilter;

class TFilter : public classlib::TComponent, public IFilter {
public:
    CLASSLIB_CLASS_NAME(TFilter)
    explicit TFilter(classlib::TComponent* AOwner);
    ~TFilter() override;

    TBaseFilter* BaseFilter() const { return baseFilter_.get(); }
    TFilterGraph* FilterGraph() const { return graph_; }
    void SetFilterGraph(TFilterGraph* Value);

    // The component's own interfaces (none), then the wrapped filter's.
    HRESULT QueryInterface(REFIID Iid, void** Object);
    template <typename I>
    ComPtr<I> As(REFIID Iid) {
        ComPtr<I> result;
        QueryInterface(Iid, reinterpret_cast<void**>(result.GetAddressOf()));
        return result;
    }

    ComPtr<IBaseFilter> GetFilter() override { return filter_; }
    // Stands for a filter that someone else put into the graph (a capture plug-in's) without joining
    // the graph itself; nullptr lets it go.
    void HoldFilter(ComPtr<IBaseFilter> Filter) { filter_ = std::move(Filter); }
    std::wstring GetName() override { return Name(); }
    void NotifyFilter(TFilterNotify Operation, int Param = 0) override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

private:
    std::unique_ptr<TBaseFilter> baseFilter_;
    ComPtr<IBaseFilter> filter_;
    TFilterGraph* graph_ = nullptr;
};

// Fired on the graph's streaming thread, one call at a time; handlers must not touch windows.
using TOnBuffer = std::function<void(classlib::TObject* Sender, double SampleTime, BYTE* Buffer, long BufferLen)>;

class TSampleGrabber : public classlib::TComponent, public IFilter {
public:
    CLASSLIB_CLASS_NAME(TSampleGrabber)
    // Raises EAssertionFailed "The SampleGrabber Filter is not available on this system." when
    // the system has no sample grabber.
    explicit TSampleGrabber(classlib::TComponent* AOwner);
    ~TSampleGrabber() override;

    TFilterGraph* FilterGraph() const { return graph_; }
    void SetFilterGraph(TFilterGraph* Value);
    TMediaType* MediaType() const { return mediaType_.get(); }
    // Applies MediaType to the grabber: stops it, disconnects its input and sets the type.
    void UpdateMediaType();
    IPin* InputPin() const { return inputPin_.Get(); }
    IPin* OutputPin() const { return outputPin_.Get(); }

    HRESULT QueryInterface(REFIID Iid, void** Object);
    template <typename I>
    ComPtr<I> As(REFIID Iid) {
        ComPtr<I> result;
        QueryInterface(Iid, reinterpret_cast<void**>(result.GetAddressOf()));
        return result;
    }

    ComPtr<IBaseFilter> GetFilter() override { return filter_; }
    std::wstring GetName() override { return Name(); }
    void NotifyFilter(TFilterNotify Operation, int Param = 0) override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

    // Set before the graph runs; read on the streaming thread.
    TOnBuffer OnBuffer;

private:
    class TCallback;
    void BufferCB(double SampleTime, BYTE* Buffer, long BufferLen);

    ComPtr<IBaseFilter> filter_;
    TFilterGraph* graph_ = nullptr;
    std::unique_ptr<TMediaType> mediaType_;
    CRITICAL_SECTION lock_;
    ComPtr<ISampleGrabber> grabber_;
    ComPtr<IPin> inputPin_;
    ComPtr<IPin> outputPin_;
    std::unique_ptr<TCallback> callback_;
};

}  // namespace dshow
