#include "install/RegTextWriter.h"

#include "base/RegValueText.h"
#include "install/RegParser.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace Velora {

const char kRegWriterCreateFailed[] = "\xB4\xB4\xBD\xA8\xB6\xD4\xCF\xF3\xCA\xA7\xB0\xDC";
const char kRegValueSaveFailed[] = "\xB1\xA3\xB4\xE6\xD7\xA2\xB2\xE1\xB1\xED\xD6\xB5\xB3\xF6\xB4\xED";

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
