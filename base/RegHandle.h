// One open registry key and the Windows error code of its last failed call.
#pragma once

#include "base/RegValue.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Velora {

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
    // Creates the key with full rights, or opens it when it exists; options
    // as RegCreateKeyExW takes them (REG_OPTION_VOLATILE for a key that is
    // gone at the next start).
    bool Create(HKEY parent, const std::wstring& subkey, DWORD options = REG_OPTION_NON_VOLATILE);
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
    // Lists the names of values and subkeys. A vector whose kind the key has
    // none of keeps its contents; a key that may not be listed answers true
    // with both vectors untouched.
    bool Enumerate(std::vector<std::wstring>& values, std::vector<std::wstring>& subkeys);

    VLKeyHandle key;
    LONG lastError = ERROR_SUCCESS;

private:
    bool Check(LONG result)
    {
        if (result != ERROR_SUCCESS) lastError = result;
        return result == ERROR_SUCCESS;
    }
};

} // namespace Velora
