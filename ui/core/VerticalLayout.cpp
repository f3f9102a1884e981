#include "ui/core/VerticalLayout.h"

namespace Velora {

void VLVerticalLayout::SetPos(const RECT& rect)
{
    LayoutVertical(rect);
}

} // namespace Velora
