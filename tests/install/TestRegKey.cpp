#include "tests/install/TestRegKey.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace Velora {

TestRegKey::TestRegKey()
{
    static std::atomic<unsigned> serial{0};
    path_ = L"Software\\VLTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++serial);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (key) RegCloseKey(key);
}

TestRegKey::~TestRegKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
}

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void PutVolatileKey(const std::wstring& path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (key) RegCloseKey(key);
}

void PutClassKey(const std::wstring& path, const std::wstring& keyClass)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, const_cast<wchar_t*>(keyClass.c_str()), 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (key) RegCloseKey(key);
}

bool IsVolatileKey(const std::wstring& path)
{
    const std::wstring probe = path + L"\\VLTestLastingProbe";
    HKEY key = nullptr;
    const LONG result =
        RegCreateKeyExW(HKEY_CURRENT_USER, probe.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key) RegCloseKey(key);
    if (result == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CURRENT_USER, probe.c_str());
    return result == ERROR_CHILD_MUST_BE_VOLATILE;
}

std::wstring Snapshot(const std::wstring& path)
{
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) return path + L" not opened: " + std::to_wstring(opened) + L"\n";
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::vector<BYTE> data(1 << 20); // the largest value the registry keeps
    DWORD size = DWORD(data.size());
    wchar_t *sddl = nullptr, name[16384];
    DWORD length = 16384;
    if (RegQueryInfoKeyW(key, name, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
        length = 0;
    const std::wstring keyClass(name, length);
    if (RegGetKeySecurity(key, parts, data.data(), &size) == ERROR_SUCCESS)
        ConvertSecurityDescriptorToStringSecurityDescriptorW(data.data(), SDDL_REVISION_1, parts, &sddl, nullptr);
    std::wstring out = path + (IsVolatileKey(path) ? L" volatile " : L" ") + (sddl ? sddl : L"?") + L" class \"" +
                       keyClass + L"\"\n";
    LocalFree(sddl);
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        length = 16384;
        size = DWORD(data.size());
        if (RegEnumValueW(key, index, name, &length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
        out += L"  \"" + std::wstring(name, length) + L"\" type " + std::to_wstring(type) + L":";
        for (DWORD i = 0; i < size; ++i) out += L" " + std::to_wstring(data[i]);
        out += L"\n";
    }
    for (DWORD index = 0, length = 256;
         RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = 256)
        out += Snapshot(path + L"\\" + std::wstring(name, length));
    RegCloseKey(key);
    return out;
}

void PutValue(const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size)
{
    // Opened first: Wine takes the class name from a making of a key that
    // is there already, and would clear it.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void PutString(const std::wstring& path, const std::wstring& name, const std::wstring& text,
               DWORD type)
{
    PutValue(path, name, type, text.c_str(), DWORD(text.size() + 1) * 2);
}

void PutDword(const std::wstring& path, const std::wstring& name, DWORD value)
{
    PutValue(path, name, REG_DWORD, &value, 4);
}

bool GetValue(const std::wstring& path, const std::wstring& name, DWORD& type, std::string& bytes)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        result = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(&bytes[0]), &size);
        bytes.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string TextBytes(const std::wstring& text)
{
    const char* begin = reinterpret_cast<const char*>(text.c_str());
    return std::string(begin, (text.size() + 1) * 2);
}

std::string Bytes(const VLBuffer<unsigned char>& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.data), buffer.size);
}

void SetBytes(VLBuffer<unsigned char>& buffer, const std::string& bytes)
{
    buffer.size = 0;
    buffer.SetCapacity(uint32_t(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer.data);
    buffer.size = uint32_t(bytes.size());
}

VLRegValue StringValue(const std::wstring& name, const std::wstring& text)
{
    VLRegValue value(REG_SZ, name);
    value.text = text;
    return value;
}

std::string RawBytes(const VLRegValue& value)
{
    VLBuffer<unsigned char> raw;
    value.GetRawData(raw);
    return Bytes(raw);
}

} // namespace Velora
