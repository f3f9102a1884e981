#include "tests/install/TestRegKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

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
