#include "ui/core/BitmapPixels.h"

namespace Velora {

namespace {

BITMAPINFO Header32(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = DWORD(width) * DWORD(height < 0 ? -height : height) * 4;
    return info;
}

} // namespace

bool ImageSizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

VLBitmap CreateDib32(int width, int height, uint32_t** bits, bool bottomUp)
{
    *bits = nullptr;
    if (!ImageSizeAllowed(width, height)) return VLBitmap();
    BITMAPINFO info = Header32(width, bottomUp ? height : -height);
    void* memory = nullptr;
    VLBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0));
    if (!bitmap || !memory) return VLBitmap();
    *bits = static_cast<uint32_t*>(memory);
    return bitmap;
}

bool ReadBitmapPixels(HBITMAP bitmap, std::vector<uint32_t>& pixels, int& width, int& height)
{
    pixels.clear();
    BITMAP object{};
    if (!bitmap || !GetObjectW(bitmap, sizeof(object), &object)) return false;
    width = object.bmWidth;
    height = object.bmHeight < 0 ? -object.bmHeight : object.bmHeight;
    if (!ImageSizeAllowed(width, height)) return false;
    pixels.resize(size_t(width) * size_t(height));
    BITMAPINFO info = Header32(width, -height);
    VLMemoryDC dc(CreateCompatibleDC(nullptr));
    if (!dc || GetDIBits(dc.Get(), bitmap, 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS) != height) {
        pixels.clear();
        return false;
    }
    return true;
}

} // namespace Velora
