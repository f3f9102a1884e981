// MD5 digests (RFC 1321) of a block of bytes or a whole file, as 16 bytes or
// as 32 upper-case hexadecimal digits.
#pragma once

#include "base/File.h"

#include <cstdint>
#include <string>

namespace Velora {

struct VLMd5Context {
    VLMd5Context();

    uint32_t count[2];  // input bits modulo 2^64, low word first
    uint32_t state[4];
    uint8_t buffer[64]; // input not yet transformed
    uint8_t digest[16];
};

void Md5Transform(uint32_t state[4], const uint8_t block[64]);
void Md5Update(VLMd5Context& context, const void* bytes, size_t length);
void Md5Final(VLMd5Context& context, uint8_t digest[16]);

// A null block or a length below 1 gives 16 zero bytes.
void Md5Buffer(const void* bytes, int32_t length, uint8_t digest[16]);
std::wstring Md5BufferHex(const void* bytes, int32_t length);
// False for a missing, empty or unreadable file: a digest always covers the
// whole file. Opens with read sharing only, so no writer may hold the file.
bool Md5File(const std::wstring& path, uint8_t digest[16]);
// From the start of an open file to its end; false for an empty file.
bool Md5File(VLFile& file, uint8_t digest[16]);
std::wstring Md5FileHex(const std::wstring& path);
std::wstring Md5ToHex(const uint8_t digest[16]);

} // namespace Velora
