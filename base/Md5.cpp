#include "base/Md5.h"

#include "base/File.h"

#include <cstring>
#include <memory>
#include <new>

namespace Velora {

namespace {

constexpr DWORD kFileBlock = 65536;

inline uint32_t RotateLeft(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadLE(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreLE(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

VLMd5Context::VLMd5Context()
    : count{0, 0}, state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer{}, digest{}
{
}

// The round functions of RFC 1321; F and G in the forms that need one
// operation less.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) (a) = (b) + RotateLeft((a) + f((b), (c), (d)) + (x) + (t), (s))

void Md5Transform(uint32_t state[4], const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLE(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I
#undef MD5_STEP

void Md5Update(VLMd5Context& context, const void* bytes, size_t length)
{
    const uint8_t* input = static_cast<const uint8_t*>(bytes);
    size_t index = (context.count[0] >> 3) & 63;
    // The bit count is 64 bits wide: carry into the high word.
    const uint64_t bits = uint64_t(length) << 3;
    const uint32_t low = context.count[0] + uint32_t(bits);
    if (low < context.count[0]) ++context.count[1];
    context.count[0] = low;
    context.count[1] += uint32_t(bits >> 32);

    if (index != 0) {
        const size_t fill = 64 - index;
        if (length < fill) {
            std::memcpy(context.buffer + index, input, length);
            return;
        }
        std::memcpy(context.buffer + index, input, fill);
        Md5Transform(context.state, context.buffer);
        input += fill;
        length -= fill;
    }
    for (; length >= 64; input += 64, length -= 64) Md5Transform(context.state, input);
    std::memcpy(context.buffer, input, length);
}

void Md5Final(VLMd5Context& context, uint8_t digest[16])
{
    uint8_t bitCount[8];
    StoreLE(bitCount, context.count[0]);
    StoreLE(bitCount + 4, context.count[1]);
    static const uint8_t kPadding[64] = {0x80};
    const size_t index = (context.count[0] >> 3) & 63;
    Md5Update(context, kPadding, index < 56 ? 56 - index : 120 - index);
    Md5Update(context, bitCount, 8);
    for (int i = 0; i < 4; ++i) StoreLE(context.digest + 4 * i, context.state[i]);
    std::memcpy(digest, context.digest, 16);
}

void Md5Buffer(const void* bytes, int32_t length, uint8_t digest[16])
{
    if (!bytes || length < 1) {
        std::memset(digest, 0, 16);
        return;
    }
    VLMd5Context context;
    Md5Update(context, bytes, size_t(length));
    Md5Final(context, digest);
}

std::wstring Md5BufferHex(const void* bytes, int32_t length)
{
    uint8_t digest[16];
    Md5Buffer(bytes, length, digest);
    return Md5ToHex(digest);
}

bool Md5File(const std::wstring& path, uint8_t digest[16])
{
    VLFile file;
    return file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) &&
           Md5File(file, digest);
}

bool Md5File(VLFile& file, uint8_t digest[16])
{
    uint64_t size = 0;
    if (!file.GetSize(size) || size == 0 || !file.SeekToBegin()) return false;

    std::unique_ptr<VLMd5Context> context(new (std::nothrow) VLMd5Context);
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kFileBlock]);
    if (!context || !block) return false;
    for (;;) {
        DWORD read = 0;
        // A failed read must not pass for the end of the file: the digest of
        // a prefix would be reported as the file's.
        if (!ReadFile(file.handle.Get(), block.get(), kFileBlock, &read, nullptr)) return false;
        if (read == 0) break;
        Md5Update(*context, block.get(), read);
    }
    Md5Final(*context, digest);
    return true;
}

std::wstring Md5FileHex(const std::wstring& path)
{
    uint8_t digest[16];
    return Md5File(path, digest) ? Md5ToHex(digest) : std::wstring();
}

std::wstring Md5ToHex(const uint8_t digest[16])
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(32, L'0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 0xF];
    }
    return text;
}

} // namespace Velora
