#include "base/RegValueText.h"

#include "base/FileUtil.h"
#include "base/RegValue.h"
#include "base/StringUtil.h"

#include <vector>

namespace Velora {

namespace {

void AppendHexByte(std::wstring& out, unsigned char byte)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

void AppendHexBytes(std::wstring& out, const unsigned char* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (i) out += L',';
        AppendHexByte(out, bytes[i]);
    }
}

// The code units of a text as little-endian byte pairs, each followed by ",".
void AppendUnitBytes(std::wstring& out, const std::wstring& text)
{
    for (wchar_t unit : text) {
        AppendHexByte(out, uint8_t(unit));
        out += L',';
        AppendHexByte(out, uint8_t(unit >> 8));
        out += L',';
    }
}

std::wstring UnitsOf(const VLBuffer<unsigned char>& bytes)
{
    std::wstring units(bytes.size / 2, L'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = wchar_t(bytes.data[2 * i] | bytes.data[2 * i + 1] << 8);
    }
    return units;
}

} // namespace

std::wstring StripRegDataBlanks(const std::wstring& text)
{
    std::wstring cleaned = text;
    ReplaceAll(cleaned, L"\\\r\n", L"");
    ReplaceAll(cleaned, L"\r", L"");
    ReplaceAll(cleaned, L"\n", L"");
    ReplaceAll(cleaned, L" ", L"");
    return cleaned;
}

void ParseHexBytes(const std::wstring& text, VLBuffer<unsigned char>& out)
{
    std::vector<std::wstring> pieces;
    Split(text, L',', pieces);
    const uint32_t count = uint32_t(pieces.size());
    if (out.capacity != count) out.SetCapacity(count);
    for (uint32_t i = 0; i < count; ++i) out.data[i] = uint8_t(HexStringToUInt(pieces[i]));
    out.size = count;
}

std::wstring EscapeRegString(const std::wstring& text)
{
    std::wstring escaped = text;
    ReplaceAll(escaped, L"\\", L"\\\\");
    ReplaceAll(escaped, L"\"", L"\\\"");
    return escaped;
}

std::wstring UnescapeRegString(const std::wstring& text)
{
    std::wstring plain = text;
    ReplaceAll(plain, L"\\\\", L"\\");
    ReplaceAll(plain, L"\\\"", L"\"");
    return plain;
}

void VLRegValue::ParseText(const std::wstring& source)
{
    if (source == L"-") {
        deleteValue = true;
    } else if (StartsWith(source, L"\"")) {
        std::wstring quoted = source;
        StripQuotes(quoted);
        text = UnescapeRegString(quoted);
        type = REG_SZ;
    } else if (StartsWith(source, L"hex:")) {
        ParseHexBytes(StripRegDataBlanks(source.substr(4)), data);
        type = REG_BINARY;
    } else if (StartsWith(source, L"dword:")) {
        // Parsed as it stands: the hexadecimal reader stops at the first
        // character that is not a digit.
        dwordValue = HexStringToUInt(source.substr(6));
        type = REG_DWORD;
    } else if (StartsWith(source, L"hex(b):")) {
        std::vector<std::wstring> pieces;
        Split(StripRegDataBlanks(source.substr(7)), L',', pieces);
        qwordValue = 0;
        for (size_t i = 0; i < pieces.size() && i < 8; ++i) {
            qwordValue += uint64_t(HexStringToUInt(pieces[i])) << (8 * i);
        }
        type = REG_QWORD;
    } else if (StartsWith(source, L"hex(2):")) {
        VLBuffer<unsigned char> bytes;
        ParseHexBytes(StripRegDataBlanks(source.substr(7)), bytes);
        text = UnitsOf(bytes); // a terminator in the bytes stays in the text
        type = REG_EXPAND_SZ;
    } else if (StartsWith(source, L"hex(7):")) {
        VLBuffer<unsigned char> bytes;
        ParseHexBytes(StripRegDataBlanks(source.substr(7)), bytes);
        multiStrings.clear();
        std::wstring current;
        for (wchar_t unit : UnitsOf(bytes)) {
            if (unit != L'\0') {
                current += unit;
            } else if (!current.empty()) {
                multiStrings.push_back(current);
                current.clear();
            }
        }
        type = REG_MULTI_SZ;
    } else if (StartsWith(source, L"hex(")) {
        std::wstring rest = StripRegDataBlanks(source);
        std::wstring number = PopToken(rest, L":");
        PopToken(number, L"(");
        number = PopToken(number, L")");
        type = uint32_t(StringToUInt64(number.c_str()));
        // Through the raw setter: a type with a typed form (text, a number)
        // is written with exactly these bytes, not an empty typed field.
        VLBuffer<unsigned char> bytes;
        ParseHexBytes(rest, bytes);
        SetRawData(bytes.data, bytes.size);
    }
}

bool VLRegValue::FormatText(std::wstring& out) const
{
    if (deleteValue) {
        out += L"-";
        return true;
    }
    switch (type) {
    case REG_NONE:
        out += L"hex(0):";
        AppendHexBytes(out, data.data, data.size);
        return true;
    case REG_SZ:
        out += L"\"" + EscapeRegString(text) + L"\"";
        return true;
    case REG_EXPAND_SZ:
        out += L"hex(2):";
        AppendUnitBytes(out, text);
        out += L"00,00";
        return true;
    case REG_BINARY:
        out += L"hex:";
        AppendHexBytes(out, data.data, data.size);
        return true;
    case REG_DWORD:
        out += L"dword:" + UIntToHexString(dwordValue);
        return true;
    case REG_DWORD_BIG_ENDIAN:
        return false;
    case REG_MULTI_SZ: {
        out += L"hex(7):";
        bool written = false;
        for (const std::wstring& piece : multiStrings) {
            if (piece.empty()) continue;
            if (written) out += L',';
            AppendUnitBytes(out, piece);
            out += L"00,00";
            written = true;
        }
        if (written) out += L',';
        out += L"00,00";
        return true;
    }
    case REG_QWORD: {
        out += L"hex(b):";
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(qwordValue >> (8 * i));
        AppendHexBytes(out, bytes, 8);
        return true;
    }
    default: {
        std::wstring prefix;
        Format(prefix, L"hex(%d):", int(type));
        out += prefix;
        AppendHexBytes(out, data.data, data.size);
        return true;
    }
    }
}

} // namespace Velora
