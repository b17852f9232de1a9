// This process's open handles counted by object type ("Key", "Semaphore", "Event", ...), read from
// the system's handle list: what the checks that repeated work leaves no handle open compare.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace quill_test {

namespace handle_counts_detail {

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
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

template <typename F>
F Ntdll(const char* Name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), Name)));
}

inline std::wstring TypeOf(HANDLE Handle) {
    using QueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = Ntdll<QueryObject>("NtQueryObject");
    constexpr ULONG kObjectTypeInformation = 2;
    std::vector<unsigned char> info(4096);
    ULONG length = 0;
    if (query == nullptr ||
        query(Handle, kObjectTypeInformation, info.data(), static_cast<ULONG>(info.size()), &length) != 0)
        return L"?";
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(info.data());
    return std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
}

}  // namespace handle_counts_detail

// Empty when the system's handle list cannot be read.
inline std::map<std::wstring, int> OwnHandlesByType() {
    using namespace handle_counts_detail;
    using QuerySystem = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = Ntdll<QuerySystem>("NtQuerySystemInformation");
    constexpr ULONG kSystemHandleInformation = 16;
    std::map<std::wstring, int> counts;
    if (query == nullptr) return counts;
    std::vector<unsigned char> table(1 << 20);
    bool read = false;
    for (int tries = 0; tries < 6 && !read; ++tries) {
        ULONG needed = 0;
        read = query(kSystemHandleInformation, table.data(), static_cast<ULONG>(table.size()), &needed) == 0;
        if (!read) table.resize(std::max<size_t>(table.size() * 2, needed + 65536));
    }
    if (!read || table.size() < sizeof(HandleList)) return counts;
    const auto* list = reinterpret_cast<const HandleList*>(table.data());
    const size_t room = (table.size() - offsetof(HandleList, entries)) / sizeof(HandleEntry);
    const auto self = static_cast<USHORT>(GetCurrentProcessId());
    // Each type index is named once, from the first of this process's handles of that type.
    std::map<int, std::wstring> names;
    for (size_t i = 0; i < list->count && i < room; ++i) {
        const HandleEntry& e = list->entries[i];
        if (e.processId != self) continue;
        auto named = names.find(e.objectType);
        if (named == names.end())
            named = names.emplace(e.objectType, TypeOf(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(e.handle)))).first;
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
