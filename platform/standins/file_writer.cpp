#include "platform/standins/file_writer.h"


#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "dshow/ds_helpers.h"
#include "filters/base_io_pins.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

// How long the finished file of a run is waited for when another program holds it alone.
constexpr ULONGLONG kReopenPatienceMs = 2000;

class TFileWriter;

class TFileWriterInput : public filters::TBCBaseInputPin {
public:
    TFileWriterInput(TFileWriter* writer, HRESULT& hr);
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override { return mt != nullptr ? S_OK : E_POINTER; }
    HRESULT BreakConnect() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // Stopping without an allocator (one that was never named here) is no failure.
    HRESULT Inactive() override { return Allocator() != nullptr ? TBCBaseInputPin::Inactive() : TBCBasePin::Inactive(); }

private:
    struct StreamItf : IStream {
        explicit StreamItf(TFileWriterInput& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override;
        HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override;
        HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
        HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
        HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
        {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
        {
            return STG_E_INVALIDFUNCTION;
        }
        HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
        {
            return STG_E_INVALIDFUNCTION;
        }
        HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
        HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
        // A read or write at the seek pointer, which moves on by what was transferred.
        template <typename Op>
        HRESULT Transfer(ULONG* done, Op&& op);
        TFileWriterInput& o;
    };

    TFileWriter* writer_;
    StreamItf streamItf_{*this};
};

class TFileWriter : public filters::TBCBaseFilter {
public:
    TFileWriter(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller);
    ~TFileWriter() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? input_.get() : nullptr; }
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    // The file, opened afresh (truncated in the overwrite mode) for a new run.
    HRESULT OpenFile();
    void CloseFile();
    // Writes at an offset (opening the file when it is not open); written receives what reached it.
    // A short write is a failed one. Report: the failure is the writer's own to tell (a sample it
    // received); a write through its stream answers the failure to the caller, who tells it.
    HRESULT WriteAt(std::uint64_t offset, const void* data, ULONG size, ULONG* written, bool report);
    HRESULT ReadAt(std::uint64_t offset, void* data, ULONG size, ULONG* read);
    HRESULT FileSize(std::uint64_t& size);
    HRESULT SetFileSize(std::uint64_t size);
    std::uint64_t AppendOffset();
    std::wstring FileName();

    // The IStream seek pointer (the stream's users are serialised by the file lock).
    std::uint64_t StreamPosition = 0;
    std::mutex FileLock;

private:
    HRESULT EnsureOpenLocked();
    // forRun: created (or emptied) as the mode says and shared for reading only, so that no other
    // writer (another copy of the program told to write over it) can write into the recording.
    // Otherwise the file of this run opened again as it is, shared for writing and deleting too:
    // once stopped, the owner may patch or delete the finished recording while the writers
    // upstream still complete its header.
    HRESULT OpenLocked(bool forRun);
    // The system's write at the file pointer, or the test prefix's full disk (see recording_settings.h).
    bool WriteSome(std::uint64_t offset, const void* data, ULONG size, DWORD& written);
    // Moves the file pointer only when it is elsewhere: under Wine a write at an explicit offset
    // (OVERLAPPED) costs a server round trip each time, a plain sequential write does not.
    bool MoveTo(std::uint64_t offset);
    void CloseLocked();
    void Report(HRESULT hr);

    struct SinkItf : IFileSinkFilter2 {
        explicit SinkItf(TFileWriter& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE SetMode(DWORD flags) override;
        HRESULT STDMETHODCALLTYPE GetMode(DWORD* flags) override;
        TFileWriter& o;
    };
    struct FlagsItf : IAMFilterMiscFlags {
        explicit FlagsItf(TFileWriter& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        // A renderer: the graph waits for its end of stream before it reports completion.
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
        TFileWriter& o;
    };

    SinkItf sinkItf_{*this};
    FlagsItf flagsItf_{*this};
    std::unique_ptr<TFileWriterInput> input_;

    AM_MEDIA_TYPE type_{};  // given with the name (filter lock)

    // The name, the mode and the open file (FileLock: streaming threads open the file too).
    std::wstring name_;
    DWORD mode_ = 0;
    static constexpr std::uint64_t kUnknownPointer = ~0ull;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t filePointer_ = kUnknownPointer;
    std::uint64_t end_ = 0;  // just past the last byte written in this run
    bool runOpened_ = false;  // the file of this name was opened for a run: never empty it again
    std::optional<std::uint64_t> limit_;
    bool shortWrites_ = false;
    bool reported_ = false;
    TTestKill testKill_;
};

// Filter.

TFileWriter::TFileWriter(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
    : TBCBaseFilter(entry, controller)
{
    HRESULT hr = S_OK;
    input_ = std::make_unique<TFileWriterInput>(this, hr);
}

TFileWriter::~TFileWriter()
{
    CloseFile();
    dshow::FreeMediaType(type_);
}

HRESULT TFileWriter::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IFileSinkFilter || iid == IID_IFileSinkFilter2) {
        return GetInterface(&sinkItf_, obj);
    }
    if (iid == IID_IAMFilterMiscFlags) {
        return GetInterface(&flagsItf_, obj);
    }
    return TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TFileWriter::Pause()
{
    filters::TBCAutoLock lock(*Lock());
    if (IsStopped() && input_->IsConnected()) {
        HRESULT hr = OpenFile();
        if (FAILED(hr)) {
            return hr;  // a file that cannot be opened stops the start, with the system's reason
        }
    }
    return TBCBaseFilter::Pause();
}

HRESULT TFileWriter::Stop()
{
    filters::TBCAutoLock lock(*Lock());
    const HRESULT hr = TBCBaseFilter::Stop();
    std::lock_guard<std::mutex> file(FileLock);
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseLocked();
        OpenLocked(false);  // a failure shows at the next write, which opens it again
    }
    return hr;
}

HRESULT TFileWriter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    if (graph == nullptr) {
        CloseFile();  // out of the graph: nobody will write to it any more
    }
    return TBCBaseFilter::JoinFilterGraph(graph, name);
}

std::wstring TFileWriter::FileName()
{
    std::lock_guard<std::mutex> lock(FileLock);
    return name_;
}

HRESULT TFileWriter::OpenFile()
{
    std::lock_guard<std::mutex> lock(FileLock);
    return OpenLocked(true);
}

HRESULT TFileWriter::OpenLocked(bool forRun)
{
    CloseLocked();
    if (name_.empty()) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);  // no file name was given
    }
    // A test may have the run's file shared with nobody, as writers of other systems may hold it.
    const bool sharesNothing = forRun && TestRecordingSetting(kTestWriterSharesNothingValue).value_or(0) != 0;
    const DWORD share = sharesNothing ? 0 : forRun ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD disposition = !forRun ? OPEN_EXISTING : (mode_ & AM_FILE_OVERWRITE) != 0 ? CREATE_ALWAYS : OPEN_ALWAYS;
    // Between the run's handle closed at the stop and this one, another program may take the
    // finished file for a moment (a scanner, a thumbnailer, a watcher that opens it alone): the
    // header still to be written must not be lost to it, so the file of this run is waited for.
    const ULONGLONG giveUp = GetTickCount64() + (forRun ? 0 : kReopenPatienceMs);
    for (;;) {
        file_ = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            break;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || GetTickCount64() >= giveUp) {
            return HRESULT_FROM_WIN32(error);
        }
        Sleep(5);
    }
    filePointer_ = 0;
    if (forRun) {
        StreamPosition = 0;
        end_ = 0;
        reported_ = false;
        runOpened_ = true;
        limit_ = TestRecordingSetting(kTestByteLimitValue);
        shortWrites_ = TestRecordingSetting(kTestShortWritesValue).value_or(0) != 0;
        testKill_.Begin();
    }
    return S_OK;
}

HRESULT TFileWriter::EnsureOpenLocked()
{
    return file_ != INVALID_HANDLE_VALUE ? S_OK : OpenLocked(!runOpened_);
}

void TFileWriter::CloseFile()
{
    std::lock_guard<std::mutex> lock(FileLock);
    CloseLocked();
}

void TFileWriter::CloseLocked()
{
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

void TFileWriter::Report(HRESULT hr)
{
    // Once per run: the first failure is the one worth telling.
    if (!reported_) {
        reported_ = true;
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }
}

bool TFileWriter::WriteSome(std::uint64_t offset, const void* data, ULONG size, DWORD& written)
{
    written = 0;
    ULONG allowed = size;
    if (limit_ && offset + size > *limit_) {
        allowed = offset < *limit_ ? static_cast<ULONG>(*limit_ - offset) : 0;
    }
    if (allowed > 0 && !WriteFile(file_, data, allowed, &written, nullptr)) {
        return false;
    }
    // Past the limit the test prefix's disk is full: what fits is written and the rest refused,
    // or, in the short-write mode, the call answers success with the bytes that fit, as Wine's
    // WriteFile first does on a full file system.
    if (allowed < size && (allowed == 0 || !shortWrites_)) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

HRESULT TFileWriter::WriteAt(std::uint64_t offset, const void* data, ULONG size, ULONG* written, bool report)
{
    DWORD done = 0;
    HRESULT hr = EnsureOpenLocked();
    if (SUCCEEDED(hr) && size > 0) {
        if (!MoveTo(offset) || !WriteSome(offset, data, size, done)) {
            hr = HRESULT_FROM_WIN32(GetLastError());
            filePointer_ = kUnknownPointer;
        } else {
            filePointer_ = offset + done;
            if (done < size) {
                hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);  // a short write: the file system took no more
            }
        }
        end_ = std::max(end_, offset + done);
        testKill_.Wrote();
    }
    if (written != nullptr) {
        *written = done;
    }
    if (FAILED(hr) && report) {
        Report(hr);
    }
    return hr;
}

HRESULT TFileWriter::ReadAt(std::uint64_t offset, void* data, ULONG size, ULONG* read)
{
    DWORD n = 0;
    HRESULT hr = EnsureOpenLocked();
    if (SUCCEEDED(hr)) {
        if (!MoveTo(offset) || !ReadFile(file_, data, size, &n, nullptr)) {
            hr = HRESULT_FROM_WIN32(GetLastError());
            filePointer_ = kUnknownPointer;
        } else {
            filePointer_ = offset + n;
        }
    }
    if (read != nullptr) {
        *read = n;
    }
    return FAILED(hr) ? hr : n == size ? S_OK : S_FALSE;
}

bool TFileWriter::MoveTo(std::uint64_t offset)
{
    if (offset == filePointer_) {
        return true;
    }
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN)) {
        filePointer_ = kUnknownPointer;
        return false;
    }
    filePointer_ = offset;
    return true;
}

HRESULT TFileWriter::FileSize(std::uint64_t& size)
{
    HRESULT hr = EnsureOpenLocked();
    LARGE_INTEGER li{};
    if (SUCCEEDED(hr) && !GetFileSizeEx(file_, &li)) {
        hr = HRESULT_FROM_WIN32(GetLastError());
    }
    size = static_cast<std::uint64_t>(li.QuadPart);
    return hr;
}

HRESULT TFileWriter::SetFileSize(std::uint64_t size)
{
    HRESULT hr = EnsureOpenLocked();
    if (FAILED(hr)) {
        return hr;
    }
    if (limit_ && size > *limit_) {
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    }
    const bool set = MoveTo(size) && SetEndOfFile(file_);
    return set ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

std::uint64_t TFileWriter::AppendOffset()
{
    return end_;
}

// IFileSinkFilter2.

HRESULT TFileWriter::SinkItf::SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* mt)
{
    if (name == nullptr) {
        return E_POINTER;
    }
    if (name[0] == L'\0') {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*o.Lock());
    if (!o.IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    {
        std::lock_guard<std::mutex> file(o.FileLock);
        o.CloseLocked();
        o.name_ = name;
        o.runOpened_ = false;
    }
    dshow::FreeMediaType(o.type_);
    if (mt != nullptr) {
        dshow::CopyMediaType(&o.type_, mt);
    }
    return S_OK;
}

HRESULT TFileWriter::SinkItf::GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* mt)
{
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = nullptr;
    filters::TBCAutoLock lock(*o.Lock());
    if (mt != nullptr) {
        filters::InitMediaType(*mt);
        mt->lSampleSize = 0;
        mt->bFixedSizeSamples = FALSE;
        if (o.type_.majortype != GUID_NULL) {
            dshow::CopyMediaType(mt, &o.type_);
        }
    }
    const std::wstring current = o.FileName();
    if (current.empty()) {
        return E_FAIL;  // no file name was given
    }
    return filters::AMGetWideString(current, name);
}

HRESULT TFileWriter::SinkItf::SetMode(DWORD flags)
{
    if ((flags & ~static_cast<DWORD>(AM_FILE_OVERWRITE)) != 0) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> lock(o.FileLock);
    o.mode_ = flags;
    return S_OK;
}

HRESULT TFileWriter::SinkItf::GetMode(DWORD* flags)
{
    if (flags == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(o.FileLock);
    *flags = o.mode_;
    return S_OK;
}

// Input pin.

TFileWriterInput::TFileWriterInput(TFileWriter* writer, HRESULT& hr)
    : TBCBaseInputPin("File writer input", writer, writer->Lock(), hr, kFileWriterInputPin), writer_(writer)
{
}

HRESULT TFileWriterInput::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IStream || iid == IID_ISequentialStream) {
        return GetInterface(static_cast<IStream*>(&streamItf_), obj);
    }
    return TBCBaseInputPin::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TFileWriterInput::BreakConnect()
{
    writer_->CloseFile();
    return TBCBaseInputPin::BreakConnect();
}

HRESULT TFileWriterInput::Receive(IMediaSample* sample)
{
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) {
        return E_POINTER;
    }
    const long length = std::max<long>(sample->GetActualDataLength(), 0);
    REFERENCE_TIME start = 0, stop = 0;
    const bool placed = SUCCEEDED(sample->GetTime(&start, &stop));
    if (placed && start < 0) {
        return E_INVALIDARG;  // no byte offset before the file's start
    }
    std::lock_guard<std::mutex> lock(writer_->FileLock);
    const std::uint64_t offset = placed ? static_cast<std::uint64_t>(start) : writer_->AppendOffset();
    return writer_->WriteAt(offset, data, static_cast<ULONG>(length), nullptr, true);
}

HRESULT TFileWriterInput::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }
    return writer_->NotifyEvent(EC_COMPLETE, S_OK, 0);
}

// The pin's IStream.

template <typename Op>
HRESULT TFileWriterInput::StreamItf::Transfer(ULONG* done, Op&& op)
{
    return ComGuard([&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(o.writer_->FileLock);
        ULONG n = 0;
        const HRESULT hr = op(o.writer_->StreamPosition, &n);
        o.writer_->StreamPosition += n;
        if (done != nullptr) {
            *done = n;
        }
        return hr;
    });
}

HRESULT TFileWriterInput::StreamItf::Read(void* data, ULONG size, ULONG* read)
{
    if (data == nullptr && size > 0) {
        return STG_E_INVALIDPOINTER;
    }
    return Transfer(read, [&](std::uint64_t at, ULONG* n) { return o.writer_->ReadAt(at, data, size, n); });
}

HRESULT TFileWriterInput::StreamItf::Write(const void* data, ULONG size, ULONG* written)
{
    if (data == nullptr && size > 0) {
        return STG_E_INVALIDPOINTER;
    }
    return Transfer(written, [&](std::uint64_t at, ULONG* n) { return o.writer_->WriteAt(at, data, size, n, false); });
}

HRESULT TFileWriterInput::StreamItf::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position)
{
    return ComGuard([&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(o.writer_->FileLock);
        std::int64_t base = 0;
        if (origin == STREAM_SEEK_CUR) {
            base = static_cast<std::int64_t>(o.writer_->StreamPosition);
        } else if (origin == STREAM_SEEK_END) {
            std::uint64_t size = 0;
            HRESULT hr = o.writer_->FileSize(size);
            if (FAILED(hr)) {
                return hr;
            }
            base = static_cast<std::int64_t>(size);
        } else if (origin != STREAM_SEEK_SET) {
            return STG_E_INVALIDFUNCTION;
        }
        if (base + move.QuadPart < 0) {
            return STG_E_INVALIDFUNCTION;
        }
        o.writer_->StreamPosition = static_cast<std::uint64_t>(base + move.QuadPart);
        if (position != nullptr) {
            position->QuadPart = o.writer_->StreamPosition;
        }
        return S_OK;
    });
}

HRESULT TFileWriterInput::StreamItf::SetSize(ULARGE_INTEGER size)
{
    return ComGuard([&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(o.writer_->FileLock);
        return o.writer_->SetFileSize(size.QuadPart);
    });
}

HRESULT TFileWriterInput::StreamItf::Stat(STATSTG* stat, DWORD flags)
{
    if (stat == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    return ComGuard([&]() -> HRESULT {
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        if ((flags & STATFLAG_NONAME) == 0) {
            HRESULT hr = filters::AMGetWideString(o.writer_->FileName(), &stat->pwcsName);
            if (FAILED(hr)) {
                return hr;
            }
        }
        std::lock_guard<std::mutex> lock(o.writer_->FileLock);
        std::uint64_t size = 0;
        HRESULT hr = o.writer_->FileSize(size);
        stat->cbSize.QuadPart = size;
        if (FAILED(hr)) {
            CoTaskMemFree(stat->pwcsName);
            stat->pwcsName = nullptr;
        }
        return hr;
    });
}

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "File writer";
    entry.FilterClsid = CLSID_FileWriter;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self = filters::Templates().GetFactoryFromClassID(CLSID_FileWriter);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TFileWriter(*self, controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
