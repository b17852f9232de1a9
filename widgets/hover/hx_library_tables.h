// The tables and lists the Hover library's modules keep from their start-up to their end: text
// tables filled at start and cleared at the end, the colour tables, the run-time type records,
// the property engines, the shared critical section and the shared-memory views.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/graphics.h"

namespace hover {

enum class TWindowsVersion;

// ---- Text tables -------------------------------------------------------------------------------
// Fills (or clears) the text table of one module: "HclWideStrings" (the wide line break),
// "HclRegistry", "HclSysInfo", "HclSysUtils", "HxTypes", "HxHCLUtils", "HxPropertyStore",
// "HxHXLUtils", "HxDragDrop". Before its start and after its end a module's table is empty.
void FillModuleTables(const std::string& Module);
void ClearModuleTables(const std::string& Module);
// The texts of one table of a module (HxHCLUtils has five: Table 0 to 4), empty when not filled.
std::vector<std::string> ModuleTextTable(const std::string& Module, int Table = 0);

// Readers of the tables ("" while the table is empty).
std::string WideLineBreak();                         // CR LF
std::string RootKeyName(HKEY Key, bool Short);       // "HKEY_CURRENT_USER" / "HKCU"
std::string WindowsVersionName(TWindowsVersion Kind);
std::string BoolText(bool Value);                    // "False" / "True"
// True when a property store leaves the property of this name out (without case).
bool IsPropertyLeftOutOfStore(const std::string& Name);

// The three colour tables of HxTypes: 0 the 20 standard colours, 1 the 40 colours of the
// colour palette, 2 the 30 system colours; each entry a colour and its description.
struct THxColorEntry {
    classlib::TColor Color;
    std::string Description;
};
constexpr int ColorTableCount = 3;
int ColorTableSize(int Table);
THxColorEntry ColorTableEntry(int Table, int Index);

// ---- Lists ---------------------------------------------------------------------------------------
// HclRTTI: run-time type records, shared by name and counted; the list is guarded by its own lock.
struct THxTypeRecord {
    std::string Name;
    int RefCount = 0;
};
void CreateTypeRecordList();
// Releases every listed record once (a record is freed at 0), then frees the list.
void FreeTypeRecordList();
// The record of that name, counted once more (made when it is not listed); nullptr without list.
THxTypeRecord* AcquireTypeRecord(const std::string& Name);
void ReleaseTypeRecord(THxTypeRecord* Record);
int TypeRecordCount();

// HxAppStorage: the property engines, each storing the properties of the objects it accepts.
class THxPropertyEngine {
public:
    virtual ~THxPropertyEngine() = default;
    virtual bool Accepts(const classlib::TObject* Object) const = 0;
};
void CreatePropertyEngineList();
void FreePropertyEngineList();
// Takes the engine in (ignored without a list).
void RegisterPropertyEngine(std::unique_ptr<THxPropertyEngine> Engine);
int PropertyEngineCount();
// The first engine that accepts Object, nullptr when none does.
THxPropertyEngine* PropertyEngineFor(const classlib::TObject* Object);

// HclSysUtils: the critical section shared by the code library's routines (made once, kept to
// the end), and the shared-memory views it mapped (all unmapped at the end).
CRITICAL_SECTION* SharedCriticalSection();
void CreateSharedCriticalSection();
void FreeSystemUtilities();
// A view of the named shared memory of Size bytes (made when new); nullptr when the system
// refuses it. The same name gives the same view.
void* SharedMemoryView(const std::string& Name, DWORD Size);
int SharedMemoryViewCount();

}  // namespace hover
