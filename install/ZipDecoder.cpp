#include "install/ZipDecoder.h"

namespace Velora {

VLZipDecoder::~VLZipDecoder()
{
    if (initialised_) inflateEnd(&stream_);
    initialised_ = false;
}

bool VLZipDecoder::Init()
{
    if (inflateInit(&stream_) != Z_OK) return false;
    initialised_ = true;
    return true;
}

int VLZipDecoder::Code(int)
{
    return inflate(&stream_, Z_NO_FLUSH);
}

void VLZipDecoder::End()
{
    if (initialised_)
        inflateReset(&stream_);
    else
        Init();
    ClearOutput();
    finished_ = false;
}

} // namespace Velora
