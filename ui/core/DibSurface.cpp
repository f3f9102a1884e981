#include "ui/core/DibSurface.h"

#include "ui/core/RenderClip.h"

#include <emmintrin.h>

namespace Velora {

namespace {

bool CountValid(int byteCount) { return byteCount > 0 && byteCount % 4 == 0; }

__attribute__((target("sse2"))) void MarkAlphaSse2(uint32_t* pixels, int groups)
{
    const __m128i alpha = _mm_set1_epi32(0x01000000);
    for (int i = 0; i < groups; ++i) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + 4 * i);
        _mm_storeu_si128(at, _mm_or_si128(_mm_loadu_si128(at), alpha));
    }
}

} // namespace

DibSurface::~DibSurface()
{
    ReleaseDibSurface(*this);
}

int CreateDibSurface(HDC dc, DibSurface& surface, int width, int height)
{
    if (surface.memoryDC) return 0;
    surface.memoryDC.Reset(CreateCompatibleDC(dc));
    if (!surface.memoryDC) return 0;
    surface.header = BITMAPINFOHEADER{};
    surface.header.biSize = sizeof(BITMAPINFOHEADER);
    surface.header.biWidth = width;
    surface.header.biHeight = height;
    surface.header.biPlanes = 1;
    surface.header.biBitCount = 32;
    surface.header.biCompression = BI_RGB;
    void* bits = nullptr;
    surface.bitmap.Reset(CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&surface.header), DIB_RGB_COLORS, &bits,
                                          nullptr, 0));
    if (!surface.bitmap || !bits) {
        ReleaseDibSurface(surface);
        return 0;
    }
    surface.bits = static_cast<uint32_t*>(bits);
    surface.oldBitmap = SelectObject(surface.memoryDC.Get(), surface.bitmap.Get());
    return 1;
}

void ReleaseDibSurface(DibSurface& surface)
{
    surface.header = BITMAPINFOHEADER{};
    if (!surface.memoryDC) return;
    if (surface.oldBitmap) SelectObject(surface.memoryDC.Get(), surface.oldBitmap);
    surface.oldBitmap = nullptr;
    surface.bitmap.Reset();
    surface.bits = nullptr;
    surface.memoryDC.Reset();
    surface.copyBuffer = std::vector<unsigned char>();
}

void DrawThroughSurface(HDC hdc, const RECT& rect, BYTE alpha, const std::function<void(HDC, const RECT&)>& draw,
                        const std::function<void(uint32_t*, size_t)>& finish)
{
    RECT seen{};
    if (!VLRenderClip::VisiblePart(hdc, rect, seen)) return;
    const int width = seen.right - seen.left, height = seen.bottom - seen.top;
    DibSurface surface;
    if (CreateDibSurface(hdc, surface, width, height) != 1) return;
    const int bytes = width * height * 4;
    MarkAlpha(surface.bits, bytes);
    RECT moved = rect;
    OffsetRect(&moved, -seen.left, -seen.top);
    draw(surface.memoryDC.Get(), moved);
    GdiFlush();
    if (IsSse2Available())
        RestoreAlphaSse2(surface.bits, bytes);
    else
        RestoreAlpha(surface.bits, bytes);
    if (finish) finish(surface.bits, size_t(width) * size_t(height));
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
    AlphaBlend(hdc, seen.left, seen.top, width, height, surface.memoryDC.Get(), 0, 0, width, height, blend);
}

bool IsSse2Available()
{
    // The processor says so through CPUID; probing with an SSE2 instruction
    // would need a structured exception guard this compiler does not have.
    static const bool available = __builtin_cpu_supports("sse2");
    return available;
}

void MarkAlpha(uint32_t* pixels, int byteCount)
{
    if (!pixels || byteCount <= 0) return;
    if (IsSse2Available()) {
        const int groups = byteCount / 16;
        MarkAlphaSse2(pixels, groups);
        pixels += 4 * groups;
        byteCount -= 16 * groups;
    }
    if (!CountValid(byteCount)) return;
    for (int i = 0; i < byteCount / 4; ++i) pixels[i] |= 0x01000000;
}

void RestoreAlpha(uint32_t* pixels, int byteCount)
{
    if (!pixels || !CountValid(byteCount)) return;
    for (int i = 0; i < byteCount / 4; ++i) pixels[i] = (pixels[i] & 0xFF000000) ? 0 : (pixels[i] | 0xFF000000);
}

__attribute__((target("sse2"))) void RestoreAlphaSse2(uint32_t* pixels, int byteCount)
{
    if (!pixels || byteCount <= 0) return;
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000));
    const __m128i zero = _mm_setzero_si128();
    const int groups = byteCount / 16;
    for (int i = 0; i < groups; ++i) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + 4 * i);
        const __m128i value = _mm_loadu_si128(at);
        // All ones where the alpha byte is 0 (drawn): keep the colour, set alpha.
        const __m128i drawn = _mm_cmpeq_epi32(_mm_and_si128(value, alphaMask), zero);
        _mm_storeu_si128(at, _mm_and_si128(drawn, _mm_or_si128(value, alphaMask)));
    }
    RestoreAlpha(pixels + 4 * groups, byteCount - 16 * groups);
}

} // namespace Velora
