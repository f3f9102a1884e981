#include "base/TextConvert.h"

#include <memory>

namespace Velora {

std::wstring MultiByteToWideCP(const char* text, int length, UINT codePage, bool* ok)
{
    if (ok) *ok = false;
    if (!text) {
        if (ok) *ok = true;
        return std::wstring();
    }
    const int needed = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[size_t(needed) + 1]);
    const int converted = MultiByteToWideChar(codePage, 0, text, length, buffer.get(), needed + 1);
    if (converted < 1 || converted > needed) return std::wstring();
    std::wstring result(buffer.get(), size_t(converted));
    // A length of -1 converts the terminator too; it is not part of the text.
    if (length < 0 && !result.empty() && result.back() == L'\0') result.pop_back();
    if (ok) *ok = true;
    return result;
}

std::wstring MultiByteToWide(const char* text, int length)
{
    return MultiByteToWideCP(text, length, CP_ACP, nullptr);
}

std::wstring ToWideString(const std::string& text)
{
    return MultiByteToWide(text.c_str(), int(text.size()));
}

std::wstring ToWide(const char* text)
{
    return MultiByteToWide(text, -1);
}

std::string WideToMultiByteCP(const std::wstring& text, UINT codePage, char defaultChar,
                              bool* usedDefault, bool* ok)
{
    if (ok) *ok = false;
    if (usedDefault) *usedDefault = false;
    const int length = int(text.size());
    const int needed = WideCharToMultiByte(codePage, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    const int bufferSize = needed + 8;
    std::unique_ptr<char[]> buffer(new char[size_t(bufferSize)]);
    BOOL defaulted = FALSE;
    const int converted = WideCharToMultiByte(codePage, 0, text.c_str(), length, buffer.get(), bufferSize,
                                              defaultChar ? &defaultChar : nullptr,
                                              defaultChar ? &defaulted : nullptr);
    if (converted < 1 || converted >= bufferSize) return std::string();
    if (usedDefault) *usedDefault = defaulted != FALSE;
    if (ok) *ok = true;
    return std::string(buffer.get(), size_t(converted));
}

std::string WideToMultiByte(const std::wstring& text, char defaultChar, bool* usedDefault, bool* ok)
{
    return WideToMultiByteCP(text, CP_ACP, defaultChar, usedDefault, ok);
}

std::string ToMultiByte(const std::wstring& text)
{
    return WideToMultiByte(text, '_', nullptr, nullptr);
}

std::string SystemErrorText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    if (text.empty()) return "system error " + std::to_string(error);
    return ToMultiByte(text);
}

} // namespace Velora
