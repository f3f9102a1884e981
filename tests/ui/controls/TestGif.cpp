#include "tests/ui/controls/TestGif.h"

#include <algorithm>

namespace Velora {

TestGif::TestGif(int width, int height)
{
    bytes_.assign({'G', 'I', 'F', '8', '9', 'a'});
    Word(width);
    Word(height);
    bytes_.insert(bytes_.end(), {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    headerEnd = bytes_.size();
}

void TestGif::Word(int value)
{
    bytes_.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

TestGif& TestGif::Control(int delay, int disposal)
{
    frameBegin_ = bytes_.size();
    frameOpen_ = true;
    bytes_.insert(bytes_.end(), {0x21, 0xF9, 0x04, static_cast<uint8_t>(disposal << 2)});
    Word(delay);
    bytes_.insert(bytes_.end(), {0, 0});
    return *this;
}

TestGif& TestGif::Comment(const std::string& text)
{
    bytes_.insert(bytes_.end(), {0x21, 0xFE, static_cast<uint8_t>(text.size())});
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
    return *this;
}

TestGif& TestGif::Application()
{
    const std::string loop = "NETSCAPE2.0";
    bytes_.insert(bytes_.end(), {0x21, 0xFF, 0x0B});
    bytes_.insert(bytes_.end(), loop.begin(), loop.end());
    bytes_.insert(bytes_.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
    return *this;
}

TestGif& TestGif::Image(int left, int top, int width, int height, int colour)
{
    if (!frameOpen_) frameBegin_ = bytes_.size();
    frameOpen_ = false;
    bytes_.push_back(0x2C);
    Word(left);
    Word(top);
    Word(width);
    Word(height);
    bytes_.push_back(0);
    // LZW with a code size of 2: a clear code (4) before every pixel keeps the
    // codes 3 bits wide, so no dictionary is needed to write it.
    std::vector<uint8_t> packed;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t code) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            packed.push_back(static_cast<uint8_t>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    for (int i = 0; i < width * height; ++i) {
        put(4);
        put(static_cast<uint32_t>(colour));
    }
    put(5);
    if (count > 0) packed.push_back(static_cast<uint8_t>(bits));
    bytes_.push_back(2);
    for (size_t at = 0; at < packed.size(); at += 255) {
        size_t length = std::min<size_t>(255, packed.size() - at);
        bytes_.push_back(static_cast<uint8_t>(length));
        bytes_.insert(bytes_.end(), packed.begin() + at, packed.begin() + at + length);
    }
    bytes_.push_back(0);
    frames.push_back({frameBegin_, bytes_.size()});
    return *this;
}

std::vector<uint8_t> TestGif::Finish()
{
    std::vector<uint8_t> file = bytes_;
    file.push_back(0x3B);
    return file;
}

std::vector<uint8_t> ExpectedFrame(const std::vector<uint8_t>& file, size_t headerEnd, TestGif::Span span)
{
    std::vector<uint8_t> frame(file.begin(), file.begin() + headerEnd);
    frame.insert(frame.end(), file.begin() + span.begin, file.begin() + span.end);
    frame.push_back(0x3B);
    return frame;
}

} // namespace Velora
