// Converters turn input fed in pieces into output collected in their own
// buffer, from which the caller drains it. One converter per packing method
// decodes a package's entries: 0 stored, 1 zlib, 2 and 3 LZMA.
#pragma once

#include "base/Buffer.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// windows.h keeps a macro of this name from 16-bit Windows.
#undef GetFreeSpace

namespace Velora {

class VLCompressProgress;

enum : int {
    kConverterRaw = 0,
    kConverterZlib = 1,
    kConverterLzma = 2,
};

// Byte counts behind the encoders' percentages: all input, the input of the
// files before this one, and this file's.
struct VLProgressTotals {
    uint64_t total = 0;
    uint64_t done = 0;
    uint64_t current = 0;
};

class VLCompressConverter {
public:
    virtual ~VLCompressConverter();
    VLCompressConverter(const VLCompressConverter&) = delete;
    VLCompressConverter& operator=(const VLCompressConverter&) = delete;

    virtual int GetType() const = 0;
    virtual uint32_t GetFreeSpace() const;
    // Takes as much input as it can and reports how much in used. final tells
    // that the output still expected fits in the free space.
    virtual bool Convert(const void* input, uint32_t inputSize, uint32_t& used, bool final) = 0;
    // Flushes what the input left pending; call again after draining until no
    // output comes.
    virtual bool Finish() { return true; }
    virtual uint32_t GetOutputSize() const;
    // Copies min(ready, count) bytes out and moves the rest to the front.
    virtual bool TakeOutput(void* destination, uint32_t count);
    virtual const unsigned char* GetOutput(uint32_t& size) const;
    virtual void ClearOutput();
    // Resets the converter for a new stream.
    virtual void End() = 0;
    // Only the LZMA encoder encodes files; the others answer false.
    virtual bool EncodeFile(HANDLE input, HANDLE output, uint64_t& written, VLCompressProgress* listener,
                            const VLProgressTotals& totals);
    virtual bool EncodeFiles(const std::vector<std::wstring>& paths, HANDLE output, uint64_t& written,
                             VLCompressProgress* listener, const VLProgressTotals& totals);

protected:
    explicit VLCompressConverter(uint32_t outputCapacity);

    // Its size is the ready output.
    VLBuffer<unsigned char> output_;
};

// The decoder for a packing method; empty for methods that have none.
std::shared_ptr<VLCompressConverter> CreateDecodingConverter(int method);
// The matching encoder (methods 1 to 3); level -1 takes the method's default.
std::shared_ptr<VLCompressConverter> CreateEncodingConverter(int method, int level = -1);

} // namespace Velora
