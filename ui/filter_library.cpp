#include "ui/filter_library.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/plugins.h"

namespace ui {

namespace {

// The processor this program is built for: a library for another one cannot be loaded into it.
#if defined(_M_X64) || defined(__x86_64__)
constexpr std::uint16_t kOwnMachine = 0x8664;
#else
constexpr std::uint16_t kOwnMachine = 0x014C;
#endif

// Limits of the walk over a file that nobody vouches for.
constexpr std::uint32_t kMaxHeaderOffset = 64u << 20;
constexpr std::uint16_t kMaxSections = 96;
constexpr std::uint32_t kMaxExportNames = 1u << 16;
constexpr std::size_t kMaxExportNameLength = 256;

// Reads a file at given positions; every read is checked against the file's size.
class TFileReader {
public:
    explicit TFileReader(const std::wstring& FileName) {
        file_ = CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size{};
        if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
    }
    ~TFileReader() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;

    bool Open() const { return file_ != INVALID_HANDLE_VALUE; }
    std::uint64_t Size() const { return size_; }

    bool Read(std::uint64_t Offset, void* Buffer, std::uint32_t Length) {
        if (Offset > size_ || Length > size_ - Offset) return false;
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(Offset);
        DWORD got = 0;
        return SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) && ReadFile(file_, Buffer, Length, &got, nullptr) &&
               got == Length;
    }
    template <typename T>
    bool ReadValue(std::uint64_t Offset, T& Value) {
        return Read(Offset, &Value, sizeof(T));
    }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t size_ = 0;
};

struct TSection {
    std::uint32_t VirtualAddress = 0;
    std::uint32_t Extent = 0;  // the larger of the virtual and the raw size
    std::uint32_t RawSize = 0;
    std::uint32_t RawOffset = 0;
};

// The file position of a relative virtual address; false when no section's raw data holds it.
bool RvaToOffset(const std::vector<TSection>& Sections, std::uint32_t Rva, std::uint64_t& Offset) {
    for (const TSection& s : Sections) {
        if (Rva < s.VirtualAddress || Rva - s.VirtualAddress >= s.Extent) continue;
        const std::uint32_t delta = Rva - s.VirtualAddress;
        if (delta >= s.RawSize) return false;
        Offset = static_cast<std::uint64_t>(s.RawOffset) + delta;
        return true;
    }
    return false;
}

// Restores the process's "path" when it goes, whatever happened meanwhile.
class TPathExtension {
public:
    explicit TPathExtension(const std::wstring& Folder) {
        saved_ = ReadEnvironmentVariable(L"path", present_);
        const std::wstring extended = present_ ? saved_ + L";" + Folder : Folder;
        SetEnvironmentVariableW(L"path", extended.c_str());
    }
    ~TPathExtension() { SetEnvironmentVariableW(L"path", present_ ? saved_.c_str() : nullptr); }
    TPathExtension(const TPathExtension&) = delete;
    TPathExtension& operator=(const TPathExtension&) = delete;

private:
    std::wstring saved_;
    bool present_ = false;
};

// A loaded library, freed when it goes unless its code faulted.
class TLoadedLibrary {
public:
    explicit TLoadedLibrary(const std::wstring& FileName) {
        // A missing dependency must not open a box that waits for a person.
        DWORD previous = 0;
        const bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
        module_ = LoadLibraryW(FileName.c_str());
        if (modeSet) SetThreadErrorMode(previous, nullptr);
    }
    ~TLoadedLibrary() {
        if (module_ != nullptr && !faulted_) FreeLibrary(module_);
    }
    void SetFaulted() { faulted_ = true; }
    TLoadedLibrary(const TLoadedLibrary&) = delete;
    TLoadedLibrary& operator=(const TLoadedLibrary&) = delete;
    HMODULE Module() const { return module_; }

private:
    HMODULE module_ = nullptr;
    bool faulted_ = false;
};

using TRegistrationFunction = HRESULT(STDAPICALLTYPE*)();

TRegistrationFunction FindRegistration(HMODULE Module, const char* Name) {
    return reinterpret_cast<TRegistrationFunction>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
}

// Calls a registration function of the library; false when its code faulted.
bool CallGuarded(TRegistrationFunction Function, HRESULT& Result) {
    struct TCall {
        TRegistrationFunction Function;
        HRESULT Result;
    } call{Function, E_FAIL};
    const bool ran = engine::RunGuarded([](void* context) {
        auto* c = static_cast<TCall*>(context);
        c->Result = c->Function();
    }, &call);
    Result = ran ? call.Result : E_FAIL;
    return ran;
}

// The folder of a file name, with its trailing backslash.
std::wstring FolderOf(const std::wstring& FileName) {
    const std::size_t slash = FileName.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : FileName.substr(0, slash + 1);
}

}  // namespace

std::wstring ReadEnvironmentVariable(const wchar_t* Name, bool& Present) {
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD got = GetEnvironmentVariableW(Name, value.data(), static_cast<DWORD>(value.size()));
        if (got == 0) {
            // An empty value answers 0 too, but without "not found".
            Present = GetLastError() != ERROR_ENVVAR_NOT_FOUND;
            return std::wstring();
        }
        if (got < value.size()) {
            value.resize(got);
            Present = true;
            return value;
        }
        // Too small: got is the size needed (its zero included); the value may grow meanwhile.
        value.assign(got, L'\0');
    }
}

TLibraryCheck CheckFilterLibrary(const std::wstring& FileName, const char* ExportName) {
    TFileReader file(FileName);
    if (!file.Open()) return TLibraryCheck::lcUnreadable;

    std::uint16_t mz = 0;
    std::uint32_t peOffset = 0;
    if (!file.ReadValue(0, mz) || mz != 0x5A4D || !file.ReadValue(0x3C, peOffset) || peOffset > kMaxHeaderOffset)
        return TLibraryCheck::lcNotLibrary;
    std::uint32_t signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!file.ReadValue(peOffset, signature) || signature != IMAGE_NT_SIGNATURE ||
        !file.ReadValue(peOffset + 4ull, header))
        return TLibraryCheck::lcNotLibrary;
    if ((header.Characteristics & IMAGE_FILE_DLL) == 0) return TLibraryCheck::lcNotLibrary;
    if (header.Machine != kOwnMachine) return TLibraryCheck::lcOtherProcessor;

    // The optional header: its kind tells where the data directories are.
    const std::uint64_t optional = peOffset + 4ull + sizeof(IMAGE_FILE_HEADER);
    std::uint16_t magic = 0;
    if (!file.ReadValue(optional, magic)) return TLibraryCheck::lcNotLibrary;
    std::uint64_t countAt = 0;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        countAt = optional + offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes);
    else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        countAt = optional + offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes);
    else
        return TLibraryCheck::lcNotLibrary;
    std::uint32_t directoryCount = 0;
    IMAGE_DATA_DIRECTORY exports{};
    if (!file.ReadValue(countAt, directoryCount)) return TLibraryCheck::lcNotLibrary;
    if (directoryCount <= IMAGE_DIRECTORY_ENTRY_EXPORT ||
        countAt + 4 + sizeof(IMAGE_DATA_DIRECTORY) > optional + header.SizeOfOptionalHeader ||
        !file.ReadValue(countAt + 4, exports) || exports.VirtualAddress == 0)
        return TLibraryCheck::lcNoExport;

    if (header.NumberOfSections == 0 || header.NumberOfSections > kMaxSections) return TLibraryCheck::lcNotLibrary;
    std::vector<TSection> sections;
    const std::uint64_t table = optional + header.SizeOfOptionalHeader;
    for (std::uint16_t i = 0; i < header.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER raw{};
        if (!file.ReadValue(table + i * static_cast<std::uint64_t>(sizeof raw), raw)) return TLibraryCheck::lcNotLibrary;
        sections.push_back(TSection{raw.VirtualAddress, std::max<std::uint32_t>(raw.Misc.VirtualSize, raw.SizeOfRawData),
                                    raw.SizeOfRawData, raw.PointerToRawData});
    }

    std::uint64_t directoryAt = 0;
    IMAGE_EXPORT_DIRECTORY directory{};
    if (!RvaToOffset(sections, exports.VirtualAddress, directoryAt) || !file.ReadValue(directoryAt, directory))
        return TLibraryCheck::lcNoExport;
    std::uint64_t namesAt = 0;
    if (directory.NumberOfNames == 0 || directory.NumberOfNames > kMaxExportNames ||
        !RvaToOffset(sections, directory.AddressOfNames, namesAt))
        return TLibraryCheck::lcNoExport;
    const std::size_t wanted = std::strlen(ExportName);
    for (std::uint32_t i = 0; i < directory.NumberOfNames; ++i) {
        std::uint32_t nameRva = 0;
        std::uint64_t nameAt = 0;
        if (!file.ReadValue(namesAt + 4ull * i, nameRva) || !RvaToOffset(sections, nameRva, nameAt)) continue;
        char name[kMaxExportNameLength + 1] = {};
        const std::uint64_t left = file.Size() - std::min(file.Size(), nameAt);
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted + 1, left));
        if (length == wanted + 1 && file.Read(nameAt, name, length) && std::memcmp(name, ExportName, wanted + 1) == 0)
            return TLibraryCheck::lcLibrary;
    }
    return TLibraryCheck::lcNoExport;
}

TRegistrationOutcome RegisterFilterLibrary(const std::wstring& FileName, bool Install) {
    TRegistrationOutcome outcome;
    const char* exportName = Install ? "DllRegisterServer" : "DllUnregisterServer";
    outcome.Check = CheckFilterLibrary(FileName, exportName);
    if (outcome.Check != TLibraryCheck::lcLibrary) return outcome;

    TPathExtension path(FolderOf(FileName));
    TLoadedLibrary library(FileName);
    if (library.Module() == nullptr) return outcome;
    const TRegistrationFunction function = FindRegistration(library.Module(), exportName);
    if (function == nullptr) return outcome;
    outcome.Loaded = true;
    outcome.Faulted = !CallGuarded(function, outcome.Result);
    if (Install && FAILED(outcome.Result)) {
        // What the library wrote before it failed goes again.
        if (const TRegistrationFunction undo = FindRegistration(library.Module(), "DllUnregisterServer")) {
            HRESULT undone = E_FAIL;
            if (CallGuarded(undo, undone))
                outcome.RolledBack = true;
            else
                outcome.Faulted = true;
        }
    }
    if (outcome.Faulted) library.SetFaulted();
    return outcome;
}

}  // namespace ui
