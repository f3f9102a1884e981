#include "install/IniFile.h"

namespace Velora {

namespace {

DWORD Write(const std::wstring& file, const std::wstring& section, const wchar_t* key, const wchar_t* value)
{
    return WritePrivateProfileStringW(section.c_str(), key, value, file.c_str()) ? 0 : GetLastError();
}

} // namespace

DWORD WriteIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value)
{
    return Write(file, section, key.c_str(), value.c_str());
}

DWORD DeleteIniSection(const std::wstring& file, const std::wstring& section)
{
    return Write(file, section, nullptr, nullptr);
}

DWORD DeleteIniKey(const std::wstring& file, const std::wstring& section, const std::wstring& key)
{
    return Write(file, section, key.c_str(), nullptr);
}

} // namespace Velora
