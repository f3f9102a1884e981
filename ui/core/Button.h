// The clickable text-and-image control: it reports clicks without being asked
// to, is a tab stop, shows the hand cursor, and takes a double click as a
// second press.
#pragma once

#include "ui/core/Label.h"

namespace Velora {

class VLButton : public VLLabel {
public:
    VLButton();

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnSetCursor(VLControlEvent& event) override;
    void OnLButtonDblClk(VLControlEvent& event) override;
};

} // namespace Velora
