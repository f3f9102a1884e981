#include "install/IniFile.h"

#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <cstring>
#include <vector>

namespace Velora {

namespace {

// What the profile functions take for blanks around names and values.
constexpr wchar_t kBlanks[] = L" \t\r\n\v\f\x1a";
// The end the system gives the lines it adds, whatever the file's own are.
constexpr wchar_t kLineEnd[] = L"\r\n";

std::wstring Trimmed(std::wstring text)
{
    TrimLeft(text, kBlanks);
    TrimRight(text, kBlanks);
    return text;
}

// How a file's text is stored: after its byte-order mark, in units of one
// byte of a code page or of two (UTF-16LE).
struct IniEncoding {
    size_t mark = 0;
    size_t unit = 1;
    UINT codePage = CP_ACP;
};

IniEncoding EncodingOf(const std::string& bytes)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) return {2, 2, 0};
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return {3, 1, CP_UTF8};
    return {};
}

std::wstring Decode(const IniEncoding& encoding, const char* bytes, size_t size)
{
    if (encoding.unit == 1) return MultiByteToWideCP(bytes, int(size), encoding.codePage, nullptr);
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], bytes, text.size() * sizeof(wchar_t));
    return text;
}

std::string Encode(const IniEncoding& encoding, const std::wstring& text)
{
    if (encoding.unit == 1) return WideToMultiByteCP(text, encoding.codePage, 0, nullptr, nullptr);
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// A line of the file: its bytes from begin to end, its line end (where it
// has one) from textEnd on, and its text without the blanks around it.
struct IniLine {
    size_t begin;
    size_t textEnd;
    size_t end;
    std::wstring text;
};

std::vector<IniLine> SplitLines(const std::string& bytes, const IniEncoding& encoding)
{
    const size_t unit = encoding.unit;
    const std::string newline = Encode(encoding, L"\n"), carriage = Encode(encoding, L"\r");
    std::vector<IniLine> lines;
    for (size_t begin = encoding.mark; begin < bytes.size();) {
        size_t next = begin;
        while (next + unit <= bytes.size() && bytes.compare(next, unit, newline) != 0) next += unit;
        const bool ended = next + unit <= bytes.size();
        const size_t end = ended ? next + unit : bytes.size();
        if (ended && next >= begin + unit && bytes.compare(next - unit, unit, carriage) == 0) next -= unit;
        lines.push_back(
            {begin, ended ? next : end, end, Trimmed(Decode(encoding, bytes.data() + begin, next - begin))});
        begin = end;
    }
    return lines;
}

// The name of the section the line heads; false for any other line.
bool SectionName(const std::wstring& line, std::wstring& name)
{
    const size_t close = line.rfind(L']');
    if (line.empty() || line[0] != L'[' || close == std::wstring::npos) return false;
    name = Trimmed(line.substr(1, close - 1));
    return true;
}

// A line without '=' is a key without a value.
std::wstring KeyName(const std::wstring& line)
{
    return Trimmed(line.substr(0, line.find(L'=')));
}

std::wstring KeyValue(const std::wstring& line)
{
    const size_t equals = line.find(L'=');
    return equals == std::wstring::npos ? std::wstring() : Trimmed(line.substr(equals + 1));
}

// The first section of the name: its heading's index and the index past its
// last line. False when the file has none.
bool FindSection(const std::vector<IniLine>& lines, const std::wstring& section, size_t& heading, size_t& end)
{
    std::wstring name;
    heading = lines.size();
    for (end = 0; end < lines.size(); ++end) {
        if (!SectionName(lines[end].text, name)) continue;
        if (heading < lines.size()) return true;
        if (CompareNoCase(name, section) == 0) heading = end;
    }
    return heading < lines.size();
}

// The index of the section's first key of the name; end when it has none.
size_t FindKey(const std::vector<IniLine>& lines, size_t heading, size_t end, const std::wstring& key)
{
    for (size_t i = heading + 1; i < end; ++i)
        if (!lines[i].text.empty() && CompareNoCase(KeyName(lines[i].text), key) == 0) return i;
    return end;
}

} // namespace

std::string EditIniBytes(const std::string& bytes, const std::wstring& section, const wchar_t* key,
                         const wchar_t* value)
{
    const IniEncoding encoding = EncodingOf(bytes);
    const std::vector<IniLine> lines = SplitLines(bytes, encoding);
    const auto replaced = [&](size_t from, size_t to, const std::wstring& text) {
        return bytes.substr(0, from) + Encode(encoding, text) + bytes.substr(to);
    };
    // What is added after a last line gives that line an end first.
    const auto ending = [](const IniLine& line) { return std::wstring(line.textEnd == line.end ? kLineEnd : L""); };
    size_t heading = 0, end = 0;
    if (!FindSection(lines, section, heading, end)) {
        if (!key || !value) return bytes;
        return replaced(bytes.size(), bytes.size(),
                        (lines.empty() ? L"" : ending(lines.back())) + L"[" + section + L"]" + kLineEnd + key + L"=" +
                            value + kLineEnd);
    }
    if (!key) return replaced(lines[heading].begin, end < lines.size() ? lines[end].begin : bytes.size(), L"");
    const size_t found = FindKey(lines, heading, end, key);
    if (found < end) {
        const IniLine& line = lines[found];
        if (!value) return replaced(line.begin, line.end, L"");
        if (KeyValue(line.text) == value) return bytes;
        return replaced(line.begin, line.textEnd, KeyName(line.text) + L"=" + value);
    }
    if (!value) return bytes;
    // After the section's last line that is not blank.
    size_t last = end - 1;
    while (last > heading && lines[last].text.empty()) --last;
    return replaced(lines[last].end, lines[last].end, ending(lines[last]) + key + L"=" + value + kLineEnd);
}

bool EditIniFile(VLFile& file, const std::wstring& section, const wchar_t* key, const wchar_t* value)
{
    std::string bytes;
    if (!file.ReadAll(bytes)) return false;
    const std::string edited = EditIniBytes(bytes, section, key, value);
    return edited == bytes || file.WriteAll(edited);
}

std::string FormatIniEntry(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    return EditIniBytes(std::string(), section, key.c_str(), value.c_str());
}

bool FindIniValue(const std::string& bytes, const std::wstring& section, const std::wstring& key,
                  std::wstring& value)
{
    const std::vector<IniLine> lines = SplitLines(bytes, EncodingOf(bytes));
    size_t heading = 0, end = 0;
    if (!FindSection(lines, section, heading, end)) return false;
    const size_t found = FindKey(lines, heading, end, key);
    if (found == end) return false;
    value = KeyValue(lines[found].text);
    if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return true;
}

} // namespace Velora
