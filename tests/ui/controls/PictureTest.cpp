#include "ui/controls/Picture.h"

#include "tests/ui/UiTestSupport.h"
#include "tests/ui/controls/TestGif.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace Velora {
namespace {

HGLOBAL ToBlock(const std::vector<uint8_t>& bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (!bytes.empty()) std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

bool Load(VLPicture& picture, const std::vector<uint8_t>& bytes)
{
    HGLOBAL block = ToBlock(bytes);
    bool loaded = picture.LoadData(block, static_cast<uint32_t>(bytes.size()));
    GlobalFree(block);
    return loaded;
}

// An 8 by 6 bottom-up 24-bit bitmap file of one colour.
std::vector<uint8_t> BitmapFile(COLORREF colour)
{
    const int width = 8, height = 6, stride = width * 3;
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    BITMAPINFOHEADER info = {sizeof(info), width, height, 1, 24, BI_RGB};
    file.bfSize = file.bfOffBits + stride * height;
    std::vector<uint8_t> bytes(file.bfOffBits);
    std::memcpy(bytes.data(), &file, sizeof(file));
    std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
    for (int i = 0; i < width * height; ++i)
        bytes.insert(bytes.end(), {GetBValue(colour), GetGValue(colour), GetRValue(colour)});
    return bytes;
}

// The picture painted one to one into a memory DC.
struct Painted {
    explicit Painted(VLPicture& picture) : dc(CreateCompatibleDC(nullptr))
    {
        BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 64, -64, 1, 32, BI_RGB}};
        void* bits = nullptr;
        bitmap.Reset(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        select = std::make_unique<VLSelectObject>(dc.Get(), bitmap.Get());
        SIZE size = picture.GetPictureSize();
        picture.VLControl::SetPos({0, 0, size.cx, size.cy});
        picture.Paint(dc.Get(), {0, 0, 64, 64});
    }
    COLORREF At(int x, int y) const { return GetPixel(dc.Get(), x, y); }
    VLMemoryDC dc;
    VLBitmap bitmap;
    std::unique_ptr<VLSelectObject> select;
};

TestGif ThreeFrames()
{
    // Delays 0 (shown for 100 ms), 5 (50 ms) and none (rests); disposal 2
    // clears the first frame, disposal 3 restores what lay under the second.
    TestGif gif(12, 10);
    gif.Control(0, 2).Image(0, 0, 12, 10, 1);
    gif.Control(5, 3).Comment("x").Image(2, 3, 4, 5, 0);
    gif.Image(6, 1, 3, 2, 1);
    return gif;
}

bool WaitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 300 && !condition(); ++i) Sleep(10);
    return condition();
}

TEST(Picture, StillPicturesComeOutAtTheirSize)
{
    BoundManager bound;
    TestGif single(7, 4);
    single.Image(0, 0, 7, 4, 1);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        SIZE size;
        COLORREF colour;
    } cases[] = {
        {"one-frame GIF", single.Finish(), {7, 4}, RGB(255, 255, 255)},
        {"bitmap", BitmapFile(RGB(0, 0, 255)), {8, 6}, RGB(0, 0, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VLPicture picture;
        picture.SetManager(&bound.manager);
        ASSERT_TRUE(Load(picture, c.bytes));
        EXPECT_EQ(c.size.cx, picture.GetPictureSize().cx);
        EXPECT_EQ(c.size.cy, picture.GetPictureSize().cy);
        EXPECT_FALSE(picture.IsAnimating());
        EXPECT_EQ(c.colour, Painted(picture).At(c.size.cx - 1, c.size.cy - 1));
    }
}

TEST(Picture, AnimationPlaysDisposesAndStops)
{
    BoundManager bound;
    VLPicture picture;
    picture.SetManager(&bound.manager);
    picture.SetPos({0, 0, 12, 10});
    ShowWindow(bound.manager.GetWindow(), SW_SHOWNOACTIVATE); // hidden windows collect no update region
    ASSERT_TRUE(Load(picture, ThreeFrames().Finish()));
    EXPECT_EQ(3u, picture.GetFrameCount());
    EXPECT_TRUE(picture.IsAnimating());
    ValidateRect(bound.manager.GetWindow(), nullptr);
    // The last frame has no delay, so the animation rests there.
    ASSERT_TRUE(WaitFor([&] { return picture.GetCurrentFrame() == 2; }));
    EXPECT_TRUE(picture.IsPlaying());
    Sleep(150);
    EXPECT_EQ(2u, picture.GetCurrentFrame());
    // The thread asks the window for a repaint and paints nothing itself.
    RECT dirty = {};
    EXPECT_TRUE(GetUpdateRect(bound.manager.GetWindow(), &dirty, FALSE));
    EXPECT_EQ(12, dirty.right);

    COLORREF face = GetSysColor(COLOR_3DFACE);
    EXPECT_EQ(face, picture.GetBackgroundColour());
    Painted painted(picture);
    EXPECT_EQ(face, painted.At(0, 0));               // frame 1 cleared after its delay
    EXPECT_EQ(face, painted.At(3, 4));               // frame 2's area restored
    EXPECT_EQ(RGB(255, 255, 255), painted.At(7, 2)); // frame 3 showing

    picture.StopPlayback();
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_FALSE(picture.IsPlaying());
    picture.StopPlayback(); // stopping twice is harmless
}

TEST(Picture, BadInputLoadsNothingAndIsTriedAgain)
{
    BoundManager bound;
    TestGif gif = ThreeFrames();
    std::vector<uint8_t> file = gif.Finish();
    std::vector<uint8_t> header(file.begin(), file.begin() + 12);
    std::vector<uint8_t> noFrame(file.begin(), file.begin() + gif.headerEnd);
    noFrame.push_back(0x3B);
    for (const std::vector<uint8_t>& bytes : {header, noFrame, std::vector<uint8_t>{'G', 'I', 'F'}}) {
        VLPicture picture;
        picture.SetManager(&bound.manager);
        EXPECT_FALSE(Load(picture, bytes));
        EXPECT_FALSE(picture.IsAnimating());
    }

    // A descriptor naming a missing file leaves no file behind.
    std::wstring folder;
    ASSERT_TRUE(GetTempDir(folder));
    std::wstring missing = CombinePath(folder, L"vl-missing-" + std::to_wstring(GetCurrentProcessId()) + L".gif");
    DeleteFileW(missing.c_str()); // left by an earlier run that stopped half way
    VLPicture picture;
    picture.SetManager(&bound.manager);
    picture.SetAttribute(L"normalimage", L"file='" + missing + L"'");
    picture.SetPos({0, 0, 10, 10});
    EXPECT_FALSE(picture.LoadFile(missing));
    EXPECT_FALSE(FileExists(missing));
    // A failed load is tried again at the next positioning.
    {
        VLFile written;
        ASSERT_TRUE(written.Open(missing, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
        DWORD count = 0;
        ASSERT_TRUE(written.Write(file.data(), static_cast<DWORD>(file.size()), &count));
    }
    picture.SetPos({0, 0, 10, 10});
    EXPECT_EQ(3u, picture.GetFrameCount());
    // Positioned again, the animation starts over.
    ASSERT_TRUE(WaitFor([&] { return picture.GetCurrentFrame() > 0; }));
    picture.SetPos({0, 0, 10, 10});
    EXPECT_EQ(0u, picture.GetCurrentFrame());
    picture.Clear();
    DeleteFileW(missing.c_str());
}

} // namespace
} // namespace Velora
