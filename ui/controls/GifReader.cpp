#include "ui/controls/GifReader.h"

#include <cstring>

namespace Velora {

namespace {

constexpr uint32_t kScreenEnd = 13;       // "GIF89a" and the logical screen descriptor
constexpr int64_t kControlLength = 8;     // 0x21 0xF9 0x04, four bytes, terminator
constexpr int64_t kApplicationFixed = 14; // 0x21 0xFF 0x0B and eleven bytes
constexpr int64_t kPlainTextFixed = 15;   // 0x21 0x01 0x0C and twelve bytes
constexpr int64_t kCommentFixed = 2;
constexpr int64_t kImageDescriptor = 10;

uint32_t ColourTableSize(uint8_t packed)
{
    return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0;
}

} // namespace

bool VLGifReader::IsGif(const uint8_t* data, uint32_t size)
{
    return data && size >= 3 && std::memcmp(data, "GIF", 3) == 0;
}

bool VLGifReader::Open(const uint8_t* data, uint32_t size)
{
    data_ = nullptr;
    size_ = 0;
    if (!IsGif(data, size) || size < kScreenEnd) return false;
    uint64_t header = kScreenEnd + ColourTableSize(data[10]);
    if (header > size) return false;
    data_ = data;
    size_ = size;
    headerSize_ = static_cast<uint32_t>(header);
    screen_ = {Word(6), Word(8)};
    Rewind();
    return true;
}

VLGifBlock VLGifReader::ClassifyBlock() const
{
    if (offset_ >= size_) return VLGifBlock::Unknown;
    switch (data_[offset_]) {
    case 0x2C: return VLGifBlock::Image;
    case 0x3B: return VLGifBlock::Trailer;
    case 0x21:
        if (offset_ + 1 >= size_) return VLGifBlock::Unknown;
        switch (data_[offset_ + 1]) {
        case 0xF9: return VLGifBlock::GraphicControl;
        case 0x01: return VLGifBlock::PlainText;
        case 0xFE: return VLGifBlock::Comment;
        case 0xFF: return VLGifBlock::Application;
        }
    }
    return VLGifBlock::Unknown;
}

int64_t VLGifReader::MeasureSubBlocks(uint64_t start) const
{
    uint64_t at = start;
    while (at < size_) {
        uint8_t length = data_[at];
        at += 1 + length;
        if (length == 0) return static_cast<int64_t>(at - start);
    }
    return -1;
}

int64_t VLGifReader::MeasureBlock() const
{
    int64_t fixed = 0;
    switch (ClassifyBlock()) {
    case VLGifBlock::Unknown: return -1;
    case VLGifBlock::Trailer: return 1;
    case VLGifBlock::GraphicControl: return offset_ + kControlLength <= size_ ? kControlLength : -1;
    case VLGifBlock::Application: fixed = kApplicationFixed; break;
    case VLGifBlock::Comment: fixed = kCommentFixed; break;
    case VLGifBlock::PlainText: fixed = kPlainTextFixed; break;
    case VLGifBlock::Image:
        if (offset_ + kImageDescriptor > size_) return -1;
        // The local colour table and the LZW code size byte precede the data.
        fixed = kImageDescriptor + ColourTableSize(data_[offset_ + 9]) + 1;
        break;
    }
    int64_t chain = MeasureSubBlocks(offset_ + fixed);
    return chain < 0 ? -1 : fixed + chain;
}

bool VLGifReader::StepOverBlock()
{
    int64_t length = MeasureBlock();
    if (!data_ || length <= 0 || offset_ + length > size_) return false;
    offset_ += length;
    return true;
}

bool VLGifReader::SkipToGraphicBlock(bool controlAllowed)
{
    for (;;) {
        switch (ClassifyBlock()) {
        case VLGifBlock::Unknown:
        case VLGifBlock::Trailer: return false;
        case VLGifBlock::Image:
        case VLGifBlock::PlainText: return true;
        case VLGifBlock::GraphicControl:
            if (controlAllowed) return true;
            break;
        case VLGifBlock::Comment:
        case VLGifBlock::Application: break;
        }
        if (!StepOverBlock()) return false;
    }
}

bool VLGifReader::StepOverFrame()
{
    if (!SkipToGraphicBlock(true)) return false;
    if (ClassifyBlock() == VLGifBlock::GraphicControl && (!StepOverBlock() || !SkipToGraphicBlock(false))) return false;
    return StepOverBlock();
}

uint32_t VLGifReader::CountFrames()
{
    Rewind();
    uint32_t count = 0;
    while (data_ && StepOverFrame()) ++count;
    Rewind();
    return count;
}

bool VLGifReader::ExtractFrame(VLGifFrame& frame)
{
    frame = VLGifFrame();
    if (!data_ || !SkipToGraphicBlock(true)) return false;
    uint64_t start = offset_;
    if (ClassifyBlock() == VLGifBlock::GraphicControl) {
        if (!StepOverBlock()) return false;
        frame.delay = Word(start + 4);
        frame.disposal = (data_[start + 3] >> 2) & 7;
        if (!SkipToGraphicBlock(false)) return false;
    }
    uint64_t graphic = offset_;
    bool image = ClassifyBlock() == VLGifBlock::Image;
    if (!StepOverBlock()) return false;
    if (image) {
        frame.offset = {Word(graphic + 1), Word(graphic + 3)};
        frame.size = {Word(graphic + 5), Word(graphic + 7)};
    }
    frame.bytes.reserve(headerSize_ + (offset_ - start) + 1);
    frame.bytes.assign(data_, data_ + headerSize_);
    frame.bytes.insert(frame.bytes.end(), data_ + start, data_ + offset_);
    frame.bytes.push_back(0x3B);
    return true;
}

} // namespace Velora
