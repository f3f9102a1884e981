#include "ui/controls/DrawWnd.h"

namespace Velora {

void VLDrawWnd::SetHostWindow(HWND window)
{
    snapshot_.Take(window);
    VLContainer::SetHostWindow(window);
}

void VLDrawWnd::Paint(HDC hdc, const RECT& paint)
{
    const RECT pos = GetPos();
    if (!IsVisible() || !IntersectRect(&paintRect, &paint, &pos)) return;
    snapshot_.Paint(hdc, pos);
    VLContainer::Paint(hdc, paint);
}

} // namespace Velora
