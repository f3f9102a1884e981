#include "install/RegParser.h"

#include "base/File.h"
#include "base/RegValueText.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <stdexcept>

namespace Velora {

bool DecodeRegText(const VLBuffer<unsigned char>& bytes, std::wstring& text)
{
    const unsigned char* d = bytes.data;
    if (bytes.size >= 2) {
        if (d[0] == 0xFF && d[1] == 0xFE) {
            text.assign((bytes.size - 2) / 2, L'\0');
            for (size_t i = 0; i < text.size(); ++i) {
                text[i] = wchar_t(d[2 + 2 * i] | d[3 + 2 * i] << 8);
            }
            return true;
        }
        if ((d[0] == 0xFE && d[1] == 0xFF) || d[0] == 0xEF || d[0] >= 0x7F) return false;
    }
    text = ToWideString(std::string(reinterpret_cast<const char*>(d), bytes.size));
    return true;
}

int DetectRegFormat(const VLBuffer<unsigned char>& bytes, std::wstring& text)
{
    if (!DecodeRegText(bytes, text)) return 0;
    TrimLeft(text, L" \t");
    static const wchar_t kRegedit4[] = L"REGEDIT4";
    static const wchar_t kVersion5[] = L"Windows Registry Editor Version 5.00";
    if (StartsWith(text, kRegedit4)) {
        text.erase(0, 8);
        return 1;
    }
    if (StartsWith(text, kVersion5)) {
        text.erase(0, 36);
        return 2;
    }
    return 0;
}

bool ReadWholeFile(const std::wstring& path, VLBuffer<unsigned char>& buffer)
{
    VLFile file;
    return file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) &&
           ReadWholeFile(file, buffer);
}

bool ReadWholeFile(VLFile& file, VLBuffer<unsigned char>& buffer)
{
    uint64_t size = 0;
    if (!file.SeekToBegin() || !file.GetSize(size) || size == 0 || size > 0xFFFFFFF0ull) return false;
    buffer.size = 0;
    buffer.SetCapacity(uint32_t(size) + 3);
    DWORD read = 0;
    if (!file.Read(buffer.data, DWORD(size), &read) || read != size) return false;
    buffer.data[size] = buffer.data[size + 1] = buffer.data[size + 2] = 0;
    buffer.size = uint32_t(size);
    return true;
}

void VLRegParser::LoadFile(const std::wstring& path)
{
    if (!ReadWholeFile(path, fileBytes_)) throw std::runtime_error("Load file failed");
    Parse(fileBytes_);
}

void VLRegParser::Parse(const VLBuffer<unsigned char>& bytes)
{
    fileBytes_.Assign(bytes);
    std::wstring text;
    const int format = DetectRegFormat(fileBytes_, text);
    if (format != 1 && format != 2) throw std::runtime_error("Wrong file format");
    currentKey_ = nullptr;
    skippingKey_ = false;
    VLRegFileParser checker(*this);
    TokenizeRegText(text, checker);
}

void VLRegParser::OnKey(const wchar_t* begin, const wchar_t* end)
{
    VLRegKey key;
    // A key under a root this program does not handle would otherwise land
    // in the root of HKEY_CURRENT_USER; it is dropped with its values.
    skippingKey_ = !key.ParseName(std::wstring(begin, end));
    if (skippingKey_) return;
    keys.push_back(key);
    currentKey_ = &keys.back();
}

void VLRegParser::OnValue(const wchar_t* nameBegin, const wchar_t* nameEnd,
                          const wchar_t* dataBegin, const wchar_t* dataEnd)
{
    if (skippingKey_) return;
    if (!currentKey_) throw std::runtime_error("Keys list is empty");

    std::wstring name(nameBegin, nameEnd);
    const bool quoted = name.size() >= 2 && name.front() == L'"' && name.back() == L'"';
    if (quoted) {
        name = UnescapeRegString(name.substr(1, name.size() - 2));
    } else if (name == L"@") {
        // Only the bare @ is the default value; a value named "@" keeps its name.
        name.clear();
    } else {
        name = UnescapeRegString(name);
    }
    VLRegValue value(REG_SZ, name);
    value.ParseText(std::wstring(dataBegin, dataEnd));
    currentKey_->values.push_back(value);
}

} // namespace Velora
