#include "install/LzmaEncoder.h"

#include "install/CompressProgress.h"
#include "install/LzmaAllocator.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Velora {

namespace {

double Percent(uint64_t part, uint64_t whole)
{
    return whole == 0 ? 100.0 : double(part) * 100.0 / double(whole);
}

// Reads a block of memory.
struct MemoryInStream {
    ISeqInStream base;
    const Byte* data;
    size_t left;

    static SRes Read(void* p, void* buffer, size_t* size)
    {
        MemoryInStream* self = static_cast<MemoryInStream*>(p);
        const size_t n = *size < self->left ? *size : self->left;
        std::memcpy(buffer, self->data, n);
        self->data += n;
        self->left -= n;
        *size = n;
        return SZ_OK;
    }
};

// Appends to a buffer, doubling its capacity until the bytes fit.
struct BufferOutStream {
    ISeqOutStream base;
    VLBuffer<unsigned char>* buffer;

    static size_t Write(void* p, const void* data, size_t size)
    {
        VLBuffer<unsigned char>& out = *static_cast<BufferOutStream*>(p)->buffer;
        uint64_t capacity = out.capacity ? out.capacity : 1;
        while (capacity < uint64_t(out.size) + size) capacity *= 2;
        // Short count: the encoder stops with SZ_ERROR_WRITE.
        if (capacity > 0xFFFFFFFFull) return 0;
        if (capacity != out.capacity) out.SetCapacity(uint32_t(capacity));
        std::memcpy(out.data + out.size, data, size);
        out.size += uint32_t(size);
        return size;
    }
};

// Reads one open file; a failed or empty read ends the input.
struct FileInStream {
    ISeqInStream base;
    HANDLE file;

    static SRes Read(void* p, void* buffer, size_t* size)
    {
        DWORD done = 0;
        if (!ReadFile(static_cast<FileInStream*>(p)->file, buffer, DWORD(*size), &done, nullptr)) done = 0;
        *size = done;
        return SZ_OK;
    }
};

// Reads several files one after another as one input.
struct FilesInStream {
    ISeqInStream base;
    std::vector<std::wstring> paths;
    size_t next = 0;
    VLHandle file;

    static SRes Read(void* p, void* buffer, size_t* size)
    {
        FilesInStream* self = static_cast<FilesInStream*>(p);
        for (;;) {
            if (!self->file.Valid()) {
                if (self->next == self->paths.size()) {
                    *size = 0;
                    return SZ_OK;
                }
                self->file.Reset(CreateFileW(self->paths[self->next++].c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
                if (!self->file.Valid()) return SZ_ERROR_READ;
            }
            DWORD done = 0;
            if (!ReadFile(self->file.Get(), buffer, DWORD(*size), &done, nullptr)) done = 0;
            // A short read means this file is used up.
            if (done < *size) self->file.Reset();
            if (done > 0 || *size == 0) {
                *size = done;
                return SZ_OK;
            }
        }
    }
};

// Writes to an open file and counts what was written. A failed write gives a
// short count, which stops the encoder with SZ_ERROR_WRITE.
struct FileOutStream {
    ISeqOutStream base;
    HANDLE file;
    uint64_t* written;

    static size_t Write(void* p, const void* data, size_t size)
    {
        FileOutStream* self = static_cast<FileOutStream*>(p);
        DWORD done = 0;
        if (!WriteFile(self->file, data, DWORD(size), &done, nullptr)) done = 0;
        *self->written += done;
        return done;
    }
};

struct ListenerProgress {
    ICompressProgress base;
    VLCompressProgress* listener;
    VLProgressTotals totals;

    static SRes Progress(void* p, UInt64 inSize, UInt64)
    {
        ListenerProgress* self = static_cast<ListenerProgress*>(p);
        VLCompressProgress* listener = self->listener;
        if (!listener) return SZ_OK;
        const VLProgressTotals& t = self->totals;
        listener->OnProgress(Percent(t.done + inSize, t.total), Percent(inSize, t.current));
        if (listener->IsCancelled()) return SZ_ERROR_PROGRESS;
        listener->WaitWhilePaused();
        listener->Throttle();
        return SZ_OK;
    }
};

} // namespace

VLLzmaEncoder::VLLzmaEncoder(int level) : VLCompressConverter(kOutputCapacity)
{
    if (level == -1) level = kDefaultLevel;
    if (level < 0 || level > 9) level = 7;
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = level;
    if (level >= 8) props.dictSize = 0x4000000;
    props.writeEndMark = 1;
    encoder_ = LzmaEnc_Create(&LzmaAllocator());
    if (!encoder_) throw std::bad_alloc();
    SizeT propertiesSize = LZMA_PROPS_SIZE;
    if (LzmaEnc_SetProps(encoder_, &props) != SZ_OK ||
        LzmaEnc_WriteProperties(encoder_, properties_, &propertiesSize) != SZ_OK) {
        LzmaEnc_Destroy(encoder_, &LzmaAllocator(), &LzmaAllocator());
        throw std::bad_alloc();
    }
    End();
}

VLLzmaEncoder::~VLLzmaEncoder()
{
    LzmaEnc_Destroy(encoder_, &LzmaAllocator(), &LzmaAllocator());
}

void VLLzmaEncoder::End()
{
    std::memcpy(output_.data, properties_, LZMA_PROPS_SIZE);
    output_.size = LZMA_PROPS_SIZE;
}

bool VLLzmaEncoder::Convert(const void* input, uint32_t inputSize, uint32_t& used, bool)
{
    used = 0;
    MemoryInStream in = {{MemoryInStream::Read}, static_cast<const Byte*>(input), inputSize};
    BufferOutStream out = {{BufferOutStream::Write}, &output_};
    if (LzmaEnc_Encode(encoder_, &out.base, &in.base, nullptr, &LzmaAllocator(), &LzmaAllocator()) != SZ_OK) return false;
    used = inputSize;
    return true;
}

bool VLLzmaEncoder::EncodeStream(ISeqInStream* input, HANDLE output, uint64_t& written,
                                 VLCompressProgress* listener, const VLProgressTotals& totals)
{
    DWORD done = 0;
    if (!WriteFile(output, properties_, LZMA_PROPS_SIZE, &done, nullptr) || done != LZMA_PROPS_SIZE) {
        written += done;
        return false;
    }
    written += done;
    FileOutStream out = {{FileOutStream::Write}, output, &written};
    ListenerProgress progress = {{ListenerProgress::Progress}, listener, totals};
    if (LzmaEnc_Encode(encoder_, &out.base, input, &progress.base, &LzmaAllocator(), &LzmaAllocator()) != SZ_OK) return false;
    if (listener) listener->OnProgress(Percent(totals.done + totals.current, totals.total), 100.0);
    return true;
}

bool VLLzmaEncoder::EncodeFile(HANDLE input, HANDLE output, uint64_t& written, VLCompressProgress* listener,
                               const VLProgressTotals& totals)
{
    FileInStream in = {{FileInStream::Read}, input};
    return EncodeStream(&in.base, output, written, listener, totals);
}

bool VLLzmaEncoder::EncodeFiles(const std::vector<std::wstring>& paths, HANDLE output, uint64_t& written,
                                VLCompressProgress* listener, const VLProgressTotals& totals)
{
    FilesInStream in;
    in.base.Read = FilesInStream::Read;
    in.paths = paths;
    return EncodeStream(&in.base, output, written, listener, totals);
}

} // namespace Velora
