// One choice of a combo box: an option that the pop-up list selects under
// the mouse and that, when clicked, becomes the combo's choice.
#pragma once

#include "ui/core/Option.h"

namespace Velora {

class VLCombo;

class VLComboElement : public VLOption {
public:
    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnMouseMove(VLControlEvent& event) override;
    bool Activate(VLControlEvent& event) override;

    void SetOwner(VLCombo* owner) { owner_ = owner; }

private:
    VLCombo* owner_ = nullptr;
};

} // namespace Velora
