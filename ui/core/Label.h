// The text control of the markup. It is a container in form only: it takes
// the attributes of a plain control, not those of a container, and can draw
// its text antialiased into an off-screen surface that is blended onto the
// window, so that the text keeps soft edges on layered and image backgrounds.
#pragma once

#include "ui/core/Container.h"

namespace Velora {

class VLLabel : public VLContainer {
public:
    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    bool IsTextAntialiased() const { return textAntialias_; }

private:
    bool textAntialias_ = false;
};

} // namespace Velora
