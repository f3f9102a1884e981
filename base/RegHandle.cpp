#include "base/RegHandle.h"

#include "base/MachineEnvironment.h"
#include "base/StringUtil.h"

#include <cwchar>

namespace Velora {

namespace {

// Replaces names with the count names RegEnumKeyExW or RegEnumValueW lists;
// answers the result of the last call, as the caller reports only that one.
template <typename EnumFunction>
LONG ListNames(HKEY key, EnumFunction enumerate, DWORD count, DWORD longest, std::vector<std::wstring>& names)
{
    LONG last = ERROR_SUCCESS;
    names.clear();
    names.reserve(count);
    std::vector<wchar_t> name(longest + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = DWORD(name.size());
        last = enumerate(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (last == ERROR_SUCCESS) names.emplace_back(name.data(), length);
    }
    return last;
}

} // namespace

int CompareRegNames(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength)
{
    // The system's own folding, which is the registry's: the C library's
    // folds ASCII letters only.
    return CompareStringOrdinal(a, int(aLength), b, int(bLength), TRUE) - CSTR_EQUAL;
}

bool VLRegHandle::Open(HKEY parent, const std::wstring& subkey, REGSAM access)
{
    Close();
    HKEY opened = nullptr;
    if (!Check(RegOpenKeyExW(parent, subkey.c_str(), 0, access, &opened))) return false;
    key.Reset(opened);
    return true;
}

bool VLRegHandle::Create(HKEY parent, const std::wstring& subkey, DWORD options, REGSAM access, DWORD* disposition,
                         const std::wstring& keyClass)
{
    Close();
    HKEY created = nullptr;
    wchar_t* const classText = keyClass.empty() ? nullptr : const_cast<wchar_t*>(keyClass.c_str());
    if (!Check(RegCreateKeyExW(parent, subkey.c_str(), 0, classText, options, access, nullptr, &created,
                               disposition))) {
        return false;
    }
    key.Reset(created);
    return true;
}

bool VLRegHandle::SetValue(const std::wstring& name, const VLRegValue& value)
{
    VLBuffer<unsigned char> bytes;
    if (!value.GetRawData(bytes)) return false;
    return Check(RegSetValueExW(key.Get(), name.c_str(), 0, value.type, bytes.data, bytes.size));
}

bool VLRegHandle::QueryString(std::wstring& out, const std::wstring& name)
{
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer);
    if (!Check(RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size))) {
        out.clear();
        return false;
    }
    out.assign(buffer, wcsnlen(buffer, size / sizeof(wchar_t)));
    return true;
}

bool VLRegHandle::QueryDword(DWORD& out, const std::wstring& name)
{
    out = 0;
    DWORD size = sizeof(out);
    return Check(RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&out), &size));
}

bool VLRegHandle::QueryValue(const std::wstring& name, VLRegValue& value)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (!Check(RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size))) return false;
    VLBuffer<unsigned char> bytes(size);
    bytes.size = size;
    value.type = type;
    if (!Check(RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, bytes.data, &size))) {
        return false;
    }
    value.SetRawData(bytes.data, size);
    return true;
}

bool VLRegHandle::QueryTypedDword(DWORD& out, const std::wstring& name)
{
    out = 0;
    VLRegValue value;
    if (!QueryValue(name, value)) return false;
    // The value keeps the bytes it was read with: a REG_DWORD of any other
    // size holds no number.
    const LONG meaning =
        value.type != REG_DWORD ? ERROR_DATATYPE_MISMATCH : value.data.size != 4 ? ERROR_INVALID_DATA : ERROR_SUCCESS;
    if (!Check(meaning)) return false;
    out = value.dwordValue;
    return true;
}

bool VLRegHandle::QueryTypedString(std::wstring& out, const std::wstring& name)
{
    return QueryText(out, name, ExpandEnvironment);
}

bool VLRegHandle::QueryTypedMachineString(std::wstring& out, const std::wstring& name)
{
    return QueryText(out, name, ExpandMachineEnvironment);
}

bool VLRegHandle::QueryText(std::wstring& out, const std::wstring& name, std::wstring (*expand)(const std::wstring&))
{
    out.clear();
    VLRegValue value;
    if (!QueryValue(name, value)) return false;
    if (!Check(value.type == REG_SZ || value.type == REG_EXPAND_SZ ? ERROR_SUCCESS : ERROR_DATATYPE_MISMATCH)) {
        return false;
    }
    const std::wstring text = value.text.substr(0, value.text.find(L'\0'));
    out = value.type == REG_EXPAND_SZ ? expand(text) : text;
    return true;
}

template <typename ListValues>
bool VLRegHandle::EnumerateWith(std::vector<std::wstring>& subkeys, ListValues listValues)
{
    // The key's class is not asked for: a class longer than any buffer given
    // for it would fail the whole call.
    DWORD subkeyCount = 0, longestSubkey = 0, valueCount = 0, longestValue = 0, longestData = 0;
    const LONG info = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeyCount, &longestSubkey, nullptr,
                                       &valueCount, &longestValue, &longestData, nullptr, nullptr);
    if (info != ERROR_SUCCESS) {
        lastError = info;
        return info == ERROR_ACCESS_DENIED;
    }

    LONG last = ERROR_SUCCESS;
    if (subkeyCount) last = ListNames(key.Get(), RegEnumKeyExW, subkeyCount, longestSubkey, subkeys);
    if (valueCount) last = listValues(valueCount, longestValue, longestData);
    return Check(last);
}

bool VLRegHandle::Enumerate(std::vector<std::wstring>& values, std::vector<std::wstring>& subkeys)
{
    return EnumerateWith(subkeys, [&](DWORD count, DWORD longest, DWORD) {
        return ListNames(key.Get(), RegEnumValueW, count, longest, values);
    });
}

bool VLRegHandle::Enumerate(std::vector<VLRegValue>& values, std::vector<std::wstring>& subkeys)
{
    // One call per value gives its name, type and bytes together.
    return EnumerateWith(subkeys, [&](DWORD count, DWORD longest, DWORD longestData) {
        values.clear();
        values.reserve(count);
        std::vector<wchar_t> name(longest + 1);
        VLBuffer<unsigned char> bytes(longestData + 1);
        LONG last = ERROR_SUCCESS;
        for (DWORD i = 0; i < count && last == ERROR_SUCCESS; ++i) {
            DWORD length = DWORD(name.size()), type = REG_NONE, size = bytes.capacity;
            last = RegEnumValueW(key.Get(), i, name.data(), &length, nullptr, &type, bytes.data, &size);
            if (last != ERROR_SUCCESS) break;
            values.emplace_back(type, std::wstring(name.data(), length));
            values.back().SetRawData(bytes.data, size);
        }
        return last;
    });
}

} // namespace Velora
