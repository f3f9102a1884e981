// One registry value as the installer carries it: its type, its name and its
// data in the form the type gives, convertible to and from the raw bytes the
// registry stores.
#pragma once

#include "base/Buffer.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

// The type number by which a stored key record marks a value to be deleted
// rather than written. A record holds no other sign of it, so a value of that
// real type cannot be stored as what it is.
constexpr uint32_t kRegDeleteValueType = 0xFF;

class VLRegValue {
public:
    explicit VLRegValue(uint32_t type = REG_NONE, const std::wstring& name = std::wstring())
        : type(type), name(name)
    {
    }
    VLRegValue(const VLRegValue& other);
    VLRegValue& operator=(const VLRegValue& other);

    // Fills the data field that type names from raw registry bytes, and keeps
    // the bytes as they are: the typed fields cannot hold every form the
    // registry keeps (text of odd length or without its terminator, a list
    // with one terminator, a DWORD or QWORD of another size). A DWORD of
    // any size but 4 bytes leaves dwordValue as it was. A null pointer with
    // bytes to read changes nothing. Always true.
    bool SetRawData(const unsigned char* bytes, uint32_t count);
    // The record's data as raw registry bytes; out's size is set to the
    // count. The bytes SetRawData kept, as long as the typed field still
    // says what they say; else the typed field's bytes.
    bool GetRawData(VLBuffer<unsigned char>& out) const;

    // The ".reg" text forms (RegValueText.cpp).
    // Fills the record from the data part of a ".reg" value line (what
    // follows "="); text that matches no data form leaves it as it was.
    void ParseText(const std::wstring& text);
    // Appends the ".reg" data text of the record; false only for
    // REG_DWORD_BIG_ENDIAN, which that format cannot hold.
    bool FormatText(std::wstring& out) const;

    uint32_t type;
    std::wstring name; // empty for the key's default value
    uint32_t dwordValue = 0; // REG_DWORD and REG_DWORD_BIG_ENDIAN, host order
    std::vector<std::wstring> multiStrings; // REG_MULTI_SZ
    std::wstring text; // REG_SZ and REG_EXPAND_SZ
    uint64_t qwordValue = 0; // REG_QWORD
    VLBuffer<unsigned char> data; // every other type, and the bytes SetRawData kept
    bool keptBytes = false;       // data holds the bytes SetRawData was given
    bool deleteValue = false;     // apart from the type: any type may be real

private:
    // The typed field of type from raw bytes, as far as it can hold them.
    void FillTyped(const unsigned char* bytes, uint32_t count);
    bool SaysWhatKeptBytesSay() const;
};

} // namespace Velora
