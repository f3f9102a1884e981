#include "ui/controls/Menu.h"

#include "ui/controls/MenuElement.h"

#include <algorithm>

namespace Velora {

int VLMenu::GetClassId() const
{
    return 2;
}

VLControl* VLMenu::GetInterface(int id)
{
    return id == 2 ? this : VLVerticalLayout::GetInterface(id);
}

SIZE VLMenu::MeasureSize(SIZE available)
{
    int width = GetFixedWidth(), height = 0, count = 0;
    for (int i = 0; i < GetCount(); ++i) {
        VLControl* item = GetItemAt(i);
        if (!item->IsVisible()) continue;
        const RECT padding = item->GetPadding();
        const SIZE size = item->MeasureSize(available);
        height += padding.top + padding.bottom + size.cy;
        width = std::max<int>(width, size.cx);
        ++count;
    }
    height += (count - 1) * GetChildPadding();
    const RECT inset = GetInset();
    return {inset.left + inset.right + width, inset.top + inset.bottom + height};
}

int VLMenu::GetItemIndex(VLControl* item) const
{
    return IsMenuElement(item) ? VLVerticalLayout::GetItemIndex(item) : -1;
}

bool VLMenu::Add(VLControl* item)
{
    return IsMenuElement(item) && VLVerticalLayout::Add(item);
}

bool VLMenu::Remove(VLControl* item)
{
    return IsMenuElement(item) && VLVerticalLayout::Remove(item);
}

bool VLMenu::AddMenuItemAt(VLControl* item, int index)
{
    return IsMenuElement(item) && AddAt(item, index);
}

bool VLMenu::SetMenuItemIndex(VLControl* item, int index)
{
    return IsMenuElement(item) && SetItemIndex(item, index);
}

} // namespace Velora
