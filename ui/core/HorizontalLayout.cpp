#include "ui/core/HorizontalLayout.h"

namespace Velora {

void VLHorizontalLayout::SetPos(const RECT& rect)
{
    LayoutHorizontal(rect);
}

} // namespace Velora
