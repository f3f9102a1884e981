// Reads the zlib streams of packing method 1 (see ZipEncoder.h).
#pragma once

#include "install/ZipEncoder.h"

namespace Velora {

class VLZipDecoder : public VLZipEncoder {
public:
    VLZipDecoder() = default;
    ~VLZipDecoder() override;

    bool Finish() override { return true; }
    void End() override;
    bool Init() override;

protected:
    int Code(int flush) override;
};

} // namespace Velora
