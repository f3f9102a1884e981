// The program's owned, growable block of bytes, the writer that serialises
// records into it and the reader that takes them apart again.
//
// Serialised layout (nothing aligned or padded): an integer is 4 bytes
// little-endian; a string is a 4-byte count of UTF-16 code units followed by 2
// bytes per unit, no terminator; a vector of strings is a 4-byte count then the
// strings; a map of strings is a 4-byte count then key and value of each entry
// in ascending ordinal key order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Velora {

template <typename T> class VLBuffer;

template <> class VLBuffer<unsigned char> {
public:
    explicit VLBuffer(uint32_t capacity = 0);
    virtual ~VLBuffer();
    VLBuffer(const VLBuffer&) = delete;
    VLBuffer& operator=(const VLBuffer&) = delete;

    // Reallocates to exactly n bytes keeping what fits; size is not touched,
    // so n must not be below size.
    void SetCapacity(uint32_t n);
    // Deep copy of the other's whole block.
    VLBuffer& Assign(const VLBuffer& other);

    uint32_t capacity = 0;
    unsigned char* data = nullptr;
    uint32_t size = 0; // bytes in use, at most capacity
};

class VLBufferWriter {
public:
    VLBufferWriter();

    // Appends n bytes, growing the target in 4096-byte steps. Throws
    // std::bad_alloc when the result would not fit in 32 bits.
    VLBufferWriter& Write(const void* source, uint32_t n);
    VLBufferWriter& WriteUInt32(uint32_t value);
    VLBufferWriter& WriteInt32(int32_t value);
    VLBufferWriter& WriteString(const std::wstring& text);
    VLBufferWriter& WriteStrings(const std::vector<std::wstring>& strings);
    VLBufferWriter& WriteStringMap(const std::map<std::wstring, std::wstring>& map);

    VLBuffer<unsigned char> buffer;
    VLBuffer<unsigned char>* target;
};

// A cursor over bytes it does not own; built in place: {data, size, 0}.
// Every read past the end throws std::bad_exception and leaves position alone
// (a string read may have taken the units that were there).
struct VLBufferReader {
    VLBufferReader& Read(void* destination, uint32_t n);
    uint32_t ReadUInt32();
    int32_t ReadInt32();
    std::wstring ReadString();
    std::vector<std::wstring> ReadStrings();
    std::map<std::wstring, std::wstring> ReadStringMap();

    const unsigned char* data;
    uint32_t size;
    uint32_t position;
};

} // namespace Velora
