// Test helpers that read media files back with the host's ffprobe and ffmpeg from inside a Wine
// test process. Wine starts a Linux executable through CreateProcess but gives no process handle
// and does not connect its standard handles, so a program runs under /bin/sh with its output sent
// to files in a folder of its own, and a last file, renamed into place when it has exited, carries
// its exit code; the caller waits for that file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace quill_test {

// The Linux path of a Windows path, or "" when not running under Wine.
inline std::string UnixPath(const std::filesystem::path& path)
{
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) {
        return {};
    }
    char* unix = toUnix(std::filesystem::absolute(path).c_str());
    if (unix == nullptr) {
        return {};
    }
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// One argument of a Windows command line, quoted so that the usual splitting gives it back whole.
inline std::wstring QuoteArgument(const std::wstring& arg)
{
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// UTF-8 text as UTF-16.
inline std::wstring WideFromUtf8(const std::string& s)
{
    std::wstring w(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), static_cast<int>(w.size()));
    w.resize(w.empty() ? 0 : w.size() - 1);
    return w;
}

struct TUnixResult {
    bool Ran = false;   // the program was started and its exit was seen in time
    int ExitCode = -1;
    std::string Out;    // standard output
    std::string Err;    // standard error
    std::string Failure;  // why it did not run
};

// What the file holds as it is opened, read at once: a file still growing is read as it was then
// (reading on to its end never ends while its writer outpaces a reader on a busy machine).
inline std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size <= 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// Runs a Linux program (argv[0] looked up on the usual system PATH; arguments in UTF-8) and waits
// up to timeoutMs for it to exit.
inline TUnixResult RunUnix(const std::vector<std::string>& argv, DWORD timeoutMs = 180000)
{
    TUnixResult result;
    static LONG counter = 0;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
        (L"quill_unix_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(InterlockedIncrement(&counter)));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir, ec);
    const std::string unixDir = UnixPath(dir);
    if (ec || unixDir.empty()) {
        result.Failure = "no Linux path for " + dir.string() + " (not running under Wine?)";
        return result;
    }
    const wchar_t* script =
        L"d=$1; shift; PATH=/usr/local/bin:/usr/bin:/bin; export PATH; "
        L"\"$@\" <'/dev/null' >\"$d/out\" 2>\"$d/err\"; echo $? >\"$d/rc.part\"; mv \"$d/rc.part\" \"$d/rc\"";
    std::wstring command = L"sh -c " + QuoteArgument(script) + L" sh " + QuoteArgument(WideFromUtf8(unixDir));
    for (const std::string& arg : argv) {
        command += L" " + QuoteArgument(WideFromUtf8(arg));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        result.Failure = "CreateProcess of /bin/sh failed: " + std::to_string(GetLastError());
        std::filesystem::remove_all(dir, ec);
        return result;
    }
    // Wine answers a Linux program with no handles; close whatever there is.
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!std::filesystem::exists(dir / L"rc", ec) && GetTickCount64() < deadline) {
        Sleep(10);
    }
    if (std::filesystem::exists(dir / L"rc", ec)) {
        result.Ran = true;
        result.ExitCode = std::atoi(ReadWholeFile(dir / L"rc").c_str());
        result.Out = ReadWholeFile(dir / L"out");
        result.Err = ReadWholeFile(dir / L"err");
        std::filesystem::remove_all(dir, ec);
    } else {
        // Left in place: the program may still be writing there.
        result.Failure = "no exit within " + std::to_string(timeoutMs) + " ms";
    }
    return result;
}

// ffprobe's "flat" output of a file: keys such as "streams.stream.0.codec_name" and
// "format.duration", values without their quotes.
struct TMediaProbe {
    TUnixResult Run;
    std::map<std::string, std::string> Fields;

    bool Ok() const { return Run.Ran && Run.ExitCode == 0; }
    std::string Get(const std::string& key) const
    {
        auto at = Fields.find(key);
        return at == Fields.end() ? std::string() : at->second;
    }
    std::string Stream(int index, const std::string& field) const
    {
        return Get("streams.stream." + std::to_string(index) + "." + field);
    }
    double StreamNumber(int index, const std::string& field) const
    {
        return std::atof(Stream(index, field).c_str());
    }
    int StreamCount() const { return std::atoi(Get("format.nb_streams").c_str()); }
    // The index of the first stream of that type ("video", "audio"), or -1.
    int StreamOfType(const std::string& type) const
    {
        for (int i = 0; i < StreamCount(); ++i) {
            if (Stream(i, "codec_type") == type) {
                return i;
            }
        }
        return -1;
    }
    // "num/den" as a number (0 when malformed).
    double Ratio(int index, const std::string& field) const
    {
        const std::string text = Stream(index, field);
        const auto slash = text.find('/');
        if (slash == std::string::npos) {
            return std::atof(text.c_str());
        }
        const double den = std::atof(text.c_str() + slash + 1);
        return den == 0 ? 0 : std::atof(text.substr(0, slash).c_str()) / den;
    }
};

// ffprobe of a file's format and streams, every packet counted (which reads the file to its end).
inline TMediaProbe Probe(const std::filesystem::path& file)
{
    TMediaProbe probe;
    probe.Run = RunUnix({"ffprobe", "-v", "error", "-count_packets", "-show_format", "-show_streams", "-of", "flat",
                         UnixPath(file)});
    std::size_t at = 0;
    const std::string& out = probe.Run.Out;
    while (at < out.size()) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos) {
            end = out.size();
        }
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        probe.Fields[line.substr(0, eq)] = value;
    }
    return probe;
}

// ffmpeg decodes every stream of the file to its end; Err holds what it reported at error level.
inline TUnixResult DecodeWhole(const std::filesystem::path& file)
{
    return RunUnix({"ffmpeg", "-nostdin", "-v", "error", "-i", UnixPath(file), "-f", "null", "-"});
}

// The first sound stream of a file decoded by ffmpeg to interleaved 16-bit samples (empty when
// ffmpeg fails; failure describes why).
inline std::vector<std::int16_t> DecodeSound(const std::filesystem::path& file, std::string* failure = nullptr)
{
    const std::filesystem::path raw = std::filesystem::temp_directory_path() /
        (L"quill_sound_" + std::to_wstring(GetCurrentProcessId()) + L".raw");
    const TUnixResult run = RunUnix({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", UnixPath(file), "-map", "0:a:0",
                                     "-f", "s16le", "-acodec", "pcm_s16le", UnixPath(raw)});
    std::vector<std::int16_t> samples;
    if (!run.Ran || run.ExitCode != 0) {
        if (failure != nullptr) {
            *failure = run.Failure + run.Err;
        }
    } else {
        const std::string bytes = ReadWholeFile(raw);
        samples.resize(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    }
    std::error_code ec;
    std::filesystem::remove(raw, ec);
    return samples;
}

}  // namespace quill_test
