// A private key under HKCU\Software for one test, removed with its subtree
// when the test ends, and small helpers to look at what the registry holds
// and to build records and byte blocks.
#pragma once

#include "install/RegKey.h"

#include <windows.h>

#include <string>

namespace Velora {

class TestRegKey {
public:
    TestRegKey();
    ~TestRegKey();
    TestRegKey(const TestRegKey&) = delete;
    TestRegKey& operator=(const TestRegKey&) = delete;

    // Path below HKEY_CURRENT_USER, and the same as a full key name.
    const std::wstring& Path() const { return path_; }
    std::wstring FullName() const { return L"HKEY_CURRENT_USER\\" + path_; }
    std::wstring Sub(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

bool KeyExists(const std::wstring& path);
// Makes a volatile key: the registry refuses lasting keys below it.
void PutVolatileKey(const std::wstring& path);
// Makes a key with a class name (RegCreateKeyEx's class).
void PutClassKey(const std::wstring& path, const std::wstring& keyClass);
// Whether the key is volatile: a lasting key may not be made below it.
bool IsVolatileKey(const std::wstring& path);
// The tree below HKEY_CURRENT_USER\path as the registry holds it: each key's
// volatility, security and class name, each value's name, type number and bytes.
std::wstring Snapshot(const std::wstring& path);
// Writes one value straight through the Win32 call, bypassing the code under test.
void PutValue(const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size);
void PutString(const std::wstring& path, const std::wstring& name, const std::wstring& text,
               DWORD type = REG_SZ);
void PutDword(const std::wstring& path, const std::wstring& name, DWORD value);
// The value's type and raw bytes; false when it does not exist.
bool GetValue(const std::wstring& path, const std::wstring& name, DWORD& type, std::string& bytes);
// The raw bytes of a text with its terminator, as the registry stores REG_SZ.
std::string TextBytes(const std::wstring& text);

std::string Bytes(const VLBuffer<unsigned char>& buffer);
void SetBytes(VLBuffer<unsigned char>& buffer, const std::string& bytes);
VLRegValue StringValue(const std::wstring& name, const std::wstring& text);
// The value as raw registry bytes.
std::string RawBytes(const VLRegValue& value);

} // namespace Velora
