#include "classlib/jpeg_image.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace classlib {

namespace {

// The library reports a fatal error by calling error_exit, which must not return: it jumps back to
// the compression with the message kept. No C++ object lives between the jump and its target.
struct TJpegError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    error->manager.format_message(info, error->message);
    std::longjmp(error->back, 1);
}

// The library's error manager for one call, set to jump back with its message.
jpeg_error_mgr* Catching(TJpegError& Error) {
    jpeg_std_error(&Error.manager);
    Error.manager.error_exit = ErrorExit;
    Error.message[0] = '\0';
    return &Error.manager;
}

// Compresses Pixels (RGB rows) into a buffer that the library allocates; false with Message on error.
bool CompressRows(const std::uint8_t* Pixels, int Width, int Height, int Quality, unsigned char** Out,
                  unsigned long* OutSize, char* Message) {
    jpeg_compress_struct info;
    TJpegError error;
    std::memset(&info, 0, sizeof(info));
    info.err = Catching(error);
    if (setjmp(error.back) != 0) {
        jpeg_destroy_compress(&info);
        std::memcpy(Message, error.message, sizeof(error.message));
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, Out, OutSize);
    info.image_width = static_cast<JDIMENSION>(Width);
    info.image_height = static_cast<JDIMENSION>(Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, Quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(Width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(Pixels + stride * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

// A picture this large would take gigabytes; no file the program is shown is one.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 27;

// Decompresses a JPEG held in memory into RGB rows; false with Message (empty for a picture beyond
// kMaxPixels) on error.
bool DecompressRows(const std::uint8_t* Data, std::size_t Size, std::vector<std::uint8_t>& Pixels, int& Width,
                    int& Height, char* Message) {
    jpeg_decompress_struct info;
    TJpegError error;
    std::memset(&info, 0, sizeof(info));
    info.err = Catching(error);
    if (setjmp(error.back) != 0) {
        jpeg_destroy_decompress(&info);
        std::memcpy(Message, error.message, sizeof(error.message));
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, Data, static_cast<unsigned long>(Size));
    jpeg_read_header(&info, TRUE);
    // Checked before decoding starts: a progressive picture takes its whole size in memory there.
    if (static_cast<std::uint64_t>(info.image_width) * info.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&info);
        Message[0] = '\0';
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    Width = static_cast<int>(info.output_width);
    Height = static_cast<int>(info.output_height);
    const std::size_t stride = static_cast<std::size_t>(Width) * 3;
    Pixels.assign(stride * static_cast<std::size_t>(Height), 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = Pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::wstring Widen(const char* Text) {
    std::wstring result;
    for (const char* p = Text; *p != '\0'; ++p) result += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return result;
}

}  // namespace

void TJPEGImage::Assign(const BYTE* Top, std::ptrdiff_t Step, int Width, int Height) {
    data_.clear();
    if (Top == nullptr || Width <= 0 || Height <= 0) {
        pixels_.clear();
        width_ = height_ = 0;
        return;
    }
    const std::size_t stride = static_cast<std::size_t>(Width) * 3;
    pixels_.resize(stride * static_cast<std::size_t>(Height));
    for (int y = 0; y < Height; ++y) {
        const BYTE* from = Top + static_cast<std::ptrdiff_t>(y) * Step;
        std::uint8_t* to = pixels_.data() + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < Width; ++x) {
            to[3 * x] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x];
        }
    }
    width_ = Width;
    height_ = Height;
}

void TJPEGImage::SetCompressionQuality(int Value) {
    const int quality = Value < 1 ? 1 : Value > 100 ? 100 : Value;
    if (quality != quality_) data_.clear();
    quality_ = quality;
}

void TJPEGImage::Compress() {
    if (Empty()) throw EJPEGError(L"JPEG image is empty");
    unsigned char* out = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    const bool done = CompressRows(pixels_.data(), width_, height_, quality_, &out, &size, message);
    if (done && out != nullptr) data_.assign(out, out + size);
    std::free(out);
    if (!done) throw EJPEGError(Widen(message));
}

void TJPEGImage::SaveToFile(const std::wstring& FileName) {
    if (data_.empty()) Compress();
    WriteWholeFile(FileName, data_.data(), data_.size());
}

void TJPEGImage::LoadFromFile(const std::wstring& FileName) {
    pixels_.clear();
    data_.clear();
    width_ = height_ = 0;
    HANDLE file = CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseLastOSError();
    LARGE_INTEGER size{};
    std::vector<std::uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    if (!GetFileSizeEx(file, &size)) {
        error = GetLastError();
    } else if (size.QuadPart > (std::int64_t{1} << 30)) {
        error = ERROR_FILE_TOO_LARGE;
    } else {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                               read != bytes.size()))
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_HANDLE_EOF;
    }
    CloseHandle(file);
    if (error != ERROR_SUCCESS) RaiseLastOSError(error);
    char message[JMSG_LENGTH_MAX] = {};
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    if (!DecompressRows(bytes.data(), bytes.size(), pixels, width, height, message))
        throw EJPEGError(message[0] != '\0' ? Widen(message) : std::wstring(L"JPEG image is too large"));
    pixels_ = std::move(pixels);
    width_ = width;
    height_ = height;
}

HBITMAP TJPEGImage::CreateBitmap() const {
    if (Empty()) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) return nullptr;
    const std::size_t from = static_cast<std::size_t>(width_) * 3;
    const std::size_t to = (from + 3) & ~static_cast<std::size_t>(3);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* source = pixels_.data() + from * static_cast<std::size_t>(y);
        auto* row = static_cast<std::uint8_t*>(bits) + to * static_cast<std::size_t>(y);
        for (int x = 0; x < width_; ++x) {
            row[3 * x] = source[3 * x + 2];
            row[3 * x + 1] = source[3 * x + 1];
            row[3 * x + 2] = source[3 * x];
        }
    }
    GdiFlush();
    return bitmap;
}

void WriteWholeFile(const std::wstring& FileName, const void* Data, std::size_t Size) {
    const std::wstring part = FileName + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseLastOSError();
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    std::size_t done = 0;
    DWORD error = ERROR_SUCCESS;
    while (done < Size) {
        const DWORD chunk = static_cast<DWORD>(Size - done < (1u << 30) ? Size - done : (1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, chunk, &written, nullptr) || written == 0) {
            error = GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_DISK_FULL;
            break;
        }
        done += written;
    }
    if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
    CloseHandle(file);
    if (error == ERROR_SUCCESS && !MoveFileExW(part.c_str(), FileName.c_str(), MOVEFILE_REPLACE_EXISTING))
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileW(part.c_str());
        RaiseLastOSError(error);
    }
}

}  // namespace classlib
