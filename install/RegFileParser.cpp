#include "install/RegFileParser.h"

#include <stdexcept>
#include <string_view>

namespace Velora {

namespace {

const char kValueDataNotFound[] = "Value data not found for founded value name";

struct Line {
    const wchar_t* begin;
    const wchar_t* end; // before the CR LF
    size_t next; // index where the following line starts; the text's size when none does
};

// The line starting at index start; the last line may lack its CR LF.
Line LineAt(const std::wstring& text, size_t start)
{
    const size_t crlf = text.find(L"\r\n", start);
    const size_t end = crlf == std::wstring::npos ? text.size() : crlf;
    return Line{text.c_str() + start, text.c_str() + end,
                crlf == std::wstring::npos ? text.size() : crlf + 2};
}

} // namespace

size_t FindUnquotedEquals(const wchar_t* begin, const wchar_t* end)
{
    bool quoted = false;
    for (const wchar_t* at = begin; at < end; ++at) {
        // A backslash escapes the character after it, so the closing quote
        // of a name that ends in an escaped backslash ("a\\") still counts.
        if (*at == L'\\') {
            ++at;
        } else if (*at == L'"') {
            quoted = !quoted;
        } else if (*at == L'=' && !quoted) {
            return size_t(at - begin);
        }
    }
    return std::wstring::npos;
}

void TokenizeRegText(const std::wstring& text, VLResultProcessor& processor)
{
    if (text.find(L"\r\n") == std::wstring::npos) return;
    size_t start = 0;
    while (start < text.size()) {
        Line line = LineAt(text, start);
        start = line.next;
        if (line.end - line.begin >= 2 && line.begin[0] == L'[' && line.end[-1] == L']') {
            processor.OnKey(line.begin + 1, line.end - 1);
            continue;
        }
        const size_t equals = FindUnquotedEquals(line.begin, line.end);
        if (equals == std::wstring::npos) continue;
        processor.OnValueName(line.begin, line.begin + equals);

        const wchar_t* data = line.begin + equals + 1;
        if (data == line.end) continue; // the name stays pending
        if (line.end[-1] != L'\\') {
            processor.OnValueData(data, line.end);
            continue;
        }
        const std::wstring_view first(data, size_t(line.end - data));
        if (first.find(L"hex") == std::wstring_view::npos &&
            first.find(L"dword") == std::wstring_view::npos) {
            continue;
        }
        // Continued hexadecimal data: every line that ends with a backslash
        // is taken in, and the first that does not (an empty line included)
        // is the last one. At the end of the text the dangling backslash
        // is dropped and the value ends there.
        const wchar_t* dataEnd = line.end;
        while (dataEnd[-1] == L'\\' && start < text.size()) {
            line = LineAt(text, start);
            start = line.next;
            dataEnd = line.end;
            if (line.begin == line.end) break;
        }
        if (dataEnd[-1] == L'\\') --dataEnd;
        processor.OnValueData(data, dataEnd);
    }
}

void VLRegFileParser::RequireNoPendingName() const
{
    if (!dataFound_) throw std::runtime_error(kValueDataNotFound);
}

void VLRegFileParser::OnKey(const wchar_t* begin, const wchar_t* end)
{
    RequireNoPendingName();
    target_.OnKey(begin, end);
}

void VLRegFileParser::OnValueName(const wchar_t* begin, const wchar_t* end)
{
    RequireNoPendingName();
    dataFound_ = false;
    nameBegin_ = begin;
    nameEnd_ = end;
}

void VLRegFileParser::OnValueData(const wchar_t* begin, const wchar_t* end)
{
    if (dataFound_) throw std::runtime_error(kValueDataNotFound);
    dataFound_ = true;
    target_.OnValue(nameBegin_, nameEnd_, begin, end);
}

} // namespace Velora
