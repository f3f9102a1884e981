// A container that always places its items side by side, left to right.
#pragma once

#include "ui/core/Container.h"

namespace Velora {

class VLHorizontalLayout : public VLContainer {
public:
    void SetPos(const RECT& rect) override;
};

} // namespace Velora
