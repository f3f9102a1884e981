#include "base/PathUtil.h"

#include "base/StringUtil.h"

namespace Velora {

void NormalizePath(std::wstring& path, unsigned flags)
{
    if (flags & kPathLowerCase) MakeLower(path);
    if (flags & kPathUpperCase) MakeUpper(path);
    if (flags & kPathStripQuotes) StripQuotes(path);
    if (flags & kPathOneTrailingSeparator) {
        TrimRight(path, L"\\/");
        if (!path.empty()) path += L'\\';
    }
    if (flags & kPathNoTrailingSeparator) TrimRight(path, L"\\/");
    if (flags & kPathBackslashes) ReplaceChar(path, L'/', L'\\');
}

bool IsAbsolutePath(const std::wstring& path)
{
    if (path.size() < 2) return false;
    if (path[0] == L'\\' && path[1] == L'\\') return true;
    return path[1] == L':' && (path.size() == 2 || path[2] == L'\\' || path[2] == L'/');
}

std::wstring CombinePath(const std::wstring& folder, const std::wstring& path)
{
    std::wstring tail(path);
    NormalizePath(tail, kPathStripQuotes);
    if (IsAbsolutePath(tail)) return tail;
    std::wstring head(folder);
    NormalizePath(head, kPathStripQuotes | kPathOneTrailingSeparator);
    TrimLeft(tail, L"\\/");
    return head + tail;
}

bool IsSafeEntryName(const std::wstring& name)
{
    if (name.find_first_not_of(L". ") == std::wstring::npos) return false;
    return name.find_first_of(std::wstring(L"\\/:\0", 4)) == std::wstring::npos;
}

bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = name.substr(0, name.find(L'.'));
    TrimRight(stem, L" ");
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (CompareNoCase(stem, device) == 0) return true;
    return stem.size() == 4 && (CompareNoCaseN(stem.c_str(), L"COM", 3) == 0 || CompareNoCaseN(stem.c_str(), L"LPT", 3) == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

bool IsFullPath(const std::wstring& path)
{
    const wchar_t drive = path.empty() ? L'\0' : wchar_t(path[0] | 0x20);
    if (drive >= L'a' && drive <= L'z' && path.size() >= 3 && path[1] == L':')
        return path[2] == L'\\' || path[2] == L'/';
    // A share: "\\server\...", where the server is neither "." nor "?", the
    // prefixes that lead to devices.
    if (path.size() < 3 || path[0] != L'\\' || path[1] != L'\\') return false;
    const std::wstring server = path.substr(2, path.find_first_of(L"\\/", 2) - 2);
    return !server.empty() && server != L"." && server != L"?";
}

bool IsFullFilePath(const std::wstring& path)
{
    const std::wstring last = path.substr(path.find_last_of(L"\\/") + 1);
    return IsFullPath(path) && IsSafeEntryName(last) && !IsDeviceName(last);
}

bool IsSafeRelativePath(const std::wstring& path)
{
    if (path.empty() || path[0] == L'\\' || path[0] == L'/') return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start && !IsSafeEntryName(path.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b)
{
    std::wstring left = a, right = b;
    NormalizePath(left, kPathNoTrailingSeparator);
    NormalizePath(right, kPathNoTrailingSeparator);
    return CompareNoCase(left, right) == 0;
}

std::wstring GetParentPath(const std::wstring& path)
{
    const size_t last = path.rfind(L'\\');
    return last == std::wstring::npos ? path : path.substr(0, last + 1);
}

std::wstring GetGrandParentPath(const std::wstring& path)
{
    std::wstring parent = GetParentPath(path);
    NormalizePath(parent, kPathNoTrailingSeparator);
    return GetParentPath(parent);
}

std::wstring Quote(const std::wstring& text)
{
    return AppendChar(PrependQuote(text), L'"');
}

std::wstring PrependQuote(const std::wstring& text)
{
    return QuoteChar() + text;
}

std::wstring AppendChar(const std::wstring& text, wchar_t c)
{
    return text + c;
}

std::wstring QuoteChar()
{
    return std::wstring(1, L'"');
}

} // namespace Velora
