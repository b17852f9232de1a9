#include "classlib/streams.h"

#include <algorithm>
#include <cstring>

#include "classlib/exceptions.h"

namespace classlib {

std::int64_t TStream::Size() {
    std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError(L"Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError(L"Stream write error");
}

std::int64_t TStream::CopyFrom(TStream* Source, std::int64_t Count) {
    if (Count == 0) {
        Source->SetPosition(0);
        Count = Source->Size();
    }
    std::int64_t result = Count;
    std::vector<std::uint8_t> buffer(static_cast<size_t>(std::min<std::int64_t>(Count, 61440) + 1));
    while (Count > 0) {
        auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, 61440));
        Source->ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        Count -= n;
    }
    return result;
}

std::int32_t THandleStream::Read(void* Buffer, std::int32_t Count) {
    DWORD done = 0;
    if (Count <= 0 || !ReadFile(handle_, Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
    return static_cast<std::int32_t>(done);
}

std::int32_t THandleStream::Write(const void* Buffer, std::int32_t Count) {
    DWORD done = 0;
    if (Count <= 0 || !WriteFile(handle_, Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
    return static_cast<std::int32_t>(done);
}

std::int64_t THandleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    LARGE_INTEGER move, result;
    move.QuadPart = Offset;
    DWORD method = Origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                   : Origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                      : FILE_END;
    if (!SetFilePointerEx(handle_, move, &result, method)) return -1;
    return result.QuadPart;
}

void THandleStream::SetSize(std::int64_t NewSize) {
    Seek(NewSize, TSeekOrigin::soBeginning);
    if (!SetEndOfFile(handle_)) throw EStreamError(L"Stream write error");
}

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
    if (Count <= 0 || position_ >= Size()) return 0;
    auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, Size() - position_));
    std::memcpy(Buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
    if (Count <= 0) return 0;
    auto end = position_ + Count;
    if (end > Size()) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, Buffer, static_cast<size_t>(Count));
    position_ = end;
    return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    std::int64_t base = Origin == TSeekOrigin::soBeginning ? 0 : Origin == TSeekOrigin::soCurrent ? position_ : Size();
    std::int64_t target = base + Offset;
    if (target < 0) return -1;
    position_ = target;
    return position_;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
    NewSize = std::max<std::int64_t>(NewSize, 0);  // a negative position would write before the data
    data_.resize(static_cast<size_t>(NewSize));
    if (position_ > NewSize) position_ = NewSize;
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
    Stream->SetPosition(0);
    std::int64_t count = Stream->Size();
    SetSize(count);
    if (count != 0) Stream->ReadBuffer(data_.data(), static_cast<std::int32_t>(count));
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream* Stream) {
    if (!data_.empty()) Stream->WriteBuffer(data_.data(), static_cast<std::int32_t>(data_.size()));
}

// ---- TResourceStream ------------------------------------------------------------------------

bool TResourceStream::Exists(HINSTANCE Instance, const std::wstring& ResName, const wchar_t* ResType) {
    return FindResourceW(Instance, ResName.c_str(), ResType) != nullptr;
}

TResourceStream::TResourceStream(HINSTANCE Instance, const std::wstring& ResName, const wchar_t* ResType) {
    HRSRC info = FindResourceW(Instance, ResName.c_str(), ResType);
    HGLOBAL block = info != nullptr ? LoadResource(Instance, info) : nullptr;
    if (block == nullptr) throw EResNotFound(L"Resource " + ResName + L" not found");
    data_ = static_cast<const std::uint8_t*>(LockResource(block));
    size_ = data_ != nullptr ? static_cast<std::int64_t>(SizeofResource(Instance, info)) : 0;
}

std::int32_t TResourceStream::Read(void* Buffer, std::int32_t Count) {
    if (Count <= 0 || position_ >= size_) return 0;
    std::int64_t n = std::min<std::int64_t>(Count, size_ - position_);
    std::memcpy(Buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return static_cast<std::int32_t>(n);
}

std::int32_t TResourceStream::Write(const void*, std::int32_t) {
    throw EStreamError(L"Can't write to a read-only resource stream");
}

std::int64_t TResourceStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    std::int64_t base = Origin == TSeekOrigin::soBeginning ? 0 : Origin == TSeekOrigin::soCurrent ? position_ : size_;
    std::int64_t target = base + Offset;
    if (target < 0) return -1;
    position_ = target;
    return position_;
}

}  // namespace classlib
