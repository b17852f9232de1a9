// This process's open handles counted by object type ("Key", "Semaphore", "Event", ...), read from
// the system's handle list: what the checks that repeated work leaves no handle open compare.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace quill_test {

// The system's handle list as the platform lays its entries out.
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

template <typename F>
F NtdllEntry(const char* Name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), Name)));
}

// One of the system's tables, read whole (empty when it cannot be read).
inline std::vector<unsigned char> QuerySystemTable(ULONG Table) {
    using QuerySystem = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = NtdllEntry<QuerySystem>("NtQuerySystemInformation");
    std::vector<unsigned char> buffer(1 << 20);
    for (int tries = 0; query != nullptr && tries < 6; ++tries) {
        ULONG needed = 0;
        if (query(Table, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) == 0) return buffer;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
    }
    return {};
}

// The process's entries of the system's handle list.
inline std::vector<HandleEntry> ProcessHandles(DWORD ProcessId) {
    constexpr ULONG kSystemHandleInformation = 16;
    const std::vector<unsigned char> table = QuerySystemTable(kSystemHandleInformation);
    std::vector<HandleEntry> found;
    if (table.size() < sizeof(ULONG_PTR) + sizeof(HandleEntry)) return found;
    ULONG count = 0;
    std::memcpy(&count, table.data(), sizeof(count));
    // The entries follow the count at the alignment of a pointer.
    const auto* entries = reinterpret_cast<const HandleEntry*>(table.data() + sizeof(ULONG_PTR));
    const size_t room = (table.size() - sizeof(ULONG_PTR)) / sizeof(HandleEntry);
    for (size_t i = 0; i < count && i < room; ++i)
        if (entries[i].processId == static_cast<USHORT>(ProcessId)) found.push_back(entries[i]);
    return found;
}

// A text the system keeps for the object behind a handle (its type's name, its own name), or ""
// when there is none or it cannot be read: both answers start with the text.
inline std::wstring QueryObjectText(HANDLE Handle, ULONG InformationClass) {
    using QueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = NtdllEntry<QueryObject>("NtQueryObject");
    std::vector<unsigned char> info(8192);
    ULONG length = 0;
    if (query == nullptr || query(Handle, InformationClass, info.data(), static_cast<ULONG>(info.size()), &length) != 0)
        return L"";
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(info.data());
    if (text->Buffer == nullptr) return L"";
    return std::wstring(text->Buffer, text->Length / sizeof(wchar_t));
}

// The name of an object's type ("Key", "Event", ...), or "?".
inline std::wstring HandleTypeName(HANDLE Handle) {
    constexpr ULONG kObjectTypeInformation = 2;
    const std::wstring name = QueryObjectText(Handle, kObjectTypeInformation);
    return name.empty() ? L"?" : name;
}

// The name of the object behind a handle (a key's full path, a named event's name), or "".
inline std::wstring HandleObjectName(HANDLE Handle) {
    constexpr ULONG kObjectNameInformation = 1;
    return QueryObjectText(Handle, kObjectNameInformation);
}

// This process's handles by type name; empty when the system's handle list cannot be read.
inline std::map<std::wstring, int> OwnHandlesByType() {
    std::map<std::wstring, int> counts;
    // Each type index is named once, from the first of this process's handles of that type.
    std::map<int, std::wstring> names;
    for (const HandleEntry& e : ProcessHandles(GetCurrentProcessId())) {
        auto named = names.find(e.objectType);
        if (named == names.end())
            named = names.emplace(e.objectType, HandleTypeName(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(e.handle))))
                        .first;
        ++counts[named->second];
    }
    return counts;
}

inline int OwnHandlesOfType(const wchar_t* Type) {
    const std::map<std::wstring, int> counts = OwnHandlesByType();
    const auto found = counts.find(Type);
    return found == counts.end() ? 0 : found->second;
}

}  // namespace quill_test
