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

bool IsVolatileKey(const std::wstring& path)
{
    const std::wstring probe = path + L"\\VLTestLastingProbe";
    HKEY key = nullptr;
    const LONG result =
        RegCreateKeyExW(HKEY_CURRENT_USER, probe.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result == ERROR_CHILD_MUST_BE_VOLATILE;
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_CURRENT_USER, probe.c_str());
    return false;
}

namespace {

std::string Utf8(const std::wstring& text)
{
    std::string out(text.size() * 3, '\0');
    out.resize(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], int(out.size()), nullptr, nullptr));
    return out;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : bytes) out += {digits[byte >> 4], digits[byte & 15], ' '};
    return out;
}

// The key's owner, group and access list in SDDL form.
std::string Security(HKEY key)
{
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::string descriptor(4096, '\0');
    DWORD size = DWORD(descriptor.size());
    wchar_t* text = nullptr;
    if (RegGetKeySecurity(key, parts, &descriptor[0], &size) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(&descriptor[0], SDDL_REVISION_1, parts, &text, nullptr)) {
        return "?";
    }
    const std::string sddl = Utf8(text);
    LocalFree(text);
    return sddl;
}

void SnapshotKey(const std::wstring& path, const std::wstring& relative, std::string& out)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        out += "unreadable " + Utf8(relative) + "\n";
        return;
    }
    out += "key " + Utf8(relative) + (IsVolatileKey(path) ? " volatile" : "") + " " + Security(key) + "\n";
    wchar_t name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string bytes(size, '\0');
        length = 16384;
        RegEnumValueW(key, index, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
        out += "  \"" + Utf8(std::wstring(name, length)) + "\" type " + std::to_string(type) + ": " + Hex(bytes) + "\n";
    }
    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(name, length);
    }
    RegCloseKey(key);
    for (const std::wstring& subkey : subkeys) SnapshotKey(path + L"\\" + subkey, relative + L"\\" + subkey, out);
}

} // namespace

std::string Snapshot(const std::wstring& path)
{
    std::string out;
    if (KeyExists(path)) SnapshotKey(path, L"", out);
    return out;
}

void PutValue(const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
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
