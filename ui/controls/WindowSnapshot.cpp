#include "ui/controls/WindowSnapshot.h"

#include "ui/core/RenderEngine.h"

namespace Velora {

void VLWindowSnapshot::Reset()
{
    selection_.reset();
    dc_.Reset();
    bitmap_.Reset();
    rect_ = {};
}

bool VLWindowSnapshot::Take(HWND window)
{
    if (!window) return false;
    VLWindowDC source(window);
    if (!source.Get()) return false;
    Reset();
    RECT client = {};
    if (!GetClientRect(window, &client)) return false;
    VLMemoryDC dc(CreateCompatibleDC(source.Get()));
    VLBitmap bitmap(CreateCompatibleBitmap(source.Get(), client.right, client.bottom));
    if (!dc || !bitmap) return false;
    bitmap_ = std::move(bitmap);
    dc_ = std::move(dc);
    selection_.emplace(dc_.Get(), bitmap_.Get());
    rect_ = client;
    BitBlt(dc_.Get(), client.left, client.top, client.right - client.left, client.bottom - client.top, source.Get(), 0,
           0, SRCCOPY);
    return true;
}

void VLWindowSnapshot::Paint(HDC dc, const RECT& target) const
{
    if (Empty()) return;
    VLRenderEngine::StretchCopy(dc, target, dc_.Get(), {0, 0, rect_.right - rect_.left, rect_.bottom - rect_.top});
}

} // namespace Velora
