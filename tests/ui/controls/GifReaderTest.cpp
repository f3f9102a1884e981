#include "ui/controls/GifReader.h"

#include "tests/ui/controls/TestGif.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <cstring>
#include <string>

namespace Velora {
namespace {

// Bytes placed right before a page that cannot be read: a read past their end
// faults at once instead of passing unnoticed.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes, size_t count)
    {
        size_t page = 4096;
        size_t pages = (count + page - 1) / page + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page - count;
        if (count) std::memcpy(data_, bytes.data(), count);
    }
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    const uint8_t* Get() const { return data_; }

private:
    uint8_t* base_;
    uint8_t* data_;
};

std::vector<VLGifFrame> ReadAll(const uint8_t* data, uint32_t size, uint32_t* counted)
{
    std::vector<VLGifFrame> frames;
    VLGifReader reader;
    *counted = 0;
    if (!reader.Open(data, size)) return frames;
    *counted = reader.CountFrames();
    VLGifFrame frame;
    while (reader.ExtractFrame(frame)) frames.push_back(frame);
    return frames;
}

// The frame decodes with the system's picture loader, as the picture control
// will decode it.
bool Decodes(const std::vector<uint8_t>& bytes)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) return false;
    IPicture* picture = nullptr;
    HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                                reinterpret_cast<void**>(&picture));
    stream->Release();
    if (picture) picture->Release();
    return SUCCEEDED(hr);
}

TestGif ThreeFrames()
{
    TestGif gif(12, 10);
    gif.Application().Control(0, 2).Image(0, 0, 12, 10, 1);
    gif.Control(5, 3).Comment("between").Application().Image(2, 3, 4, 5, 0);
    gif.Image(6, 1, 3, 2, 1);
    return gif;
}

// Delay, disposal, size and offset of a frame, as text.
std::string Describe(const VLGifFrame& frame)
{
    return std::to_string(static_cast<int>(frame.delay)) + " " + std::to_string(frame.disposal) + " " +
           std::to_string(frame.size.cx) + "x" + std::to_string(frame.size.cy) + "+" + std::to_string(frame.offset.x) +
           "+" + std::to_string(frame.offset.y);
}

TEST(GifReader, FramesCarryTheirTimingPlaceAndBytes)
{
    TestGif single(7, 4);
    single.Image(0, 0, 7, 4, 1);
    TestGif three = ThreeFrames();
    struct Case {
        TestGif* gif;
        std::vector<std::string> frames;
    } cases[] = {
        {&single, {"-1 0 7x4+0+0"}},
        {&three, {"0 2 12x10+0+0", "5 3 4x5+2+3", "-1 0 3x2+6+1"}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = c.gif->Finish();
        uint32_t counted;
        std::vector<VLGifFrame> frames = ReadAll(file.data(), static_cast<uint32_t>(file.size()), &counted);
        ASSERT_EQ(c.frames.size(), counted);
        ASSERT_EQ(c.frames.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(c.frames[i], Describe(frames[i]));
            // Extensions between the control extension and the image travel
            // with the frame; the span ends exactly with the image.
            EXPECT_EQ(ExpectedFrame(file, c.gif->headerEnd, c.gif->frames[i]), frames[i].bytes) << i;
            EXPECT_TRUE(Decodes(frames[i].bytes)) << i;
        }
        // A lone image without extensions comes out as the very file.
        if (c.gif == &single) {
            EXPECT_EQ(file, frames[0].bytes);
        }
    }
}

TEST(GifReader, TruncatedAtEveryByteReadsOnlyWhatIsWhole)
{
    TestGif gif = ThreeFrames();
    std::vector<uint8_t> file = gif.Finish();
    for (size_t size = 0; size <= file.size(); ++size) {
        SCOPED_TRACE(size);
        GuardedBytes bytes(file, size);
        uint32_t counted;
        std::vector<VLGifFrame> frames = ReadAll(bytes.Get(), static_cast<uint32_t>(size), &counted);
        uint32_t whole = 0;
        for (const TestGif::Span& span : gif.frames) whole += span.end <= size ? 1 : 0;
        EXPECT_EQ(whole, counted);
        EXPECT_EQ(whole, frames.size());
    }
}

TEST(GifReader, HostileLengthsFailInsteadOfReadingOn)
{
    TestGif gif(4, 4);
    gif.Control(3, 0).Image(0, 0, 4, 4, 1);
    std::vector<uint8_t> good = gif.Finish();
    auto changed = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    size_t image = gif.frames[0].begin + 8;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool opens;
    } cases[] = {
        {"not a GIF", changed(0, 'X'), false},
        {"global colour table of 256 entries", changed(10, 0x87), false},
        {"local colour table past the end", changed(image + 9, 0x87), true},
        {"sub-block longer than the data", changed(image + 11, 0xFF), true},
        {"unknown block where a frame should be", changed(gif.frames[0].begin, 0x55), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuardedBytes bytes(c.bytes, c.bytes.size());
        VLGifReader reader;
        ASSERT_EQ(c.opens, reader.Open(bytes.Get(), static_cast<uint32_t>(c.bytes.size())));
        if (!c.opens) continue;
        EXPECT_EQ(0u, reader.CountFrames());
        VLGifFrame frame;
        EXPECT_FALSE(reader.ExtractFrame(frame));
    }
}

} // namespace
} // namespace Velora
