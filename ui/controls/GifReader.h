// Splits a GIF into its frames without decoding any pixels: each frame comes
// out as a small stand-alone GIF (header, logical screen, global colours, the
// frame's own blocks and a trailer) that the system's picture loader decodes.
// Every length and field is checked against the data before it is read, so a
// truncated or hostile file ends the walk instead of reading past its end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace Velora {

// The delay of a frame that has no graphic control extension.
constexpr uint32_t kGifNoDelay = 0xFFFFFFFF;

struct VLGifFrame {
    std::vector<uint8_t> bytes;   // the frame as a GIF of its own
    SIZE size = {0, 0};           // from its image descriptor
    POINT offset = {0, 0};        // left and top from its image descriptor
    uint32_t delay = kGifNoDelay; // hundredths of a second
    uint32_t disposal = 0;
};

enum class VLGifBlock { Unknown, GraphicControl, PlainText, Comment, Application, Image, Trailer };

class VLGifReader {
public:
    // True when the data start with "GIF".
    static bool IsGif(const uint8_t* data, uint32_t size);

    // False when the header, logical screen or global colour table do not
    // fit in the data. The data must outlive the reader.
    bool Open(const uint8_t* data, uint32_t size);
    SIZE GetScreenSize() const { return screen_; }
    // Graphic blocks (images or plain text, each with its extensions) up to
    // the first one that is malformed or cut off. Leaves the reader at the
    // first frame.
    uint32_t CountFrames();
    // The next frame, or false when none follows (end, trailer or damage).
    bool ExtractFrame(VLGifFrame& frame);

private:
    VLGifBlock ClassifyBlock() const;
    // Bytes from the read offset to the end of the block; -1 for an unknown
    // block and for one whose fixed part or sub-blocks run past the data.
    int64_t MeasureBlock() const;
    int64_t MeasureSubBlocks(uint64_t start) const;
    bool StepOverBlock();
    // Steps over extensions until a graphic block stands at the offset: a
    // control extension, plain text or image when controlAllowed, else only
    // plain text or an image (a control extension is then stepped over).
    bool SkipToGraphicBlock(bool controlAllowed);
    bool StepOverFrame();
    uint16_t Word(uint64_t at) const { return static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8)); }
    void Rewind() { offset_ = headerSize_; }

    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t headerSize_ = 0; // header, logical screen and global colour table
    uint64_t offset_ = 0;
    SIZE screen_ = {0, 0};
};

} // namespace Velora
