// A vertical list of menu elements: the menu bar or the content of a popup.
// It keeps only menu elements.
#pragma once

#include "ui/core/VerticalLayout.h"

namespace Velora {

class VLMenu : public VLVerticalLayout {
public:
    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    // The visible items stacked with their paddings and the gaps between
    // them, at least the fixed width wide, plus the inset.
    SIZE MeasureSize(SIZE available) override;
    int GetItemIndex(VLControl* item) const override;
    bool Add(VLControl* item) override;
    bool Remove(VLControl* item) override;
    bool AddMenuItemAt(VLControl* item, int index);
    bool SetMenuItemIndex(VLControl* item, int index);
};

} // namespace Velora
