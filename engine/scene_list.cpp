#include "engine/scene_list.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <vector>

#include "unicode/wide_codecs.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace engine {

namespace {

// The callback runs on the detector's streaming thread (and once on the thread that stops the
// graph) while open and close run on the main thread: one lock keeps the module's state whole.
// Scene changes are rare, so the lock costs the streaming path nothing worth counting.
std::mutex g_lock;
std::wstring g_fileName;
std::string g_name;  // g_fileName in the single-byte system code page, as the file stores it
std::int32_t g_count = 0;
std::unique_ptr<classlib::TStream> g_stream;
std::int64_t g_countPos = 0;
std::int64_t g_end = 0;  // just past the last whole record
bool g_ended = false;    // a record was cut in two and could not be taken back: nothing may follow it
bool g_open = false;

constexpr std::int32_t kMaxScenes = 32768;

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, std::initializer_list<std::uint8_t> bytes)
{
    for (const std::uint8_t v : bytes) b.push_back(v);
}
void PutText(Bytes& b, const char* text)
{
    while (*text) b.push_back(static_cast<std::uint8_t>(*text++));
}
void PutZeros(Bytes& b, std::size_t n) { b.resize(b.size() + n, 0); }
void PutInt32(Bytes& b, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    Put(b, {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
            static_cast<std::uint8_t>(u >> 24)});
}
// The length byte keeps only the low 8 bits of the name's length; the whole name follows.
void PutName(Bytes& b, const std::string& name)
{
    b.push_back(static_cast<std::uint8_t>(name.size() & 0xFF));
    for (const char c : name) b.push_back(static_cast<std::uint8_t>(c));
}

void Write(const Bytes& b)
{
    g_stream->WriteBuffer(b.data(), static_cast<std::int32_t>(b.size()));
}

// Frame numbers are unsigned 32-bit; the file holds them + 1 as signed 32-bit values.
std::int32_t FrameField(const filters::TDVInfoRec& r)
{
    return static_cast<std::int32_t>(r.FrameNumber + 1u);
}

// The low 16 bits of the count at its place in the header. A count that cannot be written leaves
// the one before it: the list then tells fewer records than it holds, never more.
void WriteCountLocked()
{
    try {
        const auto count = static_cast<std::uint16_t>(g_count & 0xFFFF);
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)};
        if (g_stream->Seek(g_countPos, classlib::TSeekOrigin::soBeginning) == g_countPos)
            g_stream->WriteBuffer(bytes, 2);
    } catch (...) {
    }
}

void CloseLocked()
{
    if (g_stream) {
        WriteCountLocked();
        g_stream.reset();
    }
    // Also after a failed open: the main window must not think a list is still open.
    g_open = false;
}

// Opens the list on the stream that Make gives (it may raise) and writes the header.
template <typename MakeStream>
bool OpenWith(const std::wstring& FileName, MakeStream&& Make)
{
    std::lock_guard<std::mutex> guard(g_lock);
    CloseLocked();
    g_fileName = FileName;
    g_count = 0;
    g_countPos = 0;
    g_end = 0;
    g_ended = false;
    g_open = true;
    try {
        g_name = unicode::WideStringToStringEx(FileName, unicode::DefaultSystemCodePage());
        g_stream = Make();
        if (!g_stream) return false;

        Bytes first;
        Put(first, {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00});
        PutText(first, "SourceTape");
        PutName(first, g_name);
        PutZeros(first, 8);
        Write(first);
        g_countPos = g_stream->Position();

        Bytes second;
        PutZeros(second, 2);  // the scene count, written again after every record
        Put(second, {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00});
        PutText(second, "ClipP");
        PutZeros(second, 3);
        Put(second, {0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00});
        PutText(second, "Scene");
        PutZeros(second, 5);
        Write(second);
        g_end = g_stream->Position();
        return true;
    } catch (...) {
        // No list: scenes reported from now on write nothing.
        g_stream.reset();
        return false;
    }
}

}  // namespace

namespace {

// A stream over a file handle of its own, closed with the stream.
class TScnFileStream : public classlib::THandleStream {
public:
    explicit TScnFileStream(HANDLE File) : classlib::THandleStream(File) {}
    ~TScnFileStream() override { CloseHandle(handle_); }
};

// The header's fixed bytes after the name: eight zeros, the count, and the rest.
const std::uint8_t kAfterName[] = {0, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kAfterCount[] = {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'l', 'i', 'p', 'P', 0, 0, 0,
                                    0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00, 'S', 'c', 'e', 'n', 'e', 0, 0, 0, 0, 0};
const std::uint8_t kHeaderStart[] = {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00,
                                     0x0A, 0x00, 'S',  'o',  'u',  'r',  'c',  'e',  'T',  'a',  'p',  'e'};
const std::uint8_t kFirstRecordMark[] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x80};
const std::uint8_t kLaterRecordStart[] = {0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00};
const std::uint8_t kLaterRecordMiddle[] = {0x00, 0x00, 0x00, 0x00, 0x07, 0x00};

bool Holds(const std::string& Bytes, std::size_t At, const std::uint8_t* What, std::size_t Size)
{
    return At + Size <= Bytes.size() && std::equal(What, What + Size, reinterpret_cast<const std::uint8_t*>(Bytes.data() + At));
}

// The bytes from At that a record cut short may hold: What as far as it goes.
bool HoldsStart(const std::string& Bytes, std::size_t At, const std::string& What)
{
    const std::size_t size = std::min(What.size(), Bytes.size() - At);
    return Bytes.compare(At, size, What, 0, size) == 0;
}

std::string Four(const std::string& Bytes, std::size_t At) { return Bytes.substr(At, 4); }

}  // namespace

bool OpenScnFile(const std::wstring& FileName, TScnFileOpen How)
{
    return OpenWith(FileName, [&]() -> std::unique_ptr<classlib::TStream> {
        const DWORD disposition = How == scnCreate ? CREATE_ALWAYS : How == scnNew ? CREATE_NEW : OPEN_EXISTING;
        HANDLE file = CreateFileW(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
        auto stream = std::make_unique<TScnFileStream>(file);
        // The file made for the list holds nothing yet; whatever it held is not the list's.
        if (How == scnMade) stream->SetSize(0);
        return stream;
    });
}

bool ScnStreamHoldsOnlyItsOwn(classlib::TStream& Stream, const std::wstring& FileName)
{
    try {
        const std::int64_t size = Stream.Size();
        if (size == 0) return true;
        // A list is small: a header and 35 bytes a scene, 32,768 scenes at most.
        constexpr std::int64_t kLargest = 2 * 1024 * 1024;
        if (size < 0 || size > kLargest) return false;
        std::string bytes(static_cast<std::size_t>(size), '\0');
        Stream.SetPosition(0);
        if (Stream.Read(bytes.data(), static_cast<std::int32_t>(size)) != size) return false;
        if (!Holds(bytes, 0, kHeaderStart, sizeof kHeaderStart) || bytes.size() < 25) return false;
        // The name: the list's own path, whose length the byte before it holds modulo 256.
        const std::string own =
            unicode::WideStringToStringEx(unicode::WideExtractFileName(FileName), unicode::DefaultSystemCodePage());
        const std::size_t low = static_cast<std::uint8_t>(bytes[24]);
        std::size_t nameLength = std::string::npos;
        for (std::size_t length = low; 25 + length + 40 <= bytes.size(); length += 256) {
            if (!Holds(bytes, 25 + length, kAfterName, sizeof kAfterName) ||
                !Holds(bytes, 25 + length + 10, kAfterCount, sizeof kAfterCount))
                continue;
            const std::string name = bytes.substr(25, length);
            const std::size_t slash = name.find_last_of("\\/");
            const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
            if (file.size() == own.size() &&
                std::equal(file.begin(), file.end(), own.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                })) {
                nameLength = length;
                break;
            }
        }
        if (nameLength == std::string::npos) return false;
        const std::string name = bytes.substr(24, 1 + nameLength);
        const std::size_t count = static_cast<std::uint8_t>(bytes[33 + nameLength]) |
                                  (static_cast<std::uint8_t>(bytes[34 + nameLength]) << 8);
        std::size_t at = 65 + nameLength;
        std::size_t records = 0;
        while (at < bytes.size()) {
            std::string record;
            if (records == 0) {
                const std::string e = Four(bytes, at);
                record = e + std::string(reinterpret_cast<const char*>(kFirstRecordMark), sizeof kFirstRecordMark) + name +
                         std::string(8, '\0') + e;
            } else {
                const std::string s = Four(bytes, at + 9), d = Four(bytes, at + 13);
                record = std::string(reinterpret_cast<const char*>(kLaterRecordStart), sizeof kLaterRecordStart) + s + d +
                         std::string(reinterpret_cast<const char*>(kLaterRecordMiddle), sizeof kLaterRecordMiddle) + s + d + s;
            }
            if (!HoldsStart(bytes, at, record)) return false;
            if (at + record.size() > bytes.size()) break;  // the last one, cut short
            at += record.size();
            ++records;
        }
        // The count tells whole records only (its low 16 bits).
        return count <= records || count == (records & 0xFFFF);
    } catch (...) {
        return false;
    }
}

bool OpenScnStream(const std::wstring& FileName, std::unique_ptr<classlib::TStream> Stream)
{
    return OpenWith(FileName, [&] { return std::move(Stream); });
}

void WriteScnScene(const filters::TDVInfoRec& SceneStart, const filters::TDVInfoRec& Current)
{
    try {
        std::lock_guard<std::mutex> guard(g_lock);
        if (!g_stream || g_ended || g_count >= kMaxScenes) return;
        const std::int32_t s = FrameField(SceneStart);
        const std::int32_t e = FrameField(Current);
        const auto d = static_cast<std::int32_t>(static_cast<std::uint32_t>(e) - static_cast<std::uint32_t>(s) + 1u);
        Bytes rec;
        if (g_count == 0) {
            PutInt32(rec, e);
            Put(rec, {0x00, 0x00, 0x00, 0x00, 0x01, 0x80});
            PutName(rec, g_name);
            PutZeros(rec, 8);
            PutInt32(rec, e);
        } else {
            Put(rec, {0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00});
            PutInt32(rec, s);
            PutInt32(rec, d);
            Put(rec, {0x00, 0x00, 0x00, 0x00, 0x07, 0x00});
            PutInt32(rec, s);
            PutInt32(rec, d);
            PutInt32(rec, s);
        }
        if (g_stream->Seek(g_end, classlib::TSeekOrigin::soBeginning) != g_end) return;
        try {
            Write(rec);
        } catch (...) {
            // A full disk: what reached the list of this record is cut off again, so that a later
            // record (space may come back) starts where a reader looks for it.
            try {
                g_stream->SetSize(g_end);
            } catch (...) {
                g_ended = true;
            }
            return;
        }
        g_end += static_cast<std::int64_t>(rec.size());
        ++g_count;
        // A list whose recording never stops (a killed process, a power cut) still tells its scenes.
        WriteCountLocked();
    } catch (...) {
        // Runs on a streaming thread: a failed write ends the list short, nothing more.
    }
}

void CloseScnFile()
{
    std::lock_guard<std::mutex> guard(g_lock);
    CloseLocked();
}

bool ScnOpen()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_open;
}

std::wstring ScnFileName()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_fileName;
}

std::int32_t ScnCount()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_count;
}

}  // namespace engine
