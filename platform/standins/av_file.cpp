#include "platform/standins/av_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include <evcode.h>
#include <vfwmsgs.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "platform/standins/dv_picture.h"

namespace standins {

namespace {

constexpr int kIoBufferBytes = 64 * 1024;
constexpr AVRational kDirectShowTime{1, 10000000};
constexpr REFERENCE_TIME kCheckpointTime = 2500000;
constexpr ULONGLONG kCheckpointMs = 250;
// The most of the file's start that Begin keeps, and of its last bytes.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::size_t kTailBytes = 64 * 1024;

}  // namespace

TAvFile::~TAvFile() { Release(); }

void TAvFile::Release()
{
    if (context_ != nullptr) {
        context_->pb = nullptr;
        avformat_free_context(context_);
        context_ = nullptr;
    }
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    stream_.Reset();
    lastDts_.clear();
    head_.clear();
    tail_.clear();
    keepHead_ = false;
    end_ = 0;
    base_ = 0;
    offset_ = 0;
}

int TAvFile::WritePacket(void* opaque, std::uint8_t* data, int size)
{
    auto* self = static_cast<TAvFile*>(opaque);
    if (self->keepHead_ && self->head_.size() < kHeadBytes) {
        const std::size_t kept = std::min(kHeadBytes - self->head_.size(), static_cast<std::size_t>(size));
        self->head_.insert(self->head_.end(), data, data + kept);
    }
    ULONG written = 0;
    HRESULT hr = self->stream_->Write(data, static_cast<ULONG>(size), &written);
    self->testKill_.Wrote();
    // The last bytes written in a row are kept (a writer's header may say what they hold).
    std::vector<std::uint8_t>& tail = self->tail_;
    tail.insert(tail.end(), data, data + std::min<ULONG>(written, static_cast<ULONG>(size)));
    if (tail.size() > 2 * kTailBytes) tail.erase(tail.begin(), tail.end() - static_cast<std::ptrdiff_t>(kTailBytes));
    self->end_ += std::min<ULONG>(written, static_cast<ULONG>(size));
    if (SUCCEEDED(hr) && written != static_cast<ULONG>(size)) hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    if (FAILED(hr)) {
        if (SUCCEEDED(self->failure_)) self->failure_ = hr;
        return AVERROR(EIO);
    }
    return size;
}

std::int64_t TAvFile::SeekStream(void* opaque, std::int64_t offset, int whence)
{
    auto* self = static_cast<TAvFile*>(opaque);
    const auto base = static_cast<std::int64_t>(self->base_);
    if ((whence & AVSEEK_SIZE) != 0) {
        STATSTG stat{};
        return SUCCEEDED(self->stream_->Stat(&stat, STATFLAG_NONAME)) ? static_cast<std::int64_t>(stat.cbSize.QuadPart) - base : -1;
    }
    DWORD origin = STREAM_SEEK_SET;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: origin = STREAM_SEEK_SET; break;
    case SEEK_CUR: origin = STREAM_SEEK_CUR; break;
    case SEEK_END: origin = STREAM_SEEK_END; break;
    default: return -1;
    }
    LARGE_INTEGER move;
    move.QuadPart = origin == STREAM_SEEK_SET ? offset + base : offset;
    ULARGE_INTEGER now{};
    if (FAILED(self->stream_->Seek(move, origin, &now))) return -1;
    if (now.QuadPart != self->end_) {
        self->tail_.clear();  // what follows is not written in a row with it
        self->end_ = now.QuadPart;
    }
    return static_cast<std::int64_t>(now.QuadPart) - base;
}

HRESULT TAvFile::Begin(const char* format, IStream* stream,
                       const std::vector<std::function<void(AVCodecParameters&)>>& describe, std::uint64_t at,
                       REFERENCE_TIME offset, REFERENCE_TIME lead)
{
    Release();
    failure_ = S_OK;
    if (stream == nullptr) return E_POINTER;
    QuietCoderLog();
    const AVOutputFormat* writer = av_guess_format(format, nullptr, nullptr);
    if (writer == nullptr || avformat_alloc_output_context2(&context_, writer, nullptr, nullptr) < 0) return E_UNEXPECTED;
    stream_ = stream;
    base_ = end_ = at;
    offset_ = offset;
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(at);
    HRESULT hr = stream_->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        Release();
        return hr;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    io_ = buffer != nullptr ? avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, WritePacket, SeekStream) : nullptr;
    if (io_ == nullptr) {
        av_free(buffer);
        Release();
        return E_OUTOFMEMORY;
    }
    context_->pb = io_;
    context_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (lead >= 0) context_->max_delay = static_cast<int>(lead / 10);  // microseconds
    for (const auto& fill : describe) {
        AVStream* s = avformat_new_stream(context_, nullptr);
        if (s == nullptr) {
            Release();
            return E_OUTOFMEMORY;
        }
        fill(*s->codecpar);
        s->time_base = kDirectShowTime;
    }
    lastDts_.assign(describe.size(), std::numeric_limits<std::int64_t>::min());
    keepHead_ = true;
    if (avformat_write_header(context_, nullptr) < 0) {
        hr = FAILED(failure_) ? failure_ : E_FAIL;
        Release();
        return hr;
    }
    avio_flush(io_);
    keepHead_ = false;
    return failure_;
}

HRESULT TAvFile::FlushOut()
{
    if (context_ == nullptr) return S_OK;
    if (SUCCEEDED(failure_)) avio_flush(io_);
    return failure_;
}

std::uint64_t TAvFile::Position() const
{
    return io_ != nullptr ? base_ + static_cast<std::uint64_t>(std::max<std::int64_t>(avio_tell(io_), 0)) : 0;
}

bool TAvFile::WrittenBytes(std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& bytes) const
{
    const std::uint64_t tailStart = end_ - tail_.size();
    if (offset < tailStart || offset + size > end_) return false;
    const auto from = tail_.begin() + static_cast<std::ptrdiff_t>(offset - tailStart);
    bytes.assign(from, from + static_cast<std::ptrdiff_t>(size));
    return true;
}

HRESULT TAvFile::PatchAt(std::uint64_t offset, const std::vector<std::uint8_t>& bytes)
{
    HRESULT hr = FlushOut();
    if (FAILED(hr) || context_ == nullptr) return hr;
    LARGE_INTEGER none{};
    ULARGE_INTEGER end{};
    hr = stream_->Seek(none, STREAM_SEEK_CUR, &end);
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (SUCCEEDED(hr)) hr = stream_->Seek(to, STREAM_SEEK_SET, nullptr);
    ULONG written = 0;
    if (SUCCEEDED(hr)) hr = stream_->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(hr) && written != bytes.size()) hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    // The writer goes on at the end whatever happened here.
    to.QuadPart = static_cast<LONGLONG>(end.QuadPart);
    const HRESULT back = stream_->Seek(to, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = back;
    if (FAILED(hr) && SUCCEEDED(failure_)) failure_ = hr;
    return failure_;
}

HRESULT TAvFile::Write(int n, const BYTE* data, long length, REFERENCE_TIME start, bool timed, bool key)
{
    if (context_ == nullptr || n < 0 || n >= static_cast<int>(lastDts_.size())) return VFW_E_WRONG_STATE;
    if (FAILED(failure_)) return failure_;
    if (length <= 0) return S_OK;
    AVStream* s = context_->streams[n];
    std::int64_t ts = timed ? av_rescale_q(start + offset_, kDirectShowTime, s->time_base) : lastDts_[n] + 1;
    if (lastDts_[n] != std::numeric_limits<std::int64_t>::min() && ts <= lastDts_[n]) ts = lastDts_[n] + 1;
    if (ts == std::numeric_limits<std::int64_t>::min() + 1) ts = 0;
    lastDts_[n] = ts;
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr || av_new_packet(packet, length) < 0) {
        av_packet_free(&packet);
        return E_OUTOFMEMORY;
    }
    std::memcpy(packet->data, data, static_cast<std::size_t>(length));
    packet->stream_index = n;
    packet->pts = packet->dts = ts;
    if (key) packet->flags |= AV_PKT_FLAG_KEY;
    const int written = av_interleaved_write_frame(context_, packet);
    av_packet_free(&packet);
    if (written < 0 && SUCCEEDED(failure_)) failure_ = E_FAIL;
    return failure_;
}

HRESULT TAvFile::Finish(std::uint64_t* end)
{
    if (context_ == nullptr) return S_OK;
    if (SUCCEEDED(failure_) && av_write_trailer(context_) < 0 && SUCCEEDED(failure_)) failure_ = E_FAIL;
    if (SUCCEEDED(failure_)) avio_flush(io_);
    if (end != nullptr) *end = Position();
    const HRESULT hr = failure_;
    Release();
    return hr;
}

HRESULT TAvFileFilter::Pause()
{
    filters::TBCAutoLock lock(*Lock());
    if (IsStopped()) {
        const HRESULT hr = StartFile();
        if (FAILED(hr)) {
            StartFailed();
            // Wine's graph does not pass this failure on from Run: the event tells it all the same.
            NotifyEvent(EC_ERRORABORT, hr, 0);
            return hr;
        }
    }
    return TBCBaseFilter::Pause();
}

HRESULT TAvFileFilter::Stop()
{
    filters::TBCAutoLock lock(*Lock());
    const HRESULT hr = TBCBaseFilter::Stop();
    FinishFile();
    return hr;
}

HRESULT TAvFileFilter::Write(int stream, const BYTE* data, long length, REFERENCE_TIME start, bool timed, bool key)
{
    std::lock_guard<std::mutex> lock(writeLock_);
    if (!file_.Started()) return VFW_E_WRONG_STATE;
    const auto at = static_cast<std::size_t>(stream);
    HRESULT hr = S_OK;
    int n = stream;
    if (!leadIndex_.empty() && at < leadIndex_.size()) {
        n = leadIndex_[at];
        if (n < 0) {
            hr = EndLeadIn();
            n = stream;
        }
    }
    if (SUCCEEDED(hr)) hr = file_.Write(n, data, length, start, timed, key);
    // The first bytes past the file's start are told at once, then as the file grows and a few times
    // a second.
    const ULONGLONG now = GetTickCount64();
    const std::uint64_t size = file_.Position();
    const bool grown = size > toldBytes_ && size - toldBytes_ >= std::max<std::uint64_t>(toldBytes_ / 32, 1) &&
                       size > startBytes_;
    const bool due = grown || now - checkpointTick_ >= kCheckpointMs ||
                     (timed && at < checkpointTimes_.size() && start - checkpointTimes_[at] >= kCheckpointTime);
    if (SUCCEEDED(hr) && due) {
        checkpointTick_ = now;
        if (timed && at < checkpointTimes_.size()) checkpointTimes_[at] = start;
        toldBytes_ = size;
        hr = Checkpoint(file_);
    }
    return Written(hr);
}

HRESULT TAvFileFilter::EndLeadIn()
{
    // The lead-in's last packets go out with its end; the file of every stream goes on after them.
    std::uint64_t end = 0;
    HRESULT hr = file_.Finish(&end);
    if (SUCCEEDED(hr)) hr = file_.Begin(format_, stream_.Get(), describe_, end, offset_, lead_);
    leadIndex_.clear();
    return hr;
}

void TAvFileFilter::StreamEnded(int stream)
{
    {
        std::lock_guard<std::mutex> lock(writeLock_);
        if (stream < 0 || stream >= static_cast<int>(ended_.size()) || ended_[static_cast<std::size_t>(stream)]) return;
        ended_[static_cast<std::size_t>(stream)] = true;
        for (bool e : ended_)
            if (!e) return;
    }
    AllStreamsEnded();
}

void TAvFileFilter::FinishFile()
{
    std::lock_guard<std::mutex> lock(writeLock_);
    Written(file_.Finish());
    leadIndex_.clear();
    stream_.Reset();
}

HRESULT TAvFileFilter::BeginFile(const char* format, IStream* stream,
                                 const std::vector<std::function<void(AVCodecParameters&)>>& describe,
                                 const std::vector<bool>& leadIn, REFERENCE_TIME offset, REFERENCE_TIME lead)
{
    std::lock_guard<std::mutex> lock(writeLock_);
    format_ = format;
    stream_ = stream;
    describe_ = describe;
    offset_ = offset;
    lead_ = lead;
    leadIndex_.clear();
    std::vector<std::function<void(AVCodecParameters&)>> first;
    if (leadIn.size() == describe.size() && std::find(leadIn.begin(), leadIn.end(), false) != leadIn.end()) {
        for (std::size_t i = 0; i < describe.size(); ++i) {
            leadIndex_.push_back(leadIn[i] ? static_cast<int>(first.size()) : -1);
            if (leadIn[i]) first.push_back(describe[i]);
        }
    }
    // Made just now, the file is written from its header on.
    if (OwnsItsFile) file_.CountWritesForTestKill();
    const HRESULT hr = file_.Begin(format, stream, leadIndex_.empty() ? describe : first, 0, offset, lead);
    if (FAILED(hr)) return hr;
    failureReported_ = false;
    ended_.assign(describe.size(), false);
    checkpointTimes_.assign(describe.size(), 0);
    checkpointTick_ = GetTickCount64();
    startBytes_ = toldBytes_ = file_.Position();
    return S_OK;
}

// The file writer reports only what it received itself: a write through its stream is ours to tell, once.
HRESULT TAvFileFilter::Written(HRESULT hr)
{
    if (FAILED(hr) && !failureReported_) {
        failureReported_ = true;
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }
    return hr;
}

}  // namespace standins
