// Snapshots of a real window's pixels under Xvfb.
#include <gtest/gtest.h>

#include "ui/controls/DrawWnd.h"
#include "ui/core/DibSurface.h"

using namespace Velora;

namespace {

// A shown window filled with one colour by its class brush.
HWND MakeColouredWindow(COLORREF colour, int width, int height)
{
    static int classCount = 0;
    const std::wstring className = L"VLSnapshotSource" + std::to_wstring(++classCount);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(colour); // freed with the class at exit
    wc.lpszClassName = className.c_str();
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, className.c_str(), L"", WS_POPUP | WS_VISIBLE, 10, 10, width, height,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    UpdateWindow(window);
    return window;
}

// The slot the next GDI object takes: freed slots are taken again first, so
// it stays put while nothing leaks (Wine answers GetGuiResources with 0).
unsigned NextGdiSlot()
{
    VLBitmap probe(CreateBitmap(1, 1, 1, 1, nullptr));
    return LOWORD(reinterpret_cast<uintptr_t>(probe.Get()));
}

TEST(WindowSnapshot, KeepsItsCopyAfterTheWindowIsGone)
{
    VLDrawWnd view;
    view.SetPos({0, 0, 80, 60});
    DibSurface surface;
    ASSERT_EQ(1, CreateDibSurface(nullptr, surface, 80, 60));
    const auto paintedAt = [&](int x, int y) {
        view.Paint(surface.memoryDC.Get(), {0, 0, 80, 60});
        GdiFlush();
        return surface.bits[y * 80 + x] & 0x00FFFFFF;
    };
    HWND red = MakeColouredWindow(RGB(255, 0, 0), 40, 30);
    view.SetHostWindow(red);
    DestroyWindow(red);
    EXPECT_EQ(0xFF0000u, paintedAt(0, 0)); // stretched twofold
    EXPECT_EQ(0xFF0000u, paintedAt(79, 59));

    // A null window keeps the copy; another window replaces it.
    view.SetHostWindow(nullptr);
    EXPECT_EQ(0xFF0000u, paintedAt(40, 30));
    HWND blue = MakeColouredWindow(RGB(0, 0, 255), 20, 20);
    view.SetHostWindow(blue);
    DestroyWindow(blue);
    EXPECT_EQ(0x0000FFu, paintedAt(40, 30));
}

TEST(WindowSnapshot, ReplacingACopyLeaksNoGdiObject)
{
    HWND source = MakeColouredWindow(RGB(0, 128, 0), 16, 16);
    {
        VLWindowSnapshot snapshot;
        ASSERT_TRUE(snapshot.Take(source));
        const unsigned before = NextGdiSlot();
        for (int i = 0; i < 1000; ++i) ASSERT_TRUE(snapshot.Take(source));
        EXPECT_EQ(before, NextGdiSlot());
    }
    DestroyWindow(source);
}

} // namespace
