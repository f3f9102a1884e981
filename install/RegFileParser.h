// Reading ".reg" text into key records: a tokenizer that finds key lines,
// value names and value data, a checker that keeps names and data paired, and
// the parser that builds the records.
#pragma once

#include "base/Buffer.h"
#include "install/RegKey.h"

#include <string>

namespace Velora {

// Receives ranges [begin, end) of the text from the tokenizer.
class VLResultProcessor {
public:
    virtual ~VLResultProcessor() = default;
    virtual void OnKey(const wchar_t* begin, const wchar_t* end) = 0;
    virtual void OnValueName(const wchar_t* begin, const wchar_t* end) = 0;
    virtual void OnValueData(const wchar_t* begin, const wchar_t* end) = 0;
};

// Receives keys and complete values.
class VLRegFileObserver {
public:
    virtual ~VLRegFileObserver() = default;
    virtual void OnKey(const wchar_t* begin, const wchar_t* end) = 0;
    virtual void OnValue(const wchar_t* nameBegin, const wchar_t* nameEnd,
                         const wchar_t* dataBegin, const wchar_t* dataEnd) = 0;
};

// Passes a value on only once its data has followed its name. A key or a name
// that arrives while a name waits, or data without a name, is malformed text.
class VLRegFileParser : public VLResultProcessor {
public:
    explicit VLRegFileParser(VLRegFileObserver& target) : target_(target) {}
    void OnKey(const wchar_t* begin, const wchar_t* end) override;
    void OnValueName(const wchar_t* begin, const wchar_t* end) override;
    void OnValueData(const wchar_t* begin, const wchar_t* end) override;

private:
    void RequireNoPendingName() const;

    VLRegFileObserver& target_;
    const wchar_t* nameBegin_ = nullptr;
    const wchar_t* nameEnd_ = nullptr;
    bool dataFound_ = true;
};

// Lines end with CR LF only. Calls the processor for every key line ("[" in
// the first column, "]" in the last), value name and value data; hexadecimal
// and DWORD data ending with a backslash continues on the following lines.
void TokenizeRegText(const std::wstring& text, VLResultProcessor& processor);
// Index of the first "=" outside double quotes, npos when none.
size_t FindUnquotedEquals(const wchar_t* begin, const wchar_t* end);

// Bytes to text: UTF-16LE after FF FE, else ANSI; false for UTF-16BE, UTF-8
// with its byte-order mark and anything starting with a byte of 0x7F or above.
bool DecodeRegText(const VLBuffer<unsigned char>& bytes, std::wstring& text);
// 1 for "REGEDIT4", 2 for "Windows Registry Editor Version 5.00", 0 for
// anything else; text receives what follows the header.
int DetectRegFormat(const VLBuffer<unsigned char>& bytes, std::wstring& text);
// The whole file into buffer, with three zero bytes kept behind its size.
// False for a file that cannot be opened, is empty or cannot be read whole.
bool ReadWholeFile(const std::wstring& path, VLBuffer<unsigned char>& buffer);

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
