#include "tests/support/ProcessHandles.h"

#include "base/TextConvert.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace Velora::Test {

namespace {

// The extended handle table: handle values are pointer-sized, so it lists
// every handle of a process, not only those below 65536.
constexpr SYSTEM_INFORMATION_CLASS kSystemExtendedHandleInformation = SYSTEM_INFORMATION_CLASS(64);
constexpr NTSTATUS kInfoLengthMismatch = NTSTATUS(0xC0000004);

struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

// The type or object name as NtQueryObject gives it; empty on failure.
std::wstring QueryObjectText(HANDLE handle, OBJECT_INFORMATION_CLASS what)
{
    std::vector<ULONG_PTR> buffer(1024);
    ULONG length = 0;
    if (!NT_SUCCESS(NtQueryObject(handle, what, buffer.data(), ULONG(buffer.size() * sizeof(ULONG_PTR)), &length))) {
        return std::wstring();
    }
    const UNICODE_STRING& text = *reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    return text.Buffer ? std::wstring(text.Buffer, text.Length / sizeof(wchar_t)) : std::wstring();
}

} // namespace

int HandleCounts::Of(const std::wstring& type) const
{
    const auto found = byType.find(type);
    return found == byType.end() ? 0 : found->second;
}

HandleCounts CountProcessHandles()
{
    std::vector<ULONG_PTR> buffer(1 << 16);
    ULONG length = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemExtendedHandleInformation, buffer.data(),
                                              ULONG(buffer.size() * sizeof(ULONG_PTR)), &length)) ==
           kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    HandleCounts counts;
    if (!NT_SUCCESS(status)) return counts;
    const HandleTable& table = *reinterpret_cast<const HandleTable*>(buffer.data());
    const ULONG_PTR self = GetCurrentProcessId();
    for (ULONG_PTR i = 0; i < table.count; ++i) {
        if (table.entries[i].processId != self) continue;
        const HANDLE handle = reinterpret_cast<HANDLE>(table.entries[i].handle);
        // Only keys are asked for their names: asking a pipe may block.
        const std::wstring type = QueryObjectText(handle, ObjectTypeInformation);
        ++counts.byType[type.empty() ? L"?" : type];
        if (type == L"Key") {
            const std::wstring name = QueryObjectText(handle, ObjectNameInformation);
            ++counts.keysByName[name.empty() ? L"?" : name];
        }
    }
    return counts;
}

std::string DescribeChange(const HandleCounts& before, const HandleCounts& after)
{
    std::vector<std::pair<int, std::wstring>> changes;
    const auto compare = [&changes](const std::map<std::wstring, int>& from, const std::map<std::wstring, int>& to,
                                    const std::wstring& prefix) {
        std::map<std::wstring, int> delta;
        for (const auto& [name, count] : to) delta[name] += count;
        for (const auto& [name, count] : from) delta[name] -= count;
        for (const auto& [name, change] : delta) {
            if (change) changes.emplace_back(change, prefix + name);
        }
    };
    compare(before.byType, after.byType, L"");
    compare(before.keysByName, after.keysByName, L"Key ");
    std::stable_sort(changes.begin(), changes.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string text;
    for (const auto& [change, what] : changes) {
        text += (change > 0 ? "+" : "") + std::to_string(change) + " " + ToMultiByte(what) + "\n";
    }
    return text;
}

} // namespace Velora::Test
