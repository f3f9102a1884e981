#include "base/RegHandle.h"

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

bool VLRegHandle::Open(HKEY parent, const std::wstring& subkey, REGSAM access)
{
    Close();
    HKEY opened = nullptr;
    if (!Check(RegOpenKeyExW(parent, subkey.c_str(), 0, access, &opened))) return false;
    key.Reset(opened);
    return true;
}

bool VLRegHandle::Create(HKEY parent, const std::wstring& subkey, DWORD options)
{
    Close();
    HKEY created = nullptr;
    if (!Check(RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, options,
                               KEY_ALL_ACCESS, nullptr, &created, nullptr))) {
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
    return Check(value.SetRawData(bytes.data, size) ? ERROR_SUCCESS : ERROR_INVALID_DATA);
}

bool VLRegHandle::QueryTypedDword(DWORD& out, const std::wstring& name)
{
    out = 0;
    VLRegValue value;
    if (!QueryValue(name, value)) return false;
    // A REG_DWORD of any other size than 4 bytes is refused by QueryValue.
    if (!Check(value.type == REG_DWORD ? ERROR_SUCCESS : ERROR_DATATYPE_MISMATCH)) return false;
    out = value.dwordValue;
    return true;
}

bool VLRegHandle::QueryTypedString(std::wstring& out, const std::wstring& name)
{
    out.clear();
    VLRegValue value;
    if (!QueryValue(name, value)) return false;
    if (!Check(value.type == REG_SZ || value.type == REG_EXPAND_SZ ? ERROR_SUCCESS : ERROR_DATATYPE_MISMATCH)) {
        return false;
    }
    const std::wstring text = value.text.substr(0, value.text.find(L'\0'));
    out = value.type == REG_EXPAND_SZ ? ExpandEnvironment(text) : text;
    return true;
}

bool VLRegHandle::Enumerate(std::vector<std::wstring>& values, std::vector<std::wstring>& subkeys)
{
    // The key's class is not asked for: a class longer than any buffer given
    // for it would fail the whole call.
    DWORD subkeyCount = 0, longestSubkey = 0, valueCount = 0, longestValue = 0;
    const LONG info = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeyCount, &longestSubkey, nullptr,
                                       &valueCount, &longestValue, nullptr, nullptr, nullptr);
    if (info != ERROR_SUCCESS) {
        lastError = info;
        return info == ERROR_ACCESS_DENIED;
    }

    LONG last = ERROR_SUCCESS;
    if (subkeyCount) last = ListNames(key.Get(), RegEnumKeyExW, subkeyCount, longestSubkey, subkeys);
    if (valueCount) last = ListNames(key.Get(), RegEnumValueW, valueCount, longestValue, values);
    return Check(last);
}

} // namespace Velora
