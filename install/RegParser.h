// Reading a ".reg" file into key records: the bytes decoded and the format
// header checked, then the text parsed into keys and values.
#pragma once

#include "base/Buffer.h"
#include "base/File.h"
#include "install/RegFileParser.h"
#include "install/RegKey.h"

#include <string>

namespace Velora {

// Bytes to text: UTF-16LE after FF FE, else ANSI; false for UTF-16BE, UTF-8
// with its byte-order mark and anything starting with a byte of 0x7F or above.
bool DecodeRegText(const VLBuffer<unsigned char>& bytes, std::wstring& text);
// 1 for "REGEDIT4", 2 for "Windows Registry Editor Version 5.00", 0 for
// anything else; text receives what follows the header.
int DetectRegFormat(const VLBuffer<unsigned char>& bytes, std::wstring& text);
// The whole file into buffer, with three zero bytes kept behind its size.
// False for a file that cannot be opened, is empty or cannot be read whole.
bool ReadWholeFile(const std::wstring& path, VLBuffer<unsigned char>& buffer);
// The same from the start of an open file.
bool ReadWholeFile(VLFile& file, VLBuffer<unsigned char>& buffer);

class VLRegParser : public VLRegFileObserver {
public:
    // Throw std::runtime_error "Load file failed" or "Wrong file format", or
    // the malformed-text errors of the parse; the keys read before an error
    // stay in keys.
    void LoadFile(const std::wstring& path);
    void Parse(const VLBuffer<unsigned char>& bytes);

    void OnKey(const wchar_t* begin, const wchar_t* end) override;
    void OnValue(const wchar_t* nameBegin, const wchar_t* nameEnd, const wchar_t* dataBegin,
                 const wchar_t* dataEnd) override;

    // The parsed keys in file order. A key line naming no root of the table
    // (HKEY_CLASSES_ROOT among them) is left out together with its values.
    VLRegKeyList keys;

private:
    VLBuffer<unsigned char> fileBytes_;
    VLRegKey* currentKey_ = nullptr;
    bool skippingKey_ = false;
};

} // namespace Velora
