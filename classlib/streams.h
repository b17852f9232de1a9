// Streams of the class library: the abstract TStream, THandleStream over an operating-system
// file handle, and TMemoryStream. File modes are the library's 16-bit modes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/objects.h"

namespace classlib {

// File modes: access in the low 2 bits, sharing in bits 4 to 7, fmCreate for creation.
constexpr std::uint16_t fmCreate = 0xFFFF;
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareCompat = 0x0000;
constexpr std::uint16_t fmShareExclusive = 0x0010;
constexpr std::uint16_t fmShareDenyWrite = 0x0020;
constexpr std::uint16_t fmShareDenyRead = 0x0030;
constexpr std::uint16_t fmShareDenyNone = 0x0040;

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
    CLASSLIB_CLASS_NAME(TStream)
    // Read and Write move up to Count bytes and answer how many moved (0 at the end or on failure).
    virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
    virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
    // Answers the new position, or -1 when the seek failed.
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t NewSize);

    // Raise EReadError "Stream read error" / EWriteError "Stream write error" on a short transfer.
    void ReadBuffer(void* Buffer, std::int32_t Count);
    void WriteBuffer(const void* Buffer, std::int32_t Count);
    // Copies Count bytes from Source (the whole of Source from its start when Count is 0).
    std::int64_t CopyFrom(TStream* Source, std::int64_t Count);
};

// A stream over a file handle it does not own (derived classes may own it).
class THandleStream : public TStream {
public:
    CLASSLIB_CLASS_NAME(THandleStream)
    explicit THandleStream(HANDLE AHandle) : handle_(AHandle) {}
    HANDLE Handle() const { return handle_; }
    std::int32_t Read(void* Buffer, std::int32_t Count) override;
    std::int32_t Write(const void* Buffer, std::int32_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    // Moves the end of file; raises EStreamError "Stream write error" when the system refuses.
    void SetSize(std::int64_t NewSize) override;

protected:
    HANDLE handle_;
};

class TMemoryStream : public TStream {
public:
    CLASSLIB_CLASS_NAME(TMemoryStream)
    std::int32_t Read(void* Buffer, std::int32_t Count) override;
    std::int32_t Write(const void* Buffer, std::int32_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t NewSize) override;
    void Clear();
    std::uint8_t* Memory() { return data_.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }
    void LoadFromStream(TStream* Stream);
    void SaveToStream(TStream* Stream);

private:
    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};

// The bytes of a resource of a module, read-only: Write raises EStreamError "Can't write to a
// read-only resource stream". A missing resource raises EResNotFound "Resource %s not found".
class TResourceStream : public TStream {
public:
    CLASSLIB_CLASS_NAME(TResourceStream)
    TResourceStream(HINSTANCE Instance, const std::wstring& ResName, const wchar_t* ResType);
    // Whether the module has the resource.
    static bool Exists(HINSTANCE Instance, const std::wstring& ResName, const wchar_t* ResType);
    std::int32_t Read(void* Buffer, std::int32_t Count) override;
    std::int32_t Write(const void* Buffer, std::int32_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() override { return size_; }

private:
    const std::uint8_t* data_ = nullptr;  // the module's own copy, alive as long as the module
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
};

}  // namespace classlib
