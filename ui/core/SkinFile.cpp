#include "ui/core/SkinFile.h"

#include "base/File.h"

#include <cstring>

namespace Velora {

namespace {

// Row 0 of each DES S-box: k8 is S1, k7 S2, ... k1 S8.
constexpr unsigned char kSBox[8][16] = {
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},   // k1
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},   // k2
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},   // k3
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},   // k4
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},   // k5
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},   // k6
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},   // k7
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},   // k8
};

struct ExpandedSBox {
    unsigned char k87[256], k65[256], k43[256], k21[256];

    ExpandedSBox()
    {
        for (int i = 0; i < 256; ++i) {
            k87[i] = static_cast<unsigned char>(kSBox[7][i >> 4] << 4 | kSBox[6][i & 15]);
            k65[i] = static_cast<unsigned char>(kSBox[5][i >> 4] << 4 | kSBox[4][i & 15]);
            k43[i] = static_cast<unsigned char>(kSBox[3][i >> 4] << 4 | kSBox[2][i & 15]);
            k21[i] = static_cast<unsigned char>(kSBox[1][i >> 4] << 4 | kSBox[0][i & 15]);
        }
    }

    uint32_t F(uint32_t x) const
    {
        x = uint32_t(k87[x >> 24]) << 24 | uint32_t(k65[(x >> 16) & 255]) << 16 |
            uint32_t(k43[(x >> 8) & 255]) << 8 | k21[x & 255];
        return x << 11 | x >> 21;
    }
};

uint32_t LoadWord(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreWord(unsigned char* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The 32 rounds with the subkey order given as 32 indices.
void RunCycle(const ExpandedSBox& box, unsigned char block[8], const uint32_t key[kSkinKeyWords],
              const unsigned char (&order)[32])
{
    uint32_t n1 = LoadWord(block), n2 = LoadWord(block + 4);
    for (int round = 0; round < 32; round += 2) {
        n2 ^= box.F(n1 + key[order[round]]);
        n1 ^= box.F(n2 + key[order[round + 1]]);
    }
    StoreWord(block, n2);
    StoreWord(block + 4, n1);
}

constexpr unsigned char kEncryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                             0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr unsigned char kDecryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0,
                                             7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0};

} // namespace

void BuildSkinKey(uint32_t key[kSkinKeyWords])
{
    // Two halves that mean nothing alone; the key is their sum, word by word.
    static const uint32_t kSpine[kSkinKeyWords] = {0x5a17c3e1, 0x2b94d07f, 0x93e1a52c, 0x0c7b6e58,
                                                   0xe4305b9d, 0x71c8f203, 0x3fa6194b, 0xb852e7c6};
    static const uint32_t kTwist[kSkinKeyWords] = {0x1d6e8a27, 0xc03b5f91, 0x27d4e60a, 0x86a1c3f5,
                                                   0x5b0f2e74, 0x9e6d47b8, 0xd3827a1e, 0x4c19b560};
    for (int i = 0; i < kSkinKeyWords; ++i) key[i] = kSpine[i] + (kTwist[i] ^ uint32_t(0x9e3779b9u * (i + 1)));
}

void SkinCipherEncryptBlock(unsigned char block[8], const uint32_t key[kSkinKeyWords])
{
    RunCycle(ExpandedSBox(), block, key, kEncryptOrder);
}

void SkinCipherDecryptBlock(unsigned char block[8], const uint32_t key[kSkinKeyWords])
{
    RunCycle(ExpandedSBox(), block, key, kDecryptOrder);
}

bool SkinCipherTransform(uint32_t length, const uint32_t key[kSkinKeyWords], const unsigned char* input,
                         unsigned char* output, bool encipher)
{
    if (!input || !output || length < 4) return false;
    const ExpandedSBox box;
    const uint32_t whole = length / 8 * 8;
    for (uint32_t offset = 0; offset < whole; offset += 8) {
        unsigned char block[8];
        std::memcpy(block, input + offset, 8);
        RunCycle(box, block, key, encipher ? kEncryptOrder : kDecryptOrder);
        std::memcpy(output + offset, block, 8);
    }
    std::memmove(output + whole, input + whole, length - whole);
    return true;
}

bool ReadSkinFile(const std::wstring& path, VLBuffer<unsigned char>& output)
{
    VLFile file;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL))
        return false;
    uint64_t size = 0;
    // A short read would hand uninitialised bytes to the decoder, so the file
    // must be read whole, and its size must be one we are willing to hold.
    if (!file.GetSize(size) || size < 4 || size > kMaxSkinFileSize) return false;
    VLBuffer<unsigned char> cipher{uint32_t(size)};
    DWORD read = 0;
    if (!file.Read(cipher.data, DWORD(size), &read) || read != size) return false;
    uint32_t key[kSkinKeyWords];
    BuildSkinKey(key);
    output.SetCapacity(uint32_t(size));
    const bool done = SkinCipherTransform(uint32_t(size), key, cipher.data, output.data, false);
    SecureZeroMemory(key, sizeof(key));
    return done;
}

} // namespace Velora
