// Helpers of the DirectShow toolkit tests: COM on the main thread, a message pump, a small
// uncompressed AVI file, pins by direction and the stock filters' class identifiers.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace dshow_test {

using Microsoft::WRL::ComPtr;

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline const CLSID kNullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// Pumps the thread's messages until Done answers true or TimeoutMs passed; answers Done().
inline bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 10000) {
    DWORD start = GetTickCount();
    while (!Done()) {
        if (GetTickCount() - start > TimeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

constexpr int kAviWidth = 32;
constexpr int kAviHeight = 24;
constexpr std::uint32_t kAviFrameBytes = kAviWidth * kAviHeight * 3;

// Writes an uncompressed RGB24 AVI of Frames frames at 25 frames per second.
inline void WriteAviFile(const std::wstring& Path, std::uint32_t Frames) {
    std::vector<std::uint8_t> out;
    auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
    auto u16 = [&](std::uint16_t v) { out.push_back(static_cast<std::uint8_t>(v)); out.push_back(static_cast<std::uint8_t>(v >> 8)); };
    auto cc = [&](const char* s) { out.insert(out.end(), s, s + 4); };
    auto patch = [&](size_t at) { std::uint32_t size = static_cast<std::uint32_t>(out.size() - at - 4); std::memcpy(&out[at], &size, 4); };

    cc("RIFF"); size_t riff = out.size(); u32(0); cc("AVI ");
    cc("LIST"); size_t hdrl = out.size(); u32(0); cc("hdrl");
    cc("avih"); u32(56);
    u32(40000); u32(kAviFrameBytes * 25); u32(0); u32(0x10); u32(Frames); u32(0); u32(1);
    u32(kAviFrameBytes); u32(kAviWidth); u32(kAviHeight); u32(0); u32(0); u32(0); u32(0);
    cc("LIST"); size_t strl = out.size(); u32(0); cc("strl");
    cc("strh"); u32(56);
    cc("vids"); u32(0); u32(0); u16(0); u16(0); u32(0); u32(1); u32(25); u32(0); u32(Frames);
    u32(kAviFrameBytes); u32(0xFFFFFFFF); u32(0); u16(0); u16(0); u16(kAviWidth); u16(kAviHeight);
    cc("strf"); u32(40);
    u32(40); u32(kAviWidth); u32(kAviHeight); u16(1); u16(24); u32(0); u32(kAviFrameBytes); u32(0); u32(0); u32(0); u32(0);
    patch(strl);
    patch(hdrl);
    cc("LIST"); size_t movi = out.size(); u32(0); cc("movi");
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t f = 0; f < Frames; ++f) {
        offsets.push_back(static_cast<std::uint32_t>(out.size() - (movi + 4)));
        cc("00db"); u32(kAviFrameBytes);
        for (std::uint32_t i = 0; i < kAviFrameBytes; ++i) out.push_back(static_cast<std::uint8_t>(i * 7 + f));
    }
    patch(movi);
    cc("idx1"); u32(16 * Frames);
    for (std::uint32_t f = 0; f < Frames; ++f) { cc("00db"); u32(0x10); u32(offsets[f]); u32(kAviFrameBytes); }
    patch(riff);

    HANDLE file = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, out.size());
}

// The Index-th pin of Filter in Direction, or nullptr.
inline ComPtr<IPin> FindPin(IBaseFilter* Filter, PIN_DIRECTION Direction, int Index = 0) {
    ComPtr<IEnumPins> pins;
    if (FAILED(Filter->EnumPins(&pins))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == Direction && Index-- == 0) return pin;
    }
    return nullptr;
}

inline bool IsConnected(IPin* Pin) {
    ComPtr<IPin> peer;
    return Pin != nullptr && SUCCEEDED(Pin->ConnectedTo(&peer)) && peer;
}

// Upper-case hexadecimal, at least Digits digits.
inline std::wstring Hex(std::uint32_t Value, int Digits) {
    std::wstring text;
    do {
        text.insert(text.begin(), L"0123456789ABCDEF"[Value & 15]);
        Value >>= 4;
    } while (Value != 0);
    while (static_cast<int>(text.size()) < Digits) text.insert(text.begin(), L'0');
    return text;
}

inline std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    return std::wstring(buffer, n) + L"\\";
}

}  // namespace dshow_test
