#include "install/IniFile.h"

#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <algorithm>
#include <cstring>

namespace Velora {

namespace {

DWORD Write(const std::wstring& file, const std::wstring& section, const wchar_t* key, const wchar_t* value)
{
    return WritePrivateProfileStringW(section.c_str(), key, value, file.c_str()) ? 0 : GetLastError();
}

// What the profile functions take for blanks around names and values.
constexpr wchar_t kBlanks[] = L" \t\r\n\v\f\x1a";

std::wstring Trimmed(std::wstring text)
{
    TrimLeft(text, kBlanks);
    TrimRight(text, kBlanks);
    return text;
}

std::wstring DecodeIni(const std::string& bytes)
{
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
        std::wstring text((bytes.size() - 2) / sizeof(wchar_t), L'\0');
        std::memcpy(&text[0], bytes.data() + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return MultiByteToWideCP(bytes.data() + 3, int(bytes.size() - 3), CP_UTF8, nullptr);
    return MultiByteToWide(bytes.data(), int(bytes.size()));
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

std::string FormatIniEntry(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    return WideToMultiByte(L"[" + section + L"]\r\n" + key + L"=" + value + L"\r\n", 0, nullptr, nullptr);
}

bool FindIniValue(const std::string& bytes, const std::wstring& section, const std::wstring& key,
                  std::wstring& value)
{
    const std::wstring text = DecodeIni(bytes);
    bool inSection = false;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        const std::wstring line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        const size_t close = line.rfind(L']');
        if (!line.empty() && line[0] == L'[' && close != std::wstring::npos) {
            if (inSection) return false;
            inSection = CompareNoCase(Trimmed(line.substr(1, close - 1)), section) == 0;
            continue;
        }
        const size_t equals = line.find(L'=');
        if (!inSection || equals == std::wstring::npos || CompareNoCase(Trimmed(line.substr(0, equals)), key) != 0)
            continue;
        value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return true;
    }
    return false;
}

} // namespace Velora
