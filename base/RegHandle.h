// One open registry key and the Windows error code of its last failed call.
#pragma once

#include "base/RegValue.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Velora {

// Compares two key or value names as the registry matches them: ordinally,
// with every letter folded to its capital letter, in any script, not only
// ASCII. Less than, equal to or greater than zero.
int CompareRegNames(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength);
inline int CompareRegNames(const std::wstring& a, const std::wstring& b)
{
    return CompareRegNames(a.data(), a.size(), b.data(), b.size());
}

// Orders names as the registry matches them, for sorted lookups.
struct RegNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return CompareRegNames(a, b) < 0; }
};

// An open registry key, closed with RegCloseKey.
using VLKeyHandle = VLUniqueHandle<HKEY, &RegCloseKey>;

// Every operation answers a bool and, on failure, leaves the code in lastError
// for the caller to report; a success leaves lastError as it was. The key is
// closed on destruction.
class VLRegHandle {
public:
    void Close() { key.Reset(); }
    // Opens an existing key with the given rights; never creates one.
    bool Open(HKEY parent, const std::wstring& subkey, REGSAM access);
    // Creates the key, or opens it when it exists; options as RegCreateKeyExW
    // takes them (REG_OPTION_VOLATILE for a key that is gone at the next
    // start). disposition, when given, tells which of the two happened; a
    // key made here gets keyClass as its class name when it is not empty.
    bool Create(HKEY parent, const std::wstring& subkey, DWORD options = REG_OPTION_NON_VOLATILE,
                REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr,
                const std::wstring& keyClass = std::wstring());
    bool SetValue(const std::wstring& name, const VLRegValue& value);
    // The value's bytes as text up to the first terminator, whatever its type;
    // values of more than 511 characters fail (ERROR_MORE_DATA).
    bool QueryString(std::wstring& out, const std::wstring& name);
    // out is 0 after any failure; a value of any type up to 4 bytes is read.
    bool QueryDword(DWORD& out, const std::wstring& name);
    bool QueryValue(const std::wstring& name, VLRegValue& value);
    // What the value means, read only from the type that means it: a number
    // from a REG_DWORD of 4 bytes; text from a REG_SZ, or from a REG_EXPAND_SZ
    // with its %NAME% references expanded, up to the first terminator. A value
    // of another type fails with ERROR_DATATYPE_MISMATCH. out is 0 or empty
    // after any failure.
    bool QueryTypedDword(DWORD& out, const std::wstring& name);
    bool QueryTypedString(std::wstring& out, const std::wstring& name);
    // The same, with a REG_EXPAND_SZ expanded from the machine's own variables
    // (ExpandMachineEnvironment), which the user's environment cannot move.
    bool QueryTypedMachineString(std::wstring& out, const std::wstring& name);
    // Lists the names of values and subkeys. A vector whose kind the key has
    // none of keeps its contents; a key that may not be listed answers true
    // with both vectors untouched.
    bool Enumerate(std::vector<std::wstring>& values, std::vector<std::wstring>& subkeys);
    // The same, with each value's type and bytes read as it is listed.
    bool Enumerate(std::vector<VLRegValue>& values, std::vector<std::wstring>& subkeys);

    VLKeyHandle key;
    LONG lastError = ERROR_SUCCESS;

private:
    // A REG_SZ, or a REG_EXPAND_SZ put through expand.
    bool QueryText(std::wstring& out, const std::wstring& name, std::wstring (*expand)(const std::wstring&));
    // Lists the subkeys, then calls listValues(count, longest name, longest
    // data) when there are values, and answers the result of the last call.
    template <typename ListValues>
    bool EnumerateWith(std::vector<std::wstring>& subkeys, ListValues listValues);
    bool Check(LONG result)
    {
        if (result != ERROR_SUCCESS) lastError = result;
        return result == ERROR_SUCCESS;
    }
};

} // namespace Velora
