// A container that always stacks its items top to bottom.
#pragma once

#include "ui/core/Container.h"

namespace Velora {

class VLVerticalLayout : public VLContainer {
public:
    void SetPos(const RECT& rect) override;
};

} // namespace Velora
