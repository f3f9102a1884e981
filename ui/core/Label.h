// The text control of the markup. It is a container in form only: it takes
// the attributes of a plain control, not those of a container, and can draw
// its text antialiased into an off-screen surface that is blended onto the
// window, so that the text keeps soft edges on layered and image backgrounds.
#pragma once

#include "ui/core/Container.h"

#include <cstddef>
#include <cstdint>

namespace Velora {

class VLLabel : public VLContainer {
public:
    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // With "text_antialias": plain text (no rich-text tags) drawn off screen
    // and blended on.
    void PaintText(HDC hdc, bool alpha) override;

    bool IsTextAntialiased() const { return textAntialias_; }
    // Turns pixels of GDI text in the colour argb, drawn over black, into
    // premultiplied pixels whose opacity follows their brightness relative to
    // the full colour. Pixels in the text colour and transparent ones stay.
    static void CoverText(uint32_t* pixels, size_t count, uint32_t argb);

private:
    bool textAntialias_ = false;
};

} // namespace Velora
