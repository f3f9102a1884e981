#include "install/CompressConverter.h"

#include "install/LzmaDecoder.h"
#include "install/LzmaEncoder.h"
#include "install/RawConverter.h"
#include "install/ZipDecoder.h"

#include <cstring>

namespace Velora {

VLCompressConverter::VLCompressConverter(uint32_t outputCapacity) : output_(outputCapacity) {}

VLCompressConverter::~VLCompressConverter() = default;

uint32_t VLCompressConverter::GetFreeSpace() const
{
    return output_.capacity - output_.size;
}

uint32_t VLCompressConverter::GetOutputSize() const
{
    return output_.size;
}

bool VLCompressConverter::TakeOutput(void* destination, uint32_t count)
{
    const uint32_t n = count < output_.size ? count : output_.size;
    if (n) std::memcpy(destination, output_.data, n);
    std::memmove(output_.data, output_.data + n, output_.size - n);
    output_.size -= n;
    return true;
}

const unsigned char* VLCompressConverter::GetOutput(uint32_t& size) const
{
    size = output_.size;
    return output_.data;
}

void VLCompressConverter::ClearOutput()
{
    output_.size = 0;
}

bool VLCompressConverter::EncodeFile(HANDLE, HANDLE, uint64_t&, VLCompressProgress*, const VLProgressTotals&)
{
    return false;
}

bool VLCompressConverter::EncodeFiles(const std::vector<std::wstring>&, HANDLE, uint64_t&, VLCompressProgress*,
                                      const VLProgressTotals&)
{
    return false;
}

namespace {

typedef std::shared_ptr<VLCompressConverter> (*ConverterCreator)(int level);

struct PackingMethod {
    const wchar_t* name;
    ConverterCreator encoder;
    ConverterCreator decoder;
};

template <typename T> std::shared_ptr<VLCompressConverter> Create(int level)
{
    return std::make_shared<T>(level);
}

template <typename T> std::shared_ptr<VLCompressConverter> CreateDecoder(int)
{
    return std::make_shared<T>();
}

// Methods 1 and 2; method 3 (the solid set) is coded like method 2.
const PackingMethod* FindMethod(int method)
{
    static const PackingMethod methods[] = {
        {L"ZIP", Create<VLZipEncoder>, CreateDecoder<VLZipDecoder>},
        {L"LZMA", Create<VLLzmaEncoder>, CreateDecoder<VLLzmaDecoder>},
    };
    if (method == 3) method = 2;
    return method == 1 || method == 2 ? &methods[method - 1] : nullptr;
}

} // namespace

std::shared_ptr<VLCompressConverter> CreateDecodingConverter(int method)
{
    if (method == 0) return std::make_shared<VLRawConverter>();
    const PackingMethod* entry = FindMethod(method);
    return entry ? entry->decoder(-1) : nullptr;
}

std::shared_ptr<VLCompressConverter> CreateEncodingConverter(int method, int level)
{
    const PackingMethod* entry = FindMethod(method);
    return entry ? entry->encoder(level) : nullptr;
}

} // namespace Velora
