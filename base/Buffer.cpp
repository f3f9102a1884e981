#include "base/Buffer.h"

#include <cstring>
#include <exception>
#include <new>

namespace Velora {

namespace {

constexpr uint32_t kWriterStep = 4096;

} // namespace

VLBuffer<unsigned char>::VLBuffer(uint32_t initialCapacity)
{
    SetCapacity(initialCapacity);
}

VLBuffer<unsigned char>::~VLBuffer()
{
    delete[] data;
    data = nullptr;
}

void VLBuffer<unsigned char>::SetCapacity(uint32_t n)
{
    if (n == capacity) return;
    unsigned char* block = n ? new unsigned char[n] : nullptr;
    if (data && block) std::memcpy(block, data, n < capacity ? n : capacity);
    delete[] data;
    data = block;
    capacity = n;
}

VLBuffer<unsigned char>& VLBuffer<unsigned char>::Assign(const VLBuffer& other)
{
    if (&other == this) return *this;
    // Allocate before letting go of the old block, so that a failure leaves
    // this buffer as it was.
    unsigned char* block = other.capacity ? new unsigned char[other.capacity] : nullptr;
    if (block) std::memcpy(block, other.data, other.capacity);
    delete[] data;
    data = block;
    capacity = block ? other.capacity : 0;
    size = other.size < capacity ? other.size : capacity;
    return *this;
}

VLBufferWriter::VLBufferWriter() : buffer(kWriterStep), target(&buffer) {}

VLBufferWriter& VLBufferWriter::Write(const void* source, uint32_t n)
{
    VLBuffer<unsigned char>& out = *target;
    if (n > UINT32_MAX - out.size) throw std::bad_alloc();
    const uint32_t room = out.capacity - out.size;
    if (room < n) {
        // The same capacity as growing 4096 bytes at a time, in one step.
        const uint64_t steps = (uint64_t(n - room) + kWriterStep - 1) / kWriterStep;
        const uint64_t grown = out.capacity + steps * kWriterStep;
        if (grown > UINT32_MAX) throw std::bad_alloc();
        out.SetCapacity(uint32_t(grown));
    }
    if (n) std::memcpy(out.data + out.size, source, n);
    out.size += n;
    return *this;
}

VLBufferWriter& VLBufferWriter::WriteUInt32(uint32_t value)
{
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return Write(bytes, 4);
}

VLBufferWriter& VLBufferWriter::WriteInt32(int32_t value)
{
    return WriteUInt32(static_cast<uint32_t>(value));
}

VLBufferWriter& VLBufferWriter::WriteString(const std::wstring& text)
{
    WriteUInt32(static_cast<uint32_t>(text.size()));
    for (wchar_t unit : text) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(unit),
                                        static_cast<unsigned char>(unit >> 8)};
        Write(bytes, 2);
    }
    return *this;
}

VLBufferWriter& VLBufferWriter::WriteStrings(const std::vector<std::wstring>& strings)
{
    WriteUInt32(static_cast<uint32_t>(strings.size()));
    for (const std::wstring& text : strings) WriteString(text);
    return *this;
}

VLBufferWriter& VLBufferWriter::WriteStringMap(const std::map<std::wstring, std::wstring>& map)
{
    // std::map keeps its keys in ascending order of their UTF-16 code units.
    WriteUInt32(static_cast<uint32_t>(map.size()));
    for (const auto& entry : map) WriteString(entry.first).WriteString(entry.second);
    return *this;
}

VLBufferReader& VLBufferReader::Read(void* destination, uint32_t n)
{
    if (n == 0) return *this;
    // Written so that no hostile n can wrap around.
    if (position > size || n > size - position) throw std::bad_exception();
    std::memcpy(destination, data + position, n);
    position += n;
    return *this;
}

uint32_t VLBufferReader::ReadUInt32()
{
    unsigned char bytes[4];
    Read(bytes, 4);
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

int32_t VLBufferReader::ReadInt32()
{
    return static_cast<int32_t>(ReadUInt32());
}

std::wstring VLBufferReader::ReadString()
{
    const uint32_t count = ReadUInt32();
    std::wstring text;
    // Reserve only what the block can actually hold, never what the count says.
    const uint32_t available = position <= size ? (size - position) / 2 : 0;
    text.reserve(count < available ? count : available);
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char bytes[2];
        Read(bytes, 2);
        text += static_cast<wchar_t>(bytes[0] | bytes[1] << 8);
    }
    return text;
}

std::vector<std::wstring> VLBufferReader::ReadStrings()
{
    const uint32_t count = ReadUInt32();
    std::vector<std::wstring> strings;
    for (uint32_t i = 0; i < count; ++i) strings.push_back(ReadString());
    return strings;
}

std::map<std::wstring, std::wstring> VLBufferReader::ReadStringMap()
{
    const uint32_t count = ReadUInt32();
    std::map<std::wstring, std::wstring> map;
    for (uint32_t i = 0; i < count; ++i) {
        std::wstring key = ReadString();
        map[key] = ReadString();
    }
    return map;
}

} // namespace Velora
