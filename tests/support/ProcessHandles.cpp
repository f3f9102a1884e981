#include "tests/support/ProcessHandles.h"

#include <windows.h>
#include <winternl.h>

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

std::wstring TypeName(HANDLE handle)
{
    std::vector<ULONG_PTR> buffer(1024);
    ULONG length = 0;
    if (!NT_SUCCESS(NtQueryObject(handle, ObjectTypeInformation, buffer.data(),
                                  ULONG(buffer.size() * sizeof(ULONG_PTR)), &length))) {
        return L"?";
    }
    const UNICODE_STRING& text = *reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    return std::wstring(text.Buffer, text.Length / sizeof(wchar_t));
}

} // namespace

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
        if (table.entries[i].processId == self) ++counts[TypeName(reinterpret_cast<HANDLE>(table.entries[i].handle))];
    }
    return counts;
}

} // namespace Velora::Test
