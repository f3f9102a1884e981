#include "ui/core/Progress.h"

#include "base/StringUtil.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/Saturated.h"
#include "ui/core/ValueText.h"

#include <algorithm>
#include <climits>
#include <cwchar>

namespace Velora {

VLProgress::~VLProgress() = default;

int VLProgress::GetClassId() const
{
    return 7;
}

VLControl* VLProgress::GetInterface(int id)
{
    return id == 7 ? this : VLControl::GetInterface(id);
}

int VLProgress::SetValue(int value)
{
    value = std::min(std::max(value, minimum_), maximum_);
    if (value != value_) {
        value_ = value;
        Invalidate();
    }
    return value_;
}

int VLProgress::SetStep(int step)
{
    // A step of 0 would divide the fill by zero, also under a maximum of 0.
    step = std::max(std::min(std::max(step, 1), maximum_), 1);
    if (step != step_) {
        step_ = step;
        Invalidate();
    }
    return step_;
}

void VLProgress::PaintStateImage(HDC hdc)
{
    std::wstring& fore = images[kImageNormal];
    const int units = maximum_ / step_;
    // A bar with no units (a maximum of 0, or below the step) shows nothing.
    if (fore.empty() || units <= 0) return;
    const RECT pos = GetPos();
    const int width = pos.right - pos.left, height = pos.bottom - pos.top;
    // The fill area, as the rectangle less the fore inset, from 0,0.
    const RECT fillArea = Saturated(RECT{0, 0, width, height}, foreInset_);
    const int fillWidth = Saturated(int64_t{fillArea.right} - fillArea.left);
    const int fillHeight = Saturated(int64_t{fillArea.bottom} - fillArea.top);
    std::wstring descriptor = fore;
    std::wstring pair;
    if (cropSource_) {
        // value x width passes int.
        Format(pair, L" source='0,0,%d,%d'",
               Saturated(std::min<int64_t>(width, int64_t{value_} * width / units), INT_MAX), height);
        descriptor += pair;
    }
    double fill = std::min<double>(fillWidth, double(value_) * fillWidth / units);
    const RECT corner = VLRenderEngine::GetDescriptorCorner(descriptor);
    // Narrower than its corners the image cannot be drawn as a nine-grid.
    if (fill < corner.left + corner.right) fill = 0;
    const int filled = fill > 0 ? int(fill) : 0;
    if (filled <= 0) return;
    Format(pair, L" dest='%d,%d,%d,%d'", fillArea.left, fillArea.top, Saturated(int64_t{fillArea.left} + filled),
           Saturated(int64_t{fillArea.top} + fillHeight));
    descriptor += pair;
    if (!DrawImage(hdc, descriptor.c_str(), nullptr)) fore.clear();
}

void VLProgress::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"foreinset") {
        foreInset_ = ReadRect(value);
    } else if (name == L"step") {
        SetStep(_wtoi(value.c_str()));
    } else if (name == L"source") {
        if (value == L"true") cropSource_ = true;
    } else {
        VLControl::SetAttribute(name, value);
    }
}

} // namespace Velora
