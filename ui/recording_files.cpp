// The main window's checks of the files it names.
#include "ui/recording_files.h"

#include <audevcod.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/streams.h"
#include "dshow/ds_helpers.h"
#include "settings/program_texts.h"
#include "ui/aside_record.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "ui/replaced_files.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

bool IsSeparator(wchar_t C) { return C == L'\\' || C == L'/'; }

// Characters no file name may hold besides the separators.
bool FitsAFileName(wchar_t C) { return C >= 32 && std::wstring_view(L"<>:\"|?*").find(C) == std::wstring_view::npos; }

using TFourCC = std::array<char, 4>;

bool Is(const TFourCC& Code, const char* Text) { return std::equal(Code.begin(), Code.end(), Text); }

std::uint32_t Little32(const unsigned char* Bytes) {
    return Bytes[0] | (Bytes[1] << 8) | (Bytes[2] << 16) | (static_cast<std::uint32_t>(Bytes[3]) << 24);
}

// A chunk header read at Offset: its code, its size and, for a list, its list type.
struct TChunk {
    TFourCC Code{};
    std::uint32_t Size = 0;
    TFourCC ListType{};
};

// Exactly Size bytes at Offset, or false.
bool ReadAt(classlib::TStream& File, std::uint64_t Offset, void* Data, std::int32_t Size) {
    File.SetPosition(static_cast<std::int64_t>(Offset));
    return File.Position() == static_cast<std::int64_t>(Offset) && File.Read(Data, Size) == Size;
}

bool ReadChunk(classlib::TStream& File, std::uint64_t Offset, bool List, TChunk& Chunk) {
    unsigned char bytes[12] = {};
    if (!ReadAt(File, Offset, bytes, List ? 12 : 8)) return false;
    std::copy(bytes, bytes + 4, Chunk.Code.begin());
    Chunk.Size = Little32(bytes + 4);
    std::copy(bytes + 8, bytes + 12, Chunk.ListType.begin());
    return true;
}

bool IsList(const TFourCC& Code) { return Is(Code, "LIST") || Is(Code, "RIFF"); }

// A stream's data chunk: two digits (the stream number), then the kind ("00dc", "01wb").
bool IsStreamData(const TFourCC& Code) {
    return Code[0] >= '0' && Code[0] <= '9' && Code[1] >= '0' && Code[1] <= '9';
}

// Whether the chunks from Begin to End (lists entered, to a few levels) may hold a stream's data:
// one is found, or the walk cannot end cleanly at End (a short read, a size that runs past it),
// when nothing can be said and the file is taken to hold what it may.
bool MayHoldStreamData(classlib::TStream& File, std::uint64_t Begin, std::uint64_t End, int Depth) {
    std::uint64_t at = Begin;
    while (at + 8 <= End) {
        TChunk chunk;
        if (!ReadChunk(File, at, false, chunk)) return true;
        if (IsStreamData(chunk.Code)) return true;
        const std::uint64_t next = at + 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
        if (IsList(chunk.Code) && (Depth >= 4 || chunk.Size < 4 || MayHoldStreamData(File, at + 12, next, Depth + 1)))
            return true;
        at = next;
    }
    return at != End;
}

// The file Name opened for reading alongside its writer, nullptr when it cannot be.
std::unique_ptr<unicode::TUcFileStream> OpenForLook(const std::wstring& Name) {
    try {
        return std::make_unique<unicode::TUcFileStream>(Name, classlib::fmOpenRead | classlib::fmShareDenyNone);
    } catch (const classlib::Exception&) {
        return nullptr;
    }
}

}  // namespace

std::wstring FileNameStem(const std::wstring& Stem) {
    std::wstring result;
    std::size_t begin = 0;
    while (begin <= Stem.size()) {
        std::size_t end = begin;
        while (end < Stem.size() && !IsSeparator(Stem[end])) ++end;
        const std::wstring part = Stem.substr(begin, end - begin);
        // ".", ".." and the like name folders, not files.
        if (part.find_first_not_of(L'.') != std::wstring::npos) {
            if (!result.empty()) result += L'_';
            for (wchar_t c : part)
                if (FitsAFileName(c)) result += c;
        }
        begin = end + 1;
    }
    return result;
}

std::wstring RecordingFileProblem(const std::wstring& Name, bool* InUse) {
    if (InUse != nullptr) *InUse = false;
    const std::wstring folder = unicode::WideExcludeTrailingBackslash(unicode::WideExtractFilePath(Name));
    if (!folder.empty() && !unicode::WideDirectoryExists(folder))
        return classlib::Format(RecText(IDS_REC_NO_FOLDER), {folder});
    if (unicode::WideDirectoryExists(Name)) return classlib::Format(RecText(IDS_REC_IS_FOLDER), {Name});
    if (RecordedByAnotherCopy(Name)) {
        if (InUse != nullptr) *InUse = true;
        return classlib::Format(RecText(IDS_REC_IN_USE), {Name});
    }
    const DWORD attributes = GetFileAttributesW(Name.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file is its user's to keep, even where the system would let this process write it.
    if (existed && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {Name, FailureText(E_ACCESSDENIED)});
    // Opened as the writers open it, so that whatever would refuse them refuses this. A file made
    // for the look goes with its handle: another copy of the program looking at the name meanwhile
    // finds it in use, never a file left there for a moment.
    // An older file must be moved out of the recording's way, never written over: one that another
    // program holds without letting it be renamed (a player) is in use as much as one it writes.
    HANDLE file = CreateFileW(Name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                              existed ? OPEN_EXISTING : CREATE_NEW,
                              existed ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Made by another program between the look and the open (the file there now was not) is
        // taken as much as held.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
            (!existed && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS))) {
            if (InUse != nullptr) *InUse = true;
            return classlib::Format(RecText(IDS_REC_IN_USE), {Name});
        }
        return CannotWriteText(Name, HRESULT_FROM_WIN32(error));
    }
    // A file a running copy holds locked (of any logon) is in use, whatever its handles let through.
    const bool held = existed && HeldByRunningCopy(file);
    CloseHandle(file);
    if (held) {
        if (InUse != nullptr) *InUse = true;
        return classlib::Format(RecText(IDS_REC_IN_USE), {Name});
    }
    return std::wstring();
}

bool FolderCanBeMade(const std::wstring& Folder) {
    std::wstring existing = unicode::WideExcludeTrailingBackslash(Folder);
    while (!existing.empty() && !unicode::WideDirectoryExists(existing)) {
        const std::wstring parentPath = unicode::WideExtractFilePath(existing);
        const std::wstring parent = unicode::WideExcludeTrailingBackslash(parentPath);
        // The root itself is not there (a drive that is not there).
        if (parent.size() >= existing.size()) return false;
        for (wchar_t c : existing.substr(parentPath.size()))
            if (!FitsAFileName(c)) return false;
        existing = parent;
    }
    return true;
}

namespace {

// Who keeps a recording from the file Name: nobody, a copy of this program (its recording), or
// another program that has it open.
enum class TFileUse { Free, Copy, Program };

TFileUse UseOf(const std::wstring& Name) {
    if (RecordedByAnotherCopy(Name)) return TFileUse::Copy;
    const DWORD attributes = GetFileAttributesW(Name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return TFileUse::Free;
    HANDLE file = CreateFileW(Name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // A file a running copy holds locked (of any logon: its lock is seen where its handles are not).
        const bool held = HeldByRunningCopy(file);
        CloseHandle(file);
        return held ? TFileUse::Copy : TFileUse::Free;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? TFileUse::Program : TFileUse::Free;
}

}  // namespace

bool FileInUse(const std::wstring& Name) { return UseOf(Name) != TFileUse::Free; }

bool FileStaysInUse(const std::wstring& Name) {
    // Another program's hold on a file is often a look that passes (a virus scanner or an indexer
    // opens every new file): it is waited out for a moment. A copy's recording is taken at once.
    constexpr ULONGLONG kPassingHoldMs = 2000;
    const ULONGLONG start = GetTickCount64();
    TFileUse use = UseOf(Name);
    while (use == TFileUse::Program && GetTickCount64() - start < kPassingHoldMs) {
        Sleep(50);
        use = UseOf(Name);
    }
    return use != TFileUse::Free;
}

namespace {

bool AviHoldsNothingIn(classlib::TStream& file) {
    const std::uint64_t size = static_cast<std::uint64_t>(file.Size());
    if (size == 0) return true;
    TChunk riff;
    if (!ReadChunk(file, 0, true, riff) || !Is(riff.Code, "RIFF") || !Is(riff.ListType, "AVI ")) return false;
    // The sizes in the headers are not trusted (a writer may have failed before it set them):
    // every walk goes to the end of the file, and what is found there decides.
    std::uint64_t at = 12;
    while (at + 12 <= size) {
        TChunk chunk;
        if (!ReadChunk(file, at, true, chunk)) return false;
        if (Is(chunk.Code, "LIST") && Is(chunk.ListType, "movi")) return !MayHoldStreamData(file, at + 12, size, 0);
        at += 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
    }
    // No movie list: a whole header, and nothing after it.
    return at == size;
}

std::uint64_t Little64(const unsigned char* Bytes) {
    return Little32(Bytes) | (static_cast<std::uint64_t>(Little32(Bytes + 4)) << 32);
}

// The ASF top-level objects that matter here, as their GUIDs lie in the file.
constexpr unsigned char kAsfHeaderObject[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char kAsfDataObject[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// A data object without packets: GUID, size, file id, packet count and two reserved bytes.
constexpr std::uint64_t kAsfEmptyDataObject = 50;
constexpr unsigned char kAsfFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
// The file properties object: play duration (100 ns) at 64, preroll (ms) at 80, flags at 88.
constexpr std::uint64_t kAsfFilePropertiesSize = 104;
constexpr std::uint32_t kAsfBroadcast = 1;

// Whether the header object at At (Length bytes) says that the file plays for no time past its
// preroll; false when it cannot say (no file properties, or a broadcast whose times are unknown).
bool AsfPlaysNoTime(classlib::TStream& File, std::uint64_t At, std::uint64_t Length) {
    constexpr std::uint64_t kHeaderFields = 30;
    std::uint64_t at = At + kHeaderFields;
    const std::uint64_t end = At + Length;
    unsigned char object[kAsfFilePropertiesSize] = {};
    while (at + 24 <= end) {
        if (!ReadAt(File, at, object, 24)) return false;
        const std::uint64_t length = Little64(object + 16);
        if (length < 24 || length > end - at) return false;
        if (std::equal(object, object + 16, kAsfFileProperties)) {
            if (length < kAsfFilePropertiesSize || !ReadAt(File, at, object, sizeof object)) return false;
            if ((Little32(object + 88) & kAsfBroadcast) != 0) return false;
            return Little64(object + 64) <= Little64(object + 80) * 10000;
        }
        at += length;
    }
    return false;
}

bool WaveHoldsNothingIn(classlib::TStream& file) {
    const std::uint64_t size = static_cast<std::uint64_t>(file.Size());
    TChunk riff;
    if (!ReadChunk(file, 0, true, riff) || !Is(riff.Code, "RIFF") || !Is(riff.ListType, "WAVE")) return false;
    // A header the writer could not patch may still say 0 with data behind it: only what lies in
    // the file decides.
    std::uint64_t at = 12;
    while (at + 8 <= size) {
        TChunk chunk;
        if (!ReadChunk(file, at, false, chunk)) return false;
        // The writer's growing header says 0 or the most it can: what follows it decides.
        if (Is(chunk.Code, "data")) return at + 8 == size;
        at += 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
    }
    return at == size;
}

bool AsfHoldsNothingIn(classlib::TStream& file) {
    const std::uint64_t size = static_cast<std::uint64_t>(file.Size());
    unsigned char object[24] = {};
    if (!ReadAt(file, 0, object, 24) || !std::equal(object, object + 16, kAsfHeaderObject)) return false;
    std::optional<std::uint64_t> packets;
    bool instant = false;
    std::uint64_t at = 0;
    while (at + 24 <= size) {
        if (!ReadAt(file, at, object, 24)) return false;
        const std::uint64_t length = Little64(object + 16);
        // A size that does not fit (a header never patched says 0) leaves nothing to be sure of.
        if (length < 24 || length > size - at) return false;
        if (std::equal(object, object + 16, kAsfHeaderObject)) {
            instant = AsfPlaysNoTime(file, at, length);
        } else if (std::equal(object, object + 16, kAsfDataObject)) {
            unsigned char data[kAsfEmptyDataObject] = {};
            if (length < kAsfEmptyDataObject || !ReadAt(file, at, data, sizeof data)) return false;
            packets = Little64(data + 40);
            if ((*packets == 0) != (length == kAsfEmptyDataObject)) return false;
        }
        at += length;
    }
    if (!packets || at != size) return false;
    // One packet playing for no time (its only picture at the start): a recording of 0 seconds.
    return *packets == 0 || (*packets == 1 && instant);
}

// What a recording file (its kind told by Name's extension) opened as File holds nothing a
// player would show.
bool HoldsNothingIn(classlib::TStream& File, const std::wstring& Name) {
    if (File.Size() == 0) return true;
    const std::wstring extension = classlib::AnsiLowerCase(unicode::WideExtractFileExt(Name));
    if (extension == L".avi") return AviHoldsNothingIn(File);
    if (extension == L".wav" || extension == L".mp3") return WaveHoldsNothingIn(File);
    return extension == L".wmv" && AsfHoldsNothingIn(File);
}

// Looks at the file Name through Look, false when it cannot be opened.
bool LookAt(const std::wstring& Name, bool (*Look)(classlib::TStream&)) {
    std::unique_ptr<unicode::TUcFileStream> stream = OpenForLook(Name);
    return stream && Look(*stream);
}

}  // namespace

bool AviHoldsNothing(const std::wstring& Name) { return LookAt(Name, AviHoldsNothingIn); }
bool WaveHoldsNothing(const std::wstring& Name) { return LookAt(Name, WaveHoldsNothingIn); }
bool AsfHoldsNothing(const std::wstring& Name) { return LookAt(Name, AsfHoldsNothingIn); }

bool RecordingHoldsNothing(const std::wstring& Name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Name.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) return true;
    std::unique_ptr<unicode::TUcFileStream> stream = OpenForLook(Name);
    return stream && HoldsNothingIn(*stream, Name);
}

bool RecordingHoldsNothing(HANDLE File, const std::wstring& Name) {
    classlib::THandleStream stream(File);
    return HoldsNothingIn(stream, Name);
}

namespace {

// A stream's whole data chunk of at least one byte in the movie list of a RIFF file that may still
// be growing: the sizes of the lists around it are not looked at, only the chunks as they lie.
bool AviHoldsMedia(classlib::TStream& File, std::uint64_t Size) {
    TChunk riff;
    if (!ReadChunk(File, 0, true, riff) || !Is(riff.Code, "RIFF") || !Is(riff.ListType, "AVI ")) return false;
    std::uint64_t at = 12;
    bool inMovie = false;
    while (at + 8 <= Size) {
        TChunk chunk;
        if (!ReadChunk(File, at, at + 12 <= Size, chunk)) return false;
        const std::uint64_t end = at + 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
        if (Is(chunk.Code, "LIST") && (Is(chunk.ListType, "movi") || (inMovie && Is(chunk.ListType, "rec ")))) {
            inMovie = true;
            at += 12;
            continue;
        }
        if (inMovie && IsStreamData(chunk.Code) && chunk.Size > 0) return at + 8 + chunk.Size <= Size;
        at = end;
    }
    return false;
}

// Enough sound in a WAVE file's data chunk (PCM or MP3) to be heard: a fiftieth of a second, and
// at least one whole block.
bool WaveHoldsMedia(classlib::TStream& File, std::uint64_t Size) {
    TChunk riff;
    if (!ReadChunk(File, 0, true, riff) || !Is(riff.Code, "RIFF") || !Is(riff.ListType, "WAVE")) return false;
    std::uint64_t needed = 0;
    for (std::uint64_t at = 12; at + 8 <= Size;) {
        TChunk chunk;
        if (!ReadChunk(File, at, false, chunk)) return false;
        if (Is(chunk.Code, "fmt ")) {
            unsigned char format[16] = {};
            if (chunk.Size < 16 || !ReadAt(File, at + 8, format, sizeof format)) return false;
            const std::uint64_t perSecond = Little32(format + 8);
            const std::uint64_t block = format[12] | (format[13] << 8);
            needed = std::max<std::uint64_t>({perSecond / 50, block, 1});
        } else if (Is(chunk.Code, "data")) {
            return needed > 0 && Size - (at + 8) >= needed;
        }
        at += 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
    }
    return false;
}

// A whole packet of a picture or sound stream among the first megabytes of an MPEG program stream.
bool MpegHoldsMedia(classlib::TStream& File, std::uint64_t Size) {
    constexpr std::uint64_t kLooked = 1u << 20;
    std::string bytes(static_cast<std::size_t>(std::min(Size, kLooked)), '\0');
    if (bytes.empty() || !ReadAt(File, 0, bytes.data(), static_cast<std::int32_t>(bytes.size()))) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t at = 0; at + 6 <= bytes.size(); ++at) {
        if (b[at] != 0 || b[at + 1] != 0 || b[at + 2] != 1) continue;
        const unsigned id = b[at + 3];
        const bool media = (id >= 0xC0 && id <= 0xEF) || id == 0xBD;
        const std::size_t length = (b[at + 4] << 8) | b[at + 5];
        if (media && length > 0) return at + 6 + length <= Size;
    }
    return false;
}

// A whole data packet after the header object of an ASF file (its packets are of the size the file
// properties give).
bool AsfHoldsMedia(classlib::TStream& File, std::uint64_t Size) {
    unsigned char object[kAsfFilePropertiesSize] = {};
    if (!ReadAt(File, 0, object, 24) || !std::equal(object, object + 16, kAsfHeaderObject)) return false;
    const std::uint64_t header = Little64(object + 16);
    if (header < 30 || header > Size) return false;
    std::uint64_t packet = 0;
    for (std::uint64_t at = 30; at + 24 <= header;) {
        if (!ReadAt(File, at, object, 24)) return false;
        const std::uint64_t length = Little64(object + 16);
        if (length < 24 || length > header - at) return false;
        if (std::equal(object, object + 16, kAsfFileProperties) && length >= kAsfFilePropertiesSize &&
            ReadAt(File, at, object, sizeof object))
            packet = Little32(object + 92);
        at += length;
    }
    if (packet == 0 || !ReadAt(File, header, object, 16) || !std::equal(object, object + 16, kAsfDataObject))
        return false;
    return Size >= header + kAsfEmptyDataObject + packet;
}

}  // namespace

namespace {

bool HoldsMediaIn(classlib::TStream& File, const std::wstring& Name) {
    const std::uint64_t size = static_cast<std::uint64_t>(File.Size());
    const std::wstring extension = classlib::AnsiLowerCase(unicode::WideExtractFileExt(Name));
    if (extension == L".avi") return AviHoldsMedia(File, size);
    if (extension == L".wav" || extension == L".mp3") return WaveHoldsMedia(File, size);
    if (extension == L".mpg") return MpegHoldsMedia(File, size);
    return extension == L".wmv" && AsfHoldsMedia(File, size);
}

}  // namespace

bool RecordingHoldsMedia(const std::wstring& Name) {
    std::unique_ptr<unicode::TUcFileStream> stream = OpenForLook(Name);
    return stream && HoldsMediaIn(*stream, Name);
}

bool RecordingHoldsMedia(HANDLE File, const std::wstring& Name) {
    classlib::THandleStream stream(File);
    return HoldsMediaIn(stream, Name);
}

bool HeldByAnother(HRESULT Result) { return Result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION); }

bool IsFullDisk(HRESULT Result) {
    return Result == HRESULT_FROM_WIN32(ERROR_DISK_FULL) || Result == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) ||
           Result == STG_E_MEDIUMFULL;
}

std::wstring RunRefusal(const std::wstring& File, HRESULT Failure) {
    if (!FAILED(Failure)) Failure = E_FAIL;
    const bool fileRefused = HRESULT_FACILITY(Failure) == FACILITY_WIN32 || HRESULT_FACILITY(Failure) == FACILITY_STORAGE;
    return fileRefused ? CannotWriteText(File, Failure)
                       : classlib::Format(RecText(IDS_REC_CANNOT_RUN), {FailureText(Failure)});
}

std::wstring CannotWriteText(const std::wstring& Name, HRESULT Failure) {
    // Wine tells a name longer than its file system takes as a file not found.
    if (HRESULT_FACILITY(Failure) == FACILITY_WIN32 && NameRefused(HRESULT_CODE(Failure), Name))
        return classlib::Format(RecText(IDS_REC_NAME_TOO_LONG),
                                {Name, unicode::WideExcludeTrailingBackslash(unicode::WideExtractFilePath(Name))});
    return classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {Name, FailureText(Failure)});
}

std::wstring FailureText(HRESULT Result) {
    // The system's own words first (a file system's refusal), then DirectShow's for its codes.
    const std::uint32_t code = HRESULT_FACILITY(Result) == FACILITY_WIN32 ? HRESULT_CODE(Result)
                                                                          : static_cast<std::uint32_t>(Result);
    std::wstring text = classlib::SysErrorMessage(code);
    if (text.empty()) text = dshow::GetErrorString(Result);
    text = classlib::TrimRight(text);
    if (text.empty()) text = classlib::Format(L"error $%.8x", {static_cast<std::uint32_t>(Result)});
    return text;
}

std::wstring SoundInputProblem(const std::wstring& Input, int Operation, unsigned long Error) {
    wchar_t words[MAXERRORLENGTH] = {};
    std::wstring why;
    if (waveInGetErrorTextW(static_cast<MMRESULT>(Error), words, MAXERRORLENGTH) == MMSYSERR_NOERROR)
        why = classlib::TrimRight(words);
    if (why.empty()) why = classlib::Format(L"sound error %d", {static_cast<int>(Error)});
    return classlib::Format(RecText(Operation == SNDDEV_ERROR_Open ? IDS_REC_SOUND_NOT_OPENED : IDS_REC_SOUND_FAILED),
                            {Input, why});
}

}  // namespace ui
