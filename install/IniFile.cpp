#include "install/IniFile.h"

#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <cstring>
#include <utility>
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

// How a file's text is stored: after its byte-order mark, in a code page or
// in UTF-16 of either byte order.
struct IniEncoding {
    size_t mark = 0;
    UINT codePage = CP_ACP;
};

constexpr UINT kUtf16Le = 1200;
constexpr UINT kUtf16Be = 1201;

size_t UnitOf(const IniEncoding& encoding)
{
    return encoding.codePage == kUtf16Le || encoding.codePage == kUtf16Be ? 2 : 1;
}

// The marks the system's reader knows, UTF-8's tried first as it tries it.
IniEncoding EncodingOf(const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return {3, CP_UTF8};
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) return {2, kUtf16Le};
    if (bytes.compare(0, 2, "\xFE\xFF") == 0) return {2, kUtf16Be};
    return {};
}

// UTF-16 big-endian text is little-endian text with each unit's bytes swapped.
void SwapUnits(char* bytes, size_t size)
{
    for (size_t i = 0; i + 1 < size; i += 2) std::swap(bytes[i], bytes[i + 1]);
}

std::wstring Decode(const IniEncoding& encoding, const char* bytes, size_t size)
{
    if (UnitOf(encoding) == 1) return MultiByteToWideCP(bytes, int(size), encoding.codePage, nullptr);
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (text.empty()) return text;
    std::memcpy(&text[0], bytes, text.size() * sizeof(wchar_t));
    if (encoding.codePage == kUtf16Be) SwapUnits(reinterpret_cast<char*>(&text[0]), text.size() * sizeof(wchar_t));
    return text;
}

std::string Encode(const IniEncoding& encoding, const std::wstring& text)
{
    if (UnitOf(encoding) == 1) return WideToMultiByteCP(text, encoding.codePage, 0, nullptr, nullptr);
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    if (encoding.codePage == kUtf16Be) SwapUnits(&bytes[0], bytes.size());
    return bytes;
}

// A line of the file: its bytes from begin to end, its line end (where it
// has one) from textEnd on, and its text without the blanks around it.
struct IniLine {
    size_t begin;
    size_t textEnd;
    size_t end;
    std::wstring text;
};

// Lines end where the system's reader ends them: at "\r\n", "\n" or a "\r"
// alone.
std::vector<IniLine> SplitLines(const std::string& bytes, const IniEncoding& encoding)
{
    const size_t unit = UnitOf(encoding);
    const std::string newline = Encode(encoding, L"\n"), carriage = Encode(encoding, L"\r");
    const auto at = [&](size_t offset, const std::string& what) {
        return offset + unit <= bytes.size() && bytes.compare(offset, unit, what) == 0;
    };
    std::vector<IniLine> lines;
    for (size_t begin = encoding.mark; begin < bytes.size();) {
        size_t next = begin;
        while (next + unit <= bytes.size() && !at(next, newline) && !at(next, carriage)) next += unit;
        const bool ended = next + unit <= bytes.size();
        const size_t end =
            ended ? next + (at(next, carriage) && at(next + unit, newline) ? 2 : 1) * unit : bytes.size();
        const std::wstring text = Decode(encoding, bytes.data() + begin, next - begin);
        lines.push_back({begin, ended ? next : end, end, Trimmed(text)});
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

// A section as the system's reader sees it: the lines before the first
// heading are the first section, named ""; a heading "[]" starts another of
// that name. Its keys are the lines from first to end.
struct IniSection {
    std::wstring name;
    size_t first;
    size_t end;
};

std::vector<IniSection> SplitSections(const std::vector<IniLine>& lines)
{
    std::vector<IniSection> sections{{L"", 0, lines.size()}};
    std::wstring name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionName(lines[i].text, name)) continue;
        sections.back().end = i;
        sections.push_back({name, i + 1, lines.size()});
    }
    return sections;
}

// The index of the section's first key of the name; end when it has none.
size_t FindKey(const std::vector<IniLine>& lines, const IniSection& section, const std::wstring& key)
{
    for (size_t i = section.first; i < section.end; ++i)
        if (!lines[i].text.empty() && CompareNoCase(KeyName(lines[i].text), key) == 0) return i;
    return section.end;
}

// The first section of the name; null when there is none. Reads and writes
// take the first only; a later one of the name is not searched.
const IniSection* FindSection(const std::vector<IniSection>& sections, const std::wstring& name)
{
    for (const IniSection& section : sections)
        if (CompareNoCase(section.name, name) == 0) return &section;
    return nullptr;
}

} // namespace

std::string EditIniBytes(const std::string& bytes, const std::wstring& section, const wchar_t* key,
                         const wchar_t* value)
{
    const IniEncoding encoding = EncodingOf(bytes);
    const std::vector<IniLine> lines = SplitLines(bytes, encoding);
    const std::vector<IniSection> sections = SplitSections(lines);
    const auto replaced = [&](size_t from, size_t to, const std::wstring& text) {
        return bytes.substr(0, from) + Encode(encoding, text) + bytes.substr(to);
    };
    // Where a line begins; past the last line, the end of the file.
    const auto begin = [&](size_t line) { return line < lines.size() ? lines[line].begin : bytes.size(); };
    // What is added after a last line gives that line an end first.
    const auto ending = [](const IniLine& line) { return std::wstring(line.textEnd == line.end ? kLineEnd : L""); };
    // A delete takes the names as given; a section's goes from its heading
    // (the file's start for the first) to the next heading.
    if (!key) {
        const IniSection* found = FindSection(sections, section);
        if (!found) return bytes;
        return replaced(found->first == 0 ? encoding.mark : lines[found->first - 1].begin, begin(found->end), L"");
    }
    // A key's delete looks through every section of the name for the first.
    if (!value) {
        for (const IniSection& each : sections) {
            if (CompareNoCase(each.name, section) != 0) continue;
            const size_t found = FindKey(lines, each, key);
            if (found < each.end) return replaced(lines[found].begin, lines[found].end, L"");
        }
        return bytes;
    }
    // A write takes the names without the blanks around them, and the value
    // without those before it.
    const std::wstring name = Trimmed(section), keyName = Trimmed(key);
    std::wstring text = value;
    TrimLeft(text, kBlanks);
    const IniSection* found = FindSection(sections, name);
    if (!found) {
        return replaced(bytes.size(), bytes.size(),
                        (lines.empty() ? L"" : ending(lines.back())) + L"[" + name + L"]" + kLineEnd + keyName + L"=" +
                            text + kLineEnd);
    }
    const size_t line = FindKey(lines, *found, keyName);
    if (line < found->end) {
        const IniLine& held = lines[line];
        if (held.text.find(L'=') != std::wstring::npos && KeyValue(held.text) == text) return bytes;
        return replaced(held.begin, held.textEnd, KeyName(held.text) + L"=" + text);
    }
    // After the section's last line that is not blank: its heading, or the
    // file's start for the first section.
    size_t last = found->end;
    while (last > found->first && lines[last - 1].text.empty()) --last;
    const std::wstring entry = keyName + L"=" + text + kLineEnd;
    if (last > 0) return replaced(lines[last - 1].end, lines[last - 1].end, ending(lines[last - 1]) + entry);
    return replaced(encoding.mark, encoding.mark, entry);
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
    const std::vector<IniSection> sections = SplitSections(lines);
    const IniSection* found = FindSection(sections, Trimmed(section));
    if (!found) return false;
    const size_t line = FindKey(lines, *found, Trimmed(key));
    if (line == found->end) return false;
    value = KeyValue(lines[line].text);
    if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return true;
}

} // namespace Velora
