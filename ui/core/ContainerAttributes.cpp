// The markup vocabulary of containers.
#include "ui/core/Container.h"

#include "ui/core/ValueText.h"

namespace Velora {

void VLContainer::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    const bool on = value == L"true";
    if (name == L"inset") {
        const RECT inset = ReadRect(value);
        SetInset(inset.left, inset.top, inset.right, inset.bottom);
    } else if (name == L"layouttype") {
        SetLayoutType(_wtoi(value.c_str()));
    } else if (name == L"vscrollbar") {
        EnableScrollBar(on, horizontalBar_ != nullptr);
    } else if (name == L"hscrollbar") {
        EnableScrollBar(verticalBar_ != nullptr, on);
    } else if (name == L"vscrollbarstyle") {
        EnableScrollBar(true, horizontalBar_ != nullptr);
        ApplyAttributeList(value, verticalBar_.get());
    } else if (name == L"hscrollbarstyle") {
        EnableScrollBar(verticalBar_ != nullptr, true);
        ApplyAttributeList(value, horizontalBar_.get());
    } else if (name == L"autodestroy") {
        SetAutoDestroy(on);
    } else if (name == L"childpadding") {
        SetChildPadding(_wtoi(value.c_str()));
    } else {
        VLControl::SetAttribute(name, value);
    }
}

} // namespace Velora
