#include "install/RegTextWriter.h"

#include "base/RegValueText.h"
#include "install/RegParser.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace Velora {

const char kRegWriterCreateFailed[] = "\xB4\xB4\xBD\xA8\xB6\xD4\xCF\xF3\xCA\xA7\xB0\xDC";
const char kRegValueSaveFailed[] = "\xB1\xA3\xB4\xE6\xD7\xA2\xB2\xE1\xB1\xED\xD6\xB5\xB3\xF6\xB4\xED";

VLTextWriter::VLTextWriter(VLBuffer<unsigned char>& target, const std::wstring& lineEnd)
    : target_(target), lineEnd_(lineEnd)
{
    target_.size = 0;
    target_.SetCapacity(2);
    target_.data[0] = 0xFF;
    target_.data[1] = 0xFE;
    target_.size = 2;
}

void VLTextWriter::Write(const std::wstring& text, bool addLineEnd)
{
    Append(text);
    if (addLineEnd) Append(lineEnd_);
}

void VLTextWriter::Append(const std::wstring& text)
{
    const uint32_t count = uint32_t(text.size()) * 2;
    if (target_.size + count >= target_.capacity) {
        target_.SetCapacity(uint32_t((uint64_t(target_.size) + count) * 3 / 2));
    }
    unsigned char* at = target_.data + target_.size;
    for (wchar_t unit : text) {
        *at++ = uint8_t(unit);
        *at++ = uint8_t(unit >> 8);
    }
    target_.size += count;
}

VLRegTextWriter::VLRegTextWriter(VLBuffer<unsigned char>& out, const std::wstring& lineEnd)
{
    try {
        writer_.reset(new VLTextWriter(out, lineEnd));
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(kRegWriterCreateFailed);
    }
    writer_->Write(L"Windows Registry Editor Version 5.00", true);
}

void VLRegTextWriter::WriteKey(const VLRegKey& key)
{
    writer_->Write(L"[" + key.GetFullName(true) + L"]", true);
    if (key.deleteKey) return;

    for (const VLRegValue& value : key.values) {
        std::wstring line = value.name.empty() ? L"@" : L"\"" + EscapeRegString(value.name) + L"\"";
        line += L"=";
        if (!value.FormatText(line)) throw std::invalid_argument(kRegValueSaveFailed);
        writer_->Write(line, true);
    }
    writer_->Write(std::wstring(), true);
    for (const VLRegKey& subkey : key.subkeys) WriteKey(subkey);
}

void MergeRegText(const VLBuffer<unsigned char>& newText, VLBuffer<unsigned char>& accumulated)
{
    if (newText.size == 0) return;
    if (accumulated.size == 0) {
        accumulated.Assign(newText);
        return;
    }
    VLBuffer<unsigned char> merged;
    VLRegTextWriter writer(merged, L"\r\n");
    const VLBuffer<unsigned char>* const texts[] = {&accumulated, &newText};
    for (const VLBuffer<unsigned char>* text : texts) {
        VLRegParser parser;
        parser.Parse(*text);
        for (const VLRegKey& key : parser.keys) writer.WriteKey(key);
    }
    accumulated.Assign(merged);
}

} // namespace Velora
