#include "install/ZipEncoder.h"

#include <cstdlib>
#include <cstring>

namespace Velora {

namespace {

voidpf ZAlloc(voidpf, uInt items, uInt size)
{
    return std::malloc(size_t(items) * size);
}

void ZFree(voidpf, voidpf address)
{
    std::free(address);
}

} // namespace

VLZipEncoder::VLZipEncoder(int level) : VLCompressConverter(kOutputCapacity)
{
    if (level == -1) level = kDefaultLevel;
    level_ = level >= 0 && level <= 9 ? level : 9;
    std::memset(&stream_, 0, sizeof(stream_));
    stream_.zalloc = ZAlloc;
    stream_.zfree = ZFree;
}

VLZipEncoder::~VLZipEncoder()
{
    // The decoder ends its own stream and clears the flag first.
    if (initialised_) deflateEnd(&stream_);
}

bool VLZipEncoder::Init()
{
    if (deflateInit(&stream_, level_) != Z_OK) return false;
    initialised_ = true;
    return true;
}

unsigned char* VLZipEncoder::GetWriteWindow(uint32_t& freeSpace)
{
    freeSpace = GetFreeSpace();
    return output_.data + output_.size;
}

int VLZipEncoder::Code(int flush)
{
    return deflate(&stream_, flush);
}

int VLZipEncoder::Step(const void* input, uint32_t inputSize, uint32_t& used, int flush)
{
    uint32_t freeSpace = 0;
    stream_.next_out = GetWriteWindow(freeSpace);
    stream_.avail_out = freeSpace;
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(input));
    stream_.avail_in = inputSize;
    const int result = Code(flush);
    used = inputSize - stream_.avail_in;
    output_.size += freeSpace - stream_.avail_out;
    return result;
}

bool VLZipEncoder::Convert(const void* input, uint32_t inputSize, uint32_t& used, bool)
{
    used = 0;
    if (!EnsureInit()) return false;
    if (GetFreeSpace() == 0) return true;
    // For the decoder a negative answer includes Z_BUF_ERROR: no progress
    // was possible.
    return Step(input, inputSize, used, Z_NO_FLUSH) >= 0;
}

bool VLZipEncoder::Finish()
{
    if (finished_) return true;
    if (!EnsureInit()) return false;
    if (GetFreeSpace() == 0) return true;
    uint32_t used = 0;
    const int result = Step(nullptr, 0, used, Z_FINISH);
    if (result < Z_ERRNO) return false;
    finished_ = result == Z_STREAM_END;
    return true;
}

void VLZipEncoder::End()
{
    if (initialised_)
        deflateReset(&stream_);
    else
        Init();
    ClearOutput();
    finished_ = false;
}

} // namespace Velora
