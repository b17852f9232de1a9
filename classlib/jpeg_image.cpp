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

// Compresses Pixels (RGB rows) into a buffer that the library allocates; false with Message on error.
bool CompressRows(const std::uint8_t* Pixels, int Width, int Height, int Quality, unsigned char** Out,
                  unsigned long* OutSize, char* Message) {
    jpeg_compress_struct info;
    TJpegError error;
    std::memset(&info, 0, sizeof(info));
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = ErrorExit;
    error.message[0] = '\0';
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
