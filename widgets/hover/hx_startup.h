// The Hover library's work before the first form and after the last: the registry of its
// modules' version records (shared by every module of the process through a block of memory at
// a known place), the character tables, the system information with the Windows-version kind,
// the WM_PRINTCLIENT wrapper of windowed controls, OLE and the drag cursors.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hover {

// One module's version record (fixed texts; nothing in the program reads them).
struct TUnitVersionInfo {
    const char* RCSfile;
    const char* Revision;
    const char* Date;
    const char* LogPath;
    const char* Extra;
    void* Data;
};

// The registry: per module instance, its version records.
class TUnitVersioning {
public:
    void Register(HINSTANCE Instance, const TUnitVersionInfo* Info);
    void Unregister(HINSTANCE Instance);
    int ModuleCount() const { return static_cast<int>(modules_.size()); }
    // The records of a module (empty when it has none).
    std::vector<const TUnitVersionInfo*> Records(HINSTANCE Instance) const;

private:
    struct TModule {
        HINSTANCE instance;
        std::vector<const TUnitVersionInfo*> records;
    };
    std::vector<TModule> modules_;
};

// The shared block's layout: every field at a fixed offset, the registry's address in a slot
// wide enough for a pointer on either target.
struct TUnitVersioningBlock {
    std::uint32_t ProcessIdXor1;   // process id XOR 0x23456789
    std::uint32_t Magic1;          // 0xABCDEF01
    std::uint8_t Name[256];        // length byte, then the name
    std::uint32_t RefCount;
    std::uint32_t Unused;
    std::uint32_t ProcessIdXor2;   // process id XOR 0x10FEDCBA
    std::uint32_t Magic2;          // 0x98765432
    std::uint64_t Registry;        // address of the shared TUnitVersioning, 0 for none
};
static_assert(offsetof(TUnitVersioningBlock, RefCount) == 264);
static_assert(offsetof(TUnitVersioningBlock, ProcessIdXor2) == 272);
static_assert(offsetof(TUnitVersioningBlock, Registry) == 280);
static_assert(sizeof(TUnitVersioningBlock) == 288);

// One module's access to the registry: the first use looks for the block named BlockName and
// takes the registry found there, or makes one (stored in the block when there is one, else
// private). Close gives the block back and frees the registry when this link made it. Top is the
// address the candidates count down from (0: the highest application address).
class TUnitVersioningLink {
public:
    explicit TUnitVersioningLink(std::string BlockName = "UnitVersioning", std::uintptr_t Top = 0)
        : blockName_(std::move(BlockName)), top_(Top) {}
    ~TUnitVersioningLink() { Close(); }
    TUnitVersioningLink(const TUnitVersioningLink&) = delete;
    TUnitVersioningLink& operator=(const TUnitVersioningLink&) = delete;
    TUnitVersioning* Registry();
    bool OwnsRegistry() const { return owned_ != nullptr; }
    bool Shared() const { return block_ != nullptr; }
    void Close();

private:
    std::string blockName_;
    std::uintptr_t top_;
    TUnitVersioningBlock* block_ = nullptr;
    TUnitVersioning* registry_ = nullptr;
    std::unique_ptr<TUnitVersioning> owned_;
};

// The address the block of try Index (0 to 20) is looked for at, counting down from Top (0: the
// highest application address).
void* UnitVersioningCandidate(int Index, std::uintptr_t Top = 0);
constexpr int UnitVersioningTries = 21;

// ---- Tables and system information -----------------------------------------------------------
// Character-type words (CT_CTYPE1, the user's locale) of the 256 single-byte characters.
const std::array<WORD, 256>& CharTypeTable();
// Lower-case forms, upper-case forms and case-swapped forms of the 256 characters.
const std::array<std::uint8_t, 768>& CaseMap();

enum class TWindowsVersion {
    wvUnknown, wvWin95, wvWin95OSR2, wvWin98, wvWin98SE, wvWinME, wvWinNT31, wvWinNT35, wvWinNT351,
    wvWinNT4, wvWin2000, wvWinXP, wvWin2003, wvWinXP64, wvWin2003R2, wvWinVista, wvWinServer2008
};
struct TOsFacts {
    int Platform;            // 1 the older family, 2 NT
    int Major, Minor;
    char ServiceLetter;      // the older family's letter, 0 for none
    DWORD KernelVersion;     // the older family's kernel product version (0x0004005A is 4.90)
    bool ServerR2;           // the server-R2 metric
    WORD Architecture;       // native processor architecture
    BYTE ProductType;        // 1 workstation
};
// The kind of a system described by Facts.
TWindowsVersion ClassifyWindowsVersion(const TOsFacts& Facts);

struct TSystemFacts {
    DWORD ProcessorCount = 0;
    DWORD AllocationGranularity = 0;
    DWORD PageSize = 0;
    bool IsNT = false;
    TWindowsVersion Version = TWindowsVersion::wvUnknown;
};
const TSystemFacts& SystemFacts();

// ---- Start-up and end ------------------------------------------------------------------------
// Runs the modules' start-up work in order (idempotent); Finalize undoes it in reverse order.
void InitializeHoverLibrary();
void FinalizeHoverLibrary();
bool HoverLibraryInitialized();
// The registry the Hover modules registered with (nullptr outside start-up and end).
TUnitVersioning* HoverUnitVersioning();
// The drag cursors copied at start (slots 100 to 103), nullptr outside.
HCURSOR HoverCursor(int Slot);

}  // namespace hover
