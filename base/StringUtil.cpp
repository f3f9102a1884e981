#include "base/StringUtil.h"

#include <windows.h>

#include <cerrno>
#include <cwctype>
#include <memory>
#include <new>
#include <string_view>
#include <wchar.h>

namespace Velora {

namespace {

// The stack attempt of Format, and the largest heap buffer it will try: a
// result beyond that is a runaway argument, not a text anyone displays.
constexpr size_t kFormatStackUnits = 1024;
constexpr size_t kFormatMaxUnits = size_t(1) << 24;

std::wstring LowerCopy(const std::wstring& text)
{
    std::wstring lower(text);
    MakeLower(lower);
    return lower;
}

// Replaces every match that find reports, resuming behind the replaced text.
// The result is built in one pass: replacing in place would move the rest of
// the text once per match.
template <typename Finder>
void ReplaceEach(std::wstring& text, const wchar_t* oldText, const wchar_t* newText, Finder find)
{
    if (!oldText || !newText || !*oldText) return;
    const size_t oldLength = wcslen(oldText);
    size_t pos = find(text, oldText, 0);
    if (pos == std::wstring::npos) return;
    std::wstring result;
    result.reserve(text.size());
    size_t copied = 0;
    for (; pos != std::wstring::npos; pos = find(text, oldText, pos + oldLength)) {
        result.append(text, copied, pos - copied);
        result.append(newText);
        copied = pos + oldLength;
    }
    result.append(text, copied, std::wstring::npos);
    text.swap(result);
}

} // namespace

bool UInt64ToDecimal(uint64_t value, wchar_t* buffer, size_t bufferSize)
{
    wchar_t digits[20];
    size_t count = 0;
    do {
        digits[count++] = wchar_t(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (!buffer || bufferSize < count + 1) {
        if (buffer && bufferSize > 0) buffer[0] = L'\0';
        return false;
    }
    for (size_t i = 0; i < count; ++i) buffer[i] = digits[count - 1 - i];
    buffer[count] = L'\0';
    return true;
}

std::wstring UInt64ToString(uint64_t value)
{
    wchar_t text[21];
    UInt64ToDecimal(value, text, 21);
    return text;
}

std::wstring UIntToString(uint32_t value)
{
    return UInt64ToString(value);
}

std::wstring UIntToHexString(uint32_t value)
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return text;
}

uint64_t StringToUInt64(const wchar_t* text, const wchar_t** stop)
{
    uint64_t value = 0;
    const wchar_t* p = text;
    if (p) {
        for (; *p >= L'0' && *p <= L'9'; ++p) value = value * 10 + uint64_t(*p - L'0');
    }
    if (stop) *stop = p;
    return value;
}

uint32_t HexStringToUInt(const std::wstring& text)
{
    size_t pos = 0;
    if (text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) pos = 2;
    uint32_t value = 0;
    for (size_t read = 0; read < 8 && pos < text.size(); ++read, ++pos) {
        const wchar_t c = text[pos];
        uint32_t digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else break;
        value = value << 4 | digit;
    }
    return value;
}

int CompareNoCase(const std::wstring& a, const std::wstring& b)
{
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const int diff = int(towupper(a[i])) - int(towupper(b[i]));
        if (diff != 0) return diff;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareNoCaseN(const wchar_t* a, const wchar_t* b, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const int diff = int(towupper(a[i])) - int(towupper(b[i]));
        if (diff != 0) return diff;
        if (a[i] == L'\0') break;
    }
    return 0;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return prefix.size() <= text.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return StartsWith(LowerCopy(text), LowerCopy(prefix));
}

size_t FindNoCase(const std::wstring& text, const std::wstring& pattern, size_t start)
{
    return LowerCopy(text).find(LowerCopy(pattern), start);
}

int FindStringIndex(const std::vector<std::wstring>& strings, const std::wstring& text)
{
    for (size_t i = 0; i < strings.size(); ++i) {
        if (strings[i] == text) return int(i);
    }
    return -1;
}

void ReplaceAll(std::wstring& text, const wchar_t* oldText, const wchar_t* newText)
{
    ReplaceEach(text, oldText, newText,
                [](const std::wstring& s, const wchar_t* what, size_t from) { return s.find(what, from); });
}

void ReplaceAllNoCase(std::wstring& text, const wchar_t* oldText, const wchar_t* newText)
{
    ReplaceEach(text, oldText, newText, [](const std::wstring& s, const wchar_t* what, size_t from) {
        return FindNoCase(s, what, from);
    });
}

void ReplaceChar(std::wstring& text, wchar_t oldChar, wchar_t newChar)
{
    for (wchar_t& c : text) {
        if (c == oldChar) c = newChar;
    }
}

void TrimLeft(std::wstring& text, const wchar_t* set)
{
    if (!set || text.empty()) return;
    const size_t first = text.find_first_not_of(std::wstring_view(set));
    text.erase(0, first == std::wstring::npos ? text.size() : first);
}

void TrimRight(std::wstring& text, const wchar_t* set)
{
    if (!set || text.empty()) return;
    const size_t last = text.find_last_not_of(std::wstring_view(set));
    text.erase(last == std::wstring::npos ? 0 : last + 1);
}

void MakeLower(std::wstring& text)
{
    for (wchar_t& c : text) c = towlower(c);
}

void MakeUpper(std::wstring& text)
{
    for (wchar_t& c : text) c = towupper(c);
}

void StripQuotes(std::wstring& text)
{
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') {
        text.erase(text.size() - 1);
        text.erase(0, 1);
    }
}

std::wstring PopToken(std::wstring& text, const std::wstring& separator)
{
    if (text.empty() || separator.empty()) return std::wstring();
    const size_t pos = text.find(separator);
    std::wstring token;
    if (pos == std::wstring::npos) {
        token.swap(text);
    } else {
        token = text.substr(0, pos);
        text.erase(0, pos + separator.size());
    }
    return token;
}

std::wstring Left(const std::wstring& text, int count)
{
    return count < 0 ? std::wstring() : text.substr(0, size_t(count));
}

std::wstring Right(const std::wstring& text, int count)
{
    if (count < 0) return std::wstring();
    const size_t n = size_t(count) < text.size() ? size_t(count) : text.size();
    return text.substr(text.size() - n);
}

std::wstring Mid(const std::wstring& text, int start, int count)
{
    if (start < 0 || size_t(start) >= text.size()) return std::wstring();
    return text.substr(size_t(start), count < 0 ? std::wstring::npos : size_t(count));
}

int FormatTry(wchar_t* buffer, size_t size, const wchar_t* format, va_list args)
{
    // msvcrt's own formatter, not the C++ runtime's vswprintf: only it reads
    // %s in a wide format as a wide string, and only the _s variant reports a
    // bad format (EINVAL) apart from a short buffer (-1 with errno untouched).
    errno = 0;
    const int written = _vsnwprintf_s(buffer, size, _TRUNCATE, format, args);
    if (written >= 0) return 0;
    return errno == EINVAL ? -1 : 1;
}

void Format(std::wstring& out, const wchar_t* format, ...)
{
    if (!format || !*format) return;
    va_list args;
    va_start(args, format);

    wchar_t stackBuffer[kFormatStackUnits];
    va_list attempt;
    va_copy(attempt, args);
    int answer = FormatTry(stackBuffer, kFormatStackUnits, format, attempt);
    va_end(attempt);
    if (answer == 0) out = stackBuffer;

    for (size_t size = kFormatStackUnits * 2; answer == 1 && size <= kFormatMaxUnits; size *= 2) {
        std::unique_ptr<wchar_t[]> heapBuffer(new (std::nothrow) wchar_t[size]);
        if (!heapBuffer) break;
        va_copy(attempt, args);
        answer = FormatTry(heapBuffer.get(), size, format, attempt);
        va_end(attempt);
        if (answer == 0) out = heapBuffer.get();
    }
    va_end(args);
    if (answer != 0) out.clear();
}

std::wstring ExpandEnvironment(const std::wstring& text)
{
    if (text.find(L'%') == std::wstring::npos) return text;
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::vector<wchar_t> buffer(needed + 2, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed + 1);
    if (written == 0 || written > needed) return text;
    buffer[written] = L'\0';
    return std::wstring(buffer.data());
}

} // namespace Velora
