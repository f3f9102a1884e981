// Enciphered skin files: the whole file is the image's bytes enciphered with
// GOST 28147-89 in simple substitution mode (every 8-byte block on its own),
// under a key built into the program; a tail shorter than a block is kept in
// clear. There is no header, so nothing tells an enciphered file from a plain
// one but the descriptor that names it.
#pragma once

#include "base/Buffer.h"

#include <cstdint>
#include <string>

namespace Velora {

// Files above this size are refused outright, enciphered or not: no skin
// image comes near it, and a hostile size cannot make us allocate more.
constexpr uint64_t kMaxSkinFileSize = 64ull * 1024 * 1024;

constexpr int kSkinKeyWords = 8;

// The program's key, built afresh from constants of the code for every read
// so that it never sits whole in the image of the program.
void BuildSkinKey(uint32_t key[kSkinKeyWords]);

// Deciphers the whole file into output (its capacity is the length). False
// when the file cannot be opened, is empty, above the size cap, shorter than
// 4 bytes, or cannot be read whole.
bool ReadSkinFile(const std::wstring& path, VLBuffer<unsigned char>& output);

// Every whole block of input enciphered or deciphered into output (which may
// be input); the rest copied unchanged. False for a null input or output or a
// length below 4.
bool SkinCipherTransform(uint32_t length, const uint32_t key[kSkinKeyWords], const unsigned char* input,
                         unsigned char* output, bool encipher);

// One block in place: two little-endian words N1, N2.
void SkinCipherEncryptBlock(unsigned char block[8], const uint32_t key[kSkinKeyWords]);
void SkinCipherDecryptBlock(unsigned char block[8], const uint32_t key[kSkinKeyWords]);

} // namespace Velora
