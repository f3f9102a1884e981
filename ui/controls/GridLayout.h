// A container that places its items in equal cells, row by row: the cell size
// is fixed or divides the content by the column and row counts.
#pragma once

#include "ui/core/Container.h"

namespace Velora {

class VLGridLayout : public VLContainer {
public:
    void SetPos(const RECT& rect) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

private:
    int cellHeight_ = 0;
    int cellWidth_ = 0;
    int rows_ = 0;
    int columns_ = 0;
};

} // namespace Velora
