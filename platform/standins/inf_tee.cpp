#include "platform/standins/inf_tee.h"

#include <uuids.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "dshow/ds_helpers.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::TBCAutoLock;

namespace standins {

namespace {

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Infinite Pin Tee Filter";
    entry.FilterClsid = CLSID_InfTee;
    entry.Category = CLSID_LegacyAmFilterCategory;
    // Named by moniker or created by class id only: intelligent connection must never pick it.
    entry.Merit = MERIT_DO_NOT_USE;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self = filters::Templates().GetFactoryFromClassID(CLSID_InfTee);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TInfTee(*self, controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace

// Filter.

TInfTee::TInfTee(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller)
    : filters::TBCBaseFilter(factory, controller)
{
    HRESULT hr = S_OK;
    input_ = std::make_unique<TInfTeeInputPin>(this, hr);
    auto first = std::make_unique<TInfTeeOutputPin>(this, hr, L"Output" + std::to_wstring(nextNumber_++));
    outputs_.push_back(first.get());
    allOutputs_.push_back(std::move(first));
}

TInfTee::~TInfTee() = default;

int TInfTee::GetPinCount()
{
    std::lock_guard<std::mutex> lock(listLock_);
    return 1 + static_cast<int>(outputs_.size());
}

filters::TBCBasePin* TInfTee::GetPin(int n)
{
    if (n == 0) {
        return input_.get();
    }
    std::lock_guard<std::mutex> lock(listLock_);
    if (n < 0 || n > static_cast<int>(outputs_.size())) {
        return nullptr;
    }
    return outputs_[static_cast<size_t>(n - 1)];
}

std::vector<TInfTeeOutputPin*> TInfTee::ConnectedOutputs()
{
    std::vector<TInfTeeOutputPin*> result;
    std::lock_guard<std::mutex> lock(listLock_);
    result.reserve(outputs_.size());
    for (TInfTeeOutputPin* pin : outputs_) {
        if (pin->IsConnected()) {
            result.push_back(pin);
        }
    }
    return result;
}

void TInfTee::OutputConnected(TInfTeeOutputPin* connected)
{
    std::lock_guard<std::mutex> lock(listLock_);
    // A pin taken out at its disconnection and connected again (the graph's reconnection of an
    // in-place filter's input) is listed again, in its place, instead of feeding nothing.
    auto spare = std::find(spare_.begin(), spare_.end(), connected);
    if (spare != spare_.end()) {
        spare_.erase(spare);
        outputs_.push_back(connected);
        auto order = [this](TInfTeeOutputPin* p) {
            return std::find_if(allOutputs_.begin(), allOutputs_.end(), [p](const auto& o) { return o.get() == p; }) -
                   allOutputs_.begin();
        };
        std::sort(outputs_.begin(), outputs_.end(), [&](TInfTeeOutputPin* a, TInfTeeOutputPin* b) { return order(a) < order(b); });
        ++pinVersion_;
    }
    for (TInfTeeOutputPin* pin : outputs_) {
        if (!pin->IsConnected()) {
            return;  // a free output is still there
        }
    }
    if (!spare_.empty()) {
        outputs_.push_back(spare_.back());
        spare_.pop_back();
    } else {
        HRESULT hr = S_OK;
        auto pin = std::make_unique<TInfTeeOutputPin>(this, hr, L"Output" + std::to_wstring(nextNumber_++));
        outputs_.push_back(pin.get());
        allOutputs_.push_back(std::move(pin));
    }
    ++pinVersion_;
}

void TInfTee::OutputDisconnected(TInfTeeOutputPin* pin)
{
    std::lock_guard<std::mutex> lock(listLock_);
    // The pin is still marked connected while it breaks the connection: count it as free.
    int free = 0;
    for (TInfTeeOutputPin* p : outputs_) {
        if (p == pin || !p->IsConnected()) {
            ++free;
        }
    }
    auto at = std::find(outputs_.begin(), outputs_.end(), pin);
    if (free < 2 || at == outputs_.end()) {
        return;
    }
    outputs_.erase(at);
    spare_.push_back(pin);
    ++pinVersion_;
}

// Input pin.

TInfTeeInputPin::TInfTeeInputPin(TInfTee* tee, HRESULT& hr)
    : filters::TBCBaseInputPin("Infinite tee input", tee, tee->Lock(), hr, L"Input"), tee_(tee)
{
}

HRESULT TInfTeeInputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    // Any type will do, as long as every branch already connected can take it.
    for (TInfTeeOutputPin* out : tee_->ConnectedOutputs()) {
        IPin* peer = out->GetConnected();
        if (peer != nullptr && peer->QueryAccept(mediaType) != S_OK) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
    }
    return S_OK;
}

HRESULT TInfTeeInputPin::Receive(IMediaSample* sample)
{
    TBCAutoLock lock(receiveLock_);
    HRESULT hr = filters::TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    const std::vector<TInfTeeOutputPin*> outputs = tee_->ConnectedOutputs();
    // One failing branch (a renderer gone wrong) must not starve the others: the sample is
    // refused upstream only when no branch took it.
    size_t failed = 0;
    HRESULT lastFailure = S_OK;
    for (TInfTeeOutputPin* out : outputs) {
        HRESULT delivered = out->QueueSample(sample);
        if (FAILED(delivered)) {
            ++failed;
            lastFailure = delivered;
        }
    }
    return !outputs.empty() && failed == outputs.size() ? lastFailure : S_OK;
}

HRESULT TInfTeeInputPin::ReceiveCanBlock()
{
    for (TInfTeeOutputPin* out : tee_->ConnectedOutputs()) {
        if (out->ChoosePath() == TInfTeeOutputPin::TPath::DirectMayWait) {
            return S_OK;
        }
    }
    return S_FALSE;  // queueing never waits
}

HRESULT TInfTeeInputPin::EndOfStream()
{
    TBCAutoLock lock(receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }
    for (TInfTeeOutputPin* out : tee_->ConnectedOutputs()) {
        out->QueueEndOfStream();
    }
    return S_OK;
}

HRESULT TInfTeeInputPin::BeginFlush()
{
    TBCAutoLock lock(*Lock());
    HRESULT hr = filters::TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) {
        return hr;
    }
    // Downstream first lets a branch blocked in Receive go, so our streaming thread returns.
    for (TInfTeeOutputPin* out : tee_->ConnectedOutputs()) {
        out->BeginFlushQueue();
    }
    return S_OK;
}

HRESULT TInfTeeInputPin::EndFlush()
{
    TBCAutoLock lock(*Lock());
    for (TInfTeeOutputPin* out : tee_->ConnectedOutputs()) {
        out->EndFlushQueue();
    }
    return filters::TBCBaseInputPin::EndFlush();
}

HRESULT TInfTeeInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    filters::TBCBaseInputPin::NewSegment(tStart, tStop, rate);
    for (TInfTeeOutputPin* out : tee_->ConnectedOutputs()) {
        out->QueueNewSegment(tStart, tStop, rate);
    }
    return S_OK;
}

// Output pin.

TInfTeeOutputPin::TInfTeeOutputPin(TInfTee* tee, HRESULT& hr, std::wstring name)
    : filters::TBCBaseOutputPin("Infinite tee output", tee, tee->Lock(), hr, std::move(name)), tee_(tee)
{
}

TInfTeeOutputPin::~TInfTeeOutputPin()
{
    StopWorker();
}

HRESULT TInfTeeOutputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    TInfTeeInputPin* input = tee_->Input();
    if (!input->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return filters::TypesEqual(*mediaType, input->CurrentMediaType()) ? S_OK : S_FALSE;
}

HRESULT TInfTeeOutputPin::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    TInfTeeInputPin* input = tee_->Input();
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0 || !input->IsConnected()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    dshow::FreeMediaType(*mediaType);
    dshow::CopyMediaType(mediaType, &input->CurrentMediaType());
    return S_OK;
}

HRESULT TInfTeeOutputPin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& alloc)
{
    alloc.Reset();
    sharing_ = false;
    IMemAllocator* upstream = tee_->Input()->Allocator();
    if (upstream == nullptr) {
        return VFW_E_NO_ALLOCATOR;
    }
    // The input's own buffers, read-only: every branch sees the same sample.
    if (SUCCEEDED(pin->NotifyAllocator(upstream, TRUE))) {
        alloc = upstream;
        sharing_ = true;
        return S_OK;
    }
    // The peer insists on its own allocator: buffers as large as the input's, filled by copying.
    ALLOCATOR_PROPERTIES wanted{};
    HRESULT hr = upstream->GetProperties(&wanted);
    if (FAILED(hr)) {
        return hr;
    }
    wanted.cBuffers = std::max<long>(wanted.cBuffers, 1);
    wanted.cbAlign = std::max<long>(wanted.cbAlign, 1);
    if (FAILED(pin->GetAllocator(alloc.GetAddressOf())) || !alloc) {
        hr = InitAllocator(alloc);
        if (FAILED(hr)) {
            return hr;
        }
    }
    ALLOCATOR_PROPERTIES actual{};
    hr = alloc->SetProperties(&wanted, &actual);
    if (SUCCEEDED(hr) && actual.cbBuffer < wanted.cbBuffer) {
        hr = VFW_E_SIZENOTSET;
    }
    if (SUCCEEDED(hr)) {
        hr = pin->NotifyAllocator(alloc.Get(), FALSE);
    }
    if (FAILED(hr)) {
        alloc.Reset();
    }
    return hr;
}

HRESULT TInfTeeOutputPin::DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*)
{
    return S_OK;  // DecideAllocator sizes the buffers itself
}

HRESULT TInfTeeOutputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = filters::TBCBaseOutputPin::CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) {
        tee_->OutputConnected(this);
    }
    return hr;
}

HRESULT TInfTeeOutputPin::BreakConnect()
{
    HRESULT hr = filters::TBCBaseOutputPin::BreakConnect();
    sharing_ = false;
    tee_->OutputDisconnected(this);
    return hr;
}

HRESULT TInfTeeOutputPin::Active()
{
    // A shared allocator belongs to the upstream pin, which commits and decommits it.
    HRESULT hr = sharing_ ? S_OK : filters::TBCBaseOutputPin::Active();
    if (FAILED(hr)) {
        return hr;
    }
    StopWorker();
    // A thread switch and its waits per sample are spared where the queue protects nothing.
    direct_ = ChoosePath() != TPath::Queued;
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        queue_.clear();
        quit_ = false;
        flushing_ = false;
        failure_ = S_OK;
        running_ = true;
    }
    if (!direct_) {
        worker_ = std::thread([this] { Worker(); });
    }
    return S_OK;
}

TInfTeeOutputPin::TPath TInfTeeOutputPin::ChoosePath()
{
    IMemInputPin* peer = InputPin();
    // A copy into this branch's own buffers may wait for one: that wait stays on the branch's thread.
    if (!sharing_ || peer == nullptr) {
        return TPath::Queued;
    }
    if (peer->ReceiveCanBlock() == S_FALSE) {
        return TPath::Direct;
    }
    // The only branch has no other to hold back, and upstream waits for it anyway once the
    // shared buffers are all queued.
    const std::vector<TInfTeeOutputPin*> outputs = tee_->ConnectedOutputs();
    return outputs.size() == 1 && outputs.front() == this ? TPath::DirectMayWait : TPath::Queued;
}

HRESULT TInfTeeOutputPin::Inactive()
{
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        quit_ = true;
        queue_.clear();
    }
    queueSignal_.notify_all();
    HRESULT hr = S_OK;
    if (sharing_) {
        SetRunTimeError(false);
    } else {
        hr = filters::TBCBaseOutputPin::Inactive();  // decommitting frees a branch waiting for a buffer
    }
    StopWorker();
    return hr;
}

void TInfTeeOutputPin::StopWorker()
{
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        quit_ = true;
        queue_.clear();
    }
    queueSignal_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
    std::lock_guard<TSlimMutex> lock(queueLock_);
    running_ = false;
}

void TInfTeeOutputPin::Push(TQueued item)
{
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        queue_.push_back(std::move(item));
    }
    queueSignal_.notify_one();
}

HRESULT TInfTeeOutputPin::QueueSample(IMediaSample* sample)
{
    std::unique_lock<TSlimMutex> lock(queueLock_);
    if (!running_ || quit_) {
        return VFW_E_WRONG_STATE;
    }
    if (flushing_) {
        return S_FALSE;
    }
    if (FAILED(failure_)) {
        return failure_;
    }
    if (direct_) {
        lock.unlock();
        const HRESULT hr = DeliverShared(sample);
        NoteFailure(hr);
        return hr;
    }
    TQueued item;
    item.Sample = sample;
    queue_.push_back(std::move(item));
    lock.unlock();
    queueSignal_.notify_one();
    return S_OK;
}

void TInfTeeOutputPin::QueueEndOfStream()
{
    bool direct = false;
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        direct = !running_ || direct_;
    }
    if (direct) {
        DeliverEndOfStream();
        return;
    }
    TQueued item;
    item.Kind = TQueued::qkEndOfStream;
    Push(std::move(item));
}

void TInfTeeOutputPin::QueueNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    bool direct = false;
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        direct = !running_ || direct_;
    }
    if (direct) {
        DeliverNewSegment(tStart, tStop, rate);
        return;
    }
    TQueued item;
    item.Kind = TQueued::qkNewSegment;
    item.Start = tStart;
    item.Stop = tStop;
    item.Rate = rate;
    Push(std::move(item));
}

void TInfTeeOutputPin::BeginFlushQueue()
{
    {
        std::lock_guard<TSlimMutex> lock(queueLock_);
        flushing_ = true;
        queue_.clear();
    }
    // Downstream first lets the branch's thread out of a Receive that waits.
    DeliverBeginFlush();
}

void TInfTeeOutputPin::EndFlushQueue()
{
    DeliverEndFlush();
    std::lock_guard<TSlimMutex> lock(queueLock_);
    flushing_ = false;
    failure_ = S_OK;
}

void TInfTeeOutputPin::Worker()
{
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        TQueued item;
        {
            std::unique_lock<TSlimMutex> lock(queueLock_);
            queueSignal_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) {
                break;
            }
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        // No exception may leave the thread: a failure becomes the branch's result.
        HRESULT hr = filters::ComGuard([&]() -> HRESULT {
            switch (item.Kind) {
            case TQueued::qkSample:
                return DeliverShared(item.Sample.Get());
            case TQueued::qkEndOfStream:
                return DeliverEndOfStream();
            case TQueued::qkNewSegment:
                return DeliverNewSegment(item.Start, item.Stop, item.Rate);
            }
            return S_OK;
        });
        item.Sample.Reset();
        if (item.Kind == TQueued::qkSample) {
            NoteFailure(hr);
        }
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
}

void TInfTeeOutputPin::NoteFailure(HRESULT hr)
{
    if (SUCCEEDED(hr)) {
        return;
    }
    std::lock_guard<TSlimMutex> lock(queueLock_);
    if (!flushing_ && SUCCEEDED(failure_)) {
        failure_ = hr;
    }
}

HRESULT TInfTeeOutputPin::Notify(IBaseFilter*, Quality q)
{
    return tee_->Input()->PassNotify(q);
}

HRESULT TInfTeeOutputPin::DeliverShared(IMediaSample* sample)
{
    if (sharing_) {
        return Deliver(sample);
    }
    ComPtr<IMediaSample> copy;
    HRESULT hr = GetDeliveryBuffer(copy.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) {
        return hr;
    }
    if (!copy) {
        return E_UNEXPECTED;
    }
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    const long length = sample->GetActualDataLength();
    if (FAILED(sample->GetPointer(&from)) || FAILED(copy->GetPointer(&to)) || length < 0 ||
        length > copy->GetSize()) {
        return VFW_E_BUFFER_OVERFLOW;  // never write past the copy's buffer
    }
    if (length > 0) {
        std::memcpy(to, from, static_cast<size_t>(length));
    }
    copy->SetActualDataLength(length);
    REFERENCE_TIME start = 0, stop = 0;
    hr = sample->GetTime(&start, &stop);
    if (hr == S_OK) {
        copy->SetTime(&start, &stop);
    } else if (SUCCEEDED(hr)) {
        copy->SetTime(&start, nullptr);  // no stop time: none is made up
    }
    LONGLONG mediaStart = 0, mediaStop = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) {
        copy->SetMediaTime(&mediaStart, &mediaStop);
    }
    copy->SetSyncPoint(sample->IsSyncPoint() == S_OK);
    copy->SetPreroll(sample->IsPreroll() == S_OK);
    copy->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    if (sample->GetMediaType(&type) == S_OK && type != nullptr) {
        copy->SetMediaType(type);
    }
    dshow::DeleteMediaType(type);
    return Deliver(copy.Get());
}

}  // namespace standins
