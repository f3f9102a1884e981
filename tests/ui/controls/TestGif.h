// Writes small GIFs block by block, so the tests choose every extension, delay
// and disposal and know where each frame's blocks start and end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

class TestGif {
public:
    // A two-colour global table (black, white).
    TestGif(int width, int height);
    TestGif& Control(int delay, int disposal);
    TestGif& Comment(const std::string& text);
    TestGif& Application();
    // One solid image of colour index 0 or 1.
    TestGif& Image(int left, int top, int width, int height, int colour);
    std::vector<uint8_t> Finish();

    // Where the header ends, and each frame's span: from its first own block
    // (control extension, or the image) to the end of its image.
    size_t headerEnd = 0;
    struct Span {
        size_t begin;
        size_t end;
    };
    std::vector<Span> frames;

private:
    void Word(int value);
    std::vector<uint8_t> bytes_;
    size_t frameBegin_ = 0;
    bool frameOpen_ = false;
};

// The stand-alone GIF the reader should cut for a frame.
std::vector<uint8_t> ExpectedFrame(const std::vector<uint8_t>& file, size_t headerEnd, TestGif::Span span);

} // namespace Velora
