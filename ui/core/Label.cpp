#include "ui/core/Label.h"

namespace Velora {

int VLLabel::GetClassId() const { return 6; }

VLControl* VLLabel::GetInterface(int id) { return id == 6 ? this : VLContainer::GetInterface(id); }

void VLLabel::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"text_antialias")
        textAntialias_ = value == L"true";
    else
        VLControl::SetAttribute(name, value);
}

} // namespace Velora
